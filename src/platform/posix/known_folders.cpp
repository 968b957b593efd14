#include "platform/known_folders.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace platform {
namespace {

std::optional<std::filesystem::path> lf_absoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  std::filesystem::path path{value};
  if (!path.is_absolute()) return std::nullopt;  // XDG: relative values are to be ignored
  return path;
}

std::optional<std::filesystem::path> lf_home() {
  if (auto home = lf_absoluteEnv("HOME")) return home;
  // No HOME: the password database knows the account's home folder.
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
  passwd entry{};
  passwd* result = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &result) != 0 ||
      result == nullptr || result->pw_dir == nullptr || *result->pw_dir == '\0') {
    return std::nullopt;
  }
  return std::filesystem::path{result->pw_dir};
}

}  // namespace

std::optional<std::filesystem::path> knownFolder(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::RoamingAppData:
      if (auto config = lf_absoluteEnv("XDG_CONFIG_HOME")) return config;
      if (auto home = lf_home()) return *home / ".config";
      return std::nullopt;
    case KnownFolder::ProgramFiles:
      return std::filesystem::path{"/opt"};
    case KnownFolder::ProgramFilesX86:
      return std::filesystem::path{"/usr/local"};
    case KnownFolder::Documents:
      return lf_home();
    case KnownFolder::PublicDocuments:
      if (auto home = lf_home()) return *home / "Public";
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace platform
