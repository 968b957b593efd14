// The window procedure of the main window and the handlers of its controls.
#include "window/window_commands.hpp"

#include <gsl/narrow>

#include <exception>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "airports/airport_db.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "foundation/clock.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "platform/shell.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "traffic/link_state.hpp"
#include "window/main_window.hpp"
#include "window/window_controls.hpp"
#include "window/window_mirror.hpp"
#include "window/window_paint.hpp"

namespace gui = platform::gui;

namespace {

constexpr const char* programName = "Wendrix_P3D";
constexpr gui::Colour optionsBackground{153, 204, 255};

gui::Rect lf_rect(const BandRect& band) { return {band.left, band.top, band.right, band.bottom}; }

// BeginPaint/EndPaint around the picture, also when painting throws.
class PaintScope {
 public:
  explicit PaintScope(gui::WindowHandle window) : window_(window), dc_(gui::beginPaint(window)) {}
  ~PaintScope() { gui::endPaint(window_, dc_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  gui::PaintHandle dc() const { return dc_; }

 private:
  gui::WindowHandle window_;
  gui::PaintHandle dc_;
};

// The close button: the run is asked to end; its closing down then quits the program.
void lf_closeWindow() {
  gf_postStatus(wdrx::format("Close window button clicked, closing {} ...", programName));
  // The run thread's waits for RealTraffic end on the close request; its closing down sends
  // "exit" and closes the PSX-protocol server, once, from that one thread.
  gf_requestClose();
}

// A new run thread, after the previous one has ended: two runs never overlap.
void lf_startRun() {
  if (runThread.joinable()) {
    runThread.request_stop();
    runThread.join();
  }
  if (windowServices.startUpRun) runThread = std::jthread([] { windowServices.startUpRun(); });
}

void lf_quitProgram(gui::WindowHandle window) {
  std::optional<gui::Rect> position;
  const auto placement = gui::windowPlacement(window);
  if (placement && (placement->showCommand == 2 || placement->showCommand == 3)) {
    position = placement->normalPosition;
  } else {
    position = gui::windowRect(window);
  }
  const std::int32_t keptX = MAIN_WINDOW_X.value.load();
  const std::int32_t keptY = MAIN_WINDOW_Y.value.load();
  if (position) {
    MAIN_WINDOW_X.value.store(MAIN_WINDOW_X.bounded(position->left));
    gf_saveIntParameter(MAIN_WINDOW_X);
    MAIN_WINDOW_Y.value.store(MAIN_WINDOW_Y.bounded(position->top));
    gf_saveIntParameter(MAIN_WINDOW_Y);
  }
  lf_fitWindowOnMonitor(keptX, keptY);
  gf_log(gf_timeString(gf_clock().systemSeconds()));
  gui::postQuitMessage(exitCode.load());
}

std::filesystem::path lf_pathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

void lf_upperCase(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

}  // namespace

gui::MessageResult lf_mainWndProc(gui::WindowHandle window, std::uint32_t message,
                                  gui::WParam wParam, gui::LParam lParam) {
  mainHwnd.store(window);
  try {
    switch (message) {
      case gui::msg::create:
        lf_createControls(window, reinterpret_cast<void*>(lParam));
        return 0;
      case gui::msg::destroy:
        lf_disconnectWindow();
        gui::postQuitMessage(0);
        return 0;
      case gui::msg::paint: {
        PaintScope paint(window);
        lf_paintMainWindow(paint.dc());
        return 0;
      }
      case gui::msg::close:
        lf_closeWindow();  // the window stays until the run has closed down
        return 0;
      case gui::msg::eraseBackground:
        return 1;  // the picture covers everything
      case gui::msg::command:
        if (lf_HandleWMCOMMAND(window, wParam)) return 0;
        break;
      case gui::msg::ctlColorEdit:
      case gui::msg::ctlColorStatic:
        return gui::controlColourResult(wParam, optionsBackground);
      case WM_APP_START_RUN:
        lf_startRun();
        return 0;
      case WM_APP_QUIT:
        lf_quitProgram(window);
        return 0;
      case gui::msg::timer:
        if (lf_onMirrorTimer(wParam)) return 0;
        break;
      case WM_APP_STATUS: {
        const gui::Rect band = lf_rect(statusBand);
        gui::invalidateRect(window, &band, false);
        return 0;
      }
      case WM_APP_GUI_WORK:
        lf_runGuiWork();
        return 0;
      default:
        break;
    }
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "lf_mainWndProc", e.what()));
    return 0;
  }
  return gui::defWindowProc(window, message, wParam, lParam);
}

bool lf_HandleWMCOMMAND(gui::WindowHandle window, gui::WParam wParam) {
  bool handled = false;
  try {
    const std::uint16_t id = gui::loWord(wParam);
    handled = lf_handleButton(window, id) || lf_handleCheckBox(window, id) ||
              lf_handleComboBox(window, wParam);
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
  }
  // The option labels follow the settings and the controls' states: after any command the
  // band is repainted, not only when a handler happens to ask for it.
  gf_invalidateBand(optionsBand, true);
  return handled;
}

// ---------------------------------------------------------------- buttons

bool lf_handleButton(gui::WindowHandle window, std::uint16_t id) {
  const NamedControl* button = nullptr;
  for (const NamedControl* candidate :
       {&tbloZipButton, &unblockButton, &csToOidButton, &blockButton, &nowButton, &rereadButton,
        &flushStaticButton})
    if (candidate->controlId == id) button = candidate;
  if (button == nullptr) return false;
  const bool wasChecked = gui::isButtonChecked(window, id) != 0;
  gui::checkButton(window, id, !wasChecked);
  if (wasChecked) return true;

  if (button == &unblockButton) {
    if (BLOCK_CALLSIGN.value.load().empty()) {
      gf_postStatus("Nothing to block or unblock...");
    } else {
      lf_unblockCallsign();
    }
    lf_enable(blockButton, !CALLSIGN_2_OBJECTID.value.load().empty());
  } else if (button == &csToOidButton) {
    callsignListRequested.store(true);  // rebuilt by the main loop within a second
    lf_enable(blockButton, false);
  } else if (button == &blockButton) {
    lf_setBlockCallsign(CALLSIGN_2_OBJECTID.value.load());
    lf_clearCallsignList();
    lf_enable(blockButton, false);
  } else if (button == &rereadButton) {
    rereadRequested.store(true);
    lf_enable(rereadButton, false);
    lf_enable(DESTINATION, false);
  } else if (button == &flushStaticButton) {
    gf_postStatus("All static parked aircraft will be removed ...");
    flushStaticRequested.store(true);
    lf_enable(flushStaticButton, false);
  } else if (button == &tbloZipButton) {
    if (!gf_openContainingFolder(std::filesystem::current_path() / "tblo" / "tblo.zip")) {
      platform::warningMessageBox("Could not open File Explorer at tblo.zip.", "WDRX");
      return false;
    }
  } else if (button == &nowButton) {
    if (!staticParkingActive.load()) return true;
    if (!INITIAL_LOAD_ONLY.value.load()) {
      lf_noticeStaticParkingUpdate();
      parkingCountdown.store(20);
      mainWindow.renewalCountdown.store(20);
      gf_invalidateBand(optionsBand, true);
    } else {
      gf_clearStatus();
    }
  }
  return true;
}

// ---------------------------------------------------------------- check boxes

namespace {
// A status text when the box is in the given state, else the status line is cleared.
void lf_statusWhen(bool state, bool wanted, const std::string& text) {
  if (state == wanted) {
    gf_postStatus(text);
  } else {
    gf_clearStatus();
  }
}

// A scan switched on or off; true when the run is to restart for it at once (RealTraffic has
// not connected yet, so nothing is lost).
bool lf_scanRestartsNow(bool on, const char* what) {
  if (!on) {
    gf_clearStatus();
    return false;
  }
  if (awaitingRealTraffic.load()) return true;
  gf_postStatus(wdrx::format("Your {} will be scanned at the next start of {}", what, programName));
  return false;
}
}  // namespace

bool lf_handleCheckBox(gui::WindowHandle window, std::uint16_t id) {
  CheckBoxParameter* box = nullptr;
  for (CheckBoxParameter* candidate : checkBoxParameters)
    if (candidate != nullptr && candidate->controlId == id) box = candidate;
  if (box == nullptr) return false;
  const bool on = gui::isButtonChecked(window, id) != 1;
  gui::checkButton(window, id, on);
  box->value.store(on);
  gf_saveBoolParameter(*box);

  if (box == &LIG_PRIORITIZE) {
    lf_statusWhen(on, true,
                  "Liveries, for airl+model, in lower lfolders that are already available will "
                  "be skipped");
  } else if (box == &COLLISION_LIVE_PARKED_GND) {
    lf_statusWhen(on, false,
                  "Be aware, live aircraft may collide with (run through) static parked on the "
                  "ground");
  } else if (box == &COLLISION_USER_GND) {
    lf_statusWhen(on, false,
                  "Be aware, user aircraft may collide with (run through) live aircraft and "
                  "static parked on the ground");
  } else if (box == &COLLISION_USER_AIR) {
    lf_statusWhen(on, false,
                  "Be aware, user aircraft may collide with (run through) live aircraft in the "
                  "air");
  } else if (box == &INITIAL_LOAD_ONLY) {
    lf_statusWhen(on, true,
                  wdrx::format("Initial Load Only: static parked aircraft are generated once, no "
                               "renewal every {} minutes",
                               20));
    lf_refreshNowButton();
    gf_invalidateBand(optionsBand, true);
  } else if (box == &ALWAYS_ON_TOP) {
    lf_statusWhen(on, true, wdrx::format("{}'s window will remain visible", programName));
    gui::setTopmost(window, on);
    gf_invalidateBand(optionsBand, true);
  } else if (box == &GUID_CHANGES) {
    lf_statusWhen(on, false,
                  "Be aware, no more livery updates: you miss correct data for Learn, "
                  "LittleNavMap, etc!");
    gf_invalidateBand(optionsBand, true);
  } else if (box == &AEROWINX) {
    lf_statusWhen(on, true,
                  wdrx::format("Note: This mode is for Aerowinx PSX users only, please re-start {}",
                               programName));
  } else if (box == &AUTO_RANGE) {
    lf_enable(AR_ABOVE_HEIGHT, on);
    lf_switchRangeMode(on);
  } else if (box == &SCAN_AIRPORTS) {
    if (lf_scanRestartsNow(on, "airports")) {
      gf_postStatus("Your airports will be scanned", true);
      gf_requestRunStop(ExitReason::NewSettings, 2);
    }
    gf_invalidateBand(optionsBand, true);
  } else if (box == &NAV_LIGHTS_WHILE_PARKED) {
    navLightsRequested.store(true);
  } else if (box == &AIRBORNE_ONLY) {
    lf_statusWhen(on, true,
                  wdrx::format("Be aware, airborne live traffic only!  (greater than {:.0f} ft "
                               "above ground ...)",
                               150.0));
    gf_invalidateBand(optionsBand, true);
  } else if (box == &SCAN_LIVERIES) {
    if (lf_scanRestartsNow(on, "liveries")) {
      liveryResetRequested.store(true);  // the tables are emptied on the run thread
      gf_postStatus("Your liveries will be scanned", true);
      gf_requestRunStop(ExitReason::NewSettings, 2);
    }
    gf_invalidateBand(optionsBand, true);
  }
  return true;
}

// ---------------------------------------------------------------- combo boxes

bool lf_handleComboBox(gui::WindowHandle window, gui::WParam wParam) {
  if (auto chosen = lf_readComboSelection(window, CALLSIGN_2_OBJECTID.controlId, wParam)) {
    if (chosen->second != CALLSIGN_2_OBJECTID.value.load()) {
      CALLSIGN_2_OBJECTID.value.store(chosen->second);
      gf_invalidateBand(optionsBand, true);
      lf_enable(blockButton, !gui::isWindowEnabled(lf_controlHandle(unblockButton)));
    }
    return true;
  }
  for (ComboBoxParameter* combo : {&MATCHING_DEPTH, &MAX_PARK_SEL, &parking_percentage, &RANGE,
                                   &AIRP_RANGE, &AR_ABOVE_HEIGHT, &AIRP_HEIGHT, &MAX_LIVE_SEL}) {
    const auto chosen = lf_readComboSelection(window, combo->controlId, wParam);
    if (!chosen) continue;
    const std::int32_t old = combo->value.load();
    const std::int32_t value = combo->bounded(combo->allowedValues.at(chosen->first));
    combo->value.store(value);
    gf_saveIntParameter(*combo);
    if (combo == &MATCHING_DEPTH && value > old) {
      matchingDepthRaised.store(true);
    } else if (combo == &RANGE) {
      gf_setChosenRange(value);
    } else if (combo == &MAX_LIVE_SEL) {
      liveLimitRequested.store(true);  // the engine's aircraft are removed on the run thread
    }
    return true;
  }
  if (auto chosen = lf_readComboSelection(window, AMAX_FIT_FL.controlId, wParam)) {
    const float hours = AMAX_FIT_FL.allowedValues.at(chosen->first);
    AMAX_FIT_FL.value.store(hours);  // kept per airport in the airport files, not saved here
    const int doubled = gsl::narrow<int>(2.0f * hours);
    MAX_FIT.value.store(MAX_FIT.bounded(doubled - 1));
    gf_saveIntParameter(MAX_FIT);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- the callsign box

void lf_blockCallsign() {
  gf_clearStatus();
  std::string text = lf_getTextFromId(BLOCK_CALLSIGN.controlId);
  if (text.empty()) {
    if (!BLOCK_CALLSIGN.value.load().empty()) lf_unblockCallsign();
    return;
  }
  if (text.size() < 4 || text.size() > 8) {
    gf_postStatus(wdrx::format("callsign '{}' is not valid", text), true);
    gf_showStringParameter(BLOCK_CALLSIGN);
    return;
  }
  lf_upperCase(text);
  if (text == BLOCK_CALLSIGN.value.load()) {
    gf_postStatus(wdrx::format("callsign '{}' was already set ...", text), true);
    gf_showStringParameter(BLOCK_CALLSIGN);
    return;
  }
  if (text == CALLSIGN_2_OBJECTID.value.load()) lf_clearCallsignList();
  lf_setBlockCallsign(text);
}

void lf_unblockCallsign() {
  const std::string old = BLOCK_CALLSIGN.value.load();
  if (old.empty()) return;
  BLOCK_CALLSIGN.value.store(std::string{});
  gf_saveStringParameter(BLOCK_CALLSIGN);
  gf_showStringParameter(BLOCK_CALLSIGN);
  lf_enable(unblockButton, false);
  gf_postStatus(wdrx::format("no more blocking of live aircraft '{}'", old), true);
  blockRequested.store(true);
}

void lf_setBlockCallsign(const std::string& callsign) {
  BLOCK_CALLSIGN.value.store(callsign);
  gf_saveStringParameter(BLOCK_CALLSIGN);
  gf_showStringParameter(BLOCK_CALLSIGN);
  lf_enable(unblockButton, true);
  blockRequested.store(true);  // the aircraft is removed by the main loop
}

// ---------------------------------------------------------------- the destination box

void lf_destinationEntered() {
  gf_clearStatus();
  std::string text = lf_getTextFromId(DESTINATION.controlId);
  if (text.empty()) {
    DESTINATION.value.store(std::string{});
    lf_checkDestination(0, text);
    return;
  }
  if (text.size() != 4) {
    lf_checkDestination(1, text);
    return;
  }
  lf_upperCase(text);
  if (text == DESTINATION.value.load()) {
    lf_checkDestination(2, text);
    return;
  }
  IcaoCode code;
  try {
    code = IcaoCode(text);
  } catch (const std::invalid_argument&) {
    lf_checkDestination(1, text);
    return;
  }
  // The airport table is complete once airportsRead is set and never changes afterwards.
  const Airport* airport = airportsRead.load() ? gf_findAirport(code) : nullptr;
  if (airport == nullptr) {
    lf_checkDestination(3, text);
    return;
  }
  lf_setDestination(text, airport->latitude, airport->longitude);
}

void lf_checkDestination(int kind, const std::string& text) {
  switch (kind) {
    case 0:
      lf_enable(rereadButton, true);
      gf_postStatus("destination set to empty", true);
      return;
    case 1:
      gf_postStatus(wdrx::format("destination '{}' is not valid", text), true);
      break;
    case 2:
      gf_postStatus(wdrx::format("destination '{}' was already set ...", text), true);
      break;
    default:
      gf_postStatus(wdrx::format("destination '{}' is unknown ...", text), true);
      break;
  }
  gf_showStringParameter(DESTINATION);
}

void lf_setDestination(const std::string& text, double latitude, double longitude) {
  DESTINATION.value.store(text);
  gf_saveStringParameter(DESTINATION);
  gf_showStringParameter(DESTINATION);
  gf_postStatus(wdrx::format("New destination: {}", text), true);
  // The park-airport list belongs to the run thread: the box asks it, the start of a run (on
  // the run thread) adds the stored destination at once, before its services look at the list.
  const IcaoCode code(text);
  auto* window = static_cast<gui::WindowHandle>(mainWindow.windowHandle.load());
  if (window != nullptr && gui::windowThreadIsCurrent(window)) {
    gf_requestParkAirport(code, latitude, longitude);
  } else if (windowServices.addParkAirport) {
    windowServices.addParkAirport(code, latitude, longitude);
  }
  lf_enable(rereadButton, false);
}

// ---------------------------------------------------------------- the install-path box

void lf_applyInstallPath(const std::string& text) {
  gf_clearError();
  if (text.empty()) {
    if (!SIM_INSTALL_PATH.value.load().empty()) gf_setStringParameter(SIM_INSTALL_PATH, "");
    return;
  }
  if (!gf_installPathExists(text)) return;
  gf_setStringParameter(SIM_INSTALL_PATH, text);
  gf_postStatus(wdrx::format("Install path exists, {} will restart", programName), true);
  gf_requestRunStop(ExitReason::NewSettings, 3);
}

bool gf_installPathExists(const std::string& text) {
  std::error_code error;
  const auto status = std::filesystem::status(lf_pathFromUtf8(text), error);
  if (status.type() == std::filesystem::file_type::not_found) {
    gf_postStatus(wdrx::format("This install path does not exist: {}", text), true);
    return false;
  }
  if (error) {
    gf_postStatus(wdrx::format("Cannot access install path '{}': {}", text, error.message()), true);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- main-loop helpers

void lf_refreshCounters() {
  const std::uint64_t parked =
      windowServices.countParkedLiveAc ? windowServices.countParkedLiveAc() : 0;
  const std::uint64_t live = windowServices.countLiveFlying ? windowServices.countLiveFlying() : 0;
  if (live != mainWindow.liveCount.load()) {
    mainWindow.liveCount.store(live);
    gf_invalidateBand(countersBand, true);
  }
  const std::uint64_t statics = windowServices.countStaticAc ? windowServices.countStaticAc() : 0;
  if (statics != mainWindow.staticCount.load() || parked != mainWindow.parkedLiveCount.load()) {
    mainWindow.staticCount.store(statics);
    mainWindow.parkedLiveCount.store(parked);
    gf_invalidateBand(airportBand, true);
  }
}

void lf_noticeStaticParkingUpdate() {
  gf_disableOptionControls();
  const std::int32_t seconds = runSeconds.load();
  const std::int32_t remaining = (seconds / 15 + 1) * 15 - seconds;
  gf_postStatus(wdrx::format("{} will update static parking in {} second{} ...", programName,
                             remaining, gf_pluralInt(remaining)));
  parkingUpdateRequested.store(true);
}
