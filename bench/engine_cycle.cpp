// Time and heap allocations per engine cycle in the steady state: a quarter of the aircraft
// active live ones, a quarter static, half buffered and waiting for their first sample, with
// 200 reports a second (two a cycle) for the active ones and the simulator's in-range answers
// every 100 cycles. The live aircraft follow the test stand-in of the movement (straight legs).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <algorithm>

#include "airports/parking/stand.hpp"
#include "traffic/engine/engine.hpp"
#include "traffic/engine/engine_cycle.hpp"
#include "traffic/engine_harness.hpp"
#include "traffic/traffic_decoder.hpp"

namespace {
// Only the run thread's allocations count (the fake simulator's threads allocate on their own).
thread_local bool countingAllocations = false;
std::atomic<std::uint64_t> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (countingAllocations) allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// The replaced new and delete are a malloc/free pair; GCC, inlining this delete where a new was
// made, sees free() of memory from operator new and takes it for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

using namespace wdrx::testing;

constexpr double lat0 = 52.0, lon0 = 4.0;

struct Fleet {
  std::vector<std::uint32_t> active;
  std::vector<double> lastTime;
  std::size_t next = 0;
};

Fleet lf_build(std::size_t total) {
  Fleet fleet;
  const std::size_t live = total / 4, statics = total / 4, buffered = total / 2;
  const std::int64_t now = engineCycle.load();
  for (std::size_t i = 0; i < live; ++i) {
    const auto hexid = static_cast<std::uint32_t>(0x400000 + i);
    const double lat = lat0 + 0.01 * static_cast<double>(i % 100);
    const double lon = lon0 + 0.01 * static_cast<double>(i / 100);
    LiveAc& ac = addLiveAc(hexid, "A" + std::to_string(i), "B738", SimState::active,
                           static_cast<std::uint32_t>(5000 + i), lat, lon, 8000);
    ac.flightState = FlightState::flying;
    ac.samples.clear();
    ac.samples.reserve(32);
    for (int k = 0; k < 12; ++k)
      ac.samples.push_back(sampleAt(lat, lon + 0.001 * k, 8000, 250, now + 1 + static_cast<std::int64_t>(i % 250) + 250 * k, 90));
    ac.lastReportTime = 1000.0;
    fleet.active.push_back(hexid);
    fleet.lastTime.push_back(1000.0);
  }
  for (std::size_t i = 0; i < statics; ++i)
    addStaticAc(static_cast<std::uint32_t>(i + 1), "S" + std::to_string(i) + "*", 0, SimState::active,
                static_cast<std::uint32_t>(100000 + i));
  for (std::size_t i = 0; i < buffered; ++i) {
    LiveAc& ac = addLiveAc(static_cast<std::uint32_t>(0x800000 + i), "B" + std::to_string(i), "A320",
                           SimState::buffer, 0, lat0 - 0.5, lon0, 6000);
    ac.samples.front().dueCycle = now + 100'000'000;  // waits for its first sample the whole run
  }
  return fleet;
}

// Two reports of active aircraft; the in-range answers every 100 cycles.
void lf_feed(Fleet& fleet) {
  const std::int64_t cycle = engineCycle.load();
  for (int k = 0; k < 2; ++k) {
    const std::size_t i = fleet.next++ % fleet.active.size();
    fleet.lastTime[i] += 5.0;
    const LiveAc* ac = gf_findLiveAc(fleet.active[i]);
    if (ac == nullptr || ac->samples.empty()) continue;
    const PositionSample& back = ac->samples.back();
    LiveReport r = EngineHarness::report(fleet.active[i], ac->callsign, "B738", back.latitude, back.longitude + 0.01,
                                         8000, 250, (fleet.next % 2 == 0) ? 95 : 85, fleet.lastTime[i]);
    std::lock_guard lock(trafficMutex);
    addingStack.push_back(std::move(r));
  }
  if (cycle % 100 == 50) {
    for (std::size_t i = 0; i < fleet.active.size(); ++i)
      gf_pushSimResult(SimResult{static_cast<std::uint32_t>(5000 + i), 0, 0, SimResultKind::inRange, 0.0, 8000.0});
  }
}

void BM_EngineCycle(benchmark::State& state) {
  const auto total = static_cast<std::size_t>(state.range(0));
  EngineHarness h(HarnessOptions{.connectSim = true, .seed = 1, .openLog = false});
  gf_reserveEngineTables();
  Fleet fleet = lf_build(total);
  // Warm-up: queues, buffers and indexes reach their working sizes.
  for (int i = 0; i < 3000; ++i) {
    lf_feed(fleet);
    lf_handleAddingStack();
    h.takeSentPositions();
  }
  std::uint64_t cycles = 0;
  allocations.store(0);
  for (auto _ : state) {
    lf_feed(fleet);
    countingAllocations = true;
    const auto start = std::chrono::steady_clock::now();
    lf_handleAddingStack();
    const auto end = std::chrono::steady_clock::now();
    countingAllocations = false;
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    if (cycles % 64 == 0) h.takeSentPositions();  // what the SimClient thread would send
    ++cycles;
  }
  state.counters["allocs/cycle"] = static_cast<double>(allocations.load()) / static_cast<double>(cycles);
  state.counters["active"] = static_cast<double>(
      std::count_if(liveAcTable.begin(), liveAcTable.end(), [](const LiveAc& ac) { return ac.simState == SimState::active; }));
}

}  // namespace

BENCHMARK(BM_EngineCycle)->Arg(2000)->Arg(8000)->Arg(16000)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
