#include "foundation/files.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <mutex>
#include <random>
#include <unordered_set>
#include <utility>

#include <gsl/narrow>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "platform/file_replace.hpp"
#include "platform/known_folders.hpp"
#include "platform/process.hpp"
#include "platform/shell.hpp"

namespace fs = std::filesystem;

// ---------------------------------------------------------------- removals

void gf_removeFile(const fs::path& path) {
  std::error_code ec;
  // A failed existence test (a folder that cannot be searched) may hide a file that stays.
  if (!fs::exists(path, ec) && !ec) return;
  if (ec || (!fs::remove(path, ec) && ec)) {
    gf_logMarked(wdrx::format("Warning: could not remove {}, errorcode: {}", gf_pathToUtf8(path),
                              ec.message()));
  }
}

bool lf_isXmlFileEntry(const fs::directory_entry& entry) {
  std::error_code ec;
  if (!entry.is_regular_file(ec)) return false;
  std::string extension = entry.path().extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), gf_toUpperChar);
  return extension == ".XML";
}

namespace {
template <typename Accept>
void lf_removeFilesFrom(const fs::path& folder, const char* caller, Accept&& accept) {
  try {
    // A missing folder or another kind of file ends the call quietly; a status error that
    // is not "not found" throws and is logged below.
    if (!fs::is_directory(fs::status(folder))) return;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (!entry.is_regular_file() || !accept(entry)) continue;
      if (!fs::remove(entry.path(), ec) && ec) {
        gf_logMarked(wdrx::format("Failed to remove {} ({})", gf_pathToUtf8(entry.path()),
                                  ec.message()));
      }
    }
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", caller, e.what()));
  }
}
}  // namespace

void gf_removeFilesFromDirectory(const fs::path& folder) {
  lf_removeFilesFrom(folder, "gf_removeFilesFromDirectory", [](const auto&) { return true; });
}

void gf_removeXMLFilesFromDirectory(const fs::path& folder) {
  lf_removeFilesFrom(folder, "gf_removeXMLFilesFromDirectory", lf_isXmlFileEntry);
}

std::int64_t gf_countFolderEntries(const fs::path& folder) {
  if (!fs::exists(folder)) return 0;
  const fs::directory_iterator entries(folder);
  return std::distance(fs::begin(entries), fs::end(entries));
}

// ---------------------------------------------------------------- whole-file writes

fs::path gf_temporaryBeside(const fs::path& target) {
  static std::mutex randomMutex;
  static std::mt19937_64 engine{std::random_device{}()};
  std::uint64_t tag = 0;
  {
    std::lock_guard lock(randomMutex);
    tag = engine();
  }
  fs::path temporary = target;
  temporary += wdrx::format(".{:016x}.part", tag);
  return temporary;
}

namespace {
bool lf_isReadOnly(const fs::file_status& status) {
  return fs::exists(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}
}  // namespace

FileWrite gf_replaceFile(const fs::path& target, const std::function<bool(const fs::path&)>& write) {
  std::error_code ec;
  fs::path file = target;
  // One status query, a second only for a link (its target is replaced).
  fs::file_status status = fs::symlink_status(target, ec);
  if (fs::is_symlink(status)) {
    file = fs::weakly_canonical(target, ec);
    if (ec) return {false, wdrx::format("cannot follow the link: {}", ec.message())};
    status = fs::status(file, ec);
  }
  if (ec && ec != std::errc::no_such_file_or_directory) return {false, ec.message()};
  if (fs::exists(status) && !fs::is_regular_file(status)) return {false, "not a file"};
  // A rename would replace it regardless of its mode; the user made it read-only on purpose.
  if (lf_isReadOnly(status)) return {false, "the file is read-only"};

  const fs::path temporary = gf_temporaryBeside(file);
  FileWrite result;
  try {
    if (!write(temporary)) {
      result.error = "could not write " + gf_pathToUtf8(temporary);
    } else {
      // Keep the mode the user gave the file (the temporary has the default one).
      if (fs::exists(status)) fs::permissions(temporary, status.permissions(), ec);
      ec = platform::moveFileOver(temporary, file);
      if (ec) result.error = wdrx::format("rename: {}", ec.message());
      result.ok = !ec;
    }
  } catch (const std::exception& e) {
    result = {false, e.what()};
  }
  if (!result.ok) fs::remove(temporary, ec);
  return result;
}

FileWrite gf_replaceFileWith(const fs::path& target, const std::function<void(std::ostream&)>& write) {
  return gf_replaceFile(target, [&write](const fs::path& temporary) {
    std::ofstream out(temporary, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out.is_open()) return false;
    write(out);
    out.close();  // flushes: a full disk shows here at the latest
    return static_cast<bool>(out);
  });
}

std::optional<fs::path> gf_moveAside(const fs::path& path, const std::string& label,
                                     std::string& error) {
  using namespace std::chrono;
  const auto now = time_point_cast<seconds>(gf_clock().systemNow());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  const std::string stamp =
      wdrx::format("{:04}{:02}{:02}-{:02}{:02}{:02}", static_cast<int>(date.year()),
                   static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                   time.hours().count(), time.minutes().count(), time.seconds().count());
  std::error_code ec;
  for (int n = 1; n < 100; ++n) {
    fs::path aside = path.parent_path() / path.stem();
    aside += wdrx::format(".{}-{}{}", label, stamp, n == 1 ? std::string{} : wdrx::format("-{}", n));
    aside += path.extension();
    if (fs::exists(fs::symlink_status(aside, ec))) continue;
    fs::rename(path, aside, ec);
    if (ec) {
      error = ec.message();
      return std::nullopt;
    }
    return aside;
  }
  error = "no free name";
  return std::nullopt;
}

// ---------------------------------------------------------------- generations

namespace {
// name.ext -> name0.ext (zeros = 1), name00.ext, ...; the mark goes before the file name's
// extension, never into a folder name; a name without an extension gets it appended.
fs::path lf_generationName(const fs::path& path, int zeros) {
  fs::path name = path.stem();
  name += std::string(static_cast<std::size_t>(zeros), '0');
  name += path.extension();
  return path.parent_path() / name;
}

// False when the status query or the copy failed.
bool lf_copyStep(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  const auto status = fs::status(from, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) {
    gf_logMarked(wdrx::format("exists({}): {}", gf_pathToUtf8(from), ec.message()));
    return false;
  }
  if (!fs::exists(status)) return true;
  if ((ec = platform::copyFileOver(from, to))) {
    gf_logMarked(wdrx::format("copy {} -> {} failed: {}", gf_pathToUtf8(from), gf_pathToUtf8(to),
                              ec.message()));
    return false;
  }
  return true;
}
}  // namespace

void lf_copyGeneration(const fs::path& from, const fs::path& to) { lf_copyStep(from, to); }

bool gf_save1GenerationOf(const fs::path& path) {
  return lf_copyStep(path, lf_generationName(path, 1));
}

bool gf_saveUpto3GenerationsOf(const fs::path& path) {
  lf_copyGeneration(lf_generationName(path, 2), lf_generationName(path, 3));
  lf_copyGeneration(lf_generationName(path, 1), lf_generationName(path, 2));
  lf_copyGeneration(path, lf_generationName(path, 1));
  return true;
}

// ---------------------------------------------------------------- my_thirdparty listing

std::vector<IcaoCode> gf_listMyThirdpartyXmlFiles() {
  std::vector<IcaoCode> codes;
  const fs::path folder = paths::airportsFolder / "my_thirdparty";
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return codes;
  codes.reserve(512);
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!lf_isXmlFileEntry(entry)) continue;
    const std::string stem = entry.path().stem().string();
    if (stem.size() != 4) continue;
    try {
      codes.emplace_back(stem);
    } catch (const std::exception& e) {
      // One odd file name must not hide the others.
      gf_logMarked(wdrx::format("{} exception: {}", "gf_listMyThirdpartyXmlFiles", e.what()));
    }
  }
  return codes;
}

// ---------------------------------------------------------------- shell

bool gf_openContainingFolder(const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(file, ec) || !file.has_parent_path()) return false;
  return platform::shellOpenFolder(file.parent_path());
}

namespace {
void lf_warningBox(const std::string& text) {
  gf_logMarked(text);
  platform::warningMessageBox(text, "WDRX");
}
}  // namespace

bool gf_openParametersFolder() {
  if (gf_openContainingFolder(parametersFile)) return true;
  lf_warningBox("Could not open folder with parameters.xml");
  return false;
}

bool gf_openManualFolder() {
  if (gf_openContainingFolder(fs::current_path() / paths::manualFolder / "Manual.pdf")) return true;
  lf_warningBox("Could not open local folder with Manual");
  return false;
}

fs::path gf_appDataPath() {
  if (auto folder = platform::knownFolder(platform::KnownFolder::RoamingAppData)) return *folder;
  gf_logMarked("Could not find the AppData path");
  return {};
}

// ---------------------------------------------------------------- new-version notice

namespace {
bool lf_startsWithFolder(const std::string& text, platform::KnownFolder which) {
  const auto folder = platform::knownFolder(which);
  if (!folder) return false;
  const std::string prefix = gf_pathToUtf8(*folder);
  return !prefix.empty() && text.starts_with(prefix);
}

bool lf_folderIsWritable(const fs::path& folder) {
  const fs::path probe = folder / ".write_test.tmp";
  bool written = false;
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    if (out.is_open()) {
      out.put('x');
      out.flush();
      written = static_cast<bool>(out);
    }
  }
  std::error_code ec;
  fs::remove(probe, ec);
  return written;
}
}  // namespace

std::string gf_newVersionNotice(const fs::path& installFolder) {
  // Wide on Windows: a folder with letters outside the ANSI code page is compared, not thrown on.
  const std::string text = gf_pathToUtf8(installFolder);
  const bool underProgramFiles = lf_startsWithFolder(text, platform::KnownFolder::ProgramFiles) ||
                                 lf_startsWithFolder(text, platform::KnownFolder::ProgramFilesX86);
  if (underProgramFiles && !lf_folderIsWritable(installFolder) && !platform::processIsElevated()) {
    return "A new version is available. Run the installer as Administrator";
  }
  return "A new version is available.\nThe installer can be executed normally (no Administrator "
         "rights required).";
}

// ---------------------------------------------------------------- socket error texts

std::string gf_wsaErrorText(int code) {
  static constexpr std::array<std::pair<int, const char*>, 49> table{{
      {10004, "Interrupted system call"},
      {10009, "Bad file number"},
      {10013, "Permission denied"},
      {10014, "Bad address"},
      {10022, "Invalid argument"},
      {10024, "Too many open sockets"},
      {10035, "Operation would block"},
      {10036, "Operation now in progress"},
      {10037, "Operation already in progress"},
      {10038, "Socket operation on non-socket"},
      {10039, "Destination address required"},
      {10040, "Messenger too long"},
      {10041, "Protocol wrong type for socket"},
      {10042, "Bad protocol option"},
      {10043, "Protocol not supported"},
      {10044, "Socket type not supported"},
      {10045, "Operation not supported on socket"},
      {10046, "Protocol family not supported"},
      {10047, "Address family not supported"},
      {10048, "Address already in use"},
      {10049, "Can't assign requested address"},
      {10050, "Network is down"},
      {10051, "Network is unreachable"},
      {10052, "Net connection reset"},
      {10053, "Software caused connection abort"},
      {10054, "Connection reset by peer"},
      {10055, "No buffer space available"},
      {10056, "Socket is already connected"},
      {10057, "Socket is not connected"},
      {10058, "Can't send numLines socket shutdown"},
      {10059, "Too many references, can't splice"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10062, "Too many levels of symbolic links"},
      {10063, "File name too long"},
      {10064, "Host is down"},
      {10065, "No route to host"},
      {10066, "Directory not empty"},
      {10067, "Too many processes"},
      {10068, "Too many users"},
      {10069, "Disc quota exceeded"},
      {10070, "Stale NFS file handle"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network system is unavailable"},
      {10092, "Winsock version out of range"},
      {10093, "WSAStartup not yet called"},
      {10101, "Graceful shutdown in progress"},
      {11001, "Host not found"},
      {11004, "No host data of that type was found"},
  }};
  const auto it = std::find_if(table.begin(), table.end(),
                               [code](const auto& entry) { return entry.first == code; });
  return wdrx::format("{} {}", code, it != table.end() ? it->second : "Unknown errror code");
}

// ---------------------------------------------------------------- numbers and texts

int gf_percent(std::int64_t part, std::int64_t whole) {
  if (whole < 1) return 0;
  const double rounded =
      std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole));  // halves away from 0
  // Range-checked before the conversion, which is undefined outside int.
  if (!(rounded >= std::numeric_limits<int>::min() && rounded <= std::numeric_limits<int>::max())) {
    throw gsl::narrowing_error{};
  }
  return static_cast<int>(rounded);
}

std::string gf_formatOneDecimal(float value) {
  return value == std::trunc(value) ? wdrx::format("{:.0f}", value) : wdrx::format("{:.1f}", value);
}

std::string gf_plural(std::int64_t count) { return count == 1 || count < 0 ? "" : "s"; }
std::string gf_pluralInt(int count) { return gf_plural(count); }
std::string gf_pluralSize(std::uint64_t count) { return count == 1 ? "" : "s"; }

bool lf_isNonAircraftType(std::string_view type) {
  static const std::unordered_set<std::string_view> nonAircraft{
      "BALL", "EMER", "GLID", "GRND", "GND", "PARA", "SERV", "SHIP", "VENT"};
  return type.size() > 4 || nonAircraft.contains(type);
}

bool gf_isAircraft(std::string_view type, std::string_view category) {
  static const std::unordered_set<std::string_view> nonAircraftCategories{"B1", "B2", "B4", "C1",
                                                                          "C2"};
  if (type.empty() || type == "null") return false;
  if (nonAircraftCategories.contains(category)) return false;
  return !lf_isNonAircraftType(type);
}
