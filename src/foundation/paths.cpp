#include "foundation/paths.hpp"

#include <cstdlib>

#include "foundation/files.hpp"
#include "platform/known_folders.hpp"

namespace {
// During static initialisation the log does not exist yet, so this path never logs.
std::filesystem::path lf_initialDataFolder() {
  return platform::programDataFolder(
      platform::knownFolder(platform::KnownFolder::RoamingAppData).value_or(std::filesystem::path{}));
}
}  // namespace

std::filesystem::path dataFolder = lf_initialDataFolder();
std::filesystem::path parametersFile = dataFolder / "parameters.xml";

void gf_initDataFolder() {
  const char* overridden = std::getenv("WDRX_DATA_DIR");
  // The roaming folder is looked up (and its absence logged) only when no override is set.
  dataFolder = platform::programDataFolder(overridden && *overridden ? std::filesystem::path{}
                                                                     : gf_appDataPath());
  parametersFile = dataFolder / "parameters.xml";
}
