// The user's park-airport list (airports/my_park_airports.txt): read as at the start of a run
// and, with the first byte odd, the first entry recorded back into the file.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "airports/airport_db.hpp"
#include "fuzz_support.hpp"
#include "parking/apf_location.hpp"
#include "parking/park_airports.hpp"

namespace {
void lf_knownAirports() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const char* icao : {"EDDF", "EHAM", "EHRD", "KJFK"}) {
      airportTable.push_back({IcaoCode(icao), noIataCode, 50.0, 8.0, 0.0f, 0});
      airportIndex.insert(airportTable.back().icao);
    }
  });
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  lf_knownAirports();
  wdrx::fuzz::Input input(data, size);
  const bool writeBack = input.flag();
  wdrx::fuzz::writeFile(myParkAirportsFile, input.rest());
  lf_readMyParkAirports();
  if (writeBack) {
    gf_writeMyParkAirports();
    lf_readMyParkAirports();
  }
  return 0;
}
