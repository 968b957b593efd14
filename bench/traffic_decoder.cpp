// Time per traffic line through the decoder, for a mix like RealTraffic's: mostly airborne
// reports that are taken, some on the ground near the park airport, some out of range, ground
// vehicles, and a few broken lines.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "faketraffic/faketraffic.hpp"
#include "traffic/traffic_decoder.hpp"

namespace {

namespace f = faketraffic::field;
using faketraffic::TrafficLine;

std::vector<std::string> lf_lineMix() {
  std::vector<std::string> lines;
  const char* types[] = {"B738", "A320", "E190", "B77W", "A21N", "C172", "DH8D", "A359"};
  for (int i = 0; i < 100; ++i) {
    TrafficLine line;
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
    if (i % 25 == 4) line.set(f::origin, "LONG");                           // broken field
    if (i % 10 == 5) line.set(f::trueAirspeed, "-1").set(f::source, "mlat");
    lines.push_back(line.text());
  }
  return lines;
}

void BM_DecodeTrafficLine(benchmark::State& state) {
  const std::vector<std::string> lines = lf_lineMix();
  rangeNm.store(40.0);
  Airport airport;
  airport.icao = IcaoCode("EHAM");
  airport.latitude = 52.3;
  airport.longitude = 4.76;
  parkAirport.store(airport);
  parkAirportCode.store(airport.icao);
  trafficReader.setUserLatLon({52.3, 4.76});
  {
    std::lock_guard lock(trafficMutex);
    acceptTraffic = true;
  }
  std::size_t index = 0;
  for (auto _ : state) {
    const std::string& line = lines[index];
    index = (index + 1) % lines.size();
    std::copy(line.begin(), line.end(), trafficReader.buffer.begin());
    trafficReader.buffer[line.size()] = 0;
    trafficReader.datagram = std::string_view(trafficReader.buffer.data(), line.size());
    trafficReader.onDatagram();
    if (index == 0) {
      std::lock_guard lock(trafficMutex);
      addingStack.clear();  // the engine takes them in the program
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeTrafficLine);

}  // namespace
