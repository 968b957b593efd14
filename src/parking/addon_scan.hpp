#pragma once
// The add-on airport scan: walks the afolder settings' scenery folders for BGL files with
// airports, links each airport to an archived airport file (a pointer file) or generates its
// airport file from the scenery's stands, writes AirportsScanLog.txt, and zips the generated
// files of known airports still to be learned into tblo/tblo.zip. Run thread, at start-up.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/fixed_code.hpp"
#include "parking/bgl_reader.hpp"
#include "parking/stand.hpp"

inline const std::filesystem::path airportsScanLogFile{"output/info/AirportsScanLog.txt"};
// Where the user is asked to mail tblo.zip (the main window's notice shows it too).
inline constexpr const char* tbloSupportAddress = "airports@wendrix.example";

extern std::unordered_set<IcaoCode> icaoAirportCodes;  // input/ICAO_airports.txt, during a scan
extern std::vector<std::string> airportsScanLog;       // lines of AirportsScanLog.txt
extern std::atomic<std::uint64_t> tbloFileCount;       // files zipped by the last scan; 0 = none

// The main window's side of the scan, registered by the window (empty: skipped). Each call
// repaints the band that shows it.
struct AddonScanDisplay {
  std::function<void(std::int64_t)> showSimaddonCount;    // "# simaddon: {}", counters band
  std::function<void(std::int64_t)> showThirdpartyCount;  // "# thirdp: {}", counters band
  // tblo.zip was made from that many files (tbloZipMade, the "tblo.zip" button enabled and
  // the mail notice shown); options band.
  std::function<void(std::uint64_t)> showTbloZip;
  std::function<void()> repaintOptionsBand;
};
extern AddonScanDisplay addonScanDisplay;

// The whole scan. Throws tql::UserErrorException 42 (an afolder in the stock scenery) and 49
// (no afolder set), and file-system errors of the program's own folders (tblo, add-on folders).
void gf_scanAddonAirports();

void lf_readIcaoAirportsList();
std::vector<std::filesystem::path> lf_collectAfolders();
void lf_runAirportsScan(const std::vector<std::filesystem::path>& afolders);
bool lf_scanFoldersAndReport(const std::vector<std::filesystem::path>& afolders);
void lf_scanAfolders(const std::vector<std::filesystem::path>& afolders);
void lf_scanFolderForBGLfiles(const std::filesystem::path& folder);

// Paths as Windows compares them: separators '/' and '\' alike, letter case ignored, "." and
// ".." resolved, trailing separators dropped.
std::string gf_windowsPathKey(const std::filesystem::path& path);
// Whether the path is the base folder or lies below it (false for an empty base).
bool gf_pathIsAtOrBelow(const std::filesystem::path& path, const std::filesystem::path& base);
// Whether the path lies in the simulator's stock scenery; false while its folder is unknown.
bool lf_isInStockScenery(const std::filesystem::path& path);

bool lf_linkArchivedAirport(ApfData& airport);
std::optional<std::string> lf_simaddonArchiveLink(const IcaoCode& code);
std::optional<std::string> lf_thirdpartyArchiveLink(const ApfData& airport);
void lf_writeGeneratedAirport(ApfData& airport, int helipads);

// A generated file of a known airport still to be learned, read once from my_thirdparty: the
// zip takes it from memory, and tblo gets a copy only when no zip can be made.
struct TbloFile {
  std::filesystem::path source;
  std::string name;  // <ICAO>.xml
  std::vector<char> bytes;
};
std::vector<TbloFile> lf_copyToTblo();
void lf_zipTblo(const std::vector<TbloFile>& files);
bool lf_zipFolder(const std::filesystem::path& zipPath, const std::vector<TbloFile>& files);
std::optional<std::vector<char>> lf_readFileBytes(const std::filesystem::path& path);

// The reader's results go to the scan: scan-log lines, the airport database as support check,
// linking and generating.
class AddonScanSink : public BglAirportSink {
 public:
  void scanLogLine(std::string line) override;
  bool isSupportedAirport(const IcaoCode& code) override;
  bool linkArchivedAirport(ApfData& airport) override;
  void writeGeneratedAirport(ApfData& airport, int helipads) override;
};
