// Static parking: the candidates of a full calculation for the current half hour of the week,
// the periodic adjustment of the aircraft already placed, the driver and the flush.
#include <algorithm>
#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "aircraft/reference_db.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "foundation/random.hpp"
#include "parking/apf_location.hpp"
#include "parking/apf_state.hpp"
#include "parking/learned_files.hpp"
#include "parking/stand_search.hpp"
#include "parking/stands_fixture.hpp"
#include "parking/static_parking.hpp"
#include "records/engine_tables.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/status_line.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/udp_reader.hpp"

using namespace stands_test;

namespace {

constexpr std::uint32_t tuesday = 2;

class StaticParkingTest : public StandsTest {
 protected:
  StaticParkingTest() {
    CUSTOM_PARKING_PERCENTAGE.value.store(100);
    setNow(tuesday, 10);
  }
  ~StaticParkingTest() override {
    for (CheckBoxParameter* p : {&WEEK, &PARK_SOFT}) p->value.store(false);
    MAX_FIT.value.store(MAX_FIT.defaultValue);
    parking_percentage.value.store(parking_percentage.defaultValue);
  }
  // Stands 100 m apart: no neighbours unless linked.
  Stand& stand(const std::string& name) {
    return addStand(name, offset(base, 90, 100.0 * static_cast<double>(standTable.size())), 20.0, 12);
  }
  static std::vector<std::int32_t> candidateStands() {
    std::vector<std::int32_t> stands;
    for (const StaticCandidate& c : staticCandidates) stands.push_back(c.standNumber);
    return stands;
  }
  static std::vector<std::int32_t> candidateOffsets() {
    std::vector<std::int32_t> offsets;
    for (const StaticCandidate& c : staticCandidates) offsets.push_back(c.fitOffset);
    return offsets;
  }
  std::string status() const { return gf_statusSnapshot().statusText; }
  // A KLM B738 placed for the flight cs1 (leaving as cs2) of the registration.
  AcBase& placed(const Stand& s, const std::string& reg, const std::string& cs1, const std::string& cs2,
                 WeekSlot since) {
    AcBase& ac = addStatic(cs1 + "*", s, codes("KLM", "B738"), since);
    ac.liveCallsign = cs1;
    ac.altCallsign = cs2;
    ac.registration = reg;
    return ac;
  }
};

using Numbers = std::vector<std::int32_t>;

}  // namespace

TEST_F(StaticParkingTest, AnOptionSeenThreeHalfHoursAgoFitsAtOffsetThree) {
  Stand& s = stand("A1");
  addOption(s, "PH-BXA", "KLM", "B738", tuesday, "7", "KLM123");
  lf_calcStaticParking();
  ASSERT_EQ(staticCandidates.size(), 1u);
  const StaticCandidate& c = staticCandidates[0];
  EXPECT_EQ(c.standNumber, 1);
  EXPECT_EQ(c.fitOffset, 3);
  EXPECT_EQ(c.callsign1, "KLM123");
  EXPECT_EQ(c.registration, "PH-BXA");
  EXPECT_EQ(c.codes, codes("KLM", "B738"));
  EXPECT_EQ(c.continuesNextSlot, 1) << "no second form: the first one names it";
  EXPECT_EQ(s.taken, 1);
  EXPECT_EQ(logLinesWith("1 real position found, Max fit=24.0 hours, day 2, hh:10 or 5.0 hrs, fit: 2.0 hour").size(), 1u);
  EXPECT_EQ(logLinesWith("1 positions (100% vs wanted 30%, with Max fit=24.0 hours)").size(), 1u);
  EXPECT_TRUE(parkingUpdateBusy.load()) << "controls stay off until the engine has placed them";
}

TEST_F(StaticParkingTest, BeforeSlotZeroTheSearchGoesBackToThePreviousDayAcrossTheWeek) {
  Stand& sunday = stand("A1");
  addOption(sunday, "PH-BXA", "KLM", "B738", 7, "45");
  Stand& monday = stand("A2");
  addOption(monday, "PH-BXB", "KLM", "B738", 1, "45");  // later today
  setNow(1, 2);
  lf_calcStaticParking();
  EXPECT_EQ(candidateStands(), Numbers{1});
  EXPECT_EQ(candidateOffsets(), Numbers{5});
}

TEST_F(StaticParkingTest, WeekAndSoftPassesRunOnlyWhenSwitchedOn) {
  struct Case {
    bool week;
    bool soft;
    std::set<std::int32_t> stands;
    std::pair<bool, bool> marks;  // soft, week of the last pass that found something
  };
  const std::vector<Case> cases{
      {false, false, {}, {false, false}},
      {true, false, {1}, {false, true}},
      {false, true, {2}, {true, false}},
      {true, true, {1, 2, 3}, {true, true}},
  };
  for (const Case& c : cases) {
    standTable.clear();
    addOption(stand("REAL_OTHER_DAY"), "R1", "KLM", "B738", 4, "10");
    addOption(stand("SOFT_TODAY"), "R2", "KLM", "B738", tuesday, "10", "", "", 0);
    addOption(stand("SOFT_OTHER_DAY"), "R3", "KLM", "B738", 4, "10", "", "", 0);
    WEEK.value.store(c.week);
    PARK_SOFT.value.store(c.soft);
    band.passMarks.clear();
    lf_calcStaticParking();
    const Numbers found = candidateStands();
    EXPECT_EQ(std::set<std::int32_t>(found.begin(), found.end()), c.stands) << c.week << c.soft;
    EXPECT_EQ(std::make_pair(softPassUsed, weekPassUsed), c.marks) << c.week << c.soft;
  }
  EXPECT_EQ(logLinesWith("no parking positions found").size(), 1u);

  // Once the real/day pass has the wanted count, no other pass runs.
  standTable.clear();
  addOption(stand("REAL_TODAY"), "R0", "KLM", "B738", tuesday, "10");
  addOption(stand("REAL_OTHER_DAY"), "R1", "KLM", "B738", 4, "10");
  addOption(stand("SOFT_TODAY"), "R2", "KLM", "B738", tuesday, "10", "", "", 0);
  CUSTOM_PARKING_PERCENTAGE.value.store(34);  // 1 of 3
  lf_calcStaticParking();
  EXPECT_EQ(candidateStands(), Numbers{1});
  EXPECT_EQ(std::make_pair(softPassUsed, weekPassUsed), std::make_pair(false, false));
}

TEST_F(StaticParkingTest, MaxFitLimitsHowFarBackAnOptionMayHaveBeenSeen) {
  addOption(stand("A1"), "PH-BXA", "KLM", "B738", tuesday, "6");  // 4 half hours ago
  MAX_FIT.value.store(3);
  lf_calcStaticParking();
  EXPECT_TRUE(staticCandidates.empty());
  EXPECT_FALSE(parkingUpdateBusy.load());
  MAX_FIT.value.store(4);
  lf_calcStaticParking();
  EXPECT_EQ(candidateOffsets(), Numbers{4});
}

TEST_F(StaticParkingTest, ATakenStandBlocksItsNeighbours) {
  Stand& a = stand("A1");
  Stand& b = stand("A2");
  link(a, b);
  addOption(a, "R1", "KLM", "B738", tuesday, "10");
  addOption(b, "R2", "KLM", "B738", tuesday, "10");
  lf_calcStaticParking();
  EXPECT_EQ(candidateStands(), Numbers{1});
  EXPECT_EQ(b.blocked, 1);
}

TEST_F(StaticParkingTest, AStaticAircraftNextDoorRefusesAnOptionTooWideForTheGap) {
  Stand& a = addStand("A1", base, 20.0, 12);
  Stand& b = addStand("A2", offset(base, 90, 30), 20.0, 12);
  link(a, b);
  addOption(a, "R1", "KLM", "B744", tuesday, "10");
  halfWingSpans[gf_modelId("B744")] = 20.0 * metresToNm;
  addStatic("NEXT*", b, codes("TRA", "B738"), {tuesday, 8}, 17.0);  // 20 + 17 > 30 m
  lf_calcStaticParking();
  EXPECT_TRUE(staticCandidates.empty());
  staticAcTable[0].radius = 9.0 * metresToNm;  // 29 m < 30 m
  lf_calcStaticParking();
  EXPECT_EQ(candidateStands(), Numbers{1});
}

TEST_F(StaticParkingTest, TheReservedStandAndTheUsersStandStayFree) {
  addOption(stand("R1"), "A", "KLM", "B738", tuesday, "10");
  Stand& under = stand("R2");
  addOption(under, "B", "KLM", "B738", tuesday, "10");
  addOption(stand("R3"), "C", "KLM", "B738", tuesday, "10");
  reservedStandName = "R1";
  userAt({under.latitude, under.longitude}, true);
  lf_calcStaticParking();
  EXPECT_EQ(candidateStands(), Numbers{3});
}

TEST_F(StaticParkingTest, AnOptionInUseIsSwitchedOffAndTheNextOffsetIsTried) {
  Stand& s = stand("A1");
  addOption(s, "PH-BXA", "KLM", "B738", tuesday, "10", "KLM1");
  addOption(s, "PH-BXB", "KLM", "B738", tuesday, "8", "KLM2");
  trafficReader.startCallsignCollection();
  trafficReader.insertCallsign("KLM1_");  // heard live as a ghost of KLM1
  lf_calcStaticParking();
  EXPECT_EQ(s.options[0].number, 0u);
  ASSERT_EQ(staticCandidates.size(), 1u);
  EXPECT_EQ(staticCandidates[0].callsign1, "KLM2");
  EXPECT_EQ(staticCandidates[0].fitOffset, 2);
  EXPECT_FALSE(trafficReader.collectCallsigns.load());
}

TEST_F(StaticParkingTest, EmptyRegistrationsNeverMakeAnOptionLookInUse) {
  addOption(stand("A1"), "", "KLM", "B738", tuesday, "10");
  addOption(stand("A2"), "", "KLM", "B738", tuesday, "10");
  lf_calcStaticParking();
  EXPECT_EQ(candidateStands().size(), 2u);
}

TEST_F(StaticParkingTest, WhichOptionsMayShowAnAircraftNow) {
  struct Case {
    const char* what;
    std::function<void(StandOption&, Stand&)> change;
    int optionClass;
    bool dayMode;
    bool fits;
  };
  const auto none = [](StandOption&, Stand&) {};
  const std::vector<Case> cases{
      {"as learned", none, realClass, true, true},
      {"switched off", [](StandOption& o, Stand&) { o.number = 0; }, realClass, true, false},
      {"another day", [](StandOption& o, Stand&) { o.day = 4; }, realClass, true, false},
      {"another day, week pass", [](StandOption& o, Stand&) { o.day = 4; }, realClass, false, true},
      {"real option, soft pass", none, softClass, true, false},
      {"soft option, soft pass", [](StandOption& o, Stand&) { o.real = 0; }, softClass, true, true},
      {"another half hour", [](StandOption& o, Stand&) { o.hours = HalfHourSet::single(11); }, realClass, true, false},
      {"heli stand", [](StandOption&, Stand& s) { s.heli = 1; }, realClass, true, true},
      {"heli stand without HELICOPTERS", [](StandOption&, Stand& s) { s.heli = 1; HELICOPTERS.value.store(false); },
       realClass, true, false},
      {"blocked stand", [](StandOption&, Stand& s) { s.blocked = 1; }, realClass, true, false},
  };
  for (const Case& c : cases) {
    standTable.clear();
    HELICOPTERS.value.store(true);
    Stand& s = stand("A1");
    StandOption& o = addOption(s, "R1", "KLM", "B738", tuesday, "10");
    c.change(o, s);
    EXPECT_EQ(lf_isCandidateOption(o, c.optionClass, c.dayMode, tuesday, 10, s), c.fits) << c.what;
  }
}

TEST_F(StaticParkingTest, WhatMakesAnOptionLookInUse) {
  Stand& s = stand("A1");
  const StandOption& option = addOption(s, "PH-A", "KLM", "B738", tuesday, "10", "KLM1", "KLM2");
  struct Case {
    const char* what;
    std::function<void()> present;
    bool inUse;
  };
  const std::vector<Case> cases{
      {"nothing", [] {}, false},
      {"a candidate with its registration", [] { staticCandidates.push_back({9, 0, {}, "X1", "", "PH-A", 1}); }, true},
      {"a candidate of its second form", [] { staticCandidates.push_back({9, 0, {}, "KLM2", "", "PH-X", 1}); }, true},
      {"its second form heard live", [] { calcCallsigns.insert("KLM2_"); }, true},
      {"a static aircraft of its flight", [&] { addStatic("X*", s, {}, {tuesday, 9}).liveCallsign = "KLM2"; }, true},
      {"a static aircraft with its registration", [&] { addStatic("X*", s, {}, {tuesday, 9}).registration = "PH-A"; },
       true},
      {"a parked live aircraft of its flight", [] { parkedLiveList.push_back({"KLM1", 3, 10}); }, true},
      {"empty texts elsewhere", [&] {
         staticCandidates.push_back({9, 0, {}, "", "", "", 1});
         addStatic("", s, {}, {tuesday, 9}).liveCallsign.clear();
         parkedLiveList.push_back({"", 3, 10});
       },
       false},
  };
  for (const Case& c : cases) {
    staticCandidates.clear();
    calcCallsigns.clear();
    parkedLiveList.clear();
    gf_clearAcTables();
    c.present();
    EXPECT_EQ(lf_isOptionInUse(option), c.inUse) << c.what;
  }
  calcCallsigns.clear();
}

TEST_F(StaticParkingTest, OneAircraftIsNeverShownOnTwoStandsAtOnce) {
  struct Case {
    const char* what;
    std::uint32_t dayA;
    std::uint32_t dayB;
    const char* regB;
    const char* callsignB;
    bool week;
  };
  const std::vector<Case> cases{
      {"its registration on two other days, week pass", 1, 4, "PH-A", "KLM9", true},
      {"its registration on two stands this half hour", tuesday, tuesday, "PH-A", "KLM9", false},
      {"its flight on two stands this half hour", tuesday, tuesday, "PH-B", "KLM1", false},
  };
  for (const Case& c : cases) {
    standTable.clear();
    WEEK.value.store(c.week);
    addOption(stand("A1"), "PH-A", "KLM", "B738", c.dayA, "10", "KLM1");
    addOption(stand("A2"), c.regB, "KLM", "B738", c.dayB, "10", c.callsignB);
    lf_calcStaticParking();
    EXPECT_EQ(candidateStands(), Numbers{1}) << c.what;
  }
}

TEST_F(StaticParkingTest, AStandShowsOneAircraftOnly) {
  // Taken at offset 0, the stand is not searched again at the later offsets.
  Stand& a = stand("A1");
  addOption(a, "R1", "KLM", "B738", tuesday, "10");
  addOption(a, "R2", "KLM", "B738", tuesday, "9");
  addOption(stand("A2"), "R3", "KLM", "B738", tuesday, "7");
  lf_calcStaticParking();
  Numbers found = candidateStands();
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (Numbers{1, 2}));

  // A stand with a parked live aircraft gets no static one in an adjustment.
  LiveAc& ac = addLive("LIVE1", {a.latitude, a.longitude});
  ac.flightState = FlightState::parked;
  ac.standId = 1;
  gf_parkingAdjustments();
  EXPECT_EQ(candidateStands(), Numbers{2});
}

TEST_F(StaticParkingTest, TheCallsignFormFollowsWhetherTheStayGoesOnNextHalfHour) {
  struct Case {
    const char* what;
    WeekSlot now;
    std::uint32_t day;  // the option found
    const char* hh;
    std::uint32_t otherDay;  // a second option of the stand, 0 = none
    const char* otherHh;
    const char* otherModel;
    bool week;
    std::uint8_t continues;
  };
  const std::vector<Case> cases{
      {"its own next half hour", {tuesday, 10}, tuesday, "10:11", 0, "", "", false, 1},
      {"it leaves after this half hour", {tuesday, 10}, tuesday, "10", 0, "", "", false, 0},
      {"Sunday night, on Monday morning too", {7, 47}, 7, "47", 1, "0", "B738", false, 1},
      {"Sunday night, another type on Monday", {7, 47}, 7, "47", 1, "0", "A320", false, 0},
      {"another weekday of the week pass", {tuesday, 10}, 4, "10:11", 0, "", "", true, 1},
      {"found before midnight, still there today", {1, 1}, 7, "46", 1, "2:5", "B738", false, 1},
      {"found before midnight, gone today", {1, 1}, 7, "46", 0, "", "", false, 0},
  };
  for (const Case& c : cases) {
    standTable.clear();
    WEEK.value.store(c.week);
    setNow(c.now.day, c.now.halfHour);
    Stand& s = stand("A1");
    addOption(s, "PH-A", "KLM", "B738", c.day, c.hh, "KLM1", "KLM2");
    if (c.otherDay != 0) addOption(s, "PH-B", "KLM", c.otherModel, c.otherDay, c.otherHh, "KLM3", "KLM4");
    lf_calcStaticParking();
    ASSERT_EQ(staticCandidates.size(), 1u) << c.what;
    EXPECT_EQ(staticCandidates[0].callsign1, "KLM1") << c.what;
    EXPECT_EQ(staticCandidates[0].continuesNextSlot, c.continues) << c.what;
  }
}

TEST_F(StaticParkingTest, WithoutRandomTheFirstFittingOptionIsTaken) {
  Stand& s = stand("A1");
  addOption(s, "R1", "KLM", "B738", tuesday, "9");  // does not fit now
  addOption(s, "R2", "KLM", "B738", tuesday, "10");
  addOption(s, "R3", "TRA", "B737", tuesday, "10");
  addOption(s, "R4", "DLH", "A320", tuesday, "10");
  lf_calcStaticParking();
  ASSERT_EQ(staticCandidates.size(), 1u);
  EXPECT_EQ(staticCandidates[0].registration, "R2");
}

TEST_F(StaticParkingTest, WantedCountFromTheShareOfTheStands) {
  struct Case {
    int stands;
    int percentage;
    int custom;
    int maxSel;
    int wanted;
    int percent;
  };
  const std::vector<Case> cases{
      {40, 30, -1, 500, 12, 30}, {40, 30, -1, 10, 10, 25}, {40, 30, -1, 0, 0, 30},
      {3, 30, -1, 500, 1, 33},   {3, 10, -1, 500, 1, 33},  {3, 50, -1, 500, 2, 67},
      {4, 10, -1, 500, 0, 0},    {1, 100, -1, 500, 1, 100},
      {0, 30, -1, 500, 1, 0},    {10, 30, 0, 500, 0, 0},   {3, 30, 0, 500, 0, 0},
  };
  for (const Case& c : cases) {
    standTable.clear();
    for (int i = 0; i < c.stands; ++i) stand("S" + std::to_string(i));
    parking_percentage.value.store(c.percentage);
    CUSTOM_PARKING_PERCENTAGE.value.store(c.custom);
    MAX_PARK_SEL.value.store(c.maxSel);
    EXPECT_EQ(lf_wantedStaticCount(), c.wanted) << c.stands << " stands, " << c.percentage << "%";
    EXPECT_EQ(wantedStaticCount.load(), c.wanted);
    EXPECT_EQ(band.wanted.back(), std::make_pair(c.wanted, c.percent)) << c.stands;
  }
  parking_percentage.value.store(parking_percentage.defaultValue);
}

TEST_F(StaticParkingTest, AShareOfZeroWantsNoStand) {
  CUSTOM_PARKING_PERCENTAGE.value.store(0);
  addOption(stand("A1"), "R1", "KLM", "B738", tuesday, "10");
  lf_calcStaticParking();
  EXPECT_TRUE(staticCandidates.empty());
  EXPECT_EQ(logLinesWith("no parking positions found").size(), 1u);
}

TEST_F(StaticParkingTest, TheSurplusOfTheLastOffsetIsTrimmedAtRandom) {
  auto calculate = [&](bool random, std::uint32_t seed) {
    standTable.clear();
    for (int i = 0; i < 6; ++i) addOption(stand("S" + std::to_string(i)), "R" + std::to_string(i), "KLM", "B738", tuesday, "10");
    RANDOM.value.store(random);
    gf_seedRandomEngine(seed);
    lf_calcStaticParking();
    Numbers stands = candidateStands();
    std::sort(stands.begin(), stands.end());
    return stands;
  };
  CUSTOM_PARKING_PERCENTAGE.value.store(50);
  EXPECT_EQ(calculate(false, 1), (Numbers{1, 2, 3}));
  std::set<Numbers> chosen;
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    const Numbers stands = calculate(true, seed);
    EXPECT_EQ(stands.size(), 3u);
    chosen.insert(stands);
  }
  EXPECT_GT(chosen.size(), 1u) << "the same three stands every time";
}

TEST_F(StaticParkingTest, CandidatesAreAtMostTheWantedCountBestFitLast) {
  addOption(stand("A1"), "R1", "KLM", "B738", tuesday, "10");
  addOption(stand("A2"), "R2", "KLM", "B738", tuesday, "8");
  addOption(stand("A3"), "R3", "KLM", "B738", tuesday, "9");
  addOption(stand("A4"), "R4", "KLM", "B738", tuesday, "7");
  CUSTOM_PARKING_PERCENTAGE.value.store(75);  // 3 of 4
  lf_calcStaticParking();
  EXPECT_EQ(candidateOffsets(), (Numbers{2, 1, 0}));
}

// ------------------------------------------------------------------------------- adjustments

TEST_F(StaticParkingTest, AdjustmentKeepsRemovesAndReplacesThePlacedAircraft) {
  setNow(tuesday, 20);
  // A1: its option still fits.
  Stand& a1 = stand("A1");
  addOption(a1, "PH-A", "KLM", "B738", tuesday, "18:22", "KLM1");
  AcBase& kept = addStatic("KLM1*", a1, codes("KLM", "B738"), {tuesday, 18});
  kept.liveCallsign = "KLM1";
  kept.registration = "PH-A";
  // A2: nothing of it was learned there.
  AcBase& stale = addStatic("OLD*", stand("A2"), codes("TRA", "B737"), {tuesday, 18});
  stale.registration = "PH-OLD";
  // A3: the real flight is heard live.
  Stand& a3 = stand("A3");
  addOption(a3, "PH-C", "KLM", "B738", tuesday, "18:22", "KLM5");
  AcBase& live = addStatic("KLM5*", a3, codes("KLM", "B738"), {tuesday, 18});
  live.liveCallsign = "KLM5";
  live.registration = "PH-C";
  trafficReader.startCallsignCollection();
  trafficReader.insertCallsign("KLM5");
  // A4: its option was switched off by an earlier search; nothing stands there now.
  addOption(stand("A4"), "PH-D", "KLM", "B738", tuesday, "20", "KLM7").number = 0;
  // A5: the flight it leaves as is heard live.
  Stand& a5 = stand("A5");
  addOption(a5, "PH-E", "KLM", "B738", tuesday, "18:22", "KLM8", "KLM9");
  const AcBase& leaving = placed(a5, "PH-E", "KLM8", "KLM9", {tuesday, 18});
  trafficReader.insertCallsign("KLM9");

  gf_parkingAdjustments();
  EXPECT_EQ(engine.removed, (std::vector<std::uint32_t>{stale.hexid, live.hexid, leaving.hexid}));
  EXPECT_EQ(kept.simState, SimState::active);
  ASSERT_EQ(keptStaticList.size(), 1u);
  EXPECT_EQ(keptStaticList[0].callsign, "KLM1*");
  EXPECT_EQ(candidateStands(), Numbers{4}) << "options are numbered again";
  EXPECT_EQ(logLinesWith("Parking adjustments: 3 to be removed, 1 to be added").size(), 1u);
  EXPECT_FALSE(trafficReader.collectCallsigns.load());
}

TEST_F(StaticParkingTest, AnAircraftStaysUnlessTheNewOptionFitsLongerThanItHasStood) {
  struct Case {
    const char* slots;
    bool replaced;
  };
  // The option fits now, since as long as the aircraft has stood there, or longer.
  for (const Case& c : {Case{"20", true}, Case{"18", false}, Case{"17", false}}) {
    gf_clearAcTables();
    standTable.clear();
    engine.removed.clear();
    setNow(tuesday, 20);
    Stand& s = stand("A1");
    addOption(s, "PH-NEW", "KLM", "B738", tuesday, c.slots, "NEW1");
    addStatic("OTHER*", s, codes("TRA", "B737"), {tuesday, 18});  // 2 half hours
    gf_parkingAdjustments();
    EXPECT_EQ(engine.removed.size(), c.replaced ? 1u : 0u) << c.slots;
    EXPECT_EQ(staticCandidates.size(), c.replaced ? 1u : 0u) << c.slots;
  }
}

TEST_F(StaticParkingTest, AtRandomAStaticAircraftIsNotSwappedForAnotherOptionOfItsStand) {
  RANDOM.value.store(true);
  for (std::uint32_t seed = 1; seed <= 10; ++seed) {
    gf_clearAcTables();
    standTable.clear();
    engine.removed.clear();
    gf_seedRandomEngine(seed);
    setNow(tuesday, 20);
    Stand& s = stand("A1");
    addOption(s, "PH-A", "KLM", "B738", tuesday, "18:22", "KLM1");
    addOption(s, "PH-B", "KLM", "B738", tuesday, "20", "KLM2");
    addOption(s, "PH-C", "KLM", "B738", tuesday, "20", "KLM3");
    placed(s, "PH-A", "KLM1", "", {tuesday, 18});
    gf_parkingAdjustments();
    EXPECT_TRUE(engine.removed.empty()) << "seed " << seed;
    EXPECT_EQ(keptStaticList.size(), 1u) << "seed " << seed;
  }
}

TEST_F(StaticParkingTest, AKeptAircraftWhoseFlightLeavesNextIsReplacedByTheDepartingFlight) {
  setNow(tuesday, 20);
  Stand& s = stand("A1");
  addOption(s, "PH-A", "KLM", "B738", tuesday, "14:20", "KLM1", "KLM2");
  const AcBase& ac = placed(s, "PH-A", "KLM1", "KLM2", {tuesday, 14});
  gf_parkingAdjustments();
  EXPECT_EQ(engine.removed, std::vector<std::uint32_t>{ac.hexid});
  ASSERT_EQ(staticCandidates.size(), 1u);
  const StaticCandidate& c = staticCandidates[0];
  EXPECT_EQ(c.standNumber, 1);
  EXPECT_EQ(c.fitOffset, 6) << "it keeps its time parked";
  EXPECT_EQ(c.callsign2, "KLM2");
  EXPECT_EQ(c.continuesNextSlot, 0);
}

TEST_F(StaticParkingTest, AFlightOnItsLastHalfHourOfSundayGoesOnMondayMorning) {
  for (const bool onMonday : {true, false}) {
    gf_clearAcTables();
    standTable.clear();
    engine.removed.clear();
    setNow(7, 47);
    Stand& s = stand("A1");
    addOption(s, "PH-A", "KLM", "B738", 7, "44:47", "KLM1", "KLM2");
    if (onMonday) addOption(s, "PH-A", "KLM", "B738", 1, "0:3", "KLM1", "KLM2");
    placed(s, "PH-A", "KLM1", "KLM2", {7, 44});
    gf_parkingAdjustments();
    // Without a Monday option the flight leaves: its departing form takes its place.
    EXPECT_EQ(engine.removed.size(), onMonday ? 0u : 1u);
    EXPECT_EQ(keptStaticList.size(), onMonday ? 1u : 0u);
    EXPECT_EQ(candidateStands(), onMonday ? Numbers{} : Numbers{1});
  }
}

TEST_F(StaticParkingTest, AnAircraftStaysWhileItsOptionFitsTheWindowOfTheLastPass) {
  struct Case {
    const char* what;
    std::uint32_t day;
    const char* hh;
    const char* reg;
    WeekSlot now;
    bool fits;
  };
  // The last pass reached offset 3: now and the three half hours before.
  const std::vector<Case> cases{
      {"now", tuesday, "10", "PH-A", {tuesday, 10}, true},
      {"3 half hours ago", tuesday, "7", "PH-A", {tuesday, 10}, true},
      {"4 half hours ago", tuesday, "6", "PH-A", {tuesday, 10}, false},
      {"later today", tuesday, "11", "PH-A", {tuesday, 10}, false},
      {"another registration", tuesday, "10", "PH-B", {tuesday, 10}, false},
      {"another day", 3, "10", "PH-A", {tuesday, 10}, false},
      {"before midnight", 1, "47", "PH-A", {tuesday, 1}, true},
      {"before midnight, out of reach", 1, "45", "PH-A", {tuesday, 1}, false},
  };
  for (const Case& c : cases) {
    gf_clearAcTables();
    standTable.clear();
    Stand& s = stand("A1");
    addOption(s, c.reg, "KLM", "B738", c.day, c.hh).number = 0;  // switched off counts too
    AcBase& ac = addStatic("KLM1*", s, codes("KLM", "B738"), {tuesday, 0});
    ac.registration = "PH-A";
    realFitOffset = 3;
    softFitOffset = -1;
    EXPECT_EQ(lf_optionStillFits(c.now, 1, ac), c.fits) << c.what;
    EXPECT_FALSE(lf_optionStillFits(c.now, 2, ac)) << "no such stand";
  }
}

TEST_F(StaticParkingTest, OfTooManyKeptAircraftTheEarliestParkedGoes) {
  struct Case {
    const char* what;
    WeekSlot now;
    WeekSlot later;  // parked on A1
    WeekSlot earlier;  // parked on A2
  };
  const std::vector<Case> cases{
      {"same day", {tuesday, 20}, {tuesday, 19}, {tuesday, 16}},
      {"across the week's end", {1, 1}, {1, 0}, {7, 46}},
  };
  CUSTOM_PARKING_PERCENTAGE.value.store(50);  // 1 of 2
  for (const Case& c : cases) {
    gf_clearAcTables();
    standTable.clear();
    engine.removed.clear();
    setNow(c.now.day, c.now.halfHour);
    const std::pair<std::string, WeekSlot> parked[] = {{"PH-A", c.later}, {"PH-B", c.earlier}};
    std::vector<std::uint32_t> hexids;
    for (const auto& [reg, since] : parked) {
      Stand& s = stand(reg);
      addOption(s, reg, "KLM", "B738", static_cast<std::uint32_t>(since.day), std::to_string(since.halfHour));
      AcBase& ac = addStatic(reg + "*", s, codes("KLM", "B738"), since);
      ac.registration = reg;
      hexids.push_back(ac.hexid);
    }
    gf_parkingAdjustments();
    EXPECT_EQ(engine.removed, std::vector<std::uint32_t>{hexids[1]}) << c.what;
  }
}

TEST_F(StaticParkingTest, MoreParkedLiveAircraftThanWantedGoLongestParkedFirst) {
  CUSTOM_PARKING_PERCENTAGE.value.store(50);  // 1 of 2
  Stand& a = stand("A1");
  Stand& b = stand("A2");
  addOption(b, "R2", "KLM", "B738", tuesday, "10");
  for (auto [stand, minutes] : {std::pair{&a, 30}, std::pair{&b, 80}}) {
    LiveAc& ac = addLive("LIVE" + std::to_string(minutes), {stand->latitude, stand->longitude});
    ac.flightState = FlightState::parked;
    ac.standId = static_cast<std::int32_t>(stand->number);
    ac.parkedSince = minutes;
  }
  gf_parkingAdjustments();
  EXPECT_EQ(engine.oldestRemoved, std::vector<std::size_t>{1});
  EXPECT_EQ(liveAcTable[1].simState, SimState::removingfromsim);
  EXPECT_EQ(status(), "Parking adjustments: 0 to be removed, 0 to be added");
  EXPECT_EQ(logLinesWith("Parking adjustments: 1 more live ac than wanted").size(), 1u);
  EXPECT_TRUE(staticCandidates.empty());
}

TEST_F(StaticParkingTest, WithNoShareWantedTheParkedLiveAircraftStay) {
  CUSTOM_PARKING_PERCENTAGE.value.store(0);
  Stand& a = stand("A1");
  LiveAc& ac = addLive("LIVE1", {a.latitude, a.longitude});
  ac.flightState = FlightState::parked;
  ac.standId = 1;
  gf_parkingAdjustments();
  EXPECT_TRUE(engine.removed.empty());
  EXPECT_TRUE(engine.oldestRemoved.empty());
  EXPECT_EQ(ac.simState, SimState::active);
}

// ----------------------------------------------------------------------------- driver, flush

class ParkAirportFileTest : public StaticParkingTest {
 protected:
  ParkAirportFileTest() {
    apf_test::addAirport("EHAM", base.lat, base.lon, 0);
    apf_test::setParkAirport("EHAM");
    parkAirport.store(airportTable.front());
    userAt(base, true);
  }
  void writeAirportFile(const std::string& parameters) {
    const LatLon a2 = offset(base, 90, 100);
    wdrx::testing::writeFile(
        dir / "airports/my_thirdparty/EHAM.xml",
        "<?xml version=\"1.0\"?>\n<root>" + apf_test::metaXml() + "<parameters>" + parameters +
            "</parameters><parkpositions>" + apf_test::parkpos("A1", base.lat, base.lon, R"(radius="20" type="12")") +
            apf_test::parkpos("A2", a2.lat, a2.lon, R"(radius="20" type="12")") + "</parkpositions></root>\n");
  }
};

TEST_F(ParkAirportFileTest, AMissingOrBrokenAirportFileLeavesTheParkAirportAndTheRunGoesOn) {
  staticRecalcRequested = true;
  parkingUpdateBusy.store(true);
  gf_staticParkingTick(false);
  EXPECT_EQ(status(), "lf_readParkedFile EHAM not found");
  EXPECT_TRUE(parkAirportCode.load().empty());
  EXPECT_FALSE(parkingUpdateBusy.load());

  writeAirportFile(R"(<parameter name="airport_name" value="Schiphol"/>)");  // no altitude: user error
  apf_test::setParkAirport("EHAM");
  staticRecalcRequested = true;
  EXPECT_NO_THROW(gf_staticParkingTick(false));
  EXPECT_NE(status().find("Parameter altitude not found"), std::string::npos) << status();
  EXPECT_TRUE(parkAirportCode.load().empty());
  EXPECT_TRUE(standTable.empty());
  EXPECT_EQ(gf_nearestStandName(base.lat, base.lon), "");
}

TEST_F(ParkAirportFileTest, ReadingTheFileCalculatesAndTheControlsReturnOnceAllArePlaced) {
  writeAirportFile(R"(<parameter name="altitude" value="-11"/>)");
  staticRecalcRequested = true;
  parkingCountdown.store(3);
  gf_staticParkingTick(false);
  ASSERT_EQ(standTable.size(), 2u);
  EXPECT_EQ(parkingCountdown.load(), 20);
  EXPECT_TRUE(band.loaded);
  EXPECT_TRUE(staticParkingActive.load());
  EXPECT_EQ(band.destinationEnabled, 1);
  EXPECT_FALSE(parkingUpdateBusy.load()) << "no learned options: nothing to place";

  parkingUpdateBusy.store(true);
  staticCandidates.push_back({1, 0, {}, "KLM1", "", "", 1});
  gf_staticParkingTick(false);
  EXPECT_TRUE(parkingUpdateBusy.load());
  staticCandidates.clear();
  gf_staticParkingTick(false);
  EXPECT_FALSE(parkingUpdateBusy.load());
}

TEST_F(ParkAirportFileTest, LeavingTheParkAirportFlushesEverything) {
  writeAirportFile(R"(<parameter name="altitude" value="-11"/>)");
  staticRecalcRequested = true;
  parking_percentage.value.store(70);  // the user's own; the airport's default is 30
  gf_staticParkingTick(false);
  ASSERT_TRUE(learnedDirty.load());
  ASSERT_EQ(parking_percentage.value.load(), 30);
  addOption(standTable[0], "PH-BXA", "KLM", "B738", tuesday, "10", "KLM1");  // learned here
  reservedStandName = "A2";
  addStatic("S1*", standTable[1], {}, {tuesday, 9});
  auto live = [&](const std::string& callsign, FlightState state, SimState sim, std::int32_t standId) {
    LiveAc& ac = addLive(callsign, base);
    ac.flightState = state;
    ac.simState = sim;
    ac.standId = standId;
    return ac.hexid;
  };
  const std::uint32_t parked = live("PARKED", FlightState::parked, SimState::active, 1);
  standTable[0].occupied = 1;
  const std::uint32_t taxi = live("TAXI", FlightState::taxi, SimState::active, 2);
  const std::uint32_t push = live("PUSH", FlightState::pushing_back, SimState::active, 2);
  const std::uint32_t pushed = live("PUSHED", FlightState::pushed_back, SimState::active, 2);
  const std::uint32_t takeOff = live("TAKEOFF", FlightState::take_off, SimState::active, 0);
  const std::uint32_t parking = live("PARKING", FlightState::parking, SimState::active, 2);
  const std::uint32_t flying = live("FLYING", FlightState::flying, SimState::active, 0);
  const std::uint32_t queued = live("QUEUED", FlightState::parked, SimState::adding2sim, 2);
  engine.dropFinds = true;
  staticCandidates.push_back({2, 0, {}, "X", "", "", 1});

  gf_flushStaticParking();
  EXPECT_EQ(engine.removeAllCalls, 1);
  EXPECT_EQ(engine.removed, (std::vector<std::uint32_t>{parked, taxi, push, pushed, takeOff, parking}));
  EXPECT_NE(gf_findLiveAc(flying), nullptr);
  EXPECT_EQ(gf_findLiveAc(queued), nullptr) << "taken off its queue, it leaves the table";
  for (const LiveAc& ac : liveAcTable) EXPECT_EQ(ac.standId, 0) << ac.callsign;
  EXPECT_TRUE(staticCandidates.empty());
  EXPECT_TRUE(standTable.empty());
  EXPECT_TRUE(parkAirportCode.load().empty());
  EXPECT_TRUE(reservedStandName.empty());
  EXPECT_FALSE(learnedDirty.load());
  EXPECT_FALSE(staticParkingActive.load());
  EXPECT_FALSE(trafficReader.fieldElevation().has_value());
  EXPECT_EQ(gf_nearestStandName(base.lat, base.lon), "");
  EXPECT_TRUE(std::filesystem::exists(dir / "airports/learned/thirdparty/EHAM.xml"));
  EXPECT_EQ(parking_percentage.value.load(), 70) << "the user's settings are back";
}
