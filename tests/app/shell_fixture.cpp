#include "shell_fixture.hpp"

#include <algorithm>
#include <filesystem>
#include <future>

#include "app/main_loop.hpp"
#include "app/p3d_detection.hpp"
#include "app/run_startup.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "foundation/paths.hpp"
#include "foundation/time_text.hpp"
#include "parking/addon_scan.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/user_aircraft.hpp"
#include "support/fresh_state.hpp"
#include "traffic/link_state.hpp"
#include "window/main_window.hpp"
#include "window/window_fixture.hpp"

namespace shell_test {

void resetShellState() {
  wdrx::testing::resetSettings();
  wdrx::testing::resetParametersStore();
  wdrx::testing::resetWindowState();
  wdrx::testing::resetRunControl();
  wdrx::testing::resetStatusLine();
  wdrx::testing::resetMainLoop();
  wdrx::testing::resetRunStartUp();
  windowServices = {};
  runServices = {};
  stockAirportsPath.clear();
  metaSimNumber.store(1);
  exitCode.store(0);
  tbloFileCount.store(0);
  p3dV5Installed.store(false);
  p3dV6Installed.store(false);
  userPosition = {};
  userOnGround.onGround.store(false);
  userOnGround.known.store(false);
  trafficSourceTime.store(0.0);
  rtProfessional.store(false);
  realTrafficDetected.store(true);
}

namespace {
const bool fresh = wdrx::testing::resetBeforeEachTest([] { resetShellState(); });
}  // namespace

void CallLog::push(const std::string& call, std::int64_t atMs) {
  std::lock_guard lock(mutex_);
  calls_.emplace_back(call, atMs);
}

std::vector<std::string> CallLog::calls() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const auto& [name, at] : calls_) names.push_back(name);
  return names;
}

std::vector<std::pair<std::string, std::int64_t>> CallLog::timed() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

int CallLog::count(const std::string& call) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                         [&](const auto& entry) { return entry.first == call; }));
}

int CallLog::indexOf(const std::string& call) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < calls_.size(); ++i)
    if (calls_[i].first == call) return static_cast<int>(i);
  return -1;
}

std::int64_t CallLog::timeOf(const std::string& call) const {
  std::lock_guard lock(mutex_);
  for (const auto& [name, at] : calls_)
    if (name == call) return at;
  return -1;
}

void CallLog::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

ShellTest::ShellTest() : start_(clock.steadyNow()) {
  std::filesystem::create_directories(dataFolder);
  gf_setRunSleeper([this](std::chrono::nanoseconds duration) { lf_sleep(duration); });
  bindDoubles();
}

ShellTest::~ShellTest() {
  stopWindow();
  gf_setRunSleeper({});
  runServices = {};
  windowServices = {};
}

std::int64_t ShellTest::nowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock.steadyNow() - start_).count();
}

void ShellTest::at(std::int64_t ms, std::function<void()> action) {
  std::lock_guard lock(scheduleMutex_);
  schedule_.emplace(ms, std::move(action));
}

void ShellTest::lf_sleep(std::chrono::nanoseconds duration) {
  const std::int64_t before = nowMs();
  clock.advance(duration > 0ns ? duration : 1ms);
  if (simulatorSeconds && nowMs() / 1000 != before / 1000) secondTick.store(true);
  for (;;) {
    std::function<void()> action;
    {
      std::lock_guard lock(scheduleMutex_);
      if (schedule_.empty() || schedule_.begin()->first > nowMs()) return;
      action = std::move(schedule_.begin()->second);
      schedule_.erase(schedule_.begin());
    }
    action();
  }
}

void ShellTest::startWindow() {
  {
    std::lock_guard lock(runMutex_);
    restarted_ = false;
  }
  loopResult_.store(-100);
  windowServices.startUpRun = [this] {
    calls.push("startUpRun", nowMs());
    std::lock_guard lock(runMutex_);
    restarted_ = true;
    runStarted_.notify_all();
  };
  std::promise<bool> created;
  auto future = created.get_future();
  guiThread_ = std::thread([this, &created] {
    gf_registerMainWindowClass(u"Wendrix_P3D");
    if (!gf_createMainWindow()) {
      created.set_value(false);
      return;
    }
    created.set_value(true);
    loopResult_.store(gf_runMessageLoop());
  });
  ASSERT_TRUE(future.get());
}

std::int32_t ShellTest::waitForQuit(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (loopResult_.load() == -100 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(5ms);
  return loopResult_.load();
}

bool ShellTest::waitForRestart(std::chrono::milliseconds timeout) {
  std::unique_lock lock(runMutex_);
  return runStarted_.wait_for(lock, timeout, [this] { return restarted_; });
}

void ShellTest::stopWindow() {
  if (!guiThread_.joinable()) return;
  if (loopResult_.load() == -100) gf_onGuiThread([] { gf_destroyMainWindow(); });
  guiThread_.join();
  if (runThread.joinable()) runThread.join();
  auto window = static_cast<platform::gui::WindowHandle>(mainWindow.windowHandle.load());
  if (platform::gui::isWindow(window)) gf_destroyMainWindow();
}

void ShellTest::makeProgramFolder() { std::filesystem::create_directories(paths::manualFolder); }

void ShellTest::bindDoubles() {
  RunServices& s = runServices;
  auto record = [this](const char* name) { return [this, name] { calls.push(name, nowMs()); }; };
  auto yes = [this](const char* name) {
    return [this, name] {
      calls.push(name, nowMs());
      return true;
    };
  };
  s.reserveDefaultModelLists = record("reserveDefaultModelLists");
  s.readDbase = yes("readDbase");
  s.readAirports = yes("readAirports");
  s.liveryScanDue = [this] {
    calls.push("liveryScanDue", nowMs());
    return false;
  };
  s.scanLiveries = yes("scanLiveries");
  s.processScannedLiveries = record("processScannedLiveries");
  s.scanAddonAirports = record("scanAddonAirports");
  s.createFlightPlanFolder = yes("createFlightPlanFolder");
  s.readMyParkAirports = record("readMyParkAirports");

  s.reserveEngineTables = record("reserveEngineTables");
  s.initSimQueues = [this](std::uint32_t version) {
    calls.push("initSimQueues " + std::to_string(version), nowMs());
  };
  s.startSimClient = record("startSimClient");
  s.flightRuns = [] { return true; };
  s.requestUserOnGround = yes("requestUserOnGround");
  s.userOnGroundKnown = [] { return true; };
  s.userOnGround = [] { return userOnGround.onGround.load(); };
  s.refreshUserPosition = [this] {
    calls.push("refreshUserPosition", nowMs());
    userPosition.latitude = 52.3;
    userPosition.longitude = 4.76;
  };
  s.requestUserTitleAndModel = record("requestUserTitleAndModel");
  s.startPsxServer = [this](const std::string& port) { calls.push("startPsxServer " + port, nowMs()); };
  s.waitForRealTraffic = record("waitForRealTraffic");
  s.sendSimTime = [this](std::int64_t seconds) { calls.push("sendSimTime " + std::to_string(seconds), nowMs()); };
  s.simUtcSeconds = [] { return std::int64_t{1'700'000'000}; };
  s.sendUserPosition = record("sendUserPosition");
  s.setAcceptTraffic = [this](bool on) { calls.push(on ? "acceptTraffic 1" : "acceptTraffic 0", nowMs()); };
  s.startQnhReader = record("startQnhReader");
  s.startTrafficReader = [this](bool detected) {
    calls.push(detected ? "startTrafficReader 1" : "startTrafficReader 0", nowMs());
    trafficSourceTime.store(1'700'000'000.0);  // the first datagram comes at once
  };
  s.setReaderUserPosition = [this](const LatLon&) { calls.push("setReaderUserPosition", nowMs()); };

  s.engineCycle = record("engineCycle");
  s.handleSimResults = record("handleSimResults");
  s.clearPositionBuffers = record("clearPositionBuffers");
  s.staticParkingTick = [this](bool first) { calls.push(first ? "staticParkingTick 1" : "staticParkingTick 0", nowMs()); };
  s.checkReaderLamps = record("checkReaderLamps");
  s.removeStaticTwins = record("removeStaticTwins");
  s.reservedStandName = [] { return std::string{}; };
  s.removeAcAtStand = [this](const std::string& stand) { calls.push("removeAcAtStand " + stand, nowMs()); };
  s.recheckParkAirports = [this](std::string& message) {
    calls.push("recheckParkAirports", nowMs());
    message = "park airports and stands are okay";
    return true;
  };
  s.startCallsignCollection = record("startCallsignCollection");
  s.parkingAdjustable = [] { return true; };
  s.parkingAdjustments = record("parkingAdjustments");
  s.takeParkedAircraft = [this](std::uint64_t) { calls.push("takeParkedAircraft", nowMs()); };
  s.removeAllStaticAc = record("removeAllStaticAc");
  s.clearUserSpot = record("clearUserSpot");
  s.clearUserPath = record("clearUserPath");
  s.removeStaticInLivePaths = record("removeStaticInLivePaths");
  s.removeBlockedCallsign = [this](const std::string& callsign) { calls.push("removeBlocked " + callsign, nowMs()); };
  s.staticCandidateCount = [] { return std::uint64_t{3}; };
  s.clearUnmatchedAircraft = record("clearUnmatchedAircraft");
  s.logUnmatchedAircraft = record("logUnmatchedAircraft");
  s.logMatchingSummary = record("logMatchingSummary");
  s.clearCreationRequests = record("clearCreationRequests");
  s.firstParkAirport = [this]() -> std::optional<LatLon> {
    calls.push("firstParkAirport", nowMs());
    return std::nullopt;
  };

  s.stopSimClient = record("stopSimClient");
  s.stopReaders = record("stopReaders");
  s.closePsxServer = record("closePsxServer");
  s.parkAirportSet = [] { return false; };
  s.flushStaticParking = record("flushStaticParking");
  s.clearGhostCallsigns = record("clearGhostCallsigns");
  s.resetRealTrafficLink = record("resetRealTrafficLink");
  s.resetSimLink = record("resetSimLink");
  s.resetEngineTables = record("resetEngineTables");
}

}  // namespace shell_test
