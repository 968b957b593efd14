// The per-aircraft update and the intake of reported samples.
#include <gtest/gtest.h>

#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/engine_harness.hpp"
#include "foundation/geodesy.hpp"
#include "records/engine_cycle.hpp"
#include "simlink/sim_ids.hpp"

using namespace wdrx::testing;

namespace {

constexpr double lat0 = 52.40, lon0 = 4.80;
constexpr double nmInLatitude = 1.0 / 60.0;  // degrees of latitude per nautical mile (close enough)

LiveAc& activeAc(FlightState state, double altitude = 0.0) {
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2000, lat0, lon0, altitude);
  ac.flightState = state;
  ac.samples.front().dueCycle = engineCycle.load() + 100;
  return ac;
}

std::vector<std::int64_t> dues(const LiveAc& ac) {
  std::vector<std::int64_t> out;
  for (const auto& s : ac.samples) out.push_back(s.dueCycle);
  return out;
}

}  // namespace

TEST(Update, AnActiveAircraftSendsItsPositionEveryCycle) {
  EngineHarness h;
  LiveAc& ac = activeAc(FlightState::flying, 5000);
  ac.pitch = -0.05;
  ac.bank = 0.1;
  ac.heading = 1.2;
  ac.verticalSpeed = 10.0;
  ac.trueAirspeed = 250.0;
  EXPECT_FALSE(updateLiveAc(ac));
  ASSERT_EQ(positionUpdateBuffers.fill().size(), 1u);
  const PositionUpdateRecord r = positionUpdateBuffers.fill().back();
  EXPECT_EQ(std::vector<double>({r.latitude, r.longitude, r.pitch, r.bank, r.heading, r.altitude,
                                 r.verticalSpeed, r.trueAirspeed}),
            std::vector<double>({lat0, lon0, -0.05, 0.1, 1.2, 5000, 10.0, 250.0}));
  EXPECT_EQ(r.objectId, 2000u);
  EXPECT_EQ(ac.samples.size(), 1u) << "the front sample is not due yet";

  // The due sample advances the aircraft; the leg's speeds are sent.
  PositionSample next = sampleAt(lat0, lon0 + 0.01, 5000, 240, engineCycle.load() + 600);
  next.verticalSpeed = 600.0;
  ac.samples.push_back(next);
  ac.samples.front().dueCycle = engineCycle.load();
  EXPECT_FALSE(updateLiveAc(ac));
  EXPECT_EQ(ac.samples.size(), 1u) << "the reached sample left the queue";
  EXPECT_DOUBLE_EQ(ac.verticalSpeed, 600.0 / 60.0);
  EXPECT_DOUBLE_EQ(ac.trueAirspeed, 240.0);
  // A new front sample marked on-ground (of an aircraft on the ground): no airspeed sent and
  // no movement between samples.
  ac.onGround = 1;
  PositionSample still = sampleAt(lat0, lon0 + 0.02, 0, 0, engineCycle.load() + 900);
  still.onGroundMark = 1;
  ac.samples.push_back(still);
  ac.samples.front().dueCycle = engineCycle.load();
  ac.headingRate = 0.01;
  const double heading = ac.heading;
  EXPECT_FALSE(updateLiveAc(ac));
  EXPECT_EQ(ac.samples.front().onGroundMark, 1);
  EXPECT_DOUBLE_EQ(ac.trueAirspeed, 0.0);
  EXPECT_DOUBLE_EQ(ac.heading, heading);
}

TEST(Update, AnActiveAircraftWithoutObjectOrSamplesLeaves) {
  EngineHarness h;
  LiveAc& noObject = addLiveAc(0x400001, "NOOBJ", "B738", SimState::active, 0, lat0, lon0, 0);
  EXPECT_TRUE(updateLiveAc(noObject));
  EXPECT_TRUE(h.logHas("updateLiveAc objectid=0? hexid: 4194305,cs:NOOBJ, reg:, aimo:"));
  LiveAc& empty = addLiveAc(0x400002, "EMPTY", "B738", SimState::active, 2002, lat0, lon0, 3000);
  empty.samples.clear();
  EXPECT_FALSE(updateLiveAc(empty)) << "waits for the removal's confirmation";
  EXPECT_EQ(empty.simState, SimState::removingfromsim);
  EXPECT_TRUE(h.logHas("updateLiveAc stream empty ?"));
  EXPECT_TRUE(h.logHas("hexid:4194306, objectid:2002, alt:3000 ft, lalo:52.400000,4.800000, TAS:0"));
}

TEST(Update, SamplesKeepTheirDueCyclesRising) {
  EngineHarness h;
  LiveAc& ac = activeAc(FlightState::flying, 5000);
  const std::int64_t back = ac.samples.back().dueCycle;
  decodeExisting(ac, sampleAt(lat0, lon0 + 0.01, 5000, 250, back));
  decodeExisting(ac, sampleAt(lat0, lon0 + 0.02, 5000, 250, back - 50));
  decodeExisting(ac, sampleAt(lat0, lon0 + 0.03, 5000, 250, back + 500));
  EXPECT_EQ(dues(ac), (std::vector<std::int64_t>{back, back + 1, back + 2, back + 500}));
}

TEST(Update, StandingStillOnTheGround) {
  EngineHarness h;
  struct Case {
    const char* name;
    double dLat;  // from the back sample
    double groundSpeed;
    bool airborne;
    bool used;
    bool marked;
    double groundSpeedAfter;
  };
  const Case cases[] = {
      {"SamePosition", 0.0, 3.0, false, true, true, 0.0},
      {"NearPosition", 0.00009, 3.0, false, true, true, 0.0},  // 10 m: a copy of the back
      {"Moving", 0.001, 15.0, false, true, false, 15.0},
      {"FarStandingStill", 0.001, 0.0, false, true, false, 0.0},
      {"SamePositionAirborne", 0.0, 150.0, true, false, true, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = activeAc(FlightState::taxi);
    ac.samples.back().groundSpeed = 10.0;
    const std::int64_t due = ac.samples.back().dueCycle + 300;
    PositionSample s = sampleAt(lat0 + c.dLat, lon0, c.airborne ? 1000 : 0, c.groundSpeed, due);
    const bool used = lf_checkStationary(ac, s);
    EXPECT_EQ(used, c.used);
    EXPECT_EQ(s.onGroundMark, c.marked ? 1 : 0);
    if (used) {
      EXPECT_DOUBLE_EQ(s.groundSpeed, c.groundSpeedAfter);
      EXPECT_EQ(s.dueCycle, due);
    }
    if (used && c.marked) {
      EXPECT_DOUBLE_EQ(s.latitude, lat0) << "a near report stands where the back sample stands";
    }
  }
}

TEST(Update, UselessSamplesAreCut) {
  EngineHarness h;
  LiveAc& ac = activeAc(FlightState::taxi);
  const std::int64_t t = ac.samples.front().dueCycle;
  // Standing still twice: the queue folds to its first sample, and the two on-ground samples
  // make the front due at once.
  ac.samples.front().onGroundMark = 1;
  decodeExisting(ac, sampleAt(lat0, lon0, 0, 0, t + 300));
  EXPECT_EQ(ac.samples.size(), 2u);
  EXPECT_EQ(ac.samples.front().dueCycle, engineCycle.load() + 1);
  decodeExisting(ac, sampleAt(lat0, lon0, 0, 0, t + 600));
  EXPECT_EQ(ac.samples.size(), 2u) << "cut to the first, then the new one";

  // A moving sample 20 m from a new report that stands: everything after it goes.
  gf_clearAcTables();
  LiveAc& taxi = activeAc(FlightState::taxi);
  taxi.samples.push_back(sampleAt(lat0 + 0.001, lon0, 0, 10, t + 300));
  PositionSample still = sampleAt(lat0 + 0.0012, lon0, 0, 0, t + 600);
  still.onGroundMark = 1;
  taxi.samples.push_back(still);
  decodeExisting(taxi, sampleAt(lat0 + 0.00095, lon0, 0, 5, t + 900));
  ASSERT_EQ(taxi.samples.size(), 3u);
  EXPECT_DOUBLE_EQ(taxi.samples[1].latitude, lat0 + 0.001);
  EXPECT_DOUBLE_EQ(taxi.samples[2].latitude, lat0 + 0.00095);
}

TEST(Update, TwoHundredQueuedSamplesRemoveTheAircraft) {
  EngineHarness h;
  LiveAc& ac = activeAc(FlightState::flying, 5000);
  for (int i = 1; i < 201; ++i) ac.samples.push_back(sampleAt(lat0, lon0 + 0.001 * i, 5000, 250, 10000 + i));
  ASSERT_EQ(ac.samples.size(), 201u);
  decodeExisting(ac, sampleAt(lat0, lon0 + 0.5, 5000, 250, 20000));
  EXPECT_EQ(ac.simState, SimState::removingfromsim);
  EXPECT_EQ(ac.samples.size(), 201u);
  gf_clearAcTables();
  LiveAc& full = activeAc(FlightState::flying, 5000);
  for (int i = 1; i < 200; ++i) full.samples.push_back(sampleAt(lat0, lon0 + 0.001 * i, 5000, 250, 10000 + i));
  decodeExisting(full, sampleAt(lat0, lon0 + 0.5, 5000, 250, 20000));
  EXPECT_EQ(full.simState, SimState::active) << "200 queued samples are still fine";
}

TEST(Update, TakeOffAndGoAroundFromTheRunway) {
  EngineHarness h;
  LiveAc& ac = activeAc(FlightState::taxi);
  ac.samples.back().groundSpeed = 45.0;
  decodeExisting(ac, sampleAt(lat0 + 0.01, lon0, 0, 42.0, engineCycle.load() + 500));
  EXPECT_EQ(ac.climbOut, 0) << "42 knots is no take-off run";
  decodeExisting(ac, sampleAt(lat0 + 0.02, lon0, 0, 43.0, engineCycle.load() + 900));
  EXPECT_EQ(ac.climbOut, 0) << "the back sample was at 42 knots";
  decodeExisting(ac, sampleAt(lat0 + 0.03, lon0, 0, 60.0, engineCycle.load() + 1300));
  EXPECT_EQ(ac.climbOut, 1) << "the take-off configuration";
  EXPECT_EQ(ac.lateWindow, 5000);

  gf_clearAcTables();
  LiveAc& landed = activeAc(FlightState::taxi, 200);
  landed.touchdown = 1;
  landed.approach = 1;
  landed.touchdownSeen = 1;
  landed.samples.front().airborne = 1;
  landed.onGround = 1;
  h.takeEvents();
  decodeExisting(landed, sampleAt(lat0 + 0.01, lon0, 400, 140, engineCycle.load() + 500));
  EXPECT_EQ(landed.climbOut, 1);
  EXPECT_EQ(landed.approach, 0);
  EXPECT_EQ(landed.touchdownSeen, 0);
  EXPECT_EQ(landed.flightState, FlightState::taxi);
  EXPECT_EQ(landed.lateWindow, 5000);
  EXPECT_EQ(landed.lastThrottle, 3u);
  const auto events = h.takeEvents();
  std::vector<std::uint32_t> ids;
  for (const auto& e : events) ids.push_back(e.eventId);
  EXPECT_NE(std::find(ids.begin(), ids.end(), simid::throttleSet), ids.end());
  EXPECT_NE(std::find(ids.begin(), ids.end(), simid::spoilersSet), ids.end());
}

TEST(Update, PushedBackAircraftHoldUntilTheyDriveOff) {
  EngineHarness h;
  LiveAc& ac = activeAc(FlightState::pushed_back);
  ac.radius = 0.02;
  ac.standId = 3;
  ac.pathExtensionCount = 2;
  PositionSample close = sampleAt(lat0 + 0.04 * nmInLatitude, lon0, 0, 3, engineCycle.load() + 500);
  EXPECT_FALSE(checkExtendingSituations(ac, close));
  EXPECT_EQ(ac.holding, 1);
  EXPECT_EQ(ac.holdStart, engineCycle.load());
  PositionSample away = sampleAt(lat0 + 0.2 * nmInLatitude, lon0, 0, 12, engineCycle.load() + 900);
  EXPECT_TRUE(checkExtendingSituations(ac, away));
  EXPECT_EQ(ac.flightState, FlightState::taxi);
  EXPECT_EQ(ac.holding, 0);
  EXPECT_EQ(ac.standId, 0);
  EXPECT_EQ(ac.pathExtensionCount, 0);
  EXPECT_EQ(ac.samples.front().dueCycle, engineCycle.load() + 1);
}

TEST(Update, ParkedAircraftMovingOffOrFoundFarFromTheirStand) {
  EngineHarness h;
  addStand("H1", lat0, lon0, 0.0);
  struct Case {
    const char* name;
    FlightState state;
    double distanceM;
    bool used;
    FlightState after;
    std::vector<StandOptionCall> options;
    SimState simState;
  };
  const Case cases[] = {
      {"ParkedFar", FlightState::parked, 250, false, FlightState::parked, {{1, "KLM1", 3}}, SimState::removingfromsim},
      {"ParkedMovedOff", FlightState::parked, 100, true, FlightState::parked, {{1, "KLM1", 2}}, SimState::active},
      {"ParkingGoesBackToTaxi", FlightState::parking, 100, true, FlightState::taxi, {}, SimState::active},
      {"ParkedNearStand", FlightState::parked, 20, false, FlightState::parked, {}, SimState::active},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    engineDoubles.reset();
    LiveAc& ac = activeAc(c.state);
    ac.previousFlightState = FlightState::taxi;
    ac.standId = 1;
    ac.standLatitude = lat0;
    ac.standLongitude = lon0;
    PositionSample s = sampleAt(lat0 + c.distanceM / 1852.0 * nmInLatitude, lon0, 0, 5, engineCycle.load() + 500);
    EXPECT_EQ(checkExtendingSituations(ac, s), c.used);
    EXPECT_EQ(ac.flightState, c.after);
    EXPECT_EQ(engineDoubles.standOptions, c.options);
    EXPECT_EQ(ac.simState, c.simState);
    EXPECT_EQ(ac.stopTest, 1);
  }
}

TEST(Update, AParkedAircraftThatStartsToMoveIsSeenByItsGrowingDistance) {
  EngineHarness h;
  LiveAc& ac = activeAc(FlightState::parked);
  ac.previousFlightState = FlightState::taxi;
  ac.standId = 1;
  ac.standLatitude = lat0;
  ac.standLongitude = lon0;
  ac.radius = 0.02;  // 37 m
  const auto at = [](double metres) {
    return sampleAt(lat0 + metres / 1852.0 * nmInLatitude, lon0, 0, 2, engineCycle.load() + 500);
  };
  PositionSample first = at(5);
  EXPECT_FALSE(checkExtendingSituations(ac, first));  // start 5 m
  PositionSample s1 = at(9), s2 = at(13), s3 = at(17), s4 = at(25);
  EXPECT_FALSE(checkExtendingSituations(ac, s1));
  EXPECT_FALSE(checkExtendingSituations(ac, s2));
  EXPECT_FALSE(checkExtendingSituations(ac, s3)) << "3 steps but only 12 m of 18.5 beyond the start";
  EXPECT_TRUE(checkExtendingSituations(ac, s4)) << "4 steps and 20 m beyond the start";
  EXPECT_EQ(ac.parkedReport, 1);
  ASSERT_FALSE(engineDoubles.standOptions.empty());
  EXPECT_EQ(engineDoubles.standOptions.back().event, 2);
  ASSERT_FALSE(engineDoubles.occupiedCalls.empty());
  EXPECT_EQ(engineDoubles.occupiedCalls.back(), (std::pair<std::int32_t, bool>{1, false}));
  // Coming back resets the count.
  gf_clearAcTables();
  LiveAc& back = activeAc(FlightState::parked);
  back.standLatitude = lat0;
  back.standLongitude = lon0;
  back.radius = 0.02;
  for (double m : {5.0, 9.0, 13.0, 9.0, 13.0, 17.0}) {
    PositionSample s = at(m);
    EXPECT_FALSE(checkExtendingSituations(back, s)) << m;
  }
  EXPECT_EQ(back.stopCounter, 1);
}

TEST(Update, PushBackDirectionFromTheReports) {
  EngineHarness h;
  LiveAc& ac = activeAc(FlightState::pushing_back);
  ac.pushBackPhase = 2;
  ac.heading = 1.0;
  PositionSample right = sampleAt(lat0, lon0, 0, 3, 0, 90.0);  // 1.57 rad: a positive turn
  EXPECT_FALSE(checkExtendingSituations(ac, right));
  EXPECT_EQ(ac.pushBackDirection, std::optional<bool>(true));
  PositionSample left = sampleAt(lat0, lon0, 0, 3, 0, 0.0);
  left.trueHeading = 0.5;
  checkExtendingSituations(ac, left);
  EXPECT_EQ(ac.pushBackDirection, std::optional<bool>(false));
  ac.pushBackDirection.reset();
  PositionSample noTrack = sampleAt(lat0, lon0, 0, 3, 0, 0.0);
  checkExtendingSituations(ac, noTrack);
  EXPECT_FALSE(ac.pushBackDirection.has_value()) << "a track of 0 tells nothing";
  STRAIGHT_PBS_ONLY.value.store(true);
  checkExtendingSituations(ac, right);
  EXPECT_FALSE(ac.pushBackDirection.has_value());
}

TEST(Update, SamplesDuringTheLanding) {
  EngineHarness h;
  struct Case {
    const char* name;
    bool approach;
    double bearingDeg;  // of the new sample from the back one
    int queued;
    bool used;
    std::size_t sizeAfter;
  };
  const Case cases[] = {
      {"AheadOnApproach", true, 10, 1, true, 1},
      {"BehindOnApproach", true, 100, 1, false, 1},
      {"SidewaysOnTheRunway", false, 120, 1, true, 1},
      {"BackOnTheRunway", false, 160, 1, true, 1},
      {"TurnedBackSampleDropped", true, 120, 3, true, 2},
      {"TwoTurnedBackSamplesDropped", true, 170, 3, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = activeAc(FlightState::flying, 300);
    ac.approach = c.approach ? 1 : 0;
    ac.touchdown = c.approach ? 0 : 1;
    ac.heading = 0.0;  // north
    for (int i = 1; i < c.queued; ++i) ac.samples.push_back(sampleAt(lat0 + 0.001 * i, lon0, 300, 140, 5000 + i));
    const PositionSample& back = ac.samples.back();
    const LatLon to = gf_destinationPoint({back.latitude, back.longitude}, c.bearingDeg * degToRad, 600.0);
    PositionSample s = sampleAt(to.lat, to.lon, 250, 140, 9000);
    EXPECT_EQ(checkExtendingSituations(ac, s), c.used);
    EXPECT_EQ(ac.samples.size(), c.sizeAfter);
  }
}

TEST(Update, AHoldingAircraftWaitsWithinTheThreshold) {
  EngineHarness h;
  HOLDING_THRESHOLD_METERS.value.store(100);
  LiveAc& ac = activeAc(FlightState::taxi);
  ac.holding = 1;
  ac.pathExtensionCount = 1;  // the hold sample
  decodeExisting(ac, sampleAt(lat0 + 90.0 / 1852.0 * nmInLatitude, lon0, 0, 5, 9000));
  EXPECT_EQ(ac.holding, 0) << "a report within the threshold ends the hold";
  EXPECT_EQ(ac.samples.size(), 2u);
  EXPECT_EQ(ac.simState, SimState::active);
  ac.holding = 1;
  decodeExisting(ac, sampleAt(lat0 + 110.0 / 1852.0 * nmInLatitude, lon0, 0, 5, 9500));
  EXPECT_EQ(ac.holding, 0);
  EXPECT_EQ(ac.simState, SimState::removingfromsim);
}

TEST(Update, AReportForAnAircraftWhoseQueueRanDryIsNotUsed) {
  EngineHarness h;
  for (FlightState state : {FlightState::flying, FlightState::taxi}) {
    gf_clearAcTables();
    LiveAc& ac = activeAc(state, state == FlightState::flying ? 5000 : 0);
    ac.onGround = state == FlightState::taxi ? 1 : 0;
    ac.samples.clear();
    PositionSample s = sampleAt(lat0, lon0, ac.altitude, 0, engineCycle.load() + 500);
    s.airborne = state == FlightState::flying ? 1 : 0;
    EXPECT_FALSE(lf_checkStationary(ac, s));
    decodeExisting(ac, s);
    EXPECT_TRUE(ac.samples.empty()) << "the aircraft leaves at its next update (stream empty)";
  }
}

TEST(Update, ABufferedAircraftKeepsItsDueCyclesRisingToo) {
  EngineHarness h;
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::buffer, 0, lat0, lon0, 5000);
  const std::int64_t back = ac.samples.back().dueCycle;
  PositionSample same = sampleAt(lat0, lon0 + 0.01, 5000, 250, back);
  same.airborne = 1;
  decodeExisting(ac, same);
  EXPECT_EQ(dues(ac), (std::vector<std::int64_t>{back, back + 1}));
}

TEST(Update, StandingStillRulesAtTheirBounds) {
  EngineHarness h;
  struct Case {
    const char* name;
    double dLat;  // from the back sample: 0 same, 0.00009 near, 0.001 far
    double groundSpeed;
    bool airborne;
    bool climbOut;
    double backGroundSpeed;
    std::string_view model;
    SimState state;
    std::uint8_t onGround;
    bool used;
  };
  const Case cases[] = {
      {"NearClimbingOutBackBelow50", 0.00009, 3, false, true, 49.9, "B738", SimState::active, 1, true},
      {"NearClimbingOutBackAt50", 0.00009, 3, false, true, 50, "B738", SimState::active, 1, false},
      {"FarStillClimbingOutBackBelow50", 0.001, 0, false, true, 49.9, "B738", SimState::active, 1, true},
      {"FarStillClimbingOutBackAt50", 0.001, 0, false, true, 50, "B738", SimState::active, 1, false},
      {"FarStillAirborneBackBelow50", 0.001, 0, true, false, 49.9, "B738", SimState::active, 1, true},
      {"SameClimbingOutBackBelow30", 0.0, 3, false, true, 29.9, "B738", SimState::active, 1, true},
      {"SameClimbingOutBackAt30", 0.0, 3, false, true, 30, "B738", SimState::active, 1, false},
      {"SameClimbingOutStill", 0.0, 0, false, true, 30, "B738", SimState::active, 1, true},
      {"SameAirborneHelicopter", 0.0, 0, true, false, 0, "EC35", SimState::active, 0, true},
      {"SameActiveInTheAir", 0.0, 0, false, false, 0, "B738", SimState::active, 0, false},
      {"SameBufferedNotYetOnTheGround", 0.0, 0, false, false, 0, "B738", SimState::buffer, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", c.model, c.state, c.state == SimState::active ? 2000 : 0, lat0, lon0, 0);
    ac.onGround = c.onGround;
    ac.climbOut = c.climbOut ? 1 : 0;
    ac.samples.back().groundSpeed = c.backGroundSpeed;
    PositionSample s = sampleAt(lat0 + c.dLat, lon0, c.airborne ? 500 : 0, c.groundSpeed, 9000);
    s.airborne = c.airborne ? 1 : 0;
    EXPECT_EQ(lf_checkStationary(ac, s), c.used);
  }
}

TEST(Update, AStandingReportCutsTheQueueAfterItsLastMovingSample) {
  EngineHarness h;
  const double metre = nmInLatitude / 1852.0;
  struct Case {
    const char* name;
    std::size_t queued;        // samples, the last one standing still
    std::size_t moving;        // index of the one moving sample
    std::int64_t dueBeforeBack;  // of the moving sample
    double newFromMovingM;     // the new report north of the moving sample
    std::size_t sizeAfter;     // with the new report
  };
  const Case cases[] = {
      {"LessThan1500CyclesBefore", 3, 1, 1499, 40, 3},
      {"1500CyclesBefore", 3, 1, 1500, 40, 4},
      {"Within22m", 3, 1, 2000, 21, 3},
      {"Beyond22m", 3, 1, 2000, 23, 4},
      {"SixthLast", 7, 1, 1000, 40, 3},
      {"SeventhLast", 8, 1, 1000, 40, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = activeAc(FlightState::taxi);
    ac.samples.clear();
    const std::int64_t backDue = 20000;
    for (std::size_t i = 0; i < c.queued; ++i) {
      PositionSample s = sampleAt(lat0 + 0.0015, lon0, 0, 0, backDue - static_cast<std::int64_t>(c.queued - 1 - i));
      s.onGroundMark = 1;
      if (i == c.moving) {
        s = sampleAt(lat0, lon0, 0, 10, backDue - c.dueBeforeBack);
      }
      ac.samples.push_back(s);
    }
    decodeExisting(ac, sampleAt(lat0 + c.newFromMovingM * metre, lon0, 0, 5, backDue + 300));
    EXPECT_EQ(ac.samples.size(), c.sizeAfter);
  }
}

TEST(Update, TheTakeOffRunStartsAt43KnotsOrInTheAir) {
  EngineHarness h;
  struct Case {
    double back, now;
    bool airborne;
    int takeOffs;
  };
  const Case cases[] = {{43, 43, false, 1}, {42.9, 43, false, 0}, {43, 42.9, false, 0}, {10, 10, true, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.back);
    SCOPED_TRACE(c.now);
    gf_clearAcTables();
    engineDoubles.reset();
    LiveAc& ac = activeAc(FlightState::taxi);
    ac.samples.back().groundSpeed = c.back;
    PositionSample s = sampleAt(lat0 + 0.01, lon0, c.airborne ? 100 : 0, c.now, engineCycle.load() + 500);
    s.airborne = c.airborne ? 1 : 0;
    decodeExisting(ac, s);
    EXPECT_EQ(ac.climbOut, c.takeOffs) << "the take-off configuration";
  }
}

TEST(Update, AGoAroundFromTheRunwayKeepsThePreviousStateAndDarkensTheCabin) {
  EngineHarness h;
  LiveAc& ac = activeAc(FlightState::flying, 200);
  ac.previousFlightState = FlightState::birth;
  ac.touchdown = 1;
  ac.onGround = 1;
  ac.samples.front().airborne = 1;
  h.takeEvents();
  PositionSample s = sampleAt(lat0 + 0.01, lon0, 400, 140, engineCycle.load() + 500);
  s.airborne = 1;
  decodeExisting(ac, s);
  EXPECT_EQ(ac.flightState, FlightState::taxi);
  EXPECT_EQ(ac.previousFlightState, FlightState::birth);
  EXPECT_EQ(ac.earlyWindow, 3000);
  std::vector<std::uint32_t> lights;
  for (const auto& e : h.takeEvents())
    if (e.eventId >= simid::beaconLights && e.eventId <= simid::logoLights) lights.push_back(e.value);
  EXPECT_EQ(lights, (std::vector<std::uint32_t>{1, 1, 1, 1, 1, 1, 0}));
}

TEST(Update, APushedBackAircraftHoldsByItsSpanAndLastDistance) {
  EngineHarness h;
  struct Case {
    const char* name;
    double distanceNm;  // radius 0.02: 2.75 x 0.055, 6 x 0.12
    double lastDistanceNm;
    bool holds;
  };
  const Case cases[] = {
      {"WithinTheSpan", 0.05, 0.0, true},
      {"NotFartherThanLastTime", 0.06, 0.07, true},
      {"FartherThanLastTime", 0.06, 0.05, false},
      {"BeyondSixSpans", 0.13, 0.2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = activeAc(FlightState::pushed_back);
    ac.radius = 0.02;
    ac.lastPushedDistance = c.lastDistanceNm;
    PositionSample s = sampleAt(lat0 + c.distanceNm * nmInLatitude, lon0, 0, 3, engineCycle.load() + 500);
    EXPECT_EQ(checkExtendingSituations(ac, s), !c.holds);
    EXPECT_EQ(ac.holding, c.holds ? 1 : 0);
    EXPECT_EQ(ac.flightState, c.holds ? FlightState::pushed_back : FlightState::taxi);
  }
  // The hold starts at the first held report.
  gf_clearAcTables();
  LiveAc& ac = activeAc(FlightState::pushed_back);
  ac.radius = 0.02;
  const std::int64_t start = engineCycle.load();
  PositionSample s = sampleAt(lat0 + 0.01 * nmInLatitude, lon0, 0, 3, start + 500);
  checkExtendingSituations(ac, s);
  engineCycle.fetch_add(100);
  checkExtendingSituations(ac, s);
  EXPECT_EQ(ac.holdStart, start);
}

TEST(Update, AParkedOrParkingAircraftAtItsStandBounds) {
  EngineHarness h;
  addStand("H1", lat0, lon0, 0.0);
  struct Case {
    const char* name;
    FlightState state, previous;
    double distanceM;
    bool used;
    SimState simState;
  };
  const Case cases[] = {
      {"JustParkedWithin170m", FlightState::parked, FlightState::parking, 100, false, SimState::active},
      {"ParkedLongBeyond85m", FlightState::parked, FlightState::taxi, 100, true, SimState::active},
      {"Beyond200m", FlightState::parked, FlightState::taxi, 205, false, SimState::removingfromsim},
      {"Within200m", FlightState::parked, FlightState::taxi, 195, true, SimState::active},
      {"ParkingBeyond170m", FlightState::parking, FlightState::taxi, 180, true, SimState::active},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = activeAc(c.state);
    ac.previousFlightState = c.previous;
    ac.standId = 1;
    ac.standLatitude = lat0;
    ac.standLongitude = lon0;
    ac.parkedReport = 1;
    PositionSample s = sampleAt(lat0 + c.distanceM / 1852.0 * nmInLatitude, lon0, 0, 5, engineCycle.load() + 500);
    s.onGroundMark = 1;
    EXPECT_EQ(checkExtendingSituations(ac, s), c.used);
    EXPECT_EQ(ac.simState, c.simState);
    if (c.used) {
      EXPECT_EQ(s.onGroundMark, 0) << "a sample that moves off is not standing";
    } else {
      EXPECT_EQ(ac.parkedReport, 0);
    }
  }
}

TEST(Update, AParkedAircraftMovesOffByStepsOrByItsSpan) {
  EngineHarness h;
  struct Case {
    const char* name;
    std::vector<double> metres;  // from the stand; radius 37 m, half 18.5 m
    bool movesOff;               // at the last report
  };
  const Case cases[] = {
      {"TwoStepsBeyondHalfTheSpan", {5, 9, 25}, false},
      {"ThreeStepsBeyondHalfTheSpan", {5, 9, 13, 25}, true},
      {"OneStepWithinTheSpan", {5, 41}, false},
      {"OneStepBeyondTheSpan", {5, 43}, true},
      {"StepsUnder3m", {5, 7.5, 10, 12.5, 24.5}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = activeAc(FlightState::parked);
    ac.previousFlightState = FlightState::taxi;
    ac.standId = 1;
    ac.standLatitude = lat0;
    ac.standLongitude = lon0;
    ac.radius = 0.02;
    bool used = false;
    for (double m : c.metres) {
      PositionSample s = sampleAt(lat0 + m / 1852.0 * nmInLatitude, lon0, 0, 2, engineCycle.load() + 500);
      used = checkExtendingSituations(ac, s);
    }
    EXPECT_EQ(used, c.movesOff);
  }
}

TEST(Update, APendingPathExtensionEndsUnlessTheReportTurnsBack) {
  EngineHarness h;
  struct Case {
    double bearingDeg;  // of the new report from the back sample; heading north
    std::uint8_t onGround;
    bool used;
  };
  const Case cases[] = {{95, 0, true}, {105, 0, false}, {105, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bearingDeg);
    gf_clearAcTables();
    LiveAc& ac = activeAc(FlightState::taxi, c.onGround != 0 ? 0 : 3000);
    ac.onGround = c.onGround;
    ac.heading = 0.0;
    ac.pathExtensionCount = 2;
    ac.holding = 1;
    ac.samples.front().groundSpeed = 100;
    const LatLon to = gf_destinationPoint({lat0, lon0}, c.bearingDeg * degToRad, 3000.0);
    PositionSample s = sampleAt(to.lat, to.lon, ac.altitude, 100, engineCycle.load() + 500);
    s.airborne = c.onGround != 0 ? 0 : 1;
    EXPECT_EQ(checkExtendingSituations(ac, s), c.used);
    EXPECT_EQ(ac.pathExtensionCount, c.used ? 0 : 2);
    if (c.used) {
      EXPECT_EQ(ac.samples.front().dueCycle, engineCycle.load() + 1);
      EXPECT_EQ(ac.holding, 0);
      EXPECT_EQ(ac.earlyWindow, 3000);
      EXPECT_EQ(ac.lateWindow, 3000);
    }
  }
}

TEST(Update, ALandingReportFasterThanItsBackSample) {
  EngineHarness h;
  for (double speed : {40.0, 41.0}) {
    SCOPED_TRACE(speed);
    gf_clearAcTables();
    LiveAc& ac = activeAc(FlightState::flying, 300);
    ac.approach = 1;
    ac.heading = 0.0;
    ac.samples.front().groundSpeed = 30.0;
    PositionSample s = sampleAt(lat0 + 0.01, lon0, 250, speed, 9000);
    EXPECT_TRUE(checkNewPosDuringLanding(ac, s));
    EXPECT_DOUBLE_EQ(s.groundSpeed, speed > 40.0 ? 30.0 : 40.0);
  }
}

TEST(Update, AShortTurnaroundByCategory) {
  EngineHarness h;
  struct Case {
    std::string_view model;
    std::int64_t parkedCycles;
    bool shortTurnaround;
  };
  const Case cases[] = {{"B744", 359999, true},  {"B744", 360000, false}, {"B738", 149999, true},
                        {"B738", 150000, false}, {"C25A", 89999, true},   {"C25A", 90000, false},
                        {"C172", 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    SCOPED_TRACE(c.parkedCycles);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", c.model, SimState::active, 2000, lat0, lon0, 0);
    ac.flightState = FlightState::parked;
    ac.previousFlightState = FlightState::parking;
    ac.standId = 1;
    ac.touchdownSeen = 1;
    ac.pathExtensionCount = 1;
    // The extension sample of a parked aircraft is due a week after it parked.
    ac.samples.front().dueCycle = engineCycle.load() + 60480000 - c.parkedCycles;
    PositionSample s = sampleAt(lat0, lon0, 0, 5, engineCycle.load() + 500);
    lf_parkFromReport(ac, s);
    EXPECT_EQ(ac.shortTurnaround, c.shortTurnaround ? 1 : 0);
    EXPECT_EQ(ac.touchdownSeen, 0);
    EXPECT_EQ(ac.samples.front().dueCycle, engineCycle.load() + 1);
  }
  // Moving off again after a report that moved off: only the report is marked.
  gf_clearAcTables();
  engineDoubles.reset();
  LiveAc& ac = activeAc(FlightState::parked);
  ac.previousFlightState = FlightState::parked;
  ac.standId = 1;
  ac.pathExtensionCount = 1;
  PositionSample s = sampleAt(lat0, lon0, 0, 5, engineCycle.load() + 500);
  lf_parkFromReport(ac, s);
  EXPECT_EQ(ac.parkedReport, 1);
  EXPECT_EQ(ac.pathExtensionCount, 1);
  EXPECT_TRUE(engineDoubles.standOptions.empty());
}

TEST(Update, AHandOverIsAwaitedUpToItsTimeOut) {
  EngineHarness h;
  struct Case {
    SimState state;
    std::int64_t waited;
    bool leaves;
  };
  const Case cases[] = {{SimState::adding2sim, creationAnswerTimeout, false},
                        {SimState::adding2sim, creationAnswerTimeout + 1, true},
                        {SimState::removingfromsim, removalAnswerTimeout, false},
                        {SimState::removingfromsim, removalAnswerTimeout + 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(gf_simStateName(c.state));
    SCOPED_TRACE(c.waited);
    gf_clearAcTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", c.state, 2000);
    ac.handOverCycle = engineCycle.load();
    engineCycle.fetch_add(c.waited);
    EXPECT_EQ(updateLiveAc(ac), c.leaves);
  }
}
