// The engine cycle: report intake, pacing, periodic requests, simulator results, activation
// and the time-outs that keep records from waiting for ever.
#include <gtest/gtest.h>

#include <filesystem>

#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/engine_harness.hpp"
#include "engine/removal_rules.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/user_error.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "records/record_texts.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simconnect/connection.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_ids.hpp"
#include "traffic/qnh.hpp"
#include "traffic/traffic_decoder.hpp"

using namespace wdrx::testing;

namespace {

std::size_t addingStackSize() {
  std::lock_guard lock(trafficMutex);
  return addingStack.size();
}

AiCreationRecord creationOf(std::uint32_t hexid) {
  AiCreationRecord r;
  r.hexid = hexid;
  r.callsign = "CS" + std::to_string(hexid);
  return r;
}

// Reports every 5 s along a straight line east, from the harness's current cycle on.
void flyReports(EngineHarness& h, std::uint32_t hexid, const std::string& callsign, int count,
                double timestamp = 1000.0) {
  for (int i = 0; i < count; ++i) {
    h.push(EngineHarness::report(hexid, callsign, "B738", 52.40, 4.80 + 0.02 * i, 5000, 250, 90,
                                 timestamp + 5.0 * i));
    h.cycle(500);
  }
}

}  // namespace

TEST(EngineCycle, AReportedAircraftIsCreatedActivatedAndMoved) {
  EngineHarness h;
  h.setUser(52.30, 4.76, 0.0, true);
  flyReports(h, 0x484000, "KLM1234", 8);
  ASSERT_EQ(liveAcTable.size(), 1u);
  LiveAc& ac = liveAcTable[0];
  EXPECT_EQ(ac.simState, SimState::adding2sim);
  EXPECT_EQ(ac.flightState, FlightState::flying);
  EXPECT_EQ(ac.liveryTitle, "Livery B738");
  const auto creations = h.takeCreations();
  ASSERT_EQ(creations.size(), 1u);
  EXPECT_EQ(creations[0].callsign, "KLM1234");
  EXPECT_EQ(creations[0].liveryTitle, "Livery B738");
  EXPECT_EQ(creations[0].position.onGround, 0u);
  EXPECT_DOUBLE_EQ(creations[0].position.altitude, 5000.0);
  EXPECT_NEAR(creations[0].position.heading, 90.0, 1.0);

  h.pushResult(SimResult{1000, 0x484000, 0, SimResultKind::liveCreated, 0.0, 4800.0});
  h.cycle(200);  // the cycle of the result and 199 more
  EXPECT_EQ(liveAcTable[0].simState, SimState::adding2sim) << "activated 200 cycles after creation";
  h.cycle(1);
  EXPECT_EQ(liveAcTable[0].simState, SimState::active);
  EXPECT_EQ(liveAcTable[0].objectId, 1000u);
  EXPECT_DOUBLE_EQ(liveAcTable[0].heightAboveGround, 4800.0);
  h.cycle(2);
  const auto positions = h.takeSentPositions();
  ASSERT_EQ(positions.size(), 1u) << "one position per aircraft and cycle";
  EXPECT_EQ(positions[0].objectId, 1000u);
  EXPECT_NEAR(positions[0].latitude, 52.40, 0.001);
}

TEST(EngineCycle, AtMostTwoReportsACycleOldestFirst) {
  EngineHarness h;
  for (std::uint32_t i = 0; i < 3; ++i)
    h.push(EngineHarness::report(0x400000 + i, "CS" + std::to_string(i), "B738", 52.4, 4.8, 5000, 250, 90, 1.0));
  h.cycle();
  EXPECT_EQ(addingStackSize(), 1u);
  ASSERT_EQ(liveAcTable.size(), 2u);
  EXPECT_EQ(liveAcTable[0].hexid, 0x400000u);
  EXPECT_EQ(liveAcTable[1].hexid, 0x400001u);
  h.cycle();
  EXPECT_EQ(addingStackSize(), 0u);
  EXPECT_EQ(liveAcTable.size(), 3u);
}

TEST(EngineCycle, AFloodKeepsTheAddingStackBoundedAndIsLoggedOnceAMinute) {
  EngineHarness h;
  for (std::uint32_t i = 0; i < addingStackLimit + 500; ++i)
    h.push(EngineHarness::report(0x400000 + i, "F" + std::to_string(i), "B738", 52.4, 4.8, 5000, 250, 90, 1.0));
  h.cycle();
  EXPECT_EQ(addingStackSize(), addingStackLimit - 2);
  EXPECT_EQ(liveAcTable.front().hexid, 0x400000u + 500) << "the oldest were dropped";
  EXPECT_TRUE(h.logHas("lf_handleAddingStack: 500 reports dropped, more than 2000 waiting"));
  for (int i = 0; i < 10; ++i)
    h.push(EngineHarness::report(0x500000 + i, "G" + std::to_string(i), "B738", 52.4, 4.8, 5000, 250, 90, 1.0));
  h.cycle();  // 8 more dropped, not logged yet
  EXPECT_FALSE(h.logHas("8 reports dropped"));
  h.cycle(5998);
  for (std::size_t i = 0; i < addingStackLimit + 1; ++i)
    h.push(EngineHarness::report(0x600000 + i, "H" + std::to_string(i), "B738", 52.4, 4.8, 5000, 250, 90, 1.0));
  h.cycle();
  EXPECT_TRUE(h.logHas("lf_handleAddingStack: 9 reports dropped")) << h.log().substr(h.log().size() - 300);
}

TEST(EngineCycle, OneCreationPer50CyclesLiveFirstOneRemovalPer10) {
  EngineHarness h;
  engineCycle.store(41);
  liveAddQueue.push_back(creationOf(0x400001));
  staticAddQueue.push_back(creationOf(7));
  // Candidates for a stand the airport lacks: each is taken and dropped.
  addStand("A1", 52.3, 4.8, 0.0);
  staticCandidates.assign(100, StaticCandidate{99, 0, AircraftCodes{}, "KLM9", "", "", 1});
  removeIdQueue.assign({2001, 2002, 2003});
  h.cycle(9);  // cycles 41..49
  EXPECT_TRUE(h.takeCreations().empty());
  EXPECT_TRUE(h.takeRemovals().empty());
  h.cycle();  // 50
  auto creations = h.takeCreations();
  ASSERT_EQ(creations.size(), 1u);
  EXPECT_EQ(creations[0].hexid, 0x400001u) << "live before static";
  EXPECT_EQ(h.takeRemovals(), std::vector<std::uint32_t>{2001});
  h.cycle(10);  // 51..60
  EXPECT_EQ(h.takeRemovals(), std::vector<std::uint32_t>{2002});
  EXPECT_TRUE(h.takeCreations().empty());
  h.cycle(40);  // 61..100
  creations = h.takeCreations();
  ASSERT_EQ(creations.size(), 1u);
  EXPECT_EQ(creations[0].hexid, 7u);
  EXPECT_EQ(h.takeRemovals(), std::vector<std::uint32_t>{2003});
  EXPECT_EQ(staticCandidates.size(), 40u) << "static placement once per cycle";
}

TEST(EngineCycle, RangeRequestEvery100CyclesEvery20WhileAnAircraftFlares) {
  EngineHarness h;
  auto* sim = h.sim();
  const auto rangeRequests = [sim] { return sim->count(SimFunction::RequestDataOnSimObjectType); };
  engineCycle.store(1);
  h.cycle(199);  // 1..199: cycle 100
  ASSERT_TRUE(sim->waitForCount(SimFunction::RequestDataOnSimObjectType, 1));
  LiveAc& flaring = addLiveAc(0x400001, "FLR1", "B738", SimState::removingfromsim, 0, 52.3, 4.8, 300);
  flaring.flareMark = 1;
  h.cycle(101);  // 200..300: the mark counts from the next cycle on: 200 (at 100s), 220 ... 300
  ASSERT_TRUE(sim->waitForCount(SimFunction::RequestDataOnSimObjectType, 7));
  liveAcTable[0].flareMark = 0;
  h.cycle(99);  // 301..399: none
  h.cycle(1);   // 400
  ASSERT_TRUE(sim->waitForCount(SimFunction::RequestDataOnSimObjectType, 8));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(rangeRequests(), 8u);
  const auto packets = sim->packets(SimFunction::RequestDataOnSimObjectType);
  EXPECT_EQ(packets.back().requestId, simid::reqInRange);
  EXPECT_EQ(packets.back().defineId, simid::defInRange);
  EXPECT_EQ(packets.back().radius, rangeMeters.load());
  // The user position is asked for every 100 cycles: 100, 200, 300, 400.
  ASSERT_TRUE(sim->waitFor([sim] {
    std::size_t n = 0;
    for (const auto& p : sim->packets(SimFunction::RequestDataOnSimObject)) n += p.requestId == simid::reqUserState;
    return n == 4;
  }));
}

TEST(EngineCycle, AFailedRangeRequestBlocksTheQueuesAndEndsTheRun) {
  EngineHarness h;
  fakesim::FakeSim& sim = *h.sim();
  ASSERT_TRUE(sim.waitFor([&sim] { return sim.connectionsOpen() == 1; }));
  sim.closeConnections();  // the connection breaks; the handle is still held
  ASSERT_TRUE(sim.waitFor([] { return simConnectHandle.load()->failed(); }));
  engineCycle.store(100);
  h.cycle();
  EXPECT_TRUE(simQueuesBlocked.load());
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::SimConnectError);
  EXPECT_TRUE(h.logHas("SimConnect request ac within range fails"));
  // Nothing more goes to the broken link: neither the same cycle's user request nor the next
  // range request.
  engineCycle.store(200);
  h.cycle();
  const std::string log = h.log();
  const std::string failure = "SimConnect request ac within range fails";
  EXPECT_EQ(log.find(failure), log.rfind(failure));
  EXPECT_FALSE(h.logHas("SimConnect request user ac position fails"));
}

TEST(EngineCycle, TouchdownOnceThenOnlyHeights) {
  EngineHarness h;
  struct Case {
    const char* name;
    std::string_view model;
    std::uint8_t flareStage, approach, fsltl;
    bool landing;
    std::optional<double> throttleLever;  // data definition 401 throttle value sent
  };
  const Case cases[] = {
      {"LandingFsltl", "B738", 2, 1, 1, true, -100.0},
      {"ApproachOnly", "A320", 0, 1, 0, true, 0.0},  // idle: no reversers without FSLTL
      {"NotLanding", "B738", 0, 0, 0, false, std::nullopt},
      {"LandingLight", "C172", 1, 0, 0, true, std::nullopt},  // last: the count below is of its packets
  };
  std::uint32_t objectId = 2000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.sim()->clearPackets();
    LiveAc& ac = addLiveAc(0x400000 + objectId, c.name, c.model, SimState::active, objectId, 52.3, 4.8, 30);
    ac.onGround = 0;
    ac.flareStage = c.flareStage;
    ac.approach = c.approach;
    ac.flareMark = 1;
    ac.fsltl = c.fsltl;
    ac.staticHeight = 8.0;
    ac.pitch = -0.05;
    ac.bank = 0.1;
    ac.heading = 1.0;
    const std::uint32_t hexid = ac.hexid;
    h.pushResult(SimResult{objectId, 1, 0, SimResultKind::inRange, 100.0, 7.5});
    gf_handleSimResults();
    LiveAc& now = *gf_findLiveAc(hexid);
    EXPECT_EQ(now.onGround, 1);
    EXPECT_EQ(now.touchdown, c.landing ? 1 : 0);
    EXPECT_EQ(now.landingRoll, c.landing ? 1 : 0);
    EXPECT_EQ(now.flareMark, c.landing ? 0 : 1);
    EXPECT_DOUBLE_EQ(now.heightAboveGround, 7.5);
    EXPECT_DOUBLE_EQ(now.altitude, 108.0) << "ground altitude + static height once on the ground";
    if (c.landing) {
      EXPECT_DOUBLE_EQ(now.touchdownHeading, 1.0);
      EXPECT_EQ(now.touchdownSeen, 1);
      EXPECT_EQ(now.approach, 0);
      EXPECT_NEAR(now.pitchRate, (0.0 - -0.05) / now.touchdownCycles, 1e-12);
      EXPECT_NEAR(now.bankRate, -0.1 / now.touchdownCycles, 1e-12);
      EXPECT_TRUE(!approachList.empty() && approachList.back() == hexid);
    }
    if (c.throttleLever) {
      ASSERT_TRUE(h.sim()->waitForCount(SimFunction::SetDataOnSimObject, 1));
      const auto values = h.sim()->packets(SimFunction::SetDataOnSimObject).back().doubles();
      EXPECT_EQ(values, (std::vector<double>{100.0, *c.throttleLever, *c.throttleLever}));
    }
    // A second answer changes only the heights.
    now.touchdownSeen = 0;
    h.pushResult(SimResult{objectId, 1, 0, SimResultKind::inRange, 50.0, 6.0});
    gf_handleSimResults();
    EXPECT_EQ(gf_findLiveAc(hexid)->touchdownSeen, 0);
    EXPECT_DOUBLE_EQ(gf_findLiveAc(hexid)->altitude, 58.0);
    ++objectId;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(h.sim()->count(SimFunction::SetDataOnSimObject), 0u) << "none for Light or without landing";
  // Another aircraft's flare is not ended by a touchdown.
  LiveAc& other = addLiveAc(0x450000, "OTHER", "B738", SimState::active, 3000, 52.3, 4.8, 300);
  other.flareMark = 1;
  LiveAc& lander = addLiveAc(0x450001, "LAND", "B738", SimState::active, 3001, 52.3, 4.8, 30);
  lander.onGround = 0;
  lander.flareStage = 3;
  lander.flareMark = 1;
  h.pushResult(SimResult{3001, 1, 0, SimResultKind::inRange, 0.0, 5.0});
  gf_handleSimResults();
  EXPECT_EQ(flareActive, 1);
  EXPECT_EQ(gf_findLiveAc(0x450000)->flareMark, 1);
}

TEST(EngineCycle, StaticCentreOfGravityIsBounded) {
  EngineHarness h;
  struct Case {
    double height, pitchDeg, wantHeight, wantPitchDeg;
  };
  const Case cases[] = {{0.5, -2.0, 0.0, 0.7}, {1.0, 3.0, 1.0, 0.7}, {35.0, -1.0, 35.0, 0.7},
                        {35.1, 2.5, 0.0, 2.5},  {12.0, -0.9, 12.0, -0.9}, {20.0, 0.0, 20.0, 0.0}};
  std::uint32_t objectId = 2000;
  for (const Case& c : cases) {
    LiveAc& ac = addLiveAc(0x400000 + objectId, "CG", "B738", SimState::active, objectId);
    const std::uint32_t hexid = ac.hexid;
    h.pushResult(SimResult{objectId, 0, 0, SimResultKind::staticCg, c.height, c.pitchDeg * degToRad});
    gf_handleSimResults();
    EXPECT_DOUBLE_EQ(gf_findLiveAc(hexid)->staticHeight, c.wantHeight) << c.height;
    EXPECT_NEAR(gf_findLiveAc(hexid)->groundPitch, c.wantPitchDeg * degToRad, 1e-12) << c.pitchDeg;
    ++objectId;
  }
}

TEST(EngineCycle, ActivationLightsByFlightState) {
  EngineHarness h;
  struct Case {
    const char* name;
    FlightState state;
    double altitude;
    bool airborne;
    std::vector<std::uint32_t> lights;  // nav, beacon, landing, taxi, strobes, logo, cabin
    std::uint32_t engineEvent;
  };
  const Case cases[] = {
      {"Cruise", FlightState::flying, 12000, true, {1, 1, 0, 0, 1, 0, 1}, simid::engineAutoStart},
      {"Low", FlightState::flying, 3000, true, {1, 1, 1, 0, 1, 1, 1}, simid::engineAutoStart},
      {"At10000", FlightState::flying, 10000, true, {1, 1, 1, 0, 1, 1, 1}, simid::engineAutoStart},
      {"CabinAt2000", FlightState::flying, 2000, true, {1, 1, 1, 0, 1, 1, 1}, simid::engineAutoStart},
      {"CabinDarkBelow2000", FlightState::flying, 1999, true, {1, 1, 1, 0, 1, 1, 0}, simid::engineAutoStart},
      {"Parked", FlightState::parked, 0, false, {1, 0, 0, 0, 0, 1, 1}, simid::engineAutoShutdown},
      {"Taxi", FlightState::taxi, 0, false, {1, 1, 0, 1, 0, 1, 1}, simid::engineAutoStart},
  };
  std::uint32_t objectId = 2000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LiveAc& ac = addLiveAc(0x400000 + objectId, c.name, "B738", SimState::adding2sim, 0, 52.3, 4.8, c.altitude);
    ac.flightState = c.state;
    ac.samples.front().airborne = c.airborne ? 1 : 0;
    ac.heightAboveGround = c.altitude;
    ac.objectId = objectId;
    gf_indexObjectId(ac);
    activationList.push_back(SimResult{objectId, ac.hexid, 0, SimResultKind::liveCreated, 0.0, 0.0});
    h.takeEvents();
    for (int i = 0; i < 200; ++i) gf_handleSimResults();
    auto events = h.takeEvents();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].eventId, simid::allLightsToggle);
    EXPECT_EQ(events[1].eventId, simid::allLightsToggle);
    EXPECT_EQ(gf_findLiveAc(0x400000 + objectId)->simState, SimState::adding2sim);
    gf_handleSimResults();
    EXPECT_EQ(gf_findLiveAc(0x400000 + objectId)->simState, SimState::active);
    events = h.takeEvents();
    std::vector<std::uint32_t> lights;
    std::vector<std::uint32_t> ids;
    for (const auto& e : events) {
      ids.push_back(e.eventId);
      if (e.eventId >= simid::beaconLights && e.eventId <= simid::logoLights) lights.push_back(e.value);
    }
    EXPECT_NE(std::find(ids.begin(), ids.end(), c.engineEvent), ids.end());
    // Queued order: nav, beacon, landing, taxi, strobes, logo, cabin.
    EXPECT_EQ(lights, c.lights);
    ++objectId;
  }
  EXPECT_TRUE(activationList.empty());
}

TEST(EngineCycle, AnActivationNeverActivatesANewerRecordOfTheSameHexid) {
  EngineHarness h;
  LiveAc& old = addLiveAc(0x400001, "OLD", "B738", SimState::adding2sim);
  old.objectId = 2000;
  gf_indexObjectId(old);
  activationList.push_back(SimResult{2000, 0x400001, 0, SimResultKind::liveCreated, 0.0, 0.0});
  // The record goes (its creation timed out) and the aircraft is reported anew.
  lf_eraseLiveAc(0);
  addLiveAc(0x400001, "NEW", "B738", SimState::adding2sim);
  for (std::uint32_t i = 0; i < activationWaitLimit + 5; ++i) gf_handleSimResults();
  EXPECT_EQ(gf_findLiveAc(0x400001)->simState, SimState::adding2sim);
  EXPECT_EQ(gf_findLiveAc(0x400001)->objectId, 0u);
  EXPECT_TRUE(activationList.empty()) << "given up after the wait limit";
  EXPECT_EQ(removeIdQueue, std::deque<std::uint32_t>{2000}) << "the orphan object leaves the simulator";
  EXPECT_TRUE(h.logHas("lf_activateCreated: no aircraft waits for object 2000 (hexid 4194305), removed"));
}

TEST(EngineCycle, CreationResultsForGoneOrUnexpectedRecords) {
  EngineHarness h;
  h.pushResult(SimResult{2000, 0x400001, 0, SimResultKind::liveCreated, 0.0, 0.0});  // no record
  LiveAc& ac = addLiveAc(0x400002, "ABC", "B738", SimState::adding2sim);
  h.pushResult(SimResult{2, 0x400002, 0, SimResultKind::liveCreated, 0.0, 0.0});  // object id below 3
  gf_handleSimResults();
  EXPECT_TRUE(activationList.empty());
  EXPECT_EQ(removeIdQueue, std::deque<std::uint32_t>{2000});
  EXPECT_EQ(ac.objectId, 0u);
  // A creation for a record that is not being created (a buffered namesake) is removed too.
  addLiveAc(0x400003, "BUF", "B738", SimState::buffer);
  h.pushResult(SimResult{2001, 0x400003, 0, SimResultKind::liveCreated, 0.0, 0.0});
  gf_handleSimResults();
  EXPECT_TRUE(!removeIdQueue.empty() && removeIdQueue.back() == 2001u);
  EXPECT_EQ(gf_findLiveAc(0x400003)->simState, SimState::buffer);
}

TEST(EngineCycle, RemovalAskedDuringCreationHappensAtActivation) {
  EngineHarness h;
  addStand("A1", 52.3, 4.8, 0.0);
  LiveAc& live = addLiveAc(0x400001, "LIVE", "B738", SimState::adding2sim);
  live.removeWhenCreated = 1;
  AcBase& st = addStaticAc(5, "STAT*", 1, SimState::adding2sim);
  st.removeWhenCreated = 1;
  h.pushResult(SimResult{2000, 0x400001, 0, SimResultKind::liveCreated, 0.0, 0.0});
  h.pushResult(SimResult{2001, 5, 0, SimResultKind::staticCreated, 0.0, 0.0});
  for (int i = 0; i < 201; ++i) gf_handleSimResults();
  EXPECT_EQ(gf_findLiveAc(0x400001)->simState, SimState::removingfromsim);
  EXPECT_EQ(gf_findStaticAc(5)->simState, SimState::removingfromsim);
  EXPECT_EQ(removeIdQueue, (std::deque<std::uint32_t>{2000, 2001}));
  EXPECT_TRUE(h.logHas("A1      : STAT*    parked"));
  // The simulator confirms: both leave their tables.
  h.pushResult(SimResult{2000, 0, 0, SimResultKind::removed, 0.0, 0.0});
  h.pushResult(SimResult{2001, 0, 0, SimResultKind::removed, 0.0, 0.0});
  gf_handleSimResults();
  EXPECT_TRUE(liveAcTable.empty());
  EXPECT_TRUE(staticAcTable.empty());
}

TEST(EngineCycle, FailedCreationErasesTheRecordAndNotesTheLivery) {
  EngineHarness h;
  addStand("B2", 52.3, 4.8, 0.0);
  addLiveAc(0x400001, "FIRST", "B738", SimState::active, 2000);
  LiveAc& failing = addLiveAc(0x400002, "FAIL", "B738", SimState::adding2sim);
  failing.liveryTitle = engineDoubles.keepTitle("Bad livery");
  failing.standId = 1;
  addLiveAc(0x400003, "LAST", "B738", SimState::active, 2001);
  AcBase& st = addStaticAc(9, "S9*", 1, SimState::adding2sim);
  st.liveryTitle = engineDoubles.keepTitle("Bad static livery");
  addLiveAc(0x400004, "ACTIVE", "B738", SimState::active, 2002);
  h.pushResult(SimResult{0, 0x400002, 0, SimResultKind::creationFailed, 0.0, 0.0});
  h.pushResult(SimResult{0, 9, 0, SimResultKind::creationFailed, 0.0, 0.0});
  h.pushResult(SimResult{0, 0x400004, 0, SimResultKind::creationFailed, 0.0, 0.0});  // not being created
  gf_handleSimResults();
  ASSERT_EQ(liveAcTable.size(), 3u);
  EXPECT_EQ(liveAcTable[1].hexid, 0x400004u) << "the last record takes the place";
  EXPECT_EQ(gf_findLiveAc(0x400002), nullptr);
  EXPECT_TRUE(staticAcTable.empty());
  EXPECT_TRUE(failedLiveries.contains("Bad livery"));
  EXPECT_TRUE(failedLiveries.contains("Bad static livery"));
  ASSERT_FALSE(engineDoubles.occupiedCalls.empty());
  EXPECT_EQ(engineDoubles.occupiedCalls.back(), (std::pair<std::int32_t, bool>{1, false}));
  EXPECT_EQ(gf_findLiveAcByObjectId(2001)->hexid, 0x400003u) << "the index follows the moved record";
}

TEST(EngineCycle, ATimedOutCreationRetiresTheRecordButNotItsLivery) {
  EngineHarness h;
  for (int i = 0; i < 19; ++i) failedLiveries.emplace(engineDoubles.keepTitle("Failed " + std::to_string(i)));
  LiveAc& ac = addLiveAc(0x400001, "SLOW", "B738", SimState::adding2sim);
  ac.liveryTitle = engineDoubles.keepTitle("Silent livery");
  AcBase& st = addStaticAc(9, "S9*", 1, SimState::adding2sim);
  st.liveryTitle = engineDoubles.keepTitle("Silent static livery");
  h.pushResult(SimResult{0, 0x400001, 0, SimResultKind::creationTimedOut, 0.0, 0.0});
  h.pushResult(SimResult{0, 9, 0, SimResultKind::creationTimedOut, 0.0, 0.0});
  EXPECT_NO_THROW(gf_handleSimResults()) << "a time-out never counts towards error 81";
  EXPECT_TRUE(liveAcTable.empty());
  EXPECT_TRUE(staticAcTable.empty());
  EXPECT_EQ(failedLiveries.size(), 19u);
  EXPECT_FALSE(failedLiveries.contains("Silent livery"));
}

TEST(EngineCycle, TwentiethFailedLiveryIsTheUsersErrorAfterTheOtherResults) {
  EngineHarness h;
  for (int i = 0; i < 19; ++i) failedLiveries.emplace(engineDoubles.keepTitle("Failed " + std::to_string(i)));
  LiveAc& ac = addLiveAc(0x400001, "FAIL", "B738", SimState::adding2sim);
  ac.liveryTitle = engineDoubles.keepTitle("Twentieth");
  addLiveAc(0x400002, "LATER", "B738", SimState::active, 2000);
  h.pushResult(SimResult{0, 0x400001, 0, SimResultKind::creationFailed, 0.0, 0.0});
  h.pushResult(SimResult{2000, 0, 0, SimResultKind::removed, 0.0, 0.0});
  EXPECT_THROW(gf_handleSimResults(), tql::UserErrorException);
  EXPECT_TRUE(liveAcTable.empty()) << "the result after the failure was handled too";
  {
    std::lock_guard lock(simResultMutex);
    EXPECT_TRUE(simResultQueue.empty());
  }
}

TEST(EngineCycle, RemovedObjectsLeaveTheTablesARespawnGoesBackToBuffer) {
  EngineHarness h;
  LiveAc& planned = addLiveAc(0x400001, "PLAN", "B738", SimState::removingfromsim, 2000);
  planned.hasFlightPlan = 1;
  const auto plan = gf_flightPlanFileName(2000);
  ASSERT_TRUE(gf_writeFlightPlan(plan, AcCategory::Large, "AMS", "LHR"));
  LiveAc& respawn = addLiveAc(0x400002, "RESP", "B738", SimState::liveryrespawn, 2001);
  respawn.lastThrottle = 2;
  respawn.lastFlaps = 1;
  addStaticAc(3, "S3*", 0, SimState::removingfromsim, 2002);
  for (std::uint32_t id : {2000u, 2001u, 2002u, 2999u})
    h.pushResult(SimResult{id, 0, 0, SimResultKind::removed, 0.0, 0.0});
  gf_handleSimResults();
  EXPECT_FALSE(std::filesystem::exists(plan));
  ASSERT_EQ(liveAcTable.size(), 1u);
  const LiveAc& back = liveAcTable[0];
  EXPECT_EQ(back.simState, SimState::buffer);
  EXPECT_EQ(back.objectId, 0u);
  EXPECT_EQ(back.lastThrottle, 5u);
  EXPECT_EQ(back.lastFlaps, 4u);
  EXPECT_TRUE(staticAcTable.empty());
}

TEST(EngineCycle, BlockedCreationsAreRemoved) {
  EngineHarness h;
  addLiveAc(0x400001, "BUF", "B738", SimState::buffer);
  addLiveAc(0x400002, "ACT", "B738", SimState::active, 2000);
  h.pushResult(SimResult{0, 0x400001, 0, SimResultKind::createdWhileBlocked, 0.0, 0.0});
  h.pushResult(SimResult{2000, 0x400002, 0, SimResultKind::createdWhileBlocked, 0.0, 0.0});
  gf_handleSimResults();
  EXPECT_EQ(gf_findLiveAc(0x400001)->remove, 1);
  EXPECT_EQ(gf_findLiveAc(0x400002)->simState, SimState::removingfromsim);
  EXPECT_TRUE(h.logHas("will be removed from buffer while blocked"));
  EXPECT_TRUE(h.logHas("removed from simulator immediately while blocked"));
}

TEST(EngineCycle, NoRecordWaitsForEver) {
  EngineHarness h;
  addStand("C3", 52.3, 4.8, 0.0);
  // A creation handed over and never answered.
  LiveAc& creating = addLiveAc(0x400001, "CREATE", "B738", SimState::adding2sim);
  creating.standId = 1;
  liveAddQueue.push_back(creationOf(0x400001));
  // A removal handed over and never confirmed.
  addLiveAc(0x400002, "REMOVE", "B738", SimState::active, 2000);
  removeAircraftFromSim(*gf_findLiveAc(0x400002));
  // An active record without object id.
  addLiveAc(0x400003, "NOOBJ", "B738", SimState::active, 0);
  // A static creation and a static removal never answered.
  AcBase& st = addStaticAc(4, "S4*", 0, SimState::adding2sim);
  staticAddQueue.push_back(creationOf(4));
  (void)st;
  addStaticAc(5, "S5*", 0, SimState::active, 2001);
  removeAircraftFromSim(*gf_findStaticAc(5));

  engineCycle.store(50);
  h.cycle();
  EXPECT_EQ(gf_findLiveAc(0x400003), nullptr) << "object id 0 leaves at once";
  EXPECT_TRUE(h.logHas("objectid=0? hexid: 4194307"));
  h.cycle(50);  // cycle 100: the static creation goes out
  EXPECT_EQ(h.takeCreations().size(), 2u);
  EXPECT_EQ(h.takeRemovals().size(), 2u);
  h.runTo(100 + removalAnswerTimeout + 1);
  EXPECT_EQ(gf_findLiveAc(0x400002), nullptr) << "removal not confirmed";
  EXPECT_NE(gf_findLiveAc(0x400001), nullptr) << "a creation is awaited longer";
  h.runTo(200 + creationAnswerTimeout + 2);
  EXPECT_EQ(gf_findLiveAc(0x400001), nullptr);
  EXPECT_TRUE(staticAcTable.empty());
  EXPECT_TRUE(liveAcTable.empty());
  ASSERT_FALSE(engineDoubles.occupiedCalls.empty());
  EXPECT_EQ(engineDoubles.occupiedCalls.back(), (std::pair<std::int32_t, bool>{1, false}));
  EXPECT_TRUE(h.logHas("creation not confirmed by the sim after 90 s, dropped"));
  EXPECT_TRUE(h.logHas("removal not confirmed by the sim after 30 s, dropped"));
  EXPECT_FALSE(failedLiveries.contains("")) << "a time-out is not a refused livery";
}

TEST(EngineCycle, OneThrowingAircraftIsRemovedTheOthersMoveOn) {
  EngineHarness h;
  LiveAc& bad = addLiveAc(0x400001, "BAD", "B738", SimState::active, 2000, 52.3, 4.8, 3000);
  bad.samples.front().dueCycle = engineCycle.load();
  LiveAc& good = addLiveAc(0x400002, "GOOD", "B738", SimState::active, 2001, 52.3, 4.9, 3000);
  good.samples.front().dueCycle = engineCycle.load() + 5000;
  // A leg to the other side of the earth at a crawl: its cycle count is beyond 32 bits.
  bad.samples.front().groundSpeed = 0.0;
  bad.samples.push_back(sampleAt(-52.3, -175.2, 3000, 1e-6, engineCycle.load() + 500));
  h.cycle();
  EXPECT_TRUE(h.logHas("updateLiveAc: narrowing_error"));
  EXPECT_TRUE(h.logHas("BAD"));
  EXPECT_EQ(gf_findLiveAc(0x400001)->simState, SimState::removingfromsim);
  EXPECT_EQ(removeIdQueue.front(), 2000u);
  h.cycle();
  const auto sent = h.takeSentPositions();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].objectId, 2001u);
}

TEST(EngineCycle, OneThrowingReportIsDroppedTheNextIsTakenUnlocked) {
  EngineHarness h;
  LiveAc& ac = addLiveAc(0x400001, "OLD1", "B738", SimState::active, 2000, 52.4, 4.8, 5000);
  ac.flightState = FlightState::flying;
  // The new callsign's ghost goes, and giving back its stand fails.
  LiveAc& ghost = addLiveAc(0x400005, "NEW1_", "B738", SimState::active, 2005, 52.3, 4.8, 0);
  ghost.standId = 7;
  bool unlocked = false;
  engineDoubles.occupiedHook = [&unlocked](std::int32_t, bool) {
    unlocked = trafficMutex.try_lock();
    if (unlocked) trafficMutex.unlock();
    throw std::runtime_error("ghost rule failed");
  };
  h.push(EngineHarness::report(0x400001, "NEW1", "B738", 52.4, 4.81, 5000, 250, 90, 2000.0));
  h.push(EngineHarness::report(0x400009, "OTHER", "B738", 52.5, 4.8, 5000, 250, 90, 2000.0));
  h.cycle();
  EXPECT_TRUE(unlocked) << "reports are handled after trafficMutex was released";
  EXPECT_TRUE(h.logHas("lf_takeReport exception: ghost rule failed, callsign NEW1, hexid 4194305"));
  EXPECT_NE(gf_findLiveAc(0x400009), nullptr) << "the next report was taken";
}

TEST(EngineCycle, TheCycleCounterRunsPastThirtyTwoBits) {
  EngineHarness h;
  const std::int64_t start = (std::int64_t{1} << 31) - 3100;
  engineCycle.store(start);
  flyReports(h, 0x484000, "LONG", 9);
  ASSERT_EQ(liveAcTable.size(), 1u);
  EXPECT_GT(liveAcTable[0].samples.back().dueCycle, std::int64_t{1} << 31);
  EXPECT_EQ(liveAcTable[0].simState, SimState::adding2sim) << "spawned across the 32-bit boundary";
}

TEST(EngineCycle, ResetEmptiesTheRunState) {
  EngineHarness h;
  addLiveAc(0x400001, "A", "B738", SimState::active, 2000);
  addStaticAc(1, "S*", 0, SimState::active, 2001);
  liveAddQueue.push_back(creationOf(0x400002));
  spawnStack.push_back(0x400003);
  removeIdQueue.push_back(5);
  ghostCallsigns.push_back("X_");
  creationRequests[0x400001] = "T";
  unmatchedAircraft.push_back("U");
  flareActive = 1;
  qnhHpa.store(990);
  h.push(EngineHarness::report(0x400004, "R", "B738", 52.4, 4.8, 5000, 250, 90, 1.0));
  gf_resetEngineTables();
  EXPECT_TRUE(liveAcTable.empty());
  EXPECT_TRUE(staticAcTable.empty());
  EXPECT_TRUE(liveAddQueue.empty());
  EXPECT_TRUE(spawnStack.empty());
  EXPECT_TRUE(removeIdQueue.empty());
  EXPECT_TRUE(ghostCallsigns.empty());
  EXPECT_TRUE(creationRequests.empty());
  EXPECT_TRUE(unmatchedAircraft.empty());
  EXPECT_EQ(flareActive, 0);
  EXPECT_EQ(qnhHpa.load(), 1013);
  EXPECT_EQ(addingStackSize(), 0u);
  EXPECT_EQ(gf_findLiveAc(0x400001), nullptr);
}

TEST(EngineCycle, NoTouchdownOutsideItsConditions) {
  EngineHarness h;
  struct Case {
    const char* name;
    std::uint32_t onGroundKey;
    std::uint8_t onGround;
    std::int32_t flareCounter;
    SimState simState;
    FlightState flightState;
    bool altitudeFromGround;  // ground altitude + static height
  };
  const Case cases[] = {
      {"Touchdown", 1, 0, 1, SimState::active, FlightState::flying, true},
      {"TakingOff", 1, 0, 1, SimState::active, FlightState::take_off, false},
      {"BeingRemoved", 1, 0, 1, SimState::removingfromsim, FlightState::flying, false},
      {"FlareCounterRunning", 1, 0, 2, SimState::active, FlightState::flying, true},
      {"InTheAirFlareCounterRunning", 0, 0, 2, SimState::active, FlightState::flying, true},
      {"InTheAir", 0, 0, 1, SimState::active, FlightState::flying, false},
  };
  std::uint32_t objectId = 2000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LiveAc& ac = addLiveAc(0x400000 + objectId, c.name, "B738", c.simState, objectId, 52.3, 4.8, 300);
    ac.flightState = c.flightState;
    ac.onGround = c.onGround;
    ac.flareCounter = c.flareCounter;
    ac.flareStage = 2;
    ac.staticHeight = 8.0;
    const std::uint32_t hexid = ac.hexid;
    h.pushResult(SimResult{objectId, c.onGroundKey, 0, SimResultKind::inRange, 100.0, 7.5});
    gf_handleSimResults();
    const LiveAc& now = *gf_findLiveAc(hexid);
    const bool touchdown = std::string_view(c.name) == "Touchdown";
    EXPECT_EQ(now.touchdown, touchdown ? 1 : 0);
    EXPECT_EQ(now.onGround, touchdown ? 1 : 0);
    EXPECT_DOUBLE_EQ(now.heightAboveGround, 7.5);
    EXPECT_DOUBLE_EQ(now.altitude, c.altitudeFromGround ? 108.0 : 300.0);
    ++objectId;
  }
}

TEST(EngineCycle, ATouchdownWithoutAttitudeCycles) {
  EngineHarness h;
  LiveAc& ac = addLiveAc(0x400001, "ZERO", "B738", SimState::active, 2000, 52.3, 4.8, 30);
  ac.onGround = 0;
  ac.flareStage = 2;
  ac.touchdownCycles = 0;
  ac.groundPitch = 0.01;
  ac.bank = 0.1;
  h.pushResult(SimResult{2000, 1, 0, SimResultKind::inRange, 0.0, 5.0});
  gf_handleSimResults();
  EXPECT_DOUBLE_EQ(ac.pitchRate, 0.01);
  EXPECT_DOUBLE_EQ(ac.bankRate, 0.0);
  EXPECT_TRUE(h.logHas("ZERO ! onGround slots 0.0"));
}

TEST(EngineCycle, StaticActivationsAndRotorcraftAtTheirActivation) {
  EngineHarness h;
  addStand("A1", 52.3, 4.8, 0.0);
  addStaticAc(5, "STAT*", 1, SimState::adding2sim);
  activationList.push_back(SimResult{2005, 5, 0, SimResultKind::staticCreated, 0.0, 0.0});
  LiveAc& heli = addLiveAc(0x400001, "HELI", "EC35", SimState::adding2sim, 2001, 52.3, 4.8, 0);
  heli.samples.front().airborne = 0;
  activationList.push_back(SimResult{2001, 0x400001, 0, SimResultKind::liveCreated, 0.0, 0.0});
  h.takeEvents();
  for (int i = 0; i < 201; ++i) gf_handleSimResults();
  EXPECT_EQ(gf_findStaticAc(5)->simState, SimState::active);
  EXPECT_EQ(gf_findLiveAc(0x400001)->simState, SimState::active);
  std::size_t toggles = 0;
  bool throttleUp = false;
  for (const auto& e : h.takeEvents()) {
    if (e.eventId == simid::allLightsToggle) {
      ++toggles;
      EXPECT_EQ(e.objectId, 2001u) << "only live objects get the lights toggled";
    }
    throttleUp = throttleUp || (e.objectId == 2001 && e.eventId == simid::throttleSet && e.value == 16383);
  }
  EXPECT_EQ(toggles, 2u);
  EXPECT_TRUE(throttleUp) << "a helicopter on the ground starts with its throttle up";
  EXPECT_TRUE(h.logHas("A1      : STAT*    parked"));
}

TEST(EngineCycle, AnActivationWaitsForItsRecordUpToTheLimit) {
  EngineHarness h;
  activationList.push_back(SimResult{2000, 0x400001, 0, SimResultKind::liveCreated, 0.0, 0.0});
  for (std::uint32_t i = 1; i < activationWaitLimit; ++i) gf_handleSimResults();
  EXPECT_EQ(activationList.size(), 1u);
  EXPECT_TRUE(removeIdQueue.empty());
  gf_handleSimResults();
  EXPECT_TRUE(activationList.empty());
  EXPECT_EQ(removeIdQueue, std::deque<std::uint32_t>{2000});
}

TEST(EngineCycle, ASpawnedAircraftBecomesACreationRecord) {
  EngineHarness h;
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::adding2sim, 0, 52.3, 4.8, 0);
  ac.pitch = 0.01;
  ac.bank = 0.02;
  ac.heading = 1.5;
  ac.liveryTitle = engineDoubles.keepTitle("Livery B738");
  ac.samples.front().airborne = 0;
  LiveAc& nameless = addLiveAc(0x400002, "", "B738", SimState::adding2sim, 0, 52.3, 4.8, 0);
  spawnStack = {0x400002, 0x400001};
  engineCycle.store(101);
  h.cycle(1);
  ASSERT_EQ(liveAddQueue.size(), 1u);
  const AiCreationRecord& r = liveAddQueue.back();
  EXPECT_EQ(r.hexid, 0x400001u);
  EXPECT_EQ(r.callsign, "KLM1");
  EXPECT_EQ(r.liveryTitle, "Livery B738");
  EXPECT_NEAR(r.position.pitch, 0.01 * radToDeg, 1e-12);
  EXPECT_NEAR(r.position.bank, 0.02 * radToDeg, 1e-12);
  EXPECT_NEAR(r.position.heading, 1.5 * radToDeg, 1e-12);
  EXPECT_EQ(r.position.onGround, 1u);
  EXPECT_EQ(r.position.airspeed, 0u);
  h.cycle(1);
  EXPECT_EQ(liveAddQueue.size(), 1u) << "an aircraft without callsign is not created";
  EXPECT_TRUE(h.logHas("lf_handleAddingStack " + gf_acIdentText(nameless) + " objectid = 0?"));
}

TEST(EngineCycle, AStaticCandidateThatThrowsIsDroppedTheCycleGoesOn) {
  EngineHarness h;
  addStand("P1", 52.3, 4.8, 0.0);
  addStand("P2", 52.31, 4.8, 0.0);
  StaticCandidate candidate;
  candidate.standNumber = 1;
  candidate.callsign1 = "KLM1";
  staticCandidates.push_back(candidate);
  candidate.standNumber = 2;
  candidate.callsign1 = "KLM2";
  staticCandidates.push_back(candidate);
  engineDoubles.staticLiveryFor = [](const AcBase& ac) -> std::string {
    if (ac.standId == 2) throw std::runtime_error("livery data gone");
    return "Static livery";
  };
  EXPECT_NO_THROW(h.cycle(1));
  EXPECT_TRUE(h.logHas("lf_detcs exception: livery data gone"));
  EXPECT_TRUE(staticAcTable.empty()) << "the half-built record goes with its candidate";
  EXPECT_NO_THROW(h.cycle(1));
  ASSERT_EQ(staticAcTable.size(), 1u);
  EXPECT_EQ(staticAcTable[0].standId, 1);
  EXPECT_EQ(staticAcTable[0].simState, SimState::adding2sim);
}
