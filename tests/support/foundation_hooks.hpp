#pragma once
// Doubles of the hooks the foundation asks of the layers above it, for tests that link the
// foundation alone: a stop flag, the RANDOM switch and the last status text, registered for the
// object's lifetime.
#include <atomic>
#include <mutex>
#include <string>

#include "foundation/hooks.hpp"

namespace wdrx::testing {

class FoundationHooksDouble {
 public:
  static inline std::atomic<bool> stop{false};
  static inline std::atomic<bool> random{true};

  FoundationHooksDouble() {
    reset();
    gf_setStopQuery([] { return stop.load(); });
    gf_setRandomSwitch([] { return random.load(); });
    gf_setStatusPoster([](const std::string& text, bool) {
      std::lock_guard lock(statusMutex());
      statusText() = text;
    });
  }
  ~FoundationHooksDouble() {
    gf_setStopQuery(nullptr);
    gf_setRandomSwitch(nullptr);
    gf_setStatusPoster(nullptr);
    reset();
  }
  FoundationHooksDouble(const FoundationHooksDouble&) = delete;
  FoundationHooksDouble& operator=(const FoundationHooksDouble&) = delete;

  static std::string lastStatus() {
    std::lock_guard lock(statusMutex());
    return statusText();
  }

 private:
  static void reset() {
    stop = false;
    random = true;
    std::lock_guard lock(statusMutex());
    statusText().clear();
  }
  static std::mutex& statusMutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::string& statusText() {
    static std::string text;
    return text;
  }
};

}  // namespace wdrx::testing
