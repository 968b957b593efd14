#pragma once
// Fixtures of the livery-table and livery-matching tests: a working folder with the log open,
// small reference data set directly in the tables, and installed liveries processed through
// the cache file as a start-up does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "liveries/livery_data.hpp"
#include "records/records.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace match_test {

// Reference data: models A319 A320 A321 B738 E190 CRJ9 (Large), B744 (Heavy), C172 P28A
// (Light), C25A (Buzjets), EC35 (Rotorcraft), F16 (HighPerf); similar groups {A319 A320 A321}
// and {C172 P28A}; registration prefix groups {D- G- OE-}.
void setReferenceData();

LiveryData livery(const std::string& airline, const std::string& op, const std::string& model,
                  const std::string& title, const std::string& registration = "", bool cargo = false);

// Writes output/LiveriesScanned.xml with the liveries and processes it from empty tables.
void processLiveries(std::vector<LiveryData> liveries);

// A live aircraft with these codes; its category is its model's.
LiveAc aircraft(const std::string& airline, const std::string& op, const std::string& model,
                const std::string& registration = "", bool cargo = false);

// input/AIG-regcodes.enc holding these <l> elements; input/my_regcodes/<name> with the lines.
void writeAigRegcodes(const std::string& records);
void writeUserRegcodes(const std::string& name, const std::string& lines);

class MatchTest : public ::testing::Test {
 protected:
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  MatchTest();
  ~MatchTest() override;
  // Log lines written since the last call.
  std::vector<std::string> newLogLines();

 private:
  std::size_t logRead_ = 0;
};

}  // namespace match_test
