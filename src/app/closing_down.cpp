// Closing down a run, the restart countdown and the reset before a restart.
#include "app/closing_down.hpp"

#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/main_loop.hpp"
#include "app/run_services.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/clock.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "parking/addon_scan.hpp"
#include "platform/window_system.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/ai_creation.hpp"
#include "traffic/link_state.hpp"
#include "window/main_window.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* programName = "Wendrix_P3D";

// One step of closing down: an exception is shown and logged, and closing down goes on, so
// that the program still quits or restarts.
template <typename Step>
void lf_closingStep(Step&& step) {
  try {
    step();
  } catch (const std::exception& e) {
    gf_postStatus(wdrx::format("{} exception {}", "lf_closingDown", e.what()), true);
  }
}

// The error line of a SYSTEM ERROR stays until the user closes the window, or until a setting
// changed meanwhile (the install path) asks for a restart.
bool lf_systemErrorWaitOver() {
  return closeRequested.load() ||
         (runStopRequested.load() && exitReason.load() != ExitReason::SystemError);
}

void lf_removeFlightPlanFolder() {
  if (flightPlanFolder.empty()) return;
  std::error_code error;
  fs::remove(flightPlanFolder, error);
  if (error == std::errc::directory_not_empty) {
    error.clear();
    fs::remove_all(flightPlanFolder, error);
  }
  if (error && error != std::errc::no_such_file_or_directory)
    gf_log(wdrx::format("gf_removeFlightPlanFolder: {}", error.message()));
}

void lf_clearStoredText(EditParameter& parameter) {
  parameter.value.store(std::string{});
  gf_saveStringParameter(parameter);
  gf_showStringParameter(parameter);
}

void lf_switchScanOff(CheckBoxParameter& scan) {
  scan.value.store(false);
  gf_saveBoolParameter(scan);
  if (SettingsView* view = gf_settingsView()) view->setCheck(scan, false);
}

// A SYSTEM ERROR: the error line stays until the user closes the window, or until a setting
// changed meanwhile asks for a restart.
void lf_waitForTheUser() {
  while (!lf_systemErrorWaitOver()) gf_runSleep(500ms, lf_systemErrorWaitOver);
  if (!closeRequested.load()) return;
  // The error line still shows, which refuses status texts: the log gets it all the same.
  const std::string text = wdrx::format("User closed {}", programName);
  if (gf_statusSnapshot().errorText.empty()) {
    gf_postStatus(text, true);
  } else {
    gf_log(text);
  }
}

// A restart from a half-reset run state would run on stale state: the run ends as a SYSTEM
// ERROR instead, shown until the user closes the window. False when it was not reset.
bool lf_resetForRestart() {
  try {
    return lf_resetRunState();
  } catch (const std::exception& e) {
    gf_postError(wdrx::format("{} exception: {}", "lf_resetRunState", e.what()));
  }
  // The stop flags are still set (they are cleared last): nothing else can change the reason.
  exitReason.store(ExitReason::SystemError);
  gf_logFlush(wdrx::format("Exiting: {}", gf_exitReasonText(ExitReason::SystemError)));
  lf_waitForTheUser();
  return false;
}

void lf_postToWindow(std::uint32_t message) {
  if (auto window = static_cast<platform::gui::WindowHandle>(mainWindow.windowHandle.load()))
    platform::gui::postMessage(window, message, 0, 0);
}

}  // namespace

bool gf_isRestartReason() {
  const ExitReason reason = exitReason.load();
  return reason == ExitReason::NewSettings || reason == ExitReason::SimConnectError ||
         reason == ExitReason::ReaderError;
}

void lf_closingDown() {
  lf_closingStep([] { gf_logFlush(wdrx::format("Exiting: {}", gf_exitReasonText(exitReason.load()))); });
  lf_closingStep([] { gf_call(runServices.setAcceptTraffic, false); });
  lf_closingStep([] { gf_call(runServices.stopSimClient); });
  lf_closingStep([] { gf_call(runServices.stopReaders); });
  lf_closingStep([] { gf_sleepUntil(gf_clock().steadyNow() + 500ms); });
  lf_closingStep([] { gf_call(runServices.closePsxServer); });
  lf_closingStep([] {
    if (exitReason.load() == ExitReason::SystemError) lf_waitForTheUser();
  });
  lf_closingStep([] {
    if (gf_call(runServices.parkAirportSet)) gf_call(runServices.flushStaticParking);
  });
  lf_closingStep([] { gf_call(runServices.clearCreationRequests); });
  lf_closingStep(lf_removeFlightPlanFolder);
  lf_closingStep([] {
    lf_clearStoredText(DESTINATION);
    lf_clearStoredText(BLOCK_CALLSIGN);
  });
  lf_closingStep([] {
    tbloFileCount.store(0);  // the window shows the tblo.zip notice while it is above 0
    gf_invalidateBand(optionsBand, true);
    gf_call(runServices.clearGhostCallsigns);
  });
  lf_closingStep([] {
    gf_call(runServices.logMatchingSummary);
    gf_call(runServices.logUnmatchedAircraft);
  });

  // A close asked by the user always quits, whatever else ended the run.
  bool restart = gf_isRestartReason() && !closeRequested.load();
  if (restart) {
    lf_closingStep([] {
      restartPending.store(true);
      gf_clearError();
      gf_postStatus("Prepare for a restart ...", true);
      // A restart after an error does not scan again.
      if (exitReason.load() != ExitReason::NewSettings) {
        lf_switchScanOff(SCAN_LIVERIES);
        lf_switchScanOff(SCAN_AIRPORTS);
      }
      lf_restartCountdown();
    });
    bool reset = false;
    lf_closingStep([&reset] { reset = lf_resetForRestart(); });
    if (!reset) restart = false;
  }
  if (!restart) {
    restartPending.store(false);
    lf_closingStep([] {
      if (exitReason.load() != ExitReason::NewFlight) return;
      gf_postStatus(wdrx::format("New flight detected, {} will close, please restart manually ...",
                                 programName),
                    true);
      gf_waitUnlessClosed(10s);
    });
  }
  lf_postToWindow(restart ? WM_APP_START_RUN : WM_APP_QUIT);
  gf_flushLog();
}

void lf_restartCountdown() {
  const std::int32_t delay = restartDelay.load();
  if (delay <= 0) return;
  gf_log(wdrx::format("Restarting after {} seconds", delay));
  gf_log(std::string(48, '-'));
  for (std::int32_t remaining = delay; remaining >= 1; --remaining) {
    gf_postStatus(wdrx::format("Restarting after {} second{}", remaining, gf_pluralInt(remaining)));
    if (!gf_waitUnlessClosed(1s)) return;  // the user closed the window: no restart follows
  }
  std::lock_guard lock(logMutex);
  if (logStream.is_open()) logStream << "Restart countdown finished\n";
}

bool lf_resetRunState() {
  // A close keeps every flag: the program quits.
  if (closeRequested.load()) return false;
  secondTick.store(false);
  runSeconds.store(0);

  // The RealTraffic link.
  gf_call(runServices.resetRealTrafficLink);
  trafficSourceTime.store(0.0);
  rtProfessional.store(false);
  awaitingRealTraffic.store(true);
  // The simulator link and the engine.
  gf_call(runServices.resetSimLink);
  gf_call(runServices.resetEngineTables);

  // The main window.
  gf_resetStatusLine();
  mainWindow.aircraftText.store(std::string{});
  mainWindow.simulatorText.store(std::string{});
  mainWindow.parkAirportName.store(std::string{});
  realTrafficDisplay.setRealTrafficText(std::string{});
  mainWindow.linkBoxDark.store(true);
  realTrafficDisplay.realTrafficLinked.store(false);
  mainWindow.simConnected.store(false);
  mainWindow.staticAverageFit.store(-1.0f);
  mainWindow.liveAverageFit.store(-1.0f);
  realTrafficDisplay.qnhValue.store(0);
  mainWindow.liveCount.store(0);
  mainWindow.parkedLiveCount.store(0);
  mainWindow.staticCount.store(0);
  mainWindow.staticWaitingCount.store(0);
  realTrafficDisplay.trafficLamp.store(lampHidden);
  realTrafficDisplay.qnhLamp.store(lampHidden);
  gf_invalidateBand(countersBand, true);
  gf_invalidateBand(airportBand, true);

  // Run control of the main loop and the window's requests.
  flightPaused.store(false);
  parkingUpdateRequested.store(false);
  parkingUpdatePhase.store(false);
  blockRequested.store(false);
  stockAirportsPath.clear();
  mainHwnd.store(nullptr);
  // The stop flags last, once all else is reset: a step that throws leaves the run stopped.
  // closeRequested is clear when this succeeds; a close asked from now on ends the next run.
  return gf_clearRunStopUnlessClosed();
}
