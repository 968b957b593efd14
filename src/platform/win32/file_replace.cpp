#include "platform/file_replace.hpp"

#include <windows.h>

namespace platform {

std::error_code copyFileOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::CopyFileW(from.c_str(), to.c_str(), FALSE)) return {};
  return {static_cast<int>(::GetLastError()), std::system_category()};
}

std::error_code moveFileOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  // Most readers (the C runtime's, a virus scanner, an editor) open a file without sharing its
  // deletion, and the replacement fails until they close it: it is tried again, not lost.
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
    error = ::GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) break;
    ::Sleep(20);
  }
  return {static_cast<int>(error), std::system_category()};
}

}  // namespace platform
