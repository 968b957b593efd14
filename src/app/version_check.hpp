#pragma once
// The check for newer versions at the start of a run that is not a restart: versions.json from
// the maker's download area; a newer program is downloaded and its installer put into the
// folder "new_version" (the run then ends with NEW VERSION); newer data files are downloaded
// into "input"; newer scan versions switch the livery or add-on airport scan on.
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "foundation/version.hpp"

inline const std::filesystem::path versionsJsonFile{"versions.json"};
inline const std::filesystem::path latestVersionZip{"latest_version.zip"};
inline const std::filesystem::path installerFile{"install_new_version.exe"};
inline const std::filesystem::path newVersionFolder{"new_version"};

// False only when a new program version was installed (the run ends with NEW VERSION); true
// otherwise, also when the check itself failed. Throws tql::UserErrorException 112 when the
// new version could not be downloaded or unpacked.
bool lf_checkVersions();
// Downloads latest_version.zip, unpacks the installer and moves it into "new_version"; true
// when the installer stands there. Every failure leaves no installer behind.
bool lf_installNewVersion(const VersionData& version);

// The version of one key of versions.json: an object with integer "major", "minor", "patch";
// nothing (and a marked log line) for any other value.
std::optional<VersionData> lf_versionFromJson(const std::string& key, const nlohmann::json& value);

std::string lf_formatVersion(const VersionData& version);
void lf_logUpdated(const std::string& key, const VersionData& version);
void lf_logUpToDate(const std::string& key);
void lf_logVersionNotFound(const std::string& key);
