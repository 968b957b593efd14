// Closing down a run per exit reason, the restart countdown and the reset before a restart.
#include "app/closing_down.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_loop.hpp"
#include "config/config_fixture.hpp"
#include "config/settings.hpp"
#include "foundation/time_text.hpp"
#include "parking/addon_scan.hpp"
#include "platform/window_system.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "shell_fixture.hpp"
#include "simlink/ai_creation.hpp"
#include "traffic/link_state.hpp"
#include "traffic/psx_server.hpp"
#include "window/main_window.hpp"

namespace fs = std::filesystem;

namespace shell_test {
namespace {

class ClosingDown : public ShellTest {
 protected:
  ClosingDown() {
    writeParametersFile({{"PROGRAM_VERSION", "12.5.4"}, {"SCAN_LIVERIES", "true"},
                         {"SCAN_AIRPORTS", "true"}, {"DESTINATION", "EHAM"}});
    SCAN_LIVERIES.value.store(true);
    SCAN_AIRPORTS.value.store(true);
    recordStatuses();
  }
  ~ClosingDown() override { gf_setStatusNotifier(nullptr); }

  // Every status text shown, also those that are not logged (instead of the window's repaint).
  void recordStatuses() {
    gf_setStatusNotifier([this] {
      const std::string text = gf_statusSnapshot().statusText;
      std::lock_guard lock(statusMutex_);
      if (!text.empty() && (statuses_.empty() || statuses_.back() != text)) statuses_.push_back(text);
    });
  }
  void startRecordedWindow() {
    startWindow();
    recordStatuses();
  }

  std::vector<std::string> statuses() {
    std::lock_guard lock(statusMutex_);
    return statuses_;
  }
  int countdownLines() {
    int n = 0;
    for (const std::string& text : statuses()) n += text.rfind("Restarting after ", 0) == 0 ? 1 : 0;
    return n;
  }

 private:
  std::mutex statusMutex_;
  std::vector<std::string> statuses_;
};

struct ReasonCase {
  ExitReason reason;
  std::int32_t delay;
  bool restarts;
  bool scansOff;
  int countdown;
};

TEST_F(ClosingDown, EachReasonQuitsOrRestartsAsItShould) {
  const std::vector<ReasonCase> cases{
      {ExitReason::SimWasClosed, 0, false, false, 0},
      {ExitReason::NewSettings, 2, true, false, 2},
      {ExitReason::UserClosedSim, 0, false, false, 0},
      {ExitReason::SimConnectError, 9, true, true, 9},
      {ExitReason::ReaderError, 15, true, true, 15},
      {ExitReason::SimConnectError, 0, true, true, 0},
      {ExitReason::NewVersion, 0, false, false, 0},
  };
  for (const ReasonCase& c : cases) {
    const std::string text = gf_exitReasonText(c.reason);
    SCOPED_TRACE(text + " " + std::to_string(c.delay));
    resetShellState();
    bindDoubles();
    SCAN_LIVERIES.value.store(true);
    SCAN_AIRPORTS.value.store(true);
    writeParametersFile({{"PROGRAM_VERSION", "12.5.4"}, {"SCAN_LIVERIES", "true"},
                         {"SCAN_AIRPORTS", "true"}});
    startRecordedWindow();
    const int before = countdownLines();
    gf_requestRunStop(c.reason, c.delay);
    lf_closingDown();
    if (c.restarts) {
      EXPECT_TRUE(waitForRestart());
      EXPECT_TRUE(restartPending.load());
      EXPECT_FALSE(runStopRequested.load());
      EXPECT_EQ(exitReason.load(), ExitReason::NotYetSet);
    } else {
      EXPECT_EQ(waitForQuit(), 0);
      EXPECT_FALSE(restartPending.load());
    }
    stopWindow();
    EXPECT_EQ(countdownLines() - before, c.countdown);
    EXPECT_EQ(fileValue("SCAN_LIVERIES"), c.scansOff ? "false" : "true");
    EXPECT_EQ(fileValue("SCAN_AIRPORTS"), c.scansOff ? "false" : "true");
    const std::string log = logText();
    EXPECT_NE(log.find("Exiting: " + text), std::string::npos);
    EXPECT_EQ(log.find("Restarting after " + std::to_string(c.delay) + " seconds") !=
                  std::string::npos,
              c.countdown > 0);
  }
}

TEST_F(ClosingDown, TheFirstOfTwoReasonsDecides) {
  gf_requestRunStop(ExitReason::ReaderError, 15);
  gf_requestRunStop(ExitReason::SimConnectError, 9);
  const std::int64_t start = nowMs();
  lf_closingDown();
  EXPECT_NE(logText().find("Exiting: READER ERROR"), std::string::npos);
  EXPECT_EQ(countdownLines(), 15);
  EXPECT_EQ(statuses().back(), "Restarting after 1 second");
  EXPECT_NE(std::find(statuses().begin(), statuses().end(), "Restarting after 15 seconds"),
            statuses().end());
  EXPECT_GE(nowMs() - start, 15'000);
  EXPECT_NE(logText().find("Restart countdown finished"), std::string::npos);
  EXPECT_NE(logText().find("Prepare for a restart ..."), std::string::npos);
}

TEST_F(ClosingDown, AnExceptionInAStepStillRestartsOrQuits) {
  runServices.stopSimClient = [] { throw std::runtime_error("join failed"); };
  startRecordedWindow();
  gf_requestRunStop(ExitReason::ReaderError, 0);
  lf_closingDown();
  EXPECT_TRUE(waitForRestart());
  EXPECT_TRUE(calls.saw("stopReaders"));  // the steps after it ran
  EXPECT_NE(logText().find("lf_closingDown exception join failed"), std::string::npos);
  stopWindow();

  // A reason outside the table: its text is not found, the program still quits.
  resetShellState();
  bindDoubles();
  startRecordedWindow();
  gf_requestRunStop(static_cast<ExitReason>(12), 0);
  lf_closingDown();
  EXPECT_EQ(waitForQuit(), 0);
  EXPECT_TRUE(calls.saw("logMatchingSummary"));
}

TEST_F(ClosingDown, AUserCloseDuringTheCountdownQuits) {
  startRecordedWindow();
  gf_requestRunStop(ExitReason::ReaderError, 15);
  at(nowMs() + 5'500, [] {
    closeRequested.store(true);
    gf_requestClose();
  });
  lf_closingDown();
  EXPECT_EQ(waitForQuit(), 0);
  EXPECT_FALSE(restartPending.load());
  EXPECT_TRUE(closeRequested.load());
  EXPECT_LT(countdownLines(), 15);
  EXPECT_FALSE(calls.saw("startUpRun"));
  EXPECT_EQ(logText().find("Restart countdown finished"), std::string::npos);
}

TEST_F(ClosingDown, AUserCloseDuringTheRunWinsOverARestartReason) {
  startRecordedWindow();
  gf_requestRunStop(ExitReason::ReaderError, 15);
  gf_requestClose();  // the reason stays READER ERROR
  lf_closingDown();
  EXPECT_EQ(waitForQuit(), 0);
  EXPECT_EQ(exitReason.load(), ExitReason::ReaderError);
  EXPECT_FALSE(restartPending.load());
  // Nothing of a restart was begun: the scans stay as the user left them.
  EXPECT_EQ(fileValue("SCAN_LIVERIES"), "true");
  EXPECT_EQ(logText().find("Prepare for a restart"), std::string::npos);
}

TEST_F(ClosingDown, ASystemErrorWaitsForTheUserThenQuits) {
  startRecordedWindow();
  gf_postError("41: Wendrix_P3D must be run from the Wendrix_P3D folder!");
  gf_markSystemError();
  at(nowMs() + 60'000, [] { gf_requestClose(); });
  lf_closingDown();
  EXPECT_EQ(waitForQuit(), 0);
  EXPECT_GE(calls.timeOf("clearCreationRequests"), 60'000);
  EXPECT_NE(logText().find("User closed Wendrix_P3D"), std::string::npos);
}

TEST_F(ClosingDown, TheLinesThatEndARunAreInTheFileWhileItWaits) {
  startRecordedWindow();
  gf_postError("41: Wendrix_P3D must be run from the Wendrix_P3D folder!");
  gf_markSystemError();
  std::string inFile;  // Log.txt as a crash would leave it, read without flushing
  at(nowMs() + 1'000, [&inFile] {
    inFile = wdrx::testing::readFile("Log.txt");
    gf_requestClose();
  });
  lf_closingDown();
  EXPECT_EQ(waitForQuit(), 0);
  EXPECT_NE(inFile.find("Error 41: Wendrix_P3D must be run from the Wendrix_P3D folder!\n"), std::string::npos);
  EXPECT_NE(inFile.find("Exiting: SYSTEM ERROR\n"), std::string::npos);
}

TEST_F(ClosingDown, AFailedResetEndsAsASystemErrorInsteadOfRestarting) {
  runServices.resetEngineTables = [] { throw std::runtime_error("tables gone"); };
  startRecordedWindow();
  gf_requestRunStop(ExitReason::SimConnectError, 0);
  at(nowMs() + 30'000, [] { gf_requestClose(); });
  lf_closingDown();
  EXPECT_EQ(waitForQuit(), 0);
  EXPECT_FALSE(restartPending.load());
  EXPECT_FALSE(calls.saw("startUpRun"));
  EXPECT_EQ(exitReason.load(), ExitReason::SystemError);
  const std::string log = logText();
  EXPECT_NE(log.find("lf_resetRunState exception: tables gone"), std::string::npos);
  EXPECT_NE(log.find("Exiting: SYSTEM ERROR"), std::string::npos);
  EXPECT_NE(log.find("User closed Wendrix_P3D"), std::string::npos);
}

TEST_F(ClosingDown, ANewInstallPathDuringASystemErrorRestarts) {
  startRecordedWindow();
  gf_postError("151: No P3D install path detected. Type the full Install Path above, then press Enter");
  gf_markSystemError();
  at(nowMs() + 30'000, [] { gf_requestRunStop(ExitReason::NewSettings, 3); });
  lf_closingDown();
  EXPECT_TRUE(waitForRestart());
  EXPECT_TRUE(gf_statusSnapshot().errorText.empty());
}

TEST_F(ClosingDown, ANewFlightShowsItsMessageTenSecondsThenQuits) {
  startRecordedWindow();
  gf_requestRunStop(ExitReason::NewFlight, 0);
  const std::int64_t start = nowMs();
  lf_closingDown();
  EXPECT_EQ(waitForQuit(), 0);
  EXPECT_GE(nowMs() - start, 10'000);
  EXPECT_NE(logText().find("New flight detected, Wendrix_P3D will close, please restart manually ..."),
            std::string::npos);
}

TEST_F(ClosingDown, TheRunsFilesAndTextsAreCleanedUp) {
  fs::create_directories(flightPlanFolder / "sub");
  wdrx::testing::writeFile(flightPlanFolder / "12.pln", "plan");
  DESTINATION.value.store("EHAM");
  BLOCK_CALLSIGN.value.store("KLM1234");
  tbloFileCount.store(4);
  runServices.parkAirportSet = [] { return true; };
  gf_requestClose();
  lf_closingDown();
  EXPECT_FALSE(fs::exists(flightPlanFolder));
  EXPECT_EQ(fileValue("DESTINATION"), "");
  EXPECT_EQ(fileValue("BLOCK_CALLSIGN"), "");
  EXPECT_EQ(tbloFileCount.load(), 0u);
  const std::vector<std::string> order{"acceptTraffic 0", "stopSimClient", "stopReaders",
                                       "closePsxServer", "flushStaticParking",
                                       "clearCreationRequests", "clearGhostCallsigns",
                                       "logMatchingSummary", "logUnmatchedAircraft"};
  int last = -1;
  for (const std::string& call : order) {
    EXPECT_GT(calls.indexOf(call), last) << call;
    last = calls.indexOf(call);
  }
  // The readers get half a second to end before RealTraffic is told "exit".
  EXPECT_GE(calls.timeOf("closePsxServer") - calls.timeOf("stopReaders"), 500);
}

TEST_F(ClosingDown, TheResetBringsTheRunStateBack) {
  gf_requestRunStop(ExitReason::ReaderError, 15);
  secondTick.store(true);
  runSeconds.store(400);
  flightPaused.store(true);
  rtProfessional.store(true);
  parkingUpdateRequested.store(true);
  parkingUpdatePhase.store(true);
  blockRequested.store(true);
  stockAirportsPath = "P3D/Scenery";
  trafficSourceTime.store(1.0e9);
  awaitingRealTraffic.store(false);
  gf_postError("an error");
  mainWindow.aircraftText.store("Boeing 737");
  mainWindow.simConnected.store(true);
  mainWindow.linkBoxDark.store(false);
  mainWindow.liveCount.store(12);
  mainWindow.liveAverageFit.store(2.5f);
  realTrafficDisplay.realTrafficLinked.store(true);
  realTrafficDisplay.trafficLamp.store(lampReceiving);
  realTrafficDisplay.qnhValue.store(1009);
  ASSERT_TRUE(lf_resetRunState());
  EXPECT_FALSE(runStopRequested.load());
  EXPECT_FALSE(closeRequested.load());
  EXPECT_FALSE(secondTick.load());
  EXPECT_EQ(exitReason.load(), ExitReason::NotYetSet);
  EXPECT_EQ(runSeconds.load(), 0);
  EXPECT_FALSE(flightPaused.load() || rtProfessional.load() || parkingUpdateRequested.load() ||
               parkingUpdatePhase.load() || blockRequested.load());
  EXPECT_TRUE(stockAirportsPath.empty());
  EXPECT_EQ(trafficSourceTime.load(), 0.0);
  EXPECT_TRUE(awaitingRealTraffic.load());
  EXPECT_TRUE(gf_statusSnapshot().errorText.empty());
  EXPECT_EQ(mainWindow.aircraftText.load(), "");
  EXPECT_FALSE(mainWindow.simConnected.load());
  EXPECT_TRUE(mainWindow.linkBoxDark.load());
  EXPECT_EQ(mainWindow.liveCount.load(), 0u);
  EXPECT_EQ(mainWindow.liveAverageFit.load(), -1.0f);
  EXPECT_FALSE(realTrafficDisplay.realTrafficLinked.load());
  EXPECT_EQ(realTrafficDisplay.trafficLamp.load(), lampHidden);
  EXPECT_EQ(realTrafficDisplay.qnhValue.load(), 0);
  for (const char* reset : {"resetRealTrafficLink", "resetSimLink", "resetEngineTables"})
    EXPECT_TRUE(calls.saw(reset)) << reset;

  // A close the user asked for keeps every flag: the program quits.
  gf_requestRunStop(ExitReason::ReaderError, 15);
  gf_requestClose();
  EXPECT_FALSE(lf_resetRunState());
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_TRUE(closeRequested.load());
}

}  // namespace
}  // namespace shell_test

namespace shell_test {
namespace {

// The close button only asks the run to end: the PSX-protocol server is closed by the run
// thread's closing down, once, from that one thread.
TEST_F(ClosingDown, ThePsxServerIsClosedByTheRunThreadAlone) {
  gf_startPsxServer("0");
  ASSERT_NE(gf_psxServerPort(), 0);
  startRecordedWindow();
  auto window = static_cast<platform::gui::WindowHandle>(mainWindow.windowHandle.load());
  ASSERT_TRUE(platform::gui::postMessage(window, platform::gui::msg::close, 0, 0));
  ASSERT_TRUE(platform::gui::inspect::waitIdle(window, std::chrono::seconds(10)));
  EXPECT_TRUE(closeRequested.load());
  EXPECT_NE(gf_psxServerPort(), 0);  // still open: the run thread closes it
  runServices.closePsxServer = gf_closePsxServer;
  lf_closingDown();
  EXPECT_EQ(gf_psxServerPort(), 0);
  EXPECT_EQ(waitForQuit(), 0);
}

}  // namespace
}  // namespace shell_test
