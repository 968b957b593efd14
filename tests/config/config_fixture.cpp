#include "config_fixture.hpp"

#include <pugixml.hpp>

#include "foundation/log.hpp"
#include "foundation/paths.hpp"

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

const std::vector<std::string>& expectedFullWriteNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n{
        "RANDOM", "ALWAYS_ON_TOP", "NAV_LIGHTS_WHILE_PARKED", "AEROWINX", "GUID_CHANGES",
        "SCAN_LIVERIES", "LIG_PRIORITIZE", "SCAN_AIRPORTS", "LIGHT_AIRCRAFT", "HELICOPTERS",
        "HIGH_PERF_AIRCRAFT", "AUTO_RANGE", "AIRBORNE_ONLY", "COLLISION_USER_GND",
        "COLLISION_USER_AIR", "COLLISION_LIVE_PARKED_GND", "STRAIGHT_PBS_ONLY",
        "INITIAL_LOAD_ONLY", "WEEK", "PARK_SOFT", "MAIN_WINDOW_X", "MAIN_WINDOW_Y",
        "LAST_EPOCH_TIME:", "CUSTOM_PARKING_PERCENTAGE", "HOLDING_THRESHOLD_METERS",
        "MAX_HOLDING_MINUTES", "AIRP_HEIGHT", "MAX_FIT", "P3D_VERSION", "MATCHING_DEPTH", "RANGE",
        "AR_ABOVE_HEIGHT", "MAX_PARK_SEL", "MAX_LIVE_SEL", "AIRP_RANGE", "AIRP_HEIGHT",
        "PROGRAM_VERSION", "SIM_INSTALL_PATH", "PORT_NUMBER"};
    for (const char* prefix : {"lfolder", "afolder"})
      for (int i = 0; i < 10; ++i) n.push_back(wdrx::format("{}{}", prefix, i));
    for (const char* s : {"AIG_VERSION", "DBASE_VERSION", "AIRPORTS_VERSION", "LIV_SCAN_VERSION",
                          "ADDONS_SCAN_VERSION", "DESTINATION", "BLOCK_CALLSIGN"})
      n.push_back(s);
    return n;
  }();
  return names;
}
