// Time per traffic line through the decoder, for a mix like RealTraffic's: mostly airborne
// reports that are taken, some on the ground near the park airport, some out of range, ground
// vehicles, and a few broken lines. The mix runs in the short 29-field line and in the
// service's current 43-field format (empty and -1 values, provider prefixes, ICAO routes),
// beside a bare split-and-parse of the same 43-field lines as the floor to compare with: the
// fields the decoder reads (0 to 28) split into views, its eleven numbers read with
// std::from_chars. Run interleaved for the ratio:
//   bench_traffic_decoder --benchmark_repetitions=12 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "faketraffic/faketraffic.hpp"
#include "traffic/traffic_decoder.hpp"

namespace {

namespace f = faketraffic::field;
using faketraffic::TrafficLine;

std::vector<std::string> lf_lineMix(bool rttfc) {
  std::vector<std::string> lines;
  const char* types[] = {"B738", "A320", "E190", "B77W", "A21N", "C172", "DH8D", "A359"};
  for (int i = 0; i < 100; ++i) {
    TrafficLine line = rttfc ? TrafficLine::rttfc() : TrafficLine();
    line.set(f::hexid, std::to_string(4840000 + i));
    line.set(f::type, types[i % 8]);
    line.set(f::callsign, "KLM" + std::to_string(1000 + i));
    line.set(f::latitude, std::to_string(52.0 + (i % 10) * 0.05));
    line.set(f::longitude, std::to_string(4.5 + (i % 7) * 0.05));
    line.set(f::altitude, std::to_string(1000 + i * 350));
    line.set(f::trueHeading, std::to_string(i * 3.5));
    line.set(f::roll, std::to_string((i % 5) - 2));
    if (i % 10 == 1) line.set(f::altitude, "0").set(f::groundSpeed, "12");  // at the park airport
    if (i % 10 == 2) line.set(f::latitude, "48.0");                         // out of range
    if (i % 10 == 3) line.set(f::callsign, "FOLLOW VEH");                   // ground vehicle
    if (i % 25 == 4) line.set(f::altitude, "x");                            // broken field
    if (i % 10 == 5) line.set(f::trueAirspeed, "-1").set(f::source, "mlat");
    if (rttfc) {
      if (i % 10 == 1) line.set(f::groundFlag, "1");
      if (i % 4 == 0) line.set(f::origin, "EHAM").set(f::destination, "");  // ICAO route
      if (i % 6 == 0) line.set(f::verticalSpeed, "").set(f::roll, "-1").set(f::trueHeading, "");
      if (i % 7 == 0) line.set(f::callsign, "");
    }
    lines.push_back(line.text());
  }
  return lines;
}

void lf_prepare() {
  rangeNm.store(40.0);
  Airport airport;
  airport.icao = IcaoCode("EHAM");
  airport.latitude = 52.3;
  airport.longitude = 4.76;
  parkAirport.store(airport);
  parkAirportCode.store(airport.icao);
  trafficReader.setUserLatLon({52.3, 4.76});
  std::lock_guard lock(trafficMutex);
  acceptTraffic = true;
}

void lf_decode(benchmark::State& state, bool rttfc) {
  const std::vector<std::string> lines = lf_lineMix(rttfc);
  lf_prepare();
  std::size_t index = 0;
  for (auto _ : state) {
    gf_processTrafficDatagram(trafficReader, lines[index]);
    index = (index + 1) % lines.size();
    if (index == 0) {
      std::lock_guard lock(trafficMutex);
      addingStack.clear();  // the engine takes them in the program
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_DecodeTrafficLine(benchmark::State& state) { lf_decode(state, false); }
BENCHMARK(BM_DecodeTrafficLine);

void BM_DecodeRttfcLine(benchmark::State& state) { lf_decode(state, true); }
BENCHMARK(BM_DecodeRttfcLine);

// The floor: split the fields the decoder reads into views (what follows the last one stays
// unsplit, as in the decoder) and read the numbers the decoder reads, nothing else: the address
// as an unsigned integer, ten doubles.
void BM_SplitAndParseRttfcLine(benchmark::State& state) {
  const std::vector<std::string> lines = lf_lineMix(true);
  std::vector<std::string_view> fields;
  fields.reserve(trafficFieldCount + 1);
  std::size_t index = 0;
  for (auto _ : state) {
    const std::string_view line = lines[index];
    index = (index + 1) % lines.size();
    fields.clear();
    std::size_t start = 0;
    for (std::size_t comma; fields.size() < trafficFieldCount &&
                            (comma = line.find(',', start)) != std::string_view::npos;
         start = comma + 1)
      fields.push_back(line.substr(start, comma - start));
    fields.push_back(line.substr(start));
    std::uint32_t hexid = 0;
    std::from_chars(fields[f::hexid].data(), fields[f::hexid].data() + fields[f::hexid].size(), hexid);
    double sum = hexid;
    for (const std::size_t i : {f::latitude, f::longitude, f::altitude, f::verticalSpeed, f::track,
                                f::groundSpeed, f::timestamp, f::trueAirspeed, f::roll,
                                f::trueHeading}) {
      double value = 0.0;
      std::from_chars(fields[i].data(), fields[i].data() + fields[i].size(), value);
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SplitAndParseRttfcLine);

}  // namespace
