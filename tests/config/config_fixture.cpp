#include "config_fixture.hpp"

#include <algorithm>

#include <pugixml.hpp>

#include "config/parameters.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"

bool RecordingView::isWindow(const ParameterControl&) { return true; }
void RecordingView::setCheck(const ParameterControl& c, bool checked) {
  record(wdrx::format("check {} {}", c.controlId, checked ? 1 : 0));
}
void RecordingView::enable(const ParameterControl& c, bool enabled) {
  record(wdrx::format("enable {} {}", c.controlId, enabled ? 1 : 0));
}
void RecordingView::resetComboBox(const ParameterControl& c) {
  record(wdrx::format("reset {}", c.controlId));
}
void RecordingView::addComboString(const ParameterControl& c, const std::string& text) {
  record(wdrx::format("add {} {}", c.controlId, text));
}
void RecordingView::selectComboIndex(const ParameterControl& c, int index) {
  record(wdrx::format("select {} {}", c.controlId, index));
}
void RecordingView::showText(const ParameterControl& c, const std::string& text) {
  record(wdrx::format("text {} {}", c.controlId, text));
}
void RecordingView::setRange(std::int32_t nm) { record(wdrx::format("setRange {}", nm)); }
void RecordingView::syncMaxFitCombo() { record("syncMaxFitCombo"); }

std::vector<std::string> RecordingView::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}
bool RecordingView::saw(const std::string& call) const {
  std::lock_guard lock(mutex_);
  return std::find(calls_.begin(), calls_.end(), call) != calls_.end();
}
void RecordingView::record(std::string call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

void ConfigTest::SetUp() {
  std::filesystem::create_directories(dataFolder);
  gf_openLog();
  gf_setSettingsView(&view);
  gf_setSettingsFollowUps(&view);
}

void ConfigTest::TearDown() {
  gf_setSettingsView(nullptr);
  gf_setSettingsFollowUps(nullptr);
  wdrx::testing::closeLog();
}

std::string ConfigTest::logText() {
  wdrx::testing::closeLog();
  return wdrx::testing::readFile(dir / "Log.txt");
}

std::vector<std::pair<std::string, std::string>> fileParameters() {
  pugi::xml_document document;
  std::vector<std::pair<std::string, std::string>> entries;
  if (!document.load_file(parametersFile.c_str())) return entries;
  pugi::xml_node holder = document.child("root") ? document.child("root") : document;
  for (auto element : holder.child("parameters").children("parameter")) {
    auto value = element.attribute("value");
    entries.emplace_back(element.attribute("name").value(), value ? value.value() : "<none>");
  }
  return entries;
}

std::string fileValue(const std::string& name) {
  for (const auto& [key, value] : fileParameters())
    if (key == name) return value;
  return "<absent>";
}

void writeParametersFile(const std::vector<std::pair<std::string, std::string>>& entries,
                         bool withRoot) {
  std::string text = "<?xml version=\"1.0\"?>\n";
  text += withRoot ? "<root><parameters>\n" : "<parameters>\n";
  for (const auto& [name, value] : entries) {
    text += value == "<none>" ? wdrx::format("<parameter name=\"{}\"/>\n", name)
                              : wdrx::format("<parameter name=\"{}\" value=\"{}\"/>\n", name, value);
  }
  text += withRoot ? "</parameters></root>\n" : "</parameters>\n";
  wdrx::testing::writeFile(parametersFile, text);
}

const std::vector<std::string>& expectedFullWriteNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n{"RANDOM",
                               "ALWAYS_ON_TOP", "NAV_LIGHTS_WHILE_PARKED", "AEROWINX",
                               "GUID_CHANGES", "SCAN_LIVERIES", "LIG_PRIORITIZE", "SCAN_AIRPORTS",
                               "LIGHT_AIRCRAFT", "HELICOPTERS", "HIGH_PERF_AIRCRAFT", "AUTO_RANGE",
                               "AIRBORNE_ONLY", "COLLISION_USER_GND", "COLLISION_USER_AIR",
                               "COLLISION_LIVE_PARKED_GND", "STRAIGHT_PBS_ONLY",
                               "INITIAL_LOAD_ONLY", "WEEK", "PARK_SOFT",
                               "MAIN_WINDOW_X", "MAIN_WINDOW_Y", "LAST_EPOCH_TIME:",
                               "CUSTOM_PARKING_PERCENTAGE", "HOLDING_THRESHOLD_METERS",
                               "MAX_HOLDING_MINUTES", "AIRP_HEIGHT", "MAX_FIT", "P3D_VERSION",
                               "MATCHING_DEPTH", "RANGE", "AR_ABOVE_HEIGHT", "MAX_PARK_SEL",
                               "MAX_LIVE_SEL", "AIRP_RANGE", "AIRP_HEIGHT",
                               "PROGRAM_VERSION", "SIM_INSTALL_PATH", "PORT_NUMBER"};
    for (int i = 0; i < 10; ++i) n.push_back(wdrx::format("lfolder{}", i));
    for (int i = 0; i < 10; ++i) n.push_back(wdrx::format("afolder{}", i));
    for (const char* s : {"AIG_VERSION", "DBASE_VERSION", "AIRPORTS_VERSION", "LIV_SCAN_VERSION",
                          "ADDONS_SCAN_VERSION", "DESTINATION", "BLOCK_CALLSIGN"})
      n.push_back(s);
    return n;
  }();
  return names;
}
