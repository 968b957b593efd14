// The version check and the self-update against the loopback HTTP server.
#include "app/version_check.hpp"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/config_fixture.hpp"
#include "config/settings.hpp"
#include "foundation/files.hpp"
#include "foundation/user_error.hpp"
#include "platform/shell.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "shell_fixture.hpp"
#include "support/http_server.hpp"

namespace fs = std::filesystem;

namespace shell_test {
namespace {

// A zip in memory with the given entries (name, content).
std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  const fs::path file = "made.zip";
  int error = 0;
  zip_t* zip = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  EXPECT_NE(zip, nullptr);
  for (const auto& [name, content] : entries) {
    zip_source_t* source = zip_source_buffer(zip, content.data(), content.size(), 0);
    EXPECT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
  }
  EXPECT_EQ(zip_close(zip), 0);
  std::string bytes = wdrx::testing::readFile(file);
  fs::remove(file);
  return bytes;
}

std::string versionsJson(const std::string& app, const std::string& data) {
  auto object = [](const std::string& text) {
    const VersionData v(text);
    return "{\"major\":" + std::to_string(v.major) + ",\"minor\":" + std::to_string(v.minor) +
           ",\"patch\":" + std::to_string(v.patch) + "}";
  };
  return "{\"p3d_app\":" + object(app) + ",\"airports\":" + object(data) + ",\"aig\":" +
         object(data) + ",\"liveries\":" + object(data) + ",\"addons\":" + object(data) +
         ",\"dbase\":" + object(data) + "}";
}

class VersionCheck : public ShellTest {
 protected:
  VersionCheck() {
    setenv("WDRX_DOWNLOAD_BASE", server.url("/downloads/").c_str(), 1);
    writeParametersFile({{"PROGRAM_VERSION", "12.5.4"}});
    for (StringParameter* installed : {&AIRPORTS_VERSION, &AIG_VERSION, &LIV_SCAN_VERSION,
                                       &ADDONS_SCAN_VERSION, &DBASE_VERSION})
      installed->value.store("1.2.3");
    for (const char* file : {"input/airports.enc", "input/AIG-regcodes.enc", "input/dbase.enc",
                             "output/LiveriesScanned.xml"})
      wdrx::testing::writeFile(file, "installed");
    SCAN_LIVERIES.value.store(false);
    SCAN_AIRPORTS.value.store(false);
    platform::setShellOpenHandler([this](const fs::path& folder) {
      opened.push_back(folder);
      return openSucceeds;
    });
    platform::setMessageBoxHandler([this](const std::string& text, const std::string&) { boxes.push_back(text); });
  }
  ~VersionCheck() override {
    platform::setShellOpenHandler({});
    platform::setMessageBoxHandler({});
    unsetenv("WDRX_DOWNLOAD_BASE");
  }

  void serveNewProgram(const std::string& zipBytes) {
    server.serveFile("/downloads/versions.json", versionsJson("12.5.5", "1.2.3"));
    server.serveFile("/downloads/release/Wendrix_P3D/latest_version.zip", zipBytes);
    server.serveFile("/downloads/docs/ReleaseNotes.pdf", "%PDF notes");
  }
  bool requested(const std::string& path) const {
    for (const auto& request : server.requests())
      if (request.target == path) return true;
    return false;
  }
  int installFailure() {
    try {
      lf_checkVersions();
    } catch (const tql::UserErrorException& e) {
      return std::stoi(e.what());
    }
    return 0;
  }
  void expectNoInstallerAnywhere() {
    EXPECT_FALSE(fs::exists("install_new_version.exe"));
    EXPECT_FALSE(fs::exists("new_version/install_new_version.exe"));
    EXPECT_FALSE(fs::exists("new_version/install_new_version.exe.part"));
    EXPECT_FALSE(fs::exists("latest_version.zip"));
  }

  wdrx::testing::HttpServer server;
  std::vector<fs::path> opened;
  std::vector<std::string> boxes;
  bool openSucceeds = true;
};

TEST_F(VersionCheck, EverythingUpToDateDownloadsNothingElse) {
  server.serveFile("/downloads/versions.json", versionsJson("12.5.4", "1.2.3"));
  EXPECT_TRUE(lf_checkVersions());
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_FALSE(fs::exists("versions.json"));
  const std::string log = logText();
  EXPECT_NE(log.find("p3d_app program version at web = 12.5.4"), std::string::npos);
  for (const char* key : {"p3d_app", "airports", "aig", "liveries", "addons", "dbase"})
    EXPECT_NE(log.find(std::string(key) + " version up-to-date"), std::string::npos) << key;
  EXPECT_FALSE(SCAN_LIVERIES.value.load());
  EXPECT_EQ(exitReason.load(), ExitReason::NotYetSet);
}

TEST_F(VersionCheck, NewerDataIsDownloadedAndItsVersionStored) {
  server.serveFile("/downloads/versions.json", versionsJson("12.4.9", "1.2.4"));
  server.serveFile("/downloads/12/airports.enc", "new airports");
  server.serveStatus("/downloads/12/AIG-regcodes.enc", 404);
  server.serveFile("/downloads/12/dbase.enc", "new dbase");
  EXPECT_TRUE(lf_checkVersions());
  EXPECT_EQ(wdrx::testing::readFile("input/airports.enc"), "new airports");
  EXPECT_EQ(wdrx::testing::readFile("input/dbase.enc"), "new dbase");
  EXPECT_EQ(wdrx::testing::readFile("input/AIG-regcodes.enc"), "installed");
  EXPECT_EQ(fileValue("AIRPORTS_VERSION"), "1.2.4");
  EXPECT_EQ(fileValue("DBASE_VERSION"), "1.2.4");
  EXPECT_EQ(AIG_VERSION.value.load(), "1.2.3");  // the next start tries again
  EXPECT_TRUE(SCAN_LIVERIES.value.load());
  EXPECT_TRUE(SCAN_AIRPORTS.value.load());
  EXPECT_EQ(fileValue("SCAN_LIVERIES"), "true");
  EXPECT_EQ(fileValue("LIV_SCAN_VERSION"), "1.2.4");
  const std::string log = logText();
  EXPECT_NE(log.find("p3d_app version up-to-date"), std::string::npos);
  EXPECT_NE(log.find("dbase updated to 1.2.4"), std::string::npos);
  EXPECT_EQ(log.find("aig updated"), std::string::npos);
}

TEST_F(VersionCheck, AMissingLocalFileIsFetchedAtTheSameVersion) {
  fs::remove("input/dbase.enc");
  fs::remove("output/LiveriesScanned.xml");
  server.serveFile("/downloads/versions.json", versionsJson("12.5.4", "1.2.3"));
  server.serveFile("/downloads/12/dbase.enc", "dbase again");
  EXPECT_TRUE(lf_checkVersions());
  EXPECT_EQ(wdrx::testing::readFile("input/dbase.enc"), "dbase again");
  EXPECT_TRUE(SCAN_LIVERIES.value.load());  // no cache: the liveries are scanned
  EXPECT_FALSE(SCAN_AIRPORTS.value.load());
  EXPECT_FALSE(requested("/downloads/12/airports.enc"));
}

TEST_F(VersionCheck, AnswersThatAreNoVersionListCostOnlyTheCheck) {
  const std::vector<std::pair<const char*, std::string>> answers{
      {"not JSON", "<html>maintenance</html>"},
      {"an array", "[1,2,3]"},
      {"cut short", versionsJson("12.5.5", "9.9.9").substr(0, 40)},
  };
  for (const auto& [name, body] : answers) {
    SCOPED_TRACE(name);
    server.serveFile("/downloads/versions.json", body);
    EXPECT_TRUE(lf_checkVersions());
    EXPECT_FALSE(fs::exists("versions.json"));
    EXPECT_EQ(DBASE_VERSION.value.load(), "1.2.3");
    EXPECT_FALSE(runStopRequested.load());
  }
  EXPECT_NE(logText().find("versions.json is not a JSON object"), std::string::npos);

  // A key of the wrong kind, or missing, is that key's loss alone.
  server.serveFile("/downloads/versions.json",
                   R"({"p3d_app":"12.5.5","airports":{"major":1,"minor":2},"aig":{"major":1,"minor":2,"patch":-4},)"
                   R"("dbase":{"major":1,"minor":2,"patch":4.5},"liveries":{"major":1,"minor":2,"patch":4}})");
  EXPECT_TRUE(lf_checkVersions());
  EXPECT_EQ(fileValue("LIV_SCAN_VERSION"), "1.2.4");
  const std::string log = logText();
  EXPECT_NE(log.find("versions.json: p3d_app is not a version"), std::string::npos);
  EXPECT_NE(log.find("versions.json: airports is not a version"), std::string::npos);
  EXPECT_NE(log.find("versions.json: aig is not a version"), std::string::npos);
  EXPECT_NE(log.find("versions.json: dbase is not a version"), std::string::npos);
  EXPECT_NE(log.find("addons version not found"), std::string::npos);
}

TEST_F(VersionCheck, NoAnswerGoesOnWithTheInstalledData) {
  server.serveStatus("/downloads/versions.json", 500);
  EXPECT_TRUE(lf_checkVersions());
  EXPECT_NE(logText().find("Downloading version info from my web site failed!"), std::string::npos);
}

TEST_F(VersionCheck, ANewProgramIsUnpackedIntoNewVersionAndEndsTheRun) {
  const std::string installer(700'000, 'x');  // more than one unzip chunk
  serveNewProgram(makeZip({{"install_new_version.exe", installer}}));
  fs::create_directories("new_version");
  wdrx::testing::writeFile("new_version/old.txt", "old");
  EXPECT_FALSE(lf_checkVersions());
  EXPECT_EQ(exitReason.load(), ExitReason::NewVersion);
  EXPECT_EQ(restartDelay.load(), 0);
  EXPECT_EQ(wdrx::testing::readFile("new_version/install_new_version.exe"), installer);
  EXPECT_EQ(wdrx::testing::readFile("new_version/ReleaseNotes.pdf"), "%PDF notes");
  EXPECT_NE(wdrx::testing::readFile("new_version/README.txt").find("A new version is available"),
            std::string::npos);
  EXPECT_FALSE(fs::exists("new_version/old.txt"));
  EXPECT_FALSE(fs::exists("install_new_version.exe"));
  EXPECT_FALSE(fs::exists("latest_version.zip"));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], fs::current_path() / "new_version");
  EXPECT_FALSE(requested("/downloads/12/dbase.enc"));  // the data waits for the new program
}

TEST_F(VersionCheck, AFolderThatDoesNotOpenIsAWarning) {
  openSucceeds = false;
  serveNewProgram(makeZip({{"install_new_version.exe", "installer"}}));
  EXPECT_FALSE(lf_checkVersions());
  EXPECT_EQ(boxes, std::vector<std::string>{"Could not open File Explorer at new version"});
  EXPECT_NE(logText().find("Opening file explorer at the new version failed?"), std::string::npos);
}

TEST_F(VersionCheck, AFailedUpdateIsError112AndLeavesNoInstaller) {
  // A stale installer of an earlier attempt is not taken for the new one.
  wdrx::testing::writeFile("install_new_version.exe", "stale");
  std::string corrupt = makeZip({{"install_new_version.exe", std::string(5000, 'a') + "b"}});
  corrupt[corrupt.find("install_new_version.exe") + 30] ^= 0x55;  // a byte of the packed data
  const std::vector<std::pair<const char*, std::string>> zips{
      {"not a zip", "<html>404</html>"},
      {"an empty zip", makeZip({})},
      {"a damaged entry", corrupt},
  };
  for (const auto& [name, bytes] : zips) {
    SCOPED_TRACE(name);
    serveNewProgram(bytes);
    EXPECT_EQ(installFailure(), 112);
    expectNoInstallerAnywhere();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(exitReason.load(), ExitReason::NotYetSet);
  }
  server.serveStatus("/downloads/release/Wendrix_P3D/latest_version.zip", 404);
  EXPECT_EQ(installFailure(), 112);
  EXPECT_EQ(gf_statusSnapshot().statusText, "Downloading program installer file version 12.5.5 failed");
  expectNoInstallerAnywhere();
}

}  // namespace
}  // namespace shell_test
