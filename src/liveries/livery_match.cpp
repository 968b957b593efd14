// The lookups of the livery choice, from the aircraft's own registration down to any livery of
// a similar model, and the summary of the live matches.
#include <algorithm>
#include <unordered_map>

#include "aircraft/reference_db.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "liveries/livery_match_steps.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/regcode_tables.hpp"
#include "records/record_texts.hpp"
#include "simlink/ai_creation.hpp"

std::array<std::int32_t, 7> matchesPerStep{};

namespace {

const TitleList* lf_tableTitles(std::size_t table, std::uint16_t airlineKey, std::uint16_t modelId) {
  const auto& keys = liveryTables[table];
  const auto key = keys.find(airlineKey);
  if (key == keys.end()) return nullptr;
  const auto model = key->second.find(modelId);
  return model == key->second.end() ? nullptr : &model->second;
}

bool lf_genericCategory(AcCategory category) {
  return category == AcCategory::Light || category == AcCategory::Buzjets || category == AcCategory::Rotorcraft;
}

// Picks among the titles gathered for a registration prefix.
bool lf_pickByPrefix(AcBase& aircraft, const TitleList& titles, std::string_view prefix) {
  const TitleList candidates = lf_collectByPrefix(titles, prefix);
  return lf_pickLivery(aircraft, candidates);
}

// The titles with the registration's prefix, then those of the prefixes of its group.
bool lf_pickByRegistration(AcBase& aircraft, const TitleList& titles) {
  if (aircraft.registration.empty()) return false;
  const std::string_view prefix = lf_registrationPrefix(aircraft.registration);
  if (lf_pickByPrefix(aircraft, titles, prefix)) return true;
  for (const std::string& similar : gf_similarPrefixes(prefix)) {
    if (lf_pickByPrefix(aircraft, titles, similar)) return true;
  }
  return false;
}

}  // namespace

bool lf_isRefused(std::string_view title) { return failedLiveries.contains(title); }

bool lf_isPrivate(const AircraftCodes& codes) { return airlineCodes[codes.airlineId] == "PVT"; }

std::optional<AircraftCodes> lf_genericCodes(AircraftCodes codes) {
  const std::optional<std::uint16_t> zzz = lf_knownAirlineId("ZZZ");
  if (!zzz) return std::nullopt;
  codes.airlineId = *zzz;
  return codes;
}

int lf_regcodeStep(const AcBase& aircraft) { return uniqueRegcodes.contains(aircraft.registration) ? 0 : 1; }

std::optional<std::string_view> lf_airlineShortName(std::string_view airlineCode) {
  static const std::unordered_map<std::string_view, std::string_view> shortNames{
      {"AAL", "American"},  {"ACA", "Canada"},       {"AFR", "France"},   {"ASA", "Alaska"},
      {"ASH", "Mesa"},      {"AVA", "Avianca"},      {"BAW", "British"},  {"BOX", "Aerologic"},
      {"CAI", "Corendon"},  {"CFE", "Cityflyer"},    {"DAE", "DHL Aero"}, {"DAL", "Delta"},
      {"DHK", "DHL Air"},   {"EDV", "Endeavor"},     {"EZY", "easyjet"},  {"FDX", "FedEx"},
      {"FJO", "Flexjet"},   {"GJS", "GoJet"},        {"IBE", "Iberia"},   {"JIA", "PSA Airlines"},
      {"JZA", "Jazz"},      {"KLC", "Cityhopper"},   {"LRC", "Avianca"},  {"PDT", "Piedmont"},
      {"PRM", "Prime"},     {"QLK", "Quantaslink"},  {"QXE", "Horizon"},  {"RPA", "Republic"},
      {"RYR", "Ryanair"},   {"SWA", "Southwest"},    {"SKW", "SkyWest"},  {"UAL", "United"},
      {"VJT", "VistaJet"},  {"WJA", "WestJet"},
  };
  const auto found = shortNames.find(airlineCode);
  if (found == shortNames.end()) return std::nullopt;
  return found->second;
}

std::string_view lf_registrationPrefix(std::string_view registration) {
  if (registration.empty()) return registration;
  const std::size_t dash = registration.find('-');
  if (dash == std::string_view::npos || dash == 0) return registration.substr(0, 1);
  return registration.substr(0, dash + 1);
}

TitleList lf_collectByPrefix(std::span<const std::string_view> titles, std::string_view prefix) {
  TitleList found;
  for (std::string_view title : titles) {
    const auto registration = titleRegistrations.find(title);
    if (registration != titleRegistrations.end() && registration->second.starts_with(prefix)) found.push_back(title);
  }
  return found;
}

bool lf_pickLivery(AcBase& aircraft, std::span<const std::string_view> titles) {
  // A title the simulator refused is passed over, so that the next one is taken.
  TitleList usable;
  if (!failedLiveries.empty() && std::any_of(titles.begin(), titles.end(), lf_isRefused)) {
    std::copy_if(titles.begin(), titles.end(), std::back_inserter(usable),
                 [](std::string_view title) { return !lf_isRefused(title); });
    titles = usable;
  }
  if (titles.empty()) return false;
  std::string_view pick;
  for (int attempt = 0; attempt < 5; ++attempt) {
    pick = titles[gf_randomIndex(titles.size())];
    if (!lf_isSpecialLivery(pick)) {
      aircraft.liveryTitle = pick;
      return true;
    }
  }
  TitleList ordinary;
  std::copy_if(titles.begin(), titles.end(), std::back_inserter(ordinary),
               [](std::string_view title) { return !lf_isSpecialLivery(title); });
  if (!ordinary.empty()) pick = ordinary[gf_randomIndex(ordinary.size())];
  aircraft.liveryTitle = pick;
  return true;
}

bool lf_matchRegcode(AcBase& aircraft) {
  aircraft.liveryTitle = {};
  if (aircraft.registration.empty()) return false;  // an empty registration names no aircraft
  const auto found = regcodeTitles.find(aircraft.registration);
  if (found != regcodeTitles.end()) aircraft.liveryTitle = found->second;
  return !aircraft.liveryTitle.empty();
}

bool lf_matchAirlineModel(AcBase& aircraft, const AircraftCodes& codes) {
  if (codes.cargo != 0 && lf_matchCodes(aircraft, codes, cargoTable)) return true;
  return lf_matchCodes(aircraft, codes, paxTable);
}

bool lf_matchCodes(AcBase& aircraft, const AircraftCodes& codes, std::size_t table) {
  const std::uint16_t airline = codes.airlineId;
  const std::uint16_t op = codes.operatorId;
  const std::uint16_t model = codes.modelId;
  if (op == 0) {
    if (lf_isPrivate(codes) && lf_matchPrivate(aircraft, table, airline, model)) return true;
    return lf_matchLiveryTable(aircraft, table, airline, model);
  }
  // A combined code never interned has no liveries: it is looked up, not added.
  if (const auto combined = lf_knownAirlineId(lf_combinedCode(airline, op));
      combined && lf_matchLiveryTable(aircraft, table, *combined, model)) {
    return true;
  }
  return lf_matchByShortName(aircraft, table, op, model, airlineCodes[airline]) ||
         lf_matchByShortName(aircraft, table, airline, model, airlineCodes[op]) ||
         lf_matchLiveryTable(aircraft, table, op, model) || lf_matchLiveryTable(aircraft, table, airline, model);
}

bool lf_matchLiveryTable(AcBase& aircraft, std::size_t table, std::uint16_t airlineKey, std::uint16_t modelId) {
  const TitleList* titles = lf_tableTitles(table, airlineKey, modelId);
  return titles != nullptr && lf_pickLivery(aircraft, *titles);
}

bool lf_matchByShortName(AcBase& aircraft, std::size_t table, std::uint16_t airlineKey, std::uint16_t modelId,
                         std::string_view airlineCode) {
  const TitleList* titles = lf_tableTitles(table, airlineKey, modelId);
  if (titles == nullptr) return false;
  const std::optional<std::string_view> shortName = lf_airlineShortName(airlineCode);
  if (!shortName) return false;
  for (std::string_view title : *titles) {
    if (title.find(*shortName) != std::string_view::npos && !lf_isRefused(title)) {
      aircraft.liveryTitle = title;
      return true;
    }
  }
  return false;
}

bool lf_matchPrivate(AcBase& aircraft, std::size_t table, std::uint16_t airlineKey, std::uint16_t modelId) {
  const TitleList* titles = lf_tableTitles(table, airlineKey, modelId);
  return titles != nullptr && lf_pickByRegistration(aircraft, *titles);
}

bool lf_matchSimilarModel(AcBase& aircraft, const AircraftCodes& codes) {
  const std::uint16_t key = codes.operatorId != 0 ? codes.operatorId : codes.airlineId;
  const auto models = similarModelsByAirline.find(key);
  if (models == similarModelsByAirline.end()) return false;
  const auto similar = models->second.find(codes.modelId);
  if (similar == models->second.end()) return false;
  gf_shuffle(similar->second);
  for (std::uint16_t model : similar->second) {
    if (gf_modelCategory(model) != aircraft.category) continue;
    AircraftCodes similarCodes = codes;
    similarCodes.modelId = model;
    if (lf_matchAirlineModel(aircraft, similarCodes)) return true;
  }
  return false;
}

bool lf_matchGeneric(AcBase& aircraft, bool extraCargo, int& step) {
  if (!aircraft.liveryTitle.empty()) return false;
  if (std::optional<AircraftCodes> generic = lf_genericCodes(aircraft.codes)) {
    generic->cargo = (aircraft.codes.cargo != 0 || extraCargo) ? 1 : 0;
    if (lf_matchAirlineModel(aircraft, *generic)) {
      step = 4;
      return true;
    }
  }
  if (!lf_genericCategory(aircraft.category)) return false;
  const std::uint16_t model = aircraft.codes.modelId;
  if (lf_matchAnyOfModel(aircraft, model)) {
    step = 5;
    return true;
  }
  ModelList defaults;
  const ModelList* candidates = &defaults;
  if (const auto similar = similarInstalledModels.find(model); similar != similarInstalledModels.end()) {
    gf_shuffle(similar->second);
    candidates = &similar->second;
  } else {
    std::uint16_t fallback = 0;
    switch (gf_modelCategory(model)) {
      case AcCategory::Light:
        fallback = lf_randomLightModel();
        break;
      case AcCategory::Buzjets:
        fallback = lf_randomBuzjetModel();
        break;
      case AcCategory::Rotorcraft:
        fallback = lf_randomRotorcraftModel();
        break;
      default:
        break;
    }
    if (fallback != 0) defaults.push_back(fallback);
  }
  for (std::uint16_t candidate : *candidates) {
    if (lf_matchAnyOfModel(aircraft, candidate)) {
      step = 6;
      return true;
    }
  }
  return false;
}

bool lf_matchAnyOfModel(AcBase& aircraft, std::uint16_t modelId) {
  const ModelTitles& models = aircraft.codes.cargo != 0 ? cargoModelLiveries : paxModelLiveries;
  const auto found = models.find(modelId);
  if (found == models.end() || found->second.empty()) return false;
  // Without a registration only the last pass applies: any livery of the model.
  return lf_pickByRegistration(aircraft, found->second) || lf_pickLivery(aircraft, found->second);
}

void gf_logMatchingSummary() {
  if (std::none_of(matchesPerStep.begin(), matchesPerStep.end(), [](std::int32_t n) { return n > 0; })) return;
  std::vector<std::string> lines;
  lines.reserve(256);
  lines.push_back(gf_starLine(100, 0, true, false, "live traffic livery matching summary"));
  lines.emplace_back("Matches at step: ");
  for (std::size_t step = 0; step < matchesPerStep.size(); ++step)
    lines.push_back(wdrx::format("  {}: {}", step, matchesPerStep[step]));
  if (!notCreatedTexts.empty()) {
    lines.emplace_back("\nCould not be created");
    for (const std::string& text : notCreatedTexts) lines.push_back("  " + text);
  }
  lines.push_back(gf_starLine(100, 0, false, true, ""));
  for (const std::string& line : lines) gf_log(line);
}
