// The engine harness: set-up of a clean engine and a fake simulator link around it.
#include "engine/engine_harness.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "aircraft/reference_db.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/random.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "runstate/run_control.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_handlers.hpp"
#include "simlink/sim_packets.hpp"
#include "traffic/link_state.hpp"
#include "traffic/traffic_decoder.hpp"

namespace wdrx::testing {

namespace {
void lf_defaultSettings() {
  for (auto* p : boolParameters) p->value.store(p->defaultValue);
  for (auto* p : checkBoxParameters) p->value.store(p->defaultValue);
  for (auto* p : intParameters) p->value.store(p->defaultValue);
  for (auto* p : comboBoxParameters) p->value.store(p->defaultValue);
  for (auto* p : editParameters) p->value.store(p->defaultValue);
  rangeNm.store(40.0);
  rangeMeters.store(40u * 1852u);
}
}  // namespace

void installReferenceModels() {
  // Id 0 is the empty code, as the reference reader makes it.
  gf_modelId("");
  gf_airlineId("");
  struct Model {
    const char* code;
    std::set<std::uint16_t>* category;
    double halfSpanNm;
  };
  const Model models[] = {{"B738", &largeModels, 0.0097}, {"A320", &largeModels, 0.0092},
                          {"B744", &heavyModels, 0.0174}, {"C172", nullptr, 0.0030},
                          {"C25A", &buzjetModels, 0.0040}, {"F16", &highPerfModels, 0.0026},
                          {"EC35", &rotorcraftModels, 0.0027}};
  for (const Model& m : models) {
    knownModelCodes.insert(m.code);
    if (m.category != nullptr) m.category->insert(gf_modelId(m.code));
    lf_fillWingspan(m.code, m.halfSpanNm);
  }
  maxHalfWingSpan = 0.0432;
}

EngineHarness::EngineHarness(HarnessOptions options) : options_(options) {
  dir_ = std::make_unique<TempDir>();
  if (options_.openLog) gf_openLog();
  clock_ = std::make_unique<FakeClock>();
  gf_seedRandomEngine(options_.seed);
  gf_initDataFolder();
  gf_createFlightPlanFolder();
  lf_defaultSettings();
  installReferenceModels();
  runStopRequested.store(false);
  closeRequested.store(false);
  exitReason.store(ExitReason::NotYetSet);
  realTrafficDetected.store(false);
  parkAirportCode.store(IcaoCode{});
  parkAirport.store(Airport{});
  gf_resetSimQueues();
  gf_resetUserAircraft();
  gf_reserveEngineTables();
  gf_resetEngineTables();
  gf_registerEngineServices();
  failedLiveries.clear();
  regcodeTitles.clear();
  dbaseRecords.clear();
  reservedStandName.clear();
  engineDoubles.reset();
  {
    std::lock_guard lock(trafficMutex);
    acceptTraffic = true;
  }
  engineCycle.store(1);
  userObjectId.store(1);
  userOnGround.onGround.store(false);
  userOnGround.known.store(true);
  if (options_.connectSim) {
    fakesim::Options simOptions;
    simOptions.secondInterval = std::chrono::milliseconds(0);
    sim_ = std::make_unique<fakesim::FakeSim>(simOptions);
    std::string error;
    if (!sim_->start(&error)) ADD_FAILURE() << error;
    writeFile(dir_->path() / "SimConnect.cfg",
              wdrx::format("[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort={}\n", sim_->port()));
    if (simFailed(SimConnect_Open(&connection_, simClientName, nullptr, 0, nullptr, 0)))
      ADD_FAILURE() << "no connection to the fake simulator";
    simConnectHandle.store(connection_);
  }
  gf_initSimQueues(5);
}

EngineHarness::~EngineHarness() {
  simConnectHandle.store(nullptr);
  if (connection_ != nullptr) SimConnect_Close(connection_);
  if (sim_) sim_->stop();
  gf_resetEngineTables();
  gf_resetSimQueues();
  gf_resetUserAircraft();
  engineDoubles.reset();
  engineServices = EngineServices{};
  if (options_.openLog) closeLog();
}

LiveReport EngineHarness::report(std::uint32_t hexid, const std::string& callsign, std::string_view model,
                                 double latitude, double longitude, double altitude, double groundSpeed,
                                 double track, double timestamp) {
  LiveReport r;
  r.hexid = hexid;
  r.identity.callsign = callsign;
  r.identity.codes.modelId = gf_modelId(model);
  r.sample.latitude = latitude;
  r.sample.longitude = longitude;
  r.sample.altitude = altitude;
  r.sample.groundSpeed = groundSpeed;
  r.sample.track = track;
  r.sample.trueAirspeed = altitude > 0.0 ? groundSpeed : 0.0;
  r.sample.airborne = altitude > 0.0 ? 1 : 0;
  r.sample.dueCycle = engineCycle.load() + reportDelayCycles;
  r.timestamp = timestamp;
  return r;
}

void EngineHarness::push(LiveReport report) {
  std::lock_guard lock(trafficMutex);
  addingStack.push_back(std::move(report));
}

void EngineHarness::pushResult(const SimResult& result) { gf_pushSimResult(result); }

void EngineHarness::cycle(int count) {
  for (int i = 0; i < count; ++i) {
    lf_handleAddingStack();
    clock_->advance(std::chrono::milliseconds(10));
  }
}

void EngineHarness::runTo(std::int64_t cycleValue) {
  while (engineCycle.load() < cycleValue) cycle();
}

void EngineHarness::setUser(double latitude, double longitude, double altitude, bool onGround,
                            double groundSpeed, double headingRad) {
  UserAircraftState state;
  state.latitude = latitude;
  state.longitude = longitude;
  state.altitude = altitude;
  state.groundSpeed = groundSpeed;
  state.heading = headingRad;
  gf_resetUserAircraft();  // no jump test against the previous position
  const auto packet = simtest::userState(state, 1);
  lf_onUserAircraftData(*reinterpret_cast<const SimRecvSimObjectData*>(packet.recv()), packet.size());
  userPosition = state;
  userOnGround.onGround.store(onGround);
  userOnGround.known.store(true);
  userObjectId.store(1);
}

std::vector<AiCreationRecord> EngineHarness::takeCreations() {
  std::lock_guard lock(simQueueMutex);
  std::vector<AiCreationRecord> taken;
  taken.swap(aiCreationQueue);
  return taken;
}

std::vector<std::uint32_t> EngineHarness::takeRemovals() {
  std::lock_guard lock(simQueueMutex);
  std::vector<std::uint32_t> taken;
  taken.swap(aiRemovalQueue);
  return taken;
}

std::vector<ClientEventRecord> EngineHarness::takeEvents() {
  std::lock_guard lock(simQueueMutex);
  std::vector<ClientEventRecord> taken;
  taken.swap(clientEventQueue);
  return taken;
}

std::vector<PositionUpdateRecord> EngineHarness::takeSentPositions() {
  std::lock_guard lock(simQueueMutex);
  std::vector<PositionUpdateRecord> taken = positionUpdateBuffers.send();
  positionUpdateBuffers.send().clear();
  return taken;
}

std::vector<std::uint32_t> EngineHarness::createObjects(double heightAboveGround) {
  std::vector<std::uint32_t> ids;
  for (const AiCreationRecord& record : takeCreations()) {
    const std::uint32_t id = nextObjectId_++;
    ids.push_back(id);
    const bool isStatic = record.hexid <= maxStaticHexid;
    pushResult(SimResult{id, record.hexid, 0, isStatic ? SimResultKind::staticCreated : SimResultKind::liveCreated,
                         0.0, isStatic ? 0.0 : heightAboveGround});
  }
  return ids;
}

std::vector<std::uint32_t> EngineHarness::confirmRemovals() {
  std::vector<std::uint32_t> ids = takeRemovals();
  for (std::uint32_t id : ids) pushResult(SimResult{id, 0, 0, SimResultKind::removed, 0.0, 0.0});
  return ids;
}

std::string EngineHarness::log() const {
  {
    std::lock_guard lock(logMutex);
    if (logStream.is_open()) logStream.flush();
  }
  return readFile(dir_->path() / "Log.txt");
}

bool EngineHarness::logHas(std::string_view part) const { return log().find(part) != std::string::npos; }

PositionSample sampleAt(double latitude, double longitude, double altitude, double groundSpeed,
                        std::int64_t dueCycle, double track) {
  PositionSample s;
  s.latitude = latitude;
  s.longitude = longitude;
  s.altitude = altitude;
  s.groundSpeed = groundSpeed;
  s.trueAirspeed = groundSpeed;
  s.track = track;
  s.airborne = altitude > 0.0 ? 1 : 0;
  s.dueCycle = dueCycle;
  return s;
}

LiveAc& addLiveAc(std::uint32_t hexid, const std::string& callsign, std::string_view model, SimState state,
                  std::uint32_t objectId, double latitude, double longitude, double altitude) {
  AcIdentity id;
  id.callsign = callsign;
  id.liveCallsign = callsign;
  id.codes.modelId = gf_modelId(model);
  AcBase base = gf_buildRecord(id);
  base.hexid = hexid;
  base.turnRate = base.groundTurnRate;
  LiveAc& ac = gf_appendLiveAc(LiveAc(std::move(base),
                                      sampleAt(latitude, longitude, altitude, altitude > 0 ? 250.0 : 0.0,
                                               engineCycle.load() + 1000),
                                      1000.0));
  ac.simState = state;
  ac.objectId = objectId;
  ac.latitude = latitude;
  ac.longitude = longitude;
  ac.altitude = altitude;
  ac.onGround = altitude > 0.0 ? 0 : 1;
  if (state != SimState::buffer) ac.flightState = altitude > 0.0 ? FlightState::flying : FlightState::taxi;
  gf_indexObjectId(ac);
  return ac;
}

AcBase& addStaticAc(std::uint32_t hexid, const std::string& callsign, std::int32_t standId, SimState state,
                    std::uint32_t objectId) {
  AcIdentity id;
  id.callsign = callsign;
  id.codes.modelId = gf_modelId("A320");
  double lat = 0.0, lon = 0.0, heading = 0.0;
  if (const Stand* stand = gf_findStandByNumber(standId)) {
    lat = stand->latitude;
    lon = stand->longitude;
    heading = stand->heading;
  }
  AcBase base = gf_makeStaticAc(gf_buildRecord(id), standId, lat, lon, heading, 0);
  base.hexid = hexid;
  AcBase& ac = gf_appendStaticAc(std::move(base));
  ac.simState = state;
  ac.objectId = objectId;
  gf_indexObjectId(ac);
  return ac;
}

}  // namespace wdrx::testing
