#include "platform/known_folders.hpp"

#include <cstdlib>

namespace platform {

std::filesystem::path programDataFolder(const std::filesystem::path& roaming) {
#ifdef _WIN32
  // The wide environment: a folder with letters outside the ANSI code page stays intact.
  if (const wchar_t* overridden = ::_wgetenv(L"WDRX_DATA_DIR"); overridden && *overridden) {
    return std::filesystem::path{overridden};
  }
#else
  if (const char* overridden = std::getenv("WDRX_DATA_DIR"); overridden && *overridden) {
    return std::filesystem::path{overridden};
  }
#endif
  return roaming / "Wendrix_P3D";
}

}  // namespace platform
