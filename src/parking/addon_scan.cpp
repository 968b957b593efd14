// The add-on airport scan: afolders, the folder walks, pointer files to archived airport files,
// generated airport files, AirportsScanLog.txt, and tblo with tblo.zip. A problem of one file
// or one folder ends only that file or folder; the scan goes on with the next.
#include "parking/addon_scan.hpp"

#include <zip.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <set>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "aircraft/reference_db.hpp"
#include "airports/airport_db.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/files.hpp"
#include "foundation/folder_walk.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "parking/apf_format.hpp"
#include "parking/apf_location.hpp"
#include "platform/file_replace.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"

namespace fs = std::filesystem;

std::unordered_set<IcaoCode> icaoAirportCodes;
std::vector<std::string> airportsScanLog;
std::atomic<std::uint64_t> tbloFileCount{0};
AddonScanDisplay addonScanDisplay;

namespace {

const char* const programName = "Wendrix_P3D";

void lf_showSimaddonCount(std::int64_t count) {
  if (addonScanDisplay.showSimaddonCount) addonScanDisplay.showSimaddonCount(count);
}
void lf_showThirdpartyCount(std::int64_t count) {
  if (addonScanDisplay.showThirdpartyCount) addonScanDisplay.showThirdpartyCount(count);
}
void lf_repaintOptionsBand() {
  if (addonScanDisplay.repaintOptionsBand) addonScanDisplay.repaintOptionsBand();
}

// Entries of an add-on folder for the counters; a folder that cannot be listed counts 0.
std::int64_t lf_countEntries(const fs::path& folder) {
  try {
    return gf_countFolderEntries(folder);
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "lf_countEntries", e.what()));
    return 0;
  }
}

void lf_recountSimaddon() { lf_showSimaddonCount(lf_countEntries(myOrbxFolder)); }
void lf_recountThirdparty() { lf_showThirdpartyCount(lf_countEntries(myThirdpartyFolder)); }

// The entries of an add-on folder while the scan writes into it, for the counters band: those
// counted when the scan emptied it and the names written since (a name written again counts
// once). Listing the folder after every airport made the scan quadratic.
struct WrittenCount {
  std::int64_t listed = 0;
  std::unordered_set<std::string> names;
  std::int64_t count() const { return listed + static_cast<std::int64_t>(names.size()); }
};
WrittenCount simaddonWritten;
WrittenCount thirdpartyWritten;

void lf_noteWritten(const fs::path& folder, const fs::path& name) {
  (folder == myOrbxFolder ? simaddonWritten : thirdpartyWritten).names.insert(gf_pathToUtf8(name));
}

std::string lf_lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool lf_isAbsoluteKey(const std::string& key) {
  return (!key.empty() && key.front() == '/') ||
         (key.size() >= 3 && key[1] == ':' && key[2] == '/');
}

// The stock scenery folder when it is known (an absolute path), else none.
std::optional<fs::path> lf_knownStockFolder() {
  if (stockAirportsPath.empty() || !lf_isAbsoluteKey(gf_windowsPathKey(stockAirportsPath))) return std::nullopt;
  return stockAirportsPath;
}

// Writes a pointer file, creating its folder; a failure costs only this pointer.
void lf_writePointer(const std::string& link, const fs::path& folder, const IcaoCode& code) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  const fs::path pointer = folder / gf_apfPointerFileName(code);
  if (gf_writeStringToFile(link, pointer)) {
    lf_noteWritten(folder, gf_apfPointerFileName(code));
  } else {
    airportsScanLog.push_back(wdrx::format("{}Writing {} did not succeed", "===> ", gf_pathToUtf8(pointer)));
  }
}

// The archive refers to the added bytes until it is closed: the caller keeps them alive.
struct ZipWriter {
  zip_t* archive = nullptr;

  ~ZipWriter() {
    if (archive) zip_discard(archive);
  }
  bool add(const std::string& name, const std::vector<char>& data) {
    zip_source_t* source = zip_source_buffer(archive, data.empty() ? nullptr : data.data(), data.size(), 0);
    if (!source) return false;
    if (zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
      zip_source_free(source);
      return false;
    }
    return true;
  }
  // True when zip_close wrote the file.
  bool close() {
    const bool written = zip_close(archive) == 0;
    if (written) archive = nullptr;  // otherwise the destructor discards it
    return written;
  }
};

bool lf_closeZip(ZipWriter& zip, const fs::path& zipPath, std::uint64_t files) {
  const bool closed = zip.close();
  std::error_code ec;
  const bool exists = fs::exists(zipPath, ec);
  const std::uintmax_t size = exists ? fs::file_size(zipPath, ec) : static_cast<std::uintmax_t>(-1);
  const std::uintmax_t shownSize = ec ? static_cast<std::uintmax_t>(-1) : size;
  gf_logFlush(wdrx::format("[zip] Added {} files, ok_close={}, exists={}, size={} bytes", files, closed, exists,
                           shownSize));
  return files != 0 && exists && shownSize != 0 && shownSize != static_cast<std::uintmax_t>(-1);
}

}  // namespace

// ---------------------------------------------------------------- paths

std::string gf_windowsPathKey(const fs::path& path) {
  std::string text = lf_lowerAscii(gf_pathToUtf8(path));
  std::replace(text.begin(), text.end(), '\\', '/');
  std::string root;
  std::size_t pos = 0;
  if (text.size() >= 2 && text[1] == ':') {  // drive
    root = text.substr(0, 2);
    pos = 2;
  }
  if (pos < text.size() && text[pos] == '/') {
    root += (root.empty() && text.size() > 1 && text[1] == '/') ? "//" : "/";  // UNC keeps two
    while (pos < text.size() && text[pos] == '/') ++pos;
  }
  std::vector<std::string> parts;
  while (pos < text.size()) {
    const std::size_t next = std::min(text.find('/', pos), text.size());
    std::string part = text.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty() || part == ".") continue;
    // Windows drops trailing dots and blanks of a name.
    while (!part.empty() && (part.back() == '.' || part.back() == ' ') && part != "..") part.pop_back();
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") parts.pop_back();
      else if (root.empty()) parts.push_back(part);
      continue;
    }
    if (!part.empty()) parts.push_back(part);
  }
  std::string key = root;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) key += '/';
    key += parts[i];
  }
  return key;
}

bool gf_pathIsAtOrBelow(const fs::path& path, const fs::path& base) {
  const std::string baseKey = gf_windowsPathKey(base);
  if (baseKey.empty()) return false;
  const std::string key = gf_windowsPathKey(path);
  if (key.size() < baseKey.size() || key.compare(0, baseKey.size(), baseKey) != 0) return false;
  return key.size() == baseKey.size() || baseKey.back() == '/' || key[baseKey.size()] == '/';
}

bool lf_isInStockScenery(const fs::path& path) {
  const std::optional<fs::path> stock = lf_knownStockFolder();
  return stock && gf_pathIsAtOrBelow(path, *stock);
}

// ---------------------------------------------------------------- the scan

void gf_scanAddonAirports() {
  gf_postStatus("Scanning for airports ...", false);
  gf_logFlush(wdrx::format(
      "\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "manual "));
  lf_showSimaddonCount(0);
  lf_showThirdpartyCount(0);
  lf_readIcaoAirportsList();

  if (fs::exists(paths::tbloFolder)) gf_removeFilesFromDirectory(paths::tbloFolder);
  else fs::create_directory(paths::tbloFolder);

  const std::vector<fs::path> afolders = lf_collectAfolders();
  if (afolders.empty()) {
    gf_openManualFolder();
    gf_openParametersFolder();
    throw tql::UserErrorException(
        49, wdrx::format("Exit {} first!   Then set one or more afolder parameters to your add-on airports, "
                         "see Manual 6.2",
                         programName));
  }
  lf_runAirportsScan(afolders);

  if (tbloFileCount.load() == 0) fs::remove_all(paths::tbloFolder);
  lf_recountSimaddon();
  lf_recountThirdparty();
  icaoAirportCodes.clear();
  gf_logFlush("-------------------------- airports scan ends    ----------------------------\n");
}

void lf_readIcaoAirportsList() {
  icaoAirportCodes.clear();
  std::ifstream in(paths::icaoList, std::ios::binary);
  if (!in) {
    // The support check of the scan asks the airport database, so the list is optional.
    gf_log(wdrx::format("File '{}' is missing? The airport database decides which airports are taken",
                        gf_pathToUtf8(paths::icaoList)));
    return;
  }
  std::vector<std::string> lines;
  gf_readTextFileLines(in, lines);
  for (const std::string& line : lines) {
    for (const std::string& piece : gf_split(line)) {
      try {
        icaoAirportCodes.insert(IcaoCode(piece));
      } catch (const std::exception& e) {
        gf_logMarked(wdrx::format("{} exception: {}", "lf_readIcaoAirportsList", e.what()));
      }
    }
  }
  gf_log(wdrx::format("{} ICAO codes of airports read", icaoAirportCodes.size()));
}

std::vector<fs::path> lf_collectAfolders() {
  std::vector<fs::path> afolders;
  afolders.reserve(10);
  const std::optional<fs::path> stock = lf_knownStockFolder();
  for (StringParameter* parameter : airportFolderParameters) {
    const std::string value = parameter->value.load();
    if (value.empty()) continue;
    fs::path folder;
    try {
      folder = fs::path(utf8_to_wide(value));
    } catch (const std::exception& e) {
      gf_logMarked(wdrx::format("{} exception: {} ({})", "lf_collectAfolders", e.what(), parameter->name));
      continue;
    }
    if (stock && gf_pathIsAtOrBelow(folder, *stock)) {
      throw tql::UserErrorException(
          42, wdrx::format("parameter {} points to stock airports instead of add-on airports!", parameter->name));
    }
    gf_logFlush(wdrx::format("From parameter {}: {}", parameter->name, gf_pathToUtf8(folder)));
    afolders.push_back(folder);
  }
  return afolders;
}

void lf_runAirportsScan(const std::vector<fs::path>& afolders) {
  gf_removeFilesFromDirectory(myOrbxFolder);
  gf_removeFilesFromDirectory(myThirdpartyFolder);
  simaddonWritten = WrittenCount{lf_countEntries(myOrbxFolder), {}};
  thirdpartyWritten = WrittenCount{lf_countEntries(myThirdpartyFolder), {}};
  if (!lf_scanFoldersAndReport(afolders)) gf_postStatus("Warning: Scan has not found any add-on airports", true);
  SCAN_AIRPORTS.value.store(false);
  gf_saveBoolParameter(SCAN_AIRPORTS);
  if (SettingsView* view = gf_settingsView()) view->setCheck(SCAN_AIRPORTS, false);
  lf_repaintOptionsBand();
}

bool lf_scanFoldersAndReport(const std::vector<fs::path>& afolders) {
  gf_logFlush(wdrx::format("The scan will search {} folder{}", afolders.size(), gf_pluralSize(afolders.size())));
  std::error_code ec;
  fs::remove(airportsScanLogFile, ec);
  if (ec) {
    gf_logFlush("problems with removing previous files (maybe still open?): " + ec.message());
  }
  tbloFileCount.store(0);
  airportsScanLog.clear();
  airportsScanLog.reserve(2048);

  lf_scanAfolders(afolders);

  fs::create_directories(airportsScanLogFile.parent_path(), ec);
  if (gf_writeLinesToFile(airportsScanLog, airportsScanLogFile))
    gf_logFlush(gf_pathToUtf8(airportsScanLogFile) + " written");
  else
    gf_logMarked(wdrx::format("{} could not be written", gf_pathToUtf8(airportsScanLogFile)));
  gf_clearStatus();
  airportsScanLog.clear();

  lf_zipTblo(lf_copyToTblo());

  const std::int64_t simaddon = lf_countEntries(myOrbxFolder);
  lf_showSimaddonCount(simaddon);
  const std::int64_t thirdparty = lf_countEntries(myThirdpartyFolder);
  lf_showThirdpartyCount(thirdparty);
  return simaddon != 0 || thirdparty != 0;
}

void lf_scanAfolders(const std::vector<fs::path>& afolders) {
  for (const fs::path& folder : afolders) {
    if (folder.empty()) continue;
    try {
      std::error_code ec;
      const fs::file_status status = fs::status(folder, ec);
      if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
        gf_postStatus(wdrx::format("{} cannot be read ({}), skipped!", gf_pathToUtf8(folder), ec.message()), true);
        continue;
      }
      if (!fs::exists(status)) {
        gf_postStatus(gf_pathToUtf8(folder) + " does not exist, skipped!", true);
      } else if (!fs::is_directory(status)) {
        gf_postStatus(gf_pathToUtf8(folder) + " is not a folder name, skipped!", true);
      } else if (!lf_isInStockScenery(folder)) {
        lf_scanFolderForBGLfiles(folder);
      }
    } catch (const std::exception& e) {
      airportsScanLog.push_back(wdrx::format("{} airports search in folder {} aborted, cause: {}", "===> ",
                                             gf_pathToUtf8(folder), e.what()));
    }
  }
}

void lf_scanFolderForBGLfiles(const fs::path& folder) {
  const std::string header =
      wdrx::format("\n\n\n+++++++++++++++++ Scanning for {} airports in:{}\n", "addon ", gf_pathToUtf8(folder));
  gf_postStatus(header, true);
  airportsScanLog.push_back(header);

  AddonScanSink sink;
  FolderWalk walk(folder, fs::directory_options::skip_permission_denied,
                  [](const fs::path& path, const std::error_code& error) {
                    airportsScanLog.push_back(
                        wdrx::format("{}folder {} skipped, cause: {}", "===> ", gf_pathToUtf8(path), error.message()));
                  });
  while (const std::optional<fs::directory_entry> next = walk.next()) {
    const fs::directory_entry& entry = *next;
    std::error_code ec;
    const fs::path& path = entry.path();
    if (lf_isInStockScenery(path)) continue;
    if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
      walk.descend(path);
      continue;
    }
    if (!entry.is_regular_file(ec)) continue;
    if (lf_lowerAscii(gf_pathToUtf8(path.extension())) != ".bgl") continue;
    const std::string pathText = gf_pathToUtf8(path);
    if (pathText.find("statics") != std::string::npos || pathText.find("_heliports") != std::string::npos ||
        pathText.find("duijffmedia-eham-remove") != std::string::npos)
      continue;
    std::ifstream in(path, std::ios::binary);  // one open for the quick test and the reading
    if (!in || !lf_hasAirportSection(in)) continue;
    if (runStopRequested.load() || closeRequested.load()) return;
    try {
      lf_processBGLfile(in, path, sink);
    } catch (const std::exception& e) {
      airportsScanLog.push_back(wdrx::format("{}{} skipped, cause: {}", "===> ", pathText, e.what()));
    } catch (...) {
      airportsScanLog.push_back(wdrx::format("{}{} skipped", "===> ", pathText));
    }
  }
}

// ---------------------------------------------------------------- the reader's sink

void AddonScanSink::scanLogLine(std::string line) { airportsScanLog.push_back(std::move(line)); }

bool AddonScanSink::isSupportedAirport(const IcaoCode& code) { return gf_isKnownAirport(code); }

bool AddonScanSink::linkArchivedAirport(ApfData& airport) {
  if (!lf_linkArchivedAirport(airport)) return false;
  lf_showSimaddonCount(simaddonWritten.count());
  lf_showThirdpartyCount(thirdpartyWritten.count());
  return true;
}

void AddonScanSink::writeGeneratedAirport(ApfData& airport, int helipads) {
  lf_writeGeneratedAirport(airport, helipads);
  lf_showThirdpartyCount(thirdpartyWritten.count());
}

// ---------------------------------------------------------------- linking and generating

bool lf_linkArchivedAirport(ApfData& airport) {
  if (airport.publisher.empty()) gf_publisherFromFilename(airport.BGLpath, airport.publisher, airportsScanLog);
  if (airport.publisher.empty()) return false;
  if (airport.publisher == paths::simaddonFolderName) {
    const std::optional<std::string> link = lf_simaddonArchiveLink(airport.icao);
    if (!link) return false;
    lf_writePointer(*link, myOrbxFolder, airport.icao);
    airportsScanLog.push_back(wdrx::format("{} airport {} linked to {}\n", "simaddon", airport.icao, *link));
    return true;
  }
  const std::optional<std::string> link = lf_thirdpartyArchiveLink(airport);
  if (!link) return false;
  lf_writePointer(*link, myThirdpartyFolder, airport.icao);
  airportsScanLog.push_back(wdrx::format("thirdparty airport {} linked to {}\n", airport.icao, *link));
  return true;
}

std::optional<std::string> lf_simaddonArchiveLink(const IcaoCode& code) {
  if (simaddonAirports.contains(code.str())) return wdrx::format("archive/simaddon/{}.xml", code);
  airportsScanLog.push_back(wdrx::format("{} does not exist as simaddon", code));
  return std::nullopt;
}

std::optional<std::string> lf_thirdpartyArchiveLink(const ApfData& airport) {
  const std::string code = airport.icao.str();
  for (const ThirdPartyAirports& entry : thirdPartyAirports) {
    if (entry.publisher != airport.publisher) continue;
    if (std::find(entry.airports.begin(), entry.airports.end(), code) == entry.airports.end()) continue;
    std::string publisher;
    for (char c : entry.publisher) publisher += c == ' ' ? std::string("%20") : std::string(1, c);
    return wdrx::format("archive/thirdparty/{}/{}.xml", publisher, code);
  }
  airportsScanLog.push_back(wdrx::format("thirdparty {} {} does not exist", airport.publisher, code));
  return std::nullopt;
}

void lf_writeGeneratedAirport(ApfData& airport, int helipads) {
  if (airport.stands.empty()) {
    airportsScanLog.push_back(wdrx::format("{} has no stands", airport.icao));
    return;
  }
  const fs::path folder = airport.publisher == paths::simaddonFolderName ? myOrbxFolder : myThirdpartyFolder;
  const std::size_t count = airport.stands.size();
  airportsScanLog.push_back(wdrx::format(
      "Generated {}: {} position{}{}", gf_apfFileNameString(airport.icao), count, gf_pluralSize(count),
      helipads >= 1 ? wdrx::format(" of which {} helipad{}", helipads, gf_pluralInt(helipads)) : std::string()));
  std::stable_sort(airport.stands.begin(), airport.stands.end(),
                   [](const Stand& a, const Stand& b) { return a.name < b.name; });
  if (!fs::is_directory(folder)) fs::create_directories(folder);  // throws when it cannot be a folder
  const fs::path path = folder / gf_apfFileName(airport.icao);
  if (gf_saveApf(airport, path, apfModeGenerated, metaSimNumber.load())) {
    lf_noteWritten(folder, gf_apfFileName(airport.icao));
  } else {
    airportsScanLog.push_back(wdrx::format("{}Writing {} did not succeed", "===> ", gf_pathToUtf8(path)));
  }
}

// ---------------------------------------------------------------- tblo

std::vector<TbloFile> lf_copyToTblo() {
  std::vector<TbloFile> files;
  for (const IcaoCode& code : gf_listMyThirdpartyXmlFiles()) {
    if (!gf_isKnownAirport(code)) continue;
    const fs::path source = myThirdpartyFolder / gf_apfFileName(code);
    std::optional<std::vector<char>> bytes = lf_readFileBytes(source);
    if (!bytes) {
      gf_logMarked(wdrx::format("'{}' failed to copy '{}': {}", gf_pathToUtf8(source),
                                gf_pathToUtf8(paths::tbloFolder / gf_apfFileName(code)), "cannot be read"));
      continue;
    }
    files.push_back(TbloFile{source, gf_apfFileNameString(code), std::move(*bytes)});
    // The pointers beside are the ones this scan wrote: the scan began with an empty folder.
    if (thirdpartyWritten.names.contains(gf_pathToUtf8(gf_apfPointerFileName(code)))) {
      std::error_code ec;
      fs::remove(source, ec);
      if (ec) gf_logMarked(wdrx::format("remove({}) failed: {}", gf_pathToUtf8(source), ec.message()));
    }
  }
  return files;
}

namespace {
// The copies in tblo, for the user to send when no zip could be made.
void lf_writeTbloCopies(const std::vector<TbloFile>& files) {
  for (const TbloFile& file : files) {
    const fs::path target = paths::tbloFolder / file.name;
    const FileWrite written = gf_replaceFileWith(target, [&file](std::ostream& out) {
      out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
    });
    if (!written.ok) {
      gf_logMarked(wdrx::format("'{}' failed to copy '{}': {}", gf_pathToUtf8(file.source), gf_pathToUtf8(target),
                                written.error));
    }
  }
}
}  // namespace

void lf_zipTblo(const std::vector<TbloFile>& files) {
  // The entries of tblo with the copies in it: the scan emptied it of files, so what is there
  // besides the copies are folders (an old zip among them, if it is one).
  std::set<fs::path> entries;
  if (fs::is_directory(paths::tbloFolder)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(paths::tbloFolder))
      entries.insert(entry.path().filename());
  }
  for (const TbloFile& file : files) entries.insert(fs::path(file.name));
  const auto count = static_cast<std::int64_t>(entries.size());
  if (count == 0) {
    tbloFileCount.store(0);
    gf_logFlush("All your simaddon and third party airports are recognised, no off line learning needed.");
    return;
  }
  const fs::path zipPath = paths::tbloFolder / paths::tbloZip;
  const bool zipped = lf_zipFolder(zipPath, files);
  // Without the zip the copies are all the user has to send.
  if (zipped) {
    gf_removeXMLFilesFromDirectory(paths::tbloFolder);
  } else {
    lf_writeTbloCopies(files);
    gf_logMarked("Zippen TBLO folder failed");
  }
  tbloFileCount.store(static_cast<std::uint64_t>(count));
  if (addonScanDisplay.showTbloZip) addonScanDisplay.showTbloZip(static_cast<std::uint64_t>(count));
  gf_logFlush(wdrx::format("\n! Mail {} to {}\n", gf_pathToUtf8(zipped ? zipPath : paths::tbloFolder),
                           tbloSupportAddress));
  lf_repaintOptionsBand();
}

std::optional<std::vector<char>> lf_readFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  std::vector<char> bytes(static_cast<std::size_t>(size));
  in.seekg(0);
  if (size > 0 && !in.read(bytes.data(), size)) return std::nullopt;
  return bytes;
}

bool lf_zipFolder(const fs::path& zipPath, const std::vector<TbloFile>& files) {
  const fs::path& source = paths::tbloFolder;
  if (!fs::is_directory(fs::status(source))) {
    gf_logFlush(wdrx::format("[zip] Not a directory: {}", gf_pathToUtf8(source)));
    return false;
  }
  if (zipPath.has_parent_path()) fs::create_directories(zipPath.parent_path());
  const fs::path target = fs::absolute(zipPath);
  gf_logFlush(wdrx::format("[zip] Target file: {}", gf_pathToUtf8(target)));
  gf_logFlush(wdrx::format("[zip] Source dir : {}", gf_pathToUtf8(fs::absolute(source))));
  if (fs::exists(target)) {
    gf_logFlush(wdrx::format("[zip] Removing old zip {}", gf_pathToUtf8(target)));
    // An old zip still open elsewhere (a mail being written) costs this zip, not the run.
    std::error_code ec;
    if (!fs::remove(target, ec) || ec) {
      gf_logFlush(wdrx::format("[zip] Could not remove old zip {}: {}", gf_pathToUtf8(target),
                               ec ? ec.message() : std::string("not removed")));
      return false;
    }
  }
  ZipWriter zip;
  int error = 0;
  zip.archive = zip_open(gf_pathToUtf8(target).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!zip.archive) {
    gf_logFlush("[zip] Could not open archive for writing");
    return false;
  }
  std::uint64_t added = 0;
  // The copies come from memory; any other file found in tblo is read here.
  std::deque<std::vector<char>> found;
  const auto add = [&](const fs::path& path, const std::string& name, const std::vector<char>& bytes) {
    gf_logFlush(wdrx::format("[zip] Adding (data) {} -> {} ({} bytes)", gf_pathToUtf8(path), name, bytes.size()));
    if (!zip.add(name, bytes)) {
      gf_logFlush(wdrx::format("[zip] ERROR addData({})", name));
      return false;
    }
    ++added;
    return true;
  };
  for (const fs::directory_entry& entry : fs::directory_iterator(source)) {
    if (!entry.is_regular_file() || entry.path() == zipPath || fs::absolute(entry.path()) == target) continue;
    std::optional<std::vector<char>> bytes = lf_readFileBytes(entry.path());
    if (!bytes) {
      gf_logFlush(wdrx::format("[zip] READ FAIL: {}", gf_pathToUtf8(entry.path())));
      continue;
    }
    found.push_back(std::move(*bytes));
    if (!add(entry.path(), gf_pathToUtf8(entry.path().filename()), found.back())) return lf_closeZip(zip, target, added);
  }
  for (const TbloFile& file : files) {
    if (!add(file.source, file.name, file.bytes)) break;
  }
  return lf_closeZip(zip, target, added);
}
