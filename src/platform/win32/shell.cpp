#include "platform/shell_os.hpp"

#include <windows.h>
#include <shellapi.h>

#include "platform/utf.hpp"

namespace platform::os {
namespace {
std::wstring lf_wide(const std::string& utf8) {
  const auto wide = utf8ToUtf16(utf8).value_or(std::u16string{});
  return std::wstring(wide.begin(), wide.end());
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
