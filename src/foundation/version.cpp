#include "foundation/version.hpp"

#include <cctype>
#include <charconv>
#include <limits>
#include <regex>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "foundation/format.hpp"
#include "foundation/log.hpp"

// Constant-initialised, so that other globals built during static initialisation already see
// it; a test checks that it equals VersionData("12.5.4").
constinit const VersionData programVersion{12, 5, 4};

namespace {

const std::regex& lf_versionPattern() {
  static const std::regex pattern{R"((\d+)\.(\d+)\.(\d+))", std::regex::ECMAScript};
  return pattern;
}

std::int32_t lf_toInt(const std::string& digits) {
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
    std::smatch match;
    if (std::regex_match(text, match, lf_versionPattern())) {
      major = lf_toInt(match[1].str());
      minor = lf_toInt(match[2].str());
      patch = lf_toInt(match[3].str());
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
