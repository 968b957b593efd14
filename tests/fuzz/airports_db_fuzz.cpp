// The airport database from its decrypted XML, then the lookups on the table.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "airports/airport_db.hpp"
#include "foundation/user_error.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  try {
    gf_readAirportsText(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const Airport& airport : airportTable) {
      if (gf_findAirport(airport.icao) == nullptr || !gf_isKnownAirport(airport.icao)) __builtin_trap();
      gf_airportDisplayName(airport.icao, airport.iata);
    }
  } catch (const tql::UserErrorException&) {
    // The start-up shows the error to the user.
  }
  wdrx::testing::resetAirports();
  return 0;
}
