// The SimClient thread, the frame flush and the creation round trip against the fake simulator.
#include "simlink/sim_client.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>

#include "config/settings.hpp"
#include "fakesim/fakesim.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/sim_ids.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_results.hpp"
#include "simlink/user_aircraft.hpp"
#include "support/fake_clock.hpp"
#include "support/temp_dir.hpp"

using namespace std::chrono_literals;
using fakesim::FakeSim;
using wdrx::testing::TempDir;

namespace {
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5000ms) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::vector<SimResult> resultsOfKind(std::uint32_t kind) {
  std::lock_guard lock(simResultMutex);
  std::vector<SimResult> found;
  for (const auto& r : simResultQueue)
    if (r.kind == kind) found.push_back(r);
  return found;
}

std::string logText() {
  {
    std::lock_guard lock(logMutex);
    logStream.flush();
  }
  return wdrx::testing::readFile("Log.txt");
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

AiCreationRecord creation(std::string callsign, std::string_view title, std::uint32_t hexid) {
  AiCreationRecord r;
  r.position = SimInitPosition{50.03, 8.57, 364.0, 0.0, 0.0, 250.0, 1, 0};
  r.callsign = std::move(callsign);
  r.liveryTitle = title;
  r.hexid = hexid;
  return r;
}

// What the engine does every 100 cycles.
void requestAircraftInRange() {
  std::lock_guard lock(simQueueMutex);
  SimConnect_RequestDataOnSimObjectType(simConnectHandle.load(), simid::reqInRange, simid::defInRange,
                                        20000, SimObjectType::Aircraft);
}

class SimLinkTest : public ::testing::Test {
 protected:
  void SetUp() override { gf_openLog(); }
  void TearDown() override {
    gf_stopSimClient();
    if (sim) sim->stop();
    wdrx::testing::closeLog();
  }

  void startSim(fakesim::Options options = {}) {
    sim = std::make_unique<FakeSim>(options);
    std::string error;
    ASSERT_TRUE(sim->start(&error)) << error;
    wdrx::testing::writeFile(dir / "SimConnect.cfg",
                             wdrx::format("[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort={}\n", sim->port()));
  }

  // Connects and waits until the definitions are made and the flight runs.
  void connect(fakesim::Options options = {}) {
    startSim(options);
    gf_initSimQueues(5);
    gf_startSimClient();
    ASSERT_TRUE(sim->waitForCount(SimFunction::SetNotificationGroupPriority, 1));
    ASSERT_TRUE(waitUntil([] { return simRunning.load(); }));
    userObjectId.store(1);
  }

  TempDir dir;
  std::unique_ptr<FakeSim> sim;
  // A test's fake clock: the client's thread reads it until TearDown has stopped the thread.
  std::optional<wdrx::testing::FakeClock> clock_;
};
}  // namespace

TEST_F(SimLinkTest, DefinesEverythingInOrderAndClosesItsConnectionWithTheRun) {
  connect();
  std::vector<std::string> sent;
  for (const auto& p : sim->packets()) {
    if (p.is(SimFunction::SubscribeToSystemEvent)) sent.push_back(wdrx::format("sub {} {}", p.eventId, p.name));
    if (p.is(SimFunction::AddToDataDefinition))
      sent.push_back(wdrx::format("def {} {}|{}|{}|{}|{:x}", p.defineId, p.name, p.units, p.dataType,
                                  p.epsilon, p.datumId));
    if (p.is(SimFunction::MapClientEventToSimEvent)) sent.push_back(wdrx::format("map {} {}", p.eventId, p.name));
    if (p.is(SimFunction::AddClientEventToNotificationGroup))
      sent.push_back(wdrx::format("grp {} {} {}", p.groupId, p.eventId, p.maskable));
    if (p.is(SimFunction::SetNotificationGroupPriority)) sent.push_back(wdrx::format("pri {} {}", p.groupId, p.priority));
  }
  std::vector<std::string> expected = {"sub 201 Sim", "sub 202 ObjectAdded", "sub 203 ObjectRemoved",
                                       "sub 205 PositionChanged", "sub 206 FlightLoaded", "sub 204 Frame",
                                       "def 407 TITLE||11|0|ffffffff", "def 408 ATC MODEL||6|0|ffffffff",
                                       "def 409 SIM ON GROUND|Bool|2|0|ffffffff"};
  const char* position[] = {"Plane Latitude|degree", "Plane Longitude|degree", "Plane Pitch degrees|radians",
                            "Plane Bank degrees|radians", "Plane Heading degrees true|radians", "Plane Altitude|feet"};
  for (const char* v : position) expected.push_back(wdrx::format("def 402 {}|4|0|ffffffff", v));
  expected.push_back("def 402 Vertical Speed|feet per second|4|0|ffffffff");
  expected.push_back("def 402 Airspeed True|knots|4|0|ffffffff");
  for (const char* v : position) expected.push_back(wdrx::format("def 403 {}|4|0|ffffffff", v));
  for (const char* v : {"def 403 Indicated Altitude|feet|4", "def 403 Plane Alt Above Ground|feet|4",
                        "def 403 Ground Velocity|knots|4", "def 403 ZULU TIME|Seconds|2",
                        "def 403 ZULU DAY OF YEAR|Number|2", "def 403 ZULU YEAR|Number|2", "def 403 LIGHT STATES|Mask|2",
                        "def 403 STANDARD ATM TEMPERATURE|Rankine|4", "def 405 Static CG to Ground|feet|4",
                        "def 405 Static Pitch|radians|4", "def 406 Light On States|Mask|2",
                        "def 404 Plane Alt Above Ground|feet|4", "def 404 Ground Altitude|feet|4",
                        "def 404 SIM ON GROUND|Bool|2", "def 404 ATC ID||6",
                        "def 401 SPOILERS HANDLE POSITION|percent|4",
                        "def 401 GENERAL ENG THROTTLE LEVER POSITION:1|percent|4",
                        "def 401 GENERAL ENG THROTTLE LEVER POSITION:2|percent|4"})
    expected.push_back(std::string(v) + "|0|ffffffff");
  for (const char* v : {"220 GEAR_SET", "221 ENGINE_AUTO_START", "222 ENGINE_AUTO_SHUTDOWN", "223 THROTTLE_SET",
                        "218 FLAPS_SET", "219 SPOILERS_SET", "208 NAV_LIGHTS_SET", "207 BEACON_LIGHTS_SET",
                        "211 LANDING_LIGHTS_SET", "209 TAXI_LIGHTS_SET", "210 STROBES_SET", "213 LOGO_LIGHTS_SET",
                        "212 CABIN_LIGHTS_SET", "214 ALL_LIGHTS_TOGGLE", "215 FREEZE_LATITUDE_LONGITUDE_SET",
                        "216 FREEZE_ALTITUDE_SET", "217 FREEZE_ATTITUDE_SET"})
    expected.push_back(std::string("map ") + v);
  for (int id : {208, 207, 211, 209, 210, 213, 212, 214, 218, 219, 220, 222, 223, 215, 216, 217})
    expected.push_back(wdrx::format("grp 301 {} 1", id));
  expected.push_back("pri 301 1");
  EXPECT_EQ(sent, expected);
  ASSERT_TRUE(sim->packets()[0].is(SimFunction::Open));
  EXPECT_EQ(sim->packets()[0].name, "Wendrix_P3D");
  EXPECT_EQ(gf_statusSnapshot().statusText, "");  // "Waiting ..." cleared by the accepted OPEN

  gf_stopSimClient();
  EXPECT_EQ(simConnectHandle.load(), nullptr);
  EXPECT_TRUE(sim->waitFor([&] { return sim->connectionsOpen() == 0; }));
  EXPECT_TRUE(contains(logText(), "SimConnect closed ok"));
  EXPECT_FALSE(runStopRequested.load());
}

TEST_F(SimLinkTest, RetriesOpenUntilTheSimulatorListens) {
  startSim();
  fakesim::Options options;
  options.port = sim->port();
  sim->stop();
  gf_initSimQueues(5);
  gf_startSimClient();
  ASSERT_TRUE(waitUntil([] { return gf_statusSnapshot().statusText == "Waiting for Prepar3Dv5 ..."; }));
  std::this_thread::sleep_for(250ms);  // a few refused opens
  sim = std::make_unique<FakeSim>(options);
  ASSERT_TRUE(sim->start());
  EXPECT_TRUE(sim->waitForCount(SimFunction::SetNotificationGroupPriority, 1));
  EXPECT_EQ(sim->connectionsAccepted(), 1);
}

TEST_F(SimLinkTest, AcceptsOnlyTheExpectedPrepar3dVersion) {
  struct Case {
    int simVersion;
    std::string name;
    std::string installPath;
    std::uint32_t expected;
    std::string error;  // empty: accepted
  };
  const Case cases[] = {
      {5, "", "", 5, ""},
      {6, "", "D:\\Prepar3D V6", 5, ""},
      {6, "", "", 6, ""},
      {6, "", "", 5, "78: wrong P3D version 'Lockheed Martin Prepar3D v6 (6.5.23.41357)' connects ... ?)"},
      {5, "", "D:\\P3Dv6", 6, "78: wrong P3D version 'Lockheed Martin Prepar3D v5 (5.5.23.41357)' connects ... ?)"},
      {5, "KittyHawk", "", 5, "78: KittyHawk, (MSFS) not being P3D connects ... ?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.simVersion);
    fakesim::Options options;
    options.simVersion = c.simVersion;
    options.applicationName = c.name;
    SIM_INSTALL_PATH.value.store(c.installPath);
    gf_clearError();
    startSim(options);
    gf_initSimQueues(c.expected);
    gf_startSimClient();
    if (c.error.empty()) {
      EXPECT_TRUE(waitUntil([] { return gf_statusSnapshot().statusText.empty(); }));
      EXPECT_TRUE(waitUntil([] { return simRunning.load(); }));
      EXPECT_EQ(gf_statusSnapshot().errorText, "");
    } else {
      EXPECT_TRUE(waitUntil([] { return !gf_statusSnapshot().errorText.empty(); }));
      EXPECT_EQ(gf_statusSnapshot().errorText, c.error);
      // The thread ends by itself and closes its connection; the run goes on.
      EXPECT_TRUE(sim->waitFor([&] { return sim->connectionsOpen() == 0; }));
      EXPECT_FALSE(runStopRequested.load());
    }
    gf_stopSimClient();
    sim->stop();
  }
  EXPECT_TRUE(contains(logText(), "Lockheed Martin Prepar3D v5 (5.5.23.41357) connected"));
}

TEST_F(SimLinkTest, AHandlersUserErrorLeavesTheRunGoingWithoutTheSimulator) {
  connect();
  sim->setUserText("ATC MODEL", "");
  gf_requestUserAcTitleAndModel();
  ASSERT_TRUE(waitUntil([] { return simConnectHandle.load() == nullptr; }));
  const std::string error = "71: atc_model= in [General] section of your aircraft.cfg is empty or missing";
  EXPECT_EQ(gf_statusSnapshot().errorText, error);
  EXPECT_FALSE(simRunning.load());  // the main loop no longer runs the engine
  // The run thread's requests find no connection: nothing is sent, nothing ends the run.
  gf_requestUserAcPosition();
  gf_requestUserAcTitleAndModel();
  EXPECT_FALSE(runStopRequested.load());
  EXPECT_FALSE(simQueuesBlocked.load());
  EXPECT_EQ(gf_statusSnapshot().errorText, error);
}

TEST_F(SimLinkTest, FrameFlushSendsPositionsEventsCreationsRemovalsInOrder) {
  connect();
  static const std::string title = "Airbus A320 Lufthansa";
  PositionUpdateRecord own{50.0, 8.0, 0, 0, 0, 1000, 0, 0, 1};
  PositionUpdateRecord ai{50.1, 8.1, 0.01, 0.02, 1.5, 3000.0, 12.0, 250.0, 1001};
  {
    std::lock_guard lock(simQueueMutex);
    positionUpdateBuffers.fill().push_back(own);
    positionUpdateBuffers.fill().push_back(ai);
  }
  ASSERT_TRUE(gf_handOverPositions());
  gf_queueNavLights(1001, 1);
  gf_queueClientEvent(1001, simid::flapsSet, 3);
  gf_queueClientEvent(1002, simid::flapsSet, 1);
  gf_queueAiCreation(creation("DLH123", title, 0x3C6444));
  gf_queueAiRemoval(1);
  gf_queueAiRemoval(1002);
  sim->clearPackets();
  sim->sendFrame();
  ASSERT_TRUE(sim->waitForCount(SimFunction::AIRemoveObject, 1));

  std::vector<std::string> sent;
  for (const auto& p : sim->packets()) {
    if (p.is(SimFunction::SetDataOnSimObject)) {
      sent.push_back(wdrx::format("set {} {} {}", p.defineId, p.objectId, p.unitSize));
      EXPECT_EQ(p.doubles(), (std::vector<double>{50.1, 8.1, 0.01, 0.02, 1.5, 3000.0, 12.0, 250.0}));
    } else if (p.is(SimFunction::TransmitClientEvent)) {
      sent.push_back(wdrx::format("evt {} {} {} {} {}", p.objectId, p.eventId, p.data, p.groupId, p.flags));
    } else if (p.is(SimFunction::AIReleaseControl)) {
      sent.push_back(wdrx::format("rel {} {}", p.objectId, p.requestId));
    } else if (p.is(SimFunction::AICreateNonATCAircraft)) {
      sent.push_back(wdrx::format("new {} {} {}", p.name, p.units, p.requestId));
      EXPECT_EQ(p.position.heading, 250.0);
      EXPECT_EQ(p.position.onGround, 1u);
    } else if (p.is(SimFunction::AIRemoveObject)) {
      sent.push_back(wdrx::format("del {} {}", p.objectId, p.requestId));
    }
  }
  EXPECT_EQ(sent, (std::vector<std::string>{
                      "set 402 1001 64", "evt 1001 208 1 301 0", "rel 1001 103", "evt 1001 218 3 301 0",
                      "rel 1001 103", "rel 1002 103", "evt 1002 218 1 301 0", "rel 1002 103",
                      "new Airbus A320 Lufthansa DLH123 104", "del 1002 105"}));
  EXPECT_TRUE(contains(logText(), "==> SimConnect call to remove ac with objectid 1"));
  std::lock_guard lock(simQueueMutex);
  EXPECT_TRUE(clientEventQueue.empty());
  EXPECT_TRUE(aiRemovalQueue.empty());
  EXPECT_TRUE(positionUpdateBuffers.send().empty());
}

TEST_F(SimLinkTest, BusyLockKeepsTheQueuesForTheNextFrame) {
  connect();
  gf_queueEngineStart(1001);
  sim->clearPackets();
  {
    std::lock_guard lock(simQueueMutex);
    sim->sendFrame();
    sim->sendSystemEvent("Sim", 0);  // processed after the frame
    ASSERT_TRUE(waitUntil([] { return !simRunning.load(); }));
    EXPECT_EQ(clientEventQueue.size(), 1u);
  }
  EXPECT_EQ(sim->count(SimFunction::TransmitClientEvent), 0u);
  sim->sendFrame();
  ASSERT_TRUE(sim->waitForCount(SimFunction::TransmitClientEvent, 1));
  EXPECT_EQ(sim->packets(SimFunction::TransmitClientEvent)[0].eventId, simid::engineAutoStart);
}

TEST_F(SimLinkTest, AircraftInRangeAreThoseOfTheRequestsRadiusAndType) {
  connect();
  // The user aircraft is parked at 50.03, 8.57; the fake lists it among the aircraft, as the
  // simulator does, and answers in object order: the far ones come before the near one.
  const auto place = [&](std::uint32_t id, double latitude) {
    sim->setObjectValue(id, "PLANE LATITUDE", latitude);
    sim->setObjectValue(id, "PLANE LONGITUDE", 8.57);
    sim->setObjectValue(id, "PLANE ALT ABOVE GROUND", 100.0);
  };
  const std::uint32_t far = sim->addObject("Far", "AFR1");
  place(far, 50.3);  // 30 km
  const std::uint32_t heli = sim->addObject("Heli", "DHELI", fakesim::ObjectType::Helicopter);
  place(heli, 50.04);
  const std::uint32_t near = sim->addObject("Near", "BAW1");
  place(near, 50.1);  // 7.8 km
  // The first answer names the objects just added (not ours), the second reports them.
  requestAircraftInRange();
  ASSERT_TRUE(waitUntil([] { return contains(logText(), "just spawned, but not by Wendrix_P3D, oid: "); }));
  requestAircraftInRange();
  ASSERT_TRUE(waitUntil([] { return !resultsOfKind(SimResultKind::inRange).empty(); }));
  const auto inRange = resultsOfKind(SimResultKind::inRange);
  ASSERT_EQ(inRange.size(), 1u);
  EXPECT_EQ(inRange[0].objectId, near);
  EXPECT_EQ(inRange[0].second, 100.0);
  EXPECT_FALSE(contains(logText(), wdrx::format("oid: {},", far)));
  EXPECT_FALSE(contains(logText(), wdrx::format("oid: {},", heli)));
  EXPECT_FALSE(contains(logText(), "oid: 1,"));  // the user aircraft is never another aircraft
}

TEST_F(SimLinkTest, CreationRoundTripAndRemoval) {
  connect();
  static const std::string title = "Airbus A320 Lufthansa";
  static const std::string parked = "Boeing 737 Ryanair";
  gf_queueAiCreation(creation("DLH123", title, 0x3C6444));
  gf_queueAiCreation(creation("RYR1", parked, 42));  // a static aircraft
  sim->sendFrame();
  ASSERT_TRUE(sim->waitFor([&] { return sim->objects().size() == 2; }));
  const std::uint32_t object = sim->objects()[0].atcId == "DLH123" ? sim->objects()[0].id : sim->objects()[1].id;
  sim->setObjectValue(object, "PLANE ALT ABOVE GROUND", 12.5);
  requestAircraftInRange();
  ASSERT_TRUE(waitUntil([] { return resultsOfKind(SimResultKind::liveCreated).size() == 1 &&
                                    resultsOfKind(SimResultKind::staticCreated).size() == 1; }));
  const SimResult live = resultsOfKind(SimResultKind::liveCreated)[0];
  EXPECT_EQ(live.objectId, object);
  EXPECT_EQ(live.key, 0x3C6444u);
  EXPECT_EQ(live.second, 12.5);
  EXPECT_EQ(resultsOfKind(SimResultKind::staticCreated)[0].key, 42u);
  EXPECT_EQ(resultsOfKind(SimResultKind::staticCreated)[0].second, 0.0);
  EXPECT_TRUE(sim->waitForCount(SimFunction::AIReleaseControl, 2));

  sim->clearPackets();
  sim->sendFrame();  // the freeze events
  ASSERT_TRUE(sim->waitForCount(SimFunction::TransmitClientEvent, 6));
  std::vector<std::uint32_t> events;
  for (const auto& p : sim->packets(SimFunction::TransmitClientEvent))
    if (p.objectId == object) events.push_back(p.eventId * 10 + p.data);
  EXPECT_EQ(events, (std::vector<std::uint32_t>{2151, 2161, 2171}));

  gf_queueAiRemoval(object);
  sim->sendFrame();
  ASSERT_TRUE(waitUntil([] { return resultsOfKind(SimResultKind::removed).size() == 1; }));
  EXPECT_EQ(resultsOfKind(SimResultKind::removed)[0].objectId, object);
}

TEST_F(SimLinkTest, RefusedCreationsAreReportedAsFailed) {
  connect();
  static const std::string refused = "Refused livery";
  static const std::string tooLong(300, 'T');
  sim->failCreationsOf(refused);
  gf_queueAiCreation(creation("DLH9", refused, 0x3C6449));
  gf_queueAiCreation(creation("DLH8", tooLong, 0x3C6448));
  sim->sendFrame();
  ASSERT_TRUE(waitUntil([] { return resultsOfKind(SimResultKind::creationFailed).size() == 2; }));
  std::vector<std::uint32_t> keys;
  for (const auto& r : resultsOfKind(SimResultKind::creationFailed)) keys.push_back(r.key);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::uint32_t>{0x3C6448, 0x3C6449}));
  EXPECT_EQ(sim->count(SimFunction::AICreateNonATCAircraft), 1u);
  // A livery the packet cannot carry is the livery's fault, not the connection's.
  EXPECT_FALSE(runStopRequested.load());
  EXPECT_FALSE(simQueuesBlocked.load());
}

TEST_F(SimLinkTest, UnconfirmedCreationTimesOutAndALateObjectIsRemoved) {
  wdrx::testing::FakeClock& clock = clock_.emplace();
  fakesim::Options options;
  options.autoCreate = false;
  connect(options);
  static const std::string title = "Airbus A320 Lufthansa";
  gf_queueAiCreation(creation("DLH7", title, 0x3C6447));
  // Frames are counted by the client in arrival order; a Sim event after them shows that they
  // were handled before the clock moves on.
  const auto frameHandled = [&](bool runningAfter) {
    sim->sendSystemEvent("Sim", 0);
    ASSERT_TRUE(waitUntil([] { return !simRunning.load(); }));
    if (!runningAfter) return;
    sim->sendSystemEvent("Sim", 1);
    ASSERT_TRUE(waitUntil([] { return simRunning.load(); }));
  };
  sim->sendFrame();  // sends the creation and starts the count
  frameHandled(true);
  ASSERT_TRUE(sim->waitForCount(SimFunction::AICreateNonATCAircraft, 1));
  clock.advance(creationTimeout - 1s);
  sim->sendFrame();
  frameHandled(false);
  clock.advance(10min);  // a paused flight does not count
  sim->sendFrame();
  frameHandled(true);
  EXPECT_TRUE(resultsOfKind(SimResultKind::creationTimedOut).empty());
  clock.advance(2s);
  sim->sendFrame();
  ASSERT_TRUE(waitUntil([] { return resultsOfKind(SimResultKind::creationTimedOut).size() == 1; }));
  EXPECT_EQ(resultsOfKind(SimResultKind::creationTimedOut)[0].key, 0x3C6447u);
  // Silence is not a refusal: the livery stays usable.
  EXPECT_TRUE(resultsOfKind(SimResultKind::creationFailed).empty());
  EXPECT_FALSE(failedLiveries.contains(title));

  sim->completeCreations();
  ASSERT_TRUE(sim->waitFor([&] { return sim->objects().size() == 1; }));
  const std::uint32_t object = sim->objects()[0].id;
  requestAircraftInRange();
  ASSERT_TRUE(waitUntil([] {
    std::lock_guard lock(simQueueMutex);
    return aiRemovalQueue.size() == 1;
  }));
  sim->sendFrame();
  ASSERT_TRUE(sim->waitForCount(SimFunction::AIRemoveObject, 1));
  EXPECT_EQ(sim->packets(SimFunction::AIRemoveObject)[0].objectId, object);
  EXPECT_TRUE(resultsOfKind(SimResultKind::liveCreated).empty());
}

TEST_F(SimLinkTest, ClosedSimulatorEndsTheRun) {
  connect();
  sim->sendQuit();
  ASSERT_TRUE(waitUntil([] { return !simRunning.load(); }));
  EXPECT_FALSE(runStopRequested.load());  // QUIT alone does not end the run
  sim->closeConnections();
  ASSERT_TRUE(waitUntil([] { return runStopRequested.load(); }));
  EXPECT_EQ(exitReason.load(), ExitReason::SimWasClosed);
  EXPECT_EQ(restartDelay.load(), 0);
  ASSERT_TRUE(waitUntil([] { return simConnectHandle.load() == nullptr; }));
  gf_stopSimClient();
  EXPECT_TRUE(contains(logText(), "Flight Simulator no longer connected, Wendrix_P3D will stop ..."));
}

TEST_F(SimLinkTest, PositionChangedEndsTheRunWithNewFlightOnce) {
  connect();
  sim->sendSystemEvent("PositionChanged", 0);
  ASSERT_TRUE(waitUntil([] { return runStopRequested.load(); }));
  EXPECT_EQ(exitReason.load(), ExitReason::NewFlight);
  EXPECT_EQ(restartDelay.load(), 30);
  restartDelay.store(-1);
  sim->sendSystemEvent("FlightLoaded", 0);
  sim->sendSystemEvent("Sim", 0);
  ASSERT_TRUE(waitUntil([] { return !simRunning.load(); }));
  EXPECT_EQ(restartDelay.load(), -1);
}

TEST_F(SimLinkTest, UserAircraftAnswersOverTheWire) {
  connect();
  sim->setUserValue("PLANE LATITUDE", 47.46);
  sim->setUserValue("PLANE LONGITUDE", 8.55);
  sim->setUserValue("PLANE ALTITUDE", 1400.0);
  sim->setUserValue("GROUND VELOCITY", 1.0);
  sim->setUserValue("SIM ON GROUND", 1.0);
  sim->setUserText("TITLE", std::string(60, 'A'));
  sim->setUserText("ATC MODEL", "B738");
  sim->beginBatch();  // the answers wait until the requests are out
  EXPECT_EQ(gf_requestUserAcPosition().latitude, 0.0);  // the answer comes later
  gf_requestUserAcTitleAndModel();
  {
    std::lock_guard lock(simQueueMutex);
    SimConnect_RequestDataOnSimObject(simConnectHandle.load(), simid::reqUserOnGround, simid::defOnGround,
                                      simUserObjectId, SimPeriod::Second);
  }
  sim->endBatch();
  ASSERT_TRUE(waitUntil([] { return gf_userAircraftState().latitude == 47.46; }));
  EXPECT_EQ(gf_userAircraftState().altitude, 1400.0);
  EXPECT_EQ(userObjectId.load(), 1u);
  ASSERT_TRUE(waitUntil([] { return gf_userAcTitle().size() == 48; }));
  sim->sendPeriodicAnswers();
  ASSERT_TRUE(waitUntil([] { return secondTick.load() && userOnGround.known.load(); }));
  EXPECT_TRUE(userOnGround.onGround.load());
}

TEST(SimQueues, BlockedQueuesAreEmptiedOnlyUnderTheirLock) {
  gf_initSimQueues(5);
  simQueuesBlocked.store(true);
  gf_queueEngineStart(1001);
  std::atomic<bool> held{false}, release{false};
  std::thread holder([&] {
    std::lock_guard lock(simQueueMutex);
    held = true;
    while (!release) std::this_thread::sleep_for(1ms);
  });
  ASSERT_TRUE(waitUntil([&] { return held.load(); }));
  lf_flushSimQueues();  // the lock is busy: returns at once, touches nothing
  release = true;
  holder.join();
  EXPECT_EQ(clientEventQueue.size(), 1u);
  lf_flushSimQueues();
  EXPECT_TRUE(clientEventQueue.empty());
}

TEST(SimQueues, FailedCreationIsPushedAfterTheQueueLockIsReleased) {
  gf_initSimQueues(5);
  static const std::string tooLong(300, 'T');
  gf_queueAiCreation(creation("DLH8", tooLong, 0x3C6448));
  std::unique_lock results(simResultMutex);
  std::thread flush([] { lf_flushSimQueues(); });
  // The flush waits for simResultMutex; it must not hold simQueueMutex meanwhile.
  const bool queueLockFree = waitUntil([] {
    std::unique_lock lock(simQueueMutex, std::try_to_lock);
    return lock.owns_lock() && aiCreationQueue.empty();
  });
  results.unlock();
  flush.join();
  EXPECT_TRUE(queueLockFree);
  EXPECT_EQ(resultsOfKind(SimResultKind::creationFailed).size(), 1u);
}
