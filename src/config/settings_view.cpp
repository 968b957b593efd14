#include "config/settings_view.hpp"

#include <atomic>
#include <string>

#include "config/parameters.hpp"

namespace {
std::atomic<SettingsView*> registeredView{nullptr};
std::atomic<SettingsFollowUps*> registeredFollowUps{nullptr};
}  // namespace

void gf_setSettingsView(SettingsView* view) { registeredView.store(view); }
SettingsView* gf_settingsView() { return registeredView.load(); }
void gf_setSettingsFollowUps(SettingsFollowUps* followUps) { registeredFollowUps.store(followUps); }
SettingsFollowUps* gf_settingsFollowUps() { return registeredFollowUps.load(); }

void gf_enableControl(const ParameterControl& control, bool enabled) {
  if (auto* view = gf_settingsView()) view->enable(control, enabled);
}

void gf_showIntParameter(ComboBoxParameter& parameter) {
  if (auto* view = gf_settingsView()) view->showText(parameter, std::to_string(parameter.value.load()));
}

void gf_showStringParameter(EditParameter& parameter) {
  if (auto* view = gf_settingsView()) view->showText(parameter, parameter.value.load());
}
