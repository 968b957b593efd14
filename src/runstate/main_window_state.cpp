#include "runstate/main_window_state.hpp"

#include <utility>

MainWindow mainWindow;

std::atomic<bool> parkingUpdateBusy{false};
std::atomic<bool> parkingUpdateRequested{false};
std::atomic<bool> staticParkingActive{false};
std::atomic<bool> nowButtonAllowed{false};
std::atomic<std::int32_t> parkingCountdown{20};

namespace {
std::mutex bandNotifierMutex;
std::function<void(const BandRect&, bool)> bandNotifier;
}  // namespace

void gf_setBandNotifier(std::function<void(const BandRect&, bool)> notifier) {
  std::lock_guard lock(bandNotifierMutex);
  bandNotifier = std::move(notifier);
}

void gf_invalidateBand(const BandRect& band, bool erase) {
  std::function<void(const BandRect&, bool)> notifier;
  {
    std::lock_guard lock(bandNotifierMutex);
    notifier = bandNotifier;
  }
  if (notifier) notifier(band, erase);
}
