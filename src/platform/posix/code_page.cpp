#include "platform/code_page.hpp"

#include <array>

namespace platform {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr std::array<char16_t, 32> cp1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

}  // namespace

std::optional<std::u16string> ansiToUtf16(std::string_view text, bool strict) {
  std::u16string result;
  result.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    char16_t unit = byte;  // 00-7F and A0-FF are Latin-1
    if (byte >= 0x80 && byte <= 0x9F) {
      unit = cp1252High[byte - 0x80];
      if (unit == 0) {
        if (strict) return std::nullopt;
        unit = byte;
      }
    }
    result.push_back(unit);
  }
  return result;
}

}  // namespace platform
