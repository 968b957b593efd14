// The rules that settle who goes (ghosts, stand claims, neighbours, look-alikes, twins, the
// max-park limit), the static placement, and single movement steps at their boundaries.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include <gsl/narrow>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/engine_harness.hpp"
#include "engine/movement.hpp"
#include "engine/movement/movement_steps.hpp"
#include "foundation/clock.hpp"
#include "foundation/geodesy.hpp"
#include "parking/apf_state.hpp"
#include "parking/slot_sets.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "simlink/sim_ids.hpp"

using namespace wdrx::testing;

namespace {

constexpr double lat0 = 52.30, lon0 = 4.76;
constexpr double pi = 3.141592653589793;

LiveAc& parkedAt(std::uint32_t hexid, const std::string& callsign, std::int32_t standId, std::uint32_t objectId,
                 FlightState state = FlightState::parked) {
  const Stand* stand = gf_findStandByNumber(standId);
  LiveAc& ac = addLiveAc(hexid, callsign, "B738", SimState::active, objectId, stand->latitude, stand->longitude, 0);
  ac.flightState = state;
  ac.standId = standId;
  return ac;
}

}  // namespace

TEST(MovementRules, GhostsGoWhenTheRealFlightAppears) {
  EngineHarness h;
  addStand("G1", lat0, lon0, 0.0);
  LiveAc& ghost = addLiveAc(0x400001, "KLM1_", "B738", SimState::active, 2001, lat0, lon0 + 0.1, 3000);
  LiveAc& parkedGhost = parkedAt(0x400002, "DLH2_", 1, 2002);
  lf_removeGhost("KLM1");
  EXPECT_EQ(ghost.simState, SimState::removingfromsim);
  EXPECT_TRUE(h.logHas("          KLM1_    is a ghost and will be removed, continue with KLM1"));
  lf_removeGhost("DLH2");
  EXPECT_EQ(parkedGhost.simState, SimState::removingfromsim);
  EXPECT_TRUE(h.logHas("G1      : DLH2_    is a ghost and will be removed, continue with DLH2"));
  EXPECT_EQ(ghostCallsigns, (std::vector<std::string>{"KLM1_", "DLH2_"}));
  lf_removeGhost("KLM1");
  EXPECT_EQ(ghostCallsigns.size(), 2u) << "a ghost being removed is not found again";

  addLiveAc(0x400003, "SAS3", "B738", SimState::active, 2003);
  EXPECT_TRUE(lf_isGhostOf("SAS3_"));
  EXPECT_FALSE(lf_isGhostOf("SAS3"));
  EXPECT_FALSE(lf_isGhostOf("KLM1__")) << "its real flight is being removed";
  EXPECT_FALSE(lf_isGhostOf("_"));
  EXPECT_FALSE(lf_isGhostOf(""));
}

TEST(MovementRules, AStandIsClaimedByANewcomer) {
  EngineHarness h;
  addStand("S1", lat0, lon0, 0.0);
  struct Case {
    const char* name;
    const char* holder;  // "" = nobody holds the stand
    FlightState state;
    std::uint8_t stopTest;
    const char* newcomer;
    bool claimed;
    bool holderRemoved;
    const char* logged;
  };
  const Case cases[] = {
      {"Free", "", FlightState::parked, 0, "KLM1", true, false, ""},
      {"SameCallsign", "KLM1", FlightState::parked, 0, "KLM1", true, true, "ac with same callsign KLM1 wants it"},
      {"NewcomerIsItsGhost", "KLM1", FlightState::parked, 0, "KLM1_", false, false, ""},
      {"HolderIsTheGhost", "KLM1_", FlightState::pushing_back, 0, "KLM1", true, true, "KLM1_    ghost, replace by KLM1"},
      {"HolderIsAnotherGhost", "DLH2_", FlightState::pushed_back, 1, "KLM1", true, true, "DLH2_    ghost, replace by KLM1"},
      {"NewcomerIsAGhost", "DLH2", FlightState::parked, 0, "KLM1_", false, false, ""},
      {"HolderStandsStill", "DLH2", FlightState::parked, 1, "KLM1", false, false, ""},
      {"AnotherFlight", "DLH2", FlightState::parked, 0, "KLM1", true, true,
       "DLH2     removed because another live KLM1 wants the stand"},
      {"HolderTaxies", "DLH2", FlightState::taxi, 0, "KLM1", true, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc* holder = nullptr;
    if (*c.holder != '\0') {
      holder = &parkedAt(0x400001, c.holder, 1, 2001, c.state);
      holder->stopTest = c.stopTest;
    }
    EXPECT_EQ(lf_claimStand(1, c.newcomer), c.claimed);
    if (holder != nullptr) { EXPECT_EQ(holder->simState == SimState::removingfromsim, c.holderRemoved); }
    if (*c.logged != '\0') { EXPECT_TRUE(h.logHas(c.logged)); }
  }
}

TEST(MovementRules, ANeighbourStandIsFreeWhenItsAircraftIsFarEnough) {
  EngineHarness h;
  // B738 half spans 0.0097 nm: 1.1 x (0.0097 + 0.0097) = 0.02134 nm (39.5 m).
  struct Case {
    const char* name;
    double apartMetres;
    FlightState state;
    const char* callsign;
    bool free;
  };
  const Case cases[] = {
      {"Close", 35.0, FlightState::parked, "DLH2", false},
      {"JustTooClose", 38.0, FlightState::parked, "DLH2", false},
      {"FarEnough", 45.0, FlightState::parked, "DLH2", true},
      {"PushingBackClose", 35.0, FlightState::pushing_back, "DLH2", false},
      {"TaxiingClose", 35.0, FlightState::taxi, "DLH2", true},
      {"SameFlight", 35.0, FlightState::parked, "KLM1", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    standTable.clear();
    addStand("N1", lat0, lon0, 0.0);
    const LatLon next = gf_destinationPoint({lat0, lon0}, pi / 2, c.apartMetres / 0.3048);
    addStand("N2", next.lat, next.lon, 0.0);
    parkedAt(0x400002, c.callsign, 2, 2002, c.state);
    LiveAc& newcomer = addLiveAc(0x400001, "KLM1", "B738", SimState::buffer, 0, lat0, lon0, 0);
    EXPECT_EQ(lf_adjacentStandFree(2, newcomer, 1), c.free);
    EXPECT_TRUE(lf_adjacentStandFree(3, newcomer, 1)) << "a neighbour number without a stand";
  }
}

TEST(MovementRules, StaticLookAlikesAndTwinsOfLiveAircraftGo) {
  EngineHarness h;
  addStand("T1", lat0, lon0, 0.0);
  struct Case {
    const char* name;
    std::string liveCallsign, liveRegistration;
    std::string staticLive, staticThird, staticRegistration;  // of the static aircraft
    bool removed;
  };
  const Case cases[] = {
      {"SameRegistration", "KLM1", "PH-BXA", "DLH4", "", "PH-BXA", true},
      {"ItsRealFlight", "KLM1", "", "KLM1", "", "", true},
      {"ItsSecondForm", "KLM1", "", "DLH4", "KLM1", "", true},
      {"GhostOfIt", "KLM1_", "", "KLM1", "", "", true},
      {"Another", "KLM1", "PH-BXA", "DLH4", "DLH5", "PH-BXB", false},
      {"NoRegistrationsAreNoMatch", "KLM1", "", "DLH4", "", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    AcBase& st = addStaticAc(5, "DLH4*", 1, SimState::active, 3005);
    st.liveCallsign = c.staticLive;
    st.altCallsign = c.staticThird;
    st.registration = c.staticRegistration;
    LiveAc& live = addLiveAc(0x400001, c.liveCallsign, "B738", SimState::active, 2001, lat0 + 0.1, lon0, 2000);
    live.registration = c.liveRegistration;
    gf_removeStaticLikeLive(live);
    EXPECT_EQ(gf_findStaticAc(5)->simState == SimState::removingfromsim, c.removed);
  }

  // Twins: one a call, only of live aircraft on the ground.
  gf_clearAcTables();
  addStaticAc(6, "KLM7*", 1, SimState::active, 3006);
  addStaticAc(7, "KLM8*", 1, SimState::active, 3007);
  LiveAc& flying = addLiveAc(0x400007, "KLM7", "B738", SimState::active, 2007, lat0, lon0, 3000);
  gf_removeStaticTwins();
  EXPECT_EQ(gf_findStaticAc(6)->simState, SimState::active) << "its live twin is in the air";
  flying.onGround = 1;
  addLiveAc(0x400008, "KLM8", "B738", SimState::active, 2008, lat0, lon0, 0);
  gf_removeStaticTwins();
  EXPECT_EQ(gf_findStaticAc(6)->simState, SimState::removingfromsim);
  EXPECT_EQ(gf_findStaticAc(7)->simState, SimState::active) << "one a call";
  gf_removeStaticTwins();
  EXPECT_EQ(gf_findStaticAc(7)->simState, SimState::removingfromsim);
  // The same registration under another callsign is a twin too.
  AcBase& registered = addStaticAc(8, "XYZ9*", 1, SimState::active, 3008);
  registered.registration = "PH-BXC";
  gf_findLiveAc(0x400007)->registration = "PH-BXC";
  gf_removeStaticTwins();
  EXPECT_EQ(registered.simState, SimState::removingfromsim);
}

TEST(MovementRules, TheMaxParkLimitRemovesTheLongestParked) {
  EngineHarness h;
  for (int i = 0; i < 5; ++i) addStand("P" + std::to_string(i + 1), lat0 + 0.001 * i, lon0, 0.0);
  const auto parkLive = [](std::uint32_t hexid, std::int32_t stand, int minutesAgo) {
    LiveAc& ac = parkedAt(hexid, "LIVE" + std::to_string(stand), stand, 2000 + stand);
    ac.parkedSince = gf_clock().steadyNow().time_since_epoch().count() - minutesAgo * 60'000'000'000LL;
  };
  struct Case {
    const char* name;
    std::int32_t limit;
    bool initialLoadOnly;
    int statics;
    bool liveRemoved, staticRemoved;
  };
  const Case cases[] = {
      {"NoLimit", 0, false, 2, false, false},
      {"WithinTheLimit", 5, false, 2, false, false},
      {"AtTheLimit", 3, false, 0, false, false},
      {"OneLiveTooMany", 2, false, 0, true, false},
      {"LiveKeptInitialLoadOnly", 2, true, 0, false, false},
      {"StaticGoesFirstWithInitialLoadOnly", 4, true, 2, false, true},
      {"BothOverTheLimit", 2, false, 1, true, true},
  };
  h.clock().advance(std::chrono::hours(10));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    mainWindow.maxParkCount.store(c.limit);
    INITIAL_LOAD_ONLY.value.store(c.initialLoadOnly);
    parkLive(0x400001, 1, 30);
    parkLive(0x400002, 2, 120);
    parkLive(0x400003, 3, 60);
    for (int s = 0; s < c.statics; ++s) {
      AcBase& st = addStaticAc(10 + s, "ST" + std::to_string(s) + "*", 4 + s, SimState::active, 3010 + s);
      st.parkingStart = WeekSlot{2, 10 - s}.packed();  // the second one parked earlier
    }
    lf_maxPark(0);
    EXPECT_EQ(gf_findLiveAc(0x400002)->simState == SimState::removingfromsim, c.liveRemoved);
    EXPECT_EQ(gf_findLiveAc(0x400001)->simState, SimState::active);
    if (c.statics > 0) {
      EXPECT_EQ(gf_findStaticAc(10 + c.statics - 1)->simState == SimState::removingfromsim, c.staticRemoved);
    }
  }
  // A static aircraft still being removed counts until it has gone.
  gf_clearAcTables();
  mainWindow.maxParkCount.store(4);
  INITIAL_LOAD_ONLY.value.store(true);
  parkLive(0x400001, 1, 30);
  parkLive(0x400002, 2, 120);
  parkLive(0x400003, 3, 60);
  addStaticAc(10, "ST0*", 4, SimState::removingfromsim, 3010);
  addStaticAc(11, "ST1*", 5, SimState::active, 3011);
  lf_maxPark(0);
  EXPECT_EQ(gf_findStaticAc(11)->simState, SimState::removingfromsim);
  mainWindow.maxParkCount.store(0);
  INITIAL_LOAD_ONLY.value.store(false);
}

TEST(MovementRules, StaticPlacementTakesOneCandidateACall) {
  EngineHarness h;
  addStand("A1", lat0, lon0, 1.0, 12, {2});
  addStand("A2", lat0 + 0.0004, lon0, 1.0, 12, {1});
  addStand("A3", lat0 + 0.002, lon0, 0.5);
  currentWeekSlot.store(WeekSlot{1, 2}.packed());
  const AircraftCodes klm{gf_airlineId("KLM"), 0, gf_modelId("B738"), 0, 0};
  struct Case {
    const char* name;
    StaticCandidate candidate;
    std::function<void()> setUp;
    const char* callsign;  // "" = no aircraft placed
    const char* logged;
  };
  const Case cases[] = {
      {"FirstForm", {3, 0, klm, "KLM1234_", "KLM99", "PH-BXA", 1}, nullptr, "KLM1234*", ""},
      {"SecondForm", {3, 0, klm, "KLM1234", "KLM99", "PH-BXA", 0}, nullptr, "KLM99*", ""},
      {"SecondFormEmpty", {3, 0, klm, "KLM1234", "", "", 0}, nullptr, "KLM1234*", ""},
      {"AlreadyStarred", {3, 0, klm, "KLM5*", "", "", 1}, nullptr, "KLM5*", ""},
      {"NoFirstText", {3, 0, klm, "", "KLM99", "", 1}, nullptr, "KLM1*", ""},
      {"LiveOnTheStand", {1, 0, klm, "KLM1234", "", "", 1},
       [] { parkedAt(0x400001, "DLH7", 1, 2001); }, "", "A1      : no static parking for KLM1234, live aircraft DLH7 standing here"},
      {"LiveNextDoor", {1, 0, klm, "KLM1234", "", "", 1},
       [] { parkedAt(0x400001, "DLH7", 2, 2001, FlightState::parking); }, "",
       "A1      : no static parking for KLM1234, live aircraft DLH7 is adjacent at A2, possibly colliding"},
      {"StaticNextDoor", {1, 0, klm, "KLM1234", "", "", 1}, [] { addStaticAc(77, "OLD*", 2, SimState::active, 3077); },
       "", "A1      : no static parking for KLM1234, static aircraft OLD* is adjacent at A2, possibly colliding"},
      {"NoSuchStand", {9, 0, klm, "KLM1234", "", "", 1}, nullptr, "", "stand with id sid==? not found"},
      {"OccupiedByLive", {3, 0, klm, "KLM1234", "", "", 1}, [] { standTable[2].occupied = 1; }, "",
       "A3      : no static parking for KLM1234, live aircraft occupies the stand"},
      {"NoLivery", {3, 0, klm, "KLM1234", "", "", 1}, [] { engineDoubles.staticLiveryFor = [](const AcBase&) {
                                                             return std::string();
                                                           }; },
       "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    staticAddQueue.clear();
    standTable[2].occupied = 0;
    engineDoubles.reset();
    staticHexCounter = 0;
    if (c.setUp) c.setUp();
    const std::size_t before = staticAcTable.size();
    staticCandidates = {StaticCandidate{3, 0, klm, "LEFT", "", "", 1}, c.candidate};
    lf_detcs();
    EXPECT_EQ(staticCandidates.size(), 1u) << "one candidate a call";
    if (*c.logged != '\0') { EXPECT_TRUE(h.logHas(c.logged)); }
    if (*c.callsign == '\0') {
      EXPECT_EQ(staticAcTable.size(), before);
      EXPECT_TRUE(staticAddQueue.empty());
      continue;
    }
    ASSERT_EQ(staticAcTable.size(), before + 1);
    const AcBase& st = staticAcTable.back();
    EXPECT_EQ(st.callsign, c.callsign);
    EXPECT_EQ(st.simState, SimState::adding2sim);
    EXPECT_EQ(st.standId, 3);
    EXPECT_EQ(st.codes, klm);
    EXPECT_EQ(st.liveryTitle, "Static B738");
    ASSERT_EQ(staticAddQueue.size(), 1u);
    const AiCreationRecord& r = staticAddQueue.front();
    EXPECT_EQ(r.hexid, st.hexid);
    EXPECT_EQ(r.callsign, c.callsign);
    EXPECT_EQ(r.position.onGround, 1u);
    EXPECT_DOUBLE_EQ(r.position.heading, 0.5 * radToDeg);
    EXPECT_DOUBLE_EQ(r.position.latitude, lat0 + 0.002);
  }

  // The half-hour offset goes back across midnight into Sunday; hexids wrap after 9999 to 1.
  gf_clearAcTables();
  staticAddQueue.clear();
  engineDoubles.reset();
  staticHexCounter = 9999;
  staticCandidates = {StaticCandidate{3, 5, klm, "KLM1", "", "", 1}};
  lf_detcs();
  ASSERT_EQ(staticAcTable.size(), 1u);
  EXPECT_EQ(staticAcTable[0].hexid, 1u);
  EXPECT_EQ(WeekSlot::fromPacked(staticAcTable[0].parkingStart), (WeekSlot{7, 45}));
}

TEST(MovementRules, AStandSeenFromAnotherLiveAircraftMakesTheArrivalGo) {
  EngineHarness h;
  addStand("K1", lat0, lon0, 0.0);
  standTable[0].occupied = 1;  // another live aircraft parked there meanwhile
  LiveAc& ac = parkedAt(0x400001, "KLM1", 1, 2001, FlightState::parking);
  ac.standLatitude = lat0;
  ac.standLongitude = lon0;
  lf_arriveAtStand(ac);
  EXPECT_EQ(ac.simState, SimState::removingfromsim);
  EXPECT_EQ(standTable[0].occupied, 1) << "the stand stays taken by the other one";

  // 2.1 m off: still taxiing; at the stand: parked.
  gf_clearAcTables();
  standTable[0].occupied = 0;
  LiveAc& near = parkedAt(0x400002, "KLM2", 1, 2002, FlightState::parking);
  near.standLatitude = lat0 + 2.1 / 111132.95;
  near.standLongitude = lon0;
  lf_arriveAtStand(near);
  EXPECT_EQ(near.flightState, FlightState::taxi);
  near.flightState = FlightState::parking;
  near.standLatitude = lat0 + 1.9 / 111132.95;
  lf_arriveAtStand(near);
  EXPECT_EQ(near.flightState, FlightState::parked);
  EXPECT_EQ(standTable[0].occupied, 1);
  EXPECT_EQ(approachList.back(), 0x400002u);
  EXPECT_EQ(engineDoubles.standOptions.back(), (StandOptionCall{1, "KLM2", 0}));
}

// ---------------------------------------------------------------------------------------------
// Single steps at their boundaries

TEST(MovementSteps, UnitsGiveRealisticMotion) {
  EngineHarness h;
  // The turn still to fly, in radians, is the bank: a Large aircraft turning 90 degrees banks 30.
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 5000);
  ac.bank = -30.0 * degToRad;
  lf_bankRate(ac, pi / 2, 100);
  EXPECT_DOUBLE_EQ(ac.bankRate, 0.0) << "at its maximum of 30 degrees already";
  ac.bank = 0.0;
  lf_bankRate(ac, pi / 2, 100000);
  EXPECT_NEAR(ac.bankRate, -30.0 * degToRad / 100000, 1e-15);
  lf_bankRate(ac, 0.1, 10);
  EXPECT_NEAR(ac.bankRate, -0.02 * degToRad, 1e-15) << "the bank rate limit, degrees per cycle";

  // A 90-degree turn on the ground at 0.07 degree per cycle needs 1286 cycles: a short curved
  // leg is stretched to it, and the heading never turns faster than the category can.
  LiveAc& taxi = addLiveAc(0x400002, "KLM2", "B738", SimState::active, 2002, lat0, lon0, 0);
  taxi.samples.clear();
  const std::int64_t now = engineCycle.load();
  taxi.samples.push_back(sampleAt(lat0, lon0, 0, 10, now));
  const LatLon corner = gf_destinationPoint({lat0, lon0}, 0.0, 100.0);
  const LatLon end = gf_destinationPoint(corner, pi / 2, 100.0);
  taxi.samples.push_back(sampleAt(corner.lat, corner.lon, 0, 10, now + 400));
  taxi.samples.push_back(sampleAt(end.lat, end.lon, 0, 10, now + 800));
  lf_buildCurve(taxi);
  taxi.curveAngle = 90.0;
  lf_groundTiming(taxi);
  EXPECT_GE(taxi.samples[1].dueCycle - now, 1286 - 1) << "within the late window of 1000 cycles";
  EXPECT_LE(taxi.turnRate, taxi.groundTurnRate);
  EXPECT_DOUBLE_EQ(taxi.groundTurnRate, 0.07 * degToRad);

  // The push-back curve takes the time the category needs for 90 degrees.
  EXPECT_EQ(lf_cycleCount(90.0 / (taxi.groundTurnRate * radToDeg)), 1286);
}

TEST(MovementSteps, ObviousFaultsStayMended) {
  EngineHarness h;
  // Turning toward a track across north takes the short way.
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0);
  ac.turnRate = 0.07 * degToRad;
  ac.heading = 359.0 * degToRad;
  lf_turnToward(ac, 1.0 * degToRad);
  EXPECT_NEAR(ac.heading * radToDeg, 359.07, 1e-9);
  ac.heading = 0.5 * degToRad;
  lf_turnToward(ac, 359.0 * degToRad);
  EXPECT_NEAR(ac.heading * radToDeg, 0.43, 1e-9);

  // Longitude differences and means wrap across the date line.
  EXPECT_NEAR(lf_longitudeDelta(179.99, -179.99), 0.02, 1e-9);
  EXPECT_NEAR(lf_wrapLongitude(180.5), -179.5, 1e-9);
  LiveAc& east = addLiveAc(0x400002, "DAL1", "B744", SimState::active, 2002, 10.0, 179.99, 35000);
  east.samples.clear();
  east.samples.push_back(sampleAt(10.0, 179.99, 35000, 480, engineCycle.load()));
  east.samples.push_back(sampleAt(10.0, -179.99, 35000, 480, engineCycle.load() + 500));
  lf_insertMidSample(east);
  EXPECT_NEAR(east.samples[1].longitude, -180.0, 1e-9);
  east.samples.erase(east.samples.begin() + 1, east.samples.begin() + 2);
  nextPos(east);
  EXPECT_GT(east.longitudeRate, 0.0);
  EXPECT_LT(east.longitudeRate, 0.001);

  // A descending aircraft near the ground is not forced to climb; a climbing one climbs at
  // least 0.2 ft per cycle.
  LiveAc& low = addLiveAc(0x400003, "KLM3", "B738", SimState::active, 2003, lat0, lon0, 900);
  low.climbLimit = 0.6;
  low.heightAboveGround = 800.0;
  low.samples.clear();
  low.samples.push_back(sampleAt(lat0, lon0, 900, 140, engineCycle.load()));
  low.samples.push_back(sampleAt(lat0 + 0.01, lon0, 700, 140, engineCycle.load() + 500));
  lf_airborneStep(low, 500);
  EXPECT_NEAR(low.altitudeRate, -0.4, 1e-9);
  low.samples[1].altitude = 920.0;
  lf_airborneStep(low, 500);
  EXPECT_DOUBLE_EQ(low.altitudeRate, 0.2);

  // The mean ground speed of two standing samples at the same due cycle divides by 25.
  low.samples[0].groundSpeed = low.samples[1].groundSpeed = 0.0;
  low.samples[1].dueCycle = low.samples[0].dueCycle;
  EXPECT_GE(lf_meanGroundSpeed(low), 1.0);
  EXPECT_TRUE(std::isfinite(lf_meanGroundSpeed(low)));
  // A cycle count that is no number throws the narrowing error instead of converting.
  EXPECT_THROW(lf_cycleCount(std::numeric_limits<double>::quiet_NaN()), gsl::narrowing_error);
  EXPECT_THROW(lf_cycleCount(3e9), gsl::narrowing_error);
  EXPECT_EQ(lf_cycleCount(2147483647.0), 2147483647);

  // An unknown span (0, or the error value 35 nm) counts as the largest known one: a pull-out
  // ends two of those ahead, not 70 nm away.
  addStand("U1", lat0, lon0, 0.0);
  LiveAc& unknown = parkedAt(0x400004, "KLM4", 1, 2004);
  unknown.standLatitude = lat0;
  unknown.standLongitude = lon0;
  for (double radius : {0.0, 35.0}) {
    unknown.radius = radius;
    EXPECT_DOUBLE_EQ(lf_span(unknown), maxHalfWingSpan);
    unknown.samples.truncate(1);
    unknown.flightState = FlightState::parked;
    lf_pullOut(unknown);
    EXPECT_NEAR(gf_distanceNm({lat0, lon0}, {unknown.samples.back().latitude, unknown.samples.back().longitude}),
                2.0 * maxHalfWingSpan, 1e-6);
  }
}

TEST(MovementSteps, TheTakeOffRotatesThenClimbsInSteps) {
  EngineHarness h;
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 0);
  ac.altitude = 108.0;
  ac.heightAboveGround = 8.0;
  ac.climbOut = 1;
  ac.climbLimit = 0.6;
  ac.altitudeRate = 0.5;
  lf_startTakeOff(ac);
  ASSERT_EQ(ac.flightState, FlightState::take_off);
  EXPECT_EQ(ac.flareCounter, ac.rotationCycles);
  h.takeEvents();
  struct Step {
    int cycles;
    double rise;  // feet over those cycles
  };
  // Rotation on the runway, then a tenth, a fifth, a half and the full rate.
  const Step steps[] = {{ac.rotationCycles, 0.0}, {99, 99 * 0.05}, {100, 100 * 0.1}, {100, 100 * 0.25}, {1, 0.5}};
  for (const Step& s : steps) {
    const double before = ac.altitude;
    for (int i = 0; i < s.cycles; ++i) lf_followCurve(ac);
    EXPECT_NEAR(ac.altitude - before, s.rise, 1e-9) << "counter " << ac.flareCounter;
  }
  EXPECT_EQ(ac.flareCounter, -300);
  EXPECT_EQ(ac.onGround, 0);
  EXPECT_NEAR(ac.pitch, ac.takeOffPitch + 0.0, 1e-9 + std::fabs(ac.climbOutPitch - ac.takeOffPitch));
  std::vector<std::uint32_t> gear;
  for (const auto& e : h.takeEvents())
    if (e.eventId == simid::gearSet) gear.push_back(e.value);
  EXPECT_EQ(gear, std::vector<std::uint32_t>{0}) << "gear up at counter -300";
  // Climb-out pitch reached and 800 ft above the ground: flying with climb power.
  ac.heightAboveGround = 900.0;
  for (int i = 0; i < 1000 && ac.flightState == FlightState::take_off; ++i) lf_followCurve(ac);
  EXPECT_EQ(ac.flightState, FlightState::flying);
  EXPECT_DOUBLE_EQ(ac.pitch, ac.climbOutPitch);
  EXPECT_EQ(ac.lastThrottle, 3u);

  // A take-off from the landing roll goes with full power and the spoilers in.
  LiveAc& roll = addLiveAc(0x400002, "KLM2", "B738", SimState::active, 2002, lat0, lon0, 0);
  roll.climbOut = 1;
  roll.landingRoll = 1;
  h.takeEvents();
  lf_startTakeOff(roll);
  std::vector<std::uint32_t> spoilers;
  for (const auto& e : h.takeEvents())
    if (e.eventId == simid::spoilersSet) spoilers.push_back(e.value);
  EXPECT_EQ(spoilers, std::vector<std::uint32_t>{0});
  EXPECT_EQ(roll.lastThrottle, 4u);
}

TEST(MovementSteps, TheFlareNeverSinksIntoTheGround) {
  EngineHarness h;
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2001, lat0, lon0, 120);
  ac.approach = 1;
  ac.staticHeight = 8.0;
  ac.groundAltitude = 100.0;
  ac.heightAboveGround = 20.0;
  ac.flareStage = 4;
  ac.altitudeRate = -0.025;
  ac.flightState = FlightState::flying;
  for (int i = 0; i < 3000; ++i) lf_followCurve(ac);  // no on-ground answer comes
  EXPECT_DOUBLE_EQ(ac.altitude, 108.0);
  EXPECT_GE(ac.pitch, -4.0 * degToRad - 1e-12);
}

TEST(MovementSteps, APushBackTurnsOneWay) {
  EngineHarness h;
  Stand& stand = addStand("PB1", lat0, lon0, 0.0);
  stand.radius = 30.0 / 1852.0;
  // Without a known direction the push goes straight back, nose unturned.
  const std::optional<bool> directions[] = {true, false, std::nullopt};
  for (const std::optional<bool>& right : directions) {
    SCOPED_TRACE(right.has_value() ? int{*right} : -1);
    gf_clearAcTables();
    LiveAc& ac = parkedAt(0x400001, "KLM1", 1, 2001);
    ac.standLatitude = lat0;
    ac.standLongitude = lon0;
    ac.heading = 0.0;
    ac.onGround = 1;
    // A report behind the stand: the aircraft moves off backward.
    ac.samples.front().dueCycle = engineCycle.load();
    ac.samples.push_back(sampleAt(lat0 - 0.0002, lon0, 0, 2, engineCycle.load() + 400));
    ac.parkedReport = 1;
    nextPosMain(ac);
    ASSERT_EQ(ac.flightState, FlightState::pushing_back);
    ac.pushBackDirection = right;
    double last = ac.heading;
    double turned = 0.0;
    bool oneWay = true;
    const double sign = right.value_or(true) ? 1.0 : -1.0;
    for (int i = 0; i < 20000 && ac.flightState == FlightState::pushing_back; ++i) {
      if (!ac.samples.empty() && engineCycle.load() >= ac.samples.front().dueCycle) nextPosMain(ac);
      if (!ac.samples.empty() && ac.samples.front().onGroundMark == 0) lf_followCurve(ac);
      const double step = std::remainder(ac.heading - last, 2.0 * pi);
      if (step * sign < -1e-12) oneWay = false;
      EXPECT_LE(std::fabs(step), ac.groundTurnRate + 1e-12);
      turned += step;
      last = ac.heading;
      engineCycle.fetch_add(1);
    }
    EXPECT_TRUE(oneWay);
    EXPECT_EQ(ac.flightState, FlightState::pushed_back);
    EXPECT_NEAR(turned * sign * radToDeg, right.has_value() ? 90.0 : 0.0, 1.0);
    if (!right.has_value()) {
      EXPECT_NEAR(gf_bearing({lat0, lon0}, {ac.latitude, ac.longitude}) * radToDeg, 180.0, 1.0);
    }
  }
}
