#pragma once
// UTC time texts, the traffic clock (RealTraffic's time when it runs as its professional
// edition, else the computer's) and the week slot derived from it.
#include <atomic>
#include <cstdint>
#include <limits>
#include <string>

extern std::atomic<double> trafficSourceTime;  // seconds since 1970 UTC; 0 = none
extern std::atomic<bool> rtProfessional;

// Times from 1970-01-01 00:00:00 to 3000-12-31 23:59:59 UTC are valid; anything else (also a
// NaN or infinite traffic time) gives "Invalid time", "??:??:??" and week slot -1/-1.
inline constexpr std::int64_t latestValidTime = 32535215999;
inline constexpr std::int64_t invalidTime = std::numeric_limits<std::int64_t>::min();

// "Www Mmm dd hh:mm:ss yyyy" (UTC) or "Invalid time".
std::string gf_timeString(std::int64_t secondsSince1970);
std::string gf_timeOfDay();          // "hh:mm:ss" now
std::string gf_dateString();         // "Mmm dd, yyyy" today
std::string gf_trafficTimeOfDay();   // "hh:mm:ss" of the traffic clock, "??:??:??" when invalid
std::int64_t gf_trafficClock();      // seconds since 1970 of the traffic clock, or invalidTime

// Low 32 bits: weekday 1 (Monday) .. 7 (Sunday); high 32 bits: half-hour slot 0..47;
// both -1 when the time cannot be converted.
std::uint64_t gf_trafficWeekSlot();
std::uint64_t gf_weekSlotOf(std::int64_t secondsSince1970);
inline std::int32_t gf_weekSlotDay(std::uint64_t slot) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(slot & 0xffffffffu));
}
inline std::int32_t gf_weekSlotHalfHour(std::uint64_t slot) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(slot >> 32));
}
