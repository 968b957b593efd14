#pragma once
// The automatic live-traffic range: chosen from the user aircraft's height and its distance to
// the nearest park airport, applied with gf_setRange. Run thread.
#include <cstdint>
#include <optional>

#include "foundation/geodesy.hpp"

// The range in nautical miles for a user aircraft at that altitude (feet), on the ground or
// not, at that distance from the nearest park airport (none: far away).
std::int32_t gf_autoRangeFor(bool onGround, double altitudeFeet, std::optional<double> distanceNm);

void lf_autoRange();
