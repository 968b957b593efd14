#include "liveries/cfg_keys.hpp"

#include <charconv>
#include <exception>
#include <limits>
#include <system_error>

#include "aircraft/aircraft_codes.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "liveries/fltsim_section.hpp"

namespace fs = std::filesystem;

namespace {

constexpr char lf_asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::size_t lf_skipSpaces(std::string_view text, std::size_t i) {
  while (i < text.size() && lf_isCfgSpace(text[i])) ++i;
  return i;
}

// Whether text[i..] begins with word, compared without regard to ASCII case.
bool lf_startsWithNoCase(std::string_view text, std::size_t i, std::string_view word) {
  if (text.size() - i < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (lf_asciiLower(text[i + k]) != lf_asciiLower(word[k])) return false;
  }
  return true;
}

// The digits of "[fltsim.N]" filling the whole line but for white space around; empty otherwise.
std::string_view lf_headerDigits(std::string_view line) {
  constexpr std::string_view opening = "[fltsim.";
  std::size_t i = lf_skipSpaces(line, 0);
  if (!lf_startsWithNoCase(line, i, opening)) return {};
  i += opening.size();
  const std::size_t first = i;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
  if (i == first || i >= line.size() || line[i] != ']') return {};
  const std::string_view digits = line.substr(first, i - first);
  return lf_skipSpaces(line, i + 1) == line.size() ? digits : std::string_view{};
}

}  // namespace

std::string_view lf_cfgKeyValue(std::string_view line, std::string_view key) {
  std::size_t i = lf_skipSpaces(line, 0);
  if (!lf_startsWithNoCase(line, i, key)) return {};
  i = lf_skipSpaces(line, i + key.size());
  if (i >= line.size() || line[i] != '=') return {};
  std::size_t first = lf_skipSpaces(line, i + 1);
  std::size_t last = line.size();
  while (last > first && lf_isCfgSpace(line[last - 1])) --last;
  const std::string_view value = line.substr(first, last - first);
  // A line break inside the value ends the line for the key reader: no key line.
  if (value.find_first_of("\r\n") != std::string_view::npos) return {};
  return value;
}

bool lf_readCfgKey(std::string_view line, std::string_view key, std::string& target) {
  const std::string_view value = lf_cfgKeyValue(line, key);
  if (value.empty()) return false;
  target.assign(value);
  return true;
}

std::string lf_fltsimSectionNumber(std::string_view line) {
  if (line.find('[') == std::string_view::npos) return {};  // most lines: told cheaply
  const std::size_t start = lf_skipSpaces(line, 0);
  const std::string_view rest = line.substr(start);
  if (rest.starts_with("//") || rest.starts_with(';')) return {};
  const std::string_view digits = lf_headerDigits(line);
  if (!digits.empty()) return std::string(digits);
  if (line.find("[fltsim.") != std::string_view::npos || line.find("[FLTSIM.") != std::string_view::npos)
    return "10000";
  return {};
}

bool lf_checkFltsimNumbers(const std::vector<std::string_view>& lines, const std::string& pathText,
                           ScanReports& reports) {
  constexpr std::int32_t highest = 10000;
  bool any = false;
  bool outOfRange = false;
  for (const std::string_view line : lines) {
    const std::string number = lf_fltsimSectionNumber(line);
    if (number.empty()) continue;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc{} || end != number.data() + number.size()) {
      gf_logMarked(wdrx::format("fltsim num {} incorrect", line));
      return false;
    }
    any = true;
    if (value < 0 || value > highest) outOfRange = true;
  }
  if (!any) {
    reports.cfgFilesWithoutSections.push_back(pathText);
    return true;
  }
  if (outOfRange) {
    lf_reportInvalidCfgFile(
        reports, wdrx::format("{} contains a [fltsim.x] section with a number < 0 or > {}", pathText, highest));
    return false;
  }
  return true;
}

std::string lf_readAtcModel(const std::string& pathText, const std::vector<std::string_view>& lines,
                            ScanReports& reports) {
  std::string model;
  for (const std::string_view line : lines) {
    if (lf_readCfgKey(line, cfgKey::atcModel, model)) break;
  }
  if (model.empty()) {
    lf_reportInvalidCfgFile(reports, "Line atc_model= is missing in [General] section of " + pathText);
    return {};
  }
  if (knownModelCodes.contains(model)) return model;
  if (const std::string* fixed = lf_fixedModelCode(model)) {
    lf_reportModelFix(reports, wdrx::format("Model fix: {} found in {} changed into {}", model, pathText, *fixed));
    return *fixed;
  }
  lf_reportInvalidModel(reports, model, pathText);
  return {};
}

ReadCfg lf_readCfgLines(const fs::path& path, std::string& content, std::vector<std::string_view>& lines,
                        bool ivao, const FolderEntries* listed) {
  // One open and one read: the charset is found in the content read.
  std::error_code ec;
  const platform::Folder* folder = listed != nullptr ? listed->folder.get() : nullptr;
  const bool read = folder != nullptr ? folder->readFile(path.filename().native(), content, ec)
                                      : gf_readFileContent(path, content);
  if (!read) {
    if (!ivao && (folder != nullptr ? ec == std::errc::no_such_file_or_directory : (!fs::exists(path, ec) || ec)))
      return ReadCfg::missing;
    const std::string text = wdrx::format("! No text encoding detected for {}", lf_pathToUtf8(path));
    ivao ? gf_logMarked(text) : gf_log(text);
    return ReadCfg::failed;
  }
  if (!gf_decodeLinesWithCharset(gf_detectCharsetOf(content), content, path, lines)) {
    gf_log(wdrx::format("! Failed reading {}", lf_pathToUtf8(path)));
    return ReadCfg::failed;
  }
  return ReadCfg::read;
}

ScanTaskResult lf_searchLiveriesinFile(std::uint32_t folderNumber, const fs::path& path,
                                       const ScanInputs& inputs, std::shared_ptr<const FolderEntries> listed) {
  try {
    CfgText text;
    const std::vector<std::string_view>& lines = text.lines;
    if (lf_readCfgLines(path, text.content, text.lines, false, listed.get()) != ReadCfg::read) return {};
    CfgFileScan scan(folderNumber, path, inputs, std::move(listed));
    if (!lf_checkFltsimNumbers(lines, scan.pathText, scan.result.reports)) return std::move(scan.result);
    scan.model = lf_readAtcModel(scan.pathText, lines, scan.result.reports);
    if (!scan.model.empty()) lf_searchFltSimSections(scan, lines);
    return std::move(scan.result);
  } catch (const std::exception& e) {
    gf_log(wdrx::format("! Exception in lf_searchLiveriesinFile {}: {}", lf_pathToUtf8(path), e.what()));
    throw;
  }
}

void lf_searchFltSimSections(CfgFileScan& scan, const std::vector<std::string_view>& lines) {
  // A heading such as [General] ends a section, also after up to five leading blanks.
  constexpr std::size_t lastHeadingColumn = 5;
  lf_cutFltsimSections(
      lines, [](std::string_view line) { return !line.empty() && line.find('[') <= lastHeadingColumn; },
      [&](std::vector<std::string_view>& section) { lf_procesFltSimSection(scan, section); });
}
