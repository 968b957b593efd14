#pragma once
// A clock that moves only when the test moves it; installed for its lifetime.
#include <atomic>
#include <chrono>
#include <cstdint>

#include "foundation/clock.hpp"

namespace wdrx::testing {

class FakeClock : public Clock {
 public:
  explicit FakeClock(std::int64_t systemSecondsSince1970 = 1'700'000'000) {
    setSystemSeconds(systemSecondsSince1970);
    gf_setClock(this);
  }
  ~FakeClock() override { gf_setClock(nullptr); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  std::chrono::steady_clock::time_point steadyNow() const override {
    return std::chrono::steady_clock::time_point{std::chrono::nanoseconds{steadyNs_.load()}};
  }
  std::chrono::system_clock::time_point systemNow() const override {
    return std::chrono::system_clock::time_point{
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds{systemNs_.load()})};
  }

  void setSystemSeconds(std::int64_t seconds) { systemNs_.store(seconds * 1'000'000'000); }
  // Moves both clocks forward.
  void advance(std::chrono::nanoseconds step) {
    steadyNs_.fetch_add(step.count());
    systemNs_.fetch_add(step.count());
  }

 private:
  std::atomic<std::int64_t> steadyNs_{1'000'000'000};
  std::atomic<std::int64_t> systemNs_{0};
};

}  // namespace wdrx::testing
