#include "runstate/status_line.hpp"

#include <gtest/gtest.h>

#include <atomic>

#include "support/log_capture.hpp"

namespace {

class StatusLine : public ::testing::Test {
 protected:
  void SetUp() override { gf_setStatusNotifier([this] { ++notified; }); }
  void TearDown() override { gf_setStatusNotifier(nullptr); }
  void seconds(int n) {
    for (int i = 0; i < n; ++i) gf_statusSecond();
  }
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  std::atomic<int> notified{0};
};

TEST_F(StatusLine, PostLogsOnlyWhenAskedAndNotifies) {
  gf_postStatus("quiet");
  EXPECT_EQ(gf_statusSnapshot().statusText, "quiet");
  gf_postStatus("loud", true);
  EXPECT_EQ(gf_statusSnapshot().statusText, "loud");
  gf_postStatus("", true);  // the same as clearing: nothing logged
  EXPECT_EQ(gf_statusSnapshot().statusText, "");
  EXPECT_EQ(gf_statusSnapshot().statusSetAt, 0u);
  EXPECT_EQ(notified.load(), 3);
  EXPECT_EQ(log.text(), "loud\n");
}

TEST_F(StatusLine, ErrorBlocksStatusUntilCleared) {
  gf_postStatus("before");
  gf_postError("no simulator");
  auto snapshot = gf_statusSnapshot();
  EXPECT_EQ(snapshot.statusText, "");
  EXPECT_EQ(snapshot.errorText, "no simulator");
  const int afterError = notified.load();
  gf_postStatus("refused", true);
  gf_clearStatus();
  EXPECT_EQ(notified.load(), afterError);  // nothing posted
  EXPECT_EQ(gf_statusSnapshot().statusText, "");
  EXPECT_EQ(log.text(), "Error no simulator\n");  // the refused status is not logged

  gf_clearError();
  gf_postStatus("after");
  snapshot = gf_statusSnapshot();
  EXPECT_EQ(snapshot.errorText, "");
  EXPECT_EQ(snapshot.statusText, "after");
}

TEST_F(StatusLine, EmptyErrorLeavesStatusAccepted) {
  gf_postStatus("x");
  gf_postError("");
  EXPECT_EQ(gf_statusSnapshot().statusText, "");
  gf_postStatus("y");
  EXPECT_EQ(gf_statusSnapshot().statusText, "y");
  EXPECT_EQ(log.text(), "Error \n");
}

TEST_F(StatusLine, StatusSetAtClockZeroIsStampedOneAndExpiresAt26) {
  gf_postStatus("short-lived");
  EXPECT_EQ(gf_statusSnapshot().statusSetAt, 1u);
  seconds(25);
  EXPECT_EQ(gf_statusSnapshot().statusClock, 25u);
  EXPECT_EQ(gf_statusSnapshot().statusText, "short-lived");
  const int before = notified.load();
  seconds(1);
  EXPECT_EQ(gf_statusSnapshot().statusText, "");
  EXPECT_EQ(gf_statusSnapshot().statusSetAt, 0u);
  EXPECT_EQ(notified.load(), before + 1);
}

TEST_F(StatusLine, ExpiryCountsFromTheLatestMessage) {
  seconds(10);
  gf_postStatus("first");
  EXPECT_EQ(gf_statusSnapshot().statusSetAt, 10u);
  seconds(20);
  gf_postStatus("second");
  EXPECT_EQ(gf_statusSnapshot().statusSetAt, 30u);
  seconds(24);
  EXPECT_EQ(gf_statusSnapshot().statusText, "second");
  seconds(1);
  EXPECT_EQ(gf_statusSnapshot().statusText, "");
  // Without further seconds (a paused flight) nothing expires.
  gf_postStatus("paused");
  EXPECT_EQ(gf_statusSnapshot().statusText, "paused");
}

}  // namespace
