#pragma once
// The registration-code tables: which installed livery a registration gets (regcodeTitles, from
// the liveries' own atc_id, the AIG file and the user's files), the registration of each title,
// and the special liveries that only their own registrations may wear.
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/regcode_files.hpp"
#include "aircraft/registrations.hpp"  // regcodeTitles

// Title (view of an installed title) -> its in-line registration.
extern std::unordered_map<std::string_view, std::string, Fnv1aHash, std::equal_to<>> titleRegistrations;
// Titles reserved for their own registrations, in order of application (repeats kept).
extern std::vector<std::string_view> specialLiveries;
// The same titles as a set, for the lookups of the livery choice.
extern std::unordered_set<std::string_view, Fnv1aHash, std::equal_to<>> specialLiverySet;
// The single regcode of each special record that has exactly one.
extern std::set<std::string, std::less<>> uniqueRegcodes;
// Lines of OfflineRegcodes.txt, gathered during one processing.
extern std::vector<std::string> offlineRegcodeLines;

// Written after each processing; InlineRegcodes.txt is scanFiles::inlineRegcodes.
inline const std::filesystem::path offlineRegcodesFile{"output/info/OfflineRegcodes.txt"};

// The registrations the scanned liveries declare -> regcodeTitles and titleRegistrations;
// clashes go to InlineRegcodes.txt.
void lf_checkRegcodeClashes();
// The AIG file and then the user's regcode files applied on top; OfflineRegcodes.txt. The
// user's files count also when the AIG file cannot be decrypted.
void lf_processOfflineRegcodes();
void lf_processAigRegcodeFile();
void lf_processRegcodeFolder();
void lf_applyRegcodeLines(const std::vector<RegcodeRecord>& records);

bool lf_isSpecialLivery(std::string_view title);
// Empties the tables of this file and regcodeTitles.
void lf_emptyRegcodeTables();
