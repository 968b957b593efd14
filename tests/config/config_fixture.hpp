#pragma once
// A fresh working folder with Log.txt open and the data folder in place, a recording fake of
// the window's controls, and helpers that read parameters.xml back.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "config/settings_view.hpp"
#include "support/temp_dir.hpp"

// Every control call as a line: "check 32798 1", "select 32818 3", "text 32818 40", ...
class RecordingView : public SettingsView, public SettingsFollowUps {
 public:
  bool isWindow(const ParameterControl& control) override;
  void setCheck(const ParameterControl& control, bool checked) override;
  void enable(const ParameterControl& control, bool enabled) override;
  void resetComboBox(const ParameterControl& control) override;
  void addComboString(const ParameterControl& control, const std::string& text) override;
  void selectComboIndex(const ParameterControl& control, int index) override;
  void showText(const ParameterControl& control, const std::string& text) override;
  void setRange(std::int32_t nm) override;
  void syncMaxFitCombo() override;

  std::vector<std::string> calls() const;
  bool saw(const std::string& call) const;

 private:
  void record(std::string call);
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

// The (name, value) pairs of parameters.xml in file order (root/parameters or parameters);
// a missing value attribute reads as "<none>".
std::vector<std::pair<std::string, std::string>> fileParameters();
// The value of the first element with that name, or "<absent>".
std::string fileValue(const std::string& name);
// Writes parameters.xml from (name, value) pairs, with or without the root level.
void writeParametersFile(const std::vector<std::pair<std::string, std::string>>& entries,
                         bool withRoot = true);
// The 66 keys of a full write, in order.
const std::vector<std::string>& expectedFullWriteNames();
