// The program's strings without an executable's resources: the texts of the Windows resource
// script (resources/Wendrix_P3D.rc), from the same generated header.
#include "platform/resources.hpp"

#include <string_view>

#include "program_info.h"

namespace platform {

namespace {

struct BuiltInString {
  std::uint32_t id;
  std::u16string_view text;
};
constexpr BuiltInString builtInStrings[] = {
    {WDRX_TITLE_STRING_ID, u"" WDRX_PROGRAM_NAME},
};

}  // namespace

std::optional<std::u16string> loadResourceString(std::uint32_t id, std::size_t maxUnits) {
  for (const BuiltInString& entry : builtInStrings) {
    if (entry.id != id) continue;
    if (maxUnits < 2 || entry.text.empty()) return std::nullopt;
    return std::u16string(entry.text.substr(0, maxUnits - 1));
  }
  return std::nullopt;
}

}  // namespace platform
