#include "simlink/ai_creation.hpp"

#include <gtest/gtest.h>

#include "config/settings.hpp"
#include "foundation/paths.hpp"
#include "foundation/user_error.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_results.hpp"
#include "support/fresh_state.hpp"
#include "support/temp_dir.hpp"

using wdrx::testing::readFile;
using wdrx::testing::TempDir;

namespace {
// For every file of this binary: the simulator link as at process start.
const bool fresh = wdrx::testing::resetBeforeEachTest([] {
  wdrx::testing::resetRunControl();
  wdrx::testing::resetStatusLine();
  wdrx::testing::resetSettings();
  gf_resetSimLink();
  {
    std::lock_guard lock(simResultMutex);
    simResultQueue.clear();
  }
  creationRequests.clear();
  failedLiveries.clear();
  unmatchedAircraft.clear();
});

std::string expectedPlan(const char* type, const char* from, const char* to) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") +
         "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n" + "<FlightPlan.FlightPlan>\n" +
         "<FPType>" + type + "</FPType>\n" + "<DepartureID>" + from + "</DepartureID>\n" +
         "<DestinationID>" + to + "</DestinationID>\n" + "</FlightPlan.FlightPlan>\n" +
         "</SimBase.Document>\n\n";
}
}  // namespace

TEST(FlightPlanFiles, WrittenByteForByteInOrigDest) {
  TempDir dir;
  gf_initDataFolder();
  ASSERT_TRUE(gf_createFlightPlanFolder());
  EXPECT_EQ(flightPlanFolder, dataFolder / "orig_dest");
  EXPECT_EQ(gf_flightPlanFileName(123), dataFolder / "orig_dest" / "123.pln");

  struct Case {
    AcCategory category;
    const char* type;
    const char* from;
    const char* to;
    const char* fromWritten;
    const char* toWritten;
  };
  const Case cases[] = {
      {AcCategory::Heavy, "IFR", "FRA", "JFK", "FRA", "JFK"},
      {AcCategory::Large, "IFR", "AMS", "LHR", "AMS", "LHR"},
      {AcCategory::Buzjets, "IFR", "ZRH", "", "ZRH", "   "},
      {AcCategory::Rotorcraft, "VFR", "", "", "   ", "   "},
      {AcCategory::Light, "VFR", "ABC", "DEF", "ABC", "DEF"},
      {AcCategory::HighPerf, "VFR", "GHI", "JKL", "GHI", "JKL"},
  };
  for (const auto& c : cases) {
    const auto path = gf_flightPlanFileName(4000000001u);
    ASSERT_TRUE(gf_writeFlightPlan(path, c.category, c.from, c.to));
    EXPECT_EQ(readFile(path), expectedPlan(c.type, c.fromWritten, c.toWritten)) << c.type << c.from;
  }
  EXPECT_FALSE(gf_writeFlightPlan(dir / "missing" / "1.pln", AcCategory::Heavy, "FRA", "JFK"));
}

TEST(CreationBookkeeping, FailedTitleLeavesRequestsOnNextLookup) {
  static const std::string titleA = "Livery A", titleB = "Livery B";
  creationRequests[0x3C6444] = titleA;
  creationRequests[0x4B1817] = titleB;
  EXPECT_EQ(gf_takeCreationRequest(0x3C6444), std::optional<std::string_view>(titleA));
  EXPECT_EQ(creationRequests.count(0x3C6444), 1u);  // the entry stays
  EXPECT_FALSE(gf_takeCreationRequest(0x111111).has_value());

  gf_handleCreationFailure("DLH123", titleA);
  EXPECT_FALSE(gf_takeCreationRequest(0x3C6444).has_value());
  EXPECT_EQ(creationRequests.count(0x3C6444), 0u);
  EXPECT_EQ(gf_takeCreationRequest(0x4B1817), std::optional<std::string_view>(titleB));
}

TEST(CreationBookkeeping, TwentiethFailedLiveryRaisesError81) {
  static std::vector<std::string> titles;
  for (int i = 0; i < 20; ++i) titles.push_back("Livery " + std::to_string(i));
  for (int i = 0; i < 19; ++i) gf_handleCreationFailure("CS" + std::to_string(i), titles[i]);
  EXPECT_EQ(gf_statusSnapshot().statusText, "CS18 'Livery 18' could not be created by your Sim!");
  gf_handleCreationFailure("CS18", titles[18]);  // the same title again counts once
  try {
    gf_handleCreationFailure("CS19", titles[19]);
    FAIL() << "no error 81";
  } catch (const tql::UserErrorException& e) {
    EXPECT_STREQ(e.what(), "81: There are too many liveries that could not be created!, see Log.txt");
  }
}

TEST(CreationBookkeeping, NoStatusLineWhileTheRunStops) {
  static const std::string title = "Livery X";
  runStopRequested.store(true);
  gf_handleCreationFailure("DLH1", title);
  EXPECT_EQ(gf_statusSnapshot().statusText, "");
  EXPECT_TRUE(failedLiveries.contains(std::string_view(title)));
}
