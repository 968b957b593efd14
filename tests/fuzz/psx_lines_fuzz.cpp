// Lines from the traffic service's PSX-protocol client: each line of the input is handed to the
// version-answer handler, as an answer to "Qs999=version" would be.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "traffic/psx_server.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  wdrx::fuzz::Input input(data, size);
  while (!input.empty()) lf_processRTVersion(std::string(input.line()));
  return 0;
}
