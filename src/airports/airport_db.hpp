#pragma once
// The airport database (input/airports.enc): every known airport, sorted by ICAO code, with a
// hash set of the codes. Read once per process; read-only afterwards.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/fixed_code.hpp"

struct Airport {
  IcaoCode icao;  // sort key
  IataCode iata;  // "XXX" when the database gives none
  double latitude = 0.0;
  double longitude = 0.0;
  float altitude = 0.0f;
  std::int32_t stands = 0;  // 0 when missing; >= 1: an airport file can be downloaded
};

extern std::vector<Airport> airportTable;         // sorted by icao
extern std::unordered_set<IcaoCode> airportIndex;  // FNV-1a of the four characters
extern std::atomic<bool> airportsRead;

// Reads the database unless already read; true when the table holds at least one airport. A bad
// record (an invalid code, missing coordinates) is logged and skipped. Failures (no file, not
// XML, no airports element): tql::UserErrorException 88; the decrypted XML never outlives the call.
bool gf_readAirports();
// The reading of gf_readAirports on the decrypted XML given as text (fuzzing, tests): the table
// is filled anew, with the same log lines, result and errors.
bool gf_readAirportsText(std::string_view xml);
bool gf_isKnownAirport(const IcaoCode& code);
// "EHAM (AMS)", or "EHAM" when the IATA code is "XXX" (or empty); "?" for an empty ICAO code.
std::string gf_airportDisplayName(const IcaoCode& icao, const IataCode& iata);
// The first entry of the code by binary search, nullptr when none.
const Airport* gf_findAirport(const IcaoCode& code);

namespace wdrx::testing {
// Empties the table, the index and the read flag so that gf_readAirports can run again.
void resetAirports();
}  // namespace wdrx::testing
