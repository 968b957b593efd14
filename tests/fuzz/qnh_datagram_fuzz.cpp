// The QNH datagram of the traffic service ({"QNH":1013}), handed to the QNH Reader's handler;
// the QNH it publishes stays within 900..1100 hPa.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.hpp"
#include "traffic/qnh.hpp"
#include "traffic/udp_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  const std::int32_t before = qnhHpa.load();
  // Read in place: a read past the datagram's end is seen by ASan.
  gf_processQnhDatagram(qnhReader, std::string_view(reinterpret_cast<const char*>(data), size));
  const std::int32_t after = qnhHpa.load();
  if (after != before && (after < 900 || after > 1100)) __builtin_trap();
  return 0;
}
