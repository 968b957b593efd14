#include "config/parameters.hpp"

#include <exception>
#include <string>

#include "config/settings_view.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

void gf_fillParameterComboBox(ComboBoxParameter& parameter) {
  auto* view = gf_settingsView();
  if (view == nullptr || !view->isWindow(parameter)) return;
  view->resetComboBox(parameter);
  for (int allowed : parameter.allowedValues) view->addComboString(parameter, std::to_string(allowed));
  const int index = parameter.indexOf(parameter.value.load());
  if (index >= 0) view->selectComboIndex(parameter, index);
}

void gf_showStringParameterInControl(EditParameter& parameter) noexcept {
  try {
    gf_showStringParameter(parameter);
  } catch (const std::exception& e) {
    try {
      gf_log(wdrx::format("{} exception: {}", "gf_showStringParameterInControl", e.what()));
    } catch (...) {
    }
  }
}
