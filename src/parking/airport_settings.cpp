// Per-airport settings of airport files and learned files.
#include "parking/airport_settings.hpp"

#include <string>

#include "airports/airport_db.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

namespace {

void lf_setCheckBox(CheckBoxParameter& parameter, bool value) {
  parameter.value.store(value);
  if (auto* view = gf_settingsView()) view->setCheck(parameter, value);
}

void lf_selectCombo(ComboBoxParameter& parameter) {
  const int index = parameter.indexOf(parameter.value.load());
  if (auto* view = gf_settingsView(); view && index >= 0) view->selectComboIndex(parameter, index);
}

// A range from a file is bounded before it reaches the range copies.
void lf_setRange(std::int32_t fileValue) {
  const std::int32_t nm = RANGE.bounded(fileValue);
  if (auto* followUps = gf_settingsFollowUps()) {
    followUps->setRange(nm);
  } else {
    RANGE.value.store(nm);
    rangeNm.store(static_cast<double>(nm));
    rangeMeters.store(static_cast<std::uint32_t>(nm) * 1852u);
  }
  if (auto* view = gf_settingsView()) view->enable(RANGE, true);
}

void lf_syncMaxFit() {
  if (auto* followUps = gf_settingsFollowUps()) followUps->syncMaxFitCombo();
}

template <typename T>
void lf_logSetting(const std::string& name, const T& value) {
  gf_logIndented(wdrx::format("{:24}: {}", name, value));
}

void lf_applyBool(const pugi::xml_node& document, CheckBoxParameter& parameter) {
  if (auto value = gf_findXmlBoolParameter(document, parameter.name)) {
    lf_setCheckBox(parameter, *value);
    lf_logSetting(parameter.name, *value);
  }
}

}  // namespace

void gf_applyAirportDefaults(const QualityPair& quality, const IcaoCode& code) {
  if (quality.real < 3 && quality.soft >= 1) {
    lf_setCheckBox(PARK_SOFT, true);
    lf_setCheckBox(WEEK, true);
    // The step and the hours move together, so that the learned file keeps what is shown.
    MAX_FIT.value.store(MAX_FIT.maxValue);
    AMAX_FIT_FL.value.store(24.0f);
    const int index = AMAX_FIT_FL.indexOf(24.0f);
    if (auto* view = gf_settingsView(); view && index >= 0) view->selectComboIndex(AMAX_FIT_FL, index);
  } else if (quality.real >= 46) {
    lf_setCheckBox(PARK_SOFT, false);
    lf_setCheckBox(WEEK, false);
  }
  const Airport* airport = gf_findAirport(code);
  const std::int32_t stands = airport ? airport->stands : 0;
  const std::int32_t percentage = stands == 1 ? 100 : stands == 2 ? 50 : 30;
  parking_percentage.value.store(percentage);
  gf_logIndented(wdrx::format("{:24}: {}%", parking_percentage.name, percentage));
  lf_selectCombo(parking_percentage);
  if (auto* view = gf_settingsView()) view->enable(parking_percentage, true);
}

void lf_applyLearnedSettings(const pugi::xml_node& document) {
  if (auto value = gf_findXmlIntParameter(document, MAX_LIVE_SEL.name)) {
    MAX_LIVE_SEL.value.store(MAX_LIVE_SEL.bounded(*value));
    lf_selectCombo(MAX_LIVE_SEL);
    lf_logSetting(MAX_LIVE_SEL.name, MAX_LIVE_SEL.value.load());
  }
  if (auto value = gf_findXmlIntParameter(document, RANGE.name)) {
    lf_setRange(*value);
    lf_logSetting(RANGE.name, RANGE.value.load());
  }
  if (auto value = gf_findXmlBoolParameter(document, AUTO_RANGE.name)) {
    lf_setCheckBox(AUTO_RANGE, *value);
    if (airportFileDisplay.applyRangeMode) airportFileDisplay.applyRangeMode();
    lf_logSetting(AUTO_RANGE.name, *value);
  }
  // A percentage from a file is kept within 0..100 like one chosen in the window.
  if (auto value = gf_findXmlIntParameter(document, parking_percentage.name)) {
    parking_percentage.value.store(parking_percentage.bounded(*value));
    lf_logSetting(parking_percentage.name, parking_percentage.value.load());
  } else {
    parking_percentage.value.store(30);
  }
  lf_selectCombo(parking_percentage);
  lf_applyBool(document, WEEK);
  lf_applyBool(document, PARK_SOFT);
  if (auto value = gf_findXmlIntParameter(document, MAX_FIT.name)) {
    MAX_FIT.value.store(MAX_FIT.bounded(*value));
    lf_syncMaxFit();
    gf_logIndented(wdrx::format("{:24}: {} (max number of half hours, is {:.1F} hrs decimal)",
                                MAX_FIT.name, MAX_FIT.value.load(), AMAX_FIT_FL.value.load()));
  }
  if (auto value = gf_findXmlBoolParameter(document, INITIAL_LOAD_ONLY.name)) {
    lf_setCheckBox(INITIAL_LOAD_ONLY, *value);
    if (airportFileDisplay.refreshNowButton) airportFileDisplay.refreshNowButton();
    lf_logSetting(INITIAL_LOAD_ONLY.name, *value);
  }
}
