// The BGL airport reader on any file: the quick airport-section test and the whole reading,
// every airport code accepted so that the records' subrecords and parking lists are reached.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "parking/bgl_reader.hpp"

namespace {

struct CheckingSink : BglAirportSink {
  void scanLogLine(std::string) override {}
  bool isSupportedAirport(const IcaoCode&) override { return true; }
  bool linkArchivedAirport(ApfData&) override { return false; }
  void writeGeneratedAirport(ApfData& airport, int helipads) override {
    // What the reader promises of every airport it hands on.
    std::set<std::string> names;
    int heli = 0;
    for (const Stand& stand : airport.stands) {
      if (!names.insert(stand.name).second) __builtin_trap();
      if (!std::isfinite(stand.radius) || !std::isfinite(stand.heading)) __builtin_trap();
      if (!(std::fabs(stand.latitude) <= 90.0 && std::fabs(stand.longitude) <= 180.0)) __builtin_trap();
      if (stand.heli) ++heli;
    }
    if (heli != helipads || airport.airport_name.size() > 45) __builtin_trap();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path& folder = wdrx::fuzz::workFolder();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::filesystem::path file = folder / "fuzz.bgl";
  wdrx::fuzz::writeFile(file, bytes);
  lf_hasAirportSection(file);

  std::istringstream in{std::string(bytes)};
  const std::vector<std::uint32_t> words = lf_readFileWords(in);
  if (words.size() != (size + 3) / 4) __builtin_trap();
  CheckingSink sink;
  lf_processBGLwords(words, file, sink);
  return 0;
}
