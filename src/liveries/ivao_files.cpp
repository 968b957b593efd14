#include "liveries/ivao_files.hpp"

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/registrations.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "liveries/cfg_keys.hpp"
#include "liveries/fltsim_section.hpp"

namespace fs = std::filesystem;

namespace {

constexpr char lf_asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
constexpr bool lf_isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
constexpr bool lf_isSeparator(char c) { return c == '/' || c == '\\'; }

bool lf_equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lf_asciiLower(x) == lf_asciiLower(y); });
}

// The last path component of text[0..end) and where it starts (after its separator).
std::string_view lf_lastComponent(std::string_view text, std::size_t& start) {
  std::size_t i = text.size();
  while (i > 0 && !lf_isSeparator(text[i - 1])) --i;
  start = i;
  return text.substr(i);
}

}  // namespace

std::optional<std::string> lf_ivaoFolderCode(std::string_view pathText) {
  // <at least one character> SEP "IVAO_MTL" SEP "IVAO_" <word characters> SEP "aircraft" <any> "cfg"
  std::size_t start = 0;
  const std::string_view file = lf_lastComponent(pathText, start);
  if (file.size() != 12 || !lf_equalsNoCase(file.substr(0, 8), "aircraft") || !lf_equalsNoCase(file.substr(9), "cfg") ||
      file[8] == '\n' || file[8] == '\r' || start == 0)
    return std::nullopt;
  const std::string_view beforeFile = pathText.substr(0, start - 1);
  const std::string_view codeFolder = lf_lastComponent(beforeFile, start);
  if (codeFolder.size() < 6 || !lf_equalsNoCase(codeFolder.substr(0, 5), "IVAO_") ||
      !std::all_of(codeFolder.begin(), codeFolder.end(), lf_isWordChar) || start == 0)
    return std::nullopt;
  const std::string_view beforeCode = pathText.substr(0, start - 1);
  const std::string_view mtl = lf_lastComponent(beforeCode, start);
  if (!lf_equalsNoCase(mtl, "IVAO_MTL") || start < 2) return std::nullopt;
  const std::string_view prefix = pathText.substr(0, start - 1);
  if (prefix.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
  return std::string(codeFolder.substr(5));
}

std::string lf_shortenIVAOModel(std::string code) {
  if (!code.empty() && code.back() == 'w') {
    code.pop_back();
    return code;
  }
  static const std::array<std::pair<std::string_view, std::string_view>, 9> shortened{{
      {"B744F", "B744"},
      {"T154M", "T154"},
      {"T154B2", "T154"},
      {"GLID_SH", "GLID"},
      {"GLID_A13", "GLID"},
      {"GLID_A25", "GLID"},
      {"GLID_KA6", "GLID"},
      {"GLID_KA8", "GLID"},
      {"GLID_L13", "GLID"},
  }};
  for (const auto& [from, to] : shortened) {
    if (code == from) return std::string(to);
  }
  return code;
}

std::string lf_fixIVAOModel(const std::string& pathText, ScanReports& reports) {
  const std::optional<std::string> folderCode = lf_ivaoFolderCode(pathText);
  if (!folderCode) {
    lf_reportInvalidModel(reports, "  ", pathText);
    return {};
  }
  std::string code = lf_shortenIVAOModel(*folderCode);
  if (!code.empty() && knownModelCodes.contains(code)) return code;
  if (const std::string* fixed = lf_fixedModelCode(code)) {
    lf_reportModelFix(reports, wdrx::format("Model fix: {} found in {} changed into {}", code, pathText, *fixed));
    return *fixed;
  }
  lf_reportInvalidModel(reports, code, pathText);
  return {};
}

std::optional<std::string> lf_ivaoTitleAirline(std::string_view title, std::string_view model) {
  if (title.size() < model.size() || !lf_equalsNoCase(title.substr(0, model.size()), model)) return std::nullopt;
  std::size_t i = model.size();
  while (i < title.size() && lf_isCfgSpace(title[i])) ++i;
  if (title.size() - i < 3 || !std::all_of(title.begin() + static_cast<std::ptrdiff_t>(i),
                                           title.begin() + static_cast<std::ptrdiff_t>(i + 3), lf_isWordChar))
    return std::nullopt;
  if (title.substr(i + 3).find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
  return std::string(title.substr(i, 3));
}

ScanTaskResult lf_searchLiveriesinIVAOFile(std::uint32_t folderNumber, const fs::path& path,
                                           const ScanInputs& inputs, std::shared_ptr<const FolderEntries> listed) {
  try {
    CfgFileScan scan(folderNumber, path, inputs, std::move(listed));
    scan.result.ivao = true;
    scan.model = lf_fixIVAOModel(scan.pathText, scan.result.reports);
    if (scan.model.empty()) return std::move(scan.result);
    CfgText text;
    const std::vector<std::string_view>& lines = text.lines;
    if (lf_readCfgLines(path, text.content, text.lines, true, scan.listed()) != ReadCfg::read)
      return std::move(scan.result);
    if (lf_checkFltsimNumbers(lines, scan.pathText, scan.result.reports)) lf_searchIVAOFltSimSections(scan, lines);
    return std::move(scan.result);
  } catch (const std::exception& e) {
    gf_log(wdrx::format("! Exception in lf_searchLiveriesinIVAOFile {}: {}", lf_pathToUtf8(path), e.what()));
    throw;
  } catch (...) {
    gf_log(wdrx::format("! Unknown exception in lf_searchLiveriesinIVAOFile {}", lf_pathToUtf8(path)));
    throw;
  }
}

void lf_searchIVAOFltSimSections(CfgFileScan& scan, const std::vector<std::string_view>& lines) {
  // A heading ends the section; a "[" inside a value (a title) does not.
  lf_cutFltsimSections(
      lines, [](std::string_view line) { return gf_trim(line).starts_with('['); },
      [&](std::vector<std::string_view>& section) { lf_procesIVAOFltSimSection(scan, section); });
}

namespace {

// False when the section was refused (reported).
bool lf_ivaoKeyLoop(CfgFileScan& scan, const std::vector<std::string_view>& section, SectionKeys& keys) {
  const std::string_view header = section.front();
  for (const std::string_view line : section) {
    if (!lf_mayBeKeyLine(line)) continue;
    KeyRule rule = lf_titleRule(scan, header, line, keys);
    // Read only for the test of a second key: the cargo flag comes from a registration here.
    if (rule == KeyRule::passed) rule = lf_parkingTypesRule(scan, header, line, keys);
    if (rule == KeyRule::passed) rule = lf_atcIdRule(scan, header, line, keys, true);
    if (rule == KeyRule::refused) return false;
    if (rule == KeyRule::passed) lf_folderKeyRules(line, keys);
  }
  return true;
}

// The first of the section's paths that does not exist, or empty. A status error other than
// "not found" throws.
std::string lf_missingIvaoPath(CfgFileScan& scan, const SectionKeys& keys) {
  for (const auto& [name, folder] : {std::pair{lf_modelFolderName(keys), true}, std::pair{lf_airFileName(keys), false},
                                     std::pair{lf_textureFolderName(keys), true}}) {
    if (!scan.hasChild(name, folder ? fs::file_type::directory : fs::file_type::regular))
      return lf_narrowPath(scan.folder / name);
  }
  return {};
}

void lf_processIvaoSection(CfgFileScan& scan, std::vector<std::string_view>& section) {
  ScanReports& reports = scan.result.reports;
  lf_dropTrailingLines(section);
  const std::string header(section.front());
  SectionKeys keys;
  if (!lf_ivaoKeyLoop(scan, section, keys)) return;
  if (const std::string missing = lf_missingIvaoPath(scan, keys); !missing.empty()) {
    lf_reportIncompleteSection(reports, missing + " " + header + " does not exist");
    return;
  }
  const std::string& folder = scan.folderText;
  if (keys.title.empty()) {
    lf_reportIncompleteSection(reports, folder + " " + header + " misses title");
    return;
  }
  if (lf_isDontUseTitle(*scan.inputs, keys.title)) return;

  AircraftCodes codes;
  if (std::optional<std::string> airline = lf_ivaoTitleAirline(keys.title, scan.model)) {
    if (!lf_isIcaoAirline(*airline)) {
      lf_reportInvalidAirline(reports, *airline, scan.pathText, header);
      return;
    }
    if (*airline == "ZZZ") keys.registration.clear();
    codes.airlineId = gf_airlineId(*airline);
    codes.modelId = gf_modelId(scan.model);
  } else if (keys.registration.empty()) {
    lf_reportIncompleteSection(reports,
                               folder + " " + header + " misses airlinecode in title: " + keys.title + ", and no regcode");
    return;
  } else {
    std::optional<AircraftCodes> found = gf_findRegistration(keys.registration);
    if (!found || found->airlineId == 0) {
      lf_reportIncompleteSection(reports, folder + " " + header + " misses airlinecode in title: " + keys.title +
                                              ", and regcode unknown " + keys.registration);
      return;
    }
    codes = *found;
    // The folder's validated model stays: the record may name another type for the registration.
    codes.modelId = gf_modelId(scan.model);
  }
  if (codes.airlineId == 0 || codes.modelId == 0) return;
  scan.result.add(LiveryData{std::move(keys.title), std::move(keys.registration), codes,
                             static_cast<std::uint16_t>(scan.folderNumber)},
                  header);
}

}  // namespace

void lf_procesIVAOFltSimSection(CfgFileScan& scan, std::vector<std::string_view>& section) {
  try {
    lf_processIvaoSection(scan, section);
  } catch (const std::exception& e) {
    gf_log(wdrx::format("Exception in lf_procesIVAOFltSimSection: {}, file: {}", e.what(), scan.pathText));
  }
}
