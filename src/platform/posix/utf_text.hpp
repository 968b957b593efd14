#pragma once
// UTF-8 <-> UTF-16 for the posix stand-ins of Windows services (registry, profile files),
// which hand out wide strings as the Windows functions do.
#include <optional>
#include <string>
#include <string_view>

namespace platform::posix {

// Nothing when the text is not valid UTF-8.
std::optional<std::u16string> utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace platform::posix
