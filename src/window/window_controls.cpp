// The child controls of the main window: creation, the edit boxes' Enter key, the callsign
// combo box, the settings code's view of the controls and the range, fit and option group.
#include "window/window_controls.hpp"

#include <algorithm>
#include <exception>
#include <mutex>
#include <vector>

#include "config/settings.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/status_line.hpp"
#include "window/main_window.hpp"
#include "window/window_commands.hpp"

namespace gui = platform::gui;

WindowSettingsView windowSettingsView;

gui::WindowHandle lf_controlHandle(const ParameterControl& control) {
  return static_cast<gui::WindowHandle>(control.hwnd);
}

// ---------------------------------------------------------------- creation

void lf_createButton(NamedControl& control, gui::WindowHandle window, void*, std::int32_t x,
                     std::int32_t width) {
  const auto y = static_cast<std::int32_t>(control.y);
  control.hwnd = gui::createControl(window, gui::ControlKind::button, control.controlId,
                                    utf8_to_wide(control.name), {x, y, x + width, y + 20});
  gui::enableWindow(lf_controlHandle(control), false);  // enabled by the run
}

void lf_createCheckBox(CheckBoxParameter& parameter, gui::WindowHandle window, void*,
                       std::int32_t x) {
  const auto y = static_cast<std::int32_t>(parameter.y) + 2;
  parameter.hwnd = gui::createControl(window, gui::ControlKind::checkBox, parameter.controlId,
                                      u"", {x, y, x + 12, y + 12});
  gui::checkButton(window, parameter.controlId, parameter.value.load());
}

void lf_createComboBox(ParameterControl& parameter, gui::WindowHandle window, void*,
                       std::int32_t x, std::int32_t width, std::int32_t dropHeight) {
  const auto y = static_cast<std::int32_t>(parameter.y) - 5;
  parameter.hwnd = gui::createControl(window, gui::ControlKind::comboBox, parameter.controlId,
                                      u"", {x, y, x + width, y + dropHeight});
}

void lf_createEditBox(EditParameter& parameter, gui::WindowHandle window, void*, std::int32_t x,
                      std::int32_t width, gui::WindowProc subclassProc) {
  const auto y = static_cast<std::int32_t>(parameter.y);
  gui::WindowHandle handle = gui::createControl(window, gui::ControlKind::edit,
                                                parameter.controlId, u"", {x, y, x + width, y + 16});
  parameter.hwnd = handle;
  parameter.previousWndProc = reinterpret_cast<void*>(gui::setWindowProc(handle, subclassProc));
  gui::enableWindow(handle, false);
}

void lf_createControls(gui::WindowHandle window, void* createData) {
  lf_createEditBox(ALL_INSTALL_PATH, window, createData, 111, 1200, lf_installPathEditProc);
  lf_createCheckBox(SCAN_LIVERIES, window, createData, 5);
  lf_createCheckBox(LIG_PRIORITIZE, window, createData, 536);
  lf_createCheckBox(ALWAYS_ON_TOP, window, createData, 748);
  lf_createCheckBox(SCAN_AIRPORTS, window, createData, 5);
  lf_createButton(tbloZipButton, window, createData, 217, 80);
  lf_createCheckBox(NAV_LIGHTS_WHILE_PARKED, window, createData, 748);
  lf_createComboBox(MATCHING_DEPTH, window, createData, 217, 40, 120);
  lf_createCheckBox(LIGHT_AIRCRAFT, window, createData, 323);
  lf_createCheckBox(HELICOPTERS, window, createData, 430);
  lf_createCheckBox(HIGH_PERF_AIRCRAFT, window, createData, 536);
  lf_createCheckBox(AEROWINX, window, createData, 652);
  lf_createCheckBox(GUID_CHANGES, window, createData, 748);
  lf_createComboBox(RANGE, window, createData, 217, 50, 200);
  lf_createCheckBox(AUTO_RANGE, window, createData, 323);
  lf_createComboBox(AR_ABOVE_HEIGHT, window, createData, 455, 70, 230);
  lf_createCheckBox(AIRBORNE_ONLY, window, createData, 572);
  lf_createCheckBox(COLLISION_USER_GND, window, createData, 217);
  lf_createCheckBox(COLLISION_USER_AIR, window, createData, 323);
  lf_createCheckBox(COLLISION_LIVE_PARKED_GND, window, createData, 430);
  lf_createEditBox(BLOCK_CALLSIGN, window, createData, 107, 100, lf_blockCallsignEditProc);
  lf_createButton(unblockButton, window, createData, 223, 60);
  lf_createButton(csToOidButton, window, createData, 305, 60);
  lf_createComboBox(CALLSIGN_2_OBJECTID, window, createData, 375, 100, 300);
  lf_createButton(blockButton, window, createData, 576, 60);
  lf_createButton(nowButton, window, createData, 111, 45);
  lf_createComboBox(MAX_PARK_SEL, window, createData, 323, 55, 144);
  lf_createComboBox(MAX_LIVE_SEL, window, createData, 536, 55, 144);
  lf_createEditBox(DESTINATION, window, createData, 217, 50, lf_destinationEditProc);
  lf_createComboBox(AIRP_RANGE, window, createData, 353, 45, 144);
  lf_createComboBox(AIRP_HEIGHT, window, createData, 566, 70, 230);
  lf_createCheckBox(STRAIGHT_PBS_ONLY, window, createData, 652);
  lf_createCheckBox(INITIAL_LOAD_ONLY, window, createData, 5);
  lf_createCheckBox(WEEK, window, createData, 71);
  lf_createCheckBox(PARK_SOFT, window, createData, 151);
  lf_createComboBox(parking_percentage, window, createData, 323, 50, 200);
  lf_createComboBox(AMAX_FIT_FL, window, createData, 566, 60, 300);
  lf_createButton(rereadButton, window, createData, 758, 90);
  lf_createButton(flushStaticButton, window, createData, 758, 90);
  gf_invalidateBand(optionsBand, true);
}

// ---------------------------------------------------------------- edit boxes

gui::MessageResult lf_editSubclassProc(EditParameter& parameter, gui::WindowHandle window,
                                       std::uint32_t message, gui::WParam wParam,
                                       gui::LParam lParam) {
  const bool handled = &parameter == &BLOCK_CALLSIGN || &parameter == &DESTINATION ||
                       &parameter == &ALL_INSTALL_PATH;
  if (message == gui::msg::character && wParam == 13 && handled) {
    try {
      gf_clearStatus();
      if (&parameter == &BLOCK_CALLSIGN) {
        lf_blockCallsign();
      } else if (&parameter == &DESTINATION) {
        lf_destinationEntered();
      } else {
        lf_applyInstallPath(lf_getTextFromId(ALL_INSTALL_PATH.controlId));
      }
    } catch (const std::exception& e) {
      gf_logMarked(wdrx::format("{} exception: {}", "lf_editSubclassProc", e.what()));
    }
    return 0;  // Enter never reaches the edit control
  }
  return gui::callWindowProc(reinterpret_cast<gui::WindowProc>(parameter.previousWndProc), window,
                             message, wParam, lParam);
}

gui::MessageResult lf_blockCallsignEditProc(gui::WindowHandle window, std::uint32_t message,
                                            gui::WParam wParam, gui::LParam lParam) {
  return lf_editSubclassProc(BLOCK_CALLSIGN, window, message, wParam, lParam);
}

gui::MessageResult lf_installPathEditProc(gui::WindowHandle window, std::uint32_t message,
                                          gui::WParam wParam, gui::LParam lParam) {
  return lf_editSubclassProc(ALL_INSTALL_PATH, window, message, wParam, lParam);
}

gui::MessageResult lf_destinationEditProc(gui::WindowHandle window, std::uint32_t message,
                                          gui::WParam wParam, gui::LParam lParam) {
  return lf_editSubclassProc(DESTINATION, window, message, wParam, lParam);
}

std::string lf_getTextFromId(std::uint16_t controlId) {
  gui::WindowHandle control = gui::controlById(mainHwnd.load(), controlId);
  if (control == nullptr) {
    gf_log(wdrx::format("GetDlgItem failed for ID {}", controlId));
    return {};
  }
  try {
    return wide_to_utf8(gui::windowText(control));
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{}: UTF-16 UTF-8 failed for id {}: {}", "lf_getTextFromId", controlId,
                        e.what()));
    return {};
  }
}

// ---------------------------------------------------------------- control changes, any thread

void lf_enable(const ParameterControl& control, bool enabled) {
  gf_onGuiThread([&control, enabled] { gui::enableWindow(lf_controlHandle(control), enabled); });
}

void lf_setCheck(const ParameterControl& control, bool checked) {
  gf_onGuiThread(
      [&control, checked] { gui::checkButton(mainHwnd.load(), control.controlId, checked); });
}

namespace {
void lf_selectComboIndex(const ParameterControl& control, int index) {
  gf_onGuiThread([&control, index] { gui::comboSelectIndex(lf_controlHandle(control), index); });
}

// The text of gf_showIntParameter / gf_showStringParameter, in the control found by its id.
void lf_showText(const ParameterControl& control, const std::string& text) {
  std::u16string wide;
  try {
    wide = utf8_to_wide(text);
  } catch (const std::exception& e) {
    gf_log(wdrx::format("utf8_to_wide failed for '{}': {}", text, e.what()));
    return;
  }
  gf_onGuiThread([&control, wide = std::move(wide)] {
    gui::WindowHandle handle = gui::controlById(mainHwnd.load(), control.controlId);
    if (handle == nullptr) {
      gf_log(wdrx::format("GetDlgItem failed for ID {}", control.controlId));
      return;
    }
    gui::setWindowText(handle, wide);
    gf_invalidateBand(optionsBand, true);
  });
}
}  // namespace

bool WindowSettingsView::isWindow(const ParameterControl& control) {
  return gui::isWindow(lf_controlHandle(control));
}
// A label may follow the box (grey while disabled, yellow while on): the band is repainted
// after the change, which the GUI thread makes before it paints.
void WindowSettingsView::setCheck(const ParameterControl& control, bool checked) {
  lf_setCheck(control, checked);
  gf_invalidateBand(optionsBand, true);
}
void WindowSettingsView::enable(const ParameterControl& control, bool enabled) {
  lf_enable(control, enabled);
  gf_invalidateBand(optionsBand, true);
}
void WindowSettingsView::resetComboBox(const ParameterControl& control) {
  gf_onGuiThread([&control] { gui::comboReset(lf_controlHandle(control)); });
}
void WindowSettingsView::addComboString(const ParameterControl& control, const std::string& text) {
  gf_onGuiThread([&control, wide = utf8_to_wide(text)] {
    gui::comboAdd(lf_controlHandle(control), wide);
  });
}
void WindowSettingsView::selectComboIndex(const ParameterControl& control, int index) {
  lf_selectComboIndex(control, index);
}
void WindowSettingsView::showText(const ParameterControl& control, const std::string& text) {
  lf_showText(control, text);
}
void WindowSettingsView::setRange(std::int32_t nm) { gf_setChosenRange(nm); }
void WindowSettingsView::syncMaxFitCombo() { gf_syncMaxFitCombo(); }

// ---------------------------------------------------------------- callsign combo box

void lf_fillCallsignCombo() {
  if (!gui::isWindow(lf_controlHandle(CALLSIGN_2_OBJECTID))) return;
  std::vector<std::u16string> items;
  {
    std::lock_guard lock(liveCallsignsMutex);
    for (const std::string& callsign : *liveCallsigns) {
      try {
        items.push_back(utf8_to_wide(callsign));
      } catch (const std::exception& e) {
        gf_log(wdrx::format("utf8_to_wide failed for '{}': {}", callsign, e.what()));
      }
    }
  }
  std::u16string chosen;
  try {
    chosen = utf8_to_wide(CALLSIGN_2_OBJECTID.value.load());
  } catch (const std::exception&) {
    // An unconvertible choice selects the first entry, as an empty one does.
  }
  gf_onGuiThread([items = std::move(items), chosen = std::move(chosen)] {
    gui::WindowHandle combo = lf_controlHandle(CALLSIGN_2_OBJECTID);
    gui::comboReset(combo);
    for (const std::u16string& item : items) gui::comboAdd(combo, item);
    gui::comboSelectPrefix(combo, chosen);
  });
}

void lf_clearCallsignList() {
  gf_invalidateBand(optionsBand, true);
  {
    std::lock_guard lock(liveCallsignsMutex);
    liveCallsigns->assign(1, std::string{});
  }
  CALLSIGN_2_OBJECTID.value.store(std::string{});
  lf_fillCallsignCombo();
  lf_enable(CALLSIGN_2_OBJECTID, false);
  lf_enable(blockButton, false);
}

bool lf_updateCallsignList() {
  std::vector<std::string> callsigns;
  if (windowServices.flyingCallsigns) callsigns = windowServices.flyingCallsigns();
  std::sort(callsigns.begin(), callsigns.end());
  const bool found = !callsigns.empty();
  CALLSIGN_2_OBJECTID.value.store(found ? callsigns.front() : std::string{});
  {
    std::lock_guard lock(liveCallsignsMutex);
    *liveCallsigns = std::move(callsigns);
  }
  lf_fillCallsignCombo();
  // "Block" follows "Unblock": it is read on the GUI thread, where the last change was made.
  gf_onGuiThread([found] {
    gui::enableWindow(lf_controlHandle(CALLSIGN_2_OBJECTID), found);
    gui::enableWindow(lf_controlHandle(blockButton),
                      found && !gui::isWindowEnabled(lf_controlHandle(unblockButton)));
  });
  return found;
}

// ---------------------------------------------------------------- range, fit, option group

std::atomic<std::int32_t> savedRange{-1};

void gf_setRange(std::int32_t nm) {
  // The clamped value also drives the traffic: the range in use is always the one shown.
  const std::int32_t range = RANGE.bounded(nm);
  RANGE.value.store(range);
  const int index = RANGE.indexOf(range);
  if (index >= 0) lf_selectComboIndex(RANGE, index);
  rangeNm.store(static_cast<double>(range));
  rangeMeters.store(static_cast<std::uint32_t>(range) * 1852u);
}

void gf_setChosenRange(std::int32_t nm) {
  gf_setRange(nm);
  savedRange.store(RANGE.value.load());
}

namespace {
void lf_restoreSavedRange() {
  const std::int32_t saved = savedRange.load();
  gf_setRange(saved < 0 ? RANGE.defaultValue : saved);
}
}  // namespace

void gf_applyRangeMode() {
  const bool automatic = AUTO_RANGE.value.load();
  if (automatic) {
    savedRange.store(RANGE.value.load());
    if (windowServices.autoRange) windowServices.autoRange();
  } else {
    lf_restoreSavedRange();
    gf_clearStatus();
  }
  lf_enable(RANGE, !automatic);
}

void lf_switchRangeMode(bool automatic) {
  if (automatic) {
    savedRange.store(RANGE.value.load());
  } else {
    lf_restoreSavedRange();
    gf_clearStatus();
  }
  lf_enable(RANGE, !automatic);
  rangeModeRequested.store(true);
}

void lf_serveRangeMode() {
  if (AUTO_RANGE.value.load()) {
    if (windowServices.autoRange) windowServices.autoRange();
  } else {
    lf_restoreSavedRange();  // again: an automatic choice may have come in between
  }
}

void gf_syncMaxFitCombo() {
  const float value = gf_fitStepValue(MAX_FIT.value.load());
  AMAX_FIT_FL.value.store(value);
  const int index = AMAX_FIT_FL.indexOf(value);
  if (!AMAX_FIT_FL.allowedValues.empty() && index >= 0) lf_selectComboIndex(AMAX_FIT_FL, index);
}

namespace {
void lf_setOptionControls(bool enabled) {
  for (const ParameterControl* control :
       std::initializer_list<const ParameterControl*>{&parking_percentage, &AMAX_FIT_FL,
                                                      &MAX_PARK_SEL, &MAX_LIVE_SEL, &WEEK,
                                                      &PARK_SOFT, &flushStaticButton})
    lf_enable(*control, enabled);
  if (!INITIAL_LOAD_ONLY.value.load()) lf_enable(nowButton, enabled);
  lf_enable(rereadButton, enabled);
}
}  // namespace

void lf_refreshNowButton() {
  lf_enable(nowButton, !INITIAL_LOAD_ONLY.value.load() && nowButtonAllowed.load());
}

void gf_disableOptionControls() {
  parkingUpdateBusy.store(true);
  nowButtonAllowed.store(false);
  lf_setOptionControls(false);
  gf_invalidateBand(optionsBand, true);
}

void gf_enableOptionControls() {
  parkingUpdateBusy.store(false);
  mainWindow.renewalCountdown.store(20);
  gf_invalidateBand(optionsBand, true);
  nowButtonAllowed.store(true);
  lf_setOptionControls(true);
  gf_invalidateBand(optionsBand, true);
}

std::optional<std::pair<std::uint32_t, std::string>> lf_readComboSelection(
    gui::WindowHandle window, std::uint16_t controlId, gui::WParam wParam) {
  if (gui::hiWord(wParam) != gui::notify::selectionChanged || gui::loWord(wParam) != controlId)
    return std::nullopt;
  gui::WindowHandle combo = gui::controlById(window, controlId);
  if (combo == nullptr) return std::nullopt;
  const std::int32_t index = gui::comboSelection(combo);
  if (index < 0) return std::nullopt;
  // The item is read whole, at its own length.
  const auto item = gui::comboItemText(combo, index);
  if (!item) return std::nullopt;
  try {
    return std::pair{static_cast<std::uint32_t>(index), wide_to_utf8(*item)};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// ---------------------------------------------------------------- start of a run

void lf_initControlValues() {
  for (const CheckBoxParameter* box : {&ALWAYS_ON_TOP, &NAV_LIGHTS_WHILE_PARKED, &GUID_CHANGES,
                                       &SCAN_LIVERIES, &LIG_PRIORITIZE, &SCAN_AIRPORTS})
    lf_enable(*box, true);
  lf_enable(tbloZipButton, false);
  lf_enable(MATCHING_DEPTH, true);
  gf_fillParameterComboBox(MATCHING_DEPTH);
  for (const CheckBoxParameter* box : {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
    lf_enable(*box, true);
  const bool automatic = AUTO_RANGE.value.load();
  lf_enable(RANGE, !automatic);
  gf_fillParameterComboBox(RANGE);
  lf_enable(AUTO_RANGE, true);
  lf_enable(AR_ABOVE_HEIGHT, automatic);
  gf_fillParameterComboBox(AR_ABOVE_HEIGHT);
  for (const CheckBoxParameter* box : {&AIRBORNE_ONLY, &COLLISION_USER_GND, &COLLISION_USER_AIR,
                                       &COLLISION_LIVE_PARKED_GND})
    lf_enable(*box, true);
  lf_enable(blockButton, false);
  lf_enable(BLOCK_CALLSIGN, true);
  lf_enable(unblockButton, !BLOCK_CALLSIGN.value.load().empty());
  const bool initialLoadOnly = INITIAL_LOAD_ONLY.value.load();
  lf_enable(nowButton, initialLoadOnly);
  nowButtonAllowed.store(initialLoadOnly);
  for (ComboBoxParameter* combo : {&MAX_PARK_SEL, &MAX_LIVE_SEL}) {
    lf_enable(*combo, true);
    gf_fillParameterComboBox(*combo);
  }
  lf_enable(STRAIGHT_PBS_ONLY, true);
  lf_enable(csToOidButton, false);
  lf_enable(CALLSIGN_2_OBJECTID, false);
  lf_enable(DESTINATION, false);
  for (ComboBoxParameter* combo : {&AIRP_RANGE, &AIRP_HEIGHT}) {
    lf_enable(*combo, true);
    gf_fillParameterComboBox(*combo);
  }
  lf_enable(rereadButton, false);
  parking_percentage.value.store(30);
  gf_fillParameterComboBox(parking_percentage);
  lf_enable(parking_percentage, false);
  if (windowSettingsView.isWindow(AMAX_FIT_FL)) {
    windowSettingsView.resetComboBox(AMAX_FIT_FL);
    for (float value : AMAX_FIT_FL.allowedValues)
      windowSettingsView.addComboString(AMAX_FIT_FL, wdrx::format("{:.1f}", value));
    const int index = AMAX_FIT_FL.indexOf(AMAX_FIT_FL.value.load());
    if (index >= 0) lf_selectComboIndex(AMAX_FIT_FL, index);
    gf_syncMaxFitCombo();
    lf_enable(AMAX_FIT_FL, false);
  }
  for (const CheckBoxParameter* box : {&WEEK, &PARK_SOFT}) lf_enable(*box, true);
  lf_enable(flushStaticButton, false);
  lf_enable(INITIAL_LOAD_ONLY, true);
}
