#pragma once
// The choice of a livery for a live aircraft and for a static parked one, as the engine asks
// for it, and the summary of the live matches in Log.txt.
#include <array>
#include <cstdint>

#include "records/records.hpp"

struct Stand;  // parking/stand.hpp: only its name and cargo flag are read

// Live matches per step 0..6 since the process started; never reset.
extern std::array<std::int32_t, 7> matchesPerStep;

// Chooses the livery of a live aircraft up to MATCHING_DEPTH: on success the record's livery
// title views the chosen title (and its FSLTL byte is set when the title contains "FSLTL_");
// without a match the title stays empty. Titles in failedLiveries are never chosen.
void gf_matchLivery(LiveAc& aircraft);

// Chooses the livery of a new static aircraft standing at the stand; a title it already has is
// kept unless the simulator refused it. False when no livery fits: the caller drops the record.
bool gf_matchStaticLivery(AcBase& aircraft, const Stand& stand);

// The live matches per step and the liveries the simulator could not create, in Log.txt;
// nothing while no live aircraft was matched.
void gf_logMatchingSummary();
