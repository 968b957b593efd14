#include "app/run_control.hpp"

#include <array>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "app/status_line.hpp"
#include "foundation/format.hpp"
#include "foundation/hooks.hpp"

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
  std::lock_guard lock(requestMutex);
  if (runStopRequested.load()) return false;
  exitReason.store(reason);
  restartDelay.store(delaySeconds);
  runStopRequested.store(true);
  return true;
}

void gf_requestClose() {
  std::lock_guard lock(requestMutex);
  closeRequested.store(true);
  if (exitReason.load() == ExitReason::NotYetSet) exitReason.store(ExitReason::UserClosedSim);
  runStopRequested.store(true);
}

void gf_reportThreadStopped(const std::string& threadName, const std::string& errorText) {
  gf_postStatus(wdrx::format("The {} has stopped with error: {}", threadName, errorText), true);
  gf_requestRunStop(ExitReason::ReaderError, 15);
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
