// The run thread's window calls beside the picture of the main window: how long a main-loop
// step waits in invalidateRect and postMessage while the GUI thread keeps saving the picture.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <random>
#include <string>
#include <thread>

#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "liveries/livery_data.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/status_line.hpp"
#include "traffic/link_state.hpp"
#include "window/main_window.hpp"
#include "window/window_mirror.hpp"

namespace gui = platform::gui;
using Clock = std::chrono::steady_clock;

namespace {

// The main window with a full picture on a GUI thread of its own, WDRX_WINDOW_PNG in a fresh
// folder.
class ProgramWindow {
 public:
  ProgramWindow() {
    folder_ = std::filesystem::temp_directory_path() /
              ("wdrx-bench-window-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
    ::setenv("WDRX_DATA_DIR", folder_.c_str(), 1);
    ::setenv("WDRX_WINDOW_PNG", (folder_ / "main_window.png").c_str(), 1);
    gf_initDataFolder();
    gf_openLog();
    mainWindow.simConnected.store(true);
    mainWindow.simRunningShown.store(true);
    mainWindow.simulatorText.store("Prepar3D v5.4");
    mainWindow.aircraftText.store("Boeing 737-800 KLM PH-BXA");
    mainWindow.linkBoxDark.store(false);
    liveryCount.store(3120);
    realTrafficDisplay.realTrafficLinked.store(true);
    realTrafficDisplay.trafficLamp.store(lampReceiving);
    gf_postStatus("Calculating static parked aircraft ...");
    std::promise<gui::WindowHandle> created;
    gui_ = std::thread([&created] {
      gf_registerMainWindowClass(u"Wendrix_P3D");
      if (!gf_createMainWindow()) {
        created.set_value(nullptr);
        return;
      }
      created.set_value(static_cast<gui::WindowHandle>(mainWindow.windowHandle.load()));
      gf_runMessageLoop();
    });
    window = created.get_future().get();
  }
  ~ProgramWindow() {
    if (window != nullptr) gui::postMessage(window, WM_APP_QUIT, 0, 0);
    gui_.join();
    if (gui::isWindow(window)) gf_destroyMainWindow();
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(folder_, ignored);
  }
  ProgramWindow(const ProgramWindow&) = delete;
  ProgramWindow& operator=(const ProgramWindow&) = delete;

  gui::WindowHandle window = nullptr;

 private:
  std::filesystem::path folder_;
  std::thread gui_;
};

// Main-loop steps at the program's 10 ms pace for 5 s, each repainting the counters band and
// posting the status line's message, as the run thread's notifiers do. The window saves its
// picture every 2 s, as in the program; back to back, it is also saved again as soon as it has
// been saved, so that the steps meet every part of a save. Time: the mean wait of a step's
// window calls; max_wait_ms: the longest.
void BM_MainLoopStepWindowWait(benchmark::State& state) {
  ProgramWindow program;
  if (program.window == nullptr) {
    state.SkipWithError("no window");
    return;
  }
  const bool backToBack = state.range(0) != 0;
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> saved{0};
  std::thread refresher([&] {
    while (backToBack && !stop.load()) {
      gui::postMessage(program.window, gui::msg::timer, pictureTimerId, 0);  // its WM_TIMER
      gui::inspect::waitIdle(program.window, std::chrono::seconds(5));
      saved.fetch_add(1);
    }
  });
  gui::inspect::waitIdle(program.window, std::chrono::seconds(5));
  Clock::duration longest{};
  auto next = Clock::now();
  for (auto _ : state) {
    next += std::chrono::milliseconds(10);
    const auto start = Clock::now();
    gf_invalidateBand(countersBand, true);
    gui::postMessage(program.window, WM_APP_STATUS, 0, 0);
    const auto waited = Clock::now() - start;
    longest = std::max(longest, waited);
    state.SetIterationTime(std::chrono::duration<double>(waited).count());
    std::this_thread::sleep_until(next);
  }
  stop.store(true);
  refresher.join();
  state.counters["max_wait_ms"] = std::chrono::duration<double, std::milli>(longest).count();
  state.counters["extra_pictures"] = static_cast<double>(saved.load());
}

}  // namespace

BENCHMARK(BM_MainLoopStepWindowWait)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("back_to_back")
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(500);
