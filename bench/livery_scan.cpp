// The livery scan over a generated tree of 10,000 aircraft.cfg files, beside what `cat` needs to
// read the same files (the floor of any scan); the ratio of processor times is the scan's cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/reference_db.hpp"
#include "aircraft/registrations.hpp"
#include "config/settings.hpp"
#include "liveries/cfg_keys.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/scan_reports.hpp"
#include "platform/process.hpp"
#include "runstate/run_control.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int fileCount = 10000;
constexpr int sectionsPerFile = 4;
const char* models[] = {"A320", "A321", "B738", "B744", "B77W", "E190", "CRJ9", "DH8D"};
const char* airlines[] = {"KLM", "DLH", "BAW", "AFR", "UAL", "DAL", "AAL", "RYR", "EZY", "SWA"};

// A realistic AI aircraft.cfg: a [General] part, [fltsim.N] sections with the usual keys and
// descriptions, and the flight-model sections behind them (about 6 KB).
std::string lf_cfgText(int n) {
  const std::string model = models[n % 8];
  std::string text = "[General]\natc_type=BOEING\natc_model=" + model +
                     "\nperformance=\"Cruise speed 450 kts\\nRange 2900 nm\"\nCategory=airplane\n"
                     "editable=1\n\n";
  for (int s = 0; s < sectionsPerFile; ++s) {
    const std::string airline = airlines[(n + s) % 10];
    const std::string reg = "N" + std::to_string(10000 + n * 4 + s);
    text += "[fltsim." + std::to_string(s) + "]\ntitle=AI " + airline + " " + model + " " + reg +
            "\nsim=Aircraft\nmodel=\npanel=\nsound=\ntexture=" + std::to_string(s) +
            "\nkb_checklists=\nkb_reference=\natc_id=" + reg + "\natc_airline=" + airline +
            "\natc_flight_number=" + std::to_string(100 + s) +
            "\natc_heavy=0\natc_parking_types=GATE,RAMP\natc_parking_codes=" + airline +
            "\nui_manufacturer=\"Boeing\"\nui_type=\"" + model + "\"\nui_variation=\"" + airline + " " + reg +
            "\"\nui_typerole=\"Commercial Airliner\"\nui_createdby=\"AI team\"\n"
            "description=\"One of the most widely used airliners, repainted from photographs of the real "
            "aircraft by the AI team; textures in 4096 pixels, night lighting and reflections included.\"\n"
            "visual_damage=0\n\n";
  }
  text += "[flaps.0]\ntype=1\nspan-outboard=0.5\nextending-time=20\nflaps-position.0=0, 0\n"
          "flaps-position.1=1, 0\nflaps-position.2=2, 0\nflaps-position.3=5, 0\nflaps-position.4=10, 0\n"
          "flaps-position.5=15, 0\nflaps-position.6=25, 0\nflaps-position.7=30, 0\nflaps-position.8=40, 0\n"
          "damaging-speed=250\nblowout-speed=300\nlift_scalar=1.0\ndrag_scalar=1.0\npitch_scalar=1.0\n\n";
  text += "[contact_points]\n";
  for (int p = 0; p < 24; ++p)
    text += "point." + std::to_string(p) + "=1, -" + std::to_string(p * 3) +
            ".00, 0.00, -9.50, 1600, 0, 1.40, 50.0, 0.60, 2.5, 0.72, 4.0, 4.0, 0, 160.0, 195.0\n";
  text += "\n[airplane_geometry]\nwing_area=1341.00\nwing_span=112.60\nwing_root_chord=15.60\n"
          "wing_dihedral=6.00\nwing_incidence=1.20\nwing_twist=-3.00\noswald_efficiency_factor=0.77\n";
  return text;
}

// Processor time (user and system) of this process or of its waited-for children.
struct CpuTime {
  double user = 0.0;
  double system = 0.0;
  double total() const { return user + system; }
};
CpuTime lf_cpuTime(int who) {
  rusage usage{};
  getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}
CpuTime operator-(const CpuTime& a, const CpuTime& b) { return {a.user - b.user, a.system - b.system}; }

double lf_median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

void lf_write(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// The tree, the reference data and the settings of the scan; cat's time over the same files.
struct ScanTree {
  fs::path root;
  fs::path list;
  bool keep = false;  // a tree named by WDRX_BENCH_TREE is made once and kept for later runs
  ScanTree() {
    if (const char* named = std::getenv("WDRX_BENCH_TREE")) {
      root = named;
      keep = true;
    } else {
      root = fs::temp_directory_path() / ("wdrx-bench-liveries-" + std::to_string(std::random_device{}()));
    }
    list = root / "files.txt";
    if (!fs::exists(list)) makeTree();
    fs::current_path(root);
    setUp();
  }

  void makeTree() {
    fs::create_directories(root / "lib");
    std::string names;
    for (int n = 0; n < fileCount; ++n) {
      const fs::path folder = root / "lib" / ("pack" + std::to_string(n / 100)) / ("aircraft" + std::to_string(n));
      fs::create_directories(folder / "model");
      for (int s = 0; s < sectionsPerFile; ++s) fs::create_directories(folder / ("texture." + std::to_string(s)));
      lf_write(folder / "Aircraft.air", "air");
      lf_write(folder / "aircraft.cfg", lf_cfgText(n));
      names += (folder / "aircraft.cfg").string();
      names += '\0';
    }
    lf_write(list, names);
  }

  void setUp() {
    gf_airlineId("");
    gf_modelId("");
    knownModelCodes.insert(std::begin(models), std::end(models));
    icaoAirlineCodes.insert(std::begin(airlines), std::end(airlines));
    for (int i = 0; i < 2000; ++i)
      dbaseRecords.push_back({"N" + std::to_string(10000 + i * 17), AircraftCodes{gf_airlineId("UAL"), 0,
                                                                                  gf_modelId("B738"), 0, 1}});
    lf_sortDbaseRecords();
    const int processors = platform::usableProcessorCount();  // as the program sizes its pool
    workerCount = processors > 0 ? processors : 2;
    lfolder0.value.store((root / "lib").string());
    LIG_PRIORITIZE.value = false;
  }

  ~ScanTree() {
    std::error_code error;
    fs::current_path(root.parent_path(), error);
    if (!keep) fs::remove_all(root, error);
  }

  // One run of `cat` over all the cfg files, output to /dev/null: its wall time and its own
  // processor time (one process, started directly: no shell or xargs in the figures).
  struct Run {
    double wall = 0.0;
    CpuTime cpu;
  };
  Run catRun() const {
    std::ifstream in(list, std::ios::binary);
    std::string names((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<char*> argv{const_cast<char*>("cat")};
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) argv.push_back(names.data() + at);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const CpuTime before = lf_cpuTime(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    const bool ran = posix_spawnp(&pid, "cat", &actions, nullptr, argv.data(), environ) == 0 &&
                     waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!ran) throw std::runtime_error("cat failed");
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            lf_cpuTime(RUSAGE_CHILDREN) - before};
  }

  // One whole livery scan (walk, files, cache and report files); `driver` is the part of the
  // calling thread, which takes the results in order, sorts them and writes the files.
  Run scanRun(CpuTime* driver = nullptr) const {
    SCAN_LIVERIES.value = true;
    const CpuTime before = lf_cpuTime(RUSAGE_SELF);
    const CpuTime driverBefore = lf_cpuTime(RUSAGE_THREAD);
    const auto start = std::chrono::steady_clock::now();
    gf_scanLiveries();
    if (driver != nullptr) *driver = lf_cpuTime(RUSAGE_THREAD) - driverBefore;
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            lf_cpuTime(RUSAGE_SELF) - before};
  }
};

ScanTree& lf_tree() {
  static ScanTree tree;
  return tree;
}

// Rounds of cat and the scan in turn, so that both see the same machine load; the figures are
// the medians over the rounds. The scan's processor time over cat's (cpu/cat_cpu) is the
// measure: the wall time depends on how many processors are free.
void BM_LiveryScan(benchmark::State& state) {
  ScanTree& tree = lf_tree();
  tree.scanRun();  // the tree in the page cache, the cache file written once
  std::vector<double> scanWall, scanCpu, scanSystem, driverCpu, catWall, catCpu, catSystem, ratio;
  for (auto _ : state) {
    const ScanTree::Run cat = tree.catRun();
    CpuTime driver;
    const ScanTree::Run scan = tree.scanRun(&driver);
    driverCpu.push_back(driver.total() * 1000.0);
    state.SetIterationTime(scan.wall);
    scanWall.push_back(scan.wall * 1000.0);
    scanCpu.push_back(scan.cpu.total() * 1000.0);
    scanSystem.push_back(scan.cpu.system * 1000.0);
    catWall.push_back(cat.wall * 1000.0);
    catCpu.push_back(cat.cpu.total() * 1000.0);
    catSystem.push_back(cat.cpu.system * 1000.0);
    ratio.push_back(scan.cpu.total() / cat.cpu.total());
  }
  state.counters["scan_ms"] = lf_median(scanWall);
  state.counters["scan_cpu_ms"] = lf_median(scanCpu);
  state.counters["scan_sys_ms"] = lf_median(scanSystem);
  state.counters["driver_cpu_ms"] = lf_median(driverCpu);
  state.counters["cat_ms"] = lf_median(catWall);
  state.counters["cat_cpu_ms"] = lf_median(catCpu);
  state.counters["cat_sys_ms"] = lf_median(catSystem);
  state.counters["cpu/cat_cpu"] = lf_median(ratio);
  state.counters["files/s"] = static_cast<double>(fileCount) * 1000.0 / lf_median(scanWall);
  state.counters["threads"] = workerCount.load();
}

// One aircraft.cfg of many sections, each with a texture folder of its own (large AI packages
// hold hundreds): the time per section must not grow with the number of sections.
void BM_ManySectionFile(benchmark::State& state) {
  lf_tree();  // reference data and settings
  const int sections = static_cast<int>(state.range(0));
  const fs::path folder = fs::temp_directory_path() / ("wdrx-bench-sections-" + std::to_string(std::random_device{}()));
  fs::create_directories(folder / "model");
  lf_write(folder / "Aircraft.air", "air");
  std::string text = "[General]\natc_model=B738\n";
  for (int s = 0; s < sections; ++s) {
    fs::create_directories(folder / ("texture." + std::to_string(s)));
    text += "[fltsim." + std::to_string(s % 10000) + "]\ntitle=AI KLM B738 " + std::to_string(s) +
            "\nsim=Aircraft\nmodel=\ntexture=" + std::to_string(s) + "\natc_parking_codes=KLM\n\n";
  }
  lf_write(folder / "aircraft.cfg", text);
  const ScanInputs inputs;
  for (auto _ : state) {
    ScanTaskResult result = lf_searchLiveriesinFile(1, folder / "aircraft.cfg", inputs);
    benchmark::DoNotOptimize(result.liveries.size());
  }
  state.counters["time/section"] = benchmark::Counter(
      static_cast<double>(sections) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
  std::error_code error;
  fs::remove_all(folder, error);
}

}  // namespace

BENCHMARK(BM_ManySectionFile)->Arg(500)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveryScan)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
