#pragma once
// The report lists of a livery scan (what the scanner refused or corrected) and the report
// files written from them after the scan: output/errors/*.txt and output/info.
#include <filesystem>
#include <list>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// A report list shared by the scan; entries are added under its own mutex.
template <typename Container>
struct ReportList {
  std::mutex mutex;
  Container lines;

  void add(std::string line) {
    std::lock_guard lock(mutex);
    lines.push_back(std::move(line));
  }
  template <typename Range>
  void addAll(Range&& range) {
    std::lock_guard lock(mutex);
    for (auto& line : range) lines.push_back(std::move(line));
  }
};

extern ReportList<std::list<std::string>> invalidAirlineCodes;      // InvalidAirlineCodes.txt
extern ReportList<std::list<std::string>> invalidAircraftCodes;     // InvalidAircraftCodes.txt
extern ReportList<std::vector<std::string>> modelFixes;             // Fixes.txt, whole process
extern ReportList<std::list<std::string>> invalidCfgFiles;          // InvalidAircraftCfgFiles.txt
extern ReportList<std::list<std::string>> incompleteSections;       // IncompleFltsimSections.txt
extern ReportList<std::list<std::string>> cfgFilesWithoutSections;  // AircraftCfgWithNoFltsimSection.txt

// The report lines of one scanner task. A task fills its own copy and hands it back with its
// liveries; the driver moves it into the shared lists when it takes the task's result, so a
// task that the driver gave up on never touches the shared lists.
struct ScanReports {
  std::vector<std::string> invalidAirlineCodes;
  std::vector<std::string> invalidAircraftCodes;
  std::vector<std::string> modelFixes;
  std::vector<std::string> invalidCfgFiles;
  std::vector<std::string> incompleteSections;
  std::vector<std::string> cfgFilesWithoutSections;
};

// Entries, formatted as the report files show them.
void lf_reportModelFix(ScanReports& reports, std::string text);
void lf_reportInvalidCfgFile(ScanReports& reports, std::string text);
void lf_reportIncompleteSection(ScanReports& reports, std::string text);
void lf_reportInvalidAirline(ScanReports& reports, const std::string& code, const std::string& path,
                             const std::string& header);
void lf_reportInvalidModel(ScanReports& reports, const std::string& code, const std::string& path);
// Moves a task's lines onto the shared lists (each list under its mutex).
void lf_mergeScanReports(ScanReports&& reports);

namespace scanFiles {
inline const std::filesystem::path invalidAirlineCodes{"output/errors/InvalidAirlineCodes.txt"};
inline const std::filesystem::path invalidAircraftCodes{"output/errors/InvalidAircraftCodes.txt"};
inline const std::filesystem::path fixes{"output/errors/Fixes.txt"};
inline const std::filesystem::path invalidCfgFiles{"output/errors/InvalidAircraftCfgFiles.txt"};
inline const std::filesystem::path incompleteSections{"output/errors/IncompleFltsimSections.txt"};
inline const std::filesystem::path inlineRegcodes{"output/errors/InlineRegcodes.txt"};
inline const std::filesystem::path noFltsimSection{"output/info/AircraftCfgWithNoFltsimSection.txt"};
}  // namespace scanFiles

// Removes the report files and the cache of the previous scan, then the errors folder when
// it is empty. A failure is logged; the entries after it stay.
void lf_removeScanFiles();
// The summary in Log.txt and the report files (after LiveriesScanned.xml is written).
void lf_writeScanErrors();
// modelFixes -> Fixes.txt, in the order added.
void lf_writeScanFile();
// Each line followed by "\n", bytes as they are; false (and a log line) when the file cannot
// be opened, for instance because another program holds it.
bool lf_writeListToFile(const std::list<std::string>& lines, const std::filesystem::path& path);
bool lf_writeListToFile(const std::vector<std::string>& lines, const std::filesystem::path& path);
// Empties the report lists but modelFixes, claimedTitles and dontUseTitles.
void lf_clearScanLists();

// A path's narrow text for report entries and the report summary.
std::string lf_narrowPath(const std::filesystem::path& path);
// A path as UTF-8 for log lines; never throws (a unit that does not convert shows as U+FFFD).
std::string lf_pathToUtf8(const std::filesystem::path& path);
