// The scan driver: folders, walk, tasks on the thread pool, priorities, stop and give-up rules.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "config/settings.hpp"
#include "foundation/paths.hpp"
#include "foundation/user_error.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/scan_pool.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries_fixture.hpp"
#include "platform/shell.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"

namespace fs = std::filesystem;
using livery_test::codesText;
using livery_test::linesOf;
using livery_test::section;
using livery_test::userError;
using wdrx::testing::readFile;
using wdrx::testing::shownPath;

namespace {

// Each case runs with one scanner thread and with several (the parameter): a thread alone must
// also take what the driver queues and be woken for it.
class LiveryScan : public ::testing::TestWithParam<int>, public livery_test::LiveryTest {
 protected:
  LiveryScan() {
    workerCount = GetParam();
    platform::setShellOpenHandler([this](const fs::path& folder) {
      opened.push_back(folder.filename().string());
      return true;
    });
    platform::setMessageBoxHandler([](const std::string&, const std::string&) {});
  }
  ~LiveryScan() override {
    platform::setShellOpenHandler({});
    platform::setMessageBoxHandler({});
  }

  // An aircraft folder below `root` with one section per title, all of one airline.
  void aircraft(const fs::path& folder, const std::string& model, const std::string& airline,
                const std::vector<std::string>& titles, const std::string& fileName = "aircraft.cfg") {
    std::vector<std::string> sections;
    for (std::size_t i = 0; i < titles.size(); ++i) sections.push_back(section(static_cast<int>(i), titles[i], airline));
    livery_test::writeAircraft(folder, livery_test::cfgText(model, sections), fileName);
  }

  // The cache's records as "title codes folder-less" after a scan.
  std::vector<std::string> cached() {
    lf_readLiveriesScanned();
    std::vector<std::string> out;
    for (const LiveryData& l : scannedLiveries) out.push_back(l.title + " " + codesText(l));
    scannedLiveries.clear();
    return out;
  }

  std::vector<std::string> opened;
};

bool awaitZeroTasks() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (scanThreadsRunning.load() != 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Threads, LiveryScan, ::testing::Values(1, 3), ::testing::PrintToStringParamName());

TEST_P(LiveryScan, NoFolderSetOpensTheFoldersAndStops) {
  wdrx::testing::writeFile("docs/Manual.pdf", "pdf");
  wdrx::testing::writeFile(parametersFile, "<root/>");
  std::string message;
  EXPECT_EQ(userError([] { gf_scanLiveries(); }, message), 1);
  EXPECT_EQ(message, "48: Exit Wendrix_P3D first!   Then set one or more lfolder parameters to your liveries, see Manual 5.3");
  ASSERT_EQ(opened.size(), 2u);  // the manual's folder, then the one of parameters.xml
  EXPECT_EQ(opened.front(), "docs");
  EXPECT_EQ(gf_statusSnapshot().statusText, "Scanning prioritized for liveries ...");
  EXPECT_TRUE(SCAN_LIVERIES.value.load());
  EXPECT_NE(logText().find("\n++++++++++++++++++++++++ liveries scan manual starts ++++++++++++++++++++++++++++++++\n"),
            std::string::npos);
}

TEST_P(LiveryScan, MissingFolderStopsBeforeAnything) {
  aircraft("lib/a", "B738", "BAW", {"BA"});
  lfolder0.value.store((dir.path() / "lib").string());
  lfolder4.value.store((dir.path() / "gone").string());
  LIG_PRIORITIZE.value = false;
  std::string message;
  EXPECT_EQ(userError([] { gf_scanLiveries(); }, message), 1);
  EXPECT_EQ(message, "243: the path pointed to by parameter 'lfolder4' does not exist, see Log.txt!");
  EXPECT_NE(logText().find("==> lfolder4: '" + (dir.path() / "gone").string() + "' does not exist\n"), std::string::npos);
  EXPECT_EQ(gf_statusSnapshot().statusText, "Scanning for liveries ...");
  EXPECT_FALSE(fs::exists(liveriesScannedFile));
}

TEST_P(LiveryScan, NothingFoundIsError53WithoutCache) {
  fs::create_directories("empty");
  lfolder0.value.store("empty");
  liveryCount = 7;
  std::string message;
  EXPECT_EQ(userError([] { gf_scanLiveries(); }, message), 1);
  EXPECT_EQ(message, "53: no liveries found");
  EXPECT_NE(logText().find("\nNo liveries found in empty\n"), std::string::npos);
  EXPECT_EQ(liveryCount.load(), 0);
  EXPECT_FALSE(fs::exists(liveriesScannedFile));
  EXPECT_TRUE(SCAN_LIVERIES.value.load());
}

TEST_P(LiveryScan, WalkFindsTheRightFilesAndSkipsAirportFolders) {
  const fs::path root = dir.path() / "my airport liveries";  // the lfolder's own name may say airport
  aircraft(root / "a", "B738", "BAW", {"lower"});
  aircraft(root / "b", "B738", "BAW", {"upper"}, "AIRCRAFT.CFG");
  aircraft(root / "c", "B738", "BAW", {"sim"}, "Sim.Cfg");
  aircraft(root / "deep/er/still", "B738", "BAW", {"deep"});
  aircraft(root / "d", "B738", "BAW", {"bak"}, "aircraft.cfg.bak");
  aircraft(root / "e", "B738", "BAW", {"one"}, "aircraft1.cfg");
  aircraft(root / "f", "B738", "BAW", {"panel"}, "panel.cfg");
  aircraft(root / "x/my_airports", "B738", "BAW", {"in airport folder"});
  aircraft(root / "x/Airports", "B738", "BAW", {"in Airports folder"});
  livery_test::writeAircraft(root / "g" / "ivao_mtl" / "IVAO_B738", section(0, "B738 BAW lower-case ivao", ""));
  livery_test::writeAircraft(root / "h" / "IVAO_MTL" / "IVAO_B738", section(0, "B738 KLM ivao", ""));
#ifndef _WIN32  // Wine makes no folder links
  fs::create_directory_symlink(root / "a", root / "link");  // followed, like a folder
#endif
  lfolder3.value.store(root.string());
  fs::create_directories(dataFolder);
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached(), (std::vector<std::string>{"deep BAW, B738 0", "in Airports folder BAW, B738 0",
                                                "lower BAW, B738 0", "sim BAW, B738 0", "upper BAW, B738 0",
                                                "B738 KLM ivao KLM, B738 0"}));
  const std::string logged = logText();
  EXPECT_NE(logged.find("\n6 liveries found in " + root.string() + "\n"), std::string::npos);
  EXPECT_EQ(logged.find(" in total"), std::string::npos);
  // The lower-case ivao_mtl file went to the ordinary task, which wants an atc_model line.
  EXPECT_EQ(linesOf(invalidCfgFiles).size(), 0u);  // written and emptied
  EXPECT_NE(readFile(scanFiles::invalidCfgFiles).find(shownPath("ivao_mtl/IVAO_B738/aircraft.cfg")), std::string::npos);
  EXPECT_FALSE(SCAN_LIVERIES.value.load());
  EXPECT_NE(readFile(parametersFile).find("<parameter name=\"SCAN_LIVERIES\" value=\"false\""), std::string::npos)
      << readFile(parametersFile);
  EXPECT_NE(logged.find("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n\n"),
            std::string::npos);
}

// The walk's listing answers which folders and files a section names: a name next to a listed
// one, or listed with the other type, is still missing.
TEST_P(LiveryScan, SectionPathsAreTheListedOnesOfTheirType) {
  const fs::path root = dir.path() / "lib";
  struct Row {
    const char* title;
    const char* sim;
    const char* texture;
  };
  const Row rows[] = {{"present", "Boeing", "1"},         {"texture before a listed one", "Boeing", "0"},
                      {"air before a listed one", "Airbus", "1"}, {"texture is a file", "Boeing", "file"},
                      {"air is a folder", "Folder", "1"}};
  std::vector<std::string> sections;
  for (const Row& row : rows) {
    sections.push_back("[fltsim." + std::to_string(sections.size()) + "]\ntitle=" + row.title + "\nsim=" + row.sim +
                       "\nmodel=\ntexture=" + row.texture + "\natc_parking_codes=BAW\n");
  }
  livery_test::writeAircraft(root / "p", livery_test::cfgText("B738", sections));
  fs::create_directories(root / "p" / "texture.1");
  fs::create_directories(root / "p" / "Folder.air");
  wdrx::testing::writeFile(root / "p" / "texture.file", "not a folder");
  lfolder0.value.store(root.string());
  fs::create_directories(dataFolder);
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached(), (std::vector<std::string>{"present BAW, B738 0"}));
  const std::string incomplete = readFile(scanFiles::incompleteSections);
  for (const std::string header : {"[fltsim.1]", "[fltsim.2]", "[fltsim.3]", "[fltsim.4]"})
    EXPECT_NE(incomplete.find("or related path does not exist: " + header), std::string::npos) << header << incomplete;
}

TEST_P(LiveryScan, FolderNumbersCountsAndPriorities) {
  aircraft("one/a", "A320", "BAW", {"BAW A320 one"});
  aircraft("two/a", "A320", "BAW", {"BAW A320 cargo two"});
  aircraft("two/b", "A319", "BAW", {"BAW A319 two"});
  aircraft("two/c", "A320", "DLH", {"DLH A320 two"});
  wdrx::testing::writeFile("afile", "x");
  lfolder0.value.store("afile");  // exists, but no folder: skipped without a number
  lfolder1.value.store("one");
  lfolder2.value.store("two");
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached(), (std::vector<std::string>{"BAW A319 two BAW, A319 0", "BAW A320 one BAW, A320 0",
                                                "DLH A320 two DLH, A320 0"}));
  const std::string logged = logText();
  EXPECT_NE(logged.find("\nafile is not a folder name, skipped!\n1 liverie found in one\n3 liveries found in two\n"
                        "4 in total\n"),
            std::string::npos);

  LIG_PRIORITIZE.value = false;
  SCAN_LIVERIES.value = true;
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached().size(), 4u);
  EXPECT_NE(logText().find("Scanning"), 0u);
}

TEST_P(LiveryScan, PriorityFilterAndDuplicatesOnTheList) {
  auto make = [](const char* title, const char* airline, const char* model, std::uint16_t folder, bool cargo = false,
                 const char* reg = "") {
    return LiveryData{title, reg, AircraftCodes{gf_airlineId(airline), 0, gf_modelId(model),
                                                static_cast<std::uint8_t>(cargo), 0},
                      folder};
  };
  scannedLiveries = {make("a", "BAW", "A320", 2), make("b", "BAW", "A320", 1, true), make("c", "BAW", "A320", 3),
                     make("d", "BAW", "A319", 3), make("e", "BAW", "A320", 1)};
  lf_prioritizeLiveries();
  std::vector<std::string> titles;
  for (const LiveryData& l : scannedLiveries) titles.push_back(l.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"b", "d", "e"}));

  LiveryData operated = make("x", "BAW", "A320", 1);
  operated.codes.operatorId = gf_airlineId("CFE");
  scannedLiveries = {make("x", "BAW", "A320", 1), make("x", "BAW", "A320", 2, true), operated,
                     make("x", "BAW", "A320", 1, false, "G-A"), make("y", "BAW", "A320", 1), make("x", "BAW", "A320", 1)};
  lf_removeDuplicateLiveries();
  titles.clear();
  for (const LiveryData& l : scannedLiveries) titles.push_back(l.title + l.registration);
  EXPECT_EQ(titles, (std::vector<std::string>{"x", "x", "xG-A", "y", "x"}));
  EXPECT_EQ(scannedLiveries.front().codes.cargo, 0);
}

TEST_P(LiveryScan, SameTreeTwiceGivesTheSameCache) {
  // Equal titles in several files: the first file in walk order keeps the title every time.
  for (int i = 0; i < 40; ++i) {
    const std::string airline = i % 3 == 0 ? "BAW" : (i % 3 == 1 ? "DLH" : "KLM");
    aircraft("lib/ac" + std::to_string(i), i % 2 ? "A320" : "B738", airline,
             {"Shared title", "Own " + std::to_string(i), "Shared " + std::to_string(i % 5)});
  }
  lfolder0.value.store("lib");
  EXPECT_TRUE(gf_scanLiveries());
  const std::vector<std::string> first = cached();
  const std::string firstIncomplete = readFile(scanFiles::incompleteSections);
  for (int round = 0; round < 3; ++round) {
    SCAN_LIVERIES.value = true;
    EXPECT_TRUE(gf_scanLiveries());
    EXPECT_EQ(cached(), first) << round;
    EXPECT_EQ(readFile(scanFiles::incompleteSections), firstIncomplete) << round;
  }
  EXPECT_EQ(first.size(), 46u);
}

TEST_P(LiveryScan, StopDuringAFolderFinishesItAndWritesNothing) {
  aircraft("one/a", "A320", "BAW", {"A"});
  aircraft("one/b", "A320", "BAW", {"B"});
  aircraft("two/a", "A320", "DLH", {"C"});
  lfolder0.value.store("one");
  lfolder1.value.store("two");
  wdrx::testing::setScanTaskHook([](const fs::path&) { runStopRequested = true; });
  EXPECT_FALSE(gf_scanLiveries());
  const std::string logged = logText();
  EXPECT_NE(logged.find("2 liveries found in one\n"), std::string::npos);
  EXPECT_EQ(logged.find("found in two"), std::string::npos);
  EXPECT_EQ(logged.find("\nErrors:"), std::string::npos);
  EXPECT_EQ(logged.find("\nNo errors"), std::string::npos);
  EXPECT_FALSE(fs::exists(liveriesScannedFile));
  EXPECT_FALSE(fs::exists(scanFiles::noFltsimSection));
  EXPECT_FALSE(SCAN_LIVERIES.value.load());  // the missing cache makes the next start-up scan
  EXPECT_TRUE(gf_liveryScanDue());
}

// A stopped scan leaves its claimed titles and report lines behind; the scan of the next run
// must not count them again (its titles were refused as "already exists", error 53).
TEST_P(LiveryScan, ScanAfterAStoppedScanStartsFromEmptyLists) {
  aircraft("one/a", "A320", "BAW", {"A"});
  aircraft("one/b", "A320", "baw", {"B"});  // an invalid airline code: reported once
  lfolder0.value.store("one");
  wdrx::testing::setScanTaskHook([](const fs::path&) { runStopRequested = true; });
  EXPECT_FALSE(gf_scanLiveries());
  wdrx::testing::setScanTaskHook({});
  runStopRequested = false;
  SCAN_LIVERIES.value = true;
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached(), (std::vector<std::string>{"A BAW, A320 0", "B PVT, A320 0"}));
  EXPECT_EQ(readFile(scanFiles::invalidAirlineCodes), "baw          in " + shownPath("one/b/aircraft.cfg") + " [fltsim.0]\n");
  EXPECT_EQ(readFile(scanFiles::incompleteSections).find("already exists"), std::string::npos);
}

// A thread takes the place of the stuck one, also of the only one, and stays while that one is
// stuck: the folders queued behind the stuck task are still read.
TEST_P(LiveryScan, TaskGivenUpIsLostAndTouchesNothingAfterwards) {
  aircraft("lib/a", "A320", "BAW", {"Quick"});
  aircraft("lib/slow", "XXXX", "BAW", {"Slow"});  // would report an invalid model
  // Queued behind the stuck read: not stuck themselves, so not given up.
  for (const char* behind : {"b0", "b1", "b2", "b3", "b4", "b5"}) aircraft(fs::path("lib/slow") / behind, "B738", "BAW", {behind});
  aircraft("lib/c", "A320", "DLH", {"Also quick"});
  aircraft("two/a", "B738", "KLM", {"Two"});
  aircraft("three/a", "A320", "KLM", {"Three"});
  lfolder0.value.store("lib");
  lfolder1.value.store("two");
  lfolder2.value.store("three");
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  wdrx::testing::setScanTaskWait(std::chrono::milliseconds(1000));
  wdrx::testing::setScanTaskHook([&](const fs::path& file) {
    if (file.parent_path().filename() != "slow") return;
    std::unique_lock lock(mutex);
    released.wait_for(lock, std::chrono::seconds(20), [&] { return release; });
  });
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached(), (std::vector<std::string>{"Quick BAW, A320 0", "b0 BAW, B738 0", "b1 BAW, B738 0", "b2 BAW, B738 0",
                                                "b3 BAW, B738 0", "b4 BAW, B738 0", "b5 BAW, B738 0", "Also quick DLH, A320 0",
                                                "Three KLM, A320 0", "Two KLM, B738 0"}));
  const std::string logged = logText();
  EXPECT_NE(logged.find("==> liveries inner search aborted: Future wait timed out after 10 seconds\n"),
            std::string::npos);
  EXPECT_NE(logged.find("1 scanner task still running, left behind\n"), std::string::npos);
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  released.notify_all();
  EXPECT_TRUE(awaitZeroTasks());
  EXPECT_TRUE(linesOf(invalidAircraftCodes).empty());
  EXPECT_FALSE(fs::exists(scanFiles::invalidAircraftCodes));
}

TEST_P(LiveryScan, FailingTaskLosesOnlyItsFile) {
  for (int i = 0; i < 8; ++i) aircraft("lib/ac" + std::to_string(i), "A320", "BAW", {"T" + std::to_string(i)});
  lfolder0.value.store("lib");
  wdrx::testing::setScanTaskHook([](const fs::path& file) {
    if (file.parent_path().filename() == "ac3") throw std::runtime_error("disk gone");
  });
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached().size(), 7u);
  EXPECT_NE(logText().find("disk gone"), std::string::npos);
  EXPECT_EQ(scanThreadsRunning.load(), 0);
}

TEST_P(LiveryScan, LinkLoopEndsAtTheLengthLimit) {
  aircraft("lib/a", "A320", "BAW", {"Looped"});
  fs::create_directory_symlink("..", "lib/a/up");
  lfolder0.value.store((dir.path() / "lib").string());
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached(), std::vector<std::string>{"Looped BAW, A320 0"});
}

TEST_P(LiveryScan, FolderOfA250BytePathIsNotEntered) {
  aircraft("lib/" + std::string(245, 'a'), "A320", "BAW", {"249 bytes"});  // "lib/" and the name
  aircraft("lib/" + std::string(246, 'b'), "A320", "BAW", {"250 bytes"});
  lfolder0.value.store("lib");
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached(), std::vector<std::string>{"249 bytes BAW, A320 0"});
}

// Packages whose folder name looks like a livery's model or texture folder are still found.
TEST_P(LiveryScan, PackagesInModelAndTextureNamedFoldersAreFound) {
  const char* packages[] = {"Pkg1", "model", "Texture.Extra", "texture.pack", "Pkg2/model.pack"};
  for (const char* package : packages) aircraft(fs::path("lib") / package, "A320", "BAW", {package});
  lfolder0.value.store("lib");
  EXPECT_TRUE(gf_scanLiveries());
  EXPECT_EQ(cached(), (std::vector<std::string>{"Pkg1 BAW, A320 0", "Pkg2/model.pack BAW, A320 0",
                                                "Texture.Extra BAW, A320 0", "model BAW, A320 0",
                                                "texture.pack BAW, A320 0"}));
}

// With one thread and with several (the parameter), and a thread added on the way.
class ScanPoolCount : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(Threads, ScanPoolCount, ::testing::Values(1, 3), ::testing::PrintToStringParamName());

TEST_P(ScanPoolCount, EveryTaskCountsFromQueuedToEnded) {
  std::atomic<int> lowest{1000};
  std::atomic<int> ran{0};
  {
    ScanPool pool(GetParam(), std::chrono::seconds(10));
    for (int i = 0; i < 500; ++i) {
      if (i == 250) pool.addWorker();
      pool.queue()->post([&lowest, &ran] {
        int seen = scanThreadsRunning.load();
        for (int low = lowest.load(); seen < low && !lowest.compare_exchange_weak(low, seen);) {
        }
        ++ran;
      }, i % 2 == 0);  // at the front, as a folder listing queues its entries, or at the back
    }
    EXPECT_TRUE(pool.finish(std::chrono::seconds(10)));  // runs what is queued first
  }
  EXPECT_EQ(ran.load(), 500);
  EXPECT_GE(lowest.load(), 1);  // a running task is always counted
  EXPECT_EQ(scanThreadsRunning.load(), 0);
}
