// Spawning: the buffered-aircraft gate, the livery, the first flight state and stand, the start
// position, and what follows the simulator's creation answer.
#include <gtest/gtest.h>

#include <filesystem>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/engine_harness.hpp"
#include "foundation/geodesy.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "records/record_texts.hpp"
#include "runstate/run_control.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/sim_ids.hpp"

using namespace wdrx::testing;

namespace {

constexpr double lat0 = 52.40, lon0 = 4.80;

// A buffered aircraft whose first sample is due now: two airborne samples heading east.
LiveAc& buffered(std::uint32_t hexid = 0x400001, const std::string& callsign = "KLM1", double altitude = 5000,
                 double groundSpeed = 250) {
  LiveAc& ac = addLiveAc(hexid, callsign, "B738", SimState::buffer, 0, lat0, lon0, altitude);
  ac.samples.clear();
  const std::int64_t now = engineCycle.load();
  ac.samples.push_back(sampleAt(lat0, lon0, altitude, groundSpeed, now, 90));
  ac.samples.push_back(sampleAt(lat0, lon0 + 0.02, altitude, groundSpeed, now + 500, 90));
  return ac;
}

// Standing still on the ground (both samples at one position, the second marked).
LiveAc& standing(std::uint32_t hexid, double lat, double lon) {
  LiveAc& ac = buffered(hexid, "KLM" + std::to_string(hexid & 0xff), 0, 0);
  for (PositionSample& s : ac.samples) {
    s.latitude = lat;
    s.longitude = lon;
  }
  ac.samples[1].onGroundMark = 1;
  return ac;
}

void setParkAirport() {
  Airport airport;
  airport.icao = IcaoCode("EHAM");
  airport.iata = IataCode("AMS");
  airport.latitude = lat0;
  airport.longitude = lon0;
  parkAirport.store(airport);
  parkAirportCode.store(airport.icao);
}

}  // namespace

TEST(Spawning, BufferedAircraftGate) {
  EngineHarness h;
  h.setUser(lat0, lon0 - 0.5, 0.0, false);  // user airborne, 18 nm west
  COLLISION_USER_AIR.value.store(false);
  struct Case {
    const char* name;
    std::function<void(LiveAc&)> prepare;
    bool removed;
    std::size_t samplesLeft;
    SimState state;
  };
  const Case cases[] = {
      {"Spawns", [](LiveAc&) {}, false, 2, SimState::adding2sim},
      {"EmptyQueue", [](LiveAc& ac) { ac.samples.clear(); }, true, 0, SimState::buffer},
      {"NotDueYet", [](LiveAc& ac) { ac.samples.front().dueCycle += 1; }, false, 2, SimState::buffer},
      {"OnlyOneSample", [](LiveAc& ac) { ac.samples.pop_back(); }, true, 0, SimState::buffer},
      {"KnownGhost",
       [](LiveAc& ac) {
         ac.callsign = "KLM1_";
         ghostCallsigns.push_back("KLM1_");
       },
       true, 2, SimState::buffer},
      {"LandingQueued",
       [](LiveAc& ac) { ac.samples.push_back(sampleAt(lat0, lon0 + 0.03, 0, 120, engineCycle.load() + 900)); },
       false, 2, SimState::buffer},
      {"CreationBacklog",
       [](LiveAc&) { for (int i = 0; i < 11; ++i) liveAddQueue.emplace_back(); },
       false, 1, SimState::buffer},
      {"TenInTheBacklog",
       [](LiveAc&) { for (int i = 0; i < 10; ++i) liveAddQueue.emplace_back(); },
       false, 2, SimState::adding2sim},
      {"NoLiveAircraftWanted", [](LiveAc&) { MAX_LIVE_SEL.value.store(0); }, true, 2, SimState::buffer},
      {"Blocked", [](LiveAc&) { BLOCK_CALLSIGN.value.store("KLM1"); }, true, 2, SimState::buffer},
      {"UnusableCallsignNoRegistration", [](LiveAc& ac) { ac.callsign = "@@@@@@@@"; }, true, 2, SimState::buffer},
      {"NineCharactersTakeTheRegistration",
       [](LiveAc& ac) {
         ac.callsign = "KLM123456";
         ac.registration = "PHBXA";
       },
       false, 2, SimState::adding2sim},
      {"Unmatched",
       [](LiveAc& ac) {
         ac.registration = "PH-XYZ";
         ac.codes.airlineId = gf_airlineId("KLM");
         unmatchedAircraft.push_back(gf_unmatchedKey(ac));
       },
       true, 2, SimState::buffer},
      {"GhostOfAShownFlight",
       [](LiveAc& ac) {
         ac.callsign = "SHOWN_";
         addLiveAc(0x400099, "SHOWN", "A320", SimState::active, 2099);
       },
       true, 2, SimState::buffer},
      {"NoLivery", [](LiveAc&) { engineDoubles.liveryFor = [](const LiveAc&) { return std::string(); }; }, true, 2,
       SimState::buffer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_resetEngineTables();
    engineDoubles.reset();
    MAX_LIVE_SEL.value.store(500);
    BLOCK_CALLSIGN.value.store("");
    LiveAc& ac = buffered();
    c.prepare(ac);
    lf_countLiveSlots();
    lf_handleBufferedAc(*gf_findLiveAc(0x400001));
    const LiveAc& after = *gf_findLiveAc(0x400001);
    EXPECT_EQ(after.remove, c.removed ? 1 : 0);
    EXPECT_EQ(after.samples.size(), c.samplesLeft);
    EXPECT_EQ(after.simState, c.state);
    if (c.state == SimState::adding2sim) {
      EXPECT_EQ(spawnStack, std::vector<std::uint32_t>{0x400001});
      EXPECT_EQ(after.flightState, FlightState::flying);
      EXPECT_EQ(after.liveryTitle, "Livery B738");
      EXPECT_EQ(creationRequests.at(0x400001), "Livery B738");
      EXPECT_TRUE(!approachList.empty() && approachList.back() == 0x400001u);
      EXPECT_TRUE(gf_callsignUsable(after));
    }
  }
  EXPECT_EQ(unmatchedAircraft.size(), 0u) << "reset";
}

TEST(Spawning, ANoMatchIsRememberedAndTheLiveryOfARequestReused) {
  EngineHarness h;
  engineDoubles.liveryFor = [](const LiveAc&) { return std::string(); };
  LiveAc& ac = buffered();
  ac.registration = "PH-XYZ";
  lf_countLiveSlots();
  lf_handleBufferedAc(ac);
  ASSERT_EQ(unmatchedAircraft.size(), 1u);
  EXPECT_EQ(unmatchedAircraft[0], gf_unmatchedKey(ac));
  EXPECT_EQ(ac.remove, 1);

  gf_clearAcTables();
  engineDoubles.reset();
  LiveAc& again = buffered(0x400002, "KLM2");
  creationRequests[0x400002] = engineDoubles.keepTitle("Stored FSLTL_ livery");
  lf_handleBufferedAc(again);
  EXPECT_EQ(engineDoubles.matchLiveryCalls, 0);
  EXPECT_EQ(again.liveryTitle, "Stored FSLTL_ livery");
  EXPECT_EQ(again.fsltl, 1);
}

TEST(Spawning, AtTheLiveLimitTheFarthestMakesRoom) {
  EngineHarness h;
  h.setUser(lat0, lon0, 0.0, false);
  COLLISION_USER_AIR.value.store(false);
  MAX_LIVE_SEL.value.store(1);
  // The active aircraft is 10 nm away, the new one starts 0 nm away: room is made.
  addLiveAc(0x400010, "FAR", "B738", SimState::active, 2010, lat0 + 10.0 / 60.0, lon0, 5000);
  LiveAc& near = buffered();
  lf_countLiveSlots();
  lf_handleBufferedAc(near);
  EXPECT_EQ(gf_findLiveAc(0x400010)->simState, SimState::removingfromsim);
  EXPECT_EQ(gf_findLiveAc(0x400001)->simState, SimState::adding2sim);
  // Now the limit is held by an unconfirmed creation: a farther aircraft is not shown.
  LiveAc& farther = buffered(0x400002, "KLM2");
  for (PositionSample& s : farther.samples) s.latitude += 0.5;
  lf_countLiveSlots();
  lf_handleBufferedAc(*gf_findLiveAc(0x400002));
  EXPECT_EQ(gf_findLiveAc(0x400002)->remove, 1) << "creations sent count against the limit";
}

TEST(Spawning, MissingAirlineComesFromTheCallsign) {
  EngineHarness h;
  struct Case {
    const char* callsign;
    const char* airline;
  };
  const Case cases[] = {{"dlh4u", "DLH"}, {"N123AB", "PVT"}, {"AB12", "PVT"}};
  std::uint32_t hexid = 0x400001;
  for (const Case& c : cases) {
    LiveAc& ac = buffered(hexid++, c.callsign);
    lf_handleBufferedAc(ac);
    EXPECT_EQ(airlineCodes[ac.codes.airlineId], c.airline) << c.callsign;
  }
}

TEST(Spawning, HeldForTheUser) {
  EngineHarness h;
  // On the ground: an aircraft on the ground within 150 m waits.
  h.setUser(lat0, lon0, 0.0, true);
  LiveAc& near = standing(0x400001, lat0 + 0.001, lon0);  // 111 m
  lf_handleBufferedAc(near);
  EXPECT_EQ(near.samples.size(), 1u);
  EXPECT_EQ(near.simState, SimState::buffer);
  COLLISION_USER_GND.value.store(false);
  LiveAc& allowed = buffered(0x400002, "KLM5", 0, 20);  // taxiing past
  for (PositionSample& s : allowed.samples) s.latitude = lat0 + 0.001;
  lf_handleBufferedAc(allowed);
  EXPECT_EQ(allowed.simState, SimState::adding2sim);

  // In the air: an aircraft that would appear on the user's path is removed.
  h.setUser(lat0, lon0, 5000.0, false);
  LiveAc& ahead = buffered(0x400003, "KLM3");  // at the user's position... heading east
  for (PositionSample& s : ahead.samples) s.longitude += 0.05;
  lf_handleBufferedAc(ahead);
  EXPECT_EQ(ahead.remove, 1);
  EXPECT_EQ(ahead.heldForUser, 1);
  LiveAc& toward = buffered(0x400004, "KLM4");
  for (PositionSample& s : toward.samples) {
    s.longitude += 0.05;
    s.track = 270;  // heads at the user
  }
  toward.samples[1].longitude = toward.samples[0].longitude - 0.02;
  lf_handleBufferedAc(toward);
  EXPECT_EQ(toward.remove, 0);
  EXPECT_EQ(toward.simState, SimState::adding2sim);
}

TEST(Spawning, StartPositionAndAttitude) {
  EngineHarness h;
  struct Case {
    const char* name;
    double verticalSpeed;
    double altitude;
    double pitchDeg;
  };
  const Case cases[] = {{"Climb", 1200, 5000, -7.4},      {"SteepClimb", 3000, 5000, -11.8},
                        {"Descent", -1000, 5000, -(3.0 - 2.2 * 500 / 600)},
                        {"SteepDescent", -8000, 5000, 8.0}, {"Ground", 0, 0, 0.6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = buffered(0x400001, "KLM1", c.altitude);
    ac.samples.front().verticalSpeed = c.verticalSpeed;
    ac.samples.front().roll = 0.1;
    ac.heldForUser = 1;
    lf_initSpawnPosition(ac);
    EXPECT_EQ(ac.heldForUser, 0);
    EXPECT_NEAR(ac.pitch, c.pitchDeg * degToRad, 1e-9);
    EXPECT_DOUBLE_EQ(ac.verticalSpeed, c.verticalSpeed / 60.0);
    EXPECT_DOUBLE_EQ(ac.bank, 0.1);
    EXPECT_NEAR(ac.heading, gf_bearing({lat0, lon0}, {lat0, lon0 + 0.02}), 1e-12);
    EXPECT_DOUBLE_EQ(ac.groundHeading, c.altitude > 0 ? 0.0 : ac.heading);
  }
  LiveAc& parked = buffered(0x400002, "KLM2", 0);
  parked.flightState = FlightState::parked;
  parked.standHeading = 7.0;  // beyond 2 pi: reduced
  lf_initSpawnPosition(parked);
  EXPECT_NEAR(parked.heading, 7.0 - 6.283185307179586, 1e-12);
  LiveAc& still = buffered(0x400003, "KLM3", 0);
  still.samples[1].onGroundMark = 1;
  still.samples[0].track = 270.0;
  lf_initSpawnPosition(still);
  EXPECT_NEAR(still.heading, 270.0 * degToRad, 1e-12);
}

TEST(Spawning, AnAircraftStandingStillStartsParkedAtAStand) {
  EngineHarness h;
  setParkAirport();
  h.setUser(lat0 + 0.05, lon0, 0.0, true);
  addStand("E1", lat0 + 0.0001, lon0, 1.5);
  addStand("E2", lat0 + 0.01, lon0, 0.0, 12, {1});
  AcBase& st = addStaticAc(3, "STAT*", 1, SimState::active, 2003);
  st.registration = "PH-ABC";
  addStaticAc(4, "QUEUED*", 2, SimState::adding2sim);
  AiCreationRecord queued;
  queued.hexid = 4;
  staticAddQueue.push_back(queued);
  currentWeekSlot.store((std::uint64_t{20} << 32) | 3);

  LiveAc& ac = standing(0x400001, lat0 + 0.0001, lon0);
  ac.registration = "PH-ABC";
  lf_handleBufferedAc(ac);
  EXPECT_EQ(ac.simState, SimState::adding2sim);
  EXPECT_EQ(ac.flightState, FlightState::parked);
  EXPECT_EQ(ac.standId, 1);
  EXPECT_EQ(ac.parkingStart, currentWeekSlot.load());
  ASSERT_EQ(ac.samples.size(), 1u);
  EXPECT_DOUBLE_EQ(ac.samples.front().latitude, lat0 + 0.0001);
  EXPECT_NEAR(ac.samples.front().track, 1.5 * radToDeg, 1e-9);
  EXPECT_DOUBLE_EQ(ac.heading, 1.5);
  EXPECT_EQ(standTable[0].occupied, 1) << "the stand is taken while the aircraft stands there";
  EXPECT_EQ(engineDoubles.standOptions, (std::vector<StandOptionCall>{{1, ac.callsign, 1}}));
  EXPECT_EQ(engineDoubles.cargoChangeCalls, 1);
  EXPECT_TRUE(!parkedAcQueue.empty() && parkedAcQueue.back() == 0x400001u);
  EXPECT_EQ(gf_findStaticAc(3)->simState, SimState::removingfromsim);
  EXPECT_TRUE(h.logHas("E1      : STAT*    PH-ABC makes way for the same live version KLM1 PH-ABC"));
  // The queued static aircraft at the neighbour stand is not in the way of a stand 0.01 deg off.
  EXPECT_EQ(gf_findStaticAc(4)->simState, SimState::adding2sim);

  // Standing at the user's stand: no stand; it waits while its second sample stands still.
  LiveAc& atUser = standing(0x400002, lat0 + 0.05, lon0);
  addStand("E3", lat0 + 0.05, lon0, 0.0);
  lf_handleBufferedAc(atUser);
  EXPECT_EQ(atUser.simState, SimState::buffer);
  EXPECT_EQ(atUser.samples.size(), 1u);
  // Moving off on the ground without a stand: taxi.
  LiveAc& moving = buffered(0x400003, "KLM7", 0, 20);
  lf_handleBufferedAc(moving);
  EXPECT_EQ(moving.flightState, FlightState::taxi);
  EXPECT_EQ(moving.simState, SimState::adding2sim);
  // A stand the rules refuse drops the aircraft: a live aircraft stands there and reports.
  LiveAc& holder = addLiveAc(0x400008, "DLH3", "B738", SimState::active, 2008, lat0 + 0.01, lon0, 0);
  holder.flightState = FlightState::parked;
  holder.standId = 2;
  holder.stopTest = 1;
  LiveAc& refused = standing(0x400004, lat0 + 0.01, lon0);
  lf_handleBufferedAc(refused);
  EXPECT_EQ(refused.remove, 1);
}

TEST(Spawning, AQueuedStaticAircraftMakesWay) {
  EngineHarness h;
  setParkAirport();
  h.setUser(lat0 + 0.05, lon0, 0.0, true);
  addStand("F1", lat0, lon0, 0.0);
  addStaticAc(4, "QUEUED*", 1, SimState::adding2sim);
  AiCreationRecord queued;
  queued.hexid = 4;
  staticAddQueue.push_back(queued);
  LiveAc& ac = standing(0x400001, lat0, lon0);
  lf_handleBufferedAc(ac);
  EXPECT_EQ(ac.standId, 1);
  EXPECT_TRUE(staticAddQueue.empty());
  EXPECT_TRUE(staticAcTable.empty());
  EXPECT_TRUE(h.logHas("queued F1      : QUEUED*   makes way for KLM1"));
}

TEST(Spawning, CreatedObjectsGetAFlightPlanAndTheirCentreOfGravityIsAsked) {
  EngineHarness h;
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B744", SimState::adding2sim, 0, lat0, lon0, 5000);
  ac.origin = IataCode("AMS");
  ac.destination = IataCode("JFK");
  LiveAc& noRoute = addLiveAc(0x400002, "KLM2", "B738", SimState::adding2sim, 0, lat0, lon0, 5000);
  noRoute.origin = IataCode("AMS");
  h.pushResult(SimResult{2001, 0x400001, 0, SimResultKind::liveCreated, 0.0, 4900.0});
  h.pushResult(SimResult{2002, 0x400002, 0, SimResultKind::liveCreated, 0.0, 4900.0});
  gf_handleSimResults();
  EXPECT_TRUE(std::filesystem::exists(gf_flightPlanFileName(2001)));
  EXPECT_FALSE(std::filesystem::exists(gf_flightPlanFileName(2002)));
  EXPECT_EQ(gf_findLiveAc(0x400001)->hasFlightPlan, 1);
  EXPECT_EQ(gf_findLiveAc(0x400002)->hasFlightPlan, 0);
  EXPECT_FALSE(h.logHas("creating a flight plan failed"));
  auto* sim = h.sim();
  ASSERT_TRUE(sim->waitForCount(SimFunction::AISetAircraftFlightPlan, 1));
  const auto plan = sim->packets(SimFunction::AISetAircraftFlightPlan).front();
  EXPECT_EQ(plan.objectId, 2001u);
  EXPECT_EQ(plan.requestId, simid::reqFlightPlan);
  EXPECT_EQ(plan.name, gf_flightPlanFileName(2001).string());
  ASSERT_TRUE(sim->waitFor([sim] {
    std::size_t n = 0;
    for (const auto& p : sim->packets(SimFunction::RequestDataOnSimObject))
      n += p.requestId == simid::reqStaticCg && p.defineId == simid::defStaticCg;
    return n == 2;
  }));
}

TEST(Spawning, ParkedOnCreationTakesItsStandFromTheStaticPlanner) {
  EngineHarness h;
  addStand("G1", lat0, lon0, 0.0);
  addStand("G2", lat0 + 0.01, lon0, 0.0);
  addStaticAc(5, "STAT*", 1, SimState::active, 2005);
  staticCandidates.push_back(StaticCandidate{1, 0, {}, "A", "", "", 1});
  staticCandidates.push_back(StaticCandidate{2, 0, {}, "B", "", "", 1});
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::adding2sim, 0, lat0, lon0, 0);
  ac.flightState = FlightState::parked;
  ac.standId = 1;
  ac.onGround = 0;
  h.pushResult(SimResult{2001, 0x400001, 0, SimResultKind::liveCreated, 0.0, 0.0});
  gf_handleSimResults();
  EXPECT_EQ(ac.onGround, 1);
  ASSERT_EQ(staticCandidates.size(), 1u);
  EXPECT_EQ(staticCandidates[0].standNumber, 2);
  EXPECT_EQ(gf_findStaticAc(5)->simState, SimState::removingfromsim);
  EXPECT_TRUE(h.logHas("G1      : KLM1     parks\n"));
  EXPECT_TRUE(h.logHas("G1      : KLM1     parks over static STAT* \x97 static will be removed"));
}

TEST(Spawning, HeldForTheUserAtTheBounds) {
  EngineHarness h;
  const double metre = 1.0 / 1852.0 / 60.0;  // degrees of latitude
  struct Case {
    const char* name;
    bool userOnGround;
    double userGroundSpeed;
    bool held;  // held before
    bool collision;
    bool frontAirborne;
    double frontGroundSpeed;
    double distanceM;  // of the front sample from the user
    bool holds;        // waits (and loses its front sample)
  };
  const Case cases[] = {
      {"UserRollsOn", true, 8.1, true, false, true, 250, 5000, true},
      {"UserSlowAircraftSlowAndAway", true, 8.0, true, false, false, 8.0, 510, false},
      {"UserSlowAircraftTaxies", true, 8.0, true, false, false, 8.1, 510, true},
      {"UserSlowAircraftTooNear", true, 8.0, true, false, false, 8.0, 490, true},
      {"UserSlowAircraftInTheAir", true, 8.0, true, false, true, 150, 490, false},
      {"CloseOnTheGround", true, 0.0, false, true, false, 5, 145, true},
      {"FarEnoughOnTheGround", true, 0.0, false, true, false, 5, 155, false},
      {"CloseWithoutCollisionCheck", true, 0.0, false, false, false, 5, 145, false},
      {"AirHeldBeforeFarAway", false, 250, true, true, true, 250, 50000, true},
      {"AirFarAway", false, 250, false, true, true, 250, 50000, false},
      {"AirHeldWithoutCollisionCheck", false, 250, true, false, true, 250, 50000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_resetEngineTables();
    h.setUser(lat0, lon0, c.userOnGround ? 0.0 : 5000.0, c.userOnGround, c.userGroundSpeed);
    COLLISION_USER_GND.value.store(c.collision);
    COLLISION_USER_AIR.value.store(c.collision);
    LiveAc& ac = buffered(0x400001, "KLM1", c.frontAirborne ? 3000 : 0, c.frontGroundSpeed);
    for (PositionSample& s : ac.samples) s.latitude = lat0 + c.distanceM * metre;
    ac.samples.push_back(ac.samples.back());
    ac.samples.back().dueCycle += 500;
    ac.heldForUser = c.held ? 1 : 0;
    EXPECT_EQ(lf_holdForUser(ac), c.holds);
    EXPECT_EQ(ac.samples.size(), c.holds ? 2u : 3u);
    EXPECT_EQ(ac.remove, 0);
  }
}

TEST(Spawning, TheSpawnStandAtItsBounds) {
  EngineHarness h;
  const double metre = 1.0 / 1852.0 / 60.0;
  h.setUser(lat0 + 0.05, lon0, 0.0, true);
  struct Case {
    const char* name;
    bool frontMarked;
    double secondGroundSpeed;
    double backOffsetM;        // the back sample north of the front one
    double airportDistanceNm;  // of the front sample
    std::string reserved;
    bool valid;
  };
  const Case cases[] = {
      {"MarkedAtTheStand", true, 0, 0, 0, "", true},
      {"SecondAtFiveKnots", false, 5.0, 10, 0, "", true},
      {"SecondFaster", false, 5.1, 10, 0, "", false},
      {"BackWithin35m", false, 0, 30, 0, "", true},
      {"BackBeyond35m", false, 0, 40, 0, "", false},
      {"AirportWithin5nm", true, 0, 0, 4.9, "", true},
      {"AirportBeyond5nm", true, 0, 0, 5.1, "", false},
      {"TheUsersReservedStand", true, 0, 0, 0, "S1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_resetEngineTables();
    setParkAirport();
    Airport airport = parkAirport.load();
    airport.latitude = lat0 - c.airportDistanceNm / 60.0;
    parkAirport.store(airport);
    reservedStandName = c.reserved;
    addStand("S1", lat0, lon0, 0.5);
    LiveAc& ac = standing(0x400001, lat0, lon0);
    ac.samples.push_back(ac.samples.back());
    ac.samples.back().latitude = lat0 + c.backOffsetM * metre;
    ac.samples.back().dueCycle += 500;
    ac.samples[0].onGroundMark = c.frontMarked ? 1 : 0;
    ac.samples[1].groundSpeed = c.secondGroundSpeed;
    const SpawnStand stand = lf_findSpawnStand(ac);
    EXPECT_EQ(stand.valid, c.valid ? 1 : 0);
    EXPECT_EQ(ac.remove, 0);
    if (c.valid) {
      EXPECT_EQ(stand.standId, 1);
      EXPECT_DOUBLE_EQ(stand.heading, 0.5);
      EXPECT_EQ(ac.samples.front().onGroundMark, 1);
      EXPECT_DOUBLE_EQ(ac.samples.front().groundSpeed, 0.0);
    }
  }
  reservedStandName.clear();
}

TEST(Spawning, SamplesStandingStillAtTheSpawn) {
  EngineHarness h;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> marks;  // front, second, third
    std::vector<std::uint8_t> marksAfter;
    std::vector<double> speedsAfter;
  };
  const Case cases[] = {
      {"AllStill", {0, 1, 1}, {1, 1, 1}, {0, 0, 0}},
      {"ThirdMoves", {0, 1, 0}, {1, 1, 0}, {0, 0, 7}},
      {"SecondMoves", {1, 0, 1}, {0, 0, 1}, {7, 7, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_resetEngineTables();
    LiveAc& ac = buffered(0x400001, "KLM1", 0, 7);
    ac.samples.push_back(ac.samples.back());
    ac.flightState = FlightState::taxi;  // a respawn: livery and first state are known
    ac.liveryTitle = engineDoubles.keepTitle("Livery B738");
    std::vector<std::uint8_t> marks;
    std::vector<double> speeds;
    for (std::size_t i = 0; i < 3; ++i) ac.samples[i].onGroundMark = c.marks[i];
    spawnLiveAc(ac);
    for (const PositionSample& s : ac.samples) {
      marks.push_back(s.onGroundMark);
      speeds.push_back(s.groundSpeed);
    }
    EXPECT_EQ(marks, c.marksAfter);
    EXPECT_EQ(speeds, c.speedsAfter);
    EXPECT_EQ(ac.simState, SimState::adding2sim);
  }
}

TEST(Spawning, AStaticAircraftAtAnExcludedStandMakesWayOnlyWhenClose) {
  EngineHarness h;
  for (double apartNm : {0.042, 0.046}) {  // the two half spans 0.02 each: 1.1 x 0.04 = 0.044
    SCOPED_TRACE(apartNm);
    gf_resetEngineTables();
    addStand("X1", lat0, lon0, 0.0);
    addStand("X2", lat0 + apartNm / 60.0, lon0, 0.0, 12, {1});
    AcBase& st = addStaticAc(7, "NEXT*", 2, SimState::active, 2007);
    st.radius = 0.02;
    LiveAc& ac = buffered();
    ac.radius = 0.02;
    SpawnStand stand;
    stand.latitude = lat0;
    stand.longitude = lon0;
    stand.standId = 1;
    stand.valid = 1;
    lf_makeWayAtExcludedStand(ac, 2, stand);
    EXPECT_EQ(gf_findStaticAc(7)->simState, apartNm < 0.044 ? SimState::removingfromsim : SimState::active);
  }
  EXPECT_TRUE(h.logHas("X2      : NEXT*    makes way for KLM1 parking at excluded stand X1"));
}
