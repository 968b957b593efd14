#pragma once
// What the live-traffic engine, the simulator link and the shell do with the park airport's
// stands: occupied marks, the stand under a position, the stand for an arriving aircraft, the
// learned callsign forms of a landed flight, cargo learning, the count of static aircraft, and
// the static-parking candidates the engine places. Run thread, except gf_nearestStandName,
// which any thread may call.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "aircraft/aircraft_codes.hpp"
#include "parking/stand.hpp"
#include "records/records.hpp"

// Search radii of gf_findStandForAircraft, nautical miles (55 m and 20 m).
inline constexpr double standSearchRadiusWide = 0.029697624190064796;
inline constexpr double standSearchRadiusNarrow = 0.010799136069114472;

// One static aircraft the planner wants placed.
struct StaticCandidate {
  std::int32_t standNumber = 0;
  std::int32_t fitOffset = 0;  // half hours back from now at which the option was found
  AircraftCodes codes;
  std::string callsign1;  // the real flight's callsign (first learned form)
  std::string callsign2;  // the second learned form: the flight that leaves from the stand
  std::string registration;
  // The stay goes on into the next half hour: the callsign is callsign1; clear: callsign2.
  std::uint8_t continuesNextSlot = 0;
};
// Filled by the static-parking calculation; the engine takes them from the back.
extern std::vector<StaticCandidate> staticCandidates;

// The user's reserved stand at the park airport (from my_park_airports.txt); empty when none.
// Never given to a live aircraft.
extern std::string reservedStandName;

// Mean time the static aircraft have been parked, in hours; -1 while not computed.
extern std::atomic<float> meanStaticParkedHours;

// Sets or clears the occupied-by-a-live-aircraft mark; a number not in standTable changes
// nothing.
void gf_setStandOccupied(std::int32_t standNumber, bool occupied);

// The name of the stand nearest to the position within 55 m while the user aircraft is on the
// ground; empty otherwise. Safe from any thread: it searches the copy of the stand positions
// published with gf_publishStandPositions, and keeps the last answer for the position.
std::string gf_nearestStandName(double latitude, double longitude);
// Publishes the names and positions of standTable for gf_nearestStandName (run thread, after
// standTable was filled or emptied).
void gf_publishStandPositions();

// The free stand (not occupied, taken or reserved) that suits the aircraft nearest to the
// position within the radius, or nullptr. With the option match allowed, a stand within 85 m
// where the aircraft's flight or type is known may be the fallback. An untyped stand within
// 20 m that is too small is taken and learns the aircraft's size.
Stand* gf_findStandForAircraft(const LiveAc& aircraft, double latitude, double longitude,
                               double radiusNm, bool allowOptionMatch);

// Copies the callsign forms of today's learned option of this flight into the aircraft's
// liveCallsign and altCallsign; nothing without a match.
void gf_matchStandOption(std::uint64_t weekSlot, LiveAc& aircraft);

// A cargo aircraft parked on a stand not known for cargo makes it a cargo stand.
void gf_learnStandCargoChange(LiveAc& aircraft);

// The static aircraft in the simulator (active or being removed); with showMean the mean time
// they have been parked goes to meanStaticParkedHours and the airport band.
std::int32_t gf_countStaticAc(bool showMean);

// The first stand of that name, nullptr when none.
Stand* gf_findStandNamed(const std::string& name);

namespace wdrx::testing {
// Forgets the published stand positions and the last nearest-stand answer.
void resetStandServices();
}  // namespace wdrx::testing
