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

// The longest start of the text that reads as a number (std::from_chars, general format);
// what follows it is ignored. False when no number starts the text (empty, a blank or a plus
// sign first) or the value is beyond the range of a double.
bool lf_parseDouble(std::string_view text, double& value) {
  return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

// A finite number, else the error "{label}{separator}{text}".
double lf_number(std::string_view text, std::string_view label, std::string_view separator = ":") {
  double value = 0.0;
  if (!lf_parseDouble(text, value) || !std::isfinite(value))
    throw std::runtime_error(wdrx::format("{}{}{}", label, separator, text));
  return value;
}

// Latitude and longitude: a non-finite value passes here and fails the position check.
double lf_coordinate(std::string_view text, std::string_view label) {
  double value = 0.0;
  if (!lf_parseDouble(text, value)) throw std::runtime_error(wdrx::format("{}:{}", label, text));
  return value;
}

std::uint32_t lf_hexid(std::string_view text) {
  std::uint32_t value = 0;
  // The decimal digits at the start; no digit, or a value beyond 32 bits, is an error.
  if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc())
    throw std::runtime_error(wdrx::format("hexid incorrect{}", text));
  return value;
}

// True airspeed of a report that gives none (-1), from its corrected altitude.
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

}  // namespace

std::string gf_formatLatLon(double latitude, double longitude) {
  return wdrx::format("{:.6f},{:.6f}", latitude, longitude);
}

void TrafficReader::onDatagram() { lf_processTrafficLine(*this); }

void lf_processTrafficLine(TrafficReader& reader) {
  const std::string_view line = reader.datagram;
  if (line.find(" VEH") != std::string_view::npos) return;  // ground vehicles
  reader.fields.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) {
      reader.fields.push_back(line.substr(start));
      break;
    }
    reader.fields.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  processLineSub(reader);
}

void processLineSub(TrafficReader& reader) {
  try {
    const auto& f = reader.fields;
    if (f.size() < trafficFieldCount)
      throw std::runtime_error(wdrx::format("{} fields, at least {} expected, in: {}", f.size(),
                                            trafficFieldCount, reader.datagram));
    LiveReport report;
    AcIdentity& identity = report.identity;
    PositionSample& sample = report.sample;

    const double timestamp = lf_number(f[14], "timestamp");
    trafficSourceTime.store(timestamp);
    report.timestamp = timestamp;

    sample.latitude = lf_coordinate(f[2], "lat");
    sample.longitude = lf_coordinate(f[3], "lon");
    const double lat = sample.latitude;
    const double lon = sample.longitude;
    if (!(lat >= -90.0 && lat <= 90.0) || !(lon >= -180.0 && lon <= 180.0) ||
        (std::fabs(lat) <= 0.0001 && std::fabs(lon) <= 0.0001))
      throw std::runtime_error(wdrx::format("invalid lalo: {}", gf_formatLatLon(lat, lon)));
    const LatLon position{lat, lon};

    if (gf_distanceNm(reader.userLatLon(), position) > rangeNm.load()) return;

    if (f[11].size() > 12) return;
    if (f[11] != "null") identity.registration.assign(f[11]);

    if (reader.collectCallsigns.load()) {
      const std::string_view callsign = f[9];
      if (!callsign.empty() && callsign != "null" && callsign.find('@') == std::string_view::npos)
        reader.insertCallsign(callsign);
    }

    if (!gf_isAircraft(f[10], f[28])) return;
    identity.codes.modelId = gf_modelId(f[10]);

    if (f[17] == "adsb_icao") {
      const double heading = lf_number(f[25], "trueheading");
      if (heading > 360.0) throw std::runtime_error(wdrx::format("trueheading: {:.2f}", heading));
      if (heading == 0.0) {
        sample.trueHeading = twoPi;
        sample.reportFlag = 1;
      } else if (heading > 0.0) {
        sample.trueHeading = heading * degToRad;
        sample.reportFlag = 1;
      }
    }

    report.hexid = lf_hexid(f[1]);
    if (report.hexid <= 10000) return;  // static aircraft ids

    sample.groundSpeed = lf_number(f[8], "gs");
    if (!lf_checkAltitude(reader, sample)) return;
    sample.airborne = sample.altitude > 0.0 ? 1 : 0;

    if (!lf_checkCallsign(reader, identity)) return;
    if (identity.registration.empty() && identity.callsign.empty()) return;

    // On the ground only near the park airport.
    if (sample.airborne == 0) {
      if (!lf_parkAirportSet()) return;
      const Airport airport = parkAirport.load();
      if (gf_distanceNm({airport.latitude, airport.longitude}, position) > 5.0) return;
    }

    sample.track = f[7].empty() ? 0.0 : lf_number(f[7], "track incorrect ", "");
    if (sample.track == 0.0 && sample.trueHeading) sample.track = *sample.trueHeading * radToDeg;

    sample.verticalSpeed = lf_number(f[5], "vs");

    if (f[12] != "null") identity.origin = IataCode(f[12]);
    if (f[13] != "null") identity.destination = IataCode(f[13]);

    if (sample.airborne != 0) {
      const double roll = lf_number(f[23], "roll");
      if (roll != -1.0 && roll != 0.0) sample.roll = -roll * degToRad;
    }

    double tas = lf_number(f[20], "TAS incorrect", "");
    if (tas == -1.0) tas = lf_tasFromAltitude(sample.altitude);
    sample.trueAirspeed = tas;

    sample.onGroundMark = 0;
    sample.dueCycle = engineCycle.load() + reportDelayCycles;

    std::lock_guard lock(trafficMutex);
    if (acceptTraffic) addingStack.push_back(std::move(report));
  } catch (const std::exception& e) {
    gf_log(wdrx::format("exception in processLineSub: {}", e.what()));
  }
}

bool lf_checkAltitude(TrafficReader& reader, PositionSample& sample) {
  const std::string_view field = reader.fields[4];
  double altitude = 0.0;
  if (!lf_parseDouble(field, altitude) || !std::isfinite(altitude))
    throw std::runtime_error(
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
    if (sample.groundSpeed <= 35.0 && altitude > 0.0) altitude = 0.0;
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
  identity.callsign.assign(callsign);
  return true;
}
