// trafficgen's airport data (runways, the pier's stands), the flights' paths flown at reports
// every few seconds, and the scenario and airport files written from them.
#include "trafficgen/trafficgen.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <stdexcept>
#include <utility>

#include "faketraffic/faketraffic.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"

namespace trafficgen {

namespace {

constexpr double feetPerNm = 6076.11549;
constexpr double metresPerNm = 1852.0;
constexpr double firstReport = 5.0;  // the program's readers listen a few seconds after the start
constexpr double entryNm = 22.0;     // flights appear just beyond the program's 20 nm range
constexpr int standsPerSide = 40;

struct RunwayEnd {
  const char* name;
  LatLon threshold;
};

// Thresholds are approximate; each runway is a pair of ends.
struct AirportInfo {
  const char* icao;
  const char* iata;
  const char* name;
  LatLon reference;
  double elevation;  // feet
  std::vector<std::pair<RunwayEnd, RunwayEnd>> runways;
  LatLon pierRoot;     // the pier's stands face its axis from both sides
  double pierBearing;  // degrees, from the root outwards
};

const std::vector<AirportInfo>& lf_airports() {
  static const std::vector<AirportInfo> airports{
      {"EHAM", "AMS", "Amsterdam Schiphol", {52.3083, 4.7639}, -11.0,
       {{{"18R", {52.36274, 4.71148}}, {"36L", {52.32863, 4.70890}}},
        {{"18C", {52.33135, 4.74003}}, {"36C", {52.30135, 4.73751}}},
        {{"18L", {52.32093, 4.78000}}, {"36R", {52.29051, 4.77733}}},
        {{"06", {52.28793, 4.73728}}, {"24", {52.30418, 4.77799}}},
        {{"09", {52.31650, 4.74640}}, {"27", {52.31813, 4.79671}}}},
       {52.3050, 4.7570}, 250.0},
  };
  return airports;
}

struct Runway {
  LatLon threshold;
  double heading = 0.0;  // degrees true, threshold towards the far end
};

const AirportInfo& lf_airport(const std::string& icao) {
  for (const AirportInfo& airport : lf_airports())
    if (icao == airport.icao) return airport;
  throw std::runtime_error("trafficgen: unknown airport " + icao + " (known: EHAM)");
}

Runway lf_runway(const AirportInfo& airport, const std::string& name) {
  for (const auto& [a, b] : airport.runways) {
    if (name == a.name) return {a.threshold, gf_bearing(a.threshold, b.threshold) * radToDeg};
    if (name == b.name) return {b.threshold, gf_bearing(b.threshold, a.threshold) * radToDeg};
  }
  throw std::runtime_error(wdrx::format("trafficgen: {} has no runway {}", airport.icao, name));
}

LatLon lf_move(const LatLon& from, double bearingDeg, double metres) {
  return gf_destinationPoint(from, bearingDeg * degToRad, metres / metresPerNm * feetPerNm);
}

double lf_normalised(double degrees) { return std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0); }

// -180 < result <= 180: how far `to` lies to the right of `from`.
double lf_turn(double from, double to) {
  const double d = lf_normalised(to - from);
  return d > 180.0 ? d - 360.0 : d;
}

struct Stand {
  std::string name;
  LatLon at;
  double heading = 0.0;  // the nose points at the pier's axis
  LatLon lane;           // on the taxi lane behind it
  LatLon laneRoot;       // where its side's lane meets the apron
};

std::vector<Stand> lf_stands(const AirportInfo& airport) {
  std::vector<Stand> stands;
  for (int i = 0; i < standsPerSide; ++i) {
    const LatLon axis = lf_move(airport.pierRoot, airport.pierBearing, 60.0 + 60.0 * i);
    for (const int side : {1, -1}) {
      const double out = airport.pierBearing + 90.0 * side;
      Stand stand;
      stand.name = wdrx::format("{}{}", side > 0 ? 'E' : 'F', i + 1);
      stand.at = lf_move(axis, out, 50.0);
      stand.heading = lf_normalised(out + 180.0);
      stand.lane = lf_move(axis, out, 110.0);
      stand.laneRoot = lf_move(airport.pierRoot, out, 110.0);
      stands.push_back(stand);
    }
  }
  return stands;
}

// ---------------------------------------------------------------- paths

struct Waypoint {
  LatLon at;
  double altitude = 0.0;  // feet
  double speed = 0.0;     // knots when passing it
  bool ground = false;
  double hold = 0.0;      // seconds standing still here
};

struct State {
  LatLon at;
  double altitude = 0.0;
  double speed = 0.0;
  double track = 0.0;
  double verticalSpeed = 0.0;  // feet per minute
  bool ground = false;
};

// A path flown from waypoint to waypoint, the speed changing evenly in time on each leg.
class Path {
 public:
  Path(const std::vector<Waypoint>& points, double firstTrack) {
    double track = firstTrack;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const Waypoint& p = points[i];
      reached_.push_back(duration_);
      if (i > 0) {
        const Waypoint& from = points[i - 1];
        Leg leg{from, p, duration_, 0.0, gf_distanceNm(from.at, p.at), track};
        if (leg.distance > 0.0) {
          if (from.speed + p.speed <= 0.0) throw std::logic_error("trafficgen: a leg without speed");
          leg.track = track = lf_normalised(gf_bearing(from.at, p.at) * radToDeg);
          leg.duration = 2.0 * leg.distance / (from.speed + p.speed) * 3600.0;
          legs_.push_back(leg);
          duration_ += leg.duration;
          reached_.back() = duration_;
        }
      }
      if (p.hold > 0.0) {
        Waypoint still = p;
        still.speed = 0.0;
        legs_.push_back({still, still, duration_, p.hold, 0.0, track});
        duration_ += p.hold;
      }
    }
  }

  double duration() const { return duration_; }
  // When the waypoint of that index is reached (before it is held at).
  double reached(std::size_t index) const { return reached_.at(index); }

  State at(double t) const {
    const auto leg = std::find_if(legs_.begin(), legs_.end(),
                                  [t](const Leg& l) { return t < l.start + l.duration; });
    const Leg& l = leg != legs_.end() ? *leg : legs_.back();
    const double tau = std::clamp(t - l.start, 0.0, l.duration);
    State s;
    s.track = l.track;
    s.ground = l.from.ground && l.to.ground;
    if (l.distance <= 0.0) {
      s.at = l.from.at;
      s.altitude = l.from.altitude;
      return s;
    }
    const double v1 = l.from.speed;
    const double v2 = l.to.speed;
    const double nm = (v1 * tau + (v2 - v1) * tau * tau / (2.0 * l.duration)) / 3600.0;
    s.at = gf_destinationPoint(l.from.at, l.track * degToRad, nm * feetPerNm);
    s.speed = v1 + (v2 - v1) * tau / l.duration;
    s.altitude = l.from.altitude + (l.to.altitude - l.from.altitude) * nm / l.distance;
    s.verticalSpeed = (l.to.altitude - l.from.altitude) / l.duration * 60.0;
    return s;
  }

 private:
  struct Leg {
    Waypoint from, to;
    double start = 0.0;
    double duration = 0.0;
    double distance = 0.0;  // nm
    double track = 0.0;
  };
  std::vector<Leg> legs_;
  std::vector<double> reached_;
  double duration_ = 0.0;
};

// ---------------------------------------------------------------- flights

struct Airline {
  const char* icao;
  const char* iata;
  const char* type;
  const char* registrationPrefix;
  std::uint32_t addressBase;  // the country's block of transponder addresses
  std::vector<const char*> airports;
};

// The airlines of the demo's liveries.
const std::vector<Airline>& lf_airlines() {
  static const std::vector<Airline> airlines{
      {"KLM", "KL", "B738", "PH-B", 0x484000, {"LHR", "CDG", "BCN", "FCO", "CPH", "OSL", "MAD", "VIE"}},
      {"DLH", "LH", "A320", "D-AI", 0x3C6000, {"FRA", "MUC"}},
      {"BAW", "BA", "A319", "G-EU", 0x400800, {"LHR"}},
  };
  return airlines;
}

struct Flight {
  std::uint32_t address = 0;
  std::string callsign, flightNumber, type, registration, origin, destination;
  double start = 0.0;  // second of the scenario at which the path begins (may be negative)
  std::vector<Waypoint> points;
  double firstTrack = 0.0;
};

class Generator {
 public:
  explicit Generator(const Options& options)
      : options_(options),
        airport_(lf_airport(options.airport)),
        landing_(lf_runway(airport_, options.landingRunway)),
        takeoff_(lf_runway(airport_, options.takeoffRunway)),
        stands_(lf_stands(airport_)),
        random_(options.seed) {
    if (options.arrivals < 0 || options.departures < 0 || options.overflights < 0 || options.minutes < 1)
      throw std::runtime_error("trafficgen: counts must not be negative and the minutes at least 1");
    if (options.arrivals + options.departures > static_cast<int>(stands_.size()))
      throw std::runtime_error(wdrx::format("trafficgen: at most {} arrivals and departures together",
                                            stands_.size()));
  }

  std::vector<Flight> flights() {
    std::vector<Flight> flights;
    const double span = options_.minutes * 60.0;
    std::size_t stand = 0;
    // Each arrival and departure has a stand of its own: a parked arrival stays.
    for (int i = 0; i < options_.arrivals; ++i)
      flights.push_back(arrival(100.0 + i * span / options_.arrivals + uniform(0.0, 30.0), stands_[stand++]));
    for (int i = 0; i < options_.departures; ++i)
      flights.push_back(departure(240.0 + i * span / options_.departures + uniform(0.0, 30.0), stands_[stand++]));
    for (int i = 0; i < options_.overflights; ++i)
      flights.push_back(overflight(-120.0 + i * span / options_.overflights + uniform(0.0, 60.0)));
    return flights;
  }

  const std::vector<Stand>& stands() const { return stands_; }
  const AirportInfo& airport() const { return airport_; }

 private:
  double uniform(double low, double high) {
    return low + (high - low) * (static_cast<double>(random_()) / 4294967296.0);
  }
  std::size_t pick(std::size_t count) {
    return std::min(count - 1, static_cast<std::size_t>(uniform(0.0, static_cast<double>(count))));
  }

  Flight identity(bool arriving) {
    const Airline& airline = lf_airlines()[pick(lf_airlines().size())];
    Flight f;
    f.address = airline.addressBase + static_cast<std::uint32_t>(used_.size());
    int number = 0;
    do {
      number = 100 + static_cast<int>(pick(9000));
      f.callsign = wdrx::format("{}{}", airline.icao, number);
    } while (!used_.insert(f.callsign).second);
    f.flightNumber = wdrx::format("{}{}", airline.iata, number);
    f.type = airline.type;
    f.registration = airline.registrationPrefix;
    for (int i = 0; i < 2; ++i) f.registration += static_cast<char>('A' + pick(26));
    const std::string other = airline.airports[pick(airline.airports.size())];
    f.origin = arriving ? other : airport_.iata;
    f.destination = arriving ? airport_.iata : other;
    return f;
  }

  Waypoint air(const LatLon& at, double altitude, double speed) const { return {at, altitude, speed, false, 0.0}; }
  Waypoint ground(const LatLon& at, double speed, double hold = 0.0) const {
    return {at, airport_.elevation, speed, true, hold};
  }

  // Lands, rolls out, leaves the runway towards the pier, taxis to its stand and parks there.
  Flight arrival(double touchdown, const Stand& stand) {
    Flight f = identity(true);
    const double h = landing_.heading;
    const LatLon& t = landing_.threshold;
    const double e = airport_.elevation;
    const LatLon entry = lf_move(airport_.reference, h + 180.0 + uniform(-60.0, 60.0), entryNm * metresPerNm);
    const LatLon rollout = lf_move(t, h, 1900.0);
    const double side = lf_turn(h, gf_bearing(rollout, airport_.pierRoot) * radToDeg) > 0.0 ? 1.0 : -1.0;
    f.points = {air(entry, 11000.0, 280.0),
                air(lf_move(t, h + 180.0, 12.0 * metresPerNm), e + 4000.0, 210.0),
                air(lf_move(t, h + 180.0, 6.0 * metresPerNm), e + 1910.0, 160.0),
                air(t, e + 50.0, 140.0),
                ground(lf_move(t, h, 400.0), 130.0),
                ground(rollout, 25.0),
                ground(lf_move(rollout, h + 45.0 * side, 150.0), 15.0),
                ground(stand.laneRoot, 15.0),
                ground(stand.lane, 6.0),
                ground(stand.at, 0.0, uniform(240.0, 420.0))};
    f.firstTrack = h;
    f.start = touchdown - Path(f.points, f.firstTrack).reached(4);  // touches down then
    return f;
  }

  // Stands at the pier, pushes back, taxis to the runway, takes off and leaves the range.
  Flight departure(double takeoff, const Stand& stand) {
    Flight f = identity(false);
    const double h = takeoff_.heading;
    const LatLon& t = takeoff_.threshold;
    const double e = airport_.elevation;
    const double side = lf_turn(h, gf_bearing(t, airport_.pierRoot) * radToDeg) > 0.0 ? 1.0 : -1.0;
    const LatLon lineUp = lf_move(t, h, 60.0);
    f.points = {ground(stand.at, 0.0, uniform(120.0, 300.0)),
                ground(stand.lane, 3.0, 40.0),
                ground(stand.laneRoot, 15.0),
                ground(lf_move(t, h + 90.0 * side, 150.0), 8.0, 30.0),
                ground(lineUp, 5.0, 20.0),
                ground(lf_move(t, h, 1500.0), 150.0),
                air(lf_move(t, h, 3500.0), e + 700.0, 170.0),
                air(lf_move(t, h, 6.0 * metresPerNm), e + 4000.0, 230.0),
                air(lf_move(airport_.reference, h + uniform(-100.0, 100.0), entryNm * metresPerNm), 15000.0, 300.0)};
    f.firstTrack = stand.heading;
    f.start = takeoff - Path(f.points, f.firstTrack).reached(4) - f.points[4].hold;  // rolls then
    return f;
  }

  // Crosses the range at cruise level, at most 10 nm beside the airport.
  Flight overflight(double start) {
    Flight f = identity(true);
    f.origin = "LHR";
    f.destination = "CPH";
    const double course = uniform(0.0, 360.0);
    const LatLon abeam = lf_move(airport_.reference, course + 90.0, uniform(-10.0, 10.0) * metresPerNm);
    const double level = 100.0 * std::round(uniform(240.0, 380.0) / 10.0) * 10.0;
    const double speed = uniform(420.0, 480.0);
    f.points = {air(lf_move(abeam, course + 180.0, entryNm * metresPerNm), level, speed),
                air(lf_move(abeam, course, entryNm * metresPerNm), level, speed)};
    f.firstTrack = course;
    f.start = start;
    return f;
  }

  const Options& options_;
  const AirportInfo& airport_;
  Runway landing_;
  Runway takeoff_;
  std::vector<Stand> stands_;
  std::mt19937 random_;
  std::set<std::string> used_;
};

std::string lf_report(const Flight& f, const State& s, double timestamp) {
  const double altitude = s.ground ? std::round(s.altitude) : std::round(s.altitude / 25.0) * 25.0;
  faketraffic::TrafficLine line = faketraffic::TrafficLine::rttfc();
  namespace field = faketraffic::field;
  line.set(field::hexid, std::to_string(f.address))
      .set(field::latitude, wdrx::format("{:.6f}", s.at.lat))
      .set(field::longitude, wdrx::format("{:.6f}", s.at.lon))
      .set(field::altitude, wdrx::format("{:.0f}", altitude))
      .set(field::verticalSpeed, wdrx::format("{:.0f}", s.ground ? 0.0 : s.verticalSpeed))
      .set(field::groundFlag, s.ground ? "1" : "0")
      .set(field::track, wdrx::format("{:.2f}", s.track))
      .set(field::groundSpeed, wdrx::format("{:.1f}", s.speed))
      .set(field::callsign, f.callsign)
      .set(field::type, f.type)
      .set(field::registration, f.registration)
      .set(field::origin, f.origin)
      .set(field::destination, f.destination)
      .set(field::timestamp, wdrx::format("{:.2f}", timestamp))
      .set(16, f.flightNumber)
      .set(18, wdrx::format("{:.0f}", altitude + 125.0))
      .set(19, wdrx::format("{:.0f}", s.speed / (1.0 + altitude / 50000.0)))
      .set(field::trueAirspeed, wdrx::format("{:.0f}", s.speed))
      .set(21, wdrx::format("{:.3f}", s.speed / 661.5))
      .set(field::roll, "0")
      .set(field::trueHeading, wdrx::format("{:.1f}", s.track))
      .set(26, wdrx::format("{:.0f}", s.ground ? 0.0 : s.verticalSpeed));
  return line.text();
}

template <typename Number = int>
Number lf_number(const std::string& option, const std::string& text) {
  Number value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size())
    throw std::runtime_error("trafficgen: " + option + " needs a whole number, not " + text);
  return value;
}

}  // namespace

Options parseArguments(const std::vector<std::string>& arguments, std::string* airportFile) {
  Options options;
  options.startTime = static_cast<double>(std::time(nullptr));
  for (std::size_t i = 0; i < arguments.size(); i += 2) {
    const std::string& option = arguments[i];
    if (i + 1 >= arguments.size()) throw std::runtime_error("trafficgen: " + option + " needs a value");
    const std::string& value = arguments[i + 1];
    if (option == "--airport") {
      options.airport = value;
    } else if (option == "--runways") {
      const auto comma = value.find(',');
      options.landingRunway = value.substr(0, comma);
      options.takeoffRunway = comma == std::string::npos ? options.landingRunway : value.substr(comma + 1);
    } else if (option == "--arrivals") {
      options.arrivals = lf_number(option, value);
    } else if (option == "--departures") {
      options.departures = lf_number(option, value);
    } else if (option == "--overflights") {
      options.overflights = lf_number(option, value);
    } else if (option == "--minutes") {
      options.minutes = lf_number(option, value);
    } else if (option == "--seed") {
      options.seed = static_cast<std::uint32_t>(lf_number(option, value));
    } else if (option == "--start-time") {
      options.startTime = static_cast<double>(lf_number<long long>(option, value));
    } else if (option == "--airport-file" && airportFile != nullptr) {
      *airportFile = value;
    } else {
      throw std::runtime_error("trafficgen: unknown option " + option);
    }
  }
  return options;
}

void writeScenario(const Options& options, std::ostream& out) {
  Generator generator(options);
  std::vector<std::pair<double, std::string>> lines;
  const double end = options.minutes * 60.0 + 1800.0;
  for (double t = 1.0; t < end; t += 30.0) lines.emplace_back(t, "qnh " + faketraffic::qnhDatagram(1013));
  std::mt19937 phases(options.seed);
  for (const Flight& f : generator.flights()) {
    const Path path(f.points, f.firstTrack);
    const double phase = static_cast<double>(phases() % 1000) / 1000.0 * options.reportSeconds;
    for (double t = f.start + phase; t <= f.start + path.duration(); t += options.reportSeconds) {
      if (t < firstReport) continue;
      lines.emplace_back(t, "traffic " + lf_report(f, path.at(t - f.start), options.startTime + t));
    }
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  const AirportInfo& airport = generator.airport();
  out << wdrx::format(
      "# trafficgen --airport {} --runways {},{} --arrivals {} --departures {} --overflights {} "
      "--minutes {} --seed {}\n",
      airport.icao, options.landingRunway, options.takeoffRunway, options.arrivals,
      options.departures, options.overflights, options.minutes, options.seed);
  for (const auto& [t, text] : lines) out << wdrx::format("{:.2f} {}\n", t, text);
}

void writeAirportFile(const Options& options, std::ostream& out) {
  const Generator generator(options);
  const AirportInfo& airport = generator.airport();
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <meta>\n"
      << "    <info name=\"author\" value=\"trafficgen\"/>\n"
      << "    <info name=\"copyright\" value=\"the stands of trafficgen's scenarios\"/>\n"
      << "    <info name=\"sim\" value=\"3\"/>\n  </meta>\n  <parameters>\n"
      << wdrx::format("    <parameter name=\"icao\" value=\"{}\"/>\n", airport.icao)
      << wdrx::format("    <parameter name=\"airport_name\" value=\"{}\"/>\n", airport.name)
      << "    <parameter name=\"publisher\" value=\"trafficgen\"/>\n"
      << wdrx::format("    <parameter name=\"altitude\" value=\"{:.0f}\"/>\n", airport.elevation)
      << "  </parameters>\n  <parkpositions>\n";
  for (const Stand& s : generator.stands()) {
    out << wdrx::format(
        "    <parkpos id=\"{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"{:.1f}\" "
        "radius=\"25.0\" type=\"9\"/>\n",
        s.name, s.at.lat, s.at.lon, s.heading);
  }
  out << "  </parkpositions>\n</root>\n";
}

int runMain(int argc, char** argv) {
  try {
    std::string airportFile;
    const Options options = parseArguments(std::vector<std::string>(argv + 1, argv + argc), &airportFile);
    if (!airportFile.empty()) {
      std::ofstream file(airportFile, std::ios::binary);
      writeAirportFile(options, file);
      if (!file.flush()) throw std::runtime_error("trafficgen: cannot write " + airportFile);
    }
    writeScenario(options, std::cout);
    return std::cout.flush() ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 2;
  }
}

}  // namespace trafficgen
