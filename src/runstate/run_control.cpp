#include "runstate/run_control.hpp"

#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/hooks.hpp"
#include "foundation/log.hpp"
#include "runstate/status_line.hpp"

std::atomic<bool> runStopRequested{false};
std::atomic<bool> closeRequested{false};
std::atomic<ExitReason> exitReason{ExitReason::NotYetSet};
std::atomic<std::int32_t> restartDelay{0};
std::atomic<bool> restartPending{false};
std::atomic<bool> secondTick{false};
std::atomic<std::int32_t> runSeconds{0};
std::atomic<std::uint64_t> currentWeekSlot{0};
std::atomic<std::int32_t> workerCount{1};
std::filesystem::path stockAirportsPath;
std::atomic<std::int32_t> metaSimNumber{1};

namespace {
// Makes "is a reason set yet" and the writing of the reason one step, and publishes the reason
// before the flag, so that whoever sees runStopRequested also sees why.
std::mutex requestMutex;

const std::array<std::pair<std::int32_t, std::string>, 9> exitReasonTable{{
    {0, "NOT YET SET"},
    {1, "SIM WAS CLOSED"},
    {2, "NEW FLIGHT"},
    {3, "NEW SETTINGS"},
    {4, "USER CLOSED SIM"},
    {5, "SIMCONNECT ERROR"},
    {6, "READER ERROR"},
    {7, "SYSTEM ERROR"},
    {8, "NEW VERSION"},
}};
// Wakes the run thread's waits when a stop is asked.
std::mutex stopWaitMutex;
std::condition_variable stopWait;

std::mutex sleeperMutex;
RunSleeper installedSleeper;

void lf_notifyStop() {
  { std::lock_guard lock(stopWaitMutex); }
  stopWait.notify_all();
}

bool lf_stopping() { return runStopRequested.load() || closeRequested.load(); }

// The foundation (downloads, gf_logUnlessStopping) learns of a stop through its hook; registered
// whenever this file is part of the program, before main runs.
const bool stopQueryRegistered = [] {
  gf_setStopQuery([] { return runStopRequested.load() || closeRequested.load(); });
  return true;
}();
}  // namespace

const std::string& gf_exitReasonText(ExitReason reason) {
  static const std::unordered_map<std::int32_t, std::string> texts(exitReasonTable.begin(),
                                                                    exitReasonTable.end());
  return texts.at(static_cast<std::int32_t>(reason));
}

bool gf_requestRunStop(ExitReason reason, std::int32_t delaySeconds) {
  {
    std::lock_guard lock(requestMutex);
    if (runStopRequested.load()) return false;
    exitReason.store(reason);
    restartDelay.store(delaySeconds);
    runStopRequested.store(true);
    lf_notifyStop();
  }
  // The lines that say why the run ends reach the file before anything else can go wrong.
  gf_flushLog();
  return true;
}

void gf_requestClose() {
  std::lock_guard lock(requestMutex);
  closeRequested.store(true);
  if (exitReason.load() == ExitReason::NotYetSet) exitReason.store(ExitReason::UserClosedSim);
  runStopRequested.store(true);
  lf_notifyStop();
}

void gf_reportThreadStopped(const std::string& threadName, const std::string& errorText) {
  gf_postStatus(wdrx::format("The {} has stopped with error: {}", threadName, errorText), true);
  gf_requestRunStop(ExitReason::ReaderError, 15);
}

void gf_setRunSleeper(RunSleeper sleeper) {
  std::lock_guard lock(sleeperMutex);
  installedSleeper = std::move(sleeper);
}

void gf_runSleep(std::chrono::nanoseconds duration, bool (*wakeWhen)()) {
  RunSleeper sleeper;
  {
    std::lock_guard lock(sleeperMutex);
    sleeper = installedSleeper;
  }
  if (sleeper) {
    sleeper(duration);
    return;
  }
  if (duration <= std::chrono::nanoseconds::zero()) return;
  std::unique_lock lock(stopWaitMutex);
  stopWait.wait_for(lock, duration, [wakeWhen] { return wakeWhen != nullptr && wakeWhen(); });
}

bool gf_waitUnless(std::chrono::nanoseconds duration, bool (*stopWhen)()) {
  const auto until = gf_clock().steadyNow() + duration;
  for (;;) {
    if (stopWhen()) return false;
    const auto now = gf_clock().steadyNow();
    if (now >= until) return true;
    gf_runSleep(until - now, stopWhen);
  }
}

bool gf_runStopping() { return lf_stopping(); }
bool gf_waitUnlessStopping(std::chrono::nanoseconds duration) {
  return gf_waitUnless(duration, lf_stopping);
}
bool gf_waitUnlessClosed(std::chrono::nanoseconds duration) {
  return gf_waitUnless(duration, [] { return closeRequested.load(); });
}

void gf_markSystemError() {
  std::lock_guard lock(requestMutex);
  if (!runStopRequested.load()) exitReason.store(ExitReason::SystemError);
  lf_notifyStop();
}

bool gf_clearRunStopUnlessClosed() {
  std::lock_guard lock(requestMutex);
  if (closeRequested.load()) return false;
  runStopRequested.store(false);
  exitReason.store(ExitReason::NotYetSet);
  restartDelay.store(0);
  return true;
}

void gf_sleepUntil(std::chrono::steady_clock::time_point target) {
  for (auto now = gf_clock().steadyNow(); now < target; now = gf_clock().steadyNow()) {
    RunSleeper sleeper;
    {
      std::lock_guard lock(sleeperMutex);
      sleeper = installedSleeper;
    }
    if (sleeper) {
      sleeper(target - now);
    } else {
      std::this_thread::sleep_for(target - now);
    }
  }
}

namespace wdrx::testing {
void resetRunControl() {
  std::lock_guard lock(requestMutex);
  runStopRequested.store(false);
  closeRequested.store(false);
  exitReason.store(ExitReason::NotYetSet);
  restartDelay.store(0);
  restartPending.store(false);
  secondTick.store(false);
  runSeconds.store(0);
  currentWeekSlot.store(0);
  workerCount.store(1);
}
}  // namespace wdrx::testing
