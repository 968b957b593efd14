#pragma once
// A fresh working folder with Log.txt open and the data folder in place, a recording fake of
// the window's controls, and helpers that read parameters.xml back.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "config/parameters.hpp"
#include "config/settings_view.hpp"
#include "foundation/format.hpp"
#include "support/temp_dir.hpp"

// Every control call as a line: "check 32798 1", "select 32818 3", "text 32818 40", ...
class RecordingView : public SettingsView, public SettingsFollowUps {
 public:
  bool isWindow(const ParameterControl&) override { return true; }
  void setCheck(const ParameterControl& c, bool on) override { record("check", c, on ? 1 : 0); }
  void enable(const ParameterControl& c, bool on) override { record("enable", c, on ? 1 : 0); }
  void resetComboBox(const ParameterControl& c) override { push(wdrx::format("reset {}", c.controlId)); }
  void addComboString(const ParameterControl& c, const std::string& text) override {
    record("add", c, text);
  }
  void selectComboIndex(const ParameterControl& c, int index) override { record("select", c, index); }
  void showText(const ParameterControl& c, const std::string& text) override { record("text", c, text); }
  void setRange(std::int32_t nm) override { push(wdrx::format("setRange {}", nm)); }
  void syncMaxFitCombo() override { push("syncMaxFitCombo"); }

  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  bool saw(const std::string& call) const {
    const auto all = calls();
    return std::find(all.begin(), all.end(), call) != all.end();
  }

 private:
  template <typename T>
  void record(const char* what, const ParameterControl& c, const T& argument) {
    push(wdrx::format("{} {} {}", what, c.controlId, argument));
  }
  void push(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Closes the log and returns its text; call once, at the end of a test.
  std::string logText();

  wdrx::testing::TempDir dir;
  RecordingView view;
};

using Entries = std::vector<std::pair<std::string, std::string>>;
// The (name, value) pairs of parameters.xml in file order (root/parameters or parameters);
// a missing value attribute reads as "<none>".
Entries fileParameters();
std::vector<std::string> fileNames();
// The value of the first element with that name, or "<absent>".
std::string fileValue(const std::string& name);
// Writes parameters.xml from (name, value) pairs, with or without the root level.
void writeParametersFile(const Entries& entries, bool withRoot = true);
// The 66 (name, value) pairs of a full write with defaults, in order; and their names alone.
const Entries& expectedDefaultEntries();
const std::vector<std::string>& expectedFullWriteNames();
