#pragma once
// Half-hour slot sets: the 48 half hours of one weekday in one 64-bit word, their texts in
// airport files and log lines, and week slots (weekday 1..7 with a half hour 0..47).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::uint32_t slotsPerDay = 48;
inline constexpr std::int32_t slotsPerWeek = 7 * 48;

// Bit k = slot k; bits 48..63 stay clear. Slot numbers of 48 or more throw std::out_of_range
// "invalid bitset position".
class HalfHourSet {
 public:
  constexpr HalfHourSet() = default;
  static HalfHourSet single(std::uint32_t slot);

  void set(std::uint32_t slot);
  bool test(std::uint32_t slot) const;
  std::uint32_t count() const;
  bool none() const { return bits_ == 0; }
  bool any() const { return bits_ != 0; }
  bool intersects(HalfHourSet other) const { return (bits_ & other.bits_) != 0; }
  std::uint32_t lowest() const;   // the set must not be empty
  std::uint32_t highest() const;  // the set must not be empty
  std::uint64_t bits() const { return bits_; }

  friend bool operator==(HalfHourSet, HalfHourSet) = default;

 private:
  std::uint64_t bits_ = 0;
};

// A weekday 1 (Monday) .. 7 with a half hour 0..47; packed like currentWeekSlot (weekday in
// the low half, half hour in the high half).
struct WeekSlot {
  std::int32_t day = 0;
  std::int32_t halfHour = 0;

  static WeekSlot fromPacked(std::uint64_t packed);
  std::uint64_t packed() const;
  // Counted through the week: (day - 1) * 48 + half hour, 0..335.
  std::int32_t linear() const { return (day - 1) * 48 + halfHour; }
  bool valid() const { return day >= 1 && day <= 7 && halfHour >= 0 && halfHour < 48; }
  friend bool operator==(const WeekSlot&, const WeekSlot&) = default;
};

// Half hours from `from` forward to `to`, wrapping by a week (0..335).
std::int32_t gf_weekSlotsBetween(WeekSlot from, WeekSlot to);
// The week slot that many half hours later (earlier when negative): Monday follows Sunday.
WeekSlot gf_weekSlotShifted(WeekSlot slot, std::int32_t halfHours);

// The text of an hh attribute: one range "a:b" or a comma list; errors are logged and give
// the empty set (range) or leave the bad part out (list).
HalfHourSet gf_hours2bitset(std::string_view text);
// "a" or "a:b" for one run of consecutive slots; nothing for an empty set or one with gaps.
std::optional<std::string> gf_bitset2hours(HalfHourSet set);
// Every set slot, ascending, joined by ","; nothing for the empty set.
std::optional<std::string> gf_bitsetSlotList(HalfHourSet set);
// n slots counting down from the week slot's half hour (47 follows 0), newest first.
std::vector<std::uint32_t> lf_lastHalfHours(WeekSlot now, std::uint32_t count);

// Trims the C locale's white space (blank, tab, LF, VT, FF, CR) from both ends.
std::string gf_trimSpaces(std::string_view text);
