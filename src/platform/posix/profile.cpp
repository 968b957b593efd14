// Our own reader of private-profile files, as GetPrivateProfileStringW reads them.
#include "platform/profile.hpp"

#include <fstream>
#include <iterator>
#include <optional>

#include "platform/code_page.hpp"
#include "platform/utf.hpp"

namespace platform {
namespace {

std::optional<std::string> lf_readProfileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string wide;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return utf16ToUtf8Replacing(wide);
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  if (utf8ToUtf16(bytes)) return bytes;
  if (auto wide = ansiToUtf16(bytes, false)) return utf16ToUtf8Replacing(*wide);
  return bytes;
}

std::string_view lf_trimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// Walks the file's lines: a section header yields (name, nullopt) to onSection; a key line of
// the current section yields to onKey. Either returning true stops the walk.
struct ProfileLine {
  bool isSection = false;
  std::string_view name;
  std::string_view value;
};

template <typename Visit>
void lf_walkProfile(std::string_view text, Visit&& visit) {
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = lf_trimBlanks(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == ';') continue;
    ProfileLine entry;
    if (line.front() == '[') {
      const auto close = line.find(']');
      entry.isSection = true;
      entry.name = lf_trimBlanks(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
    } else {
      const auto equals = line.find('=');
      if (equals == std::string_view::npos) continue;
      entry.name = lf_trimBlanks(line.substr(0, equals));
      entry.value = lf_trimBlanks(line.substr(equals + 1));
      if (entry.value.size() >= 2 && (entry.value.front() == '"' || entry.value.front() == '\'') &&
          entry.value.back() == entry.value.front()) {
        entry.value = entry.value.substr(1, entry.value.size() - 2);
      }
    }
    if (visit(entry)) return;
  }
}

}  // namespace

bool profileSectionExists(const std::filesystem::path& file, std::string_view section) {
  const auto text = lf_readProfileText(file);
  if (!text) return false;
  bool found = false;
  lf_walkProfile(*text, [&](const ProfileLine& line) {
    found = line.isSection && profileNamesEqual(line.name, section);
    return found;
  });
  return found;
}

std::optional<std::string> findProfileValue(const std::filesystem::path& file,
                                            std::string_view section, std::string_view key) {
  const auto text = lf_readProfileText(file);
  if (!text) return std::nullopt;
  std::optional<std::string> result;
  bool inSection = false;
  bool sectionSeen = false;
  lf_walkProfile(*text, [&](const ProfileLine& line) {
    if (line.isSection) {
      // The first section of that name counts, as with the Windows functions.
      if (inSection) return true;
      inSection = !sectionSeen && profileNamesEqual(line.name, section);
      sectionSeen = sectionSeen || inSection;
      return false;
    }
    if (inSection && profileNamesEqual(line.name, key)) {
      result.emplace(line.value);
      return true;
    }
    return false;
  });
  return result;
}

std::string readProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferChars) {
  if (bufferChars == 0) return {};
  std::string result = findProfileValue(file, section, key).value_or(std::string(defaultValue));
  auto wide = utf8ToUtf16(result);
  if (wide && wide->size() > bufferChars - 1) {
    wide->resize(bufferChars - 1);
    if (!wide->empty() && wide->back() >= 0xD800 && wide->back() <= 0xDBFF) wide->pop_back();
    return utf16ToUtf8Replacing(*wide);
  }
  return result;
}

}  // namespace platform
