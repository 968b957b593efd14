#pragma once
// The shell's run on a fake clock: a fresh working and data folder with Log.txt open, every
// setting, display value and run flag at its start value, and the run's services bound to
// recording doubles. Time passes only when the run sleeps: the sleeper moves the fake clock and
// then does what the test scheduled for that time (a close request, a stop, a datagram).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/run_services.hpp"
#include "support/fake_clock.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace shell_test {

using namespace std::chrono_literals;

// Every setting, display value, run flag and hook of the shell as at process start.
void resetShellState();

// Calls of the doubles in order, each with the fake time (ms since the test's start) it came at.
class CallLog {
 public:
  void push(const std::string& call, std::int64_t atMs);
  std::vector<std::string> calls() const;  // names only
  std::vector<std::pair<std::string, std::int64_t>> timed() const;
  int count(const std::string& call) const;
  bool saw(const std::string& call) const { return count(call) > 0; }
  // Position of the first call of that name, -1 when none.
  int indexOf(const std::string& call) const;
  std::int64_t timeOf(const std::string& call) const;  // -1 when none
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::int64_t>> calls_;
};

class ShellTest : public ::testing::Test {
 protected:
  ShellTest();
  ~ShellTest() override;

  // Binds every hook of runServices to a double that records its call; results: the flight
  // runs, the user aircraft stands at a known place, the data files read, no scan due.
  void bindDoubles();
  // Milliseconds of fake time since the test started.
  std::int64_t nowMs() const;
  // Runs the action once the fake clock has reached that time (ms since the start).
  void at(std::int64_t ms, std::function<void()> action);
  // The working folder as a program's own folder (its "docs" folder).
  void makeProgramFolder();
  std::string logText() const { return log.text(); }
  // While set, the simulator's second (secondTick) comes with every whole second of fake time.
  bool simulatorSeconds = true;

  // The main window on a GUI thread of its own, for what the run posts to it. A restart's
  // WM_APP_START_RUN is recorded as "startUpRun" (no run thread body runs).
  void startWindow();
  // Waits for the message loop to end (WM_APP_QUIT); its code, or -100 after the time-out.
  std::int32_t waitForQuit(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Waits until the window started a run (a restart); false after the time-out.
  bool waitForRestart(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  void stopWindow();

  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  wdrx::testing::FakeClock clock;
  CallLog calls;

 private:
  void lf_sleep(std::chrono::nanoseconds duration);
  std::chrono::steady_clock::time_point start_;
  std::thread guiThread_;
  std::atomic<std::int32_t> loopResult_{-100};
  std::mutex runMutex_;
  std::condition_variable runStarted_;
  bool restarted_ = false;
  std::mutex scheduleMutex_;
  std::multimap<std::int64_t, std::function<void()>> schedule_;
};

}  // namespace shell_test
