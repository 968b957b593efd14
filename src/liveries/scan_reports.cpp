#include "liveries/scan_reports.hpp"

#include <algorithm>
#include <exception>
#include <type_traits>

#include "aircraft/regcode_files.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/liveries_cache.hpp"

namespace fs = std::filesystem;

ReportList<std::list<std::string>> invalidAirlineCodes;
ReportList<std::list<std::string>> invalidAircraftCodes;
ReportList<std::vector<std::string>> modelFixes;
ReportList<std::list<std::string>> invalidCfgFiles;
ReportList<std::list<std::string>> incompleteSections;
ReportList<std::list<std::string>> cfgFilesWithoutSections;

// ---------------------------------------------------------------- path texts

std::string lf_pathToUtf8(const fs::path& path) {
  try {
    return gf_pathToUtf8(path);
  } catch (const std::exception&) {
    // Only a UTF-16 name with an unpaired surrogate gets here (Windows).
    fs::path preferred(path);
    preferred.make_preferred();
    std::u16string units;
    for (auto unit : preferred.native()) units.push_back(static_cast<char16_t>(unit));
    for (std::size_t i = 0; i < units.size(); ++i) {
      const char16_t u = units[i];
      const bool high = u >= 0xD800 && u <= 0xDBFF;
      const bool low = u >= 0xDC00 && u <= 0xDFFF;
      if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        ++i;
      } else if (high || low) {
        units[i] = u'\uFFFD';
      }
    }
    return wide_to_utf8(units);
  }
}

std::string lf_narrowPath(const fs::path& path) {
  try {
    return fs::path(path).make_preferred().string();  // no mix of '/' and '\' on Windows
  } catch (const std::exception&) {
    return lf_pathToUtf8(path);
  }
}

// ---------------------------------------------------------------- entries

void lf_reportModelFix(ScanReports& reports, std::string text) { reports.modelFixes.push_back(std::move(text)); }

void lf_reportInvalidCfgFile(ScanReports& reports, std::string text) {
  reports.invalidCfgFiles.push_back(std::move(text));
}

void lf_reportIncompleteSection(ScanReports& reports, std::string text) {
  reports.incompleteSections.push_back(std::move(text));
}

void lf_reportInvalidAirline(ScanReports& reports, const std::string& code, const std::string& path,
                             const std::string& header) {
  reports.invalidAirlineCodes.push_back(wdrx::format("{:12} in {} ", code, path) + header);
}

void lf_reportInvalidModel(ScanReports& reports, const std::string& code, const std::string& path) {
  reports.invalidAircraftCodes.push_back(wdrx::format("{:16} in {}", code, path));
}

void lf_mergeScanReports(ScanReports&& reports) {
  if (!reports.invalidAirlineCodes.empty()) invalidAirlineCodes.addAll(reports.invalidAirlineCodes);
  if (!reports.invalidAircraftCodes.empty()) invalidAircraftCodes.addAll(reports.invalidAircraftCodes);
  if (!reports.modelFixes.empty()) modelFixes.addAll(reports.modelFixes);
  if (!reports.invalidCfgFiles.empty()) invalidCfgFiles.addAll(reports.invalidCfgFiles);
  if (!reports.incompleteSections.empty()) incompleteSections.addAll(reports.incompleteSections);
  if (!reports.cfgFilesWithoutSections.empty())
    cfgFilesWithoutSections.addAll(reports.cfgFilesWithoutSections);
}

// ---------------------------------------------------------------- files

void lf_removeScanFiles() {
  const fs::path* const entries[] = {&scanFiles::noFltsimSection,    &liveriesScannedFile,
                                     &scanFiles::inlineRegcodes,     &scanFiles::invalidAirlineCodes,
                                     &scanFiles::invalidAircraftCodes, &scanFiles::fixes,
                                     &scanFiles::invalidCfgFiles,    &scanFiles::incompleteSections,
                                     &paths::errorsFolder};
  try {
    for (const fs::path* entry : entries) fs::remove(*entry);  // a missing entry is no error
  } catch (const std::exception& e) {
    gf_log(wdrx::format("problems with removing previous files: {}", e.what()));
  }
}

namespace {
template <typename Lines>
bool lf_writeLines(const Lines& lines, const fs::path& path) {
  const FileWrite written = gf_replaceFileWith(path, [&](std::ostream& out) {
    for (const std::string& line : lines) {
      out.write(line.data(), static_cast<std::streamsize>(line.size()));
      out.put('\n');
    }
  });
  if (!written.ok) {
    gf_logMarked(wdrx::format("lf_writeListToFile: {} not written: {}", lf_pathToUtf8(path), written.error));
  }
  return written.ok;
}

void lf_ensureErrorsFolder() {
  if (!fs::exists(paths::errorsFolder)) fs::create_directory(paths::errorsFolder);
}

// Sorts the list, writes it into the errors folder and logs the count line.
void lf_writeErrorList(std::list<std::string>& lines, const fs::path& path, const char* what,
                       bool plural) {
  if (lines.empty()) return;
  lines.sort();
  lf_ensureErrorsFolder();
  lf_writeListToFile(lines, path);
  gf_log(wdrx::format("{:5} {}{}, see {}", lines.size(), what, plural ? gf_pluralSize(lines.size()) : "",
                      lf_narrowPath(path)));
}
}  // namespace

bool lf_writeListToFile(const std::list<std::string>& lines, const fs::path& path) {
  return lf_writeLines(lines, path);
}

bool lf_writeListToFile(const std::vector<std::string>& lines, const fs::path& path) {
  return lf_writeLines(lines, path);
}

void lf_writeScanFile() {
  try {
    fs::create_directories(scanFiles::fixes.parent_path());
    gf_writeLinesToFile(modelFixes.lines, scanFiles::fixes);  // logs its own failure
  } catch (const std::exception& e) {
    gf_log(wdrx::format("Error writing file {}: {}", lf_narrowPath(scanFiles::fixes), e.what()));
  }
}

void lf_writeScanErrors() {
  const bool anyError = !invalidAirlineCodes.lines.empty() || !invalidAircraftCodes.lines.empty() ||
                        !modelFixes.lines.empty() || !invalidCfgFiles.lines.empty() ||
                        !incompleteSections.lines.empty();
  gf_log(anyError ? "\nErrors:" : "\nNo errors");
  lf_writeErrorList(invalidAirlineCodes.lines, scanFiles::invalidAirlineCodes, "invalid airline code", true);
  lf_writeErrorList(invalidAircraftCodes.lines, scanFiles::invalidAircraftCodes, "invalid model code", true);
  if (!modelFixes.lines.empty()) {
    lf_writeScanFile();
    gf_log(wdrx::format("{:5} fixes, see {}", modelFixes.lines.size(), lf_narrowPath(scanFiles::fixes)));
  }
  lf_writeErrorList(invalidCfgFiles.lines, scanFiles::invalidCfgFiles, "invalid aircraft.cfg files", false);

  std::list<std::string>& incomplete = incompleteSections.lines;
  if (!incomplete.empty()) {
    const std::size_t reported = incomplete.size();
    incomplete.sort();
    incomplete.unique();
    lf_ensureErrorsFolder();
    lf_writeListToFile(incomplete, scanFiles::incompleteSections);
    gf_log(wdrx::format("{:5} incomplete [fltsim.x] sections, see {}", reported,
                        lf_narrowPath(scanFiles::incompleteSections)));
  }

  gf_log("\nInformation:");
  std::list<std::string>& empty = cfgFilesWithoutSections.lines;
  if (!empty.empty()) {
    empty.sort();
    lf_writeListToFile(empty, scanFiles::noFltsimSection);
    gf_log(wdrx::format("{:5} empty aircraft.cfg files, see {}", empty.size(),
                        lf_narrowPath(scanFiles::noFltsimSection)));
  }
}

void lf_clearScanLists() {
  for (auto* list : {&invalidAirlineCodes, &invalidAircraftCodes, &invalidCfgFiles, &incompleteSections,
                     &cfgFilesWithoutSections}) {
    std::lock_guard lock(list->mutex);
    list->lines.clear();
  }
  lf_clearClaimedTitles();
  dontUseTitles.clear();
}
