// Half-hour slot sets: the hh texts both ways, slot lists and the last half hours.
#include <gtest/gtest.h>

#include <stdexcept>

#include "parking/apf_fixture.hpp"
#include "parking/slot_sets.hpp"

using namespace apf_test;

namespace {

HalfHourSet setOf(std::initializer_list<std::uint32_t> slots) {
  HalfHourSet set;
  for (auto slot : slots) set.set(slot);
  return set;
}

HalfHourSet allSlots() {
  HalfHourSet set;
  for (std::uint32_t slot = 0; slot < 48; ++slot) set.set(slot);
  return set;
}

struct ParseCase {
  const char* text;
  HalfHourSet expected;
  const char* logged;  // a line the parse must log, or "" for none
};

class SlotTextTest : public ApfTest {};

}  // namespace

TEST_F(SlotTextTest, ParsesRangesAndListsAndLogsTheBadParts) {
  const ParseCase cases[] = {
      {"5:8", setOf({5, 6, 7, 8}), ""},
      {"5:5", setOf({5}), ""},
      {" 5 : 8\t", setOf({5, 6, 7, 8}), ""},
      {"0:47", allSlots(), ""},
      {"8:5", {}, "==> gf_hours2bitset descending range not allowed (8:5 in 8:5)"},
      {"1:2:3", {}, "==> gf_hours2bitset more than one colon char in: 1:2:3"},
      {"7:", {}, "==> operator () invalid hour '' in 7:"},
      {"3:48", {}, "==> operator () invalid hour '48' in 3:48"},
      {"3,5,47", setOf({3, 5, 47}), ""},
      {"3, 48, 5", setOf({3, 5}), "==> operator () invalid hour '48' in 3, 48, 5"},
      {"3,,5", setOf({3, 5}), "==> operator () invalid hour '' in 3,,5"},
      {"-1", {}, "==> operator () invalid hour '-1' in -1"},
      {"abc", {}, "==> operator () invalid hour 'abc' in abc"},
      {"12x", setOf({12}), ""},
      {"47", setOf({47}), ""},
      {"0", setOf({0}), ""},
      {"99999999999", {}, "==> operator () invalid hour '99999999999' in 99999999999"},
      {"", {}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gf_hours2bitset(c.text).bits(), c.expected.bits()) << c.text;
  }
  const std::string text = logText();
  for (const auto& c : cases) {
    if (*c.logged) {
      EXPECT_NE(text.find(std::string(c.logged) + "\n"), std::string::npos) << c.logged;
    }
  }
}

TEST(SlotSets, WritesOneRunOrNothing) {
  EXPECT_EQ(gf_bitset2hours(setOf({10, 11, 12, 13, 14})), "10:14");
  EXPECT_EQ(gf_bitset2hours(setOf({10})), "10");
  EXPECT_EQ(gf_bitset2hours(setOf({0, 47})), std::nullopt);
  EXPECT_EQ(gf_bitset2hours(setOf({10, 12})), std::nullopt);
  EXPECT_EQ(gf_bitset2hours({}), std::nullopt);
  EXPECT_EQ(gf_bitset2hours(gf_hours2bitset("0:47")), "0:47");
  EXPECT_EQ(gf_bitsetSlotList(setOf({0, 1, 47})), "0,1,47");
  EXPECT_EQ(gf_bitsetSlotList({}), std::nullopt);
  // A list written by gf_bitsetSlotList reads back as the same set.
  EXPECT_EQ(gf_hours2bitset(*gf_bitsetSlotList(setOf({2, 9, 30}))), setOf({2, 9, 30}));
}

TEST(SlotSets, SlotsBeyond47AreOutOfRange) {
  HalfHourSet set;
  EXPECT_THROW(set.set(48), std::out_of_range);
  EXPECT_THROW((void)set.test(48), std::out_of_range);
  EXPECT_NO_THROW(set.set(47));
  EXPECT_TRUE(set.test(47));
  EXPECT_EQ(set.lowest(), 47u);
  EXPECT_EQ(set.highest(), 47u);
  try {
    set.set(64);
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid bitset position");
  }
}

TEST(SlotSets, LastHalfHoursCountDownAcrossMidnight) {
  using Slots = std::vector<std::uint32_t>;
  EXPECT_EQ(lf_lastHalfHours({3, 2}, 4), (Slots{2, 1, 0, 47}));
  EXPECT_EQ(lf_lastHalfHours({3, 2}, 0), Slots{});
  EXPECT_EQ(lf_lastHalfHours({1, 25}, 1), Slots{25});
  Slots all;
  for (std::uint32_t s = 48; s-- > 0;) all.push_back(s);
  EXPECT_EQ(lf_lastHalfHours({7, 47}, 48), all);
}

TEST(SlotSets, WeekSlotsWrapAcrossTheWeek) {
  struct Case {
    WeekSlot from, to;
    std::int32_t elapsed;
  };
  const Case cases[] = {
      {{2, 21}, {2, 25}, 4},
      {{2, 25}, {2, 25}, 0},
      {{7, 46}, {1, 1}, 3},     // Sunday 23:00 to Monday 00:30
      {{1, 0}, {7, 47}, 335},   // the whole week
      {{3, 40}, {3, 1}, 297},   // earlier today wraps through the week
      {{6, 47}, {7, 0}, 1},     // midnight
  };
  for (const auto& c : cases)
    EXPECT_EQ(gf_weekSlotsBetween(c.from, c.to), c.elapsed) << c.from.day << ":" << c.from.halfHour;
  const WeekSlot slot{5, 33};
  EXPECT_EQ(WeekSlot::fromPacked(slot.packed()), slot);
  EXPECT_EQ(slot.packed(), 5u | (std::uint64_t{33} << 32));
  EXPECT_EQ(slot.linear(), 4 * 48 + 33);
}

TEST(SlotSets, ShiftedWeekSlotsWrapAcrossMidnightAndTheWeek) {
  struct Case {
    WeekSlot from;
    std::int32_t halfHours;
    WeekSlot to;
  };
  const Case cases[] = {
      {{2, 47}, 1, {3, 0}},      {{3, 0}, -1, {2, 47}},    // midnight
      {{7, 47}, 1, {1, 0}},      {{1, 0}, -1, {7, 47}},    // the week's end
      {{1, 0}, -48, {7, 0}},     {{7, 5}, 48, {1, 5}},     // a whole day
      {{4, 10}, 336, {4, 10}},   {{4, 10}, -336, {4, 10}}, // a whole week
      {{4, 10}, 0, {4, 10}},     {{1, 1}, -337, {1, 0}},
  };
  for (const auto& c : cases) {
    const WeekSlot shifted = gf_weekSlotShifted(c.from, c.halfHours);
    EXPECT_EQ(shifted, c.to) << c.from.day << ":" << c.from.halfHour << " " << c.halfHours << " -> "
                             << shifted.day << ":" << shifted.halfHour;
  }
}
