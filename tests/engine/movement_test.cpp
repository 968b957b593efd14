// Whole flights through the engine on the position stream: landing and parking, departure with
// push-back or pulling out, a helicopter, reports that stop, a week on the stand, a livery
// respawn. Every position handed to the simulator link is checked by the world.
#include <gtest/gtest.h>

#include <cmath>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/engine_harness.hpp"
#include "engine/movement.hpp"
#include "engine/movement_world.hpp"
#include "foundation/geodesy.hpp"
#include "parking/apf_state.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "simlink/sim_ids.hpp"

using namespace wdrx::testing;

namespace {

constexpr double lat0 = 52.30, lon0 = 4.76;  // the park airport
constexpr double field = 100.0;              // its elevation, feet
constexpr double feetPerNm = 6076.11549;

LatLon lf_from(LatLon at, double bearingDeg, double metres) {
  return gf_destinationPoint(at, bearingDeg * degToRad, metres / 0.3048);
}

class Movement : public ::testing::Test {
 protected:
  void SetUp() override { setParkAirport(lat0, lon0, field); }
  void TearDown() override { clearParkAirport(); }

  // The invariants held for the whole flight; catch-up legs stay few and short.
  static void expectRealistic(const FlightLog& log, std::int64_t maxCatchUpCycles = 300) {
    EXPECT_TRUE(log.violations.empty()) << ::testing::PrintToString(log.violations);
    EXPECT_LE(log.catchUpCycles, maxCatchUpCycles) << "legs faster than the reports: " << log.catchUpLegs;
    EXPECT_GT(log.cycles, 0);
  }

  EngineHarness h;
  World world{h, field};
};

std::string lf_phases(const FlightLog& log) { return ::testing::PrintToString(log.phases); }

TEST_F(Movement, ALandingFlaresTouchesDownTaxiesAndParksOnTheStand) {
  const LatLon touchdown{lat0, lon0 + 0.02};
  const LatLon start = gf_destinationPoint(touchdown, 90.0 * degToRad, 8.0 * feetPerNm);
  PathBuilder path(start.lat, start.lon, field + 8.0 * 318.0, 270.0, 150.0, false);
  path.leg(200, 138, field)                    // a 3-degree approach
      .onGround(true)
      .leg(45, 25, field)                      // landing roll
      .leg(12, 15, field, 90.0)                // off the runway to the north
      .leg(60, 15, field)
      .leg(10, 12, field, -30.0)
      .leg(20, 5, field)
      .leg(8, 0, field)
      .stand(240);
  const PathPoint& end = path.last();
  const LatLon standAt = lf_from({end.latitude, end.longitude}, 330.0, 4.0);
  // The stand turns the aircraft 30 degrees: the drive onto it takes as long as the turn.
  Stand& stand = addStand("D7", standAt.lat, standAt.lon, 0.0);
  world.schedule(0x484001, "KLM1234", "B738", path.points(), ReportPlan{});

  world.runUntil([&] { return world.log(0x484001).hasPhase("parked"); }, 80000);
  const FlightLog& log = world.log(0x484001);
  EXPECT_TRUE(log.phasesInOrder(
      {"flying", "approach", "flare1", "flare2", "flare3", "flare4", "touchdown", "taxi", "parking", "parked"}))
      << lf_phases(log);
  EXPECT_GE(log.phaseCycle("touchdown") - log.phaseCycle("approach"), 6000) << "a minute on approach";
  world.run(500);
  const LiveAc* ac = world.aircraft(0x484001);
  ASSERT_NE(ac, nullptr);
  EXPECT_EQ(ac->flightState, FlightState::parked);
  EXPECT_LE(gf_distanceNm({log.lastSent.latitude, log.lastSent.longitude}, {stand.latitude, stand.longitude}) * 1852.0,
            2.0);
  EXPECT_LE(std::fabs(std::remainder(log.lastSent.heading - stand.heading, 2.0 * 3.141592653589793)) * radToDeg, 0.5);
  EXPECT_EQ(stand.occupied, 1);
  EXPECT_TRUE(h.logHas("D7      : KLM1234  arrived at stand"));
  // Idle at touchdown (no reversers without FSLTL), spoilers in on the roll, parked engines off.
  EXPECT_NE(log.eventValues(simid::spoilersSet), std::vector<std::uint32_t>{});
  EXPECT_EQ(log.eventValues(simid::throttleSet).back(), 0u);
  expectRealistic(log);
}

TEST_F(Movement, ADepartureWithPushBackTaxiesTakesOffAndClimbsOut) {
  const LatLon standAt{lat0 + 0.01, lon0};
  Stand& stand = addStand("B12", standAt.lat, standAt.lon, 90.0 * degToRad);
  stand.radius = 30.0 / 1852.0;
  PathBuilder path(standAt.lat, standAt.lon, field, 90.0, 0.0, true);
  path.stand(150)
      .leg(10, 3, field, 0.0, true)  // pushed back, tail first
      .leg(30, 3, field, 90.0, true)
      .leg(5, 0, field, 0.0, true)
      .stand(60)
      .leg(15, 15, field)  // taxi out
      .leg(60, 15, field)
      .leg(15, 12, field, -90.0)
      .leg(50, 15, field)
      .leg(10, 8, field, -90.0)  // onto the runway, heading 270
      .leg(5, 0, field)
      .stand(20)
      .leg(35, 150, field)  // take-off roll
      .onGround(false)
      .leg(20, 165, field + 700)
      .leg(60, 200, field + 3000);
  world.schedule(0x484002, "DLH42", "B738", path.points(), ReportPlan{});

  world.runUntil([&] { return world.log(0x484002).phasesInOrder({"take_off", "flying"}); }, 80000);
  world.run(3000);
  const FlightLog& log = world.log(0x484002);
  EXPECT_TRUE(log.phasesInOrder({"parked", "pushing_back", "pushed_back", "taxi", "take_off", "flying"}))
      << lf_phases(log);
  const auto throttle = log.eventValues(simid::throttleSet);
  EXPECT_NE(std::find(throttle.begin(), throttle.end(), 16383u), throttle.end()) << "full power on the roll";
  EXPECT_EQ(throttle.back(), 11468u) << "climb power above 800 ft";
  EXPECT_EQ(log.eventValues(simid::gearSet).back(), 0u) << "gear up";
  const auto flaps = log.eventValues(simid::flapsSet);
  EXPECT_NE(std::find(flaps.begin(), flaps.end(), 3072u), flaps.end()) << "take-off flaps";
  EXPECT_EQ(stand.occupied, 0) << "the stand was given back";
  // The push-back turned the nose 90 degrees to the right, one way.
  const auto pushed = std::find(log.phases.begin(), log.phases.end(), "pushed_back");
  ASSERT_NE(pushed, log.phases.end());
  const double after = log.phaseHeadings[static_cast<std::size_t>(pushed - log.phases.begin())];
  EXPECT_NEAR(std::remainder(after - 180.0 * degToRad, 2.0 * 3.141592653589793) * radToDeg, 0.0, 5.0);
  expectRealistic(log);
}

TEST_F(Movement, ALightAircraftPullsOutOfItsStand) {
  const LatLon standAt{lat0 - 0.01, lon0};
  addStand("GA3", standAt.lat, standAt.lon, 0.0, 1);
  PathBuilder path(standAt.lat, standAt.lon, field, 0.0, 0.0, true);
  path.stand(120).leg(10, 6, field).leg(40, 8, field).leg(15, 10, field, 45.0).leg(60, 10, field);
  world.schedule(0x484003, "PHABC", "C172", path.points(), ReportPlan{});
  world.runUntil([&] { return world.log(0x484003).hasPhase("taxi"); }, 40000);
  world.run(4000);
  const FlightLog& log = world.log(0x484003);
  EXPECT_TRUE(log.phasesInOrder({"parked", "taxi"})) << lf_phases(log);
  EXPECT_TRUE(h.logHas("GA3     : PHABC    pulling out"));
  expectRealistic(log);
}

TEST_F(Movement, AHelicopterLiftsOffFliesAndSetsDown) {
  const LatLon pad{lat0 + 0.03, lon0 + 0.05};
  PathBuilder path(pad.lat, pad.lon, field, 45.0, 0.0, true);
  path.stand(60)
      .onGround(false)
      .leg(20, 30, field + 300)
      .leg(120, 110, field + 1200, 30.0)
      .leg(90, 40, field + 300, -60.0)
      .leg(30, 0, field + 20)
      .onGround(true)
      .stand(120);
  world.schedule(0x484004, "HELI1", "EC35", path.points(), ReportPlan{});
  world.runUntil([&] { return world.log(0x484004).hasPhase("flying"); }, 40000);
  world.run(36000);
  const FlightLog& log = world.log(0x484004);
  EXPECT_TRUE(log.hasPhase("flying")) << lf_phases(log);
  const LiveAc* ac = world.aircraft(0x484004);
  ASSERT_NE(ac, nullptr);
  EXPECT_LE(log.lastSent.altitude, field + world.staticHeight + 25.0) << "back near the ground";
  expectRealistic(log);
}

TEST_F(Movement, ATaxiingAircraftWhoseReportsStopHoldsThenGoes) {
  MAX_HOLDING_MINUTES.value.store(1);
  const LatLon from{lat0 + 0.02, lon0 - 0.02};
  PathBuilder path(from.lat, from.lon, field, 180.0, 12.0, true);
  path.leg(90, 12, field);
  ReportPlan plan;
  plan.gapEvery = 0.0;
  world.schedule(0x484005, "SAS77", "A320", path.points(), plan);
  world.run(9000 + 3000);
  const LiveAc* ac = world.aircraft(0x484005);
  ASSERT_NE(ac, nullptr);
  EXPECT_EQ(ac->holding, 1);
  const PositionUpdateRecord held = world.log(0x484005).lastSent;
  world.run(3000);
  EXPECT_DOUBLE_EQ(world.log(0x484005).lastSent.latitude, held.latitude) << "it holds in place";
  EXPECT_FALSE(world.log(0x484005).removed);
  world.runUntil([&] { return world.log(0x484005).removed; }, 9000);
  EXPECT_TRUE(world.log(0x484005).removed) << "gone after the longest hold";
  expectRealistic(world.log(0x484005));
}

TEST_F(Movement, AnAircraftInTheAirIsDeadReckonedThenRemoved) {
  const LatLon from{lat0 + 0.5, lon0 + 0.5};
  PathBuilder path(from.lat, from.lon, 12000.0, 270.0, 280.0, false);
  path.leg(120, 280, 12000.0);
  ReportPlan plan;
  plan.gapEvery = 0.0;
  world.schedule(0x484006, "BAW9", "B744", path.points(), plan);
  const double lastLongitude = path.last().longitude;
  world.runUntil([&] { return world.log(0x484006).removed; }, 40000);
  const FlightLog& log = world.log(0x484006);
  EXPECT_TRUE(log.removed);
  EXPECT_LT(log.lastSent.longitude, lastLongitude - 0.05) << "it flew on past its last report";
  // Eight dead-reckoned steps of 8 s: at least a minute past the last report's due cycle.
  EXPECT_GT(engineCycle.load(), 12000 + 3000 + 6000);
  expectRealistic(log);
}

TEST_F(Movement, AFlightAcrossTheDateLineKeepsItsPositionsInRange) {
  PathBuilder path(-16.0, 179.85, 35000.0, 80.0, 480.0, false);
  path.leg(150, 480, 35000.0, 10.0);
  ReportPlan plan;
  plan.gapEvery = 0.0;
  world.schedule(0x48400a, "FJI910", "B744", path.points(), plan);
  ASSERT_LT(path.last().longitude, 0.0) << "the reports cross the date line";
  world.runUntil([&] { return world.log(0x48400a).removed; }, 40000);
  const FlightLog& log = world.log(0x48400a);
  EXPECT_TRUE(log.removed);
  EXPECT_GT(log.lastSent.longitude, path.last().longitude) << "dead reckoned on, east of the last report";
  expectRealistic(log);
}

TEST_F(Movement, AnAircraftLeavingTheRangeGoesWithItsLastSample) {
  const LatLon from{lat0, lon0 + 0.3};
  PathBuilder path(from.lat, from.lon, 8000.0, 90.0, 250.0, false);
  path.leg(60, 250, 8000.0);
  // The user 39.7 nm behind its last report: with a range of 40 nm it is 0.5 nm from the edge.
  const LatLon user = gf_destinationPoint({path.last().latitude, path.last().longitude}, 270.0 * degToRad,
                                          39.7 * feetPerNm);
  h.setUser(user.lat, user.lon, 0.0, true);
  ReportPlan plan;
  plan.gapEvery = 0.0;
  world.schedule(0x484007, "EZY1", "A320", path.points(), plan);
  world.runUntil([&] { return world.log(0x484007).removed; }, 20000);
  EXPECT_TRUE(world.log(0x484007).removed);
  EXPECT_LT(engineCycle.load(), 6000 + 3000 + 1500) << "no dead reckoning beyond the range";
}

TEST_F(Movement, AParkedAircraftIsKeptForAWeekAndKeepsItsStand) {
  Stand& stand = addStand("C3", lat0 + 0.004, lon0, 1.0);
  PathBuilder path(stand.latitude, stand.longitude, field, 1.0 * radToDeg, 0.0, true);
  path.stand(40);
  world.schedule(0x484008, "AFR8", "A320", path.points(), ReportPlan{});
  world.run(12000);
  const LiveAc* ac = world.aircraft(0x484008);
  ASSERT_NE(ac, nullptr);
  EXPECT_EQ(ac->flightState, FlightState::parked);
  EXPECT_EQ(ac->pathExtensionCount, 1) << "one sample a week ahead";
  EXPECT_EQ(stand.occupied, 1) << "the week on the stand keeps the stand taken";
  engineCycle.store(engineCycle.load() + 6 * 8640000);
  world.run(300);
  EXPECT_NE(world.aircraft(0x484008), nullptr) << "still there after six days";
  EXPECT_EQ(stand.occupied, 1);
  engineCycle.store(engineCycle.load() + 8640000 + 10000);
  world.runUntil([&] { return world.log(0x484008).removed; }, 2000);
  EXPECT_TRUE(world.log(0x484008).removed);
}

TEST_F(Movement, ALiveryRespawnReplacesTheObjectWhereTheAircraftIs) {
  const LatLon from{lat0 + 0.4, lon0 - 0.4};
  PathBuilder path(from.lat, from.lon, 9000.0, 120.0, 260.0, false);
  path.leg(240, 260, 7000.0, 40.0);
  world.schedule(0x484009, "KLM88", "B738", path.points(), ReportPlan{});
  world.runUntil([&] { return world.log(0x484009).cycles > 3000; }, 20000);
  LiveAc* ac = gf_findLiveAc(0x484009);
  ASSERT_NE(ac, nullptr);
  const PositionUpdateRecord before = world.log(0x484009).lastSent;
  const std::uint32_t firstObject = ac->objectId;
  liveryRespawn(*ac);
  world.runUntil([&] {
    const LiveAc* a = world.aircraft(0x484009);
    return a != nullptr && a->simState == SimState::active && a->objectId != firstObject;
  }, 3000);
  world.run(5);
  const FlightLog& log = world.log(0x484009);
  EXPECT_TRUE(log.phasesInOrder({"flying", "liveryrespawn", "adding2sim", "flying"})) << lf_phases(log);
  const double seconds = (log.cycles > 0 ? 1.0 : 0.0) * 5.0 + 2.5 + 0.5;  // creation, activation, answers
  EXPECT_LE(gf_distanceNm({before.latitude, before.longitude}, {log.lastSent.latitude, log.lastSent.longitude}),
            (seconds + 2.0) * 260.0 / 3600.0 * 1.5)
      << "the new object appears where the old one was";
  EXPECT_NEAR(std::remainder(log.lastSent.heading - before.heading, 2.0 * 3.141592653589793), 0.0, 0.2);
  world.run(6000);
  expectRealistic(log);
}

}  // namespace
