#include "traffic/drop_tally.hpp"

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

namespace {

constexpr std::array<std::string_view, static_cast<std::size_t>(DropReason::count)> trafficReasons{
    "ground vehicle",
    "short line",
    "bad time stamp",
    "bad position",
    "out of range",
    "long registration",
    "not an aircraft",
    "bad true heading",
    "bad id",
    "static id",
    "bad ground speed",
    "bad altitude",
    "below airborne-only height",
    "test callsign",
    "no callsign or registration",
    "on ground away from park airport",
    "bad track",
    "bad vertical speed",
    "bad roll",
    "bad true airspeed",
    "not accepted now",
    "other error",
    "buffer overrun",
};
static_assert(trafficReasons.size() <= DropTally::maxReasons);

constexpr std::array<std::string_view, static_cast<std::size_t>(QnhDropReason::count)> qnhReasons{
    "no QNH",
    "unreadable QNH text",
    "not a pressure",
    "bad datagram",
    "buffer overrun",
};

std::int64_t lf_ns(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}  // namespace

const DropTallyKind trafficDropKind{"processLineSub", "traffic lines", trafficReasons,
                                    static_cast<std::size_t>(DropReason::overrun)};
const DropTallyKind qnhDropKind{"lf_processQnh", "QNH datagrams", qnhReasons,
                                static_cast<std::size_t>(QnhDropReason::overrun)};

std::string_view gf_dropReasonText(DropReason reason) {
  const auto index = static_cast<std::size_t>(reason);
  return index < trafficReasons.size() ? trafficReasons[index] : "unknown";
}

std::string gf_logSafeText(std::string_view text, std::size_t limit) {
  const bool cut = text.size() > limit;
  std::string safe(cut ? text.substr(0, limit) : text);
  for (char& c : safe) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  if (cut) safe += "...";
  return safe;
}

void DropTally::countDropAt(std::size_t index, std::string_view message) {
  if (index >= kind_.reasons.size()) return;
  counts_[index].fetch_add(1, std::memory_order_relaxed);
  if (message.empty()) return;
  std::lock_guard lock(lastErrorMutex_);
  lastError_ = gf_logSafeText(message);
}

std::uint32_t DropTally::droppedAt(std::size_t index) const {
  return index < counts_.size() ? counts_[index].load() : 0;
}

std::uint32_t DropTally::droppedTotal() const {
  std::uint32_t total = 0;
  for (const auto& count : counts_) total += count.load();
  return total;
}

bool DropTally::startPeriodIfQuiet(std::chrono::steady_clock::time_point now) {
  std::int64_t expected = noPeriod;
  return periodStartNs_.compare_exchange_strong(expected, lf_ns(now));
}

std::optional<std::string> DropTally::takeSummary(std::chrono::steady_clock::time_point now,
                                                  bool force) {
  const std::int64_t nowNs = lf_ns(now);
  const std::int64_t startNs = periodStartNs_.load();
  if (startNs == noPeriod) {
    periodStartNs_.store(nowNs);
    if (!force) return std::nullopt;
  } else if (!force && nowNs - startNs < std::chrono::nanoseconds(period).count()) {
    return std::nullopt;
  }

  std::string list;
  std::uint32_t total = 0;
  for (std::size_t i = 0; i < kind_.reasons.size(); ++i) {
    const std::uint32_t count = counts_[i].exchange(0);
    if (count == 0) continue;
    total += count;
    if (!list.empty()) list += ", ";
    list += wdrx::format("{} {}", count, kind_.reasons[i]);
  }
  const std::uint32_t lines = lines_.exchange(0);
  std::string lastError;
  {
    std::lock_guard lock(lastErrorMutex_);
    lastError.swap(lastError_);
  }
  periodStartNs_.store(total == 0 || force ? noPeriod : nowNs);
  if (total == 0) return std::nullopt;
  const auto seconds = startNs == noPeriod ? 0 : (nowNs - startNs) / 1'000'000'000;
  std::string summary = wdrx::format("{}: {} of {} {} dropped in {} s: {}", kind_.tag, total,
                                     lines, kind_.items, seconds, list);
  if (!lastError.empty()) summary += "; last error: " + lastError;
  return summary;
}

void DropTally::reset() {
  for (auto& count : counts_) count.store(0);
  lines_.store(0);
  periodStartNs_.store(noPeriod);
  std::lock_guard lock(lastErrorMutex_);
  lastError_.clear();
}

void gf_logDropSummary(DropTally& tally, bool force) {
  if (auto summary = tally.takeSummary(gf_clock().steadyNow(), force)) gf_log(*summary);
}

void gf_dropOverrun(DropTally& tally, std::int64_t bytes) {
  const std::string line = wdrx::format("buffer overrun: {} bytes", bytes);
  tally.countLine();
  if (tally.startPeriodIfQuiet(gf_clock().steadyNow())) {
    gf_log(line);
  } else {
    tally.countOverrun(line);
  }
  gf_logDropSummary(tally);
}
