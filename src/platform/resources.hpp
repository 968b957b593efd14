#pragma once
// The program's own strings by resource id: Windows loads them from the executable's string
// table; posix programs carry no resources, so a built-in table gives the same texts.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// LoadStringW of the process's executable into a buffer of maxUnits UTF-16 units: a longer text
// is cut to maxUnits - 1 units. Nothing when the string is missing or empty.
std::optional<std::u16string> loadResourceString(std::uint32_t id, std::size_t maxUnits);

}  // namespace platform
