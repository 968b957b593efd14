#pragma once
// The live-traffic clock: one tick per 10 ms engine cycle while the flight runs, never reset.
// 6000 cycles are one minute. Advanced by the run thread, read by the Traffic Reader.
// 64 bits: a run of years never wraps it.
#include <atomic>
#include <cstdint>

extern std::atomic<std::int64_t> engineCycle;

// A reported position is shown this many cycles (30 s) after it arrived.
inline constexpr std::int64_t reportDelayCycles = 3000;
