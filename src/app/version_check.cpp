// The version check and the self-update.
#include "app/version_check.hpp"

#include <zip.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/download.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "platform/shell.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "traffic/drop_tally.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t unzipChunkBytes = 0x80000;
constexpr const char* updateFailedText =
    "The downloading/unzipping of the new version failed? Try manually via the Brimsted website";

struct ZipArchive {
  zip_t* archive = nullptr;
  ~ZipArchive() {
    if (archive != nullptr) zip_discard(archive);  // opened read only: nothing to write back
  }
};
struct ZipEntry {
  zip_file_t* file = nullptr;
  ~ZipEntry() {
    if (file != nullptr) zip_fclose(file);
  }
};

void lf_removeQuietly(const fs::path& path) {
  std::error_code error;
  fs::remove(path, error);
}

// Unpacks every entry of the zip into the installer file (the zip holds the installer as its
// one entry). False, with the partly written installer removed, when anything fails: an
// archive that does not open, an entry that does not read or comes out at another size.
bool lf_unzipInstaller(const fs::path& zipPath) {
  int error = 0;
  ZipArchive zip;
  zip.archive = zip_open(gf_pathToUtf8(zipPath).c_str(), ZIP_RDONLY, &error);
  if (zip.archive == nullptr) {
    gf_logMarked(wdrx::format("Could not open {}", gf_pathToUtf8(zipPath)));
    return false;
  }
  const zip_int64_t entries = zip_get_num_entries(zip.archive, 0);
  if (entries < 1) {
    gf_logMarked(wdrx::format("Unzipping error code: {} ({} holds no file)", ZIP_ER_NOENT,
                              gf_pathToUtf8(zipPath)));
    return false;
  }
  std::vector<char> chunk(unzipChunkBytes);
  for (zip_int64_t index = 0; index < entries; ++index) {
    std::error_code removeError;
    fs::remove(installerFile, removeError);
    if (removeError) {
      gf_logMarked(
          wdrx::format("Warning: could not remove old installer: {}", removeError.message()));
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    ZipEntry entry;
    if (zip_stat_index(zip.archive, static_cast<zip_uint64_t>(index), 0, &stat) == 0)
      entry.file = zip_fopen_index(zip.archive, static_cast<zip_uint64_t>(index), 0);
    if (entry.file == nullptr) {
      gf_logMarked(wdrx::format("Unzipping error code: {}", zip_error_code_zip(zip_get_error(zip.archive))));
      lf_removeQuietly(installerFile);
      return false;
    }
    std::ofstream out(installerFile, std::ios::binary | std::ios::trunc);
    if (!out) {
      gf_logMarked(wdrx::format("Could not create output file {}", gf_pathToUtf8(installerFile)));
      return false;
    }
    std::uint64_t written = 0;
    zip_int64_t read = 0;
    while ((read = zip_fread(entry.file, chunk.data(), chunk.size())) > 0) {
      out.write(chunk.data(), static_cast<std::streamsize>(read));
      written += static_cast<std::uint64_t>(read);
    }
    out.close();
    const bool sizeKnown = (stat.valid & ZIP_STAT_SIZE) != 0;
    if (read < 0 || !out) {
      gf_logMarked(wdrx::format("Unzipping error code: {}", read < 0 ? zip_error_code_zip(zip_file_get_error(entry.file)) : ZIP_ER_WRITE));
      lf_removeQuietly(installerFile);
      return false;
    }
    if (sizeKnown && written != stat.size) {
      gf_logMarked(wdrx::format("Unzipping error code: {} ({} of {} bytes)", ZIP_ER_INCONS, written,
                                stat.size));
      lf_removeQuietly(installerFile);
      return false;
    }
    gf_log(wdrx::format("{} unzipped to {}", gf_pathToUtf8(zipPath), gf_pathToUtf8(installerFile)));
  }
  return true;
}

// The extracted installer goes into the folder under a temporary name first, so that the
// folder never holds a half-copied installer.
bool lf_moveInstallerIntoPlace() {
  const fs::path target = newVersionFolder / installerFile;
  fs::path part = target;
  part += ".part";
  lf_removeQuietly(part);
  lf_removeQuietly(target);
  std::error_code error;
  const std::uintmax_t size = fs::file_size(installerFile, error);
  if (error) {
    gf_log(wdrx::format("file_size({}) failed: {}", gf_pathToUtf8(installerFile), error.message()));
    return false;
  }
  fs::rename(installerFile, part, error);
  if (error) {
    gf_log(wdrx::format("could not rename {} => {}: {}", gf_pathToUtf8(installerFile), gf_pathToUtf8(part),
                        error.message()));
    return false;
  }
  const std::uintmax_t partSize = fs::file_size(part, error);
  if (error) {
    gf_log(wdrx::format("file_size({}) failed: {}", gf_pathToUtf8(part), error.message()));
    lf_removeQuietly(part);
    return false;
  }
  if (partSize != size) {
    gf_log(wdrx::format("rename {} => {} suspicious: size {} != {}", gf_pathToUtf8(installerFile),
                        gf_pathToUtf8(part), size, partSize));
    lf_removeQuietly(part);
    return false;
  }
  fs::rename(part, target, error);
  if (error) {
    gf_log(wdrx::format("could not finalize rename {} => {}: {}", gf_pathToUtf8(part), gf_pathToUtf8(target),
                        error.message()));
    lf_removeQuietly(part);
    return false;
  }
  return true;
}

// Newer than the installed version text (a text that is no version counts as 0.0.0).
bool lf_newer(const VersionData& server, const StringParameter& installed) {
  return server > VersionData(installed.value.load());
}

void lf_storeVersion(StringParameter& installed, const std::string& key, const VersionData& version) {
  installed.value.store(lf_formatVersion(version));
  gf_saveStringParameter(installed);
  lf_logUpdated(key, version);
}

bool lf_fileMissing(const fs::path& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error && error != std::errc::no_such_file_or_directory)
    throw fs::filesystem_error("exists", path, error);
  return status.type() == fs::file_type::not_found;
}

void lf_switchScanOn(CheckBoxParameter& scan) {
  scan.value.store(true);
  gf_saveBoolParameter(scan);
  if (SettingsView* view = gf_settingsView()) view->setCheck(scan, true);
  gf_invalidateBand(optionsBand, true);
}

void lf_checkDataFile(const std::string& key, const VersionData& server, StringParameter& installed,
                      const fs::path& fileName) {
  const fs::path local = fs::path("input") / fileName;
  if (lf_newer(server, installed) || lf_fileMissing(local)) {
    if (gf_downloadFromSite(fileName, local)) lf_storeVersion(installed, key, server);
  } else {
    lf_logUpToDate(key);
  }
}

bool lf_newProgramVersion(const VersionData& version) {
  if (!lf_installNewVersion(version)) throw tql::UserErrorException(112, updateFailedText);
  const fs::path releaseNotes = newVersionFolder / "ReleaseNotes.pdf";
  if (!Downloader().download(gf_releaseNotesUrl(), releaseNotes, true)) {
    gf_logMarked(wdrx::format("could not download {} to {}", "ReleaseNotes.pdf",
                              gf_pathToUtf8(newVersionFolder)));
  }
  const std::string notice = gf_newVersionNotice(fs::current_path());
  gf_logFlush(notice);
  gf_writeStringToFile(notice, newVersionFolder / "README.txt");
  if (!gf_openContainingFolder(fs::current_path() / newVersionFolder / installerFile)) {
    platform::warningMessageBox("Could not open File Explorer at new version", "WDRX");
    gf_postStatus(
        "Opening file explorer at the new version failed? Try manually via the Brimsted website.",
        true);
  } else {
    gf_flushLog();
  }
  gf_requestRunStop(ExitReason::NewVersion, 0);
  return false;
}

}  // namespace

std::string lf_formatVersion(const VersionData& version) {
  return wdrx::format("{}.{}.{}", version.major, version.minor, version.patch);
}
void lf_logUpdated(const std::string& key, const VersionData& version) {
  gf_log(wdrx::format("{} updated to {}", key, lf_formatVersion(version)));
}
void lf_logUpToDate(const std::string& key) { gf_log(wdrx::format("{} version up-to-date", key)); }
void lf_logVersionNotFound(const std::string& key) {
  gf_logMarked(wdrx::format("{} version not found", key));
}

std::optional<VersionData> lf_versionFromJson(const std::string& key, const nlohmann::json& value) {
  std::array<std::int32_t, 3> numbers{};
  const std::array<const char*, 3> names{"major", "minor", "patch"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto member = value.is_object() ? value.find(names[i]) : value.end();
    if (!value.is_object() || member == value.end() || !member->is_number_integer() ||
        *member < 0 || *member > INT32_MAX) {
      gf_logMarked(wdrx::format("versions.json: {} is not a version: {}", key,
                                gf_logSafeText(value.dump())));
      return std::nullopt;
    }
    numbers[i] = member->get<std::int32_t>();
  }
  return VersionData(numbers[0], numbers[1], numbers[2]);
}

bool lf_installNewVersion(const VersionData& version) {
  if (!Downloader().download(gf_latestVersionZipUrl(), latestVersionZip, true)) {
    gf_postStatus(wdrx::format("Downloading program installer file version {} failed",
                               lf_formatVersion(version)),
                  true);
    return false;
  }
  gf_log(wdrx::format("Downloaded {}", gf_pathToUtf8(latestVersionZip)));
  const bool unzipped = lf_unzipInstaller(latestVersionZip);

  std::error_code error;
  if (fs::exists(newVersionFolder, error)) {
    gf_removeFilesFromDirectory(newVersionFolder);
  } else if (!fs::create_directory(newVersionFolder, error) && error) {
    lf_removeQuietly(latestVersionZip);
    lf_removeQuietly(installerFile);
    throw fs::filesystem_error("create_directory", newVersionFolder, error);
  }
  fs::remove(latestVersionZip, error);
  if (error) gf_logMarked(wdrx::format("Warning: could not remove downloaded zip: {}", error.message()));
  if (!unzipped) {
    lf_removeQuietly(installerFile);  // no stale installer stays behind
    return false;
  }
  if (!fs::exists(installerFile, error)) {
    gf_logMarked(wdrx::format("{} does not exists?", gf_pathToUtf8(fs::current_path() / installerFile)));
    return false;
  }
  const bool moved = lf_moveInstallerIntoPlace();
  fs::remove(installerFile, error);
  if (error) gf_log(wdrx::format("Warning: could not remove extracted: {}", error.message()));
  return moved && fs::is_regular_file(newVersionFolder / installerFile, error);
}

bool lf_checkVersions() {
  if (!Downloader().download(gf_versionsJsonUrl(), versionsJsonFile, false)) {
    gf_logMarked("Downloading version info from my web site failed!");
    return true;
  }
  nlohmann::json document;
  {
    std::ifstream in(versionsJsonFile, std::ios::binary);
    if (!in) {
      gf_logMarked("Cannot open versions.json");
      return true;
    }
    document = nlohmann::json::parse(in, nullptr, false);
  }
  gf_removeFile(versionsJsonFile);
  if (document.is_discarded() || !document.is_object()) {
    // A broken answer of the server costs only the check: the installed versions stay.
    gf_logMarked("versions.json is not a JSON object: version check skipped");
    return true;
  }

  auto version = [&document](const std::string& key) -> std::optional<VersionData> {
    const auto entry = document.find(key);
    if (entry == document.end()) {
      lf_logVersionNotFound(key);
      return std::nullopt;
    }
    return lf_versionFromJson(key, *entry);
  };

  if (const auto program = version("p3d_app")) {
    gf_log(wdrx::format("{} program version at web = {}", "p3d_app", lf_formatVersion(*program)));
    if (*program > programVersion) return lf_newProgramVersion(*program);
    lf_logUpToDate("p3d_app");
  }
  if (const auto airports = version("airports"))
    lf_checkDataFile("airports", *airports, AIRPORTS_VERSION, "airports.enc");
  if (const auto aig = version("aig")) lf_checkDataFile("aig", *aig, AIG_VERSION, "AIG-regcodes.enc");
  if (const auto liveries = version("liveries")) {
    if (lf_newer(*liveries, LIV_SCAN_VERSION) || lf_fileMissing("output/LiveriesScanned.xml")) {
      lf_switchScanOn(SCAN_LIVERIES);
      lf_storeVersion(LIV_SCAN_VERSION, "liveries", *liveries);
    } else {
      lf_logUpToDate("liveries");
    }
  }
  if (const auto addons = version("addons")) {
    if (lf_newer(*addons, ADDONS_SCAN_VERSION)) {
      lf_switchScanOn(SCAN_AIRPORTS);
      lf_storeVersion(ADDONS_SCAN_VERSION, "addons", *addons);
    } else {
      lf_logUpToDate("addons");
    }
  }
  if (const auto dbase = version("dbase")) lf_checkDataFile("dbase", *dbase, DBASE_VERSION, "dbase.enc");
  return true;
}
