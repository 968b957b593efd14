#include "foundation/clock.hpp"

#include <atomic>

std::chrono::steady_clock::time_point Clock::steadyNow() const {
  return std::chrono::steady_clock::now();
}
std::chrono::system_clock::time_point Clock::systemNow() const {
  return std::chrono::system_clock::now();
}
std::int64_t Clock::systemSeconds() const {
  return std::chrono::duration_cast<std::chrono::seconds>(systemNow().time_since_epoch()).count();
}

namespace {
Clock realClock;
std::atomic<Clock*> installedClock{nullptr};
}  // namespace

Clock& gf_clock() {
  Clock* clock = installedClock.load(std::memory_order_acquire);
  return clock ? *clock : realClock;
}

void gf_setClock(Clock* clock) { installedClock.store(clock, std::memory_order_release); }
