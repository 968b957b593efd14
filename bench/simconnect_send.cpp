// One frame's send path: 500 position writes (SetDataOnSimObject of the 64-byte position)
// built, queued and written to the fake simulator over loopback TCP.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <thread>

#include "fakesim/fakesim.hpp"
#include "foundation/paths.hpp"
#include "simlink/simconnect/simconnect.hpp"

namespace {

// Heap allocations made on the benchmark thread while `counting` is set.
std::atomic<long long> allocations{0};
thread_local bool counting = false;

constexpr int positionsPerFrame = 500;
constexpr std::uint32_t firstObject = 1000;

}  // namespace

void* operator new(std::size_t size) {
  if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
// The replaced new and delete are a malloc/free pair; GCC, inlining this delete where a new was
// made, sees free() of memory from operator new and takes it for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

void BM_FramePositionWrites(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / ("wdrx-bench-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  ::setenv("WDRX_DATA_DIR", folder.c_str(), 1);
  gf_initDataFolder();

  fakesim::Options options;
  options.secondInterval = std::chrono::milliseconds(0);
  options.recordPackets = false;
  fakesim::FakeSim fake(options);
  std::atomic<long long> positionsSeen{0};
  fake.setPacketObserver([&](const fakesim::Packet& packet) {
    if (packet.is(SimFunction::SetDataOnSimObject)) positionsSeen.fetch_add(1, std::memory_order_relaxed);
  });
  if (!fake.start()) {
    state.SkipWithError("fake simulator did not start");
    return;
  }
  std::ofstream(folder / "registry.ini") << "[HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
                                         << "SimConnect_Port_IPv4=" << fake.port() << "\n";
  for (int i = 0; i < positionsPerFrame; ++i) fake.addObject("Bench", "B" + std::to_string(i));

  SimConnection* handle = nullptr;
  if (SimConnect_Open(&handle, "Bench", nullptr, 0, nullptr, 0) != simOk) {
    state.SkipWithError("open failed");
    return;
  }
  double position[8] = {47.0, 8.0, -0.05, 0.01, 1.5, 3000.0, 10.0, 250.0};
  long long sent = 0;
  std::chrono::nanoseconds queueing{0};
  long long countedAllocations = 0;
  for (auto _ : state) {
    const auto before = allocations.load();
    const auto start = std::chrono::steady_clock::now();
    counting = true;
    for (int i = 0; i < positionsPerFrame; ++i) {
      position[0] += 1e-6;
      SimConnect_SetDataOnSimObject(handle, 402, firstObject + i, 0, 0, 64, position);
    }
    counting = false;
    queueing += std::chrono::steady_clock::now() - start;
    if (sent > 0) countedAllocations += allocations.load() - before;  // the first frame warms up
    sent += positionsPerFrame;
    while (positionsSeen.load(std::memory_order_relaxed) < sent) std::this_thread::yield();
    SimConnect_CallDispatch(handle, nullptr, nullptr);
  }
  const double packets = static_cast<double>(sent);
  state.counters["per_packet"] = benchmark::Counter(packets, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["queue_ns_per_packet"] = static_cast<double>(queueing.count()) / packets;
  state.counters["allocs_per_packet"] =
      sent > positionsPerFrame ? static_cast<double>(countedAllocations) / (packets - positionsPerFrame) : 0.0;
  SimConnect_Close(handle);
  fake.stop();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_FramePositionWrites)->Unit(benchmark::kMicrosecond);

}  // namespace
