#pragma once
// The per-airport settings that an airport file brings: the defaults for an airport without
// learned file, and the values a learned file carries. Shown in the main window's controls
// when a window is registered; never saved to parameters.xml (the user's own values come back
// through gf_restoreUserSettings when the park airport is left).
#include <pugixml.hpp>

#include "foundation/fixed_code.hpp"
#include "parking/apf_state.hpp"

// Soft and week parking for an airport known mostly from soft options, neither for one well
// learned, and the parking percentage of the airport database's stands value.
void gf_applyAirportDefaults(const QualityPair& quality, const IcaoCode& code);
// The settings present among the file's parameters, each logged.
void lf_applyLearnedSettings(const pugi::xml_node& document);
