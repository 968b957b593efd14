#pragma once
// The system's single-byte ANSI code page. On Windows it is the active code page; elsewhere
// Windows-1252 stands in for it.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Text in the ANSI code page to UTF-16. Strict: a byte the code page leaves undefined (in 1252:
// 0x81, 0x8D, 0x8F, 0x90, 0x9D) fails the whole conversion (empty result). Lenient: such a
// byte becomes the control character of the same value (U+0081 ...), as Windows converts it.
std::optional<std::u16string> ansiToUtf16(std::string_view text, bool strict);

}  // namespace platform
