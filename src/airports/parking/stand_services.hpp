#pragma once
// The stand operations of the park airport and the static-parking candidates, as the
// live-traffic engine uses them. Run thread.
#include <cstdint>
#include <string>
#include <vector>

#include "airports/parking/stand.hpp"
#include "traffic/engine/records.hpp"

// Search radii of gf_findStandForAircraft, nautical miles (55 m and 20 m).
inline constexpr double standSearchRadiusWide = 0.029697624190064796;
inline constexpr double standSearchRadiusNarrow = 0.010799136069114472;

// The free stand that fits the aircraft's size nearest to the position within the radius;
// nullptr when none.
Stand* gf_findStandForAircraft(const LiveAc& aircraft, double latitude, double longitude,
                               double radiusNm, bool stillAfterLanding);
// The name of the stand nearest to the position within 55 m; empty when none.
std::string gf_nearestStandName(double latitude, double longitude);
// Sets or clears the occupied-by-a-live-aircraft flag; a number not in standTable changes
// nothing.
void gf_setStandOccupied(std::int32_t standNumber, bool occupied);
// A cargo aircraft on a stand taken without its cargo byte clears the stand's cargo flag.
void gf_learnStandCargoChange(LiveAc& aircraft);

// The user's reserved stand at the park airport (my_park_airports.txt); empty when none.
extern std::string reservedStandName;

// One static aircraft the planner wants placed: stand number, half-hour offset, the option's
// packed codes, the real flight's callsign, a second callsign text, the registration, and
// which of the two callsign texts gives the callsign (set: the first).
struct StaticCandidate {
  std::int32_t stand = 0;
  std::int32_t offset = 0;
  std::uint64_t codes = 0;
  std::string callsign;
  std::string callsign2;
  std::string registration;
  std::uint8_t useFirst = 0;
};
// Taken from the back by the static placement, one per engine cycle.
extern std::vector<StaticCandidate> staticCandidates;
