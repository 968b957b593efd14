#pragma once
// Why traffic lines were dropped: counted per reason on the Traffic Reader thread and written
// to the log as one summary line a minute, so that a feed full of bad or filtered lines costs a
// line a minute, not one per datagram.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

enum class DropReason : std::uint8_t {
  groundVehicle,
  shortLine,
  timestamp,
  position,
  outOfRange,
  longRegistration,
  notAircraft,
  trueHeading,
  hexid,
  staticId,
  groundSpeed,
  altitude,
  airborneOnly,
  testCallsign,
  noIdentity,
  groundAway,
  track,
  verticalSpeed,
  roll,
  trueAirspeed,
  notAccepted,
  other,
  count
};

// The reason's words in the summary line ("out of range", "bad altitude", ...).
std::string_view gf_dropReasonText(DropReason reason);

// A datagram's text made safe for one log line: control characters (NUL, CR, LF, ...) become
// '?', and a text longer than `limit` is cut and ends in "...".
std::string gf_logSafeText(std::string_view text, std::size_t limit = 200);

class DropTally {
 public:
  static constexpr std::chrono::seconds period{60};

  void countLine() { lines_.fetch_add(1, std::memory_order_relaxed); }
  // `message`: the decoder's error text; empty for the silent filters.
  void countDrop(DropReason reason, std::string_view message = {});

  std::uint32_t dropped(DropReason reason) const;
  std::uint32_t droppedTotal() const;
  std::uint32_t lines() const { return lines_.load(); }

  // The summary line of the counts so far and a new period from `now`, when a period has
  // passed since the last one (or `force`) and anything was dropped; else none (the counts of
  // a period without drops are cleared). The first call only starts the period.
  std::optional<std::string> takeSummary(std::chrono::steady_clock::time_point now,
                                         bool force = false);
  void reset();

 private:
  std::array<std::atomic<std::uint32_t>, static_cast<std::size_t>(DropReason::count)> counts_{};
  std::atomic<std::uint32_t> lines_{0};
  std::mutex lastErrorMutex_;  // guards lastError_
  std::string lastError_;
  static constexpr std::int64_t noPeriod = INT64_MIN;
  std::atomic<std::int64_t> periodStartNs_{noPeriod};  // steady clock, nanoseconds
};
