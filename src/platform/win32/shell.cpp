#include "platform/shell_os.hpp"

#include <windows.h>
#include <shellapi.h>

namespace platform::os {
namespace {
std::wstring lf_wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), size);
  return wide;
}
}  // namespace

bool shellOpenFolder(const std::filesystem::path& folder) {
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

void warningMessageBox(const std::string& text, const std::string& caption) {
  ::MessageBoxW(nullptr, lf_wide(text).c_str(), lf_wide(caption).c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace platform::os
