// The installed-livery tables: built from the scanned liveries once per process, read by the
// livery choice of live and static aircraft.
#include "liveries/livery_tables.hpp"

#include <algorithm>
#include <iterator>
#include <set>
#include <utility>

#include "aircraft/reference_db.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "foundation/text.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/regcode_tables.hpp"
#include "records/records.hpp"
#include "simlink/ai_creation.hpp"
#include "traffic/link_state.hpp"

std::unordered_map<std::uint16_t, std::unordered_map<std::uint16_t, std::vector<InstalledLivery>>>
    installedLiveries;
std::array<std::unordered_map<std::uint16_t, ModelTitles>, 2> liveryTables;
ModelTitles paxModelLiveries;
ModelTitles cargoModelLiveries;
std::unordered_map<std::uint16_t, ModelList> similarInstalledModels;
std::unordered_map<std::uint16_t, std::unordered_map<std::uint16_t, ModelList>> similarModelsByAirline;
ModelList defaultLightModels;
ModelList defaultBuzjetModels;
ModelList defaultRotorcraftModels;
std::atomic<bool> liveriesProcessed{false};

namespace {

using ModelLiveries = std::unordered_map<std::uint16_t, std::vector<InstalledLivery>>;

// Every installed title once, for lf_findLiveryTitle (the first of equal titles wins).
std::unordered_set<std::string_view, Fnv1aHash, std::equal_to<>> installedTitleIndex;

// One group of the sorted liveries (one airline key) being gathered: model -> liveries.
struct GroupBuilder {
  ModelLiveries models;
  std::vector<InstalledLivery> liveries;
  std::uint16_t model = 0;

  void enterModel() {
    if (liveries.empty()) return;
    models.try_emplace(model, std::move(liveries));  // never replaces a model already entered
    liveries.clear();
  }
  void enterGroup(std::uint16_t key) {
    enterModel();
    if (models.empty()) return;
    installedLiveries.try_emplace(key, std::move(models));  // nor a key already entered
    models.clear();
  }
};

void lf_addLivery(GroupBuilder& group, const LiveryData& livery) {
  if (livery.codes.modelId != group.model) {
    group.enterModel();
    group.model = livery.codes.modelId;
  }
  group.liveries.push_back({livery.title, livery.codes.cargo != 0});  // a copy of its own size
}

struct CategoryOption {
  CheckBoxParameter* option;
  const char* reason;
};

// The option a category without liveries switches off; none for the other categories.
std::optional<CategoryOption> lf_categoryOption(AcCategory category) {
  switch (category) {
    case AcCategory::Light:
      return CategoryOption{&LIGHT_AIRCRAFT, "light aircraft"};
    case AcCategory::HighPerf:
      return CategoryOption{&HIGH_PERF_AIRCRAFT, "High Perf aircraft"};
    case AcCategory::Rotorcraft:
      return CategoryOption{&HELICOPTERS, "Helicopters"};
    default:
      return std::nullopt;
  }
}

ModelList* lf_defaultModels(AcCategory category) {
  switch (category) {
    case AcCategory::Light:
      return &defaultLightModels;
    case AcCategory::Buzjets:
      return &defaultBuzjetModels;
    case AcCategory::Rotorcraft:
      return &defaultRotorcraftModels;
    default:
      return nullptr;
  }
}

std::uint16_t lf_randomModel(const ModelList& models) {
  if (models.empty()) return 0;
  return models[gf_randomIndex(models.size())];
}

}  // namespace

std::optional<std::uint16_t> lf_knownAirlineId(std::string_view code) {
  std::uint16_t id = 0;
  if (!airlineCodes.find(code, id)) return std::nullopt;
  return id;
}

std::string lf_combinedCode(std::uint16_t airlineId, std::uint16_t operatorId) {
  return wdrx::format("{}{}", airlineCodes[airlineId], airlineCodes[operatorId]);
}

void lf_emptyLiveryTables() {
  installedTitleIndex.clear();
  installedLiveries.clear();
  for (auto& table : liveryTables) table.clear();
  paxModelLiveries.clear();
  cargoModelLiveries.clear();
  similarInstalledModels.clear();
  similarModelsByAirline.clear();
  defaultLightModels.clear();
  defaultBuzjetModels.clear();
  defaultRotorcraftModels.clear();
  lf_emptyRegcodeTables();
}

void gf_clearLiveryTables() {
  liveriesProcessed.store(false);
  // Aircraft and queued creations view the titles: then the next start-up empties the tables.
  if (liveAcTable.empty() && staticAcTable.empty() && creationRequests.empty()) lf_emptyLiveryTables();
}

void gf_processScannedLiveries() {
  if (liveriesProcessed.load()) {
    gf_log("Processing scanned liveries skipped; already done in previous start-up");
    scannedLiveries.clear();
    return;
  }
  // A processing always starts from empty tables (a reset may have been left for now).
  lf_emptyLiveryTables();
  cargoModelLiveries.reserve(75);
  paxModelLiveries.reserve(324);
  regcodeTitles.max_load_factor(0.7f);
  regcodeTitles.reserve(36000);

  lf_readLiveriesScanned();
  liveryCount.store(static_cast<std::int32_t>(scannedLiveries.size()));
  gf_invalidateCountersBand();

  lf_buildLiveryTables();
  lf_buildPaxCargoTables();
  lf_checkRegcodeClashes();
  lf_processOfflineRegcodes();
  gf_log(wdrx::format("{:5} registration codes", regcodeTitles.size()));
  lf_buildModelSets();
  gf_log(wdrx::format("{:5} airlines, {} pax aircraft models and {} cargo aircraft models",
                      installedLiveries.size(), paxModelLiveries.size(), cargoModelLiveries.size()));
  lf_buildSimilarModels();
  gf_log(" ");
  for (AcCategory category : {AcCategory::Light, AcCategory::Buzjets, AcCategory::Large, AcCategory::Heavy,
                              AcCategory::HighPerf, AcCategory::Rotorcraft}) {
    lf_reportCategory(category);
  }
  lf_reportGenericLiveries();
  liveriesProcessed.store(true);
  gf_invalidateCountersBand();
  scannedLiveries.clear();
}

void lf_buildLiveryTables() {
  installedLiveries.reserve(2048);
  // Pass 1: liveries without an operator, filed under their airline id.
  {
    GroupBuilder group;
    std::uint16_t key = 0;
    for (const LiveryData& livery : scannedLiveries) {
      if (livery.codes.operatorId != 0 || livery.title.empty()) continue;
      if (livery.codes.airlineId != key) {
        group.enterGroup(key);
        key = livery.codes.airlineId;
      }
      lf_addLivery(group, livery);
    }
    group.enterGroup(key);
  }
  // Pass 2: liveries with an operator, filed under the code of airline and operator joined.
  {
    GroupBuilder group;
    std::uint16_t airline = 0;
    std::uint16_t op = 0;
    const auto enter = [&] {
      if (op != 0) group.enterGroup(gf_airlineId(lf_combinedCode(airline, op)));
    };
    for (const LiveryData& livery : scannedLiveries) {
      if (livery.codes.operatorId == 0 || livery.title.empty()) continue;
      if (livery.codes.airlineId != airline || livery.codes.operatorId != op) {
        enter();
        group.model = 0;
        airline = livery.codes.airlineId;
        op = livery.codes.operatorId;
      }
      lf_addLivery(group, livery);
    }
    enter();
  }
  // The titles do not move from here on: index them.
  for (const auto& [key, models] : installedLiveries)
    for (const auto& [model, liveries] : models)
      for (const InstalledLivery& livery : liveries) installedTitleIndex.emplace(livery.title);
}

void lf_buildPaxCargoTables() {
  liveryTables[paxTable].reserve(2048);
  liveryTables[cargoTable].reserve(256);
  for (const auto& [key, models] : installedLiveries) {
    ModelTitles pax;
    ModelTitles cargo;
    for (const auto& [model, liveries] : models) {
      const auto cargoCount = static_cast<std::size_t>(
          std::count_if(liveries.begin(), liveries.end(), [](const InstalledLivery& l) { return l.cargo; }));
      TitleList paxTitles;
      TitleList cargoTitles;
      paxTitles.reserve(liveries.size() - cargoCount);
      cargoTitles.reserve(cargoCount);
      for (const InstalledLivery& livery : liveries) (livery.cargo ? cargoTitles : paxTitles).push_back(livery.title);
      if (!paxTitles.empty()) pax.emplace(model, std::move(paxTitles));
      if (!cargoTitles.empty()) cargo.emplace(model, std::move(cargoTitles));
    }
    if (!pax.empty()) liveryTables[paxTable].emplace(key, std::move(pax));
    if (!cargo.empty()) liveryTables[cargoTable].emplace(key, std::move(cargo));
  }
}

void lf_buildModelSets() {
  for (const auto& [key, models] : installedLiveries) {
    for (const auto& [model, liveries] : models) {
      for (const InstalledLivery& livery : liveries)
        (livery.cargo ? cargoModelLiveries : paxModelLiveries)[model].push_back(livery.title);
    }
  }
}

void lf_buildSimilarModels() {
  const auto hasLiveries = [](std::uint16_t model) {
    return paxModelLiveries.contains(model) || cargoModelLiveries.contains(model);
  };
  std::set<std::string, std::less<>> texts;
  for (const std::vector<std::string>& group : similarTypeGroups) {
    for (std::size_t i = 0; i < group.size(); ++i) {
      std::string text = group[i];
      for (std::size_t j = 0; j < group.size(); ++j) {
        if (j != i && hasLiveries(gf_modelId(group[j]))) text += "," + group[j];
      }
      if (text.find(',') != std::string::npos) texts.insert(std::move(text));
    }
  }
  for (const std::string& text : texts) {
    const std::vector<std::string> parts = gf_splitComma(text);
    ModelList similar;
    similar.reserve(parts.size() - 1);
    for (std::size_t i = 1; i < parts.size(); ++i) similar.push_back(gf_modelId(parts[i]));
    similarInstalledModels.try_emplace(gf_modelId(parts.front()), std::move(similar));
  }
  for (const auto& [key, models] : installedLiveries) {
    std::unordered_map<std::uint16_t, ModelList> lacking;
    for (const auto& [model, similar] : similarInstalledModels) {
      if (models.contains(model)) continue;
      ModelList owned;
      for (std::uint16_t s : similar)
        if (models.contains(s)) owned.push_back(s);
      if (!owned.empty()) lacking.try_emplace(model, std::move(owned));
    }
    if (!lacking.empty()) similarModelsByAirline.try_emplace(key, std::move(lacking));
  }
  gf_log(wdrx::format("{:5} similar model definitions", similarInstalledModels.size()));
}

void lf_reportCategory(AcCategory category) {
  const std::string_view name = gf_acCategoryName(category);
  std::size_t paxTitles = 0;
  std::size_t cargoTitles = 0;
  ModelList models;
  for (const auto& [model, titles] : paxModelLiveries) {
    if (gf_modelCategory(model) != category) continue;
    models.push_back(model);
    paxTitles += titles.size();
  }
  for (const auto& [model, titles] : cargoModelLiveries) {
    if (gf_modelCategory(model) != category) continue;
    models.push_back(model);
    cargoTitles += titles.size();
  }
  const std::optional<CategoryOption> option = lf_categoryOption(category);
  if (paxTitles == 0 && cargoTitles == 0) {
    gf_log(wdrx::format("Category {}: No livery found", name));
    if (option) {
      if (option->option->value.load()) {
        option->option->value.store(false);
        gf_saveBoolParameter(*option->option);
        if (SettingsView* view = gf_settingsView()) view->setCheck(*option->option, false);
        gf_log(wdrx::format("{} temporarily switched off because you do not have {} installed",
                            option->option->name, option->reason));
      }
      gf_enableControl(*option->option, false);
    }
    return;
  }
  const std::string cargoText =
      cargoTitles == 0 ? std::string()
                       : wdrx::format(" and {} cargo liverie{}", cargoTitles, gf_pluralSize(cargoTitles));
  gf_log(wdrx::format("Category {}: {} pax liverie{}{}", name, paxTitles, gf_pluralSize(paxTitles), cargoText));
  std::sort(models.begin(), models.end());
  models.erase(std::unique(models.begin(), models.end()), models.end());
  lf_logCodeList(models, lf_defaultModels(category));
  if (option) gf_enableControl(*option->option, true);
}

void lf_reportGenericLiveries() {
  const std::optional<std::uint16_t> zzz = lf_knownAirlineId("ZZZ");
  const auto found = zzz ? installedLiveries.find(*zzz) : installedLiveries.end();
  if (found == installedLiveries.end()) {
    gf_log("No generic liveries");
    return;
  }
  ModelList models;
  models.reserve(found->second.size());
  for (const auto& entry : found->second) models.push_back(entry.first);
  std::sort(models.begin(), models.end());
  gf_log(wdrx::format("{} model{} have a generic livery", models.size(), gf_pluralSize(models.size())));
  lf_logCodeList(models, nullptr);
}

void lf_logCodeList(const ModelList& models, ModelList* target) {
  std::string line = "  ";
  int codesInLine = 0;
  for (std::uint16_t model : models) {
    line += modelCodes[model];
    line += ',';
    if (target) target->push_back(model);
    if (++codesInLine == 20) {
      line.pop_back();
      gf_log(line);
      line = "  ";
      codesInLine = 0;
    }
  }
  if (codesInLine > 0) {
    line.pop_back();
    gf_log(line);
  }
}

std::string_view lf_findLiveryTitle(std::string_view title) {
  const auto found = installedTitleIndex.find(title);
  return found == installedTitleIndex.end() ? std::string_view() : *found;
}

bool lf_hasLivery(std::uint16_t airlineKey, std::uint16_t modelId) {
  const auto key = installedLiveries.find(airlineKey);
  return key != installedLiveries.end() && key->second.contains(modelId);
}

std::uint16_t lf_randomLightModel() { return lf_randomModel(defaultLightModels); }
std::uint16_t lf_randomBuzjetModel() { return lf_randomModel(defaultBuzjetModels); }
std::uint16_t lf_randomRotorcraftModel() { return lf_randomModel(defaultRotorcraftModels); }
