#pragma once
// A version as major.minor.patch, built from "X.Y.Z" or from a JSON object; bad input gives
// 0.0.0 and a log line, never an exception.
#include <compare>
#include <cstdint>
#include <string>

struct VersionData {
  std::int32_t major = 0;
  std::int32_t minor = 0;
  std::int32_t patch = 0;

  VersionData() = default;
  explicit VersionData(const std::string& text);
  constexpr VersionData(std::int32_t ma, std::int32_t mi, std::int32_t pa)
      : major(ma), minor(mi), patch(pa) {}

  std::string text() const;  // "{}.{}.{}"
  friend auto operator<=>(const VersionData&, const VersionData&) = default;
};

extern const VersionData programVersion;  // 12.5.4, the project's VERSION
