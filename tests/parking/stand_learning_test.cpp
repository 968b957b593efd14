// Learning stand options from the engine's reports of live aircraft on stands.
#include <gtest/gtest.h>

#include "parking/apf_fixture.hpp"
#include "parking/apf_state.hpp"
#include "parking/stand_learning.hpp"
#include "runstate/run_control.hpp"

using namespace apf_test;

namespace {

constexpr std::int32_t tuesday = 2;

class LearningTest : public ApfTest {
 protected:
  LearningTest() {
    klm = addRegistration("PH-BXA", "KLM", "B738");
    fdx = addRegistration("N851FD", "FDX", "B77L", true);
    standTable.emplace_back(std::vector<StandOption>{}, "A1", StandPosition{52.3, 4.7, 0}, 30.0, 0,
                            false, false, false);
    standTable.back().number = 1;
    aircraft.registration = "PH-BXA";
    aircraft.callsign = "KLM123";
    aircraft.category = AcCategory::Large;
    airportFileDisplay.showUpdateCount = [this](std::int32_t count) { shownCounts.push_back(count); };
  }
  ~LearningTest() override { airportFileDisplay = {}; }
  void at(std::int32_t day, std::int32_t halfHour) { currentWeekSlot.store(WeekSlot{day, halfHour}.packed()); }
  void report(int event, std::int32_t standNumber = 1) { lf_addRealStandOption(standNumber, aircraft, event); }
  std::vector<StandOption>& options() { return standTable[0].options; }
  static StandOption option(const std::string& reg, std::uint32_t day, const std::string& hh,
                            std::uint32_t number, std::uint32_t source = 0) {
    StandOption o = makeOption(reg, day, hh, number);
    o.source = source;
    return o;
  }

  AircraftCodes klm, fdx;
  AcBase aircraft;
  std::vector<std::int32_t> shownCounts;
};

}  // namespace

TEST_F(LearningTest, ArrivalStaysAndDepartureMakeOneOption) {
  aircraft.codes.airlineId = gf_airlineId("XXX");  // not from the reference data
  at(tuesday, 20);
  report(StandEvent::createdParked);
  ASSERT_EQ(options().size(), 1u);
  const StandOption& o = options()[0];
  EXPECT_EQ(o.codes, klm);
  EXPECT_EQ(aircraft.codes, klm);  // the record takes the registration table's codes too
  EXPECT_EQ(o.reg, "PH-BXA");
  EXPECT_EQ(o.cs1, "KLM123");
  EXPECT_EQ(o.hours, gf_hours2bitset("20"));
  EXPECT_EQ(o.number, 1u);
  EXPECT_EQ(o.day, 2u);
  EXPECT_EQ(o.source, 0u);
  EXPECT_EQ(o.real, 1u);
  EXPECT_EQ(o.cpl, 0);
  EXPECT_EQ(learnedUpdateCount.load(), 1);

  report(StandEvent::standing);  // the same half hour again: nothing changes
  EXPECT_EQ(options().size(), 1u);
  EXPECT_EQ(learnedUpdateCount.load(), 1);

  at(tuesday, 25);  // 5 half hours later: the same stay
  aircraft.callsign = "KLM9X";
  report(StandEvent::standing);
  ASSERT_EQ(options().size(), 1u);
  EXPECT_EQ(options()[0].hours, gf_hours2bitset("20:25"));
  EXPECT_EQ(options()[0].cs2, "KLM9X");
  EXPECT_EQ(learnedUpdateCount.load(), 2);

  report(StandEvent::leaving);  // holds now already: only complete
  EXPECT_EQ(options()[0].cpl, 1);
  EXPECT_EQ(options()[0].hours, gf_hours2bitset("20:25"));
  EXPECT_EQ(learnedUpdateCount.load(), 2);

  at(tuesday, 27);  // a completed stay that does not hold now: a new one begins
  report(StandEvent::standing);
  ASSERT_EQ(options().size(), 2u);
  EXPECT_EQ(options()[1].hours, gf_hours2bitset("27"));
  EXPECT_EQ(options()[1].number, 2u);
  EXPECT_EQ(shownCounts, (std::vector<std::int32_t>{1, 2, 3}));
}

TEST_F(LearningTest, TheGapThatStillCountsAsOneStayDependsOnTheAircraft) {
  struct Case {
    const char* what;
    const char* registration;
    AcCategory category;
    std::int32_t gap;
    bool extended;
  };
  const Case cases[] = {
      {"light, 5 half hours", "PH-BXA", AcCategory::Large, 5, true},
      {"light, 6 half hours", "PH-BXA", AcCategory::Large, 6, false},
      {"heavy, 6 half hours", "PH-BXA", AcCategory::Heavy, 6, true},
      {"heavy, 8 half hours", "PH-BXA", AcCategory::Heavy, 8, false},
      {"cargo, 11 half hours", "N851FD", AcCategory::Large, 11, true},
      {"cargo, 12 half hours", "N851FD", AcCategory::Large, 12, false},
  };
  for (const auto& c : cases) {
    options().clear();
    aircraft.registration = c.registration;
    aircraft.category = c.category;
    options().push_back(option(c.registration, tuesday, "10", 1));
    at(tuesday, 10 + c.gap);
    report(StandEvent::standing);
    if (c.extended) {
      ASSERT_EQ(options().size(), 1u) << c.what;
      HalfHourSet expected;
      for (std::int32_t s = 10; s <= 10 + c.gap; ++s) expected.set(static_cast<std::uint32_t>(s));
      EXPECT_EQ(options()[0].hours, expected) << c.what;
      EXPECT_EQ(options()[0].cs1, "KLM123") << c.what;
    } else {
      ASSERT_EQ(options().size(), 2u) << c.what;
      EXPECT_EQ(options()[0].hours, gf_hours2bitset("10")) << c.what;
      EXPECT_EQ(options()[1].hours.bits(), std::uint64_t{1} << (10 + c.gap)) << c.what;
    }
  }
}

TEST_F(LearningTest, AStayAcrossMidnightStartsTheNewDaysOption) {
  options().push_back(option("PH-BXA", 7, "44:46", 1));
  at(1, 1);
  report(StandEvent::standing);
  ASSERT_EQ(options().size(), 2u);
  EXPECT_EQ(options()[0].hours, gf_hours2bitset("44:46"));
  EXPECT_EQ(options()[1].day, 1u);
  EXPECT_EQ(options()[1].hours, gf_hours2bitset("1"));
  // Earlier today than the option's last slot: the gap wraps through the week.
  options().clear();
  options().push_back(option("PH-BXA", tuesday, "30", 1));
  at(tuesday, 28);
  report(StandEvent::standing);
  EXPECT_EQ(options().size(), 2u);
}

TEST_F(LearningTest, ASecondStayOfTheDayGrowsItsOwnOption) {
  options().push_back(option("PH-BXA", tuesday, "12:16", 1));
  options()[0].cpl = 1;  // the morning's stay, seen leaving
  for (std::int32_t slot : {40, 41, 42, 42}) {
    at(tuesday, slot);
    report(StandEvent::standing);
  }
  ASSERT_EQ(options().size(), 2u);
  EXPECT_EQ(options()[0].hours, gf_hours2bitset("12:16"));
  EXPECT_EQ(options()[1].hours, gf_hours2bitset("40:42"));
  EXPECT_EQ(learnedUpdateCount.load(), 3);
  // Within a stay that went on longer last week, with the morning's stay not seen leaving:
  // nothing changes but the completion.
  options()[0].cpl = 0;
  options()[1].hours = gf_hours2bitset("40:44");
  report(StandEvent::leaving);
  ASSERT_EQ(options().size(), 2u);
  EXPECT_EQ(options()[1].cpl, 1);
  EXPECT_EQ(options()[0].cpl, 0);
  EXPECT_EQ(learnedUpdateCount.load(), 3);
}

TEST_F(LearningTest, LeavingCompletesTheExtendedOption) {
  options().push_back(option("PH-BXA", tuesday, "10", 1));
  at(tuesday, 12);
  report(StandEvent::removed);
  ASSERT_EQ(options().size(), 1u);
  EXPECT_EQ(options()[0].hours, gf_hours2bitset("10:12"));
  EXPECT_EQ(options()[0].cpl, 1);
  // Too long a gap while leaving: the old option is completed, the new one too.
  at(tuesday, 30);
  options()[0].cpl = 0;
  report(StandEvent::leaving);
  ASSERT_EQ(options().size(), 2u);
  EXPECT_EQ(options()[0].cpl, 1);
  EXPECT_EQ(options()[1].cpl, 1);
}

TEST_F(LearningTest, NothingIsLearnedWithoutAKnownRegistrationStandOrTime) {
  struct Case {
    const char* what;
    const char* registration;
    std::int32_t stand;
    std::int32_t day;
  };
  const Case cases[] = {
      {"empty registration", "", 1, tuesday},
      {"only an underscore", "_", 1, tuesday},
      {"unknown registration", "D-XXXX", 1, tuesday},
      {"no stand", "PH-BXA", 0, tuesday},
      {"a stand number the table lacks", "PH-BXA", 2, tuesday},
      {"negative stand number", "PH-BXA", -1, tuesday},
      {"no valid traffic time", "PH-BXA", 1, -1},
  };
  for (const auto& c : cases) {
    aircraft.registration = c.registration;
    at(c.day, 20);
    report(StandEvent::standing, c.stand);
    EXPECT_TRUE(options().empty()) << c.what;
  }
  EXPECT_EQ(learnedUpdateCount.load(), 0);
}

TEST_F(LearningTest, TheAirportFilesOwnOptionsDecide) {
  options().push_back(option("PH-BXA", tuesday, "30:33", 1, 1));
  at(tuesday, 20);  // the file has this aircraft here at another time today
  report(StandEvent::standing);
  EXPECT_EQ(options().size(), 1u);
  at(tuesday, 31);  // the file's option holds now: it is passed over and learning goes on
  report(StandEvent::standing);
  ASSERT_EQ(options().size(), 2u);
  EXPECT_EQ(options()[1].source, 0u);
  EXPECT_EQ(options()[1].hours, gf_hours2bitset("31"));
  // Options switched off and soft ones are not this aircraft's learned option.
  options().clear();
  options().push_back(option("PH-BXA", tuesday, "29", 0));
  options().push_back(option("PH-BXA", tuesday, "29", 2));
  options()[1].real = 0;
  report(StandEvent::standing);
  ASSERT_EQ(options().size(), 3u);
  EXPECT_EQ(options()[2].number, 3u);
  EXPECT_EQ(options()[2].hours, gf_hours2bitset("31"));
}

TEST_F(LearningTest, UnderscoresOfGhostFlightsAreDropped) {
  aircraft.registration = "PH-BXA_";
  aircraft.callsign = "KLM123_";
  at(tuesday, 5);
  report(StandEvent::standing);
  ASSERT_EQ(options().size(), 1u);
  EXPECT_EQ(options()[0].reg, "PH-BXA");
  EXPECT_EQ(options()[0].cs1, "KLM123");
}

TEST_F(LearningTest, CallsignsFillTheTwoForms) {
  struct Case {
    const char* cs1;
    const char* cs2;
    const char* added;
    const char* expected1;
    const char* expected2;
  };
  const Case cases[] = {
      {"", "", "KLM1", "KLM1", ""},        {"KLM1", "", "KLM1", "KLM1", ""},
      {"KLM1", "", "KLM2", "KLM1", "KLM2"}, {"KLM1", "KLM2", "KLM2", "KLM1", "KLM2"},
      {"KLM1", "KLM2", "KLM3_", "KLM1", "KLM3"}, {"KLM1", "", "_", "KLM1", ""},
  };
  for (const auto& c : cases) {
    options().clear();
    options().push_back(option("PH-BXA", 1, "1", 1));
    options()[0].cs1 = c.cs1;
    options()[0].cs2 = c.cs2;
    lf_addOptionCallsign(standTable[0], 1, c.added);
    lf_addOptionCallsign(standTable[0], 0, "NONE");  // number 0 never matches
    EXPECT_EQ(options()[0].cs1, c.expected1) << c.added;
    EXPECT_EQ(options()[0].cs2, c.expected2) << c.added;
  }
}

TEST_F(LearningTest, SlotUpdatesAndNewOptions) {
  options().push_back(option("PH-BXA", 1, "1", 1));
  EXPECT_FALSE(updateOptions(standTable[0], {5}, 2));
  EXPECT_FALSE(updateOptions(standTable[0], {48, 3, 2}, 1));  // taken from the back: 2, 3, then 48
  EXPECT_EQ(options()[0].hours, gf_hours2bitset("1:3"));
  EXPECT_EQ(logLinesWith("==> updateOptions exception:invalid bitset position").size(), 1u);

  const UpsertResult added = lf_upsertStandOption(standTable[0], {}, {1, 4}, "KLM5_", "PH-BXA", true);
  EXPECT_TRUE(added.added);
  EXPECT_EQ(added.number, 2u);
  EXPECT_EQ(options()[1].codes, klm);  // codes not from the reference data are looked up
  EXPECT_EQ(options()[1].cs1, "KLM5");
  EXPECT_EQ(options()[1].cpl, 1);
  EXPECT_FALSE(lf_upsertStandOption(standTable[0], klm, {1, 4}, "KLM5", "PH-BXA", false).added);
  EXPECT_FALSE(lf_upsertStandOption(standTable[0], klm, {1, 4}, "KLM5", "", false).added);
  EXPECT_TRUE(lf_upsertStandOption(standTable[0], klm, {2, 4}, "KLM5", "PH-BXA", false).added);
  EXPECT_EQ(learnedUpdateCount.load(), 2);
}
