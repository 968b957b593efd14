#pragma once
// Run-control state through which every thread asks the current run to end. Whoever sees a
// reason calls gf_requestRunStop; the first reason wins, the run thread closes down.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

enum class ExitReason : std::int32_t {
  NotYetSet = 0,
  SimWasClosed = 1,
  NewFlight = 2,
  NewSettings = 3,
  UserClosedSim = 4,
  SimConnectError = 5,
  ReaderError = 6,
  SystemError = 7,
  NewVersion = 8,
};

extern std::atomic<bool> runStopRequested;
extern std::atomic<bool> closeRequested;
extern std::atomic<ExitReason> exitReason;
extern std::atomic<std::int32_t> restartDelay;  // seconds, written with exitReason
extern std::atomic<bool> restartPending;
extern std::atomic<bool> secondTick;
extern std::atomic<std::int32_t> runSeconds;
extern std::atomic<std::uint64_t> currentWeekSlot;
extern std::atomic<std::int32_t> workerCount;  // livery scanner tasks that may run at once
// The simulator's stock scenery folder (<SIM_INSTALL_PATH>/Scenery), set by the start-up's
// stock-airports check and empty while the install path is unknown; run thread only.
extern std::filesystem::path stockAirportsPath;
// The simulator number in the meta block of the XML data files the program writes: 1 at process
// start, 3 from the start of a run on.
extern std::atomic<std::int32_t> metaSimNumber;

// The text closing down logs ("NOT YET SET", "SIM WAS CLOSED", ...); throws std::out_of_range
// for a code outside the table.
const std::string& gf_exitReasonText(ExitReason reason);

// Sets runStopRequested; only when it was clear writes the reason and the delay (before the
// flag, so a thread that sees the flag sees the reason). True when this call's reason counts.
bool gf_requestRunStop(ExitReason reason, std::int32_t delaySeconds);

// The user closed the window (also: start-up abandoned, production end): sets closeRequested
// and runStopRequested, and USER CLOSED SIM while no reason is set yet.
void gf_requestClose();

// An error the start-up could not get over: SYSTEM ERROR, unless a stop was asked before
// (that reason stays). runStopRequested is left as it is, so that a setting changed while the
// error is shown (the install path) can still end the run for a restart.
void gf_markSystemError();

// The run reset's part of the stop flags: runStopRequested, exitReason and restartDelay back to
// their start values - unless the user has asked to close meanwhile, which keeps all of them
// (false) so that the close is not lost.
bool gf_clearRunStopUnlessClosed();

// A reader thread ended with an error: status line (logged), READER ERROR with 15 s delay.
void gf_reportThreadStopped(const std::string& threadName, const std::string& errorText);

// How the run thread lets time pass: every wait of the start-up, the main loop and closing
// down goes through gf_runSleep, which returns early as soon as a stop of the run is asked
// (gf_requestRunStop, gf_requestClose). Tests install a sleeper that moves a fake clock.
using RunSleeper = std::function<void(std::chrono::nanoseconds)>;
void gf_setRunSleeper(RunSleeper sleeper);  // empty: the real one
// Sleeps at most `duration`; the real sleeper wakes early once wakeWhen (if given) is true.
void gf_runSleep(std::chrono::nanoseconds duration, bool (*wakeWhen)() = nullptr);
// Waits until the steady clock (gf_clock) has moved on by `duration`; false as soon as
// stopWhen is true (also when it already is).
bool gf_waitUnless(std::chrono::nanoseconds duration, bool (*stopWhen)());
// ... as soon as runStopRequested or closeRequested is set.
bool gf_waitUnlessStopping(std::chrono::nanoseconds duration);
// ... as soon as the user closes the window (closing down: the run stops already).
bool gf_waitUnlessClosed(std::chrono::nanoseconds duration);
bool gf_runStopping();  // runStopRequested or closeRequested
// The same without looking at the stop flags (the main loop's 10 ms grid, the pause of closing
// down, whose work must be done whatever is asked meanwhile).
void gf_sleepUntil(std::chrono::steady_clock::time_point target);

namespace wdrx::testing {
// Every run-control value back to its state at process start.
void resetRunControl();
}  // namespace wdrx::testing
