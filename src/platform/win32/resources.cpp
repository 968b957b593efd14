// The program's strings from the string table of the process's executable.
#include "platform/resources.hpp"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace platform {

std::optional<std::u16string> loadResourceString(std::uint32_t id, std::size_t maxUnits) {
  const std::size_t size = std::min<std::size_t>(maxUnits, INT_MAX);
  if (size < 2) return std::nullopt;
  std::wstring buffer(size, L'\0');
  const int length =
      ::LoadStringW(::GetModuleHandleW(nullptr), id, buffer.data(), static_cast<int>(size));
  if (length <= 0) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()),
                        static_cast<std::size_t>(length));
}

}  // namespace platform
