#include "platform/known_folders.hpp"

#include <cstdlib>

namespace platform {

std::filesystem::path programDataFolder(const std::filesystem::path& roaming) {
  if (const char* overridden = std::getenv("WDRX_DATA_DIR"); overridden && *overridden) {
    return std::filesystem::path{overridden};
  }
  return roaming / "Wendrix_P3D";
}

}  // namespace platform
