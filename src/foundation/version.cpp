#include "foundation/version.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>

#include <nlohmann/json.hpp>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "program_info.h"

// The project's VERSION (CMakeLists.txt), which the executable's version information carries
// too. Constant-initialised, so that other globals built during static initialisation already
// see it; a test checks that it equals VersionData("12.5.4").
constinit const VersionData programVersion{WDRX_VERSION_MAJOR, WDRX_VERSION_MINOR, WDRX_VERSION_PATCH};

namespace {

// The whole text as three runs of ASCII digits joined by '.', i.e. "(\d+)\.(\d+)\.(\d+)".
// Matched by hand: std::regex recurses per character and overflows the stack on a long text.
std::optional<std::array<std::string_view, 3>> lf_matchVersion(std::string_view text) {
  std::array<std::string_view, 3> groups;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0) return std::nullopt;
    groups[i] = text.substr(0, digits);
    text.remove_prefix(digits);
    if (i + 1 < groups.size()) {
      if (text.empty() || text.front() != '.') return std::nullopt;
      text.remove_prefix(1);
    }
  }
  if (!text.empty()) return std::nullopt;
  return groups;
}

std::int32_t lf_toInt(std::string_view digits) {
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc{} || end != digits.data() + digits.size()) {
    throw std::runtime_error("parse error in version string");
  }
  return value;
}

std::int32_t lf_jsonMember(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end()) return 0;
  if (it->is_number_unsigned()) {
    const auto value = it->get<std::uint64_t>();
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
      throw std::runtime_error("parse error in version string");
    }
    return static_cast<std::int32_t>(value);
  }
  if (it->is_number_integer()) {
    const auto value = it->get<std::int64_t>();
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
      throw std::runtime_error("parse error in version string");
    }
    return static_cast<std::int32_t>(value);
  }
  return 0;
}

std::string lf_trimSpace(const std::string& text) {
  auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && isSpace(text[first])) ++first;
  while (last > first && isSpace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

}  // namespace

VersionData::VersionData(const std::string& text) {
  if (text.empty()) return;
  try {
    if (const auto groups = lf_matchVersion(text)) {
      major = lf_toInt((*groups)[0]);
      minor = lf_toInt((*groups)[1]);
      patch = lf_toInt((*groups)[2]);
      return;
    }
    const std::string trimmed = lf_trimSpace(text);
    if (!trimmed.empty() && trimmed.front() == '{') {
      const auto json = nlohmann::json::parse(trimmed);
      if (json.is_object()) {
        major = lf_jsonMember(json, "major");
        minor = lf_jsonMember(json, "minor");
        patch = lf_jsonMember(json, "patch");
        return;
      }
    }
    throw std::runtime_error("invalid version format");
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{} exception: {}", "VersionData", e.what()));
    major = minor = patch = 0;
  }
}

std::string VersionData::text() const { return wdrx::format("{}.{}.{}", major, minor, patch); }
