#pragma once
// Learning which aircraft use which stand of the park airport in which half hours of the week:
// the live-traffic engine reports each live aircraft created parked on a stand, standing on
// it, leaving it or removed from it. Run thread.
#include <cstdint>
#include <string>
#include <vector>

#include "aircraft/aircraft_codes.hpp"
#include "parking/slot_sets.hpp"
#include "parking/stand.hpp"
#include "records/records.hpp"

namespace StandEvent {
inline constexpr int standing = 0;      // arrived on the stand, or parked there
inline constexpr int createdParked = 1;
inline constexpr int leaving = 2;       // the engine frees the stand right after
inline constexpr int removed = 3;       // removed from the simulator while on the stand
}  // namespace StandEvent

// The aircraft's codes become those of the registration table when its registration is found.
void lf_addRealStandOption(std::int32_t standNumber, AcBase& aircraft, int event);

// Extends the option by the half hours since `last` (its day and highest slot); false when the
// gap is too long for one stay, and the caller starts a new option.
bool lf_learnStandOccupancy(WeekSlot now, Stand& stand, std::uint32_t optionNumber, WeekSlot last,
                            const AcBase& aircraft, const std::string& reg, bool leaving);

struct UpsertResult {
  std::uint32_t number = 0;
  bool added = false;
};
// A new learned option holding now's half hour.
UpsertResult lf_upsertStandOption(Stand& stand, AircraftCodes codes, WeekSlot now,
                                  const std::string& callsign, const std::string& reg, bool leaving);
void lf_addOptionCallsign(Stand& stand, std::uint32_t optionNumber, const std::string& callsign);
// Sets the slots (taken from the back) in the option; false when it is not found.
bool updateOptions(Stand& stand, std::vector<std::uint32_t> slots, std::uint32_t optionNumber);
