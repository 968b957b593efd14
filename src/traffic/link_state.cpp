#include "traffic/link_state.hpp"

#include <utility>

RealTrafficDisplay realTrafficDisplay;
std::atomic<bool> realTrafficDetected{true};
std::atomic<bool> awaitingRealTraffic{true};

namespace {
std::mutex notifierMutex;
std::function<void()> countersBandNotifier;
}  // namespace

std::string RealTrafficDisplay::realTrafficText() const {
  std::lock_guard lock(textMutex_);
  return realTrafficText_;
}

void RealTrafficDisplay::setRealTrafficText(std::string text) {
  std::lock_guard lock(textMutex_);
  realTrafficText_ = std::move(text);
}

void gf_setCountersBandNotifier(std::function<void()> notifier) {
  std::lock_guard lock(notifierMutex);
  countersBandNotifier = std::move(notifier);
}

void gf_invalidateCountersBand() {
  std::function<void()> notifier;
  {
    std::lock_guard lock(notifierMutex);
    notifier = countersBandNotifier;
  }
  if (notifier) notifier();
}
