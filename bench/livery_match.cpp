// Livery tables and matching at full size: 30,000 installed liveries, 20,000 of them with their
// own registration, 20,000 reference registrations. Reports the time to build the tables (from
// the cache file and from memory), per live and per static match, and per title searched for a
// registration by the livery scan.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "aircraft/reference_db.hpp"
#include "aircraft/registrations.hpp"
#include "config/settings.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_match_steps.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/livery_tables.hpp"
#include "liveries/regcode_tables.hpp"
#include "parking/stand.hpp"

namespace {

constexpr int airlineCount = 300;
constexpr int modelCount = 20;
constexpr int liveriesPerModel = 5;  // 300 x 20 x 5 = 30,000 liveries
constexpr int registeredLiveries = 20000;

std::string lf_letters(int n, int length) {
  std::string code(static_cast<std::size_t>(length), 'A');
  for (int i = length - 1; i >= 0; --i, n /= 26) code[static_cast<std::size_t>(i)] = static_cast<char>('A' + n % 26);
  return code;
}

std::string lf_airline(int i) { return lf_letters(i + 1000, 3); }
std::string lf_model(int i) { return "M" + std::to_string(100 + i); }
// Registrations of five to six bytes in the prefixes D-, G-, F-, N.
std::string lf_registration(int i) {
  static const char* prefixes[] = {"D-", "G-", "F-", "N"};
  return prefixes[i % 4] + lf_letters(i, 4);
}

std::vector<LiveryData> lf_liveries() {
  std::vector<LiveryData> liveries;
  liveries.reserve(airlineCount * modelCount * liveriesPerModel);
  int n = 0;
  for (int a = 0; a < airlineCount; ++a) {
    // Every airline flies a quarter of the models, so the similar-model steps have work.
    for (int m = 0; m < modelCount; ++m) {
      const int model = (m + a) % (modelCount * 4);
      for (int l = 0; l < liveriesPerModel; ++l, ++n) {
        const std::string airline = a == 0 ? "ZZZ" : a == 1 ? "PVT" : lf_airline(a);
        LiveryData livery{airline + " " + lf_model(model) + " livery " + std::to_string(n),
                          n < registeredLiveries ? lf_registration(n) : std::string(),
                          AircraftCodes{gf_airlineId(airline), 0, gf_modelId(lf_model(model)),
                                        static_cast<std::uint8_t>(l == 4 ? 1 : 0), 0},
                          1};
        liveries.push_back(std::move(livery));
      }
    }
  }
  return liveries;
}

// Reference data, a working folder holding the cache, and the tables built once.
struct Setup {
  std::filesystem::path folder;
  std::vector<LiveryData> liveries;

  Setup() {
    folder = std::filesystem::temp_directory_path() / ("wdrx-bench-livery-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder / "output/info");
    std::filesystem::create_directories(folder / "input");
    std::filesystem::current_path(folder);

    gf_airlineId("");
    gf_modelId("");
    for (int m = 0; m < modelCount * 4; ++m) {
      knownModelCodes.insert(lf_model(m));
      (m % 8 == 0 ? heavyModels : m % 8 == 1 ? buzjetModels : largeModels).insert(gf_modelId(lf_model(m)));
    }
    for (int g = 0; g < modelCount * 4; g += 4)
      similarTypeGroups.push_back({lf_model(g), lf_model(g + 1), lf_model(g + 2), lf_model(g + 3)});
    prefixGroupLists = {{"D-", "F-", "G-"}};
    lf_buildPrefixGroups();
    for (int r = 0; r < registeredLiveries; ++r)
      dbaseRecords.push_back({lf_registration(r + 7), AircraftCodes{gf_airlineId(lf_airline(r % airlineCount)), 0,
                                                                  gf_modelId(lf_model(r % modelCount)), 0, 1}});
    lf_sortDbaseRecords();

    liveries = lf_liveries();
    scannedLiveries.assign(liveries.begin(), liveries.end());
    scannedLiveries.sort(lf_liveryLess);
    lf_writeLiveriesScanned();
    gf_processScannedLiveries();
  }
  ~Setup() {
    std::error_code error;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), error);
    std::filesystem::remove_all(folder, error);
  }
};

Setup& lf_setup() {
  static Setup setup;
  return setup;
}

// A mix of aircraft reaching every step: own registration, airline and model, similar model,
// generic and private liveries, and unknown models.
std::vector<LiveAc> lf_aircraft() {
  std::vector<LiveAc> aircraft;
  std::mt19937 random(42);
  for (int i = 0; i < 4096; ++i) {
    LiveAc ac;
    const int kind = i % 6;
    const int airline = 2 + static_cast<int>(random() % (airlineCount - 2));
    const int model = static_cast<int>(random() % (modelCount * 4));
    const std::string code = kind == 4 ? "PVT" : lf_airline(airline);
    ac.codes = AircraftCodes{gf_airlineId(code), 0, gf_modelId(lf_model(model)),
                             static_cast<std::uint8_t>(kind == 5 ? 1 : 0), 0};
    if (kind == 0) ac.registration = lf_registration(static_cast<int>(random() % registeredLiveries));
    if (kind == 4) ac.registration = lf_registration(static_cast<int>(random() % 100000));
    if (kind == 3) ac.codes.modelId = gf_modelId("ZZZZ");  // no livery of its own anywhere
    ac.category = gf_modelCategory(ac.codes.modelId);
    ac.callsign = code + std::to_string(i);
    aircraft.push_back(std::move(ac));
  }
  return aircraft;
}

void BM_ProcessFromCache(benchmark::State& state) {
  lf_setup();
  for (auto _ : state) {
    gf_clearLiveryTables();
    gf_processScannedLiveries();
  }
  state.SetItemsProcessed(state.iterations() * airlineCount * modelCount * liveriesPerModel);
  state.counters["liveries"] = static_cast<double>(airlineCount * modelCount * liveriesPerModel);
}
BENCHMARK(BM_ProcessFromCache)->Unit(benchmark::kMillisecond);

// The tables alone, from the liveries in memory (no cache reading, no regcode files): the
// whole rebuild, with the emptying, the copy of the scanned liveries and their sort.
void BM_BuildTables(benchmark::State& state) {
  Setup& setup = lf_setup();
  for (auto _ : state) {
    lf_emptyLiveryTables();
    scannedLiveries.assign(setup.liveries.begin(), setup.liveries.end());
    scannedLiveries.sort(lf_liveryLess);
    lf_buildLiveryTables();
    lf_buildPaxCargoTables();
    lf_checkRegcodeClashes();
    lf_buildModelSets();
    lf_buildSimilarModels();
  }
  scannedLiveries.clear();
  state.SetItemsProcessed(state.iterations() * airlineCount * modelCount * liveriesPerModel);
}
BENCHMARK(BM_BuildTables)->Unit(benchmark::kMillisecond);

void BM_LiveMatch(benchmark::State& state) {
  lf_setup();
  gf_clearLiveryTables();
  gf_processScannedLiveries();
  MATCHING_DEPTH.value = 4;
  RANDOM.value = state.range(0) != 0;
  std::vector<LiveAc> aircraft = lf_aircraft();
  std::size_t i = 0;
  std::int64_t matched = 0;
  for (auto _ : state) {
    LiveAc& ac = aircraft[i++ % aircraft.size()];
    gf_matchLivery(ac);
    matched += ac.liveryTitle.empty() ? 0 : 1;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["matched%"] = 100.0 * static_cast<double>(matched) / static_cast<double>(state.iterations());
  RANDOM.value = true;
}
BENCHMARK(BM_LiveMatch)->Arg(0)->Arg(1)->ArgName("random");

void BM_StaticMatch(benchmark::State& state) {
  lf_setup();
  MATCHING_DEPTH.value = 4;
  std::vector<LiveAc> aircraft = lf_aircraft();
  const Stand stand(std::vector<StandOption>{}, "A12", StandPosition{}, 37.0, 12, true, false, false);
  std::size_t i = 0;
  for (auto _ : state) {
    AcBase ac = aircraft[i++ % aircraft.size()];
    ac.liveryTitle = {};
    benchmark::DoNotOptimize(gf_matchStaticLivery(ac, stand));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StaticMatch);

// The scan's search for a registration in a livery title, against 20,000 reference records.
void BM_RegistrationInTitle(benchmark::State& state) {
  Setup& setup = lf_setup();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lf_registrationInText(setup.liveries[i++ % setup.liveries.size()].title));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistrationInTitle);

// Beside it, the former way: every short reference registration searched as a substring.
void BM_RegistrationInTitleSubstringWalk(benchmark::State& state) {
  Setup& setup = lf_setup();
  std::size_t i = 0;
  for (auto _ : state) {
    const std::string& title = setup.liveries[i++ % setup.liveries.size()].title;
    const DbaseRecord* found = nullptr;
    for (const DbaseRecord& record : dbaseRecords) {
      if (!record.registration.empty() && record.registration.size() < 6 &&
          title.find(record.registration) != std::string::npos) {
        found = &record;
        break;
      }
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistrationInTitleSubstringWalk);

}  // namespace
