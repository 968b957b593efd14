// The program entry: single instance, switches, Log.txt, the data folder, the window's place,
// and a whole program run ended by a close request.
#include "app/program_entry.hpp"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/run_startup.hpp"
#include "config/config_fixture.hpp"
#include "config/settings.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "platform/program_instance.hpp"
#include "platform/shell.hpp"
#include "platform/window_system.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "shell_fixture.hpp"
#include "support/temp_dir.hpp"
#include "window/main_window.hpp"

namespace fs = std::filesystem;
namespace gui = platform::gui;
using namespace std::chrono_literals;

namespace shell_test {
namespace {

// Without the shell fixture's open log: the entry opens it itself.
class Entry : public ::testing::Test {
 protected:
  Entry() {
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);  // this test's own instance lock
    setenv("WDRX_DOWNLOAD_BASE", "http://127.0.0.1:1/downloads/", 1);
    platform::setMessageBoxHandler([this](const std::string& text, const std::string& caption) {
      boxes.push_back(caption + ": " + text);
    });
  }
  ~Entry() override {
    platform::setMessageBoxHandler({});
    wdrx::testing::closeLog();
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("WDRX_DOWNLOAD_BASE");
    gui::inspect::setWorkArea(gui::Rect{0, 0, 1920, 1040});
  }

  wdrx::testing::TempDir dir;
  std::vector<std::string> boxes;
};

// Ends a window made on this thread, with the quit its end leaves in this thread's queue.
void destroyWindowHere() {
  gf_destroyMainWindow();
  gf_runMessageLoop();
}

TEST_F(Entry, TheProductionSwitches) {
  const std::vector<std::pair<std::vector<std::u16string>, std::optional<bool>>> rows{
      {{}, std::nullopt},
      {{u"--production"}, true},
      {{u"/PRODUCTION"}, true},
      {{u"--Production", u"/no-production"}, false},
      {{u"--NO-PRODUCTION", u"other", u"/production"}, true},
      {{u"production", u"--production=1", u"-production"}, std::nullopt},
  };
  for (const auto& [arguments, expected] : rows) EXPECT_EQ(lf_productionSwitch(arguments), expected);
}

TEST_F(Entry, ASecondInstanceEndsAtOnceWithMinusOne) {
  ASSERT_EQ(platform::createSingleInstanceMutex(singleInstanceMutexName), platform::InstanceLock::created);
  EXPECT_EQ(platform::createSingleInstanceMutex(singleInstanceMutexName), platform::InstanceLock::alreadyExists);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(gf_programEntry({}), -1);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(fs::exists("Log.txt"));
  EXPECT_TRUE(boxes.empty());
  // Started from a terminal, the copy says why it ends.
  EXPECT_NE(said.find("Wendrix_P3D is already running"), std::string::npos) << said;
}

TEST_F(Entry, ASignalDuringTheStartIsACloseRequest) {
  // The earliest the test can reach: the box that says Log.txt cannot be written.
  fs::create_directory("Log.txt");
  bool seen = false;
  platform::setMessageBoxHandler([&seen](const std::string&, const std::string&) {
    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!closeRequested.load() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
    seen = closeRequested.load();
  });
  EXPECT_EQ(gf_programEntry({}), logFailedExitCode);
  EXPECT_TRUE(seen);
}

TEST_F(Entry, ALogThatCannotBeWrittenIsSaidAndEndsTheProgram) {
  fs::create_directory("Log.txt");  // a folder where the file should be
  EXPECT_EQ(gf_programEntry({}), logFailedExitCode);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("WDRX: Wendrix_P3D cannot start: Failed to write file Log.txt"), std::string::npos);
}

// The window's place from parameters.xml, fitted on the monitor's work area (0, 0, 1920, 1040).
TEST_F(Entry, TheWindowIsPlacedFromTheStoredPosition) {
  struct Row {
    std::string x, y;
    std::int32_t left, top;
    std::string savedX, savedY;
  };
  const std::vector<Row> rows{
      {"400", "20", 400, 48, "<absent>", "48"},   // a window without size yet: 48 px inside
      {"-30000", "100", 400, 100, "400", "<absent>"},
      {"30000", "100", 400, 100, "400", "<absent>"},
      {"5000", "100", 1872, 100, "1872", "<absent>"},  // right of the monitor: 48 px inside
      {"200", "3000", 200, 992, "<absent>", "992"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.x + "," + row.y);
    resetShellState();
    writeParametersFile({{"PROGRAM_VERSION", "12.5.4"}, {"MAIN_WINDOW_X", row.x}, {"MAIN_WINDOW_Y", row.y}});
    ASSERT_TRUE(gf_registerMainWindowClass(u"Wendrix_P3D"));
    ASSERT_TRUE(initInstance());
    auto window = static_cast<gui::WindowHandle>(mainWindow.windowHandle.load());
    const auto rect = gui::windowRect(window);
    ASSERT_TRUE(rect.has_value());
    EXPECT_EQ(rect->left, row.left);
    EXPECT_EQ(rect->top, row.top);
    EXPECT_EQ(rect->width(), 880);
    EXPECT_EQ(rect->height(), 516);
    if (row.savedX != "<absent>") { EXPECT_EQ(fileValue("MAIN_WINDOW_X"), row.savedX); }
    if (row.savedY != "<absent>") { EXPECT_EQ(fileValue("MAIN_WINDOW_Y"), row.savedY); }
    destroyWindowHere();
  }
}

TEST_F(Entry, ADamagedSettingsFileOpensTheWindowAtTheDefaultPlaceAndIsKept) {
  wdrx::testing::writeFile(parametersFile, "<root><parameters><parameter name=\"MAIN_WINDOW_X\"");
  gf_openLog();
  ASSERT_TRUE(gf_registerMainWindowClass(u"Wendrix_P3D"));
  ASSERT_TRUE(initInstance());
  auto window = static_cast<gui::WindowHandle>(mainWindow.windowHandle.load());
  EXPECT_EQ(gui::windowRect(window)->left, 400);
  EXPECT_EQ(gui::windowRect(window)->top, 20);
  EXPECT_TRUE(fs::exists(parametersFile));  // the settings store moves it aside, keeping it
  destroyWindowHere();
  wdrx::testing::closeLog();
  EXPECT_NE(wdrx::testing::readFile("Log.txt").find("failed to load"), std::string::npos);
}

TEST_F(Entry, AWholeRunEndsCleanlyOnACloseRequest) {
  // A data folder that does not exist yet is made; the working folder is no program folder, so
  // the run shows error 41 and waits for the user, who closes the window.
  const fs::path data = dir.path() / "new" / "data";
  setenv("WDRX_DATA_DIR", data.c_str(), 1);
  gf_initDataFolder();
  std::thread user([] {
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (gf_statusSnapshot().errorText.empty() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(5ms);
    auto window = static_cast<gui::WindowHandle>(mainWindow.windowHandle.load());
    gui::postMessage(window, gui::msg::close, 0, 0);
  });
  const std::int32_t code = gf_programEntry({u"--no-production"});
  user.join();
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(fs::is_directory(data));
  // The window is titled with the program's title string.
  EXPECT_EQ(gui::windowText(static_cast<gui::WindowHandle>(mainWindow.windowHandle.load())), u"Wendrix_P3D");
  wdrx::testing::closeLog();
  const std::string log = wdrx::testing::readFile("Log.txt");
  EXPECT_NE(log.find("Error 41: Wendrix_P3D must be run from the Wendrix_P3D folder!"), std::string::npos);
  EXPECT_NE(log.find("Exiting: SYSTEM ERROR"), std::string::npos);
  EXPECT_NE(log.find("User closed Wendrix_P3D"), std::string::npos);
  EXPECT_TRUE(fs::exists(parametersFile));  // the window's place was saved at the end
  destroyWindowHere();
}

TEST(CloseRequestWatch, ASignalIsACloseRequest) {
  platform::CloseRequestWatch watch;
  std::mutex mutex;
  std::condition_variable seen;
  int requests = 0;
  ASSERT_TRUE(watch.start([&] {
    std::lock_guard lock(mutex);
    ++requests;
    seen.notify_all();
  }));
  ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(seen.wait_for(lock, 10s, [&] { return requests == 1; }));
  }
  ASSERT_EQ(::kill(::getpid(), SIGINT), 0);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(seen.wait_for(lock, 10s, [&] { return requests == 2; }));
  }
  watch.stop();
  EXPECT_EQ(requests, 2);
}

}  // namespace
}  // namespace shell_test
