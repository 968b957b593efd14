#include "foundation/download.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "support/foundation_hooks.hpp"
#include "support/log_capture.hpp"
#include "support/http_server.hpp"
#include "support/temp_dir.hpp"
#include "support/env.hpp"

namespace {

using namespace std::chrono_literals;
using wdrx::testing::HttpServer;
using wdrx::testing::readFile;
using wdrx::testing::shownPath;
using wdrx::testing::writeFile;

// Short time-outs so that a stalled server fails a download within a second or two.
DownloadLimits shortLimits() {
  DownloadLimits limits;
  limits.connectTimeout = 2000ms;
  limits.lowSpeedBytes = 1;
  limits.lowSpeedTime = 1s;
  limits.maxRedirects = 3;
  return limits;
}

// Nothing but the target may be left in the folder: no temporary beside it.
std::vector<std::string> filesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wdrx::testing::setEnv("WDRX_DOWNLOAD_BASE", server.url("/downloads/"));
    gf_setDownloadLimits(shortLimits());
    std::filesystem::create_directories("input");
  }
  wdrx::testing::FoundationHooksDouble hooks;
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  HttpServer server;
};

TEST(DownloadUrls, AreBuiltBelowTheBaseAddress) {
  wdrx::testing::unsetEnv("WDRX_DOWNLOAD_BASE");
  const std::string builtIn = gf_downloadBaseUrl();
  EXPECT_EQ(builtIn.rfind("https://", 0), 0u);
  EXPECT_TRUE(builtIn.ends_with("/downloads/"));

  wdrx::testing::setEnv("WDRX_DOWNLOAD_BASE", "http://127.0.0.1:8/downloads");  // trailing '/' added
  EXPECT_EQ(gf_downloadBaseUrl(), "http://127.0.0.1:8/downloads/");
  EXPECT_EQ(gf_siteFileUrl("versions.json"), "http://127.0.0.1:8/downloads/12/versions.json");
  EXPECT_EQ(gf_siteFileUrl("dbase.enc"), "http://127.0.0.1:8/downloads/12/dbase.enc");
  EXPECT_EQ(gf_versionsJsonUrl(), "http://127.0.0.1:8/downloads/versions.json");
  EXPECT_EQ(gf_releaseNotesUrl(), "http://127.0.0.1:8/downloads/docs/ReleaseNotes.pdf");
  EXPECT_EQ(gf_latestVersionZipUrl(),
            "http://127.0.0.1:8/downloads/release/Wendrix_P3D/latest_version.zip");
  EXPECT_EQ(gf_airportFileUrl("archive/stock/EDDF.xml"),
            "http://127.0.0.1:8/downloads/P3D/archive/stock/EDDF.xml");
}

TEST_F(DownloadTest, FromSiteFetchesTheMajorVersionFolderWithTheUserAgent) {
  const std::string body(100000, 'd');
  server.serveFile("/downloads/12/dbase.enc", body);
  writeFile("input/dbase.enc", "old");

  ASSERT_TRUE(gf_downloadFromSite("dbase.enc", "input/dbase.enc"));
  EXPECT_EQ(readFile("input/dbase.enc"), body);
  EXPECT_EQ(filesIn("input"), std::vector<std::string>{"dbase.enc"});
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/downloads/12/dbase.enc");
  EXPECT_EQ(requests[0].headers.at("user-agent"), "WDRX");
  const std::string url = server.url("/downloads/12/dbase.enc");
  EXPECT_EQ(log.text(), "Downloaded '" + url + "' to '" + shownPath("input/dbase.enc") + "'\n");
}

TEST_F(DownloadTest, RedirectsAreFollowed) {
  server.serveFile("/moved/versions.json", "{}");
  for (const int status : {301, 302}) {
    server.serveRedirect("/downloads/versions.json", status, "/moved/versions.json");
    Downloader downloader;
    ASSERT_TRUE(downloader.download(gf_versionsJsonUrl(), "versions.json", false)) << status;
    EXPECT_EQ(readFile("versions.json"), "{}");
    std::filesystem::remove("versions.json");
  }
}

struct Failure {
  const char* name;
  std::function<void(HttpServer&, const std::string& path)> setUp;
  std::string curlText;
};

void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }

class FailureTest : public DownloadTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(FailureTest, KeepsTheOldFileAndLeavesNoTemporary) {
  const std::string path = "/downloads/12/airports.enc";
  GetParam().setUp(server, path);
  writeFile("input/airports.enc", "old airports");

  EXPECT_FALSE(gf_downloadFromSite("airports.enc", "input/airports.enc"));
  EXPECT_EQ(readFile("input/airports.enc"), "old airports");
  EXPECT_EQ(filesIn("input"), std::vector<std::string>{"airports.enc"});
  const std::string url = server.url(path);
  EXPECT_EQ(log.text(), "Download error: '" + GetParam().curlText + "' for " + url +
                            "\n==> Downloading '" + url + "' failed !\n");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FailureTest,
    ::testing::Values(
        Failure{"NotFound", [](HttpServer&, const std::string&) {}, "HTTP response code said error"},
        Failure{"ServerError",
                [](HttpServer& s, const std::string& p) { s.serveStatus(p, 500, "oops"); },
                "HTTP response code said error"},
        Failure{"NotModified", [](HttpServer& s, const std::string& p) { s.serveStatus(p, 304); },
                "HTTP response code 304"},
        Failure{"CutShort",
                [](HttpServer& s, const std::string& p) { s.serveCutShort(p, std::string(5000, 'a'), 1000); },
                "Transferred a partial file"},
        Failure{"RedirectLoop",
                [](HttpServer& s, const std::string& p) { s.serveRedirect(p, 302, p); },
                "Number of redirects hit maximum amount"},
        Failure{"Stall", [](HttpServer& s, const std::string& p) { s.serveStall(p); },
                "Timeout was reached"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, RefusedConnectionFails) {
  const std::string url = server.url("/downloads/versions.json");
  server.stop();
  writeFile("versions.json", "old");
  Downloader downloader;
  EXPECT_FALSE(downloader.download(url, "versions.json", false));
  EXPECT_EQ(readFile("versions.json"), "old");
  EXPECT_EQ(log.text(), "Download error: 'Couldn't connect to server' for " + url + "\n");
}

TEST_F(DownloadTest, MissingFolderFailsWithoutRequest) {
  Downloader downloader;
  EXPECT_FALSE(downloader.download(gf_versionsJsonUrl(), "absent/versions.json", false));
  EXPECT_EQ(log.text(), "Could not open output file: " + shownPath("absent/versions.json") + "\n");
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(DownloadTest, NullHandleFails) {
  server.serveFile("/downloads/versions.json", "{}");
  Downloader downloader(nullptr);
  EXPECT_FALSE(downloader.download(gf_versionsJsonUrl(), "versions.json", false));
  EXPECT_FALSE(std::filesystem::exists("versions.json"));
}

struct StopCase {
  const char* name;
  bool stall;  // else a slow trickle
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class StopFlagTest : public DownloadTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopFlagTest, AbortsTheTransfer) {
  const std::string path = "/downloads/12/dbase.enc";
  if (GetParam().stall) {
    server.serveStall(path);
  } else {
    server.serveSlowly(path, std::string(100000, 's'), 5ms);
  }
  DownloadLimits patient = shortLimits();
  patient.lowSpeedTime = 60s;  // only the flag can end it in time
  gf_setDownloadLimits(patient);
  writeFile("input/dbase.enc", "old");

  auto result = std::async(std::launch::async, [] { return gf_downloadFromSite("dbase.enc", "input/dbase.enc"); });
  ASSERT_TRUE(server.waitForRequests(1, 10s));
  wdrx::testing::FoundationHooksDouble::stop.store(true);
  ASSERT_EQ(result.wait_for(20s), std::future_status::ready);
  EXPECT_FALSE(result.get());
  EXPECT_EQ(readFile("input/dbase.enc"), "old");
  EXPECT_EQ(filesIn("input"), std::vector<std::string>{"dbase.enc"});
}

INSTANTIATE_TEST_SUITE_P(Flags, StopFlagTest,
                         ::testing::Values(StopCase{"StopWhileStalled", true},
                                           StopCase{"StopWhileTrickling", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
