#include "foundation/random.hpp"

#include <chrono>
#include <optional>
#include <utility>

#include "foundation/clock.hpp"
#include "foundation/hooks.hpp"
#include "platform/process.hpp"

namespace {

std::uint32_t lf_threadIdHash() {
  const std::uint32_t id = platform::currentThreadId();
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (int shift = 0; shift < 32; shift += 8) {  // least significant byte first
    hash ^= (id >> shift) & 0xffu;
    hash *= 0x100000001b3ULL;
  }
  return static_cast<std::uint32_t>(hash);
}

std::mt19937 lf_newEngine() {
  std::random_device device;
  const auto nanoseconds = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(gf_clock().steadyNow().time_since_epoch())
          .count());
  std::seed_seq seed{static_cast<std::uint32_t>(device()),
                     static_cast<std::uint32_t>(nanoseconds & 0xffffffffu),
                     static_cast<std::uint32_t>(nanoseconds >> 32), lf_threadIdHash()};
  return std::mt19937(seed);
}

thread_local std::optional<std::mt19937> threadEngine;

}  // namespace

std::mt19937& randomEngine() {
  if (!threadEngine) threadEngine.emplace(lf_newEngine());
  return *threadEngine;
}

void gf_seedRandomEngine(std::uint32_t seed) { threadEngine.emplace(seed); }

std::uint64_t gf_randomIndex(std::uint64_t count) {
  if (!gf_randomOn() || count < 2) return 0;
  std::uniform_int_distribution<std::uint64_t> distribution(0, count - 1);
  return distribution(randomEngine());
}

void gf_shuffle(std::vector<std::uint16_t>& values) {
  if (!gf_randomOn() || values.size() < 2) return;
  // Written out rather than std::shuffle, whose draws are not specified: each position i from 1
  // up swaps with a uniform j in [0, i].
  auto& engine = randomEngine();
  for (std::size_t i = 1; i < values.size(); ++i) {
    const auto j = std::uniform_int_distribution<std::size_t>(0, i)(engine);
    if (j != i) std::swap(values[i], values[j]);
  }
}

double gf_randomPlusMinusPercent(double value, double percent) {
  const std::uint32_t draw = randomEngine()();
  const double sign = (draw & 1u) == 0 ? 1.0 : -1.0;
  return percent > 0.0 ? value + sign * (value * percent / 100.0) : value;
}
