// Bytes from the traffic service's PSX-protocol client: cut into lines by the server's line
// buffer in pieces of the sizes the input chooses (as TCP delivers them), each complete line
// handed to the version-answer handler, as the answer to "Qs999=version" is.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "traffic/psx_server.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  wdrx::fuzz::Input input(data, size);
  PsxLineBuffer buffer;
  while (!input.empty()) {
    const std::size_t piece = static_cast<std::size_t>(input.byte()) + 1;
    if (!buffer.append(input.take(piece))) {
      if (buffer.pendingSize() < psxLineLimit) __builtin_trap();  // refused below the limit
      buffer.clear();
    }
    while (auto line = buffer.nextLine()) lf_processRTVersion(*line);
  }
  lf_processRTVersion(buffer.takePending());
  return 0;
}
