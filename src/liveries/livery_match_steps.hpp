#pragma once
// The lookups of the livery choice, shared by the live and the static matching. Each sets the
// aircraft's title when it finds one and answers whether the title is now set; finding nothing
// leaves the title as it was (but lf_matchRegcode, which sets it empty).
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery_tables.hpp"
#include "records/records.hpp"

bool lf_matchRegcode(AcBase& aircraft);
// Cargo codes: the cargo table, then the pax table; otherwise the pax table only.
bool lf_matchAirlineModel(AcBase& aircraft, const AircraftCodes& codes);
bool lf_matchCodes(AcBase& aircraft, const AircraftCodes& codes, std::size_t table);
bool lf_matchLiveryTable(AcBase& aircraft, std::size_t table, std::uint16_t airlineKey, std::uint16_t modelId);
bool lf_matchByShortName(AcBase& aircraft, std::size_t table, std::uint16_t airlineKey, std::uint16_t modelId,
                         std::string_view airlineCode);
bool lf_matchPrivate(AcBase& aircraft, std::size_t table, std::uint16_t airlineKey, std::uint16_t modelId);
bool lf_matchSimilarModel(AcBase& aircraft, const AircraftCodes& codes);
// Steps 4 (generic ZZZ livery), 5 and 6 (any livery of the model or of a similar or default
// model; Light, Buzjets and Rotorcraft only); `step` tells which one found the title.
bool lf_matchGeneric(AcBase& aircraft, bool extraCargo, int& step);
bool lf_matchAnyOfModel(AcBase& aircraft, std::uint16_t modelId);

// The registration up to and including its first "-"; the first character alone without one.
std::string_view lf_registrationPrefix(std::string_view registration);
// The titles whose in-line registration begins with the prefix, in list order.
TitleList lf_collectByPrefix(std::span<const std::string_view> titles, std::string_view prefix);
// Sets the title to one of the titles that the simulator did not refuse, avoiding special
// liveries (five random tries, then the non-special ones); false when every title was refused.
bool lf_pickLivery(AcBase& aircraft, std::span<const std::string_view> titles);
// Refused titles (failedLiveries) do not count; then the match is counted and logged.
bool lf_acceptLiveryMatch(AcBase& aircraft, int step);
std::optional<std::string_view> lf_airlineShortName(std::string_view airlineCode);

bool lf_isRefused(std::string_view title);           // in failedLiveries
bool lf_isPrivate(const AircraftCodes& codes);       // airline code "PVT"
// The codes with the airline of generic liveries ("ZZZ"); none while that code was never
// interned (and so no generic livery exists).
std::optional<AircraftCodes> lf_genericCodes(AircraftCodes codes);
// 0 for the one registration of a special livery, else 1.
int lf_regcodeStep(const AcBase& aircraft);
