// parameters.xml as found at start-up: read into the settings, version-checked and, where the
// program does so, converted or rewritten. The data folder is emptied after each input.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "config/parameters_store.hpp"
#include "foundation/paths.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  wdrx::fuzz::writeFile(parametersFile, std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    gf_initParameters();
  } catch (const std::filesystem::filesystem_error&) {
    // A data file that cannot be removed: the start-up shows it to the user.
  }
  std::error_code ec;
  std::filesystem::remove_all(dataFolder, ec);
  return 0;
}
