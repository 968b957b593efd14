// The registration-code tables: in-line registrations of the scanned liveries, then the AIG
// regcodes and the user's regcode files on top, for installed titles only.
#include "liveries/regcode_tables.hpp"

#include <system_error>

#include "aircraft/remove_on_exit.hpp"
#include "foundation/data_files.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_tables.hpp"
#include "liveries/scan_reports.hpp"
#include "records/record_texts.hpp"
#include "runstate/status_line.hpp"

namespace fs = std::filesystem;

std::unordered_map<std::string_view, std::string, Fnv1aHash, std::equal_to<>> titleRegistrations;
std::vector<std::string_view> specialLiveries;
std::unordered_set<std::string_view, Fnv1aHash, std::equal_to<>> specialLiverySet;
std::set<std::string, std::less<>> uniqueRegcodes;
std::vector<std::string> offlineRegcodeLines;

void lf_emptyRegcodeTables() {
  regcodeTitles.clear();
  titleRegistrations.clear();
  specialLiveries.clear();
  specialLiverySet.clear();
  uniqueRegcodes.clear();
  offlineRegcodeLines.clear();
}

bool lf_isSpecialLivery(std::string_view title) { return specialLiverySet.contains(title); }

void lf_checkRegcodeClashes() {
  std::vector<std::string> lines;
  for (const LiveryData& livery : scannedLiveries) {
    if (livery.registration.empty()) continue;
    const std::string_view title = lf_findLiveryTitle(livery.title);
    if (title.empty()) {
      lines.push_back(wdrx::format("==> [{}] {} '{}' not available, system error, should not happen?",
                                   gf_aimoText(livery.codes), livery.registration, livery.title));
      continue;
    }
    const auto [byRegistration, newRegistration] = regcodeTitles.try_emplace(livery.registration, title);
    if (!newRegistration && byRegistration->second != title) {
      lines.push_back(wdrx::format("{} '{}' => already in use by '{}'", livery.registration, title,
                                   byRegistration->second));
    }
    const auto [byTitle, newTitle] = titleRegistrations.try_emplace(title, livery.registration);
    if (!newTitle && byTitle->second != livery.registration) {
      lines.push_back(wdrx::format("{} '{}' => already in use by '{}'", title, livery.registration, byTitle->second));
    }
  }
  if (lines.empty()) return;
  if (!fs::exists(paths::errorsFolder)) fs::create_directory(paths::errorsFolder);
  lf_writeListToFile(lines, scanFiles::inlineRegcodes);
  gf_log(wdrx::format("{:5} in-line regcode clashes, see '{}'", lines.size(),
                      lf_narrowPath(scanFiles::inlineRegcodes)));
}

void lf_processOfflineRegcodes() {
  offlineRegcodeLines.clear();
  // The user's own files count also when the AIG file cannot be had.
  if (gf_streamDecrypt(paths::regcodesEnc, paths::regcodesXml)) {
    RemoveOnExit removeXml(paths::regcodesXml, "lf_processOfflineRegcodes");
    lf_processAigRegcodeFile();
  }
  lf_processRegcodeFolder();

  std::error_code error;
  fs::remove(offlineRegcodesFile, error);
  if (error) {
    gf_logMarked(wdrx::format("Warning: could not remove {}, errorcode: {}", lf_narrowPath(offlineRegcodesFile),
                              error.message()));
  }
  if (offlineRegcodeLines.empty()) return;
  gf_writeLinesToFile(offlineRegcodeLines, offlineRegcodesFile);
  gf_log(wdrx::format("Offline regcode files processed, results can be found in '{}'",
                      lf_narrowPath(offlineRegcodesFile)));
  if (!specialLiveries.empty()) gf_log(wdrx::format("{:5} special liveries", specialLiveries.size()));
  if (!uniqueRegcodes.empty()) gf_log(wdrx::format("{:5} unique liveries", uniqueRegcodes.size()));
}

void lf_processAigRegcodeFile() {
  offlineRegcodeLines.push_back(wdrx::format("Processing file {}", lf_narrowPath(paths::regcodesXml)));
  std::vector<RegcodeRecord> records;
  records.reserve(7000);
  if (!gf_readAigRegcodes(records)) {
    offlineRegcodeLines.push_back(wdrx::format(
        "There were errors processing the AIG-regcode file '{}', see Log.txt", lf_narrowPath(paths::regcodesXml)));
  }
  lf_applyRegcodeLines(records);
}

void lf_processRegcodeFolder() {
  const fs::path& folder = paths::myRegcodesFolder;
  std::error_code error;
  const bool present = fs::is_directory(folder, error) && !fs::is_empty(folder, error);
  if (error) {
    gf_logMarked(wdrx::format("Error reading regcode files in {}, what: {}", lf_narrowPath(folder), error.message()));
    return;
  }
  if (!present) return;
  offlineRegcodeLines.push_back(wdrx::format("Processing files in {}", lf_narrowPath(folder)));
  std::vector<RegcodeRecord> records;
  records.reserve(1000);
  if (!gf_readRegcodeFiles(folder, records)) {
    gf_postStatus(wdrx::format("There were errors processing the regcode files in folder '{}', see Log.txt",
                               lf_narrowPath(folder)),
                  true);
  }
  lf_applyRegcodeLines(records);
}

void lf_applyRegcodeLines(const std::vector<RegcodeRecord>& records) {
  int added = 0;
  int replaced = 0;
  int special = 0;
  for (const RegcodeRecord& record : records) {
    const std::string_view title = lf_findLiveryTitle(record.title);
    if (title.empty()) continue;
    for (const std::string& regcode : record.regcodes) {
      if (regcode.empty()) continue;  // an empty registration names no aircraft
      const auto [entry, inserted] = regcodeTitles.try_emplace(regcode, title);
      if (inserted) {
        ++added;
      } else if (entry->second != title) {
        offlineRegcodeLines.push_back(
            wdrx::format("   regcode {} for '{}', instead of the same for '{}'", regcode, title, entry->second));
        entry->second = title;
        ++replaced;
      }
      if (record.special && record.regcodes.size() == 1) uniqueRegcodes.insert(regcode);
    }
    if (record.special) {
      specialLiveries.push_back(title);
      specialLiverySet.insert(title);
      ++special;
    }
  }
  std::string summary = wdrx::format("{} new regcode{} added", added, gf_pluralInt(added));
  if (replaced > 0) summary += wdrx::format(", {} regcode{} replaced", replaced, gf_pluralInt(replaced));
  if (special > 0) summary += wdrx::format(", {} regcode{} defined as special", special, gf_pluralInt(special));
  offlineRegcodeLines.push_back(std::move(summary));
}
