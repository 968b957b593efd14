// Learned airport files: merged on reading, written back on leaving, handmade files, settings.
#include <gtest/gtest.h>

#include <filesystem>

#include <pugixml.hpp>

#include "config/settings.hpp"
#include "parking/apf_fixture.hpp"
#include "parking/apf_location.hpp"
#include "parking/apf_reader.hpp"
#include "parking/apf_state.hpp"
#include "parking/learned_files.hpp"
#include "parking/stand_learning.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "traffic/udp_reader.hpp"

using namespace apf_test;
namespace fs = std::filesystem;
using wdrx::testing::readFile;
using wdrx::testing::shownPath;
using wdrx::testing::writeFile;

namespace {

const fs::path airportFile{"airports/my_thirdparty/EHAM.xml"};
const fs::path learnedFile{"airports/learned/thirdparty/FlyTampa/EHAM.xml"};

class LearnedTest : public ApfTest {
 protected:
  LearnedTest() {
    addAirport("EHAM", 52.3, 4.76, 3);
    setParkAirport("EHAM");
    klm = addRegistration("PH-BXA", "KLM", "B738");
    writeFile(airportFile,
              apfXml({{"publisher", "FlyTampa"}, {"altitude", "-11"}, {"airport_name", "Schiphol"}},
                     parkpos("A1", 52.30, 4.76, R"(radius="20")",
                             R"(<opt reg="PH-BXB" airl="KLM" type="B738" day="1" hh="4:6"/>)") +
                         parkpos("A2", 52.31, 4.76, R"(radius="20" type="0" cargo="false")") +
                         parkpos("B1", 52.32, 4.76, R"(radius="30")")));
  }
  // Leaves the airport the way the static parking does, then reads it again.
  std::string readAgain() {
    lf_clearStands();
    apfHeader = {};
    return gf_readApf(airportFile.string());
  }
  Stand& named(const std::string& name) {
    for (Stand& stand : standTable)
      if (stand.name == name) return stand;
    throw std::runtime_error("no stand " + name);
  }
  static std::string learned(const std::vector<std::pair<std::string, std::string>>& parameters,
                             const std::string& stands, const std::string& version = "12.5.4") {
    auto all = parameters;
    if (all.empty() || all.front().first != "airport_name") all.insert(all.begin(), {"airport_name", "Schiphol"});
    return apfXml(all, stands, version);
  }

  AircraftCodes klm;
};

}  // namespace

TEST_F(LearnedTest, WhatWasLearnedSurvivesSaveAndNextRead) {
  ASSERT_EQ(gf_readApf(airportFile.string()), "");
  EXPECT_EQ(apfLearnedPath, learnedFile);
  // Learning at the airport: two options, a switched-off one, changed stands, a manual stand.
  AcBase aircraft;
  aircraft.registration = "PH-BXA";
  aircraft.callsign = "KLM1";
  currentWeekSlot.store(WeekSlot{2, 20}.packed());
  lf_addRealStandOption(1, aircraft, StandEvent::createdParked);
  currentWeekSlot.store(WeekSlot{2, 22}.packed());
  aircraft.callsign = "KLM2";
  lf_addRealStandOption(1, aircraft, StandEvent::leaving);
  currentWeekSlot.store(WeekSlot{3, 7}.packed());
  lf_addRealStandOption(3, aircraft, StandEvent::standing);
  named("B1").options.back().number = 0;  // switched off by a search for now
  named("A2").radius = 25.0 * metresToNm;
  named("A2").radius_change = 1;
  named("A2").cargo = 1;
  named("A2").cargo_change = 1;
  standTable.emplace_back(std::vector<StandOption>{}, "M1", StandPosition{52.33, 4.77, 0.5}, 18.0,
                          0, false, false, false);
  standTable.back().manual = 1;
  WEEK.value.store(true);
  MAX_FIT.value.store(20);
  parking_percentage.value.store(65);
  ASSERT_EQ(learnedUpdateCount.load(), 3);

  lf_saveAirportFile();
  EXPECT_EQ(learnedUpdateCount.load(), 0);
  EXPECT_EQ(logLinesWith("22:13:20 '" + shownPath(learnedFile) + "' saved with 3 updates").size(), 1u);
  const std::string saved = readFile(learnedFile);
  EXPECT_EQ(saved.find("PH-BXB"), std::string::npos);  // the airport file's own options stay there
  EXPECT_NE(saved.find(R"(<parkpos id="A1">)"), std::string::npos);
  EXPECT_EQ(named("A1").options.size(), 2u);  // the table itself keeps them

  WEEK.value.store(false);
  MAX_FIT.value.store(47);
  parking_percentage.value.store(30);
  ASSERT_EQ(readAgain(), "");
  EXPECT_TRUE(WEEK.value.load());
  EXPECT_EQ(MAX_FIT.value.load(), 20);
  EXPECT_EQ(parking_percentage.value.load(), 65);
  ASSERT_EQ(standTable.size(), 4u);
  const Stand& a1 = named("A1");
  ASSERT_EQ(a1.options.size(), 2u);
  EXPECT_EQ(a1.options[0].source, 1u);
  EXPECT_EQ(a1.options[1].reg, "PH-BXA");
  EXPECT_EQ(a1.options[1].codes, klm);
  EXPECT_EQ(a1.options[1].hours, gf_hours2bitset("20:22"));
  EXPECT_EQ(a1.options[1].cs1, "KLM1");
  EXPECT_EQ(a1.options[1].cs2, "KLM2");
  EXPECT_EQ(a1.options[1].cpl, 1);
  EXPECT_EQ(a1.options[1].source, 0u);
  EXPECT_EQ(a1.options[1].number, 2u);
  const Stand& a2 = named("A2");
  EXPECT_NEAR(a2.radius * 1852.0, 25.0, 1e-9);
  EXPECT_TRUE(a2.radius_change && a2.cargo && a2.cargo_change);
  const Stand& b1 = named("B1");
  ASSERT_EQ(b1.options.size(), 1u);  // the switched-off option is back, switched on
  EXPECT_EQ(b1.options[0].number, 1u);
  EXPECT_EQ(b1.options[0].day, 3u);
  const Stand& m1 = named("M1");
  EXPECT_EQ(m1.manual, 1);
  EXPECT_EQ(m1.number, 4u);
  EXPECT_NEAR(m1.radius * 1852.0, 18.0, 1e-9);
  EXPECT_NEAR(m1.heading, 0.5, 1e-3);

  // Saved again unchanged, the file is the same.
  lf_saveAirportFile();
  EXPECT_EQ(readFile(learnedFile), saved);
  EXPECT_EQ(logLinesWith("saved with 0 updates").size(), 1u);
}

TEST_F(LearnedTest, HandmadeFileReplacesTheStandsAndIsSavedWhole) {
  writeFile(learnedFile, learned({{"handmade", "false"}, {"publisher", "FlyTampa"}},
                                 parkpos("H1", 52.4, 4.8, R"(radius="30" type="2")",
                                         R"(<opt reg="PH-BXA" day="4" hh="10:11"/>)"
                                         R"(<opt reg="" airl="TRA" type="B738" day="5" hh="1,3"/>)") +
                                     parkpos("H2", 52.41, 4.8, R"(radius="20")")));
  ASSERT_EQ(gf_readApf(airportFile.string()), "");
  EXPECT_TRUE(apfHandmade);
  EXPECT_TRUE(airportBandHandmade.load());
  ASSERT_EQ(standTable.size(), 2u);
  EXPECT_EQ(standTable[0].name, "H1");
  EXPECT_EQ(standTable[0].options[0].source, 1u);
  EXPECT_EQ(logLinesWith("A handmade airport file overruled the archived file!").size(), 1u);
  EXPECT_EQ(logLinesWith("Airport file read from '" + shownPath(learnedFile) + "' for Schiphol").size(), 1u);
  EXPECT_EQ(logLinesWith("          handmade                : false").size(), 1u);
  EXPECT_EQ(apfQuality, (QualityPair{32, 0}));  // computed from the handmade stands

  lf_saveAirportFile();
  EXPECT_EQ(logLinesWith(" handmade '" + shownPath(learnedFile) + "' saved with 0 updates").size(), 1u);
  const std::string saved = readFile(learnedFile);
  for (const char* part : {R"(<parameter name="handmade" value="true" />)",
                           R"(<parameter name="Qf_real" value="32" />)",
                           R"(<parameter name="Qf_soft" value="0" />)",
                           R"(<parkpos id="H2" latitude="52.410000")",
                           R"(<opt reg="PH-BXA" day="4" hh="10:11" />)",
                           R"(<opt reg="" airl="TRA" type="B738" day="5" hh="1,3" />)"}) {
    EXPECT_NE(saved.find(part), std::string::npos) << part;
  }
  ASSERT_EQ(readAgain(), "");
  EXPECT_EQ(standTable.size(), 2u);
  EXPECT_EQ(standTable[0].options.size(), 2u);
}

TEST_F(LearnedTest, ABrokenHandmadeFileKeepsTheAirportFileAndItself) {
  const std::string broken = learned({{"handmade", "true"}},
                                     parkpos("H1", 52.4, 4.8) + parkpos("H1", 52.5, 4.8));
  writeFile(learnedFile, broken);
  ASSERT_EQ(gf_readApf(airportFile.string()), "");
  EXPECT_FALSE(apfHandmade);
  EXPECT_EQ(standTable.size(), 3u);
  EXPECT_EQ(readFile("airports/learned/thirdparty/FlyTampa/EHAM0.xml"), broken);
  EXPECT_EQ(logLinesWith("saved as *.0.xml: 94: Stand 'H1' appears more than once.").size(), 1u);
}

TEST_F(LearnedTest, OlderFilesLoseTheirOptionsButNotTheirStandChanges) {
  struct Case {
    const char* version;
    bool optionsRead;
  };
  for (const Case c : {Case{"11.9.5", false}, Case{"11.10.0", true}, Case{"9.99.99", false}}) {
    writeFile(learnedFile, learned({}, parkpos("A2", 0, 0, R"(radius_change="true" radius="40")",
                                               R"(<opt reg="PH-BXA" day="2" hh="3"/>)") +
                                           parkpos("GONE", 0, 0, "", R"(<opt reg="PH-BXC" day="2" hh="3"/>)"),
                                   c.version));
    ASSERT_EQ(readAgain(), "") << c.version;
    EXPECT_NEAR(named("A2").radius * 1852.0, 40.0, 1e-9) << c.version;
    EXPECT_EQ(named("A2").options.size(), c.optionsRead ? 1u : 0u) << c.version;
    // A stand kept for the airport file that lacks it keeps no option of an old file either.
    lf_saveAirportFile();
    const std::string saved = readFile(learnedFile);
    EXPECT_NE(saved.find(R"(<parkpos id="GONE")"), std::string::npos) << c.version;
    EXPECT_EQ(saved.find("PH-BXC") != std::string::npos, c.optionsRead) << c.version;
  }
  EXPECT_EQ(logLinesWith("This learned file was created with and older WDRX version than 11.10.0,").size(), 2u);
}

TEST_F(LearnedTest, ManualAndUnknownStands) {
  writeFile(learnedFile,
            learned({}, parkpos("M1", 0.00005, -0.00009, R"(manual="true" radius="20")") +
                            parkpos("M4", 0.0001, -0.0001, R"(manual="true" radius="20")") +
                            parkpos("M2", 0.0002, 0, R"(manual="true" radius="20")") +
                            parkpos("M3", 52.4, 4.8, R"(manual="true")") +
                            parkpos("A1", 52.4, 4.8, R"(manual="true" radius="20")") +
                            parkpos("M2", 52.4, 4.8, R"(manual="true" radius="20")") +
                            parkpos("GONE", 0, 0, R"(radius_change="true" radius="40")")));
  ASSERT_EQ(gf_readApf(airportFile.string()), "");
  ASSERT_EQ(standTable.size(), 4u);
  EXPECT_EQ(standTable[3].name, "M2");
  EXPECT_EQ(standTable[3].manual, 1);
  const std::string path = shownPath(learnedFile);
  EXPECT_EQ(logLinesWith("==> manually created standid M1 misses correct attributes in " + path).size(), 1u);
  EXPECT_EQ(logLinesWith("==> manually created standid M3 misses correct attributes in " + path).size(), 1u);
  EXPECT_EQ(logLinesWith("==> manually created standid M4 misses correct attributes in " + path).size(), 1u);
  EXPECT_EQ(logLinesWith("==> manually created standid A1 already exists in " + path).size(), 1u);
  EXPECT_EQ(logLinesWith("==> manually created standid M2 already exists in " + path).size(), 1u);
  EXPECT_EQ(logLinesWith("learned stand GONE in " + path + " not found?").size(), 1u);

  // The stand the airport file lacks keeps its learned data through the next save, and so do
  // the refused manual stands, for the user to mend.
  lf_saveAirportFile();
  const std::string saved = readFile(learnedFile);
  EXPECT_NE(saved.find(R"(<parkpos id="GONE" latitude="0" longitude="0" radius_change="true" radius="40")"),
            std::string::npos);
  const auto count = [&saved](const std::string& id) {
    std::size_t n = 0;
    for (auto at = saved.find("<parkpos id=\"" + id + "\""); at != std::string::npos;
         at = saved.find("<parkpos id=\"" + id + "\"", at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count("M1"), 1u);
  EXPECT_EQ(count("M3"), 1u);
  EXPECT_EQ(count("A1"), 1u);
  EXPECT_EQ(count("M2"), 2u);
  // Another airport read afterwards does not take it over.
  addAirport("LOWI", 47, 11, 3);
  setParkAirport("LOWI");
  writeFile("airports/my_thirdparty/LOWI.xml", apfXml({{"altitude", "1"}}, parkpos("A1", 47, 11)));
  lf_clearStands();
  ASSERT_EQ(gf_readApf("airports/my_thirdparty/LOWI.xml"), "");
  lf_saveAirportFile();
  EXPECT_EQ(readFile("airports/learned/thirdparty/LOWI.xml").find("GONE"), std::string::npos);
}

TEST_F(LearnedTest, SettingsOfTheLearnedFileAreCheckedAndShown) {
  int nowRefreshed = 0, rangeModes = 0;
  airportFileDisplay.refreshNowButton = [&] { ++nowRefreshed; };
  airportFileDisplay.applyRangeMode = [&] { ++rangeModes; };
  writeFile(learnedFile, learned({{"airport_name", "Other"},
                                  {"MAX_LIVE_SEL", "9999"},
                                  {"RANGE", "-5"},
                                  {"AUTO_RANGE", "false"},
                                  {"parking_percentage", "250"},
                                  {"WEEK", "true"},
                                  {"PARK_SOFT", "true"},
                                  {"MAX_FIT", "60"},
                                  {"INITIAL_LOAD_ONLY", "true"}},
                                 ""));
  ASSERT_EQ(gf_readApf(airportFile.string()), "");
  EXPECT_EQ(MAX_LIVE_SEL.value.load(), 500);
  EXPECT_EQ(parking_percentage.value.load(), 100);
  EXPECT_EQ(MAX_FIT.value.load(), 47);
  EXPECT_FALSE(AUTO_RANGE.value.load());
  EXPECT_TRUE(WEEK.value.load());
  EXPECT_TRUE(PARK_SOFT.value.load());
  EXPECT_TRUE(INITIAL_LOAD_ONLY.value.load());
  EXPECT_EQ(nowRefreshed, 1);
  EXPECT_EQ(rangeModes, 1);
  EXPECT_TRUE(view.saw("setRange 2"));  // bounded before it reaches the window
  EXPECT_TRUE(view.saw("enable 32818 1"));
  EXPECT_TRUE(view.saw("select 32850 20"));
  EXPECT_TRUE(view.saw("syncMaxFitCombo"));
  EXPECT_TRUE(view.saw("check 32851 1"));
  EXPECT_EQ(logLinesWith("          MAX_FIT                 : 47 (max number of half hours, is 24.0 hrs decimal)").size(), 1u);
  EXPECT_EQ(logLinesWith("          parking_percentage      : 100").size(), 1u);
  const std::string warning =
      "Warning: learned file airport name: 'Other' differs from archived file airport name: 'Schiphol'";
  EXPECT_EQ(logLinesWith(warning).size(), 1u);
  EXPECT_EQ(gf_statusSnapshot().statusText, warning);

  // Without the parameter, the percentage is 30 and not logged.
  parking_percentage.value.store(70);
  writeFile(learnedFile, learned({}, ""));
  ASSERT_EQ(readAgain(), "");
  EXPECT_EQ(parking_percentage.value.load(), 30);
  EXPECT_EQ(logLinesWith("parking_percentage").size(), 1u);
}

TEST_F(LearnedTest, AnUnusableLearnedFileIsKeptAside) {
  for (const std::string& content : {std::string("<root><unclosed>"), std::string("<root><parameters/></root>")}) {
    writeFile(learnedFile, content);
    ASSERT_EQ(readAgain(), "");
    EXPECT_EQ(standTable.size(), 3u);
    EXPECT_EQ(readFile("airports/learned/thirdparty/FlyTampa/EHAM0.xml"), content);
  }
  EXPECT_EQ(logLinesWith("found, but could not be loaded, saved as *.0.xml").size(), 2u);
  lf_saveAirportFile();
  EXPECT_NE(readFile(learnedFile).find("<parkpositions />"), std::string::npos);
}

TEST_F(LearnedTest, AFailedSaveIsLoggedAndKeepsTheOldFile) {
  ASSERT_EQ(gf_readApf(airportFile.string()), "");
  writeFile(learnedFile, "old");
  fs::permissions(learnedFile, fs::perms::owner_read);
  gf_countLearnedUpdate();
  EXPECT_NO_THROW(lf_saveAirportFile());
  EXPECT_EQ(readFile(learnedFile), "old");
  EXPECT_EQ(logLinesWith("22:13:20 saving '" + shownPath(learnedFile) + "' did not succeed").size(), 1u);
  EXPECT_EQ(learnedUpdateCount.load(), 0);

  // A file where the publisher's folder should be.
  fs::permissions(learnedFile, fs::perms::owner_all);  // Windows removes no read-only file
  fs::remove_all("airports/learned");
  writeFile("airports/learned/thirdparty/FlyTampa", "in the way");
  EXPECT_NO_THROW(lf_saveAirportFile());
  EXPECT_EQ(readFile("airports/learned/thirdparty/FlyTampa"), "in the way");
  EXPECT_EQ(logLinesWith("did not succeed").size(), 2u);
}

TEST_F(LearnedTest, SaveLinesCountUpdates) {
  ASSERT_EQ(gf_readApf(airportFile.string()), "");
  for (int count : {0, 1, 2}) {
    for (int i = 0; i < count; ++i) gf_countLearnedUpdate();
    lf_saveAirportFile();
  }
  const std::string prefix = "22:13:20 '" + shownPath(learnedFile) + "' saved with ";
  EXPECT_EQ(logLinesWith(prefix + "0 updates").size(), 1u);
  EXPECT_EQ(logLinesWith(prefix + "1 update").size(), 1u);
  EXPECT_EQ(logLinesWith(prefix + "1 updates").size(), 0u);
  EXPECT_EQ(logLinesWith(prefix + "2 updates").size(), 1u);
}

TEST_F(LearnedTest, FileOptionsAreDroppedAndCallsignsSnapshotted) {
  Stand stand({}, "X", {}, 10.0, 0, false, false, false);
  stand.options.resize(4);
  stand.options[0].source = 1;
  stand.options[2].source = 1;
  stand.options[3].number = 0;
  EXPECT_EQ(lf_dropFileOptions(stand), 2u);
  EXPECT_EQ(stand.options.size(), 2u);

  calcCallsigns = {"OLD1"};
  trafficReader.startCallsignCollection();
  trafficReader.insertCallsign("KLM1");
  lf_snapshotCallsigns();
  EXPECT_EQ(calcCallsigns, (std::unordered_set<std::string>{"KLM1"}));
  EXPECT_FALSE(trafficReader.collectCallsigns.load());
  EXPECT_EQ(trafficReader.callsignCount(), 0u);
}
