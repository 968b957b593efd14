// Half-hour slot sets and their texts.
#include "parking/slot_sets.hpp"

#include <bit>
#include <charconv>
#include <limits>
#include <stdexcept>

#include "foundation/format.hpp"
#include "foundation/log.hpp"

namespace {

void lf_checkSlot(std::uint32_t slot) {
  if (slot >= slotsPerDay) throw std::out_of_range("invalid bitset position");
}

// A decimal slot number with an optional '-', digits read up to the first other character;
// valid in 0..47. Invalid parts are logged with the whole text.
std::optional<std::uint32_t> lf_slotNumber(const std::string& part, std::string_view whole) {
  std::int64_t value = 0;
  bool valid = false;
  std::size_t i = 0;
  const bool negative = !part.empty() && part[0] == '-';
  if (negative) i = 1;
  std::size_t digits = 0;
  for (; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (part[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max() + std::int64_t{1}) break;
  }
  if (negative) value = -value;
  valid = digits > 0 && value >= std::numeric_limits<std::int32_t>::min() &&
          value <= std::numeric_limits<std::int32_t>::max() && value >= 0 &&
          value < static_cast<std::int64_t>(slotsPerDay);
  if (!valid) {
    gf_logMarked(wdrx::format("{} invalid hour '{}' in {}", "operator ()", part, whole));
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

HalfHourSet lf_rangeToSet(std::string_view text) {
  std::optional<std::uint32_t> parts[2];
  std::size_t read = 0;
  bool failed = false;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(':', start);
    if (read == 2 && !failed) {
      gf_logMarked(wdrx::format("{} more than one colon char in: {}", "gf_hours2bitset", text));
      return {};
    }
    const std::string part = gf_trimSpaces(text.substr(start, end == text.npos ? text.npos : end - start));
    auto number = lf_slotNumber(part, text);
    if (!number) failed = true;
    if (read < 2) parts[read] = number;
    ++read;
    if (end == text.npos) break;
    start = end + 1;
  }
  if (failed || read != 2) return {};
  const std::uint32_t first = *parts[0];
  const std::uint32_t last = *parts[1];
  if (last < first) {
    gf_logMarked(wdrx::format("{} descending range not allowed ({}:{} in {})", "gf_hours2bitset",
                              first, last, text));
    return {};
  }
  HalfHourSet set;
  for (std::uint32_t slot = first; slot <= last; ++slot) set.set(slot);
  return set;
}

HalfHourSet lf_listToSet(std::string_view text) {
  HalfHourSet set;
  if (text.empty()) return set;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(',', start);
    const std::string part = gf_trimSpaces(text.substr(start, end == text.npos ? text.npos : end - start));
    if (auto number = lf_slotNumber(part, text)) set.set(*number);
    if (end == text.npos) break;
    start = end + 1;
  }
  return set;
}

}  // namespace

HalfHourSet HalfHourSet::single(std::uint32_t slot) {
  HalfHourSet set;
  set.set(slot);
  return set;
}

void HalfHourSet::set(std::uint32_t slot) {
  lf_checkSlot(slot);
  bits_ |= std::uint64_t{1} << slot;
}

bool HalfHourSet::test(std::uint32_t slot) const {
  lf_checkSlot(slot);
  return (bits_ >> slot) & 1u;
}

std::uint32_t HalfHourSet::count() const { return static_cast<std::uint32_t>(std::popcount(bits_)); }
std::uint32_t HalfHourSet::lowest() const { return static_cast<std::uint32_t>(std::countr_zero(bits_)); }
std::uint32_t HalfHourSet::highest() const {
  return 63u - static_cast<std::uint32_t>(std::countl_zero(bits_));
}

WeekSlot WeekSlot::fromPacked(std::uint64_t packed) {
  return {static_cast<std::int32_t>(static_cast<std::uint32_t>(packed & 0xffffffffu)),
          static_cast<std::int32_t>(static_cast<std::uint32_t>(packed >> 32))};
}

std::uint64_t WeekSlot::packed() const {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(day)) |
         (static_cast<std::uint64_t>(static_cast<std::uint32_t>(halfHour)) << 32);
}

std::int32_t gf_weekSlotsBetween(WeekSlot from, WeekSlot to) {
  std::int32_t elapsed = (to.day - from.day) * 48 - from.halfHour + to.halfHour;
  if (elapsed < 0) elapsed += slotsPerWeek;
  return elapsed;
}

WeekSlot gf_weekSlotShifted(WeekSlot slot, std::int32_t halfHours) {
  std::int32_t linear = (slot.linear() + halfHours % slotsPerWeek) % slotsPerWeek;
  if (linear < 0) linear += slotsPerWeek;
  return {linear / 48 + 1, linear % 48};
}

HalfHourSet gf_hours2bitset(std::string_view text) {
  if (!text.empty() && text.find(':') != text.npos) return lf_rangeToSet(text);
  return lf_listToSet(text);
}

std::optional<std::string> gf_bitset2hours(HalfHourSet set) {
  if (set.none()) return std::nullopt;
  const std::uint32_t first = set.lowest();
  const std::uint32_t last = set.highest();
  if (set.count() != last - first + 1) return std::nullopt;
  if (first == last) return wdrx::format("{}", first);
  return wdrx::format("{}:{}", first, last);
}

std::optional<std::string> gf_bitsetSlotList(HalfHourSet set) {
  if (set.none()) return std::nullopt;
  std::string text;
  for (std::uint32_t slot = 0; slot < slotsPerDay; ++slot) {
    if (!set.test(slot)) continue;
    if (!text.empty()) text += ',';
    text += std::to_string(slot);
  }
  return text;
}

std::vector<std::uint32_t> lf_lastHalfHours(WeekSlot now, std::uint32_t count) {
  std::vector<std::uint32_t> slots;
  slots.reserve(slotsPerDay);
  std::uint32_t slot = static_cast<std::uint32_t>(now.halfHour);
  for (std::uint32_t i = 0; i < count; ++i) {
    slots.push_back(slot);
    slot = slot > 0 ? slot - 1 : slotsPerDay - 1;
  }
  return slots;
}

std::string gf_trimSpaces(std::string_view text) {
  constexpr std::string_view spaces = " \t\n\v\f\r";
  const std::size_t first = text.find_first_not_of(spaces);
  if (first == text.npos) return {};
  const std::size_t last = text.find_last_not_of(spaces);
  return std::string(text.substr(first, last - first + 1));
}
