#include "traffic/traffic_decoder.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include "aircraft/aircraft_codes.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "traffic/engine/engine_cycle.hpp"

std::mutex trafficMutex;
std::deque<LiveReport> addingStack;
bool acceptTraffic = false;

namespace {

constexpr double twoPi = 6.283185307179586;

// A bad field: drops the datagram, counted under its reason with the message.
class DecodeError : public std::runtime_error {
 public:
  DecodeError(DropReason reason, const std::string& message)
      : std::runtime_error(message), reason(reason) {}
  const DropReason reason;
};

// The longest start of the text that reads as a number (std::from_chars, general format);
// what follows it is ignored. False when no number starts the text (empty, a blank or a plus
// sign first) or the value is beyond the range of a double.
bool lf_parseDouble(std::string_view text, double& value) {
  return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

// A finite number, else the error "{label}{separator}{text}".
double lf_number(std::string_view text, DropReason reason, std::string_view label,
                 std::string_view separator = ":") {
  double value = 0.0;
  if (!lf_parseDouble(text, value) || !std::isfinite(value))
    throw DecodeError(reason, wdrx::format("{}{}{}", label, separator, text));
  return value;
}

// A number the feed may leave out: an empty field or -1 gives none; anything else must read.
std::optional<double> lf_optionalNumber(std::string_view text, DropReason reason,
                                        std::string_view label, std::string_view separator = ":") {
  if (text.empty()) return std::nullopt;
  const double value = lf_number(text, reason, label, separator);
  if (value == -1.0) return std::nullopt;
  return value;
}

// Latitude and longitude: a non-finite value passes here and fails the position check.
double lf_coordinate(std::string_view text, std::string_view label) {
  double value = 0.0;
  if (!lf_parseDouble(text, value))
    throw DecodeError(DropReason::position, wdrx::format("{}:{}", label, text));
  return value;
}

std::uint32_t lf_hexid(std::string_view text) {
  std::uint32_t value = 0;
  // The decimal digits at the start; no digit, or a value beyond 32 bits, is an error.
  if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc())
    throw DecodeError(DropReason::hexid, wdrx::format("hexid incorrect{}", text));
  return value;
}

// True airspeed of a report that gives none, from its corrected altitude.
double lf_tasFromAltitude(double altitudeFeet) {
  struct Row {
    double limit;
    double knots;
  };
  static constexpr std::array<Row, 5> table{{{2000.0, 180.0},
                                             {5000.0, 220.0},
                                             {10000.0, 250.0},
                                             {20000.0, 350.0},
                                             {std::numeric_limits<double>::max(), 430.0}}};
  for (const Row& row : table)
    if (row.limit >= altitudeFeet) return row.knots;
  return 0.0;  // not a number
}

bool lf_parkAirportSet() { return !parkAirportCode.load().empty(); }

// "null" and an empty field mean none.
bool lf_none(std::string_view text) { return text.empty() || text == "null"; }

// A text of the datagram as it is stored: at most `limit` characters, no control characters
// (the texts reach log lines and the simulator).
std::string lf_storedText(std::string_view text, std::size_t limit) {
  std::string stored(text.substr(0, limit));
  for (char& c : stored)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return stored;
}

// An airport of the route: a three-character code, else none (the feed also sends ICAO codes
// and "N/A", which must not cost the aircraft).
IataCode lf_routeAirport(std::string_view text) {
  if (text.size() != 3) return {};
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return {};
  return IataCode(text);
}

// "adsb_icao", also with a one-letter provider prefix ("X_adsb_icao").
bool lf_headingSource(std::string_view source) {
  constexpr std::string_view adsb = "adsb_icao";
  return source == adsb || (source.size() == adsb.size() + 2 && source[1] == '_' &&
                            source.substr(2) == adsb);
}

// Field 6: the feed says the aircraft is on the ground.
bool lf_groundFlag(std::string_view text) {
  double value = 0.0;
  return lf_parseDouble(text, value) && value != 0.0;
}

void lf_drop(TrafficReader& reader, DropReason reason) { reader.drops.countDrop(reason); }

}  // namespace

std::string gf_formatLatLon(double latitude, double longitude) {
  return wdrx::format("{:.6f},{:.6f}", latitude, longitude);
}

void TrafficReader::onDatagram() { lf_processTrafficLine(*this); }

void gf_processTrafficDatagram(TrafficReader& reader, std::string_view datagram) {
  reader.datagram = datagram;
  lf_processTrafficLine(reader);
  reader.datagram = {};
  reader.fields.clear();
}

void gf_logTrafficDrops(TrafficReader& reader) { gf_logDropSummary(reader.drops, true); }

void lf_processTrafficLine(TrafficReader& reader) {
  const std::string_view line = reader.datagram;
  reader.drops.countLine();
  if (line.find(" VEH") != std::string_view::npos) {  // ground vehicles
    lf_drop(reader, DropReason::groundVehicle);
  } else {
    // One pass over the bytes; fields past the last one read stay together in one view, they
    // are never looked at.
    reader.fields.clear();
    const char* const begin = line.data();
    const std::size_t size = line.size();
    std::size_t start = 0;
    for (std::size_t i = 0; i < size && reader.fields.size() < trafficFieldCount; ++i) {
      if (begin[i] != ',') continue;
      reader.fields.emplace_back(begin + start, i - start);
      start = i + 1;
    }
    reader.fields.emplace_back(begin + start, size - start);
    processLineSub(reader);
  }
  gf_logDropSummary(reader.drops);
}

void processLineSub(TrafficReader& reader) {
  try {
    const auto& f = reader.fields;
    if (f.size() < trafficFieldCount)
      throw DecodeError(DropReason::shortLine,
                        wdrx::format("{} fields, at least {} expected, in: {}", f.size(),
                                     trafficFieldCount, reader.datagram));
    LiveReport report;
    AcIdentity& identity = report.identity;
    PositionSample& sample = report.sample;

    const double timestamp = lf_number(f[14], DropReason::timestamp, "timestamp");
    trafficSourceTime.store(timestamp);
    report.timestamp = timestamp;

    sample.latitude = lf_coordinate(f[2], "lat");
    sample.longitude = lf_coordinate(f[3], "lon");
    const double lat = sample.latitude;
    const double lon = sample.longitude;
    if (!(lat >= -90.0 && lat <= 90.0) || !(lon >= -180.0 && lon <= 180.0) ||
        (std::fabs(lat) <= 0.0001 && std::fabs(lon) <= 0.0001))
      throw DecodeError(DropReason::position,
                        wdrx::format("invalid lalo: {}", gf_formatLatLon(lat, lon)));
    const LatLon position{lat, lon};

    if (gf_distanceNm(reader.userLatLon(), position) > rangeNm.load())
      return lf_drop(reader, DropReason::outOfRange);

    if (f[11].size() > maxRegistrationLength)
      return lf_drop(reader, DropReason::longRegistration);
    if (!lf_none(f[11])) identity.registration = lf_storedText(f[11], maxRegistrationLength);

    if (reader.collectCallsigns.load()) {
      const std::string_view callsign = f[9];
      if (!lf_none(callsign) && callsign.find('@') == std::string_view::npos)
        reader.insertCallsign(lf_storedText(callsign, maxCallsignLength));
    }

    if (!gf_isAircraft(f[10], f[28])) return lf_drop(reader, DropReason::notAircraft);
    identity.codes.modelId = gf_modelId(f[10]);

    if (lf_headingSource(f[17])) {
      // Missing (empty, -1 or any negative value): no heading.
      std::optional<double> heading =
          lf_optionalNumber(f[25], DropReason::trueHeading, "trueheading");
      // A heading beyond a full turn is the same direction: the aircraft stays.
      if (heading && *heading > 360.0) heading = std::fmod(*heading, 360.0);
      if (heading && *heading == 0.0) {
        sample.trueHeading = twoPi;
        sample.reportFlag = 1;
      } else if (heading && *heading > 0.0) {
        sample.trueHeading = *heading * degToRad;
        sample.reportFlag = 1;
      }
    }

    report.hexid = lf_hexid(f[1]);
    if (report.hexid <= 10000) return lf_drop(reader, DropReason::staticId);  // static aircraft

    // Unknown ground speed counts as slow here; an airborne report takes its airspeed below.
    const std::optional<double> groundSpeed =
        lf_optionalNumber(f[8], DropReason::groundSpeed, "gs");
    sample.groundSpeed = groundSpeed.value_or(0.0);
    if (!lf_checkAltitude(reader, sample)) return lf_drop(reader, DropReason::airborneOnly);
    sample.airborne = sample.altitude > 0.0 ? 1 : 0;

    if (!lf_checkCallsign(reader, identity)) return lf_drop(reader, DropReason::testCallsign);
    if (identity.registration.empty() && identity.callsign.empty())
      return lf_drop(reader, DropReason::noIdentity);

    // On the ground only near the park airport.
    if (sample.airborne == 0) {
      if (!lf_parkAirportSet()) return lf_drop(reader, DropReason::groundAway);
      const Airport airport = parkAirport.load();
      if (gf_distanceNm({airport.latitude, airport.longitude}, position) > 5.0)
        return lf_drop(reader, DropReason::groundAway);
    }

    sample.track =
        lf_optionalNumber(f[7], DropReason::track, "track incorrect ", "").value_or(0.0);
    if (sample.track == 0.0 && sample.trueHeading) sample.track = *sample.trueHeading * radToDeg;

    sample.verticalSpeed = lf_optionalNumber(f[5], DropReason::verticalSpeed, "vs").value_or(0.0);

    if (!lf_none(f[12])) identity.origin = lf_routeAirport(f[12]);
    if (!lf_none(f[13])) identity.destination = lf_routeAirport(f[13]);

    if (sample.airborne != 0) {
      const std::optional<double> roll = lf_optionalNumber(f[23], DropReason::roll, "roll");
      if (roll && *roll != 0.0) sample.roll = -*roll * degToRad;
    }

    const std::optional<double> tas =
        lf_optionalNumber(f[20], DropReason::trueAirspeed, "TAS incorrect", "");
    sample.trueAirspeed = tas ? *tas : lf_tasFromAltitude(sample.altitude);
    if (!groundSpeed && sample.airborne != 0) sample.groundSpeed = sample.trueAirspeed;

    sample.onGroundMark = 0;
    sample.dueCycle = engineCycle.load() + reportDelayCycles;

    std::lock_guard lock(trafficMutex);
    if (acceptTraffic) {
      addingStack.push_back(std::move(report));
    } else {
      lf_drop(reader, DropReason::notAccepted);
    }
  } catch (const DecodeError& e) {
    reader.drops.countDrop(e.reason, e.what());
  } catch (const std::exception& e) {
    reader.drops.countDrop(DropReason::other, wdrx::format("exception in processLineSub: {}",
                                                           e.what()));
  }
}

bool lf_checkAltitude(TrafficReader& reader, PositionSample& sample) {
  const std::string_view field = reader.fields[4];
  double altitude = 0.0;
  if (!lf_parseDouble(field, altitude) || !std::isfinite(altitude))
    throw DecodeError(DropReason::altitude,
                      wdrx::format("altitude {} incorrect, from: {}", field, reader.datagram));
  if (altitude > 0.0) {
    double corrected = altitude + (reader.trafficQnh.load() - 1013.25) * 27.0;
    if (corrected < 0.0) corrected = 0.0;
    altitude = corrected;
    if (corrected > 0.0 && corrected < 14000.0) {
      const double elevation = reader.fieldElevation().value_or(-1000.0);
      const double d = corrected - elevation;
      const double gs = sample.groundSpeed;
      if (d <= 0.0) {
        altitude = 0.0;
      } else if ((d <= 42.0 && gs <= 120.0) || (d <= 84.0 && gs <= 80.0) ||
                 (d <= 108.0 && gs <= 43.0)) {
        altitude = 0.0;
      }
    }
    // A slow aircraft high above the field is a helicopter or a light aircraft unless the
    // feed says it is on the ground.
    const bool slow = sample.groundSpeed <= 35.0;  // 0 when unknown
    if (slow && altitude > 0.0 && lf_groundFlag(reader.fields[6])) altitude = 0.0;
  } else {
    altitude = 0.0;
  }
  sample.altitude = altitude;

  if (!AIRBORNE_ONLY.value.load()) return true;
  const double fieldAltitude = lf_parkAirportSet() ? parkAirport.load().altitude : 0.0;
  return altitude - fieldAltitude > 150.0;
}

bool lf_checkCallsign(TrafficReader& reader, AcIdentity& identity) {
  std::string_view callsign = reader.fields[9];
  if (callsign == "null") callsign = {};
  if (callsign.find('@') != std::string_view::npos) {
    identity.callsign.clear();
    return true;
  }
  static constexpr std::array<std::string_view, 6> testCallsigns{
      "ERARMTR0", "ERARMTR1", "AIRPORT1", "00000000", "TR852", "TEST"};
  for (std::string_view blocked : testCallsigns)
    if (callsign == blocked) return false;
  identity.callsign = lf_storedText(callsign, maxCallsignLength);
  return true;
}
