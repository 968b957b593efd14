#include "parking/stands_fixture.hpp"

#include <algorithm>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/reference_db.hpp"
#include "config/settings.hpp"
#include "parking/apf_state.hpp"
#include "parking/park_airports.hpp"
#include "parking/stand_services.hpp"
#include "parking/static_parking.hpp"
#include "parking/user_spot.hpp"
#include "records/engine_tables.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/udp_reader.hpp"

namespace stands_test {

namespace {
void lf_resetAll() {
  wdrx::testing::resetStandServices();
  wdrx::testing::resetParkAirports();
  wdrx::testing::resetStaticParking();
  wdrx::testing::resetUserSpot();
  gf_clearAcTables();
  parkedLiveList.clear();
  liveAddQueue.clear();
  engineServices = {};
  userPosition = UserAircraftState{};
  userOnGround.onGround.store(false);
  userOnGround.known.store(false);
  userHalfWingSpan.store(0.0);
  halfWingSpans.fill(0.0);
  trafficReader.takeCallsigns();
  for (IntParameter* p : std::initializer_list<IntParameter*>{&MAX_PARK_SEL, &CUSTOM_PARKING_PERCENTAGE, &AIRP_RANGE, &AIRP_HEIGHT})
    p->value.store(p->defaultValue);
  for (BoolParameter* p : std::initializer_list<BoolParameter*>{&RANDOM, &HELICOPTERS})
    p->value.store(p->defaultValue);
  DESTINATION.value.store("");
  parkingUpdateBusy.store(false);
  staticParkingActive.store(false);
  parkingCountdown.store(20);
}
}  // namespace

LatLon offset(const LatLon& from, double bearingDeg, double metres) {
  return gf_destinationPoint(from, bearingDeg * degToRad, metres / 0.3048);
}

StandsTest::StandsTest() {
  lf_resetAll();
  // References into the tables stay valid while a test adds to them.
  standTable.reserve(512);
  liveAcTable.reserve(64);
  staticAcTable.reserve(64);
  RANDOM.value.store(false);
  engineServices.removeAircraftFromSim = [this](AcBase& ac) {
    engine.removed.push_back(ac.hexid);
    ac.simState = SimState::removingfromsim;
  };
  engineServices.removeAllStaticAc = [this] {
    ++engine.removeAllCalls;
    for (AcBase& ac : staticAcTable) ac.removed = 1;
    gf_compactStaticAcTable();
  };
  engineServices.dropQueuedCreation = [this](std::deque<AiCreationRecord>&, const AcBase&) {
    return engine.dropFinds;
  };
  engineServices.removeIfNearUser = [this](LiveAc& ac, int) {
    engine.nearUserAsked.push_back(ac.hexid);
    return engine.nearUserRemoves;
  };
  engineServices.removeAcAtStand = [this](const std::string& name) { engine.removedAtStand.push_back(name); };
  // Parked active live aircraft, parkedSince read as minutes, shortest first.
  engineServices.listParkedLiveAc = [] {
    parkedLiveList.clear();
    for (const LiveAc& ac : liveAcTable) {
      if (ac.flightState == FlightState::parked && ac.simState == SimState::active)
        parkedLiveList.push_back({ac.callsign, ac.standId, static_cast<std::int32_t>(ac.parkedSince)});
    }
    std::stable_sort(parkedLiveList.begin(), parkedLiveList.end(),
                     [](const ParkedLiveEntry& a, const ParkedLiveEntry& b) { return a.minutes < b.minutes; });
  };
  engineServices.removeOldestParkedLive = [this](std::size_t n) {
    engine.oldestRemoved.push_back(n);
    std::vector<LiveAc*> parked;
    for (LiveAc& ac : liveAcTable)
      if (ac.flightState == FlightState::parked && ac.simState == SimState::active) parked.push_back(&ac);
    std::stable_sort(parked.begin(), parked.end(),
                     [](const LiveAc* a, const LiveAc* b) { return a->parkedSince > b->parkedSince; });
    for (std::size_t i = 0; i < n && i < parked.size(); ++i) parked[i]->simState = SimState::removingfromsim;
  };
  engineServices.countParkedLiveAc = [](bool) { return std::int32_t{0}; };

  airportFileDisplay.showWantedStatic = [this](std::int32_t c, std::int32_t p) { band.wanted.emplace_back(c, p); };
  airportFileDisplay.showPassMarks = [this](bool soft, bool week) { band.passMarks.emplace_back(soft, week); };
  airportFileDisplay.showStaticAverageFit = [this](float hours) { band.staticFit.push_back(hours); };
  airportFileDisplay.showReservedStand = [this](const std::string& name, bool found) {
    band.reservedStand = name;
    band.reservedFound = found;
  };
  airportFileDisplay.showParkAirportCode = [this](const IcaoCode& code) { band.parkAirport = code; };
  airportFileDisplay.showAirportLoaded = [this](bool loaded, const std::string&) { band.loaded = loaded; };
  airportFileDisplay.disableOptionControls = [this] { ++band.disableCalls; };
  airportFileDisplay.enableDestinationBox = [this] { ++band.destinationEnabled; };
}

StandsTest::~StandsTest() {
  airportFileDisplay = {};
  lf_resetAll();
}

Stand& StandsTest::addStand(const std::string& name, const LatLon& at, double radiusMetres,
                            std::uint16_t type) {
  Stand& stand = standTable.emplace_back(std::vector<StandOption>{}, name, StandPosition{at.lat, at.lon, 0.0},
                                         radiusMetres, type, false, false, false);
  stand.number = static_cast<std::uint32_t>(standTable.size());
  gf_publishStandPositions();
  return stand;
}

void StandsTest::link(Stand& a, Stand& b) {
  a.neighbours.push_back(b.number);
  b.neighbours.push_back(a.number);
}

StandOption& StandsTest::addOption(Stand& stand, const std::string& reg, const std::string& airline,
                                   const std::string& model, std::uint32_t day, const std::string& hh,
                                   const std::string& cs1, const std::string& cs2, std::uint32_t real) {
  StandOption option = apf_test::makeOption(reg, day, hh, static_cast<std::uint32_t>(stand.options.size() + 1));
  option.codes = codes(airline, model);
  option.cs1 = cs1;
  option.cs2 = cs2;
  option.real = real;
  return stand.options.emplace_back(std::move(option));
}

LiveAc& StandsTest::addLive(const std::string& callsign, const LatLon& at, AcCategory category,
                            double radiusMetres) {
  LiveAc ac;
  ac.hexid = 0x400000 + static_cast<std::uint32_t>(liveAcTable.size());
  ac.callsign = callsign;
  ac.liveCallsign = callsign;
  ac.category = category;
  ac.radius = radiusMetres * metresToNm;
  ac.latitude = at.lat;
  ac.longitude = at.lon;
  ac.simState = SimState::active;
  ac.onGround = 1;
  ac.flightState = FlightState::taxi;
  return gf_appendLiveAc(std::move(ac));
}

AcBase& StandsTest::addStatic(const std::string& callsign, const Stand& stand, const AircraftCodes& acCodes,
                              WeekSlot parkedSince, double radiusMetres) {
  AcBase ac;
  ac.hexid = 1 + static_cast<std::uint32_t>(staticAcTable.size());
  ac.callsign = callsign;
  ac.codes = acCodes;
  ac.radius = radiusMetres * metresToNm;
  ac.standId = static_cast<std::int32_t>(stand.number);
  ac.standLatitude = stand.latitude;
  ac.standLongitude = stand.longitude;
  ac.parkingStart = parkedSince.packed();
  ac.simState = SimState::active;
  return gf_appendStaticAc(std::move(ac));
}

void StandsTest::setNow(std::int32_t day, std::int32_t halfHour) {
  currentWeekSlot.store(WeekSlot{day, halfHour}.packed());
}

void StandsTest::userAt(const LatLon& at, bool onGround, double heightFeet) {
  userPosition.latitude = at.lat;
  userPosition.longitude = at.lon;
  userPosition.altitudeAboveGround = heightFeet;
  userOnGround.onGround.store(onGround);
  userOnGround.known.store(true);
}

AircraftCodes StandsTest::codes(const std::string& airline, const std::string& model) {
  AircraftCodes c;
  c.airlineId = gf_airlineId(airline);
  c.modelId = gf_modelId(model);
  return c;
}

}  // namespace stands_test
