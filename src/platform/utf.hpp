#pragma once
// UTF-8 <-> UTF-16. On Windows this is the system's UTF-8 code page (MultiByteToWideChar /
// WideCharToMultiByte with CP_UTF8); elsewhere our own conversion does the same.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Nothing when the text is not valid UTF-8 (overlong forms, surrogates, truncated sequences).
std::optional<std::u16string> utf8ToUtf16(std::string_view text);
// Nothing when the text holds an unpaired surrogate.
std::optional<std::string> utf16ToUtf8(std::u16string_view text);
// As utf16ToUtf8, but an unpaired surrogate becomes U+FFFD (as Windows converts by default).
std::string utf16ToUtf8Replacing(std::u16string_view text);

}  // namespace platform
