#pragma once
// Quality factors of the park airport: how much is known of its traffic, one percentage for
// the real stand options and one for the soft ones.
#include <string>

#include "parking/apf_state.hpp"

// The pair of standTable; (-1, -1) without stands or options. Throws gsl::narrowing_error when
// a rounded factor is no 32-bit integer (the scores cannot reach that).
QualityPair gf_airportQualityFactors();
// apfQuality as shown: two blanks when unknown, "{:2}/{:2}" below a real factor of 45, else
// "{:2}" with the real factor.
std::string gf_formatQuality();
std::string gf_formatQuality(const QualityPair& quality);
