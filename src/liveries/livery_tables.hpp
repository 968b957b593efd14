#pragma once
// The installed-livery tables the livery choice reads: every livery by airline key and model
// (pax and cargo apart), all liveries of a model, the similar models that have liveries and the
// default models of the small categories; built once per process from the scanned liveries.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "aircraft/aircraft_codes.hpp"

struct InstalledLivery {
  std::string title;
  bool cargo = false;
};

// Title views point into the titles of installedLiveries, which does not change while they
// exist: the tables are emptied only while no aircraft holds a title (gf_clearLiveryTables).
using TitleList = std::vector<std::string_view>;
using ModelTitles = std::unordered_map<std::uint16_t, TitleList>;
using ModelList = std::vector<std::uint16_t>;

// Airline key (the airline id, or the id of airline + operator code text) -> model -> liveries.
extern std::unordered_map<std::uint16_t, std::unordered_map<std::uint16_t, std::vector<InstalledLivery>>>
    installedLiveries;
inline constexpr std::size_t paxTable = 0;
inline constexpr std::size_t cargoTable = 1;
extern std::array<std::unordered_map<std::uint16_t, ModelTitles>, 2> liveryTables;  // pax, cargo
extern ModelTitles paxModelLiveries;    // model -> pax titles under any airline key
extern ModelTitles cargoModelLiveries;  // model -> cargo titles under any airline key
// Model -> its similar models that have liveries.
extern std::unordered_map<std::uint16_t, ModelList> similarInstalledModels;
// Airline key -> model it lacks -> its similar models it has.
extern std::unordered_map<std::uint16_t, std::unordered_map<std::uint16_t, ModelList>> similarModelsByAirline;
extern ModelList defaultLightModels;
extern ModelList defaultBuzjetModels;
extern ModelList defaultRotorcraftModels;

// Set once the tables are built; cleared by gf_clearLiveryTables.
extern std::atomic<bool> liveriesProcessed;

// Reads output/LiveriesScanned.xml and builds the livery and registration-code tables, once per
// process; a later call only logs that it was done. Throws tql::UserErrorException when the
// cache cannot be read (the next start-up tries again).
void gf_processScannedLiveries();

// The SCAN_LIVERIES check box (run thread): the next start-up processes the liveries again.
// The tables are emptied at once while no aircraft exists or waits for its creation; otherwise
// they stay as they are until the next start-up, which empties them before it builds, so that
// no aircraft is ever left with a title the tables no longer hold.
void gf_clearLiveryTables();
// Empties every table of the matching (installed liveries, registration codes, lookup sets).
void lf_emptyLiveryTables();

void lf_buildLiveryTables();
void lf_buildPaxCargoTables();
void lf_buildModelSets();
void lf_buildSimilarModels();
void lf_reportCategory(AcCategory category);
void lf_reportGenericLiveries();
// Model codes, twenty to a line led by two blanks; each id is appended to target when given.
void lf_logCodeList(const ModelList& models, ModelList* target);

// The stored title equal to the text (exact); an empty view when none is installed.
std::string_view lf_findLiveryTitle(std::string_view title);
bool lf_hasLivery(std::uint16_t airlineKey, std::uint16_t modelId);
// A default model of the category (random with RANDOM on, else the first); 0 when none.
std::uint16_t lf_randomLightModel();
std::uint16_t lf_randomBuzjetModel();
std::uint16_t lf_randomRotorcraftModel();

// The id of an airline code already interned, without adding it: a code never interned has
// no livery filed under it. Matching many aircraft must not fill the 16-bit code table.
std::optional<std::uint16_t> lf_knownAirlineId(std::string_view code);
// The text under which a livery with an operator is filed: airline code text + operator code text.
std::string lf_combinedCode(std::uint16_t airlineId, std::uint16_t operatorId);
