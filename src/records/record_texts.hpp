#pragma once
// The text forms of an aircraft record that every log line of the engine and of the parking
// and livery code uses.
#include <string>

#include "records/records.hpp"

// "{:3}{:4} {:4}{}{:3}": airline, "," and operator (when set), model, "." for codes from the
// reference data (else a blank), "(C)" for cargo.
std::string gf_aimoText(const AircraftCodes& codes);
std::string gf_callsignText(const AcIdentity& ac);   // "{:8}"
std::string gf_routeText(const AcIdentity& ac);      // "{:3}->{:3}", eight blanks without route
std::string gf_acRouteText(const AcIdentity& ac);    // callsign, registration in 12, route
std::string gf_acIdentText(const AcIdentity& ac);    // aimo text and route text: log identity
std::string gf_acShortText(const AcIdentity& ac);    // callsign, registration, aimo text
std::string gf_unmatchedKey(const AcIdentity& ac);   // aimo text, a blank, the registration
