#include "config_fixture.hpp"

#include <pugixml.hpp>

#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "runstate/run_control.hpp"
#include "support/fresh_state.hpp"

namespace {
const bool fresh = wdrx::testing::resetBeforeEachTest([] {
  wdrx::testing::resetRunControl();
  wdrx::testing::resetSettings();
  wdrx::testing::resetParametersStore();
});
}  // namespace

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

Entries fileParameters() {
  pugi::xml_document document;
  Entries entries;
  if (!document.load_file(parametersFile.c_str())) return entries;
  pugi::xml_node holder = document.child("root") ? document.child("root") : document;
  for (auto element : holder.child("parameters").children("parameter")) {
    auto value = element.attribute("value");
    entries.emplace_back(element.attribute("name").value(), value ? value.value() : "<none>");
  }
  return entries;
}

std::vector<std::string> fileNames() {
  std::vector<std::string> names;
  for (const auto& entry : fileParameters()) names.push_back(entry.first);
  return names;
}

std::string fileValue(const std::string& name) {
  for (const auto& [key, value] : fileParameters())
    if (key == name) return value;
  return "<absent>";
}

void writeParametersFile(const Entries& entries, bool withRoot) {
  std::string text = withRoot ? "<root><parameters>\n" : "<parameters>\n";
  for (const auto& [name, value] : entries) {
    text += value == "<none>" ? wdrx::format("<parameter name=\"{}\"/>\n", name)
                              : wdrx::format("<parameter name=\"{}\" value=\"{}\"/>\n", name, value);
  }
  text += withRoot ? "</parameters></root>\n" : "</parameters>\n";
  wdrx::testing::writeFile(parametersFile, text);
}

const Entries& expectedDefaultEntries() {
  static const Entries entries = [] {
    Entries e{{"RANDOM", "true"},
              {"ALWAYS_ON_TOP", "false"},
              {"NAV_LIGHTS_WHILE_PARKED", "true"},
              {"AEROWINX", "false"},
              {"GUID_CHANGES", "true"},
              {"SCAN_LIVERIES", "true"},
              {"LIG_PRIORITIZE", "true"},
              {"SCAN_AIRPORTS", "true"},
              {"LIGHT_AIRCRAFT", "true"},
              {"HELICOPTERS", "true"},
              {"HIGH_PERF_AIRCRAFT", "true"},
              {"AUTO_RANGE", "true"},
              {"AIRBORNE_ONLY", "false"},
              {"COLLISION_USER_GND", "true"},
              {"COLLISION_USER_AIR", "true"},
              {"COLLISION_LIVE_PARKED_GND", "false"},
              {"STRAIGHT_PBS_ONLY", "false"},
              {"INITIAL_LOAD_ONLY", "false"},
              {"WEEK", "false"},
              {"PARK_SOFT", "false"},
              {"MAIN_WINDOW_X", "400"},
              {"MAIN_WINDOW_Y", "20"},
              {"LAST_EPOCH_TIME:", "0"},
              {"CUSTOM_PARKING_PERCENTAGE", "-1"},
              {"HOLDING_THRESHOLD_METERS", "250"},
              {"MAX_HOLDING_MINUTES", "20"},
              {"AIRP_HEIGHT", "18000"},
              {"MAX_FIT", "47"},
              {"P3D_VERSION", "5"},
              {"MATCHING_DEPTH", "4"},
              {"RANGE", "40"},
              {"AR_ABOVE_HEIGHT", "48000"},
              {"MAX_PARK_SEL", "500"},
              {"MAX_LIVE_SEL", "500"},
              {"AIRP_RANGE", "20"},
              {"AIRP_HEIGHT", "18000"},
              {"PROGRAM_VERSION", "12.5.4"},
              {"SIM_INSTALL_PATH", ""},
              {"PORT_NUMBER", "10747"}};
    for (const char* prefix : {"lfolder", "afolder"})
      for (int i = 0; i < 10; ++i) e.emplace_back(wdrx::format("{}{}", prefix, i), "");
    for (const char* s : {"AIG_VERSION", "DBASE_VERSION", "AIRPORTS_VERSION", "LIV_SCAN_VERSION",
                          "ADDONS_SCAN_VERSION", "DESTINATION", "BLOCK_CALLSIGN"})
      e.emplace_back(s, "");
    return e;
  }();
  return entries;
}

const std::vector<std::string>& expectedFullWriteNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const auto& entry : expectedDefaultEntries()) n.push_back(entry.first);
    return n;
  }();
  return names;
}
