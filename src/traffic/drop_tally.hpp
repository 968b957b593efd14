#pragma once
// Why datagrams were dropped: counted per reason on the reader's thread and written to the log
// as one summary line a minute, so that a feed full of bad or filtered datagrams costs a line a
// minute, not one per datagram. The Traffic Reader and the QNH Reader each keep one tally.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
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
  overrun,  // too long for the reader's buffer
  count
};

// Why a QNH datagram changed nothing.
enum class QnhDropReason : std::uint8_t {
  noQnh,
  unreadableText,
  notAPressure,
  badDatagram,
  overrun,  // too long for the reader's buffer
  count
};

// The reason's words in the summary line ("out of range", "bad altitude", ...).
std::string_view gf_dropReasonText(DropReason reason);

// What a tally counts: its summary line "{tag}: {n} of {m} {items} dropped in {s} s: {counts}"
// and the words of each reason, in the order of the reason's enum; `overrun`: the index of the
// reason "buffer overrun".
struct DropTallyKind {
  std::string_view tag;
  std::string_view items;
  std::span<const std::string_view> reasons;
  std::size_t overrun;
};
extern const DropTallyKind trafficDropKind;  // DropReason
extern const DropTallyKind qnhDropKind;      // QnhDropReason

// A datagram's text made safe for one log line: control characters (NUL, CR, LF, ...) become
// '?', and a text longer than `limit` is cut and ends in "...".
std::string gf_logSafeText(std::string_view text, std::size_t limit = 200);

class DropTally {
 public:
  static constexpr std::chrono::seconds period{60};
  static constexpr std::size_t maxReasons = 24;

  explicit DropTally(const DropTallyKind& kind) : kind_(kind) {}

  void countLine() { lines_.fetch_add(1, std::memory_order_relaxed); }
  // `message`: the error's text; empty for the silent filters.
  template <typename Reason>
  void countDrop(Reason reason, std::string_view message = {}) {
    countDropAt(static_cast<std::size_t>(reason), message);
  }
  template <typename Reason>
  std::uint32_t dropped(Reason reason) const {
    return droppedAt(static_cast<std::size_t>(reason));
  }
  void countOverrun(std::string_view message) { countDropAt(kind_.overrun, message); }
  std::uint32_t droppedTotal() const;
  std::uint32_t lines() const { return lines_.load(); }

  // For a reader that writes the first drop's own line: true when no period runs (nothing was
  // dropped within the last period); a period then starts at `now`, and the caller writes its
  // line instead of counting the drop.
  bool startPeriodIfQuiet(std::chrono::steady_clock::time_point now);
  bool quiet() const { return periodStartNs_.load() == noPeriod; }

  // The summary line of the counts so far when a period has passed since its start (or
  // `force`) and anything was dropped; the next period then starts at `now`. A period without
  // drops ends without a line, a forced one ends after its line, and none runs until the next
  // drop or call. A call while none runs only starts one (unless `force`).
  std::optional<std::string> takeSummary(std::chrono::steady_clock::time_point now,
                                         bool force = false);
  void reset();

 private:
  void countDropAt(std::size_t reason, std::string_view message);
  std::uint32_t droppedAt(std::size_t reason) const;

  const DropTallyKind& kind_;
  std::array<std::atomic<std::uint32_t>, maxReasons> counts_{};
  std::atomic<std::uint32_t> lines_{0};
  std::mutex lastErrorMutex_;  // guards lastError_
  std::string lastError_;
  static constexpr std::int64_t noPeriod = INT64_MIN;
  std::atomic<std::int64_t> periodStartNs_{noPeriod};  // steady clock, nanoseconds
};

// Logs the tally's summary line when one is due at the clock's time (or `force`).
void gf_logDropSummary(DropTally& tally, bool force = false);

// A datagram too long for the reader's buffer, dropped. Its port may listen on every interface:
// the first of a quiet period gets its own line "buffer overrun: {} bytes", later ones are
// counted for the summary line.
void gf_dropOverrun(DropTally& tally, std::int64_t bytes);
