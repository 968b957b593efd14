#pragma once
// Registration records of the reference database and the registration -> livery title map.
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "aircraft/aircraft_codes.hpp"

struct DbaseRecord {
  std::string registration;
  AircraftCodes codes;  // fromDbase = 1
};

// Sorted by registration (byte order), one record per registration; filled by gf_readDbase.
extern std::vector<DbaseRecord> dbaseRecords;

void lf_sortDbaseRecords();
// The spellings tried for a registration: DAIPA -> DA-IPA, D-AIPA, DAIPA; N... or with "-": itself.
std::vector<std::string> gf_registrationVariants(std::string_view registration);
// The codes of the reference record of the registration (first variant found), or none.
std::optional<AircraftCodes> gf_findRegistration(std::string_view registration);
// The first registration, in byte order, of 2 to 5 bytes with a letter that stands in the text
// as a whole token (bounded by the text's ends or by characters other than letters and digits);
// case-sensitive.
std::optional<std::string> lf_registrationInText(std::string_view text);
// The registrations lf_registrationInText looks for; rebuilt by lf_sortDbaseRecords.
extern std::unordered_set<std::string, Fnv1aHash, std::equal_to<>> titleRegistrationIndex;

// Registration -> title of a livery made for it (views of titles held by the livery tables).
// Filled by the registration-code tables after the liveries are processed; read only otherwise.
extern std::unordered_map<std::string, std::string_view> regcodeTitles;
