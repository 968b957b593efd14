// Version texts: "X.Y.Z" and the JSON object form; bad input gives 0.0.0, never an exception.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/version.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const VersionData version(std::string(reinterpret_cast<const char*>(data), size));
  const std::string text = version.text();
  // What the program writes it reads back as the same version.
  if (VersionData(text) != version && version.major >= 0 && version.minor >= 0 && version.patch >= 0) {
    __builtin_trap();
  }
  return 0;
}
