#include "traffic/traffic_decoder.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "aircraft/aircraft_codes.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "records/engine_cycle.hpp"

std::mutex trafficMutex;
std::deque<LiveReport> addingStack;
bool acceptTraffic = false;

namespace {

constexpr double twoPi = 6.283185307179586;

// Counts the datagram as dropped for a bad field, with the message "{label}{separator}{text}".
void lf_badField(TrafficReader& reader, DropReason reason, std::string_view label,
                 std::string_view separator, std::string_view text) {
  reader.drops.countDrop(reason, wdrx::format("{}{}{}", label, separator, text));
}

// The longest start of the text that reads as a number (std::from_chars, general format);
// what follows it is ignored. False when no number starts the text (empty, a blank or a plus
// sign first) or the value is beyond the range of a double.
bool lf_parseDouble(std::string_view text, double& value) {
  return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

// A finite number; false when the field holds none.
bool lf_number(std::string_view text, double& value) {
  return lf_parseDouble(text, value) && std::isfinite(value);
}

// A number the feed may leave out: an empty field or -1 gives none; anything else must read
// (false when it does not).
bool lf_optionalNumber(std::string_view text, std::optional<double>& value) {
  value.reset();
  if (text.empty()) return true;
  double number = 0.0;
  if (!lf_number(text, number)) return false;
  if (number != -1.0) value = number;
  return true;
}

// The decimal digits at the start; no digit, or a value beyond 32 bits, is false.
bool lf_hexid(std::string_view text, std::uint32_t& value) {
  return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
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

// Eight bytes of the text as one word, the first byte lowest.
std::uint64_t lf_loadWord(const char* bytes) {
  std::uint64_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, bytes, sizeof word);
  } else {
    for (int i = 7; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(bytes[i]);
  }
  return word;
}

// The top bit of each byte of the word that is a comma, and of no other (no carry crosses
// bytes: (x & 0x7F) + 0x7F stays within its byte).
std::uint64_t lf_commaBits(std::uint64_t word) {
  constexpr std::uint64_t ones = 0x0101010101010101u;
  constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Fu;
  const std::uint64_t x = word ^ (ones * static_cast<unsigned char>(','));
  return ~(((x & low7) + low7) | x) & ~low7;
}

// The views of fields 0 to 28 and one of the rest (never looked at); a line with fewer commas
// gives fewer fields. Eight bytes a step: the fields are a few bytes long.
void lf_splitFields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  const char* const begin = line.data();
  const std::size_t size = line.size();
  std::size_t start = 0;
  std::size_t count = 0;
  std::size_t i = 0;
  for (; i + 8 <= size && count < trafficFieldCount; i += 8) {
    for (std::uint64_t commas = lf_commaBits(lf_loadWord(begin + i)); commas != 0 && count < trafficFieldCount;
         commas &= commas - 1, ++count) {
      const std::size_t comma = i + static_cast<std::size_t>(std::countr_zero(commas)) / 8;
      fields.emplace_back(begin + start, comma - start);
      start = comma + 1;
    }
  }
  for (; i < size && count < trafficFieldCount; ++i) {
    if (begin[i] != ',') continue;
    fields.emplace_back(begin + start, i - start);
    start = i + 1;
    ++count;
  }
  fields.emplace_back(begin + start, size - start);
}

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
    lf_splitFields(line, reader.fields);
    processLineSub(reader);
  }
  gf_logDropSummary(reader.drops);
}

namespace {

// The steps of processLineSub, in the order its drops are decided; each answers false when it
// dropped the line (counted under its reason).

// Time and position: the report's timestamp and a valid position within the range.
bool lf_readPlace(TrafficReader& reader, LiveReport& report) {
  const auto& f = reader.fields;
  PositionSample& sample = report.sample;
  double timestamp = 0.0;
  if (!lf_number(f[14], timestamp))
    return lf_badField(reader, DropReason::timestamp, "timestamp", ":", f[14]), false;
  trafficSourceTime.store(timestamp);
  report.timestamp = timestamp;

  // A non-finite coordinate reads here and fails the position check.
  if (!lf_parseDouble(f[2], sample.latitude))
    return lf_badField(reader, DropReason::position, "lat", ":", f[2]), false;
  if (!lf_parseDouble(f[3], sample.longitude))
    return lf_badField(reader, DropReason::position, "lon", ":", f[3]), false;
  const double lat = sample.latitude;
  const double lon = sample.longitude;
  if (!(lat >= -90.0 && lat <= 90.0) || !(lon >= -180.0 && lon <= 180.0) ||
      (std::fabs(lat) <= 0.0001 && std::fabs(lon) <= 0.0001))
    return lf_badField(reader, DropReason::position, "invalid lalo: ", "", gf_formatLatLon(lat, lon)), false;

  if (gf_distanceNm(reader.userLatLon(), {lat, lon}) > rangeNm.load())
    return lf_drop(reader, DropReason::outOfRange), false;
  return true;
}

// Registration, the callsign list the window asks for, and the aircraft's model.
bool lf_readAircraft(TrafficReader& reader, AcIdentity& identity) {
  const auto& f = reader.fields;
  if (f[11].size() > maxRegistrationLength) return lf_drop(reader, DropReason::longRegistration), false;
  if (!lf_none(f[11])) identity.registration = lf_storedText(f[11], maxRegistrationLength);

  if (reader.collectCallsigns.load()) {
    const std::string_view callsign = f[9];
    if (!lf_none(callsign) && callsign.find('@') == std::string_view::npos)
      reader.insertCallsign(lf_storedText(callsign, maxCallsignLength));
  }

  if (!gf_isAircraft(f[10], f[28])) return lf_drop(reader, DropReason::notAircraft), false;
  identity.codes.modelId = gf_modelId(f[10]);
  return true;
}

// The true heading, when the report's source gives one.
bool lf_readTrueHeading(TrafficReader& reader, PositionSample& sample) {
  const auto& f = reader.fields;
  if (!lf_headingSource(f[17])) return true;
  // Missing (empty, -1 or any negative value): no heading.
  std::optional<double> heading;
  if (!lf_optionalNumber(f[25], heading))
    return lf_badField(reader, DropReason::trueHeading, "trueheading", ":", f[25]), false;
  // A heading beyond a full turn is the same direction: the aircraft stays.
  if (heading && *heading > 360.0) heading = std::fmod(*heading, 360.0);
  if (heading && *heading == 0.0) {
    sample.trueHeading = twoPi;
    sample.reportFlag = 1;
  } else if (heading && *heading > 0.0) {
    sample.trueHeading = *heading * degToRad;
    sample.reportFlag = 1;
  }
  return true;
}

// Address, ground speed and altitude; `groundSpeed` keeps whether the speed was given.
bool lf_readAddressAndHeight(TrafficReader& reader, LiveReport& report, std::optional<double>& groundSpeed) {
  const auto& f = reader.fields;
  PositionSample& sample = report.sample;
  if (!lf_hexid(f[1], report.hexid))
    return lf_badField(reader, DropReason::hexid, "hexid incorrect", "", f[1]), false;
  if (report.hexid <= 10000) return lf_drop(reader, DropReason::staticId), false;  // static aircraft

  // Unknown ground speed counts as slow here; an airborne report takes its airspeed later.
  if (!lf_optionalNumber(f[8], groundSpeed))
    return lf_badField(reader, DropReason::groundSpeed, "gs", ":", f[8]), false;
  sample.groundSpeed = groundSpeed.value_or(0.0);
  switch (lf_checkAltitude(reader, sample)) {
    case AltitudeCheck::keep: break;
    case AltitudeCheck::belowAirborneOnly: return lf_drop(reader, DropReason::airborneOnly), false;
    case AltitudeCheck::badField: return false;
  }
  sample.airborne = sample.altitude > 0.0 ? 1 : 0;
  return true;
}

// A usable identity, and on the ground only near the park airport.
bool lf_acceptWhoAndWhere(TrafficReader& reader, LiveReport& report) {
  AcIdentity& identity = report.identity;
  if (!lf_checkCallsign(reader, identity)) return lf_drop(reader, DropReason::testCallsign), false;
  if (identity.registration.empty() && identity.callsign.empty())
    return lf_drop(reader, DropReason::noIdentity), false;
  if (report.sample.airborne == 0) {
    if (!lf_parkAirportSet()) return lf_drop(reader, DropReason::groundAway), false;
    const Airport airport = parkAirport.load();
    if (gf_distanceNm({airport.latitude, airport.longitude}, {report.sample.latitude, report.sample.longitude}) > 5.0)
      return lf_drop(reader, DropReason::groundAway), false;
  }
  return true;
}

// Track, vertical speed, route, roll and airspeed.
bool lf_readMotion(TrafficReader& reader, LiveReport& report, const std::optional<double>& groundSpeed) {
  const auto& f = reader.fields;
  PositionSample& sample = report.sample;
  std::optional<double> number;
  if (!lf_optionalNumber(f[7], number))
    return lf_badField(reader, DropReason::track, "track incorrect ", "", f[7]), false;
  sample.track = number.value_or(0.0);
  if (sample.track == 0.0 && sample.trueHeading) sample.track = *sample.trueHeading * radToDeg;

  if (!lf_optionalNumber(f[5], number))
    return lf_badField(reader, DropReason::verticalSpeed, "vs", ":", f[5]), false;
  sample.verticalSpeed = number.value_or(0.0);

  if (!lf_none(f[12])) report.identity.origin = lf_routeAirport(f[12]);
  if (!lf_none(f[13])) report.identity.destination = lf_routeAirport(f[13]);

  if (sample.airborne != 0) {
    if (!lf_optionalNumber(f[23], number))
      return lf_badField(reader, DropReason::roll, "roll", ":", f[23]), false;
    if (number && *number != 0.0) sample.roll = -*number * degToRad;
  }

  if (!lf_optionalNumber(f[20], number))
    return lf_badField(reader, DropReason::trueAirspeed, "TAS incorrect", "", f[20]), false;
  sample.trueAirspeed = number ? *number : lf_tasFromAltitude(sample.altitude);
  if (!groundSpeed && sample.airborne != 0) sample.groundSpeed = sample.trueAirspeed;
  return true;
}

}  // namespace

void processLineSub(TrafficReader& reader) {
  try {
    if (reader.fields.size() < trafficFieldCount)
      return reader.drops.countDrop(
          DropReason::shortLine, wdrx::format("{} fields, at least {} expected, in: {}", reader.fields.size(),
                                              trafficFieldCount, reader.datagram));
    LiveReport report;
    std::optional<double> groundSpeed;
    if (!lf_readPlace(reader, report) || !lf_readAircraft(reader, report.identity) ||
        !lf_readTrueHeading(reader, report.sample) || !lf_readAddressAndHeight(reader, report, groundSpeed) ||
        !lf_acceptWhoAndWhere(reader, report) || !lf_readMotion(reader, report, groundSpeed))
      return;

    report.sample.onGroundMark = 0;
    report.sample.dueCycle = engineCycle.load() + reportDelayCycles;

    std::lock_guard lock(trafficMutex);
    if (acceptTraffic) {
      addingStack.push_back(std::move(report));
    } else {
      lf_drop(reader, DropReason::notAccepted);
    }
  } catch (const std::exception& e) {
    reader.drops.countDrop(DropReason::other, wdrx::format("exception in processLineSub: {}",
                                                           e.what()));
  }
}

AltitudeCheck lf_checkAltitude(TrafficReader& reader, PositionSample& sample) {
  const std::string_view field = reader.fields[4];
  double altitude = 0.0;
  if (!lf_number(field, altitude)) {
    reader.drops.countDrop(DropReason::altitude,
                           wdrx::format("altitude {} incorrect, from: {}", field, reader.datagram));
    return AltitudeCheck::badField;
  }
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

  if (!AIRBORNE_ONLY.value.load()) return AltitudeCheck::keep;
  const double fieldAltitude = lf_parkAirportSet() ? parkAirport.load().altitude : 0.0;
  return altitude - fieldAltitude > 150.0 ? AltitudeCheck::keep : AltitudeCheck::belowAirborneOnly;
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
