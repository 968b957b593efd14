#pragma once
// Private-profile (INI) files read as the Windows profile functions read them: sections
// "[name]", lines "key=value", section and key names compared without regard to case, blanks
// around names and values trimmed and one pair of enclosing quotes removed, lines beginning
// with ';' ignored. The file may be UTF-8 (with or without BOM), UTF-16LE with BOM or ANSI;
// texts come back as UTF-8.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Names (and keywords such as protocol values) compared as the profile functions compare them.
inline bool profileNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// True when the file exists and has a section of that name.
bool profileSectionExists(const std::filesystem::path& file, std::string_view section);

// The value of key in section; nothing when the file, the section or the key is missing.
std::optional<std::string> findProfileValue(const std::filesystem::path& file,
                                            std::string_view section, std::string_view key);

// The value of key in section, cut to bufferChars - 1 characters as a buffer of bufferChars
// characters would hold it; defaultValue when the file, the section or the key is missing.
std::string readProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferChars);

}  // namespace platform
