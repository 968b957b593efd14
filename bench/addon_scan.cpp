// The add-on airport scan over 2,000 generated BGL files (each one airport with 40 stands and
// 2 helipads, all generating airport files and going into tblo.zip), the same tree of files
// without airport sections (the quick test alone), and the reading of one file in memory.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "airports/airport_db.hpp"
#include "config/settings.hpp"
#include "foundation/paths.hpp"
#include "parking/addon_scan.hpp"
#include "parking/bgl_reader.hpp"
#include "runstate/run_control.hpp"
#include "support/bgl_writer.hpp"

namespace fs = std::filesystem;
namespace bw = wdrx::testing::bgl;

namespace {

constexpr int fileCount = 2000;

std::string lf_code(int n) {
  std::string code = "A";
  for (int i = 0, v = n; i < 3; ++i, v /= 26) code.insert(1, 1, static_cast<char>('A' + v % 26));
  return code;
}

bw::Record lf_airport(const std::string& code) {
  std::vector<bw::Parking> parkings;
  for (std::uint32_t i = 1; i <= 40; ++i) {
    bw::Parking p;
    p.number = i;
    p.nameCode = 10;
    p.latitude = 52.3 + i * 0.0003;
    parkings.push_back(p);
  }
  bw::Helipad second;
  second.latitude += 0.001;
  return bw::simpleAirport(code, code + " International", parkings, {bw::Helipad{}, second});
}

// A working folder with the scenery tree: scenery/with/pNN/<code>.bgl and scenery/without/...
struct BenchFolder {
  fs::path path;
  BenchFolder() {
    path = fs::temp_directory_path() / ("wdrx-bench-scan-" + std::to_string(std::random_device{}()));
    fs::create_directories(path / "data");
    fs::current_path(path);
    ::setenv("WDRX_DATA_DIR", (path / "data").c_str(), 1);
    gf_initDataFolder();
    bw::File terrain;
    terrain.sections.push_back(bw::Section{0x65, 0, {bw::Subsection{{bw::Record{0x99, std::vector<std::uint8_t>(600, 1), {}, {}}}, {}, {}}}, {}});
    for (int i = 0; i < fileCount; ++i) {
      const std::string code = lf_code(i);
      const fs::path folder = fs::path("p" + std::to_string(i / 100));
      bw::airportFile({lf_airport(code)}).write(path / "scenery" / "with" / folder / (code + ".bgl"));
      terrain.write(path / "scenery" / "without" / folder / (code + ".bgl"));
      airportIndex.insert(IcaoCode(code));
    }
  }
  ~BenchFolder() {
    fs::current_path(fs::temp_directory_path());
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

BenchFolder& folder() {
  static BenchFolder instance;
  return instance;
}

void lf_scan(benchmark::State& state, const char* tree) {
  folder();
  stockAirportsPath.clear();
  afolder0.value.store((folder().path / "scenery" / tree).string());
  for (auto _ : state) {
    SCAN_AIRPORTS.value.store(true);
    gf_scanAddonAirports();
  }
  state.SetItemsProcessed(state.iterations() * fileCount);
  state.counters["files"] = fileCount;
}

void BM_AddonScanWithAirports(benchmark::State& state) { lf_scan(state, "with"); }
void BM_AddonScanWithoutAirports(benchmark::State& state) { lf_scan(state, "without"); }

struct NullSink : BglAirportSink {
  std::size_t stands = 0;
  void scanLogLine(std::string) override {}
  bool isSupportedAirport(const IcaoCode&) override { return true; }
  bool linkArchivedAirport(ApfData&) override { return false; }
  void writeGeneratedAirport(ApfData& airport, int) override { stands += airport.stands.size(); }
};

void BM_ReadOneBglFileInMemory(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = bw::airportFile({lf_airport("EHAM")}).bytes();
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  const std::vector<std::uint32_t> words = lf_readFileWords(in);
  NullSink sink;
  for (auto _ : state) lf_processBGLwords(words, "eham.bgl", sink);
  benchmark::DoNotOptimize(sink.stands);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

}  // namespace

BENCHMARK(BM_AddonScanWithAirports)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AddonScanWithoutAirports)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReadOneBglFileInMemory)->Unit(benchmark::kMicrosecond);
