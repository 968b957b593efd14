// The 10 ms main loop and its periodic jobs.
#include "app/main_loop.hpp"

#include <string>

#include "app/auto_range.hpp"
#include "app/run_services.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "platform/program_instance.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/link_state.hpp"
#include "window/main_window.hpp"
#include "window/window_commands.hpp"
#include "window/window_controls.hpp"

using namespace std::chrono_literals;

std::atomic<bool> flightPaused{false};
std::atomic<std::int32_t> notRunningTicks{100};
std::atomic<bool> parkingUpdatePhase{false};

namespace {

// timeBeginPeriod(1) for the loop's life, given back on every way out (also an exception).
class TimerPeriod {
 public:
  TimerPeriod() : begun_(platform::beginTimerPeriod()) {}
  ~TimerPeriod() {
    if (begun_) platform::endTimerPeriod();
  }
  TimerPeriod(const TimerPeriod&) = delete;
  TimerPeriod& operator=(const TimerPeriod&) = delete;

 private:
  bool begun_;
};

void lf_fiveSecondBlock(std::int32_t n) {
  gf_call(runServices.setReaderUserPosition, LatLon{userPosition.latitude, userPosition.longitude});
  if (rtProfessional.load()) gf_call(runServices.sendSimTime, gf_call(runServices.simUtcSeconds));
  // Nothing may stand where the user stands.
  if (const std::string stand = gf_call(runServices.reservedStandName); !stand.empty())
    gf_call(runServices.removeAcAtStand, stand);
  lf_everyFiveSeconds();
  if (n % 15 != 0) return;
  if (parkingUpdateRequested.load()) {
    if (!parkingUpdatePhase.load()) {
      // The callsigns of the traffic of the next 15 s tell which aircraft are live now.
      parkingUpdatePhase.store(true);
      gf_disableOptionControls();
      gf_call(runServices.startCallsignCollection);
    } else {
      parkingUpdatePhase.store(false);
      gf_clearError();
      if (gf_call(runServices.parkingAdjustable)) gf_call(runServices.parkingAdjustments);
      gf_flushLog();
      parkingUpdateRequested.store(false);
    }
  }
  if (realTrafficDisplay.trafficLamp.load() == lampSilent ||
      realTrafficDisplay.qnhLamp.load() == lampSilent)
    gf_call(runServices.checkReaderLamps);
  if (n % 30 == 0) lf_everyThirtySeconds();
}

}  // namespace

void lf_mainLoop() {
  gf_call(runServices.staticParkingTick, true);
  gf_call(runServices.checkReaderLamps);
  runSeconds.store(0);
  const auto t0 = gf_clock().steadyNow();
  currentWeekSlot.store(gf_trafficWeekSlot());
  gf_call(runServices.setAcceptTraffic, true);
  auto deadline = t0 + mainLoopStep;
  lf_fillCallsignCombo();
  gf_enableControl(csToOidButton);
  const TimerPeriod timerPeriod;
  bool running = lf_mainLoopStep();
  while (running) {
    auto now = gf_clock().steadyNow();
    auto target = deadline + mainLoopMaxLag < now ? now + mainLoopStep : deadline;
    if (std::chrono::duration_cast<std::chrono::milliseconds>(target - now).count() >= 1)
      gf_sleepUntil(target);
    // The 10 ms grid starts anew at the simulator's second.
    if (secondTick.load()) target = gf_clock().steadyNow();
    deadline = target + mainLoopStep;
    running = lf_mainLoopStep();
  }
}

bool lf_mainLoopStep() {
  gf_serveWindowRequests();
  if (!gf_call(runServices.flightRuns)) {
    lf_flightNotRunning();
    return !gf_runStopping();
  }
  gf_call(runServices.engineCycle);
  if (!secondTick.exchange(false)) return true;
  lf_flightRunningSecond();
  if (gf_runStopping()) return false;
  const std::int32_t n = runSeconds.load();
  if (n % 5 != 0) {
    if (n % 16 == 0 && !parkingUpdatePhase.load()) gf_call(runServices.staticParkingTick, false);
    if (n % 59 == 0) gf_call(runServices.checkReaderLamps);
    if (n % 61 == 0) gf_call(runServices.removeStaticTwins);
    return true;
  }
  lf_fiveSecondBlock(n);
  return true;
}

void lf_flightRunningSecond() {
  if (flightPaused.exchange(false)) {
    gf_log(wdrx::format("{} Flight resumed", gf_timeOfDay()));
    gf_call(runServices.setAcceptTraffic, true);
  }
  gf_statusSecond();
  lf_refreshCounters();
  currentWeekSlot.store(gf_trafficWeekSlot());
  runSeconds.fetch_add(1);
  gf_call(runServices.takeParkedAircraft, currentWeekSlot.load());
  if (flushStaticRequested.exchange(false)) {
    gf_call(runServices.removeAllStaticAc);
    if (!INITIAL_LOAD_ONLY.value.load()) {
      INITIAL_LOAD_ONLY.value.store(true);  // for this run only: not saved
      if (SettingsView* view = gf_settingsView()) view->setCheck(INITIAL_LOAD_ONLY, true);
    }
  }
  if (callsignListRequested.exchange(false)) {
    gf_invalidateBand(optionsBand, true);
    lf_updateCallsignList();
  }
  if (gf_call(runServices.userOnGround)) {
    if (COLLISION_USER_GND.value.load()) gf_call(runServices.clearUserSpot);
  } else if (COLLISION_USER_AIR.value.load()) {
    gf_call(runServices.clearUserPath);
  }
  if (COLLISION_LIVE_PARKED_GND.value.load()) gf_call(runServices.removeStaticInLivePaths);
  if (blockRequested.exchange(false)) {
    if (const std::string callsign = BLOCK_CALLSIGN.value.load(); !callsign.empty())
      gf_call(runServices.removeBlockedCallsign, callsign);
  }
  if (parkingUpdateBusy.load()) {
    mainWindow.staticWaitingCount.store(gf_call(runServices.staticCandidateCount));
    gf_invalidateBand(airportBand, true);
  }
}

void lf_flightNotRunning() {
  if (!flightPaused.exchange(true)) {
    gf_call(runServices.setAcceptTraffic, false);
    notRunningTicks.store(100);
    gf_call(runServices.clearPositionBuffers);
    gf_log(wdrx::format("{} Flight not running", gf_timeOfDay()));
  }
  gf_call(runServices.handleSimResults);
  const std::int32_t ticks = notRunningTicks.fetch_sub(1) - 1;
  if (ticks % 100 == 0) {
    lf_everyFiveSeconds();
    gf_call(runServices.sendUserPosition);
  }
  if (ticks < 1) {
    notRunningTicks.store(100);
    lf_refreshCounters();
    currentWeekSlot.store(gf_trafficWeekSlot());
  }
}

void lf_everyFiveSeconds() {
  if (parkingUpdateBusy.load() || !rereadRequested.exchange(false)) return;
  std::string message;
  if (gf_call(runServices.recheckParkAirports, message)) gf_postStatus(message, true);
  gf_enableControl(rereadButton);
  gf_enableControl(DESTINATION);
}

void lf_everyThirtySeconds() {
  const std::int32_t n = runSeconds.load();
  if (matchingDepthRaised.exchange(false)) gf_call(runServices.clearUnmatchedAircraft);
  if (AUTO_RANGE.value.load()) lf_autoRange();
  if (n % 60 == 0) {
    if (parkingCountdown.fetch_sub(1) - 1 < 1) {
      parkingCountdown.store(20);
      if (staticParkingActive.load() && !INITIAL_LOAD_ONLY.value.load() &&
          !parkingUpdateBusy.load() && !parkingUpdateRequested.load())
        lf_noticeStaticParkingUpdate();
    }
    mainWindow.renewalCountdown.store(parkingCountdown.load());
    gf_invalidateBand(optionsBand, true);
    if (n % 1200 == 0) gf_call(runServices.logUnmatchedAircraft);
    if (n % 86400 == 0) {
      runSeconds.store(0);
      gf_call(runServices.logMatchingSummary);
      gf_call(runServices.clearCreationRequests);
    }
  }
  gf_flushLog();
}

namespace wdrx::testing {
void resetMainLoop() {
  flightPaused.store(false);
  notRunningTicks.store(100);
  parkingUpdatePhase.store(false);
}
}  // namespace wdrx::testing
