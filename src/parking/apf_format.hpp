#pragma once
// The airport-file format both ways: reading parkpositions into a stand table, merging the
// stand-level changes of a learned file, and writing a whole file from an ApfData record.
//
// <root><meta/><parameters><parameter name= value=/>...</parameters>
//   <parkpositions><parkpos id= latitude= ...><opt reg= day= hh= .../></parkpos>...</parkpositions>
// </root>; parameters and parkpositions are also accepted at the top level of a file without root.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "parking/stand.hpp"

inline constexpr int apfModeLearned = 0;
inline constexpr int apfModeGenerated = 1;

// The section (parameters, parkpositions) under root, or at the top level without root.
pugi::xml_node gf_apfSection(const pugi::xml_node& document, const char* name);

// Appends every parkpos of parkpositions to the table (nothing without parkpositions). A parkpos
// without id, with an empty id or with an id seen before throws tql::UserErrorException 93/94,
// leaving the stands read so far in the table.
void gf_readParkPositions(const pugi::xml_node& document, std::vector<Stand>& table = standTable);
// Builds one stand with its options and appends it; false when the stand was refused (no valid
// position, a type outside 0..15, a bad radius), with a log line.
bool gf_readStand(const pugi::xml_node& parkpos, std::string name, std::uint32_t source,
                  std::vector<Stand>& table = standTable);

struct OptionIdentity {
  std::string cs1;
  std::string cs2;
  AircraftCodes codes;
};
// cs split at its first ':'; the codes of the registration, else of airl and type. Never throws.
OptionIdentity lf_readOptionIdentity(const pugi::xml_node& opt);
AircraftCodes lf_readOptionCodes(const pugi::xml_node& opt);

// Applies one parkpos of a learned file to the stand of that name: radius and cargo changes,
// then its opts as learned options (unless optionsDisabled), skipping those the stand has
// already. False when the names differ.
bool lf_readLearnedStand(const std::string& name, const pugi::xml_node& parkpos,
                         bool optionsDisabled, Stand& stand);

// Writes a whole file (mode 1 generated, 0 learned) through a temporary renamed over the old
// file; false, with the old file kept, when anything fails. keptStands: parkpos elements
// written after the stands as they are (learned stands the airport file lacks).
bool gf_saveApf(const ApfData& data, const std::filesystem::path& path, int mode, int simNumber,
                const pugi::xml_node& keptStands = {});
bool gf_writeApfHeader(pugi::xml_node root, const ApfData& data, int mode);
