// The movement of 1,000 live aircraft in mixed phases, cycle by cycle: cruising and climbing,
// on approach down to the flare, taxiing along curved paths, rolling for take-off and standing
// parked. Time per aircraft per cycle of the per-aircraft update (due samples included: each
// aircraft gets a new sample when its queue runs short, as reports would bring them).
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "engine/engine.hpp"
#include "foundation/geodesy.hpp"
#include "records/category_tables.hpp"
#include "records/engine_cycle.hpp"
#include "simlink/sim_queues.hpp"

namespace {

constexpr double lat0 = 52.0, lon0 = 4.0;

enum class Phase { cruise, approach, taxi, takeOffRoll, parked };

struct Leg {
  double knots;
  double altitude;
  double verticalSpeed;  // feet per minute
  double turnDeg;        // track change per sample
  std::int64_t every;    // cycles between samples
  bool airborne;
};

Leg lf_leg(Phase phase) {
  switch (phase) {
    case Phase::cruise:
      return {250.0, 8000.0, 0.0, 2.0, 800, true};
    case Phase::approach:
      return {140.0, 600.0, -700.0, 0.0, 500, true};
    case Phase::taxi:
      return {15.0, 0.0, 0.0, 25.0, 600, false};
    case Phase::takeOffRoll:
      return {60.0, 0.0, 0.0, 0.0, 300, false};
    case Phase::parked:
      return {0.0, 0.0, 0.0, 0.0, 100000, false};
  }
  return {};
}

// The next sample along the aircraft's path after the queue's last one.
PositionSample lf_nextSample(const PositionSample& back, const Leg& leg) {
  PositionSample s = back;
  s.track = std::fmod(back.track + leg.turnDeg, 360.0);
  const double seconds = static_cast<double>(leg.every) / 100.0;
  const LatLon to = gf_destinationPoint({back.latitude, back.longitude}, s.track * degToRad,
                                        leg.knots * seconds * 6076.11549 / 3600.0);
  s.latitude = to.lat;
  s.longitude = to.lon;
  s.dueCycle = back.dueCycle + leg.every;
  s.onGroundMark = leg.knots == 0.0 ? 1 : 0;
  if (leg.airborne) s.altitude = std::max(back.altitude + leg.verticalSpeed * seconds / 60.0, 200.0);
  return s;
}

struct Fleet {
  std::vector<Phase> phases;
};

Fleet lf_build(std::size_t count) {
  Fleet fleet;
  gf_clearAcTables();
  const std::int64_t now = engineCycle.load();
  for (std::size_t i = 0; i < count; ++i) {
    // 40 % cruising, 20 % on approach, 20 % taxiing, 10 % rolling, 10 % parked.
    const std::size_t slot = i % 10;
    const Phase phase = slot < 4   ? Phase::cruise
                        : slot < 6 ? Phase::approach
                        : slot < 8 ? Phase::taxi
                        : slot < 9 ? Phase::takeOffRoll
                                   : Phase::parked;
    const Leg leg = lf_leg(phase);
    AcIdentity id;
    id.callsign = "M" + std::to_string(i);
    AcBase base = gf_buildRecord(id);
    base.category = static_cast<AcCategory>(i % 6);
    const CategoryValues& values = gf_categoryValues(base.category);
    base.groundTurnRate = values.groundTurnRateDeg * degToRad;
    base.turnRate = base.groundTurnRate;
    base.climbLimit = values.climbLimit;
    base.groundSpeedStep = values.groundSpeedStep;
    base.hexid = static_cast<std::uint32_t>(0x400000 + i);
    PositionSample first;
    first.latitude = lat0 + 0.02 * static_cast<double>(i % 40);
    first.longitude = lon0 + 0.02 * static_cast<double>(i / 40);
    first.altitude = leg.airborne ? leg.altitude : 0.0;
    first.groundSpeed = leg.knots;
    first.trueAirspeed = leg.knots;
    first.verticalSpeed = leg.verticalSpeed;
    first.track = 90.0;
    first.airborne = leg.airborne ? 1 : 0;
    first.onGroundMark = phase == Phase::parked ? 1 : 0;
    first.dueCycle = now + 1 + static_cast<std::int64_t>(i % 97);
    LiveAc& ac = gf_appendLiveAc(LiveAc(std::move(base), first, 1000.0));
    ac.simState = SimState::active;
    ac.objectId = static_cast<std::uint32_t>(10000 + i);
    ac.latitude = first.latitude;
    ac.longitude = first.longitude;
    ac.altitude = first.altitude + (leg.airborne ? 0.0 : 8.0);
    ac.heading = 90.0 * degToRad;
    ac.onGround = leg.airborne ? 0 : 1;
    ac.heightAboveGround = leg.airborne ? first.altitude : 8.0;
    ac.groundAltitude = 0.0;
    ac.staticHeight = 8.0;
    ac.flightState = phase == Phase::parked ? FlightState::parked
                     : leg.airborne        ? FlightState::flying
                                           : FlightState::taxi;
    ac.climbOut = phase == Phase::takeOffRoll ? 1 : 0;
    ac.samples.reserve(16);
    for (int k = 0; k < 6; ++k) ac.samples.push_back(lf_nextSample(ac.samples.back(), leg));
    gf_indexObjectId(ac);
    fleet.phases.push_back(phase);
  }
  return fleet;
}

void BM_MovementPerAircraftCycle(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  engineCycle.store(1);
  Fleet fleet = lf_build(count);
  std::int64_t refills = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < liveAcTable.size(); ++i) {
      LiveAc& ac = liveAcTable[i];
      if (ac.samples.size() < 4 && !ac.samples.empty()) {
        ac.samples.push_back(lf_nextSample(ac.samples.back(), lf_leg(fleet.phases[i])));
        ++refills;
      }
      benchmark::DoNotOptimize(updateLiveAc(ac));
    }
    positionUpdateBuffers.fill().clear();
    engineCycle.fetch_add(1);
    if (engineCycle.load() % 1000 == 0) {
      std::lock_guard lock(simQueueMutex);
      clientEventQueue.clear();
    }
  }
  std::size_t active = 0;
  for (const LiveAc& ac : liveAcTable) active += ac.simState == SimState::active ? 1 : 0;
  state.counters["aircraft"] = static_cast<double>(count);
  state.counters["still_active"] = static_cast<double>(active);
  state.counters["samples_fed"] = static_cast<double>(refills);
  state.counters["per_aircraft_cycle"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(count),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  gf_clearAcTables();
  removeIdQueue.clear();
}
BENCHMARK(BM_MovementPerAircraftCycle)->Arg(1000)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace
