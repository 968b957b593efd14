// The start-up sequence of a run and its services, on the fake clock with recording doubles.
#include "app/run_startup.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sched.h>

#include "config/config_fixture.hpp"
#include "config/settings.hpp"
#include "foundation/files.hpp"
#include "foundation/time_text.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "shell_fixture.hpp"
#include "support/http_server.hpp"
#include "traffic/link_state.hpp"
#include "window/main_window.hpp"
#include "window/window_controls.hpp"

namespace fs = std::filesystem;

namespace shell_test {
namespace {

// The settings of a program that has run before: no scans due.
void writeSettings(const Entries& changes = {}) {
  Entries entries{{"PROGRAM_VERSION", "12.5.4"}, {"SCAN_LIVERIES", "false"},
                  {"SCAN_AIRPORTS", "false"}, {"lfolder0", "liveries"}};
  for (const auto& [name, value] : changes) {
    // Named capture: clang 14 cannot capture a structured binding.
    auto found = std::find_if(entries.begin(), entries.end(), [&key = name](const auto& e) { return e.first == key; });
    if (found != entries.end()) {
      found->second = value;
    } else {
      entries.emplace_back(name, value);
    }
  }
  writeParametersFile(entries);
}

void installRealTraffic() {
  const fs::path jar = gf_appDataPath() / "InsideSystems" / "RealTraffic.jar";
  fs::create_directories(jar.parent_path());
  wdrx::testing::writeFile(jar, "jar");
}

class StartUp : public ShellTest {
 protected:
  StartUp() {
    // Nothing answers there: the version check fails at once and the run goes on.
    setenv("WDRX_DOWNLOAD_BASE", "http://127.0.0.1:1/downloads/", 1);
    makeProgramFolder();
    writeSettings();
    installRealTraffic();
  }
  ~StartUp() override { unsetenv("WDRX_DOWNLOAD_BASE"); }

  // The calls up to the first of that name (the start-up part of the record).
  std::vector<std::string> callsBefore(const std::string& name) const {
    std::vector<std::string> before;
    for (const std::string& call : calls.calls()) {
      if (call == name) break;
      before.push_back(call);
    }
    return before;
  }
  void closeAt(std::int64_t ms) { at(ms, [] { gf_requestClose(); }); }
};

TEST_F(StartUp, TheWholeRunInOrderThenClosingDownOnce) {
  closeAt(10'000);
  lf_startUpWDRX();

  const std::vector<std::string> expected{
      "reserveDefaultModelLists", "readDbase", "readAirports", "liveryScanDue",
      "processScannedLiveries", "createFlightPlanFolder", "readMyParkAirports",
      "reserveEngineTables", "initSimQueues 5", "startSimClient", "requestUserOnGround",
      "refreshUserPosition", "requestUserTitleAndModel", "firstParkAirport", "startPsxServer 10747", "waitForRealTraffic",
      "acceptTraffic 0", "startQnhReader", "startTrafficReader 1", "sendUserPosition",
      "setReaderUserPosition", "staticParkingTick 1", "checkReaderLamps", "acceptTraffic 1"};
  EXPECT_EQ(callsBefore("engineCycle"), expected);
  // Closing down, once, after the main loop.
  EXPECT_EQ(calls.count("stopSimClient"), 1);
  EXPECT_LT(calls.indexOf("engineCycle"), calls.indexOf("stopSimClient"));
  EXPECT_LT(calls.indexOf("stopSimClient"), calls.indexOf("stopReaders"));
  EXPECT_LT(calls.indexOf("stopReaders"), calls.indexOf("closePsxServer"));
  EXPECT_TRUE(calls.saw("logMatchingSummary"));
  // The engine ran every 10 ms from the start of the main loop to the close.
  EXPECT_NEAR(calls.count("engineCycle"), (10'000 - calls.timeOf("acceptTraffic 1")) / 10, 2);

  const std::string log = logText();
  EXPECT_NE(log.find("RealTraffic detected at this PC"), std::string::npos);
  EXPECT_NE(log.find("Downloading version info from my web site failed!"), std::string::npos);
  EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos);
  EXPECT_EQ(metaSimNumber.load(), 3);
  EXPECT_GE(workerCount.load(), 1);
  for (const fs::path& folder : gf_programFolders()) EXPECT_TRUE(fs::is_directory(folder)) << folder;
}

// Held to one processor by an affinity mask, the run starts one scanner thread, not one for
// every processor of the machine.
TEST_F(StartUp, ScannerThreadsAreTheProcessorsTheProcessMayUse) {
  struct HeldToOne {
    cpu_set_t all{};
    HeldToOne() {
      ::sched_getaffinity(0, sizeof all, &all);
      cpu_set_t one;
      CPU_ZERO(&one);
      for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&one) == 0; ++cpu) {
        if (CPU_ISSET(cpu, &all)) CPU_SET(cpu, &one);
      }
      ::sched_setaffinity(0, sizeof one, &one);  // this thread runs the start-up
    }
    ~HeldToOne() { ::sched_setaffinity(0, sizeof all, &all); }
  } held;
  closeAt(3'000);
  lf_startUpWDRX();
  EXPECT_EQ(workerCount.load(), 1);
}

TEST_F(StartUp, TheStoredRangeDrivesTheTrafficFromTheStart) {
  writeSettings({{"AUTO_RANGE", "false"}, {"RANGE", "20"}});
  closeAt(3'000);
  lf_startUpWDRX();
  EXPECT_EQ(rangeNm.load(), 20.0);
  EXPECT_EQ(rangeMeters.load(), 20u * 1852u);
  EXPECT_EQ(savedRange.load(), 20);  // the automatic range returns to it
}

TEST_F(StartUp, TrafficReaderStartsTwoSecondsAfterTheQnhReader) {
  closeAt(20'000);
  lf_startUpWDRX();
  const std::int64_t qnh = calls.timeOf("startQnhReader");
  ASSERT_GE(qnh, 0);
  EXPECT_EQ(calls.timeOf("startTrafficReader 1") - qnh, 2000);
}

TEST_F(StartUp, AerowinxStartsNoServerAndSendsNoTime) {
  writeSettings({{"AEROWINX", "true"}});
  rtProfessional.store(true);
  closeAt(5'000);
  lf_startUpWDRX();
  EXPECT_FALSE(calls.saw("startPsxServer 10747"));
  EXPECT_FALSE(calls.saw("waitForRealTraffic"));
  EXPECT_FALSE(rtProfessional.load());
  EXPECT_EQ(calls.count("sendSimTime 1700000000"), 0);
  EXPECT_TRUE(calls.saw("startTrafficReader 1"));
}

TEST_F(StartUp, WithoutRealTrafficHereNoServerAndTheReaderListensEverywhere) {
  fs::remove(gf_appDataPath() / "InsideSystems" / "RealTraffic.jar");
  closeAt(5'000);
  lf_startUpWDRX();
  EXPECT_FALSE(realTrafficDetected.load());
  EXPECT_FALSE(calls.saw("startPsxServer 10747"));
  EXPECT_TRUE(calls.saw("startTrafficReader 0"));
  EXPECT_TRUE(realTrafficDisplay.realTrafficLinked.load());
  EXPECT_NE(logText().find("RealTraffic not detected at this PC"), std::string::npos);
}

TEST_F(StartUp, ProfessionalEditionGetsTheSimulatorTimeAfterConnecting) {
  runServices.waitForRealTraffic = [this] {
    calls.push("waitForRealTraffic", nowMs());
    rtProfessional.store(true);
  };
  closeAt(5'000);
  lf_startUpWDRX();
  EXPECT_EQ(calls.indexOf("sendSimTime 1700000000"), calls.indexOf("waitForRealTraffic") + 1);
}

TEST_F(StartUp, NoTrafficWithinFifteenSecondsIsLoggedAndTheLoopStartsAnyway) {
  runServices.startTrafficReader = [this](bool) { calls.push("startTrafficReader", nowMs()); };
  closeAt(40'000);
  lf_startUpWDRX();
  EXPECT_NE(logText().find("No traffic in this region?"), std::string::npos);
  EXPECT_TRUE(calls.saw("staticParkingTick 1"));
  EXPECT_GE(calls.timeOf("staticParkingTick 1") - calls.timeOf("startTrafficReader"), 15'000);
}

TEST_F(StartUp, TrafficWithinTheWaitEndsItAtOnce) {
  runServices.startTrafficReader = [this](bool) { calls.push("startTrafficReader", nowMs()); };
  at(4'500, [] { trafficSourceTime.store(1'700'000'000.5); });  // 2.5 s into the wait
  closeAt(20'000);
  lf_startUpWDRX();
  EXPECT_NE(calls.timeOf("staticParkingTick 1"), -1);
  EXPECT_LE(calls.timeOf("staticParkingTick 1") - calls.timeOf("startTrafficReader"), 2'600);
  EXPECT_EQ(logText().find("No traffic in this region?"), std::string::npos);
}

TEST_F(StartUp, StartedElsewhereShowsError41AndWaitsForTheUser) {
  fs::remove_all("docs");
  closeAt(3'000);
  lf_startUpWDRX();
  EXPECT_EQ(gf_statusSnapshot().errorText,
            "41: Wendrix_P3D must be run from the Wendrix_P3D folder!");
  EXPECT_EQ(exitReason.load(), ExitReason::SystemError);
  EXPECT_FALSE(calls.saw("readDbase"));
  // Closing down waited for the user's close before it went on.
  EXPECT_GE(calls.timeOf("clearCreationRequests"), 3'000);
  const std::string log = logText();
  EXPECT_NE(log.find("Exiting: SYSTEM ERROR"), std::string::npos);
  EXPECT_NE(log.find("User closed Wendrix_P3D"), std::string::npos);
  EXPECT_FALSE(restartPending.load());
}

TEST_F(StartUp, ARestartSkipsTheVersionCheckAndTheReferenceData) {
  wdrx::testing::HttpServer server;
  server.serveStatus("/downloads/versions.json", 404);
  setenv("WDRX_DOWNLOAD_BASE", server.url("/downloads/").c_str(), 1);
  closeAt(3'000);
  lf_startUpWDRX();
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(calls.count("readDbase"), 1);

  resetShellState();
  bindDoubles();
  calls.clear();
  restartPending.store(true);
  dataRead.store(true);
  closeAt(nowMs() + 3'000);
  lf_startUpWDRX();
  EXPECT_EQ(server.requests().size(), 1u);  // no second version check
  EXPECT_EQ(calls.count("readDbase"), 0);
  EXPECT_EQ(calls.count("readAirports"), 1);  // once per process by itself
}

TEST_F(StartUp, DataFilesThatDoNotReadEndTheRunAsSystemError) {
  runServices.readDbase = [] { return false; };
  closeAt(1'000);
  lf_startUpWDRX();
  EXPECT_EQ(gf_statusSnapshot().errorText, "reading data files failed!");
  EXPECT_TRUE(dataRead.load());  // the read returned: it is not tried again
  EXPECT_EQ(exitReason.load(), ExitReason::SystemError);

  resetShellState();
  bindDoubles();
  runServices.readDbase = []() -> bool { throw std::runtime_error("gf_streamDecrypt failed"); };
  closeAt(nowMs() + 1'000);
  lf_startUpWDRX();
  EXPECT_FALSE(dataRead.load());  // an exception leaves it to be tried again
  EXPECT_EQ(gf_statusSnapshot().errorText, "gf_streamDecrypt failed");

  resetShellState();
  bindDoubles();
  runServices.readAirports = [] { return false; };
  closeAt(nowMs() + 1'000);
  lf_startUpWDRX();
  EXPECT_EQ(gf_statusSnapshot().errorText, "reading 'input/airports.enc' failed!");
}

// Where a stop arrives decides what the start-up still does: never more than the next check.
struct StopCase {
  const char* name;
  std::function<void(RunServices&, CallLog&)> arrange;
  std::vector<std::string> notCalled;
  std::vector<std::string> called;
};

TEST_F(StartUp, AStopEndsTheStartUpAtTheNextCheck) {
  const std::vector<StopCase> cases{
      {"during the livery scan",
       [](RunServices& s, CallLog&) {
         s.liveryScanDue = [] { return true; };
         s.scanLiveries = [] {
           gf_requestClose();
           return false;  // cut short: nothing written
         };
       },
       {"processScannedLiveries", "createFlightPlanFolder", "startSimClient"},
       {"closePsxServer"}},
      {"during the add-on airport scan",
       [](RunServices& s, CallLog&) {
         writeSettings({{"SCAN_AIRPORTS", "true"}});
         s.scanAddonAirports = [] { gf_requestClose(); };
       },
       {"createFlightPlanFolder", "readMyParkAirports", "startSimClient", "staticParkingTick 1"},
       {"stopSimClient"}},
      {"while waiting for the simulator",
       [](RunServices& s, CallLog&) {
         s.flightRuns = [] { return false; };
         s.startSimClient = [] {};
       },
       {"requestUserOnGround", "startPsxServer 10747", "startQnhReader"},
       {"stopSimClient"}},
      {"while waiting for RealTraffic",
       [](RunServices& s, CallLog&) { s.waitForRealTraffic = [] { gf_requestClose(); }; },
       {"startQnhReader", "startTrafficReader 1"},
       {"closePsxServer"}},
      {"in the two seconds before the traffic reader",
       [](RunServices& s, CallLog&) { s.startQnhReader = [] {}; },
       {"startTrafficReader 1", "staticParkingTick 1"},
       {"stopReaders"}},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    resetShellState();
    bindDoubles();
    calls.clear();
    const std::int64_t start = nowMs();
    c.arrange(runServices, calls);
    if (std::string(c.name) == "while waiting for the simulator") closeAt(start + 3'000);
    if (std::string(c.name) == "in the two seconds before the traffic reader") closeAt(start + 1'000);
    closeAt(start + 60'000);  // a case that misses its stop fails instead of running on
    lf_startUpWDRX();
    for (const std::string& call : c.notCalled) EXPECT_FALSE(calls.saw(call)) << call;
    for (const std::string& call : c.called) EXPECT_TRUE(calls.saw(call)) << call;
    EXPECT_EQ(calls.count("stopSimClient"), 1);  // one closing down
    EXPECT_EQ(exitReason.load(), ExitReason::UserClosedSim);
    EXPECT_LT(nowMs() - start, 60'000);
    writeSettings();
  }
}

TEST_F(StartUp, AFailedUserAircraftRequestRestartsAfterNineSeconds) {
  runServices.requestUserOnGround = [] {
    gf_requestRunStop(ExitReason::SimConnectError, 9);
    return false;
  };
  lf_startUpWDRX();
  EXPECT_FALSE(calls.saw("startPsxServer 10747"));
  EXPECT_TRUE(restartPending.load());
  EXPECT_FALSE(runStopRequested.load());  // reset for the next run
  EXPECT_NE(logText().find("Restarting after 9 seconds"), std::string::npos);
}

TEST_F(StartUp, ProductionModeRunsTheDataStepAndQuits) {
  productionMode.store(true);
  exitCode.store(7);
  lf_startUpWDRX();
  EXPECT_TRUE(calls.saw("readAirports"));
  EXPECT_FALSE(calls.saw("liveryScanDue"));
  EXPECT_FALSE(calls.saw("startSimClient"));
  EXPECT_EQ(exitCode.load(), 0);
  EXPECT_TRUE(closeRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::UserClosedSim);
  EXPECT_NE(logText().find("production\n"), std::string::npos);
}

TEST_F(StartUp, FoldersTemporariesAndTheStockScenery) {
  fs::create_directories("output/info");
  wdrx::testing::writeFile("output/info/ObjectIdList.txt", "1\n");
  for (const char* temporary : {"input/airports.xml", "input/AIG-regcodes.xml", "input/dbase.xml"})
    wdrx::testing::writeFile(temporary, "<root/>");
  writeSettings({{"SIM_INSTALL_PATH", (dir.path() / "P3D v5").string()}});
  closeAt(1'000);
  lf_startUpWDRX();
  EXPECT_FALSE(fs::exists("output/info/ObjectIdList.txt"));
  for (const char* temporary : {"input/airports.xml", "input/AIG-regcodes.xml", "input/dbase.xml"})
    EXPECT_FALSE(fs::exists(temporary)) << temporary;
  EXPECT_NE(logText().find("Stock airports path does not exist: " +
                           (dir.path() / "P3D v5" / "Scenery").string()),
            std::string::npos);
}

TEST_F(StartUp, StockSceneryUnknownWithoutAnInstallPath) {
  lf_checkStockAirportsPath();
  EXPECT_TRUE(stockAirportsPath.empty());
  SIM_INSTALL_PATH.value.store((dir.path() / "P3D").string());
  fs::create_directories(dir.path() / "P3D" / "Scenery");
  lf_checkStockAirportsPath();
  EXPECT_EQ(stockAirportsPath, dir.path() / "P3D" / "Scenery");
}

TEST_F(StartUp, TheReaderPortsComeFromTheEnvironmentWhenGiven) {
  EXPECT_EQ(gf_trafficReaderPort(), 49005);
  EXPECT_EQ(gf_qnhReaderPort(), 49004);
  setenv("WDRX_TRAFFIC_PORT", "40123", 1);
  setenv("WDRX_QNH_PORT", "70000", 1);  // not a port: the program's own
  EXPECT_EQ(gf_trafficReaderPort(), 40123);
  EXPECT_EQ(gf_qnhReaderPort(), 49004);
  unsetenv("WDRX_TRAFFIC_PORT");
  unsetenv("WDRX_QNH_PORT");
}

}  // namespace
}  // namespace shell_test
