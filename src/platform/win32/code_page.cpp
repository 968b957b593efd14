#include "platform/code_page.hpp"

#include <windows.h>

namespace platform {

std::optional<std::u16string> ansiToUtf16(std::string_view text, bool strict) {
  if (text.empty()) return std::u16string{};
  const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
  const int length = static_cast<int>(text.size());
  const int size = ::MultiByteToWideChar(CP_ACP, flags, text.data(), length, nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::u16string wide(static_cast<std::size_t>(size), u'\0');
  if (::MultiByteToWideChar(CP_ACP, flags, text.data(), length,
                            reinterpret_cast<wchar_t*>(wide.data()), size) != size) {
    return std::nullopt;
  }
  return wide;
}

}  // namespace platform
