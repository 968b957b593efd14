// The stand work of the run thread at a large park airport: the full static-parking
// calculation (between main-loop steps), the stand for an arriving aircraft and the stand under
// the user aircraft (once a second from the simulator thread).
#include <benchmark/benchmark.h>

#include <string>

#include "aircraft/aircraft_codes.hpp"
#include "config/settings.hpp"
#include "parking/slot_sets.hpp"
#include "parking/stand.hpp"
#include "parking/stand_services.hpp"
#include "parking/static_parking.hpp"
#include "runstate/run_control.hpp"
#include "simlink/user_aircraft.hpp"

namespace {

// `stands` stands in rows 40 m apart, neighbours left and right, each with `options` learned
// uses spread over the week.
void lf_buildAirport(int stands, int options) {
  standTable.clear();
  standTable.reserve(static_cast<std::size_t>(stands));
  AircraftCodes codes;
  codes.airlineId = gf_airlineId("KLM");
  codes.modelId = gf_modelId("B738");
  for (int s = 0; s < stands; ++s) {
    const double lat = 52.3 + (s / 40) * 0.0006;
    const double lon = 4.76 + (s % 40) * 0.0006;
    Stand& stand = standTable.emplace_back(std::vector<StandOption>{}, "S" + std::to_string(s),
                                           StandPosition{lat, lon, 0.0}, 22.0, 12, false, false, false);
    stand.number = static_cast<std::uint32_t>(s + 1);
    if (s % 40 != 0) stand.neighbours.push_back(stand.number - 1);
    if (s % 40 != 39 && s + 1 < stands) stand.neighbours.push_back(stand.number + 1);
    for (int o = 0; o < options; ++o) {
      StandOption option;
      option.codes = codes;
      option.reg = "PH-" + std::to_string(s * options + o);
      option.cs1 = "KLM" + std::to_string(s * options + o);
      option.day = static_cast<std::uint32_t>(1 + (s + o) % 7);
      for (std::uint32_t h = static_cast<std::uint32_t>(o * 4 % 44); h < static_cast<std::uint32_t>(o * 4 % 44 + 4); ++h)
        option.hours.set(h);
      option.number = static_cast<std::uint32_t>(o + 1);
      stand.options.push_back(std::move(option));
    }
  }
  gf_publishStandPositions();
}

void BM_calcStaticParking(benchmark::State& state) {
  RANDOM.value.store(false);
  WEEK.value.store(true);
  currentWeekSlot.store(WeekSlot{2, 20}.packed());
  for (auto _ : state) {
    state.PauseTiming();
    lf_buildAirport(static_cast<int>(state.range(0)), 10);
    state.ResumeTiming();
    lf_calcStaticParking();
    benchmark::DoNotOptimize(staticCandidates.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_calcStaticParking)->Arg(100)->Arg(600)->Unit(benchmark::kMillisecond);

void BM_findStandForAircraft(benchmark::State& state) {
  lf_buildAirport(static_cast<int>(state.range(0)), 10);
  LiveAc aircraft;
  aircraft.callsign = "TRA123";
  aircraft.category = AcCategory::Large;
  aircraft.radius = 17.0 * metresToNm;
  int i = 0;
  for (auto _ : state) {
    const Stand& target = standTable[static_cast<std::size_t>(i++ % state.range(0))];
    benchmark::DoNotOptimize(gf_findStandForAircraft(aircraft, target.latitude + 1e-5, target.longitude,
                                                     standSearchRadiusWide, true));
  }
}
BENCHMARK(BM_findStandForAircraft)->Arg(100)->Arg(600);

void BM_nearestStandName(benchmark::State& state) {
  lf_buildAirport(static_cast<int>(state.range(0)), 0);
  userOnGround.onGround.store(true);
  int i = 0;
  for (auto _ : state) {
    const Stand& target = standTable[static_cast<std::size_t>(i++ % state.range(0))];
    benchmark::DoNotOptimize(gf_nearestStandName(target.latitude + 1e-5, target.longitude));
  }
}
BENCHMARK(BM_nearestStandName)->Arg(100)->Arg(600);

}  // namespace
