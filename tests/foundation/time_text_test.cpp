#include "foundation/time_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/fake_clock.hpp"

using wdrx::testing::FakeClock;

namespace {

// 2025-10-06 is a Monday.
constexpr std::int64_t monday = 1759708800;  // Mon Oct 06 00:00:00 2025

std::int64_t at(int dayOffset, int h, int m, int s) {
  return monday + dayOffset * 86400 + h * 3600 + m * 60 + s;
}

TEST(TimeText, CalendarTexts) {
  EXPECT_EQ(gf_timeString(0), "Thu Jan 01 00:00:00 1970");
  EXPECT_EQ(gf_timeString(at(0, 7, 8, 9)), "Mon Okt 06 07:08:09 2025");
  EXPECT_EQ(gf_timeString(at(6, 23, 59, 59)), "Sun Okt 12 23:59:59 2025");
  EXPECT_EQ(gf_timeString(951782400), "Tue Feb 29 00:00:00 2000");
  EXPECT_EQ(gf_timeString(latestValidTime), "Wed Dec 31 23:59:59 3000");
}

TEST(TimeText, ImplausibleTimesAreInvalid) {
  for (std::int64_t t : {std::int64_t{-1}, latestValidTime + 1, invalidTime,
                         std::numeric_limits<std::int64_t>::max()}) {
    EXPECT_EQ(gf_timeString(t), "Invalid time") << t;
    const auto slot = gf_weekSlotOf(t);
    EXPECT_EQ(gf_weekSlotDay(slot), -1) << t;
    EXPECT_EQ(gf_weekSlotHalfHour(slot), -1) << t;
  }
}

TEST(TimeText, NowTextsFollowTheClock) {
  FakeClock clock{at(3, 13, 4, 5)};  // Thu Oct 09
  EXPECT_EQ(gf_timeOfDay(), "13:04:05");
  EXPECT_EQ(gf_dateString(), "Okt 09, 2025");
  clock.setSystemSeconds(1735689599);  // Tue Dec 31 23:59:59 2024
  EXPECT_EQ(gf_dateString(), "Dec 31, 2024");
}

TEST(WeekSlot, HalfHourBoundaryLiesThirtySecondsEarly) {
  struct Case {
    std::int64_t time;
    int day, slot;
  };
  const Case cases[] = {
      {at(0, 10, 29, 29), 1, 20}, {at(0, 10, 29, 30), 1, 21}, {at(0, 10, 59, 59), 1, 21},
      {at(0, 11, 0, 0), 1, 22},   {at(0, 23, 45, 0), 1, 47},  {at(0, 0, 0, 0), 1, 0},
      {at(6, 12, 0, 0), 7, 24},   {at(5, 0, 29, 30), 6, 1},   {at(1, 23, 59, 59), 2, 47},
  };
  for (const auto& c : cases) {
    const auto slot = gf_weekSlotOf(c.time);
    EXPECT_EQ(gf_weekSlotDay(slot), c.day) << gf_timeString(c.time);
    EXPECT_EQ(gf_weekSlotHalfHour(slot), c.slot) << gf_timeString(c.time);
  }
}

class TrafficClock : public ::testing::Test {
 protected:
  void TearDown() override {
    rtProfessional.store(false);
    trafficSourceTime.store(0.0);
  }
  FakeClock clock{at(2, 8, 0, 0)};  // Wed 08:00:00
};

TEST_F(TrafficClock, ComputerClockUnlessProfessionalWithATime) {
  trafficSourceTime.store(static_cast<double>(at(6, 10, 29, 31)));
  EXPECT_EQ(gf_trafficClock(), at(2, 8, 0, 0));  // not professional
  rtProfessional.store(true);
  trafficSourceTime.store(0.0);
  EXPECT_EQ(gf_trafficClock(), at(2, 8, 0, 0));  // professional without a time
  trafficSourceTime.store(0.5);
  EXPECT_EQ(gf_trafficClock(), at(2, 8, 0, 0));  // truncated to 0: still none
  trafficSourceTime.store(static_cast<double>(at(6, 10, 29, 31)) + 0.9);
  EXPECT_EQ(gf_trafficClock(), at(6, 10, 29, 31));  // truncated
  EXPECT_EQ(gf_trafficTimeOfDay(), "10:29:31");
  const auto slot = gf_trafficWeekSlot();
  EXPECT_EQ(gf_weekSlotDay(slot), 7);
  EXPECT_EQ(gf_weekSlotHalfHour(slot), 21);
}

// Both ends of the range, from both sides: a source time in (-1, 1) truncates to 0 (no time
// yet: the computer's clock), -1 and below or past the last valid second is invalid.
TEST_F(TrafficClock, SourceTimeBounds) {
  rtProfessional.store(true);
  const struct {
    double source;
    std::int64_t clock;
  } rows[] = {
      {-1.0, invalidTime},
      {-0.999, at(2, 8, 0, 0)},
      {-0.5, at(2, 8, 0, 0)},
      {0.999, at(2, 8, 0, 0)},
      {1.0, 1},
      {static_cast<double>(latestValidTime) + 0.5, latestValidTime},
      {static_cast<double>(latestValidTime + 1), invalidTime},
  };
  for (const auto& row : rows) {
    trafficSourceTime.store(row.source);
    EXPECT_EQ(gf_trafficClock(), row.clock) << row.source;
  }
}

TEST_F(TrafficClock, BadSourceTimesGiveDefinedInvalidResults) {
  rtProfessional.store(true);
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), 1e300, -5.0, 4e10}) {
    trafficSourceTime.store(bad);
    EXPECT_EQ(gf_trafficClock(), invalidTime) << bad;
    EXPECT_EQ(gf_trafficTimeOfDay(), "??:??:??") << bad;
    EXPECT_EQ(gf_timeString(gf_trafficClock()), "Invalid time") << bad;
    const auto slot = gf_trafficWeekSlot();
    EXPECT_EQ(gf_weekSlotDay(slot), -1) << bad;
    EXPECT_EQ(gf_weekSlotHalfHour(slot), -1) << bad;
  }
}

}  // namespace
