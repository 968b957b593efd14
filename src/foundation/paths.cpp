#include "foundation/paths.hpp"

#include <cstdlib>

#include "foundation/files.hpp"
#include "platform/known_folders.hpp"

namespace {
// During static initialisation the log does not exist yet, so this path never logs.
std::filesystem::path lf_dataFolder(std::filesystem::path appData) {
  if (const char* overridden = std::getenv("WDRX_DATA_DIR"); overridden && *overridden) {
    return std::filesystem::path{overridden};
  }
  return appData / "Wendrix_P3D";  // relative "Wendrix_P3D" when no AppData folder is known
}

std::filesystem::path lf_initialDataFolder() {
  return lf_dataFolder(
      platform::knownFolder(platform::KnownFolder::RoamingAppData).value_or(std::filesystem::path{}));
}
}  // namespace

std::filesystem::path dataFolder = lf_initialDataFolder();
std::filesystem::path parametersFile = dataFolder / "parameters.xml";

void gf_initDataFolder() {
  const char* overridden = std::getenv("WDRX_DATA_DIR");
  dataFolder = lf_dataFolder(overridden && *overridden ? std::filesystem::path{} : gf_appDataPath());
  parametersFile = dataFolder / "parameters.xml";
}
