#include "traffic/qnh.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "traffic/drop_tally.hpp"
#include "traffic/link_state.hpp"

std::atomic<std::int32_t> qnhHpa{1013};

namespace {

// Rounds halves away from zero into an i32; throws when the value does not fit.
std::int32_t lf_roundToInt(double value) {
  const double rounded = std::round(value);
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max()))
    throw std::range_error(wdrx::format("QNH {} out of range", value));
  return static_cast<std::int32_t>(rounded);
}

// A datagram that changes nothing. Its port may listen on every interface, so only the first of
// a quiet minute gets its own line; later ones are counted for the minute's summary line.
void lf_refuse(QnhReader& reader, QnhDropReason reason, const std::string& line,
               bool marked = false) {
  if (!reader.drops.startPeriodIfQuiet(gf_clock().steadyNow())) {
    reader.drops.countDrop(reason, line);
  } else if (marked) {
    gf_logMarked(line);
  } else {
    gf_log(line);
  }
}

void lf_refuseNoQnh(QnhReader& reader, std::string_view datagram) {
  lf_refuse(reader, QnhDropReason::noQnh, wdrx::format("no QNH {}", gf_logSafeText(datagram)));
}

// The QNH of the member, or none after it was refused.
std::optional<std::int32_t> lf_qnhOf(QnhReader& reader, const nlohmann::json& member,
                                     std::string_view datagram) {
  using Type = nlohmann::json::value_t;
  switch (member.type()) {
    case Type::number_integer:
    case Type::number_unsigned:
      return lf_roundToInt(member.get<double>());  // beyond the i32 range: an error
    case Type::number_float: {
      const double wide = member.get<double>();
      // Taken as a float; beyond a float's range it fits no i32 either.
      if (!(std::fabs(wide) <= std::numeric_limits<float>::max()))
        throw std::range_error(wdrx::format("QNH {} out of range", wide));
      return lf_roundToInt(static_cast<float>(wide));
    }
    case Type::string: {
      const auto& text = member.get_ref<const std::string&>();
      std::int32_t value = 0;
      if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) {
        lf_refuse(reader, QnhDropReason::unreadableText,
                  wdrx::format("QNH string parse error: {} in {}", gf_logSafeText(text),
                               gf_logSafeText(datagram)),
                  true);
        return std::nullopt;
      }
      return value;
    }
    default:
      lf_refuseNoQnh(reader, datagram);
      return std::nullopt;
  }
}

// Applies the datagram's QNH, or refuses the datagram and keeps the QNH we have.
void lf_applyQnh(QnhReader& reader, std::string_view datagram) {
  try {
    const auto json = nlohmann::json::parse(datagram);
    if (!json.is_object())
      throw std::invalid_argument(wdrx::format("not a JSON object but {}", json.type_name()));
    const auto found = json.find("QNH");
    if (found == json.end() || found->is_null() || (found->is_structured() && found->empty()))
      return lf_refuseNoQnh(reader, datagram);
    const std::optional<std::int32_t> read = lf_qnhOf(reader, *found, datagram);
    if (!read) return;
    std::int32_t q = *read;
    // 0 or below is no pressure at all: keep the QNH we have.
    if (q <= 0)
      return lf_refuse(reader, QnhDropReason::notAPressure,
                       wdrx::format("QNH {} rejected, in {}", q, gf_logSafeText(datagram)));
    if (q > 1100) q = lf_roundToInt(q * 0.33865307);  // inches of mercury in hundredths
    if (q < 900) q = 900;
    if (q > 1100) q = 1100;
    if (q == reader.lastQnh.load() && q != 1013) return;

    reader.lastQnh.store(q);
    trafficReader.trafficQnh.store(q);
    qnhHpa.exchange(q);
    realTrafficDisplay.qnhValue.store(q);
    std::int32_t silent = lampSilent;
    realTrafficDisplay.qnhLamp.compare_exchange_strong(silent, lampReceiving);
    gf_invalidateCountersBand();
  } catch (const std::exception& e) {
    lf_refuse(reader, QnhDropReason::badDatagram,
              wdrx::format("Exception {}, in {}", gf_logSafeText(e.what()),
                           gf_logSafeText(datagram)));
  }
}

}  // namespace

void QnhReader::onDatagram() { lf_processQnh(*this); }

void gf_processQnhDatagram(QnhReader& reader, std::string_view datagram) {
  reader.datagram = datagram;
  lf_processQnh(reader);
  reader.datagram = {};
}

void gf_logQnhDrops(QnhReader& reader) { gf_logDropSummary(reader.drops, true); }

void lf_processQnh(QnhReader& reader) {
  reader.drops.countLine();
  lf_applyQnh(reader, reader.datagram);
  // Summaries run only in the minutes that a refused datagram started.
  if (!reader.drops.quiet()) gf_logDropSummary(reader.drops);
}
