#pragma once
// The lines of an aircraft.cfg or sim.cfg file: key lines and [fltsim.N] headers, the file's
// model code, and the scanner task that cuts an ordinary file into sections.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/scan_task.hpp"

namespace cfgKey {
inline constexpr std::string_view title = "title";
inline constexpr std::string_view sim = "sim";
inline constexpr std::string_view model = "model";
inline constexpr std::string_view texture = "texture";
inline constexpr std::string_view atcModel = "atc_model";
inline constexpr std::string_view atcId = "atc_id";
inline constexpr std::string_view atcParkingTypes = "atc_parking_types";
inline constexpr std::string_view atcParkingCodes = "atc_parking_codes";
}  // namespace cfgKey

// White space of the key lines: blank, tab, LF, VT, FF, CR.
constexpr bool lf_isCfgSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of a line "key = value", the key in any case, white space allowed before the key,
// around "=" and after the value; the value runs from its first to its last non-blank
// character and keeps everything between (";" and "//" too). Empty when the line is no such
// key line or the value is blank. A hand-written match: no backtracking, any line length.
std::string_view lf_cfgKeyValue(std::string_view line, std::string_view key);
// Stores a non-empty value in target and answers true; otherwise leaves target alone.
bool lf_readCfgKey(std::string_view line, std::string_view key, std::string& target);

// The number text of a section header "[fltsim.N]" (any case, blanks around), "10000" for a
// damaged header that still holds "[fltsim." or "[FLTSIM.", empty for other lines. A line
// whose first non-blank characters are "//" or ";" is a comment, never a header.
std::string lf_fltsimSectionNumber(std::string_view line);
// Whether the file's section numbers are acceptable (0 to 10000); a file without any
// section is listed in cfgFilesWithoutSections and still accepted.
bool lf_checkFltsimNumbers(const std::vector<std::string_view>& lines, const std::string& pathText,
                           ScanReports& reports);
// The file's model code from its first atc_model line, validated against the reference data
// (known code, or corrected through the fixes); empty when missing or invalid (reported).
std::string lf_readAtcModel(const std::string& pathText, const std::vector<std::string_view>& lines,
                            ScanReports& reports);

// Cuts the lines into [fltsim.N] sections, each beginning with its header line: a header
// starts a section, a line for which endsSection is true ends the open one (and is dropped),
// any other line belongs to the open section. process(section) gets each section.
template <typename EndsSection, typename Process>
void lf_cutFltsimSections(const std::vector<std::string_view>& lines, EndsSection&& endsSection, Process&& process) {
  std::vector<std::string_view> buffer;
  buffer.reserve(48);
  bool inSection = false;
  auto flush = [&] {
    if (!buffer.empty()) process(buffer);
    buffer.clear();
  };
  for (const std::string_view line : lines) {
    if (!lf_fltsimSectionNumber(line).empty()) {
      flush();
      inSection = true;
      buffer.push_back(line);
    } else if (endsSection(line)) {
      if (inSection) flush();
      inSection = false;
    } else if (inSection) {
      buffer.push_back(line);
    }
  }
  if (inSection) flush();
}

// Reads a cfg file in its own charset (through the folder the walk opened, when given):
// `content` becomes its UTF-8 text, `lines` view it. A file that cannot be read or converted is
// logged (failed); an ordinary file that is gone is skipped without a word (missing).
enum class ReadCfg { read, missing, failed };
// A cfg file's text and its lines (views of the text).
struct CfgText {
  std::string content;
  std::vector<std::string_view> lines;
};
ReadCfg lf_readCfgLines(const std::filesystem::path& path, std::string& content,
                        std::vector<std::string_view>& lines, bool ivao, const FolderEntries* listed = nullptr);

// The scanner task for one ordinary cfg file; `listed` is the walk's listing of its folder.
ScanTaskResult lf_searchLiveriesinFile(std::uint32_t folderNumber, const std::filesystem::path& path,
                                       const ScanInputs& inputs, std::shared_ptr<const FolderEntries> listed = {});
// Cuts the lines into [fltsim.N] sections and processes each.
void lf_searchFltSimSections(CfgFileScan& scan, const std::vector<std::string_view>& lines);
