#pragma once
// The child controls of the main window: their creation on WM_CREATE, the edit boxes' Enter
// key, the callsign combo box, the window's side of the settings code (SettingsView) and the
// control operations of the range, fit and option group. Functions that change controls may
// be called from any thread: the change itself is done on the GUI thread.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "config/parameters.hpp"
#include "config/settings_view.hpp"
#include "platform/window_system.hpp"

platform::gui::WindowHandle lf_controlHandle(const ParameterControl& control);

// WM_CREATE: every control of the options band, in order.
void lf_createControls(platform::gui::WindowHandle window, void* createData);
void lf_createButton(NamedControl& control, platform::gui::WindowHandle window, void* createData,
                     std::int32_t x, std::int32_t width);
void lf_createCheckBox(CheckBoxParameter& parameter, platform::gui::WindowHandle window,
                       void* createData, std::int32_t x);
void lf_createComboBox(ParameterControl& parameter, platform::gui::WindowHandle window,
                       void* createData, std::int32_t x, std::int32_t width,
                       std::int32_t dropHeight);
void lf_createEditBox(EditParameter& parameter, platform::gui::WindowHandle window,
                      void* createData, std::int32_t x, std::int32_t width,
                      platform::gui::WindowProc subclassProc);

platform::gui::MessageResult lf_editSubclassProc(EditParameter& parameter,
                                                 platform::gui::WindowHandle window,
                                                 std::uint32_t message, platform::gui::WParam,
                                                 platform::gui::LParam);
platform::gui::MessageResult lf_blockCallsignEditProc(platform::gui::WindowHandle, std::uint32_t,
                                                      platform::gui::WParam, platform::gui::LParam);
platform::gui::MessageResult lf_installPathEditProc(platform::gui::WindowHandle, std::uint32_t,
                                                    platform::gui::WParam, platform::gui::LParam);
platform::gui::MessageResult lf_destinationEditProc(platform::gui::WindowHandle, std::uint32_t,
                                                    platform::gui::WParam, platform::gui::LParam);

// The text of a control (GUI thread); empty with a log line when it is missing or unreadable.
std::string lf_getTextFromId(std::uint16_t controlId);

// Enables or disables, checks, shows a text in a control; any thread.
void lf_enable(const ParameterControl& control, bool enabled);
void lf_setCheck(const ParameterControl& control, bool checked);

// The callsign combo box of CALLSIGN_2_OBJECTID and its list liveCallsigns.
void lf_fillCallsignCombo();
void lf_clearCallsignList();
bool lf_updateCallsignList();  // run thread: the live aircraft's callsigns

// Range, fit and the static-parking option group.
void gf_setRange(std::int32_t nm);
// The range chosen by hand or read from a file (parameters.xml, a learned file, the user's own
// settings put back): set, and remembered as the one the automatic range returns to.
void gf_setChosenRange(std::int32_t nm);
// That remembered range (-1: none yet, RANGE's default is taken).
extern std::atomic<std::int32_t> savedRange;
void gf_applyRangeMode();  // run thread (it may choose the range automatically)
// The AUTO_RANGE box (GUI thread): the hand-chosen range is remembered or put back at once, so
// that switching on and off before the run thread looks loses nothing; the automatic choice
// reads the run thread's data and is made there (lf_serveRangeMode, from the requests).
void lf_switchRangeMode(bool automatic);
void lf_serveRangeMode();
void gf_syncMaxFitCombo();
// "Now" is enabled while INITIAL_LOAD_ONLY is off and the park airport allows it.
void lf_refreshNowButton();
void gf_disableOptionControls();
void gf_enableOptionControls();
// The new selection of a combo box when wParam is its CBN_SELCHANGE: index and item text.
std::optional<std::pair<std::uint32_t, std::string>> lf_readComboSelection(
    platform::gui::WindowHandle window, std::uint16_t controlId, platform::gui::WParam wParam);

// Enables the controls and shows the parameter values at the start of a run.
void lf_initControlValues();

// The window's side of the settings code; registered while the window exists.
class WindowSettingsView : public SettingsView, public SettingsFollowUps {
 public:
  bool isWindow(const ParameterControl& control) override;
  void setCheck(const ParameterControl& control, bool checked) override;
  void enable(const ParameterControl& control, bool enabled) override;
  void resetComboBox(const ParameterControl& control) override;
  void addComboString(const ParameterControl& control, const std::string& text) override;
  void selectComboIndex(const ParameterControl& control, int index) override;
  void showText(const ParameterControl& control, const std::string& text) override;
  void setRange(std::int32_t nm) override;
  void syncMaxFitCombo() override;
};
extern WindowSettingsView windowSettingsView;
