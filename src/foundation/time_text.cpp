#include "foundation/time_text.hpp"

#include <array>
#include <chrono>
#include <cmath>
#include <optional>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"

std::atomic<double> trafficSourceTime{0.0};
std::atomic<bool> rtProfessional{false};

namespace {

struct UtcFields {
  int year = 0;
  unsigned month = 0;    // 1..12
  unsigned day = 0;      // 1..31
  unsigned weekday = 0;  // 1 = Monday .. 7 = Sunday
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The calendar breakdown; times outside the valid range are rejected.
std::optional<UtcFields> lf_breakDown(std::int64_t seconds) {
  if (seconds < 0 || seconds > latestValidTime) return std::nullopt;
  using namespace std::chrono;
  const sys_days day{days{seconds / 86400}};
  const year_month_day date{day};
  const auto ofDay = seconds % 86400;
  UtcFields fields;
  fields.year = static_cast<int>(date.year());
  fields.month = static_cast<unsigned>(date.month());
  fields.day = static_cast<unsigned>(date.day());
  fields.weekday = weekday{day}.iso_encoding();
  fields.hour = static_cast<int>(ofDay / 3600);
  fields.minute = static_cast<int>(ofDay / 60 % 60);
  fields.second = static_cast<int>(ofDay % 60);
  return fields;
}

const char* lf_monthName(unsigned month) {
  static constexpr std::array<const char*, 12> names{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Okt", "Nov", "Dec"};
  return month >= 1 && month <= 12 ? names[month - 1] : "???";
}

const char* lf_dayName(unsigned weekday) {
  static constexpr std::array<const char*, 7> names{"Mon", "Tue", "Wed", "Thu",
                                                    "Fri", "Sat", "Sun"};
  return weekday >= 1 && weekday <= 7 ? names[weekday - 1] : "???";
}

std::string lf_timeOfDayOf(std::int64_t seconds) {
  const auto fields = lf_breakDown(seconds);
  if (!fields) return "??:??:??";
  return wdrx::format("{:02}:{:02}:{:02}", fields->hour, fields->minute, fields->second);
}

std::int64_t lf_now() { return gf_clock().systemSeconds(); }

}  // namespace

std::string gf_timeString(std::int64_t secondsSince1970) {
  const auto fields = lf_breakDown(secondsSince1970);
  if (!fields) return "Invalid time";
  return wdrx::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", lf_dayName(fields->weekday),
                      lf_monthName(fields->month), fields->day, fields->hour, fields->minute,
                      fields->second, fields->year);
}

std::string gf_timeOfDay() { return lf_timeOfDayOf(lf_now()); }

std::string gf_dateString() {
  const std::string text = gf_timeString(lf_now());
  if (text.size() != 24) return text;  // "Invalid time"
  return wdrx::format("{}, {}", text.substr(4, 6), text.substr(20, 4));
}

std::int64_t gf_trafficClock() {
  if (!rtProfessional.load()) return lf_now();
  const double source = trafficSourceTime.load();
  // Checked before the conversion: a NaN, infinite or huge time has no integer value.
  if (!std::isfinite(source) || source <= -1.0 ||
      source >= static_cast<double>(latestValidTime + 1)) {
    return invalidTime;
  }
  const auto seconds = static_cast<std::int64_t>(source);  // truncated toward zero
  return seconds != 0 ? seconds : lf_now();  // no whole second yet: the computer's clock
}

std::string gf_trafficTimeOfDay() { return lf_timeOfDayOf(gf_trafficClock()); }

std::uint64_t gf_weekSlotOf(std::int64_t secondsSince1970) {
  std::int32_t weekday = -1;
  std::int32_t slot = -1;
  if (const auto fields = lf_breakDown(secondsSince1970)) {
    weekday = static_cast<std::int32_t>(fields->weekday);
    const bool secondHalf = fields->minute > 29 || (fields->minute == 29 && fields->second >= 30);
    slot = (2 * fields->hour + (secondHalf ? 1 : 0)) % 48;
  }
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(slot)) << 32) |
         static_cast<std::uint32_t>(weekday);
}

std::uint64_t gf_trafficWeekSlot() { return gf_weekSlotOf(gf_trafficClock()); }
