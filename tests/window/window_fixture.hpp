#pragma once
// The main window on a GUI thread of its own, in a fresh working and data folder, with every
// setting and display value at its start value and recording doubles for the shell's hooks.
// Tests play the user through the window system's inspection calls and wait for the GUI
// thread to become idle before they look.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/parameters.hpp"
#include "platform/window_system.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"
#include "window/main_window.hpp"

namespace wdrx::testing {

// Puts settings, display values, flags and hooks back to their start values.
void resetWindowState();

// Calls of the hooks, in order ("navLights 1", "removeFarthest", "addParkAirport EHAM ...").
class HookRecorder {
 public:
  void push(std::string call);
  std::vector<std::string> calls() const;
  bool saw(const std::string& call) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the GUI thread with the window; SetUp does it unless startWindowInSetUp is false.
  void startWindow();
  void stopWindow();
  // Waits until the GUI thread has handled everything and painted.
  void idle();
  // Runs the work on a thread standing for the run thread, then waits for the GUI thread.
  void onRunThread(const std::function<void()>& work);
  // The whole window repainted.
  void repaint();

  platform::gui::WindowHandle handle(const ParameterControl& control) const;
  platform::gui::inspect::ControlInfo info(const ParameterControl& control) const;
  void click(const ParameterControl& control);
  void choose(const ParameterControl& control, int index);
  void choose(const ParameterControl& control, const std::u16string& item);
  void type(const ParameterControl& control, const std::u16string& keys);
  void post(std::uint32_t message, platform::gui::WParam wParam = 0);
  std::string statusText() const;

  // Texts of the last picture with their place and colour: "x,y r,g,b text".
  std::vector<std::string> drawnTexts() const;
  bool drew(std::int32_t x, std::int32_t y, const std::string& text,
            platform::gui::Colour colour) const;
  bool drewText(const std::string& text) const;
  platform::gui::Colour pixel(std::int32_t x, std::int32_t y) const;

  bool startWindowInSetUp = true;
  TempDir dir;
  LogCapture log;
  HookRecorder hooks;
  platform::gui::WindowHandle window = nullptr;
  std::atomic<std::int32_t> loopResult{-100};

 private:
  std::thread guiThread_;
};

}  // namespace wdrx::testing
