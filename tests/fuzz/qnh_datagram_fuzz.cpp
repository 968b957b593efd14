// The QNH datagram of the traffic service ({"QNH":1013}), handed to the QNH Reader's handler
// as its thread does; the QNH it publishes stays within 900..1100 hPa.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz_support.hpp"
#include "traffic/qnh.hpp"
#include "traffic/udp_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  QnhReader& reader = qnhReader;
  size = std::min(size, readerBufferSize);
  std::copy(data, data + size, reader.buffer.begin());
  reader.buffer[size] = 0;
  reader.datagram = std::string_view(reader.buffer.data(), size);
  const std::int32_t before = qnhHpa.load();
  lf_processQnh(reader);
  const std::int32_t after = qnhHpa.load();
  if (after != before && (after < 900 || after > 1100)) __builtin_trap();
  return 0;
}
