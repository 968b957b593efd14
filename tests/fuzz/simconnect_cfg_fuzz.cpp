// SimConnect.cfg: the sections of every configuration index, read as the client library reads
// them when it opens a connection (the registry ports it may fall back on stay absent).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "simconnect/sim_config.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& folder = wdrx::fuzz::workFolder();
  wdrx::fuzz::Input input(data, size);
  const std::uint8_t option = input.byte();
  const std::uint32_t index = option == 0xFF ? 0xFFFFFFFFu : option % 4;
  const auto file = folder / "SimConnect.cfg";
  wdrx::fuzz::writeFile(file, input.rest());
  // The same file twice: a later file overrides what an earlier one set.
  const std::vector<std::filesystem::path> files{file, file};
  SimConnectConfig config;
  if (gf_readSimConnectConfig(index, files, config) == 0) {
    gf_simPipePath(config.address, config.port);
  }
  return 0;
}
