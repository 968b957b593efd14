#pragma once
// The program's one view of time, so that tests can run the main loop and the engine on a
// fake clock. Production code asks gf_clock(); tests install their own with gf_setClock.
#include <chrono>
#include <cstdint>

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::steady_clock::time_point steadyNow() const;
  virtual std::chrono::system_clock::time_point systemNow() const;
  // Seconds since 1970-01-01 UTC of systemNow().
  std::int64_t systemSeconds() const;
};

Clock& gf_clock();
// Installs a clock (nullptr: back to the real one). The caller keeps it alive while installed.
void gf_setClock(Clock* clock);
