// Time and heap allocations per main-loop step (lf_mainLoopStep with the program's own wiring:
// the engine cycle and, once a simulated second, the periodic jobs), on the run thread alone.
// Traffic comes as the Traffic Reader hands it over (two reports a step, an aircraft circling
// near the user), and the simulator link's thread is played between the steps (uncounted):
// creations and removals answered at once, sent positions taken, in-range answers every second.
//   steady: the same aircraft all along (no creation, removal or livery match after the
//           warm-up, which lasts until all are created).
//   mixed: every 50 steps (the creation pace) one aircraft leaves the feed and a new one joins:
//          livery matching and creation of the new, removal of the old when its samples run out.
// With more aircraft than MAX_LIVE_SEL (500) the engine also makes room by removing the
// farthest ones. Run:
//   bench_engine_cycle --benchmark_repetitions=6 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "aircraft/reference_db.hpp"
#include "app/main_loop.hpp"
#include "app/program_wiring.hpp"
#include "app/run_services.hpp"
#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "fakesim/fakesim.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_tables.hpp"
#include "records/engine_cycle.hpp"
#include "runstate/run_control.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_handlers.hpp"
#include "simlink/sim_packets.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_results.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/traffic_decoder.hpp"

#include "allocation_count.hpp"

namespace {

constexpr double lat0 = 52.0, lon0 = 4.0;
constexpr int stepsPerSecond = 100;
constexpr int churnSteps = 50;  // one aircraft replaced: the pace of the creations
constexpr std::int64_t creationSteps = 50;  // one creation handed over per 50 cycles
constexpr std::int64_t measuredSteps = 60000;  // ten minutes of flight
constexpr double circleNm = 10.0;
constexpr double speedKt = 250.0;
const char* const airlines[] = {"KLM", "DLH", "BAW", "AFR", "EZY", "RYR"};
const char* const models[] = {"B738", "A320", "B744", "E190"};

std::string lf_registration(std::uint32_t n) {
  std::string text = "PH-";
  for (int i = 0; i < 3; ++i, n /= 26) text += static_cast<char>('A' + n % 26);
  return text;
}

// Reference models and airlines, and liveries: three per airline and model, one of them made
// for a registration that the feed flies.
void lf_referenceData() {
  static bool done = false;
  if (done) return;
  done = true;
  gf_modelId("");
  gf_airlineId("");
  for (const char* model : models) knownModelCodes.insert(model);
  for (const char* airline : airlines) icaoAirlineCodes.insert(airline);
  largeModels = {gf_modelId("B738"), gf_modelId("A320"), gf_modelId("E190")};
  heavyModels = {gf_modelId("B744")};
  for (const char* model : models) lf_fillWingspan(model, 0.01);
  maxHalfWingSpan = 0.02;
  std::uint32_t n = 0;
  for (const char* airline : airlines) {
    for (const char* model : models) {
      for (int l = 0; l < 3; ++l, ++n) {
        scannedLiveries.push_back(LiveryData{std::string(airline) + " " + model + " livery " + std::to_string(n),
                                             l == 0 ? lf_registration(n) : std::string(),
                                             AircraftCodes{gf_airlineId(airline), 0, gf_modelId(model), 0, 0}, 1});
      }
    }
  }
  // Through the cache, as the program's start-up takes them.
  scannedLiveries.sort(lf_liveryLess);
  std::filesystem::create_directories("output/info");
  lf_writeLiveriesScanned();
  gf_processScannedLiveries();
}

// The traffic feed: aircraft flying circles around points near the user, reported in turn.
class Feed {
 public:
  explicit Feed(std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) flights_.push_back(lf_newFlight());
  }

  // Two reports of the aircraft next in turn, as the decoder pushes them.
  void report(std::int64_t step) {
    const double seconds = static_cast<double>(step) / stepsPerSecond;
    for (int k = 0; k < 2; ++k) {
      const Flight& f = flights_[next_++ % flights_.size()];
      const double angle = f.phase + seconds * speedKt / 3600.0 / circleNm;
      LiveReport r;
      r.hexid = f.hexid;
      r.identity.callsign = f.callsign;
      r.identity.registration = f.registration;
      r.identity.codes.modelId = gf_modelId(f.model);
      r.sample.latitude = f.centreLat + circleNm * std::sin(angle) / 60.0;
      r.sample.longitude = f.centreLon + circleNm * std::cos(angle) / 60.0 / std::cos(f.centreLat * degToRad);
      r.sample.altitude = 8000.0;
      r.sample.groundSpeed = speedKt;
      r.sample.trueAirspeed = speedKt;
      r.sample.track = std::fmod(720.0 - angle * radToDeg, 360.0);
      r.sample.airborne = 1;
      r.sample.dueCycle = engineCycle.load() + reportDelayCycles;
      r.timestamp = 1'700'000'000.0 + seconds;
      std::lock_guard lock(trafficMutex);
      addingStack.push_back(std::move(r));
    }
  }

  // One aircraft leaves the feed, a new one joins it.
  void churn() { flights_[churned_++ % flights_.size()] = lf_newFlight(); }

 private:
  struct Flight {
    std::uint32_t hexid;
    std::string callsign;
    std::string registration;
    const char* model;
    double centreLat, centreLon, phase;
  };

  Flight lf_newFlight() {
    const std::uint32_t n = count_++;
    const char* airline = airlines[n % std::size(airlines)];
    std::uniform_real_distribution<double> offset(-0.25, 0.25);
    return Flight{0x400000 + n, airline + std::to_string(100 + n), lf_registration(n * 3 % 1000),
                  models[n / std::size(airlines) % std::size(models)], lat0 + offset(random_),
                  lon0 + offset(random_), offset(random_) * 20.0};
  }

  std::vector<Flight> flights_;
  std::size_t next_ = 0;
  std::size_t churned_ = 0;
  std::uint32_t count_ = 0;
  std::mt19937 random_{1};
};

// The program around the main loop: working folder, log, fake simulator connected, the run's
// services wired, and the SimClient thread's side played by the caller.
class Program {
 public:
  Program() {
    folder_ = std::filesystem::temp_directory_path() / ("wdrx-bench-engine-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
    ::setenv("WDRX_DATA_DIR", folder_.c_str(), 1);
    gf_initDataFolder();
    gf_openLog();
    gf_createFlightPlanFolder();
    rangeNm.store(40.0);
    rangeMeters.store(40u * 1852u);
    lf_referenceData();
    gf_resetSimQueues();
    gf_resetUserAircraft();
    gf_reserveEngineTables();
    gf_resetEngineTables();
    gf_wireProgram();
    fakesim::Options options;
    options.secondInterval = std::chrono::milliseconds(0);
    options.recordPackets = false;
    sim_ = std::make_unique<fakesim::FakeSim>(options);
    if (!sim_->start()) return;
    std::ofstream("SimConnect.cfg") << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << sim_->port() << "\n";
    if (simFailed(SimConnect_Open(&connection_, simClientName, nullptr, 0, nullptr, 0))) return;
    simConnectHandle.store(connection_);
    gf_initSimQueues(5);
    UserAircraftState user;
    user.latitude = lat0;
    user.longitude = lon0;
    user.altitude = 3000.0;
    user.groundSpeed = 200.0;
    const auto packet = simtest::userState(user, 1);
    lf_onUserAircraftData(*reinterpret_cast<const SimRecvSimObjectData*>(packet.recv()), packet.size());
    userPosition = user;
    userObjectId.store(1);
    userOnGround.onGround.store(false);
    userOnGround.known.store(true);
    engineCycle.store(1);
    simRunning.store(true);
    runSeconds.store(0);
    wdrx::testing::resetMainLoop();
    runServices.setAcceptTraffic(true);
    ready_ = true;
  }
  ~Program() {
    simRunning.store(false);
    simConnectHandle.store(nullptr);
    if (connection_ != nullptr) SimConnect_Close(connection_);
    if (sim_) sim_->stop();
    gf_resetEngineTables();
    gf_resetSimQueues();
    runServices = RunServices{};
    wdrx::testing::closeLog();
    std::error_code error;
    std::filesystem::current_path(folder_.parent_path(), error);
    std::filesystem::remove_all(folder_, error);
  }
  bool ready() const { return ready_; }

  // What the SimClient thread does between two steps: the simulator's second, the answers to
  // creations and removals, the in-range answers once a second, the sent positions and events.
  void simClientTurn(std::int64_t step) {
    if (step % stepsPerSecond == 0) secondTick.store(true);
    {
      std::lock_guard lock(simQueueMutex);
      creations_.swap(aiCreationQueue);
      removals_.swap(aiRemovalQueue);
      clientEventQueue.clear();
      positionUpdateBuffers.send().clear();
    }
    for (const AiCreationRecord& record : creations_) {
      objects_.insert(nextObjectId_);
      gf_pushSimResult(SimResult{nextObjectId_++, record.hexid, 0, SimResultKind::liveCreated, 0.0, 8000.0});
    }
    creations_.clear();
    for (const std::uint32_t id : removals_) {
      objects_.erase(id);
      gf_pushSimResult(SimResult{id, 0, 0, SimResultKind::removed, 0.0, 0.0});
    }
    removals_.clear();
    if (step % stepsPerSecond == 50) {
      for (const std::uint32_t id : objects_) gf_pushSimResult(SimResult{id, 0, 0, SimResultKind::inRange, 0.0, 8000.0});
    }
  }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<fakesim::FakeSim> sim_;
  SimConnection* connection_ = nullptr;
  bool ready_ = false;
  std::vector<AiCreationRecord> creations_;
  std::vector<std::uint32_t> removals_;
  std::unordered_set<std::uint32_t> objects_;
  std::uint32_t nextObjectId_ = 1000;
};

void BM_MainLoopStep(benchmark::State& state) {
  const auto aircraft = static_cast<std::size_t>(state.range(0));
  const bool mixed = state.range(1) != 0;
  Program program;
  if (!program.ready()) {
    state.SkipWithError("no fake simulator");
    return;
  }
  Feed feed(aircraft);
  std::int64_t step = 0;
  auto turn = [&] {
    feed.report(step);
    if (mixed && step % churnSteps == 0) feed.churn();
    program.simClientTurn(step);
  };
  // Warm-up: the first reports are shown 30 s after they came, creations go out one per 50
  // cycles; queues and tables grow to size.
  const std::int64_t live = std::min<std::int64_t>(static_cast<std::int64_t>(aircraft), MAX_LIVE_SEL.value.load());
  const std::int64_t warmUpSteps = reportDelayCycles + creationSteps * live + 2000;
  for (; step < warmUpSteps; ++step) {
    turn();
    lf_mainLoopStep();
  }
  std::uint64_t steps = 0;
  std::uint64_t stepsAllocating = 0;
  allocations.store(0);
  for (auto _ : state) {
    turn();
    const std::uint64_t before = allocations.load(std::memory_order_relaxed);
    countingAllocations = true;
    const auto start = std::chrono::steady_clock::now();
    lf_mainLoopStep();
    const auto end = std::chrono::steady_clock::now();
    countingAllocations = false;
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    if (allocations.load(std::memory_order_relaxed) != before) ++stepsAllocating;
    ++steps;
    ++step;
  }
  state.counters["allocs/step"] = static_cast<double>(allocations.load()) / static_cast<double>(steps);
  state.counters["allocating_steps%"] = 100.0 * static_cast<double>(stepsAllocating) / static_cast<double>(steps);
  state.counters["active"] = static_cast<double>(
      std::count_if(liveAcTable.begin(), liveAcTable.end(), [](const LiveAc& ac) { return ac.simState == SimState::active; }));
}

}  // namespace

BENCHMARK(BM_MainLoopStep)
    ->ArgsProduct({{400, 2000}, {0, 1}})
    ->ArgNames({"aircraft", "mixed"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(measuredSteps);
