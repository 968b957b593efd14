#pragma once
// How the settings code reaches the main window's controls and the window's range and fit
// operations without depending on the window. The window registers its implementations once;
// until then (and in processes without a window) every control update is skipped.
//
// The store never calls these while it holds its file lock: on Windows they send messages
// to the GUI thread, which may itself be waiting to save a setting.
#include <cstdint>
#include <string>

class ParameterControl;
class ComboBoxParameter;
class EditParameter;

class SettingsView {
 public:
  virtual ~SettingsView() = default;
  virtual bool isWindow(const ParameterControl& control) = 0;                // IsWindow(hwnd)
  virtual void setCheck(const ParameterControl& control, bool checked) = 0;   // BM_SETCHECK
  virtual void enable(const ParameterControl& control, bool enabled) = 0;     // EnableWindow
  virtual void resetComboBox(const ParameterControl& control) = 0;            // CB_RESETCONTENT
  virtual void addComboString(const ParameterControl& control, const std::string& text) = 0;
  virtual void selectComboIndex(const ParameterControl& control, int index) = 0;  // CB_SETCURSEL
  // The control's text (gf_showIntParameter / gf_showStringParameter of the window).
  virtual void showText(const ParameterControl& control, const std::string& text) = 0;
};

// The window's range and fit operations that a restore of the user's settings triggers.
class SettingsFollowUps {
 public:
  virtual ~SettingsFollowUps() = default;
  virtual void setRange(std::int32_t nm) = 0;  // gf_setRange
  virtual void syncMaxFitCombo() = 0;          // gf_syncMaxFitCombo
};

// Registration points; nullptr unregisters. The caller keeps the object alive while registered.
void gf_setSettingsView(SettingsView* view);
SettingsView* gf_settingsView();
void gf_setSettingsFollowUps(SettingsFollowUps* followUps);
SettingsFollowUps* gf_settingsFollowUps();

// Control updates used by the store and the other subsystems, each skipped without a
// registered view.
void gf_enableControl(const ParameterControl& control, bool enabled = true);
void gf_showIntParameter(ComboBoxParameter& parameter);
void gf_showStringParameter(EditParameter& parameter);
