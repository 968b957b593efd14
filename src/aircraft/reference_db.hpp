#pragma once
// The reference database (input/dbase.enc): model and airline sets, category sections, similar
// models, registration prefixes, publishers, wing spans, model-code fixes, add-on airports and
// registration records; and the lookups on them that are not about registrations.
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/registrations.hpp"

extern std::set<std::string, std::less<>> cargoModelCodes;
extern std::set<std::string, std::less<>> cargoOperatorCodes;
extern std::vector<std::vector<std::string>> similarTypeGroups;  // each sorted in byte order
extern std::vector<std::vector<std::string>> prefixGroupLists;   // as read, each sorted
extern std::vector<std::vector<std::string>> publisherNames;     // spellings, name first
extern std::map<std::string, double, std::less<>> wingSpansByModel;  // half span in nm
extern std::set<std::string, std::less<>> simaddonAirports;
struct ThirdPartyAirports {
  std::string publisher;
  std::vector<std::string> airports;
};
extern std::vector<ThirdPartyAirports> thirdPartyAirports;

// Reads input/dbase.enc once per process (the caller keeps the once-flag). True when read;
// false when the decrypted XML did not parse. Missing or undecryptable file: std::runtime_error;
// "root" or a required section missing or empty: tql::UserErrorException 61.
// The decrypted input/dbase.xml never outlives the call.
bool gf_readDbase();
// The reading of gf_readDbase on the decrypted XML given as text (fuzzing, tests): the same
// tables, log lines, results and errors.
bool gf_readDbaseText(std::string_view xml);
// Fills the tables from the parsed document; throws as gf_readDbase does.
bool lf_readDbaseDocument(const pugi::xml_document& document);
std::string gf_attributeString(pugi::xml_node node, const char* name);
void lf_readDbaseSection(const pugi::xml_document& document, const char* section,
                         std::set<std::string, std::less<>>& target, const char* element,
                         const char* attribute);
void lf_readTypesSection(const pugi::xml_document& document, const char* section,
                         std::set<std::string, std::less<>>& target, const char* element);
void lf_readCodesSection(const pugi::xml_document& document, const char* section,
                         std::set<std::string, std::less<>>& target);
void lf_modelIdSet(const std::set<std::string, std::less<>>& codes, std::set<std::uint16_t>& target);
void lf_readThirdPartyAirports(const pugi::xml_document& document);

// Wing spans: half spans in nm by model id; 0.0 = unknown.
inline constexpr std::size_t halfWingSpanSlots = 2700;
extern std::array<double, halfWingSpanSlots> halfWingSpans;
void lf_fillWingspan(std::string_view modelCode, double halfSpan);

// Registration prefix -> the other prefixes of its group; a list is made when gf_similarPrefixes
// first asks for it (empty until then).
extern std::unordered_map<std::string, std::vector<std::string>> prefixGroups;
void lf_buildPrefixGroups();
// The other prefixes of the prefix's group (empty when none); shuffled in place with RANDOM on.
const std::vector<std::string>& gf_similarPrefixes(std::string_view prefix);

// Publishers named in scenery paths.
bool lf_containsNoCase(std::string_view text, std::string_view needle);
bool lf_containsNoCase(const std::filesystem::path& path, std::string_view needle);
std::optional<std::string> lf_publisherInPath(std::string_view text);
// For a scenery file whose publisher is still empty: "simaddon" for paths with ORBX (also adding
// "from filename => publisher simaddon" to scanLog), else the publisher named in the path.
void gf_publisherFromFilename(std::string_view bglPathText, std::string& publisher,
                              std::vector<std::string>& scanLog);

namespace wdrx::testing {
// Empties the reference tables (not the code tables) so that gf_readDbase can run again.
void resetReferenceData();
}  // namespace wdrx::testing
