// The traffic datagram (one comma-separated aircraft report), handed to the Traffic Reader's
// handler, with the range filter, park airport and QNH chosen by the input.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "fuzz_support.hpp"
#include "records/engine_cycle.hpp"
#include "traffic/link_state.hpp"
#include "traffic/traffic_decoder.hpp"
#include "traffic/udp_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  wdrx::fuzz::Input input(data, size);
  const std::uint8_t options = input.byte();
  TrafficReader& reader = trafficReader;
  rangeNm.store(options & 1 ? 40.0 : 400.0);
  AIRBORNE_ONLY.value.store((options & 2) != 0);
  reader.setUserLatLon({52.3, 4.76});
  if (options & 4) {
    Airport airport;
    airport.icao = IcaoCode("EHAM");
    airport.latitude = 52.31;
    airport.longitude = 4.76;
    airport.altitude = -11.0f;
    parkAirport.store(airport);
    parkAirportCode.store(airport.icao);
    reader.setFieldElevation(-11.0);
  } else {
    parkAirportCode.store(IcaoCode{});
    parkAirport.store(Airport{});
    reader.setFieldElevation(std::nullopt);
  }
  reader.trafficQnh.store(options & 8 ? 1013 : 950);
  reader.collectCallsigns.store((options & 16) != 0);
  realTrafficDetected.store(true);
  {
    std::lock_guard lock(trafficMutex);
    addingStack.clear();
    acceptTraffic = true;
  }

  // Read in place: a read past the datagram's end is seen by ASan.
  gf_processTrafficDatagram(reader, input.rest());

  reader.clearCallsigns();
  std::lock_guard lock(trafficMutex);
  addingStack.clear();
  return 0;
}
