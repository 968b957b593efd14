#pragma once
// The choice of a livery for a live aircraft, as the engine's spawning asks for it.
#include "traffic/engine/records.hpp"

// Chooses the livery of a live aircraft up to MATCHING_DEPTH: on success the record's livery
// title views the chosen title (and its FSLTL byte is set when the title contains "FSLTL_");
// without a match the title stays empty. Titles in failedLiveries are never chosen.
void gf_matchLivery(LiveAc& aircraft);
