#pragma once
// Small file and system services: removals, backup generations, the my_thirdparty listing,
// opening folders, the new-version notice, socket error texts and number/text helpers.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/fixed_code.hpp"

void gf_removeFile(const std::filesystem::path& path);
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
void gf_removeXMLFilesFromDirectory(const std::filesystem::path& folder);
bool lf_isXmlFileEntry(const std::filesystem::directory_entry& entry);

// Entries (files and folders) directly in the folder; 0 when it does not exist. Throws
// std::filesystem::filesystem_error when the folder cannot be listed.
std::int64_t gf_countFolderEntries(const std::filesystem::path& folder);

// Whole-file writes: `write` fills a temporary file beside the target, which is renamed over it
// only after a complete write. On any failure (the write, a full disk, the rename, a read-only
// target) the previous file stays, the temporary is removed and `error` says why. A symbolic
// link keeps pointing at the file it names, which is the one replaced.
struct FileWrite {
  bool ok = false;
  std::string error;  // empty when ok
};
FileWrite gf_replaceFile(const std::filesystem::path& target,
                         const std::function<bool(const std::filesystem::path& temporary)>& write);
FileWrite gf_replaceFileWith(const std::filesystem::path& target,
                             const std::function<void(std::ostream& out)>& write);
// A fresh name beside the target ("<name>.<16 hex digits>.part"), on the target's file system.
std::filesystem::path gf_temporaryBeside(const std::filesystem::path& target);

// Renames a file that cannot be used to "<stem>.<label>-<yyyymmdd-hhmmss>[-n]<ext>" beside it,
// so that nothing written afterwards replaces it. The new path, or nothing (and `error`).
std::optional<std::filesystem::path> gf_moveAside(const std::filesystem::path& path,
                                                  const std::string& label, std::string& error);

// Generations: "0" goes before the file name's extension (Log.txt -> Log0.txt, Log00.txt,
// Log000.txt); a name without an extension gets it appended. Failed steps are logged (marked).
bool gf_save1GenerationOf(const std::filesystem::path& path);  // false when a copy failed
bool gf_saveUpto3GenerationsOf(const std::filesystem::path& path);  // always true
void lf_copyGeneration(const std::filesystem::path& from, const std::filesystem::path& to);

// Codes of airports/my_thirdparty/XXXX.xml; a 4-character name that is no code is logged and
// skipped. File-system errors of the walk pass to the caller.
std::vector<IcaoCode> gf_listMyThirdpartyXmlFiles();

bool gf_openContainingFolder(const std::filesystem::path& file);
// On failure both show a warning message box (caption "WDRX"), also logged (marked).
bool gf_openParametersFolder();
bool gf_openManualFolder();
std::filesystem::path gf_appDataPath();  // empty when not found

std::string gf_newVersionNotice(const std::filesystem::path& installFolder);
std::string gf_wsaErrorText(int code);

int gf_percent(std::int64_t part, std::int64_t whole);
std::string gf_formatOneDecimal(float value);
std::string gf_plural(std::int64_t count);
std::string gf_pluralInt(int count);
std::string gf_pluralSize(std::uint64_t count);

bool lf_isNonAircraftType(std::string_view type);
bool gf_isAircraft(std::string_view type, std::string_view category);
