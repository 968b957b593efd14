#include "runstate/run_control.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/hooks.hpp"
#include "runstate/status_line.hpp"
#include "support/fresh_state.hpp"

namespace {

// For both files of this binary.
const bool fresh = wdrx::testing::resetBeforeEachTest([] {
  wdrx::testing::resetRunControl();
  wdrx::testing::resetStatusLine();
});

TEST(RunControl, ExitReasonTexts) {
  const char* texts[] = {"NOT YET SET",     "SIM WAS CLOSED",   "NEW FLIGHT",
                         "NEW SETTINGS",    "USER CLOSED SIM",  "SIMCONNECT ERROR",
                         "READER ERROR",    "SYSTEM ERROR",     "NEW VERSION"};
  for (int code = 0; code <= 8; ++code) {
    EXPECT_EQ(gf_exitReasonText(static_cast<ExitReason>(code)), texts[code]);
  }
  EXPECT_THROW(gf_exitReasonText(static_cast<ExitReason>(9)), std::out_of_range);
}

TEST(RunControl, FirstReasonWinsInSuccession) {
  EXPECT_TRUE(gf_requestRunStop(ExitReason::ReaderError, 15));
  EXPECT_FALSE(gf_requestRunStop(ExitReason::SimConnectError, 9));
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::ReaderError);
  EXPECT_EQ(restartDelay.load(), 15);
  gf_requestClose();  // a reason is already set: it stays
  EXPECT_TRUE(closeRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::ReaderError);
  EXPECT_EQ(restartDelay.load(), 15);
}

TEST(RunControl, CloseSetsUserClosedSimWhileNoReasonIsSet) {
  gf_requestClose();
  EXPECT_TRUE(closeRequested.load());
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::UserClosedSim);
  EXPECT_FALSE(gf_requestRunStop(ExitReason::NewSettings, 2));
  EXPECT_EQ(exitReason.load(), ExitReason::UserClosedSim);
}

TEST(RunControl, FirstReasonWinsUnderConcurrentCallers) {
  for (int round = 0; round < 50; ++round) {
    runStopRequested.store(false);
    closeRequested.store(false);
    exitReason.store(ExitReason::NotYetSet);
    restartDelay.store(0);

    constexpr int callers = 8;
    std::barrier start(callers);
    std::atomic<int> winners{0};
    std::atomic<int> winningReason{-1};
    std::vector<std::thread> threads;
    for (int t = 0; t < callers; ++t) {
      threads.emplace_back([&, t] {
        const auto reason = static_cast<ExitReason>(1 + t % 8);
        start.arrive_and_wait();
        if (t == callers - 1) {
          gf_requestClose();
          return;
        }
        // A thread that sees the flag must also see a reason.
        if (gf_requestRunStop(reason, 100 + t)) {
          ++winners;
          winningReason.store(t);
        } else {
          EXPECT_NE(exitReason.load(), ExitReason::NotYetSet);
        }
      });
    }
    for (auto& th : threads) th.join();
    ASSERT_LE(winners.load(), 1);
    if (winners.load() == 1) {
      const int t = winningReason.load();
      EXPECT_EQ(exitReason.load(), static_cast<ExitReason>(1 + t % 8));
      EXPECT_EQ(restartDelay.load(), 100 + t);
    } else {
      EXPECT_EQ(exitReason.load(), ExitReason::UserClosedSim);  // the close came first
    }
    EXPECT_TRUE(runStopRequested.load());
    EXPECT_TRUE(closeRequested.load());
  }
}

TEST(RunControl, ThreadStoppedReportsAndRequestsReaderError) {
  gf_reportThreadStopped("Traffic Reader", "socket closed");
  EXPECT_EQ(gf_statusSnapshot().statusText, "The Traffic Reader has stopped with error: socket closed");
  EXPECT_EQ(exitReason.load(), ExitReason::ReaderError);
  EXPECT_EQ(restartDelay.load(), 15);
  gf_reportThreadStopped("QNH Reader", "late");  // a second report keeps the first reason
  EXPECT_EQ(exitReason.load(), ExitReason::ReaderError);
}

TEST(RunControl, TheFoundationSeesARunStopAndAClose) {
  for (auto* flag : {&runStopRequested, &closeRequested}) {
    runStopRequested.store(false);
    closeRequested.store(false);
    EXPECT_FALSE(gf_stopRequested());
    flag->store(true);
    EXPECT_TRUE(gf_stopRequested());
  }
  runStopRequested.store(false);
  closeRequested.store(false);
}

TEST(RunControl, TheFoundationsStatusTextsReachTheStatusLine) {
  gf_clearError();
  gf_hookPostStatus("Read failed for 'x'", false);
  EXPECT_EQ(gf_statusSnapshot().statusText, "Read failed for 'x'");
  gf_clearStatus();
}

}  // namespace

namespace {

TEST(RunWaits, AStopEndsAWaitAtOnce) {
  std::thread stopper([] { gf_requestRunStop(ExitReason::ReaderError, 15); });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(gf_waitUnlessStopping(std::chrono::seconds(60)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  stopper.join();
  EXPECT_FALSE(gf_waitUnlessStopping(std::chrono::milliseconds(1)));  // already stopping
}

TEST(RunWaits, ClosingDownWaitsOnlyForTheUsersClose) {
  gf_requestRunStop(ExitReason::ReaderError, 15);
  EXPECT_TRUE(gf_waitUnlessClosed(std::chrono::milliseconds(20)));
  std::thread user([] { gf_requestClose(); });
  EXPECT_FALSE(gf_waitUnlessClosed(std::chrono::seconds(60)));
  user.join();
  EXPECT_TRUE(gf_waitUnlessStopping(std::chrono::nanoseconds(0)) == false);
}

TEST(RunWaits, ASystemErrorKeepsTheStopOpenForARestartReason) {
  gf_markSystemError();
  EXPECT_EQ(exitReason.load(), ExitReason::SystemError);
  EXPECT_FALSE(runStopRequested.load());
  EXPECT_TRUE(gf_requestRunStop(ExitReason::NewSettings, 3));  // the install path typed meanwhile
  EXPECT_EQ(exitReason.load(), ExitReason::NewSettings);
  gf_markSystemError();  // a stop with its reason is there: it stays
  EXPECT_EQ(exitReason.load(), ExitReason::NewSettings);
}

TEST(RunWaits, TheResetKeepsAClose) {
  gf_requestRunStop(ExitReason::ReaderError, 15);
  EXPECT_TRUE(gf_clearRunStopUnlessClosed());
  EXPECT_FALSE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::NotYetSet);
  EXPECT_EQ(restartDelay.load(), 0);
  gf_requestRunStop(ExitReason::ReaderError, 15);
  gf_requestClose();
  EXPECT_FALSE(gf_clearRunStopUnlessClosed());
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::ReaderError);
}

}  // namespace
