// One frame's send path: 500 position writes (SetDataOnSimObject of the 64-byte position),
// apart: the caller's cost per call (build, stamp, queue, and the writer woken when asleep) and
// the writer's cost per packet (queue taken, written to a loopback socket, read out by a bare
// reader that parses nothing).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include <time.h>

#include "fakesim/fakesim.hpp"
#include "foundation/paths.hpp"
#include "platform/sim_transport.hpp"
#include "simconnect/simconnect.hpp"
#include "simlink/sim_client.hpp"

#include "allocation_count.hpp"

namespace {

constexpr int positionsPerFrame = 500;
constexpr std::uint32_t firstObject = 1000;
constexpr std::size_t positionPacketSize = 36 + 64;  // SetDataOnSimObject header and data

}  // namespace

namespace {

using Clock = std::chrono::steady_clock;

double lf_nanoseconds(Clock::duration d) { return std::chrono::duration<double, std::nano>(d).count(); }

// CPU time of the calling thread: what it spent running, without the time it was preempted
// (or blocked) on a loaded machine.
double lf_threadCpuNs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// The value at fraction q (0..1) of the sorted values.
double lf_quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0.0;
  const auto at = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
}

// Dispatch callback: counts the exceptions the simulator answered with.
void lf_countExceptions(const SimRecv* packet, std::uint32_t, void* context) {
  if (simRecvId(packet) == SimRecvId::Exception) ++*static_cast<long long*>(context);
}

// The caller's side through the SimConnect library to the fake simulator. call_ns is the
// median over frames of a frame's time per call; call_ns_p90 and call_ns_max show its spread;
// call_cpu_ns is the median of the thread's CPU time per call (a preempted caller's wait left out).
// sim_ns_per_packet is the time until the fake simulator has parsed the frame, per packet (its
// parsing included: not our cost).
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
  // The program's own definitions: the positions land in definition 402 as they do in a run,
  // not in an unknown one that the simulator answers with an exception each.
  lf_defineSimData(handle);
  long long exceptions = 0;
  double position[8] = {47.0, 8.0, -0.05, 0.01, 1.5, 3000.0, 10.0, 250.0};
  long long sent = 0;
  std::vector<double> callNs;
  std::vector<double> callCpuNs;
  Clock::duration toSim{0};
  std::uint64_t countedAllocations = 0;
  for (auto _ : state) {
    const auto before = allocations.load();
    const double cpuStart = lf_threadCpuNs();
    const auto start = Clock::now();
    countingAllocations = true;
    for (int i = 0; i < positionsPerFrame; ++i) {
      position[0] += 1e-6;
      SimConnect_SetDataOnSimObject(handle, 402, firstObject + i, 0, 0, 64, position);
    }
    countingAllocations = false;
    const auto queued = Clock::now();
    const double cpuQueued = lf_threadCpuNs();
    if (sent > 0) {  // the first frame warms up
      countedAllocations += allocations.load() - before;
      callNs.push_back(lf_nanoseconds(queued - start) / positionsPerFrame);
      callCpuNs.push_back((cpuQueued - cpuStart) / positionsPerFrame);
    }
    sent += positionsPerFrame;
    while (positionsSeen.load(std::memory_order_relaxed) < sent) std::this_thread::yield();
    toSim += Clock::now() - start;
    SimConnect_CallDispatch(handle, lf_countExceptions, &exceptions);
  }
  if (exceptions != 0) state.SkipWithError("the fake simulator refused packets");
  const double packets = static_cast<double>(sent);
  state.counters["call_ns"] = lf_quantile(callNs, 0.5);
  state.counters["call_ns_p90"] = lf_quantile(callNs, 0.9);
  state.counters["call_ns_max"] = lf_quantile(callNs, 1.0);
  state.counters["call_cpu_ns"] = lf_quantile(callCpuNs, 0.5);
  state.counters["sim_ns_per_packet"] = lf_nanoseconds(toSim) / packets;
  state.counters["allocs_per_call"] =
      callNs.empty() ? 0.0 : static_cast<double>(countedAllocations) / (static_cast<double>(callNs.size()) * positionsPerFrame);
  SimConnect_Close(handle);
  fake.stop();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_FramePositionWrites)->Unit(benchmark::kMicrosecond);

// A sink that takes what the peer sends and drops it.
class DroppingSink final : public platform::SimTransportSink {
 public:
  std::span<std::byte> receiveSpace() override { return buffer_; }
  bool received(std::size_t) override { return true; }
  void disconnected(platform::DisconnectReason, int) override {}

 private:
  std::vector<std::byte> buffer_ = std::vector<std::byte>(4096);
};

// The writer's side: the transport alone, its frame of 500 queued position packets written to
// a loopback peer that only counts the bytes. writer_ns_per_packet is the time from the first
// write until the peer holds the whole frame, per packet (the caller's calls overlap with it).
void BM_TransportWriter(benchmark::State& state) {
  std::string error;
  const auto listener = platform::listenTcp("127.0.0.1", 0, error);
  if (!listener) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::unique_ptr<platform::ByteStream> peer;
  std::thread accepting([&] { peer = listener->accept(std::chrono::milliseconds(5000)); });
  platform::SimConnectAttempt attempt =
      platform::connectSimTcp(platform::TcpFamily::ipv4, "127.0.0.1", std::to_string(listener->port()), true);
  accepting.join();
  if (!attempt.transport || !peer) {
    state.SkipWithError("no loopback connection");
    return;
  }
  DroppingSink sink;
  attempt.transport->start(sink);
  std::atomic<std::uint64_t> received{0};
  std::thread reading([&] {
    std::vector<std::byte> buffer(256 * 1024);
    for (long n; (n = peer->read(buffer.data(), buffer.size())) > 0;)
      received.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_release);
    peer->shutdown();  // our side ends too once the transport has ended its own
  });

  std::vector<std::byte> packet(positionPacketSize, std::byte{7});
  std::uint64_t sentBytes = 0;
  std::vector<double> packetNs;
  for (auto _ : state) {
    const auto start = Clock::now();
    for (int i = 0; i < positionsPerFrame; ++i) attempt.transport->write(packet.data(), packet.size());
    sentBytes += positionsPerFrame * positionPacketSize;
    while (received.load(std::memory_order_acquire) < sentBytes) std::this_thread::yield();
    packetNs.push_back(lf_nanoseconds(Clock::now() - start) / positionsPerFrame);
  }
  state.counters["writer_ns_per_packet"] = lf_quantile(packetNs, 0.5);
  state.counters["writer_ns_per_packet_p90"] = lf_quantile(packetNs, 0.9);
  attempt.transport->close();
  reading.join();
}
BENCHMARK(BM_TransportWriter)->Unit(benchmark::kMicrosecond);

}  // namespace
