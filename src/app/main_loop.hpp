#pragma once
// The main loop: on the run thread, one step every 10 ms of the steady clock. A step advances
// the live-traffic engine and, once per simulator second (secondTick, set by the SimClient
// thread), runs the periodic jobs at their periods. While the simulator reports no running
// flight the step keeps the results drained and the link to RealTraffic alive.
#include <atomic>
#include <chrono>
#include <cstdint>

inline constexpr std::chrono::milliseconds mainLoopStep{10};
// A loop that has fallen behind by more than this starts a new grid instead of catching up.
inline constexpr std::chrono::milliseconds mainLoopMaxLag{100};

extern std::atomic<bool> flightPaused;            // the flight was seen not running
extern std::atomic<std::int32_t> notRunningTicks;  // 10 ms steps while it does not run
extern std::atomic<bool> parkingUpdatePhase;       // false: the next 15 s job starts an update

void lf_mainLoop();
bool lf_mainLoopStep();  // false ends the loop
void lf_flightRunningSecond();
void lf_flightNotRunning();
void lf_everyFiveSeconds();
void lf_everyThirtySeconds();

namespace wdrx::testing {
void resetMainLoop();
}  // namespace wdrx::testing
