#pragma once
// The stand search of the static-parking calculation: which learned options may show a static
// aircraft now, which aircraft is already present, and one pass over the stands at one
// half-hour offset. Run thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "parking/slot_sets.hpp"
#include "parking/stand.hpp"
#include "parking/stand_services.hpp"

inline constexpr int realClass = 1;
inline constexpr int softClass = 0;

// The stand is taken by a static aircraft of this calculation; its neighbours are blocked.
void lf_markStandsChosen(Stand& stand);

// The option may show an aircraft in the slot: switched on, of the day (in day mode), of the
// class, with the slot set, a heli stand only with HELICOPTERS, the stand not blocked and no
// active static aircraft on a neighbour stand too close for the option's wing span.
bool lf_isCandidateOption(const StandOption& option, int optionClass, bool dayMode,
                          std::int32_t day, std::uint32_t slot, const Stand& stand);

// With RANDOM on and two or more numbers: the option of a static aircraft already standing
// there comes first, else the numbers are shuffled.
void lf_pickStandOption(std::vector<std::uint32_t>& optionNumbers, const Stand& stand);

// The option's aircraft is already there: a candidate, a callsign heard live, a static
// aircraft or a parked live aircraft. Empty texts match nothing.
bool lf_isOptionInUse(const StandOption& option);
bool lf_isCollectedCallsign(const std::string& text);

// One pass at one offset: every stand neither reserved nor taken with a fitting option gets a
// candidate (appended to `out`) and is taken; an option whose aircraft is present is switched
// off.
void lf_searchStands(WeekSlot now, int optionClass, bool dayMode, std::int32_t offset,
                     std::vector<StaticCandidate>& out);

// The stands taken by static aircraft of this calculation.
std::size_t gf_takenStandCount();

// Same airline, model and operator ids.
bool gf_sameCodes(const AircraftCodes& a, const AircraftCodes& b);
