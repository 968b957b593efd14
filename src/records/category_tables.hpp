#pragma once
// The per-category values that shape every live aircraft's movement, built once. A category
// outside the table fails with "invalid unordered_map<K, T> key" (std::out_of_range), as a
// map lookup of a missing key does.
#include <cstdint>

#include "aircraft/aircraft_codes.hpp"

struct CategoryValues {
  double groundTurnRateDeg = 0.0;  // degrees per cycle
  double takeOffPitchDeg = 0.0;    // randomised by +-2.5 % per aircraft
  double climbOutPitchDeg = 0.0;   // randomised by +-5 % per aircraft
  std::int32_t flareCycles = 0;      // flare pitch change
  std::int32_t touchdownCycles = 0;  // touchdown attitude change
  std::int32_t rotationCycles = 0;   // rotation at take-off
  std::int32_t climbOutCycles = 0;   // climb-out pitch change
  double groundSpeedStep = 0.0;    // knots: push-back, pulling out, stand entry
  double maxBankDeg = 0.0;
  double bankRateLimitDeg = 0.0;   // degrees per cycle
  double pitchRateLimitDeg = 0.0;  // degrees per cycle
  double rotationSpeed = 0.0;      // knots
  double climbLimit = 0.0;         // feet per cycle
};

const CategoryValues& gf_categoryValues(AcCategory category);
