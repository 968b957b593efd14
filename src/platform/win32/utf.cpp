#include "platform/utf.hpp"

#include <windows.h>

namespace platform {

std::optional<std::u16string> utf8ToUtf16(std::string_view text) {
  if (text.empty()) return std::u16string{};
  const int length = static_cast<int>(text.size());
  const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::u16string wide(static_cast<std::size_t>(size), u'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length,
                            reinterpret_cast<wchar_t*>(wide.data()), size) != size) {
    return std::nullopt;
  }
  return wide;
}

namespace {

std::optional<std::string> lf_toUtf8(std::u16string_view text, DWORD flags) {
  if (text.empty()) return std::string{};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_UTF8, flags, wide, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(size), '\0');
  if (::WideCharToMultiByte(CP_UTF8, flags, wide, length, out.data(), size, nullptr, nullptr) != size) {
    return std::nullopt;
  }
  return out;
}

}  // namespace

std::optional<std::string> utf16ToUtf8(std::u16string_view text) {
  return lf_toUtf8(text, WC_ERR_INVALID_CHARS);
}

std::string utf16ToUtf8Replacing(std::u16string_view text) { return lf_toUtf8(text, 0).value_or(std::string{}); }

}  // namespace platform
