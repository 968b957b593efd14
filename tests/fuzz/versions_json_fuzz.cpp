// versions.json of the download area: every key's value read as a version; whatever the server
// sends, a value is a version of non-negative numbers or nothing, and never an exception.
#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "app/version_check.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  const auto document =
      nlohmann::json::parse(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size,
                            nullptr, false);
  if (document.is_discarded() || !document.is_object()) return 0;
  for (const auto& [key, value] : document.items()) {
    const auto version = lf_versionFromJson(key, value);
    if (version && (version->major < 0 || version->minor < 0 || version->patch < 0)) __builtin_trap();
  }
  return 0;
}
