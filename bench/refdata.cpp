// Reading the airport and reference databases, and lookups by code, reported per entry. The
// reference reader runs beside a floor doing the same work the plain way (pugixml's parse of the
// same decrypted XML and a std::unordered_map of its registration records), and the
// registration lookup beside a std::unordered_map find of the same keys. Run interleaved:
//   bench_refdata --benchmark_filter='Dbase|Registration' --benchmark_repetitions=12
//     --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "aircraft/reference_db.hpp"
#include "airports/airport_db.hpp"
#include "encrypt/encrypt.hpp"

namespace {

constexpr int airportCount = 70000;
constexpr int registrationCount = 20000;
const char* models[] = {"A320", "A321", "B738", "B744", "B77W", "C172", "E190", "EC35", "CRJ9", "DH8D"};

std::string lf_code(int n, int length) {
  static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string code(length, 'A');
  for (int i = length - 1; i >= 0; --i, n /= 36) code[i] = digits[n % 36];
  return code;
}

// A working folder of its own holding input/airports.enc and input/dbase.enc.
struct BenchFolder {
  std::filesystem::path path;
  std::string dbaseXml;  // what input/dbase.enc decrypts to
  BenchFolder() {
    path = std::filesystem::temp_directory_path() / ("wdrx-bench-refdata-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path / "input");
    std::filesystem::current_path(path);

    std::string airports = "<root><airports>";
    for (int i = airportCount - 1; i >= 0; --i) {
      airports += "<ap c=\"" + lf_code(i * 7 + 1, 4) + "\" i=\"" + lf_code(i, 3) + "\" la=\"" +
                  std::to_string(i % 180 - 90) + ".5\" lo=\"" + std::to_string(i % 360 - 180) +
                  ".25\" a=\"" + std::to_string(i % 9000) + "\" s=\"" + std::to_string(i % 4) + "\"/>";
    }
    write("input/airports.enc", airports + "</airports></root>");

    std::string dbase =
        "<root><aircrafts><aircraft types=\"A320,A321,B738,B744,B77W,C172,E190,EC35,CRJ9,DH8D\"/></aircrafts>"
        "<cargo_types><cargo_type types=\"B744\"/></cargo_types><heavy><hvy types=\"B744,B77W\"/></heavy>"
        "<large><lar types=\"A320,A321,B738\"/></large><buzjet><bzj types=\"C25A\"/></buzjet>"
        "<high_performance><hpf types=\"F16\"/></high_performance><rotorcraft><rot types=\"EC35\"/></rotorcraft>"
        "<ICAO_airlines><ICAO codes=\"KLM,DLH,BAW,AFR\"/></ICAO_airlines>"
        "<cargo_operators><ICAO codes=\"FDX\"/></cargo_operators>"
        "<simaddonsP3D><simaddonP3D arpts=\"EHAM\"/></simaddonsP3D><dbase>";
    const char* airlines[] = {"KLM", "DLH", "BAW", "AFR", "FDX"};
    for (int i = registrationCount - 1; i >= 0; --i) {
      dbase += "<d r=\"D-" + lf_code(i * 13, 4) + "\" a=\"" + airlines[i % 5] + "\" m=\"" + models[i % 10] +
               "\" c=\"" + (i % 5 == 4 ? "1" : "0") + "\"/>";
    }
    dbaseXml = dbase + "</dbase></root>";
    write("input/dbase.enc", dbaseXml);
  }
  ~BenchFolder() {
    std::error_code error;
    std::filesystem::current_path(path.parent_path(), error);
    std::filesystem::remove_all(path, error);
  }
  static void write(const char* file, const std::string& plain) {
    std::ofstream(file, std::ios::binary) << wdrx::encrypt::encryptText(plain);
  }
};

BenchFolder& folder() {
  static BenchFolder instance;
  return instance;
}

void perEntry(benchmark::State& state, int entries) {
  state.SetItemsProcessed(state.iterations() * entries);
  state.counters["time_per_entry"] =
      benchmark::Counter(entries, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ReadAirports(benchmark::State& state) {
  folder();
  for (auto _ : state) {
    wdrx::testing::resetAirports();
    if (!gf_readAirports()) state.SkipWithError("no airports read");
  }
  perEntry(state, airportCount);
}
BENCHMARK(BM_ReadAirports)->Unit(benchmark::kMillisecond);

// The whole reader: decryption to input/dbase.xml, parse from the file, tables, removal.
void BM_ReadDbase(benchmark::State& state) {
  folder();
  for (auto _ : state) {
    wdrx::testing::resetReferenceData();
    if (!gf_readDbase()) state.SkipWithError("dbase not read");
  }
  perEntry(state, registrationCount);
}
BENCHMARK(BM_ReadDbase)->Unit(benchmark::kMillisecond);

// The reader on the decrypted XML in memory: parse and tables, the file steps left out.
void BM_ReadDbaseText(benchmark::State& state) {
  const std::string& xml = folder().dbaseXml;
  for (auto _ : state) {
    wdrx::testing::resetReferenceData();
    if (!gf_readDbaseText(xml)) state.SkipWithError("dbase not read");
  }
  perEntry(state, registrationCount);
}
BENCHMARK(BM_ReadDbaseText)->Unit(benchmark::kMillisecond);

// The floor of BM_ReadDbaseText: pugixml's parse of the same buffer and a hash map of the same
// registration records (registration -> its airline, operator and model texts and cargo flag).
struct PlainRecord {
  std::string_view airline, operatorCode, model;
  bool cargo = false;
};

void BM_PugixmlHashMapDbase(benchmark::State& state) {
  const std::string& xml = folder().dbaseXml;
  for (auto _ : state) {
    pugi::xml_document document;
    if (!document.load_buffer(xml.data(), xml.size())) state.SkipWithError("not parsed");
    std::unordered_map<std::string, PlainRecord> records;
    for (pugi::xml_node element : document.child("root").child("dbase").children("d")) {
      records.emplace(element.attribute("r").as_string(),
                      PlainRecord{element.attribute("a").as_string(), element.attribute("o").as_string(),
                                  element.attribute("m").as_string(), element.attribute("c").as_bool()});
    }
    benchmark::DoNotOptimize(records.size());
  }
  perEntry(state, registrationCount);
}
BENCHMARK(BM_PugixmlHashMapDbase)->Unit(benchmark::kMillisecond);

void BM_IsKnownAirport(benchmark::State& state) {
  folder();
  if (airportTable.empty()) gf_readAirports();
  int i = 0;
  for (auto _ : state) {
    IcaoCode code(lf_code((i++ % airportCount) * 7 + 1, 4));
    benchmark::DoNotOptimize(gf_isKnownAirport(code));
    benchmark::DoNotOptimize(gf_findAirport(code));
  }
}
BENCHMARK(BM_IsKnownAirport);

// Lookup keys in the unhyphenated spelling (DABCD for the stored D-ABCD): the lookup tries
// DA-BCD, then D-ABCD.
const std::vector<std::string>& lf_lookupKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> made;
    for (int i = 0; i < registrationCount; ++i) made.push_back(std::string("D").append(lf_code(i * 13, 4)));
    std::shuffle(made.begin(), made.end(), std::mt19937(7));
    return made;
  }();
  return keys;
}

void BM_FindRegistration(benchmark::State& state) {
  folder();
  if (dbaseRecords.empty()) gf_readDbase();
  const std::vector<std::string>& keys = lf_lookupKeys();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(gf_findRegistration(keys[i++ % keys.size()]));
}
BENCHMARK(BM_FindRegistration);

// Its floor: a find of the same keys in a std::unordered_map of the same records.
void BM_UnorderedMapFindRegistration(benchmark::State& state) {
  folder();
  if (dbaseRecords.empty()) gf_readDbase();
  std::unordered_map<std::string, AircraftCodes> records;
  for (const DbaseRecord& record : dbaseRecords) records.emplace(record.registration, record.codes);
  const std::vector<std::string>& keys = lf_lookupKeys();
  std::size_t i = 0;
  for (auto _ : state) {
    const auto found = records.find(keys[i++ % keys.size()]);
    benchmark::DoNotOptimize(found == records.end() ? std::optional<AircraftCodes>() : found->second);
  }
}
BENCHMARK(BM_UnorderedMapFindRegistration);

void BM_ModelId(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(gf_modelId(models[i++ % 10]));
}
BENCHMARK(BM_ModelId);

// Prefix groups of a 35 kB reference file: one group of every prefix (its text alone is 35 kB),
// or many overlapping groups of 30 sharing their members.
void BM_BuildPrefixGroups(benchmark::State& state) {
  const bool overlapping = state.range(0) != 0;
  std::vector<std::vector<std::string>> lists;
  if (overlapping) {
    for (int g = 0; g < 300; ++g) {
      std::vector<std::string> group;
      for (int m = 0; m < 30; ++m) group.push_back(lf_code((g * 7 + m * 13) % 1500, 3) + "-");
      std::sort(group.begin(), group.end());
      lists.push_back(group);
    }
  } else {
    std::vector<std::string> group;
    for (int m = 0; m < 7000; ++m) group.push_back(lf_code(m, 4));
    lists.push_back(group);
  }
  std::size_t bytes = 0;
  for (const auto& group : lists)
    for (const auto& member : group) bytes += member.size() + 1;
  for (auto _ : state) {
    prefixGroupLists = lists;
    prefixGroups.clear();
    lf_buildPrefixGroups();
    benchmark::DoNotOptimize(gf_similarPrefixes(lists.front().front()).size());
  }
  state.counters["list_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildPrefixGroups)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
