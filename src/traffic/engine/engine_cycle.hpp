#pragma once
// The live-traffic clock: one tick per 10 ms engine cycle while the flight runs, never reset.
// 6000 cycles are one minute. Advanced by the run thread, read by the Traffic Reader.
#include <atomic>
#include <cstdint>

extern std::atomic<std::int32_t> engineCycle;

// A reported position is shown this many cycles (30 s) after it arrived.
inline constexpr std::int32_t reportDelayCycles = 3000;
