// The thresholds of the movement one step at a time, on both sides of each bound: flare stages,
// pitch and sink targets, the approach and low-level configuration, the re-timing windows, the
// take-off decision and the ground-roll throttle, the end of a path and the ground rules.
#include <gtest/gtest.h>

#include <cmath>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/engine_harness.hpp"
#include "engine/movement.hpp"
#include "engine/movement/movement_steps.hpp"
#include "engine/movement_world.hpp"
#include "engine/removal_rules.hpp"
#include "foundation/geodesy.hpp"
#include "parking/apf_state.hpp"
#include "records/category_tables.hpp"
#include "records/engine_cycle.hpp"
#include "simlink/sim_queues.hpp"
#include "traffic/qnh.hpp"

using namespace wdrx::testing;

namespace {

constexpr double lat0 = 52.30, lon0 = 4.76;  // the park airport
constexpr double field = 100.0;
constexpr double feetPerNm = 6076.11549;

class MovementBounds : public ::testing::Test {
 protected:
  void SetUp() override { setParkAirport(lat0, lon0, field); }
  void TearDown() override { clearParkAirport(); }

  // An aircraft in the air at a distance north of the park airport, heading for the next
  // sample 1000 cycles ahead.
  LiveAc& inTheAir(const char* model, double nmNorth, double altitude, double frontVs, double nextVs = 0.0) {
    gf_clearAcTables();
    const LatLon at = gf_destinationPoint({lat0, lon0}, 0.0, nmNorth * feetPerNm);
    LiveAc& ac = addLiveAc(0x400001, "KLM1", model, SimState::active, 2001, at.lat, at.lon, altitude);
    ac.samples.clear();
    const std::int64_t now = engineCycle.load();
    ac.samples.push_back(sampleAt(at.lat, at.lon, altitude, 140.0, now));
    ac.samples.push_back(sampleAt(at.lat + 0.01, at.lon, altitude, 140.0, now + 1000));
    ac.samples[0].verticalSpeed = frontVs;
    ac.samples[1].verticalSpeed = nextVs;
    ac.climbLimit = gf_categoryValues(ac.category).climbLimit;
    return ac;
  }

  EngineHarness h;
};

TEST_F(MovementBounds, TheFlareStagesChangeAtTheirHeights) {
  struct Case {
    const char* name;
    int stage;
    double height;       // above the ground
    double aboveField;   // altitude above the park airport
    bool airport;
    int stageAfter;
    double rate;  // ft per cycle after the step (0: unchanged)
  };
  // Static height 8 ft: the stages begin at 38, 28, 18 and 11 ft above the ground.
  const Case cases[] = {
      {"Stage0Above", 0, 38.5, 38.5, true, 0, 0.0},
      {"Stage0At", 0, 38.0, 38.0, true, 1, -0.1},
      {"Stage0ByTheFieldAltitude", 0, 300.0, 30.0, true, 1, -0.1},
      {"Stage0HighAboveGround", 0, 400.5, 30.0, true, 0, 0.0},
      {"Stage0NoAirportUsesTheHeight", 0, 300.0, 30.0, false, 0, 0.0},
      {"Stage1Above", 1, 28.5, 28.5, true, 1, 0.0},
      {"Stage1At", 1, 28.0, 28.0, true, 2, -0.075},
      {"Stage2Above", 2, 18.5, 18.5, true, 2, 0.0},
      {"Stage2At", 2, 18.0, 18.0, true, 3, -0.05},
      {"Stage3Above", 3, 11.5, 11.5, true, 3, 0.0},
      {"Stage3At", 3, 11.0, 11.0, true, 4, -0.025},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    learnedDirty.store(c.airport);
    LiveAc& ac = inTheAir("B738", 2.0, field + c.aboveField, -700.0);
    ac.approach = 1;
    ac.staticHeight = 8.0;
    ac.heightAboveGround = c.height;
    ac.flareStage = c.stage;
    ac.altitudeRate = 0.0;
    lf_followCurve(ac);
    EXPECT_EQ(ac.flareStage, c.stageAfter);
    EXPECT_DOUBLE_EQ(ac.altitudeRate, c.rate);
    if (c.stageAfter == 3 && c.stage == 2) {
      EXPECT_EQ(ac.lastThrottle, 0u) << "idle from 10 ft";
    }
  }
}

TEST_F(MovementBounds, PitchFollowsTheVerticalSpeedAndSinkRatesTheQnh) {
  // Target pitch: 3 degrees nose up in level flight, 2.2 more per 600 ft/min climb, half of
  // that per 600 ft/min descent; bounded at 2400 up and 3000 down.
  const struct {
    double nextVs;
    double targetDeg;
  } pitches[] = {{0.0, -3.0}, {600.0, -5.2}, {2400.0, -11.8}, {3000.0, -11.8},
                 {-600.0, -1.9}, {-3000.0, 2.5}, {-6000.0, 2.5}};
  for (const auto& p : pitches) {
    SCOPED_TRACE(p.nextVs);
    LiveAc& ac = inTheAir("B738", 40.0, 20000.0, 0.0, p.nextVs);
    ac.pitch = 0.0;
    lf_airborneStep(ac, 1'000'000);
    EXPECT_NEAR(ac.pitchRate * 1'000'000 * radToDeg, p.targetDeg, 1e-6);
  }

  // The default sink rate: -600 at 100 ft and below; else the mean of the two samples less
  // 6 ft/min per hPa above standard, at least 601 ft/min down.
  const struct {
    double height, frontVs, nextVs;
    std::int32_t qnh;
    double rate;
  } sinks[] = {{100.0, -1000.0, -1000.0, 1013, -600.0},
               {101.0, -800.0, -1000.0, 1013, -898.5},
               {101.0, -800.0, -1000.0, 1023, -958.5},
               {101.0, -800.0, -1000.0, 1003, -838.5},
               {101.0, 0.0, 0.0, 1013, -601.0}};
  for (const auto& s : sinks) {
    SCOPED_TRACE(s.height + s.qnh);
    LiveAc& ac = inTheAir("B738", 40.0, 3000.0, s.frontVs, s.nextVs);
    ac.heightAboveGround = s.height;
    qnhHpa.store(s.qnh);
    EXPECT_NEAR(lf_descentRate(ac), s.rate, 1e-9);
  }
  qnhHpa.store(1013);
}

TEST_F(MovementBounds, ClimbsNeverExceedTheClimbLimit) {
  // Ground samples climbing fast (no airborne sample to skip to), and a climb toward the field
  // from below it: the altitude rate stays within the category's climb limit.
  LiveAc& ac = inTheAir("C172", 40.0, 3000.0, 4000.0, 4000.0);
  ac.samples[0].altitude = ac.samples[1].altitude = 0.0;
  ac.samples[0].airborne = ac.samples[1].airborne = 0;
  lf_airborneStep(ac, 500);
  EXPECT_LE(ac.altitudeRate, ac.climbLimit);
  EXPECT_GT(ac.altitudeRate, 0.0);

  parkAirportElevation = 2000.0;
  LiveAc& low = inTheAir("C172", 2.0, 1500.0, -700.0);
  low.samples[1].altitude = 0.0;
  low.samples[1].airborne = 0;
  lf_airborneStep(low, 100);
  EXPECT_LE(low.altitudeRate, low.climbLimit);
  EXPECT_GT(low.altitudeRate, 0.0);
  parkAirportElevation = field;
}

TEST_F(MovementBounds, TheApproachAndTheLowLevelConfigurationKeepTheirBounds) {
  struct Case {
    const char* name;
    const char* model;
    double height;
    double nmOut;  // from the park airport
    double frontVs;
    std::uint8_t approach;
    std::uint32_t throttle, flaps;  // last sent before
    std::uint8_t approachAfter, goAroundAfter;
    std::uint32_t throttleAfter, flapsAfter;
  };
  const Case cases[] = {
      // Approach: 250 ft/min down within 10 nm, below 2050 ft (jets) or 625 ft (others).
      {"JetApproaches", "B738", 2050.0, 9.9, -250.0, 0, 3, 0, 1, 0, 1, 3},
      {"JetTooHigh", "B738", 2051.0, 9.9, -250.0, 0, 3, 0, 0, 0, 2, 1},
      {"NotSinking", "B738", 1500.0, 9.9, -249.0, 0, 3, 0, 0, 0, 3, 0},
      {"TooFar", "B738", 1500.0, 10.1, -500.0, 0, 3, 0, 0, 0, 3, 0},
      {"LightApproaches", "C172", 625.0, 5.0, -300.0, 0, 3, 0, 1, 0, 1, 3},
      {"LightTooHigh", "C172", 626.0, 5.0, -300.0, 0, 3, 0, 0, 0, 2, 1},
      // Go-around: climbing above 600 ft/min, or level on approach away from the airport.
      {"StaysOnApproachNear", "B738", 1500.0, 5.0, 600.0, 1, 1, 3, 1, 0, 1, 3},
      {"GoesAroundClimbing", "B738", 1500.0, 5.0, 601.0, 1, 1, 3, 0, 1, 4, 0},
      {"GoesAroundFarOut", "B738", 1500.0, 10.5, 0.0, 1, 1, 3, 0, 1, 4, 0},
      // Low-level configuration: gear and flaps by height, power by vertical speed.
      {"FlapsUpAt2400", "B738", 2400.0, 30.0, 0.0, 0, 3, 2, 0, 0, 3, 0},
      {"FirstFlapsBelow2400", "B738", 2399.0, 30.0, 100.0, 0, 3, 0, 0, 0, 3, 1},
      {"NoFlapsClimbing", "B738", 2399.0, 30.0, 101.0, 0, 3, 0, 0, 0, 3, 0},
      {"OnlyFirstFlapsAt2000", "C172", 2000.0, 30.0, 0.0, 0, 3, 1, 0, 0, 3, 1},
      {"SecondFlapsBelow2000", "C172", 1999.0, 30.0, 0.0, 0, 3, 1, 0, 0, 3, 2},
      {"DescentPower", "B738", 3000.0, 30.0, -250.0, 0, 3, 0, 0, 0, 2, 0},
      {"ClimbPower", "B738", 3000.0, 30.0, 401.0, 0, 4, 0, 0, 0, 3, 0},
      {"FullPowerKeptAt400", "B738", 3000.0, 30.0, 400.0, 0, 4, 0, 0, 0, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LiveAc& ac = inTheAir(c.model, c.nmOut, field + c.height, c.frontVs);
    ac.heightAboveGround = c.height;
    ac.approach = c.approach;
    ac.lastThrottle = c.throttle;
    ac.lastFlaps = c.flaps;
    lf_lowLevelConfig(ac);
    EXPECT_EQ(ac.approach, c.approachAfter);
    EXPECT_EQ(ac.goAround, c.goAroundAfter);
    EXPECT_EQ(ac.lastThrottle, c.throttleAfter);
    EXPECT_EQ(ac.lastFlaps, c.flapsAfter);
  }

  // Cruise configuration from 10,000 ft of the front sample on.
  for (const double altitude : {9999.0, 10000.0}) {
    LiveAc& ac = inTheAir("B738", 40.0, altitude, 0.0);
    lf_airborneStep(ac, 1000);
    EXPECT_EQ(ac.cruiseConfig, altitude >= 10000.0 ? 1 : 0) << altitude;
    EXPECT_EQ(ac.lowLevelConfig, altitude >= 10000.0 ? 0 : 1) << altitude;
  }
}

TEST_F(MovementBounds, TheNextSampleIsRetimedWithinItsWindows) {
  struct Case {
    const char* name;
    std::int64_t cycles;     // asked for
    std::int64_t reported;   // the next sample's due cycle, from now
    std::int32_t extension;  // path-extension count
    std::int64_t due;        // from now
  };
  // Early window 1000, late window 3000.
  const Case cases[] = {
      {"Inside", 4000, 2000, 0, 4000},
      {"LateBound", 5001, 2000, 0, 5000},
      {"EarlyBound", 100, 2000, 0, 1000},
      {"ExtendedIsNotBounded", 9000, 2000, 1, 9000},
      {"NeverBeforeNow", 25, -5000, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LiveAc& ac = inTheAir("B738", 40.0, 20000.0, 0.0);
    const std::int64_t now = engineCycle.load();
    ac.samples[1].dueCycle = now + c.reported;
    ac.earlyWindow = 1000;
    ac.lateWindow = 3000;
    ac.pathExtensionCount = c.extension;
    lf_setNextDue(ac, c.cycles);
    EXPECT_EQ(ac.samples[1].dueCycle - now, c.due);
  }
  // A leg is never shorter than 25 cycles.
  LiveAc& ac = inTheAir("B738", 40.0, 20000.0, 0.0);
  ac.samples[1].latitude = ac.samples[0].latitude + 1e-6;
  ac.samples[1].dueCycle = engineCycle.load() + 10;
  lf_timeNextSample(ac);
  EXPECT_EQ(ac.samples[1].dueCycle - engineCycle.load(), 25);
}

TEST_F(MovementBounds, AnAircraftInTheAirDropsGroundSamplesAndTurnsByItsReportedHeading) {
  for (const char* model : {"B738", "EC35"}) {
    SCOPED_TRACE(model);
    LiveAc& ac = inTheAir(model, 40.0, 1500.0, 0.0);
    PositionSample ground = ac.samples[1];
    ground.onGroundMark = 1;
    ac.samples.insert(ac.samples.begin() + 1, ground);
    nextPosMain(ac);
    EXPECT_EQ(ac.samples.size(), std::string(model) == "EC35" ? 2u : 1u) << "a helicopter keeps its ground samples";
  }

  // A reported true heading leads below 1000 ft above the ground (2000 on approach).
  struct Case {
    double height;
    std::uint8_t approach;
    bool byReport;
  };
  for (const Case& c : {Case{999.0, 0, true}, Case{1000.0, 0, false}, Case{1999.0, 1, true}, Case{2000.0, 1, false}}) {
    SCOPED_TRACE(c.height);
    LiveAc& ac = inTheAir("B738", 40.0, field + c.height, 0.0);
    ac.heightAboveGround = c.height;
    ac.approach = c.approach;
    ac.heading = 1.0;
    PositionSample& next = ac.samples[1];
    next.reportFlag = 1;
    next.roll = 0.0;
    next.trueHeading = 1.2;
    lf_airborneStep(ac, 1000);
    EXPECT_NEAR(ac.headingRate * 1000, c.byReport ? 0.2 : 0.0, 1e-9);
  }
}

TEST_F(MovementBounds, TheTakeOffStartsOnlyWhenTheRollSaysSo) {
  struct After {
    double groundSpeed, verticalSpeed;
    bool airborne;
  };
  struct Case {
    const char* name;
    double frontSpeed;
    After next;
    bool takesOff;
  };
  // Large: rotation at 140 knots.
  const Case cases[] = {
      {"TooSlow", 42.9, {150.0, 1000.0, true}, false},
      {"Climbing", 43.0, {150.0, 1000.0, true}, true},
      {"ShallowBelowRotation", 100.0, {139.9, 256.0, true}, false},
      {"ShallowAtRotation", 100.0, {140.0, 256.0, true}, true},
      {"ShallowStillOnTheGround", 100.0, {150.0, 0.0, false}, false},
      {"ClimbingStillOnTheGround", 100.0, {150.0, 257.0, false}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0.0);
    ac.altitude = field + 8.0;
    ac.climbOut = 1;
    ac.climbLimit = gf_categoryValues(ac.category).climbLimit;
    ac.samples.clear();
    const std::int64_t now = engineCycle.load();
    ac.samples.push_back(sampleAt(lat0, lon0, 0.0, c.frontSpeed, now));
    PositionSample next = sampleAt(lat0 + 0.01, lon0, c.next.airborne ? field + 200.0 : 0.0, c.next.groundSpeed, now + 500);
    next.verticalSpeed = c.next.verticalSpeed;
    ac.samples.push_back(next);
    lf_groundRollStep(ac);
    EXPECT_EQ(ac.flightState == FlightState::take_off, c.takesOff);
    if (c.takesOff) {
      EXPECT_LE(ac.altitudeRate, ac.climbLimit);
    }
  }
}

TEST_F(MovementBounds, TheGroundRollSetsPowerAndLeavesTheRunway) {
  struct Case {
    const char* name;
    std::uint8_t climbOut, landingRoll;
    double frontSpeed, nextSpeed;
    double offTouchdownDeg;  // heading off the touchdown heading
    std::uint32_t throttle;  // last throttle after
    std::uint32_t flaps;     // last flaps after (4: none sent)
    std::uint8_t landingRollAfter;
  };
  const Case cases[] = {
      {"RollFrontFast", 1, 0, 25.0, 0.0, 0.0, 4, 4, 0},
      {"RollNextFast", 1, 0, 0.0, 30.0, 0.0, 4, 4, 0},
      {"RollFrontMedium", 1, 0, 24.9, 29.9, 0.0, 2, 4, 0},
      {"RollNextMedium", 1, 0, 0.0, 25.0, 0.0, 2, 4, 0},
      {"RollFrontSlow", 1, 0, 19.9, 24.9, 0.0, 1, 4, 0},
      {"RollNextSlow", 1, 0, 0.0, 20.0, 0.0, 1, 4, 0},
      {"RollIdle", 1, 0, 14.9, 19.9, 0.0, 0, 4, 0},
      {"LandingFastOnTheRunway", 0, 1, 90.1, 80.0, 14.9, 5, 4, 1},
      {"LandingSlowOnTheRunway", 0, 1, 90.0, 80.0, 14.9, 5, 1, 1},
      {"LandingOffTheRunway", 0, 1, 100.0, 80.0, 15.001, 0, 0, 0},
      {"Taxi", 0, 0, 15.0, 15.0, 0.0, 0, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0.0);
    ac.climbOut = c.climbOut;
    ac.landingRoll = c.landingRoll;
    ac.touchdownHeading = 1.0;
    ac.heading = 1.0 + c.offTouchdownDeg * degToRad;
    ac.samples.clear();
    const std::int64_t now = engineCycle.load();
    ac.samples.push_back(sampleAt(lat0, lon0, 0.0, c.frontSpeed, now));
    ac.samples.push_back(sampleAt(lat0 + 0.001, lon0, 0.0, c.nextSpeed, now + 500));
    lf_groundRollStep(ac);
    EXPECT_EQ(ac.lastThrottle, c.throttle);
    EXPECT_EQ(ac.lastFlaps, c.flaps);
    EXPECT_EQ(ac.landingRoll, c.landingRollAfter);
  }
}

TEST_F(MovementBounds, AtTheEndOfItsSamplesAnAircraftHoldsExtendsOrGoes) {
  struct Case {
    const char* name;
    FlightState state;
    bool inTheAir;
    std::int32_t extension;
    std::int64_t holdingFor;  // cycles; -1: not holding
    std::function<void(LiveAc&)> setUp;
    bool extended;
    std::int32_t extensionAfter;
  };
  const auto otherTaxiing = [](double spans) {
    return [spans](LiveAc& ac) {
      const LatLon at = gf_destinationPoint({ac.latitude, ac.longitude}, 0.0, spans * 2.0 * lf_span(ac) * feetPerNm);
      LiveAc& other = addLiveAc(0x400002, "DLH2", "B738", SimState::active, 2002, at.lat, at.lon, 0.0);
      other.flightState = FlightState::taxi;
    };
  };
  // The user aircraft this far north of the aircraft (the range is 40 nm).
  const auto userNorth = [](double nm) {
    return [nm](LiveAc& ac) {
      const LatLon user = gf_destinationPoint({ac.latitude, ac.longitude}, 0.0, nm * feetPerNm);
      userPosition.latitude = user.lat;
      userPosition.longitude = user.lon;
    };
  };
  const Case cases[] = {
      {"TaxiHolds", FlightState::taxi, false, 0, -1, nullptr, true, 1},
      {"HoldsTwentyMinutes", FlightState::taxi, false, 1, 21 * 6000 - 1, nullptr, true, 1},
      {"HeldTooLong", FlightState::taxi, false, 1, 21 * 6000, nullptr, false, 1},
      {"AirborneOnlyEndsTheHold", FlightState::pushed_back, false, 1, 100,
       [](LiveAc&) { AIRBORNE_ONLY.value.store(true); }, false, 1},
      {"TaxiingTrafficClose", FlightState::taxi, false, 0, -1, otherTaxiing(1.15), false, 0},
      {"TaxiingTrafficFarEnough", FlightState::taxi, false, 0, -1, otherTaxiing(1.25), true, 1},
      {"TakeOffRollExtends", FlightState::taxi, false, 0, -1, [](LiveAc& ac) { ac.climbOut = 1; }, true, 10},
      {"ParkedForAWeek", FlightState::parked, false, 0, -1, nullptr, true, 1},
      {"LastStepEnds", FlightState::flying, true, 1, -1, nullptr, false, -1},
      {"Finished", FlightState::flying, true, -1, -1, nullptr, false, -1},
      {"NextStep", FlightState::flying, true, 3, -1, nullptr, true, 2},
      {"InTheAir", FlightState::flying, true, 0, -1, nullptr, true, 8},
      {"OtherCategoryOff", FlightState::flying, true, 0, -1, [](LiveAc&) { HIGH_PERF_AIRCRAFT.value.store(false); }, true, 8},
      {"InsideTheRange", FlightState::flying, true, 0, -1, userNorth(39.45), true, 8},
      {"AtTheRangeEdge", FlightState::flying, true, 0, -1, userNorth(39.55), false, 0},
      {"AirborneOnlyHighEnough", FlightState::flying, true, 0, -1,
       [](LiveAc& ac) {
         AIRBORNE_ONLY.value.store(true);
         ac.altitude = field + 1000.0;
       },
       true, 8},
      {"AirborneOnlyTooLow", FlightState::flying, true, 0, -1,
       [](LiveAc& ac) {
         AIRBORNE_ONLY.value.store(true);
         ac.altitude = field + 999.0;
       },
       false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    AIRBORNE_ONLY.value.store(false);
    userPosition = UserAircraftState{};
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0 + 0.05, lon0, c.inTheAir ? 5000.0 : 0.0);
    ac.flightState = c.state;
    ac.pathExtensionCount = c.extension;
    ac.samples.front().dueCycle = engineCycle.load();
    if (c.holdingFor >= 0) {
      ac.holding = 1;
      ac.holdStart = static_cast<std::int32_t>(engineCycle.load() - c.holdingFor);
    }
    if (c.setUp) c.setUp(ac);
    EXPECT_EQ(lf_endOfSamples(ac), c.extended);
    EXPECT_EQ(ac.pathExtensionCount, c.extensionAfter);
    if (c.extended) {
      EXPECT_EQ(ac.samples.size(), 2u);
    }
  }
  AIRBORNE_ONLY.value.store(false);
  HIGH_PERF_AIRCRAFT.value.store(true);
  // A category switched off ends at once (a HighPerf model of the harness).
  gf_clearAcTables();
  HIGH_PERF_AIRCRAFT.value.store(false);
  LiveAc& fighter = addLiveAc(0x400003, "VIPER1", "F16", SimState::active, 2003, lat0 + 0.05, lon0, 5000.0);
  EXPECT_FALSE(lf_endOfSamples(fighter));
  HIGH_PERF_AIRCRAFT.value.store(true);
}

TEST_F(MovementBounds, DeadReckoningKeepsItsSpeedsAndSteps) {
  struct Case {
    const char* name;
    bool inTheAir;
    std::uint8_t approach, climbOut, landingRoll;
    std::int32_t steps;
    double speed;       // front ground speed
    double speedAfter;  // of the new sample
    double verticalSpeedAfter;
    std::int64_t dueAfter;  // cycles after the front's
  };
  const Case cases[] = {
      {"Cruise", true, 0, 0, 0, 8, 200.0, 190.0, 0.0, 800},
      {"ApproachEarly", true, 1, 0, 0, 4, 200.0, 180.0, -667.0, 800},
      {"ApproachLate", true, 1, 0, 0, 3, 200.0, 200.0, -667.0, 800},
      {"Roll30", false, 0, 1, 0, 10, 30.0, 40.0, 0.0, 300},
      {"Roll31", false, 0, 1, 0, 10, 31.0, 80.0, 0.0, 300},
      {"Roll100", false, 0, 1, 0, 10, 100.0, 110.0, 0.0, 300},
      {"Roll140", false, 0, 1, 0, 10, 140.0, 150.0, 600.0, 300},
      {"Roll160", false, 0, 1, 0, 10, 160.0, 170.0, 1200.0, 300},
      {"Roll161", false, 0, 1, 0, 10, 161.0, 180.0, 2400.0, 300},
      {"Landing140", false, 0, 0, 1, 10, 140.0, 100.0, 0.0, 300},
      {"Landing139", false, 0, 0, 1, 10, 139.0, 80.0, 0.0, 300},
      {"Landing80", false, 0, 0, 1, 10, 80.0, 60.0, 0.0, 300},
      {"Landing60", false, 0, 0, 1, 10, 60.0, 30.0, 0.0, 300},
      {"Landing59", false, 0, 0, 1, 10, 59.0, 20.0, 0.0, 300},
      {"Taxi", false, 0, 0, 0, 10, 15.0, 0.0, 0.0, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, c.inTheAir ? 5000.0 : 0.0);
    ac.heading = 0.0;
    ac.approach = c.approach;
    ac.climbOut = c.climbOut;
    ac.landingRoll = c.landingRoll;
    PositionSample& front = ac.samples.front();
    front.groundSpeed = c.speed;
    lf_extendPath(ac, c.steps);
    ASSERT_EQ(ac.samples.size(), 2u);
    const PositionSample& added = ac.samples.back();
    EXPECT_DOUBLE_EQ(added.groundSpeed, c.speedAfter);
    EXPECT_DOUBLE_EQ(added.verticalSpeed, c.verticalSpeedAfter);
    EXPECT_EQ(added.dueCycle - ac.samples.front().dueCycle, c.dueAfter);
    const double seconds = static_cast<double>(c.dueAfter) / 100.0;
    EXPECT_NEAR(gf_distanceNm({lat0, lon0}, {added.latitude, added.longitude}), c.speedAfter * seconds / 3600.0, 1e-6);
    EXPECT_EQ(added.onGroundMark, c.speedAfter > 0.0 ? 0 : 1);
    if (c.approach != 0) {
      EXPECT_NEAR(added.altitude, 5000.0 - seconds * 10.005, 1e-9);
    }
  }
}

TEST_F(MovementBounds, AtTheEndOfATaxiItTakesAStandNearby) {
  addStand("E1", lat0, lon0, 0.0);
  struct Case {
    const char* name;
    double metresToGo;      // from the aircraft to its last sample
    double standOffMetres;  // from the last sample to the stand
    double nextSpeed;
    FlightState before;     // previous flight state
    std::uint8_t shortTurnaround;
    std::int32_t extension;
    std::uint8_t touchdownSeen;
    bool parks;
  };
  const Case cases[] = {
      {"AfterLanding", 34.0, 19.0, 5.0, FlightState::flying, 0, 0, 0, true},
      {"TooFarToGo", 36.0, 0.0, 5.0, FlightState::flying, 0, 0, 0, false},
      {"StillMoving", 10.0, 0.0, 5.1, FlightState::flying, 0, 0, 0, false},
      {"StandTooFar", 10.0, 21.0, 5.0, FlightState::flying, 0, 0, 0, false},
      {"LeftItsStand", 10.0, 0.0, 5.0, FlightState::pushed_back, 0, 0, 0, false},
      {"TowedBack", 10.0, 0.0, 5.0, FlightState::pushed_back, 1, 0, 0, true},
      {"ExtendedAfterLandingWide", 100.0, 50.0, 20.0, FlightState::flying, 0, 2, 1, true},
      {"ExtendedNarrow", 100.0, 50.0, 20.0, FlightState::flying, 0, 2, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    standTable[0].occupied = 0;
    const LatLon last = gf_destinationPoint({lat0, lon0}, 0.0, c.standOffMetres / 0.3048);
    const LatLon from = gf_destinationPoint(last, 0.0, c.metresToGo / 0.3048);
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, from.lat, from.lon, 0.0);
    ac.heading = 0.0;
    ac.previousFlightState = c.before;
    ac.shortTurnaround = c.shortTurnaround;
    ac.pathExtensionCount = c.extension;
    ac.touchdownSeen = c.touchdownSeen;
    ac.samples.clear();
    const std::int64_t now = engineCycle.load();
    ac.samples.push_back(sampleAt(from.lat, from.lon, 0.0, 5.0, now));
    PositionSample end = sampleAt(last.lat, last.lon, 0.0, c.nextSpeed, now + 300);
    end.onGroundMark = 1;
    ac.samples.push_back(end);
    nextPosGround(ac);
    EXPECT_EQ(ac.flightState == FlightState::parking, c.parks);
    if (!c.parks) continue;
    EXPECT_EQ(ac.standId, 1);
    // The drive onto the stand takes at least a second, then it stands.
    ASSERT_EQ(ac.samples.size(), 3u);
    const std::int64_t start = std::max(ac.samples[0].dueCycle, now);
    EXPECT_GE(ac.samples[1].dueCycle - start, 100);
    EXPECT_EQ(ac.samples[2].dueCycle - ac.samples[1].dueCycle, 50);
  }

  // A stand shorter than a second's drive away still takes the second.
  gf_clearAcTables();
  standTable[0].occupied = 0;
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0 + 1e-5, lon0, 0.0);
  ac.heading = 0.0;
  ac.samples.front().dueCycle = engineCycle.load();
  drive2Stand(ac, StandPosition{lat0, lon0, 0.0});
  EXPECT_EQ(ac.samples[1].dueCycle - engineCycle.load(), 100);

  // The user's stand is never taken, and a path ending where it ended before is not searched.
  gf_clearAcTables();
  LiveAc& user = addLiveAc(0x400002, "KLM2", "B738", SimState::active, 2002, lat0 + 1e-4, lon0, 0.0);
  user.samples.front().latitude = lat0;
  user.samples.front().longitude = lon0;
  userPosition.latitude = lat0;
  userPosition.longitude = lon0;
  EXPECT_FALSE(try2Park(user, true)) << "the stand under the user aircraft";
  userPosition = UserAircraftState{};
  EXPECT_FALSE(try2Park(user, true)) << "the same last position again";
  user.samples.front().latitude = lat0 + 1e-7;
  EXPECT_TRUE(try2Park(user, true));
}

TEST_F(MovementBounds, TaxiLegsCurveSlowOrAlignByTheirTurn) {
  struct Case {
    const char* name;
    double turnDeg;      // of the leg after next, from the heading
    double metres;       // front to next
    double frontSpeed;
    std::int64_t span;   // next due - front due
    std::size_t samples;  // after the step (a curve takes the next sample)
    bool curve;
  };
  const Case cases[] = {
      {"Straight", 2.9, 60.0, 20.0, 600, 3, false},
      {"SlightTurn", 3.5, 60.0, 20.0, 600, 2, true},
      {"SharpTurnSlowsDown", 90.0, 60.0, 43.0, 600, 4, false},
      {"SharpTurnFast", 90.0, 60.0, 43.5, 600, 2, true},
      {"SharpTurnShortLeg", 90.0, 49.0, 20.0, 600, 2, true},
      {"SharpTurnQuickLeg", 90.0, 60.0, 20.0, 599, 2, true},
      {"LastCurve", 159.9, 60.0, 20.0, 599, 2, true},
      {"TurningBack", 160.1, 60.0, 20.0, 599, 3, false},
      {"TurningBackSlowly", 170.0, 60.0, 20.0, 600, 4, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0.0);
    ac.heading = 0.0;
    ac.legTrack = 0.0;
    ac.samples.clear();
    const std::int64_t now = engineCycle.load();
    const LatLon next = gf_destinationPoint({lat0, lon0}, 0.0, c.metres / 0.3048);
    const LatLon after = gf_destinationPoint(next, c.turnDeg * degToRad, 60.0 / 0.3048);
    ac.samples.push_back(sampleAt(lat0, lon0, 0.0, c.frontSpeed, now));
    ac.samples.push_back(sampleAt(next.lat, next.lon, 0.0, c.frontSpeed, now + c.span));
    ac.samples.push_back(sampleAt(after.lat, after.lon, 0.0, c.frontSpeed, now + c.span + 600));
    nextPosGround(ac);
    EXPECT_EQ(ac.samples.size(), c.samples);
    EXPECT_EQ(ac.curve.present(), c.curve);
  }

  // Without a curve the nose aligns with a track more than 3 degrees off; a speed change of
  // more than 5 knots over 100 m or more gets a sample in between.
  struct Straight {
    const char* name;
    double trackOffDeg, nextSpeed, metres;
    std::uint8_t align;
    std::size_t samples;
  };
  const Straight straights[] = {{"OnTrack", 2.9, 10.0, 120.0, 0, 2},
                                {"OffTrack", 3.1, 10.0, 120.0, 1, 2},
                                {"SpeedChange", 0.0, 15.1, 100.5, 0, 3},
                                {"SmallSpeedChange", 0.0, 15.0, 120.0, 0, 2},
                                {"ShortLeg", 0.0, 15.1, 99.5, 0, 2}};
  for (const Straight& c : straights) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0.0);
    ac.heading = 0.0;
    ac.legTrack = c.trackOffDeg * degToRad;
    ac.samples.clear();
    const LatLon next = gf_destinationPoint({lat0, lon0}, 0.0, c.metres / 0.3048);
    ac.samples.push_back(sampleAt(lat0, lon0, 0.0, 10.0, engineCycle.load()));
    ac.samples.push_back(sampleAt(next.lat, next.lon, 0.0, c.nextSpeed, engineCycle.load() + 1500));
    nextPosGround(ac);
    EXPECT_EQ(ac.alignToTrack, c.align);
    EXPECT_EQ(ac.samples.size(), c.samples);
  }
}

TEST_F(MovementBounds, AParkedAircraftLeavesForwardOrBackward) {
  Stand& stand = addStand("L1", lat0, lon0, 0.0);
  stand.radius = 30.0 / 1852.0;
  for (const double bearingDeg : {89.4, 89.6, -89.4, -89.6}) {
    SCOPED_TRACE(bearingDeg);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0.0);
    ac.flightState = FlightState::parked;
    ac.standId = 1;
    ac.standLatitude = lat0;
    ac.standLongitude = lon0;
    ac.parkedReport = 1;
    const LatLon off = gf_destinationPoint({lat0, lon0}, bearingDeg * degToRad, 200.0);
    ac.samples.push_back(sampleAt(off.lat, off.lon, 0.0, 5.0, engineCycle.load() + 500));
    nextPosGround(ac);
    const bool forward = std::fabs(bearingDeg) < 89.5;
    EXPECT_EQ(ac.flightState, forward ? FlightState::taxi : FlightState::pushing_back);
    if (!forward) {
      // Pushed 2.5 stand radii straight back before the tail swings round.
      ASSERT_GE(ac.samples.size(), 3u);
      EXPECT_NEAR(gf_distanceNm({lat0, lon0}, {ac.samples[2].latitude, ac.samples[2].longitude}), 2.5 * stand.radius, 1e-7);
    }
  }
}

TEST_F(MovementBounds, OnlyAnAircraftCrossingTheUsersPathNearbyIsRemoved) {
  h.setUser(lat0, lon0, 3000.0, false);
  struct Case {
    const char* name;
    int variant;
    double nm;         // north of the user
    double aboveUser;  // feet
    double lineFeet;   // off the line through the user along the aircraft's heading
    bool away;         // heading away from the user (else toward it)
    bool removed;
  };
  const Case cases[] = {
      {"Near", 0, 3.99, 999.0, 690.0, true, true},
      {"TooFar", 0, 4.01, 0.0, 0.0, true, false},
      {"TooHigh", 0, 3.0, 1000.0, 0.0, true, false},
      {"OffTheLine", 0, 3.0, 0.0, 710.0, true, false},
      {"HeadingAtTheUser", 0, 3.0, 0.0, 0.0, false, false},
      {"WideNear", 1, 5.99, -2999.0, 3990.0, true, true},
      {"WideTooFar", 1, 6.01, 0.0, 0.0, true, false},
      {"WideTooLow", 1, 5.0, -3000.0, 0.0, true, false},
      {"WideOffTheLine", 1, 5.0, 0.0, 4010.0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    const LatLon at = gf_destinationPoint({lat0, lon0}, 0.0, c.nm * feetPerNm);
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, at.lat, at.lon, 3000.0 + c.aboveUser);
    const double off = std::asin(c.lineFeet / (gf_distanceNm({lat0, lon0}, at) * feetPerNm));
    ac.heading = lf_normalize2Pi(gf_bearing({lat0, lon0}, at) + (c.away ? off : 3.141592653589793 - off));
    EXPECT_EQ(gf_removeIfNearUser(ac, c.variant), c.removed);
    EXPECT_EQ(ac.simState == SimState::removingfromsim, c.removed);
  }
}

TEST_F(MovementBounds, GroundTurnsAndCurvesKeepTheirRates) {
  // A gentle turn on a long slow leg turns slower than the category can; above 45 degrees it
  // turns at the category's rate, and from 90 degrees the windows widen.
  for (const double angle : {45.0, 46.0, 90.0}) {
    SCOPED_TRACE(angle);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0.0);
    ac.samples.clear();
    const LatLon next = gf_destinationPoint({lat0, lon0}, 0.0, 200.0 / 0.3048);
    ac.samples.push_back(sampleAt(lat0, lon0, 0.0, 6.0, engineCycle.load()));
    ac.samples.push_back(sampleAt(next.lat, next.lon, 0.0, 6.0, engineCycle.load() + 6480));
    ac.alignToTrack = 1;
    ac.turnToTrackAngle = angle;
    lf_groundTiming(ac);
    if (angle <= 45.0) {
      EXPECT_LT(ac.turnRate, ac.groundTurnRate * 0.7);
    } else {
      EXPECT_DOUBLE_EQ(ac.turnRate, ac.groundTurnRate);
    }
    EXPECT_EQ(ac.earlyWindow, angle >= 90.0 ? 2000 : 1000);
  }

  // Next to a stand, a live aircraft closer than 1.1 times both spans goes for the newcomer.
  addStand("N1", lat0, lon0, 0.0);
  for (const double spans : {1.05, 1.15}) {
    SCOPED_TRACE(spans);
    gf_clearAcTables();
    standTable.erase(standTable.begin() + 1, standTable.end());
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0.0);
    const LatLon at = gf_destinationPoint({lat0, lon0}, 1.5, spans * 2.0 * lf_span(ac) * feetPerNm);
    addStand("N2", at.lat, at.lon, 0.0);
    LiveAc& parked = addLiveAc(0x400002, "DLH2", "B738", SimState::active, 2002, at.lat, at.lon, 0.0);
    parked.flightState = FlightState::parked;
    parked.standId = 2;
    lf_removeAtAdjacentStand(2, ac, 1);
    EXPECT_EQ(parked.simState == SimState::removingfromsim, spans < 1.1);
  }

  // Pushed back, the aircraft waits where it is; a curve never reaches its end point's t = 1.
  gf_clearAcTables();
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0.0);
  ac.latitudeRate = 1e-5;
  ac.flightState = FlightState::pushed_back;
  lf_followCurve(ac);
  EXPECT_DOUBLE_EQ(ac.latitude, lat0);
  ac.flightState = FlightState::taxi;
  lf_followCurve(ac);
  EXPECT_DOUBLE_EQ(ac.latitude, lat0 + 1e-5);
  ac.samples.clear();
  ac.samples.push_back(sampleAt(lat0, lon0, 0.0, 10.0, engineCycle.load()));
  ac.samples.push_back(sampleAt(lat0 + 0.0005, lon0, 0.0, 10.0, engineCycle.load() + 500));
  ac.samples.push_back(sampleAt(lat0 + 0.0005, lon0 + 0.0005, 0.0, 10.0, engineCycle.load() + 1000));
  lf_buildCurve(ac);
  ac.curveStep = 2.0;
  lf_followCurve(ac);
  EXPECT_DOUBLE_EQ(ac.curveT, 0.999999);

  // A taxi curve across the date line is a few metres long, not the way round the earth.
  gf_clearAcTables();
  LiveAc& east = addLiveAc(0x400002, "FJI1", "B738", SimState::active, 2002, -16.8, 179.9999, 0.0);
  east.samples.clear();
  east.samples.push_back(sampleAt(-16.8, 179.9999, 0.0, 10.0, engineCycle.load()));
  east.samples.push_back(sampleAt(-16.8, -179.9998, 0.0, 10.0, engineCycle.load() + 500));
  east.samples.push_back(sampleAt(-16.7995, -179.9998, 0.0, 10.0, engineCycle.load() + 1000));
  lf_buildCurve(east);
  EXPECT_NEAR(east.curve.controlEast, 0.0003 * std::cos(-16.8 * degToRad) * 111132.95, 1e-3);
  EXPECT_NEAR(east.curve.endEast, east.curve.controlEast, 1e-9);
}

}  // namespace
