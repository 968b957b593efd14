#pragma once
// Bookkeeping around the creation of AI objects: the livery chosen for each aircraft waiting
// to be created, the liveries the simulator refused, the aircraft without a livery, and the
// AI flight-plan files that give a created aircraft its departure and destination.
// Everything here belongs to the run thread.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "aircraft/aircraft_codes.hpp"

// 64-bit FNV-1a over the four bytes of a key (little-endian order, as they lie in memory).
struct KeyFnv1aHash {
  std::size_t operator()(std::uint32_t key) const noexcept {
    unsigned char bytes[sizeof key];
    std::memcpy(bytes, &key, sizeof key);
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) {
      h ^= c;
      h *= 0x100000001b3ULL;
    }
    return static_cast<std::size_t>(h);
  }
};

// Livery titles are views of the livery tables, which are emptied only while no aircraft and
// no creation request exists.
extern std::unordered_map<std::uint32_t, std::string_view, KeyFnv1aHash> creationRequests;
// Titles the simulator refused. The set owns its texts: it outlives every rebuild of the
// livery tables, and a title refused once stays refused for the process.
extern std::unordered_set<std::string, Fnv1aHash, std::equal_to<>> failedLiveries;
// "<model code> <airline code>" of each aircraft whose creation the simulator refused.
extern std::set<std::string, std::less<>> notCreatedTexts;
extern std::vector<std::string> unmatchedAircraft;
extern std::filesystem::path flightPlanFolder;  // dataFolder / "orig_dest"

inline constexpr std::size_t failedLiveryLimit = 20;

// The livery title wanted for a key; a title that has failed meanwhile is erased and none given.
std::optional<std::string_view> gf_takeCreationRequest(std::uint32_t key);

// The simulator could not create an aircraft: status line (unless the run stops), the title
// joins failedLiveries and the aircraft's model and airline notCreatedTexts; from the 20th
// failed title on throws tql::UserErrorException 81.
void gf_handleCreationFailure(const std::string& callsign, std::string_view liveryTitle,
                              const std::optional<AircraftCodes>& codes = std::nullopt);

std::filesystem::path gf_flightPlanFileName(std::uint32_t objectId);

// Writes the AI flight-plan file; IFR for Buzjets, Large and Heavy, VFR otherwise. An empty
// origin or destination code is written as three blanks. False when the file cannot be opened.
bool gf_writeFlightPlan(const std::filesystem::path& path, AcCategory category,
                        std::string_view origin, std::string_view destination);

bool gf_createFlightPlanFolder();
void gf_logUnmatchedAircraft();
