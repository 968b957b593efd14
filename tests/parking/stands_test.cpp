// Stand operations of the park airport: occupied marks, the stand under a position, the stand
// for an arriving aircraft, the callsign forms of a landed flight, the static count, cargo.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "aircraft/reference_db.hpp"
#include "parking/apf_state.hpp"
#include "parking/stand_services.hpp"
#include "parking/stands_fixture.hpp"
#include "parking/static_parking.hpp"
#include "simlink/user_aircraft.hpp"

using namespace stands_test;

namespace {

using StandOpsTest = StandsTest;

constexpr double narrow = standSearchRadiusNarrow;
constexpr double wide = standSearchRadiusWide;

}  // namespace

TEST_F(StandOpsTest, OccupiedMarkFollowsTheNumberOnly) {
  addStand("A1", base);
  addStand("A2", offset(base, 90, 60));
  gf_setStandOccupied(2, true);
  EXPECT_EQ(standTable[1].occupied, 1);
  for (std::int32_t number : {0, -1, 3}) gf_setStandOccupied(number, true);
  EXPECT_EQ(standTable[0].occupied, 0);
  gf_setStandOccupied(2, false);
  EXPECT_EQ(standTable[1].occupied, 0);
}

TEST_F(StandOpsTest, NearestStandWithin55MetresWhileOnTheGround) {
  addStand("A1", offset(base, 0, 30));
  addStand("A2", offset(base, 180, 20));
  addStand("A3", offset(base, 180, 20));  // as near as A2: the earlier one wins
  userAt(base, false);
  EXPECT_EQ(gf_nearestStandName(base.lat, base.lon), "") << "airborne";
  userAt(base, true);
  EXPECT_EQ(gf_nearestStandName(base.lat, base.lon), "A2");
  const LatLon away = offset(offset(base, 0, 30), 0, 56);
  EXPECT_EQ(gf_nearestStandName(away.lat, away.lon), "");
  const LatLon edge = offset(offset(base, 0, 30), 0, 54);
  EXPECT_EQ(gf_nearestStandName(edge.lat, edge.lon), "A1");
}

TEST_F(StandOpsTest, ANewStandTableIsNotAnsweredFromTheCache) {
  userAt(base, true);
  addStand("OLD", base);
  EXPECT_EQ(gf_nearestStandName(base.lat, base.lon), "OLD");
  standTable.clear();
  addStand("NEW", base);
  EXPECT_EQ(gf_nearestStandName(base.lat, base.lon), "NEW");
  standTable.clear();
  gf_publishStandPositions();
  EXPECT_EQ(gf_nearestStandName(base.lat, base.lon), "");
}

TEST_F(StandOpsTest, TheSimulatorThreadAsksWhileTheRunThreadRebuildsTheTable) {
  userAt(base, true);
  addStand("A1", base);
  std::atomic<bool> stop{false};
  std::atomic<int> answers{0};
  std::thread simulator([&] {
    while (!stop.load()) {
      const std::string name = gf_nearestStandName(base.lat, base.lon + 1e-6 * (answers.load() % 2));
      EXPECT_TRUE(name.empty() || name == "A1" || name == "B1") << name;
      answers.fetch_add(1);
    }
  });
  for (int i = 0; i < 300 || answers.load() < 100; ++i) {
    standTable.clear();
    gf_publishStandPositions();
    addStand(i % 2 ? "A1" : "B1", base);
  }
  stop.store(true);
  simulator.join();
}

TEST_F(StandOpsTest, ArrivingAircraftGetsTheNearestFreeStandThatSuits) {
  Stand& far = addStand("FAR", offset(base, 0, 40), 30.0, 12);
  Stand& near = addStand("NEAR", offset(base, 0, 10), 30.0, 12);
  addStand("SMALL", offset(base, 0, 5), 30.0, 1);  // type 1: light aircraft only
  LiveAc& ac = addLive("KLM1", base);
  // SMALL lies within 20 m, so it is taken although it does not suit: it is the nearest.
  EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, wide, false), &standTable[2]);
  standTable[2].occupied = 1;
  EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, wide, false), &near);
  struct Case {
    const char* what;
    void (*block)(Stand&);
  };
  const Case cases[] = {{"occupied", [](Stand& s) { s.occupied = 1; }},
                        {"taken", [](Stand& s) { s.taken = 1; }},
                        {"reserved", [](Stand& s) { s.reserved = 1; }},
                        {"reserved by name", [](Stand& s) { reservedStandName = s.name; }}};
  for (const Case& c : cases) {
    near.occupied = near.taken = near.reserved = 0;
    reservedStandName.clear();
    c.block(near);
    EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, wide, false), &far) << c.what;
  }
  reservedStandName.clear();
  near.reserved = 0;
  EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, narrow, false), &near);
  near.taken = 1;
  EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, narrow, false), nullptr) << "FAR lies beyond 20 m";
}

TEST_F(StandOpsTest, UntypedStandsSuitUpTo18MetresSmallerAndLearnTheSizeWithin20Metres) {
  Stand& stand = addStand("U1", offset(base, 0, 15), 20.0);
  LiveAc& ac = addLive("KLM1", base, AcCategory::Large, 21.8);
  EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, wide, false), &stand);
  EXPECT_EQ(stand.radius_change, 0);
  EXPECT_EQ(learnedUpdateCount.load(), 0);

  ac.radius = 21.9 * metresToNm;
  const LatLon farAway = offset(offset(base, 0, 15), 180, 30);  // 30 m from the stand
  EXPECT_EQ(gf_findStandForAircraft(ac, farAway.lat, farAway.lon, wide, false), nullptr);
  EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, wide, false), &stand);
  EXPECT_EQ(stand.radius_change, 1);
  EXPECT_NEAR(stand.radius * nmToMetres, 20.9, 1e-9);
  EXPECT_EQ(learnedUpdateCount.load(), 1);
}

TEST_F(StandOpsTest, HelicoptersAndAeroplanesKeepToTheirOwnStands) {
  Stand& plain = addStand("P1", offset(base, 0, 5), 30.0, 12);
  Stand& heli = addStand("H1", offset(base, 0, 40), 30.0, 12);
  heli.heli = 1;
  LiveAc& helicopter = addLive("HELI1", base, AcCategory::Rotorcraft, 8.0);
  LiveAc& aeroplane = addLive("KLM1", base);
  // The nearer plain stand does not keep the helicopter from the heli stand.
  EXPECT_EQ(gf_findStandForAircraft(helicopter, base.lat, base.lon, wide, false), &heli);
  EXPECT_EQ(gf_findStandForAircraft(aeroplane, base.lat, base.lon, wide, false), &plain);
  plain.occupied = 1;
  EXPECT_EQ(gf_findStandForAircraft(aeroplane, base.lat, base.lon, wide, false), nullptr);

  // A refused small heli stand within 20 m learns nothing.
  standTable.clear();
  Stand& smallHeli = addStand("H2", offset(base, 0, 5), 5.0);
  smallHeli.heli = 1;
  EXPECT_EQ(gf_findStandForAircraft(aeroplane, base.lat, base.lon, wide, false), nullptr);
  EXPECT_EQ(smallHeli.radius_change, 0);
  EXPECT_EQ(learnedUpdateCount.load(), 0);
}

TEST_F(StandOpsTest, AStandWhereTheFlightIsKnownIsTheFallbackWithin85Metres) {
  Stand& known = addStand("K1", offset(base, 0, 80), 30.0, 12);
  LiveAc& ac = addLive("KLM1", base);
  ac.codes = codes("KLM", "B738");
  addOption(known, "PH-BXA", "KLM", "B738", 2, "10");
  EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, wide, true), &known);
  EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, wide, false), nullptr) << "no option match";

  struct Case {
    const char* what;
    LatLon at;
    std::uint32_t real;
    std::uint32_t number;
    std::string callsign;
    bool found;
  };
  const std::vector<Case> cases{
      {"90 m away", offset(base, 0, 90), 1, 1, "KLM1", false},
      {"soft option", offset(base, 0, 80), 0, 1, "KLM1", false},
      {"switched off", offset(base, 0, 80), 1, 0, "KLM1", false},
      {"no callsign", offset(base, 0, 80), 1, 1, "", false},
  };
  for (const Case& c : cases) {
    standTable.clear();
    Stand& s = addStand("K1", c.at, 30.0, 12);
    StandOption& o = addOption(s, "PH-BXA", "KLM", "B738", 2, "10");
    o.real = c.real;
    o.number = c.number;
    ac.callsign = c.callsign;
    EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, wide, true) != nullptr, c.found) << c.what;
  }
  // Another type, but the option names the flight.
  standTable.clear();
  Stand& named = addStand("K2", offset(base, 0, 80), 30.0, 12);
  addOption(named, "PH-XXX", "TRA", "B737", 2, "10", "", "KLM1");
  ac.callsign = "KLM1";
  EXPECT_EQ(gf_findStandForAircraft(ac, base.lat, base.lon, wide, true), &named);
}

TEST_F(StandOpsTest, ALandedFlightTakesTheCallsignFormsOfItsOptionToday) {
  Stand& stand = addStand("A1", base);
  addOption(stand, "PH-BXB", "KLM", "B738", 2, "20", "KLM999", "");  // no second form: never
  addOption(stand, "PH-BXA", "KLM", "B738", 2, "30", "KLM123", "KLM124");
  LiveAc& ac = addLive("KLM123_", base);
  ac.codes = codes("KLM", "B738");
  struct Case {
    WeekSlot now;
    AcCategory category;
    std::string callsign;
    bool matched;
  };
  const std::vector<Case> cases{
      {{2, 20}, AcCategory::Large, "KLM123_", true},   // 10 half hours before
      {{2, 19}, AcCategory::Large, "KLM123", false},   // 11 before
      {{2, 17}, AcCategory::Heavy, "KLM124", true},    // 13 before, heavy reach 14
      {{3, 20}, AcCategory::Large, "KLM123", false},   // another day
      {{2, 40}, AcCategory::Large, "KLM999", false},   // option without a second form
      {{2, 30}, AcCategory::Large, "_", false},        // nothing left without the "_"
  };
  for (const Case& c : cases) {
    ac.liveCallsign = "unchanged";
    ac.altCallsign.clear();
    ac.callsign = c.callsign;
    ac.category = c.category;
    gf_matchStandOption(c.now.packed(), ac);
    EXPECT_EQ(ac.liveCallsign, c.matched ? "KLM123" : "unchanged") << c.callsign << " at " << c.now.halfHour;
    EXPECT_EQ(ac.altCallsign, c.matched ? "KLM124" : "");
  }
  ac.codes = codes("TRA", "B738");
  ac.callsign = "KLM123";
  ac.liveCallsign = "unchanged";
  gf_matchStandOption(WeekSlot{2, 30}.packed(), ac);
  EXPECT_EQ(ac.liveCallsign, "unchanged") << "another airline";
}

TEST_F(StandOpsTest, TheWindowOfALandedFlightReachesAcrossMidnightAndTheWeek) {
  Stand& stand = addStand("A1", base);
  addOption(stand, "PH-BXA", "KLM", "B738", 7, "45", "KLM123", "KLM124");  // Sunday 22:30
  LiveAc& ac = addLive("KLM123", base);
  ac.codes = codes("KLM", "B738");
  gf_matchStandOption(WeekSlot{1, 2}.packed(), ac);  // Monday 01:00, 5 half hours later
  EXPECT_EQ(ac.altCallsign, "KLM124");
}

TEST_F(StandOpsTest, StaticCountAndItsMeanTimeParked) {
  Stand& a = addStand("A1", base);
  setNow(2, 10);
  EXPECT_EQ(gf_countStaticAc(true), 0);
  EXPECT_EQ(meanStaticParkedHours.load(), 0.0f);

  addStatic("S1*", a, {}, {2, 7});  // 3 half hours
  addStatic("S2*", a, {}, {2, 6});  // 4 half hours
  addStatic("S3*", a, {}, {2, 0}).simState = SimState::adding2sim;  // not in the simulator yet
  EXPECT_EQ(gf_countStaticAc(false), 2);
  EXPECT_EQ(gf_countStaticAc(true), 2);
  EXPECT_FLOAT_EQ(meanStaticParkedHours.load(), 2.25f);
  EXPECT_FLOAT_EQ(band.staticFit.back(), 2.25f);

  staticAcTable[1].simState = SimState::removingfromsim;  // still counted
  EXPECT_EQ(gf_countStaticAc(false), 2);

  // Parked Sunday 23:30, now Monday 00:30: two half hours, not "later in the week".
  gf_clearAcTables();
  addStatic("S4*", a, {}, {7, 47});
  setNow(1, 1);
  gf_countStaticAc(true);
  EXPECT_FLOAT_EQ(meanStaticParkedHours.load(), 1.5f);

  // After a week pass the mean is not shown.
  weekPassUsed = true;
  setNow(1, 5);
  gf_countStaticAc(true);
  EXPECT_FLOAT_EQ(meanStaticParkedHours.load(), 1.5f);
}

TEST_F(StandOpsTest, ACargoAircraftMakesItsStandACargoStand) {
  Stand& stand = addStand("C1", base);
  LiveAc& ac = addLive("FDX1", base);
  ac.standId = 1;
  gf_learnStandCargoChange(ac);  // passenger aircraft
  EXPECT_EQ(stand.cargo, 0);
  ac.codes.cargo = 1;
  gf_learnStandCargoChange(ac);
  EXPECT_EQ(stand.cargo, 1);
  EXPECT_EQ(stand.cargo_change, 1);
  EXPECT_EQ(learnedUpdateCount.load(), 1);
  gf_learnStandCargoChange(ac);  // nothing more to learn
  EXPECT_EQ(learnedUpdateCount.load(), 1);
}
