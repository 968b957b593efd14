// Client events, the one removal path, the small services, and the operations the parking and
// livery layers call through engineServices.
#include <gtest/gtest.h>

#include <cmath>

#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/engine_harness.hpp"
#include "engine/removal_rules.hpp"
#include "foundation/geodesy.hpp"
#include "records/engine_cycle.hpp"
#include "runstate/run_control.hpp"
#include "simlink/sim_ids.hpp"
#include "traffic/psx_server.hpp"

using namespace wdrx::testing;

namespace {

constexpr double lat0 = 52.40, lon0 = 4.80;

std::vector<std::pair<std::uint32_t, std::uint32_t>> eventPairs(EngineHarness& h) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
  for (const auto& e : h.takeEvents()) out.emplace_back(e.eventId, e.value);
  return out;
}

AiCreationRecord creation(std::uint32_t hexid, const std::string& callsign) {
  AiCreationRecord r;
  r.hexid = hexid;
  r.callsign = callsign;
  return r;
}

}  // namespace

TEST(ClientEvents, ConfigurationCommands) {
  EngineHarness h;
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2000);
  using P = std::pair<std::uint32_t, std::uint32_t>;
  gf_setFlaps(ac, 2);
  gf_setFlaps(ac, 2);
  gf_setFlaps(ac, 4);
  gf_setFlaps(ac, 5);
  gf_setFlaps(ac, 5);
  EXPECT_EQ(eventPairs(h), (std::vector<P>{{simid::flapsSet, 10240}, {simid::flapsSet, 0}}));
  EXPECT_TRUE(h.logHas("gf_setFlaps: invalid flaps index"));
  const std::string log = h.log();
  EXPECT_EQ(log.find("invalid flaps index"), log.rfind("invalid flaps index")) << "logged once: 5 is remembered";
  for (std::uint32_t i : {1u, 1u, 2u, 3u, 4u, 5u, 0u}) gf_setThrottle(ac, i);
  EXPECT_EQ(eventPairs(h), (std::vector<P>{{simid::throttleSet, 4914}, {simid::throttleSet, 8191},
                                           {simid::throttleSet, 11468}, {simid::throttleSet, 16383},
                                           {simid::throttleSet, 0}}));
  gf_setSpoilers(ac, 1);
  gf_setSpoilers(ac, 0);
  gf_setGear(ac, 1);
  gf_setGear(ac, 1);
  EXPECT_EQ(eventPairs(h), (std::vector<P>{{simid::spoilersSet, 16383}, {simid::spoilersSet, 0},
                                           {simid::gearSet, 1}, {simid::gearSet, 1}}));

  LiveAc& heli = addLiveAc(0x400002, "HELI", "EC35", SimState::active, 2001);
  gf_setThrottle(heli, 2);
  gf_setFlaps(heli, 1);
  gf_setSpoilers(heli, 1);
  gf_setGear(heli, 1);
  EXPECT_EQ(eventPairs(h), (std::vector<P>{{simid::throttleSet, 8191}}));

  // No object of its own: nothing reaches the user aircraft.
  LiveAc& none = addLiveAc(0x400003, "NONE", "B738", SimState::adding2sim, 0);
  gf_setThrottle(none, 1);
  gf_setGear(none, 1);
  EXPECT_TRUE(h.takeEvents().empty());
  EXPECT_EQ(none.lastThrottle, 5u);
}

TEST(ClientEvents, ParkedConfigurationAndCabinLights) {
  EngineHarness h;
  const auto cabinOf = [&h](AcBase& ac) {
    lf_activateStaticAc(ac);
    std::int32_t cabin = -1;
    for (const auto& e : h.takeEvents())
      if (e.eventId == simid::cabinLights) cabin = static_cast<std::int32_t>(e.value);
    return cabin;
  };
  AcBase& cargo = addStaticAc(1, "C*", 0, SimState::active, 2000);
  cargo.cargoStand = 1;
  RANDOM.value.store(true);
  EXPECT_EQ(cabinOf(cargo), 0);
  AcBase& pax = addStaticAc(2, "P*", 0, SimState::active, 2001);
  lf_activateStaticAc(pax);
  const auto events = h.takeEvents();
  std::vector<std::uint32_t> ids;
  for (const auto& e : events) ids.push_back(e.eventId);
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{simid::throttleSet, simid::flapsSet, simid::engineAutoShutdown,
                                             simid::navLights, simid::beaconLights, simid::landingLights,
                                             simid::taxiLights, simid::strobes, simid::logoLights,
                                             simid::cabinLights}));
  int lit = 0;
  for (int i = 0; i < 1000; ++i) lit += cabinOf(pax);
  EXPECT_GT(lit, 850);
  EXPECT_LT(lit, 950);
  RANDOM.value.store(false);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(cabinOf(pax), 1);
  for (bool nav : {true, false}) {
    NAV_LIGHTS_WHILE_PARKED.value.store(nav);
    lf_activateStaticAc(pax);
    for (const auto& e : h.takeEvents()) {
      if (e.eventId == simid::navLights) { EXPECT_EQ(e.value, nav ? 1u : 0u); }
    }
  }
}

TEST(Removal, ByStateAndQueue) {
  EngineHarness h;
  addStand("R1", lat0, lon0, 0.0);
  struct Case {
    const char* name;
    SimState state;
    std::uint32_t objectId;
    int queued;  // 0 none, 1 liveAddQueue, 2 spawnStack, 3 handed over
    std::uint8_t remove, removed, removeWhenCreated;
    SimState after;
    bool removalQueued;
  };
  const Case cases[] = {
      {"Buffered", SimState::buffer, 0, 0, 1, 0, 0, SimState::buffer, false},
      {"QueuedCreation", SimState::adding2sim, 0, 1, 0, 1, 0, SimState::adding2sim, false},
      {"SpawnedNotQueuedYet", SimState::adding2sim, 0, 2, 0, 1, 0, SimState::adding2sim, false},
      {"CreationWithTheSimulator", SimState::adding2sim, 0, 3, 0, 0, 1, SimState::adding2sim, false},
      {"Active", SimState::active, 2000, 0, 0, 0, 0, SimState::removingfromsim, true},
      {"ActiveWithoutObject", SimState::active, 0, 0, 1, 0, 0, SimState::removingfromsim, false},
      {"Respawning", SimState::liveryrespawn, 2000, 0, 0, 0, 0, SimState::removingfromsim, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_resetEngineTables();
    addStand("R1", lat0, lon0, 0.0);
    engineDoubles.reset();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", c.state, c.objectId);
    ac.standId = 1;
    liveAddQueue.push_back(creation(0x400009, "KLM1"));  // another aircraft, same callsign
    if (c.queued == 1) liveAddQueue.push_back(creation(0x400001, "KLM1"));
    if (c.queued == 2) spawnStack.push_back(0x400001);
    removeAircraftFromSim(ac);
    EXPECT_EQ(ac.remove, c.remove);
    EXPECT_EQ(ac.removed, c.removed);
    EXPECT_EQ(ac.removeWhenCreated, c.removeWhenCreated);
    EXPECT_EQ(ac.simState, c.after);
    EXPECT_EQ(removeIdQueue.size(), c.removalQueued ? 1u : 0u);
    ASSERT_EQ(liveAddQueue.size(), 1u) << "only this aircraft's creation is taken back";
    EXPECT_EQ(liveAddQueue.front().hexid, 0x400009u);
    EXPECT_TRUE(spawnStack.empty());
    EXPECT_EQ(engineDoubles.occupiedCalls, (std::vector<std::pair<std::int32_t, bool>>{{1, false}}));
    // A second request changes nothing more.
    removeAircraftFromSim(ac);
    EXPECT_EQ(removeIdQueue.size(), c.removalQueued ? 1u : 0u);
  }
  EXPECT_TRUE(h.logHas("removeAircraftFromSim removing act"));
}

TEST(Removal, StaticAircraftLeaveByTheirRemovedByte) {
  EngineHarness h;
  AcBase& queued = addStaticAc(1, "Q*", 0, SimState::adding2sim);
  staticAddQueue.push_back(creation(1, "Q*"));
  removeAircraftFromSim(queued);
  EXPECT_EQ(queued.removed, 1);
  EXPECT_TRUE(staticAddQueue.empty());
  AcBase& handedOver = addStaticAc(2, "H*", 0, SimState::adding2sim);
  removeAircraftFromSim(handedOver);
  EXPECT_EQ(handedOver.removeWhenCreated, 1);
  AcBase& noObject = addStaticAc(3, "N*", 0, SimState::active, 0);
  removeAircraftFromSim(noObject);
  EXPECT_EQ(noObject.removed, 1);
}

TEST(Removal, FarthestAircraftMakesRoom) {
  EngineHarness h;
  h.setUser(lat0, lon0, 0, false);
  const double nm = 1.0 / 60.0;
  struct Case {
    const char* name;
    double distance;
    std::vector<double> aircraft;  // distances of the active aircraft, nm
    int removed;                   // index, -1 none
  };
  const Case cases[] = {
      {"JustNotFarEnough", 5.0, {5.05, 7.0}, 1},
      {"FirstFarEnoughThenFarther", 5.0, {6.0, 6.05, 6.2}, 2},
      {"NoneFarEnough", 5.0, {5.09, 3.0}, -1},
      {"AnyDistance", -1.0, {1.0, 3.0, 2.0}, 1},
      {"TwoAsFarTheFirstGoes", -1.0, {3.0, 3.0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_resetEngineTables();
    addLiveAc(0x400100, "BUF", "B738", SimState::buffer, 0, lat0 + 50 * nm, lon0, 5000);  // not active
    addLiveAc(0x400101, "NEW", "B738", SimState::adding2sim, 0, lat0 + 50 * nm, lon0, 5000);  // not active
    for (std::size_t i = 0; i < c.aircraft.size(); ++i)
      addLiveAc(0x400000 + static_cast<std::uint32_t>(i), "A" + std::to_string(i), "B738", SimState::active,
                2000 + static_cast<std::uint32_t>(i), lat0 + c.aircraft[i] * nm, lon0, 5000);
    EXPECT_EQ(gf_removeFarthestAc(c.distance), c.removed < 0);
    for (std::size_t i = 0; i < c.aircraft.size(); ++i)
      EXPECT_EQ(gf_findLiveAc(0x400000 + static_cast<std::uint32_t>(i))->simState == SimState::removingfromsim,
                static_cast<int>(i) == c.removed)
          << i;
  }
  gf_resetEngineTables();
  EXPECT_TRUE(gf_removeFarthestAc(5.0)) << "an empty table";
}

TEST(SmallServices, StandNamesCurvesCallsigns) {
  EngineHarness h;
  addStand("S1", lat0, lon0, 0.0);
  EXPECT_EQ(lf_standName(0), "sid==0?");
  EXPECT_EQ(lf_standName(1), "S1");
  EXPECT_EQ(lf_standName(2), "sid==?");

  CurveSegment curve;
  curve.originLatitude = lat0;
  curve.originLongitude = lon0;
  curve.t0 = 0.0;
  curve.t1 = 1.0;
  curve.endNorth = 100.0;
  curve.endEast = 100.0;
  curve.controlNorth = 100.0;
  curve.controlEast = 0.0;
  double lat = 0, lon = 0, heading = 0;
  ASSERT_TRUE(gf_curvePosition(curve, 0.0, lat, lon, heading));
  EXPECT_DOUBLE_EQ(lat, lat0);
  EXPECT_NEAR(heading, 0.0, 1e-12) << "leaving north toward the control point";
  ASSERT_TRUE(gf_curvePosition(curve, 1.0, lat, lon, heading));
  EXPECT_NEAR(lat, lat0 + 100.0 / 111132.95, 1e-12);
  EXPECT_NEAR(lon, lon0 + 100.0 / (std::cos(lat0 * degToRad) * 111132.95), 1e-12);
  EXPECT_NEAR(heading, 90.0 * degToRad, 1e-12) << "arriving east";
  ASSERT_TRUE(gf_curvePosition(curve, 0.5, lat, lon, heading));
  EXPECT_NEAR(lat, lat0 + 75.0 / 111132.95, 1e-12);
  EXPECT_FALSE(gf_curvePosition(curve, 1.01, lat, lon, heading));
  EXPECT_FALSE(gf_curvePosition(curve, -0.01, lat, lon, heading));
  curve.t0 = curve.t1 = 0.3;
  ASSERT_TRUE(gf_curvePosition(curve, 0.3, lat, lon, heading)) << "equal times";
  EXPECT_FALSE(std::isnan(lat) || std::isnan(lon) || std::isnan(heading));
  EXPECT_NEAR(lat, lat0 + 100.0 / 111132.95, 1e-12) << "the end point";
  curve.clear();
  EXPECT_FALSE(gf_curvePosition(curve, 0.3, lat, lon, heading));

  struct Airline {
    const char* callsign;
    std::optional<std::string> airline;
  };
  const Airline airlines[] = {{"dlh4u", "DLH"}, {"DLH", std::nullopt}, {"4dlh", std::nullopt},
                              {"DL1H", std::nullopt}, {"KLM1234", "KLM"}, {"DLHX", std::nullopt}};
  for (const Airline& a : airlines) EXPECT_EQ(gf_airlineFromCallsign(a.callsign), a.airline) << a.callsign;

  struct Usable {
    const char* callsign;
    bool usable;
  };
  const Usable usables[] = {{"", false}, {"@@@@@@@@", false}, {"ABCDEFGH", true}, {"ABCDEFGHI", false}, {"K", true}};
  for (const Usable& u : usables) {
    AcIdentity id;
    id.callsign = u.callsign;
    EXPECT_EQ(gf_callsignUsable(id), u.usable) << u.callsign;
  }
}

TEST(EngineServices, NearTheUserAircraft) {
  EngineHarness h;
  h.setUser(lat0, lon0, 3000.0, false);
  const double nm = 1.0 / 60.0;
  struct Case {
    const char* name;
    int variant;
    double north, east;  // nm from the user
    double altitude;
    double headingDeg;
    bool removed;
  };
  const Case cases[] = {
      {"AheadFlyingAway", 0, 3.0, 0.0, 3500, 0, true},
      {"HeadingAtTheUser", 0, 3.0, 0.0, 3500, 180, false},
      {"TooFar", 0, 4.2, 0.0, 3500, 0, false},
      {"TooHigh", 0, 3.0, 0.0, 4000, 0, false},
      {"OffTheLine", 0, 3.0, 0.0, 3500, 5, false},  // 3 nm x sin 5 deg = 1589 ft off
      {"WideVariant", 1, 5.5, 0.0, 5500, 5, true},
      {"WideVariantTooHigh", 1, 5.5, 0.0, 6000, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_resetEngineTables();
    LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2000, lat0 + c.north * nm,
                           lon0 + c.east * nm / std::cos(lat0 * degToRad), c.altitude);
    ac.heading = c.headingDeg * degToRad;
    EXPECT_EQ(engineServices.removeIfNearUser(ac, c.variant), c.removed);
    EXPECT_EQ(ac.simState == SimState::removingfromsim, c.removed);
  }
}

TEST(EngineServices, ParkedLiveAndStaticAircraftOfTheParkAirport) {
  EngineHarness h;
  addStand("P1", lat0, lon0, 0.0);
  addStand("P2", lat0 + 0.001, lon0, 0.0);
  addStand("P3", lat0 + 0.002, lon0, 0.0);
  const auto park = [&h](std::uint32_t hexid, std::string_view model, std::int32_t stand, int minutesAgo) -> LiveAc& {
    LiveAc& ac = addLiveAc(hexid, "L" + std::to_string(hexid & 0xff), model, SimState::active, hexid - 0x400000 + 3000);
    ac.flightState = FlightState::parked;
    ac.standId = stand;
    ac.parkedSince = h.clock().steadyNow().time_since_epoch().count() - std::int64_t{minutesAgo} * 60'000'000'000;
    return ac;
  };
  park(0x400001, "B738", 1, 91);   // too long for a Large aircraft
  park(0x400002, "B744", 2, 170);  // a Heavy may stay 180 minutes
  LiveAc& testing = park(0x400003, "A320", 3, 500);
  testing.stopTest = 1;  // moving off: listed with 0 minutes
  park(0x400004, "B738", 3, 30);
  addLiveAc(0x400005, "TAXI", "B738", SimState::active, 3010);

  EXPECT_EQ(engineServices.countParkedLiveAc(false), 4);
  engineServices.listParkedLiveAc();
  ASSERT_EQ(parkedLiveList.size(), 3u);
  EXPECT_EQ(parkedLiveList[0].callsign, "L3");
  EXPECT_EQ(parkedLiveList[0].minutes, 0);
  EXPECT_EQ(parkedLiveList[1].minutes, 30);
  EXPECT_EQ(parkedLiveList[2].minutes, 170);
  EXPECT_EQ(gf_findLiveAc(0x400001)->simState, SimState::removingfromsim);
  INITIAL_LOAD_ONLY.value.store(true);
  park(0x400006, "B738", 2, 1000);
  engineServices.listParkedLiveAc();
  EXPECT_EQ(parkedLiveList.size(), 4u) << "kept with INITIAL_LOAD_ONLY";

  // The two longest parked go.
  engineServices.removeOldestParkedLive(2);
  EXPECT_EQ(gf_findLiveAc(0x400006)->simState, SimState::removingfromsim);
  EXPECT_EQ(gf_findLiveAc(0x400003)->simState, SimState::removingfromsim);
  EXPECT_EQ(gf_findLiveAc(0x400002)->simState, SimState::active);
  EXPECT_TRUE(h.logHas("live parked"));
  EXPECT_TRUE(h.logHas(" at P3 removed"));

  // At a stand the static aircraft goes first, then a parked live one.
  addStaticAc(7, "S7*", 2, SimState::active, 3100);
  engineServices.removeAcAtStand("P2");
  EXPECT_EQ(gf_findStaticAc(7)->simState, SimState::removingfromsim);
  EXPECT_EQ(gf_findLiveAc(0x400002)->simState, SimState::active);
  engineServices.removeAcAtStand("P2");
  EXPECT_EQ(gf_findLiveAc(0x400002)->simState, SimState::removingfromsim);
  engineServices.removeAcAtStand("");
  engineServices.removeAcAtStand("nowhere");
}

TEST(EngineServices, MeanTimeParkedInHalfHoursAcrossTheWeek) {
  EngineHarness h;
  int repaints = 0;
  engineServices.invalidateAirportBand = [&repaints] { ++repaints; };
  const auto slot = [](std::uint64_t day, std::uint64_t halfHour) { return (halfHour << 32) | day; };
  currentWeekSlot.store(slot(1, 2));  // Monday 01:00
  LiveAc& a = addLiveAc(0x400001, "A", "B738", SimState::active, 2001);
  a.flightState = FlightState::parked;
  a.parkingStart = slot(7, 46);  // Sunday 23:00: 4 half hours ago
  LiveAc& b = addLiveAc(0x400002, "B", "B738", SimState::active, 2002);
  b.flightState = FlightState::parked;
  b.parkingStart = slot(1, 0);  // 2 half hours ago
  LiveAc& c = addLiveAc(0x400003, "C", "B738", SimState::active, 2003);
  c.flightState = FlightState::parked;  // no parking start: counted, not timed
  EXPECT_EQ(gf_countParkedLiveAc(true), 3);
  EXPECT_FLOAT_EQ(meanParkedSlots.load(), 3.0f);
  EXPECT_EQ(repaints, 1);
  gf_countParkedLiveAc(true);
  EXPECT_EQ(repaints, 1) << "repainted only when the value changed";
}

TEST(EngineServices, AllStaticAircraftGo) {
  EngineHarness h;
  addStaticAc(1, "ACT*", 0, SimState::active, 2001);
  addStaticAc(2, "QUEUED*", 0, SimState::adding2sim);
  staticAddQueue.push_back(creation(2, "QUEUED*"));
  addStaticAc(3, "SENT*", 0, SimState::adding2sim);
  engineServices.removeAllStaticAc();
  ASSERT_EQ(staticAcTable.size(), 2u);
  EXPECT_EQ(gf_findStaticAc(1)->simState, SimState::removingfromsim);
  EXPECT_EQ(gf_findStaticAc(3)->removeWhenCreated, 1);
  EXPECT_TRUE(staticAddQueue.empty());
  EXPECT_EQ(removeIdQueue, std::deque<std::uint32_t>{2001});
  EXPECT_TRUE(engineServices.dropQueuedCreation(liveAddQueue, *gf_findStaticAc(3)) == false);
}

TEST(EngineServices, LiveTrafficIsTakenOutWhenRealTrafficGoes) {
  EngineHarness h;
  addLiveAc(0x400001, "ACT", "B738", SimState::active, 2001);
  addLiveAc(0x400002, "QUEUED", "B738", SimState::adding2sim);
  liveAddQueue.push_back(creation(0x400002, "QUEUED"));
  addLiveAc(0x400003, "SENT", "B738", SimState::adding2sim);
  addLiveAc(0x400004, "BUF", "B738", SimState::buffer);
  lf_abortLiveTraffic();
  ASSERT_EQ(liveAcTable.size(), 3u);
  EXPECT_EQ(gf_findLiveAc(0x400001)->simState, SimState::removingfromsim);
  EXPECT_EQ(gf_findLiveAc(0x400002), nullptr);
  EXPECT_EQ(gf_findLiveAc(0x400003)->removeWhenCreated, 1);
  EXPECT_EQ(gf_findLiveAc(0x400004)->simState, SimState::buffer);
  EXPECT_TRUE(liveAddQueue.empty());
}
