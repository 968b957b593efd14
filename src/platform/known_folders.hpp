#pragma once
// The user's and the system's well-known folders. On Windows these are the shell's known
// folders; elsewhere they are the nearest equivalents of the desktop conventions.
#include <filesystem>
#include <optional>

namespace platform {

enum class KnownFolder {
  RoamingAppData,   // Windows: %APPDATA%; posix: $XDG_CONFIG_HOME or ~/.config
  ProgramFiles,     // Windows: Program Files; posix: /opt
  ProgramFilesX86,  // Windows: Program Files (x86); posix: /usr/local
  Documents,        // Windows: the user's Documents; posix: the home folder
  PublicDocuments,  // Windows: Public Documents; posix: ~/Public
};

// Empty when the folder cannot be determined.
std::optional<std::filesystem::path> knownFolder(KnownFolder folder);

// The program's data folder: the environment variable WDRX_DATA_DIR when set, else
// roaming / "Wendrix_P3D" (relative when roaming is empty).
std::filesystem::path programDataFolder(const std::filesystem::path& roaming);

}  // namespace platform
