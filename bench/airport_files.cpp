// Reading the park airport's file (stands, options, neighbour links, learned file) and saving
// its learned file, for a large airport: this runs on the run thread between main-loop steps.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "airports/park_airport_state.hpp"
#include "foundation/format.hpp"
#include "parking/apf_location.hpp"
#include "parking/apf_reader.hpp"
#include "parking/apf_state.hpp"
#include "parking/learned_files.hpp"
#include "parking/stand.hpp"

namespace {

// A working folder of its own holding airports/my_thirdparty/EHAM.xml with `stands` stands in
// rows 40 m apart, each with `options` learned uses.
struct BenchAirport {
  std::filesystem::path path;
  BenchAirport(int stands, int options) {
    path = std::filesystem::temp_directory_path() /
           ("wdrx-bench-apf-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path / "airports/my_thirdparty");
    std::filesystem::current_path(path);
    std::string text =
        R"x(<?xml version="1.0"?><root><meta><info name="copyright" value="(c)"/><info name="sim" value="3"/>)x"
        R"x(<info name="version" value="12.5.4"/></meta><parameters><parameter name="altitude" value="-11"/>)x"
        R"x(<parameter name="publisher" value="Bench"/></parameters><parkpositions>)x";
    for (int s = 0; s < stands; ++s) {
      const double lat = 52.3 + (s / 40) * 0.0006;
      const double lon = 4.76 + (s % 40) * 0.0006;
      text += wdrx::format(R"(<parkpos id="S{}" latitude="{:.6f}" longitude="{:.6f}" radius="22" type="{}">)",
                           s, lat, lon, s % 16 == 12 ? 0 : s % 16);
      for (int o = 0; o < options; ++o) {
        text += wdrx::format(R"(<opt reg="PH-{:03}" airl="KLM" type="B738" day="{}" hh="{}:{}" cs="KLM{}"/>)",
                             o, 1 + o % 7, o % 40, o % 40 + 4, o);
      }
      text += "</parkpos>";
    }
    std::ofstream("airports/my_thirdparty/EHAM.xml") << text << "</parkpositions></root>";
    parkAirportCode.store(IcaoCode("EHAM"));
  }
  ~BenchAirport() {
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    std::filesystem::remove_all(path, ec);
  }
};

void BM_readParkAirportFile(benchmark::State& state) {
  BenchAirport airport(static_cast<int>(state.range(0)), 10);
  for (auto _ : state) {
    lf_clearStands();
    benchmark::DoNotOptimize(gf_readApf("airports/my_thirdparty/EHAM.xml"));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["stands"] = static_cast<double>(standTable.size());
}
BENCHMARK(BM_readParkAirportFile)->Arg(100)->Arg(600)->Unit(benchmark::kMillisecond);

void BM_saveLearnedFile(benchmark::State& state) {
  BenchAirport airport(static_cast<int>(state.range(0)), 0);
  lf_clearStands();
  gf_readApf("airports/my_thirdparty/EHAM.xml");
  for (Stand& stand : standTable) {
    for (std::uint32_t o = 1; o <= 10; ++o) {
      StandOption option;
      option.reg = wdrx::format("PH-{:03}", o);
      option.day = 1 + o % 7;
      option.hours.set(o);
      option.number = o;
      stand.options.push_back(option);
    }
  }
  for (auto _ : state) lf_saveAirportFile();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_saveLearnedFile)->Arg(600)->Unit(benchmark::kMillisecond);

}  // namespace
