// Key lines, section headers, section numbers and the model code of a cfg file.
#include <gtest/gtest.h>

#include <string>

#include "liveries/cfg_keys.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries_fixture.hpp"

namespace {

struct KeyRow {
  const char* line;
  const char* key;
  const char* value;  // "" = no key line
};

}  // namespace

TEST(CfgKeyValue, MatchesWholeLinesOfOneKeyInAnyCase) {
  const KeyRow rows[] = {
      {"title=My Livery", "title", "My Livery"},
      {"TITLE = My Livery   ", "title", "My Livery"},
      {"\t Title\t=\tA  B \t", "title", "A  B"},
      {"title=A ; B", "title", "A ; B"},
      {"title=A // B", "title", "A // B"},
      {"title=", "title", ""},
      {"title=   \t", "title", ""},
      {"//title=x", "title", ""},
      {";title=x", "title", ""},
      {"xtitle=x", "title", ""},
      {"titles=x", "title", ""},
      {"title_x=y", "title", ""},
      {"title x", "title", ""},
      {"title==x", "title", "=x"},
      {"title=x\r", "title", "x"},
      {"title=a\rb", "title", ""},  // a line break inside the value: no key line
      {"\vtitle\f=\fv\v", "title", "v"},
      {"atc_id=N123AB ; comment", "atc_id", "N123AB ; comment"},
      {"atc_id_color=0xffffffff", "atc_id", ""},
      {"ATC_PARKING_CODES=BAW,SHT", "atc_parking_codes", "BAW,SHT"},
      {"atc_model = B738", "atc_model", "B738"},
      {"title=\xC3\xA9t\xC3\xA9", "title", "\xC3\xA9t\xC3\xA9"},
      {"title=x\xC2\xA0", "title", "x\xC2\xA0"},  // only ASCII white space is trimmed
      {"tit", "title", ""},
      {"", "title", ""},
  };
  for (const KeyRow& row : rows) EXPECT_EQ(lf_cfgKeyValue(row.line, row.key), row.value) << row.line;

  std::string target = "kept";
  EXPECT_FALSE(lf_readCfgKey("title=", "title", target));
  EXPECT_EQ(target, "kept");
  EXPECT_TRUE(lf_readCfgKey("title=new", "title", target));
  EXPECT_EQ(target, "new");
}

TEST(CfgKeyValue, VeryLongLinesNeitherCrashNorLoseTheValue) {
  const std::string value(200000, 'x');
  EXPECT_EQ(lf_cfgKeyValue("title=" + value + "   ", "title").size(), value.size());
  EXPECT_TRUE(lf_cfgKeyValue(std::string(60000, ' ') + "=" + value, "title").empty());
  EXPECT_EQ(lf_fltsimSectionNumber("[fltsim." + std::string(100000, '1') + "]").size(), 100000u);
}

TEST(FltsimSectionNumber, HeadersDamagedHeadersAndComments) {
  const std::pair<const char*, const char*> rows[] = {
      {"[fltsim.0]", "0"},
      {"[FLTSIM.0]", "0"},
      {"  [fltsim.12]  ", "12"},
      {"[FltSim.3]", "3"},
      {"[fltsim.007]", "007"},
      {"[fltsim.x]", "10000"},
      {"[fltsim.1] ; old one", "10000"},
      {"[fltsim.]", "10000"},
      {"x[FLTSIM.1]", "10000"},
      {"[FltSim.x]", ""},     // neither exact spelling of the damaged form
      {"//[fltsim.2]", ""},
      {"  //[fltsim.2]", ""},
      {";[fltsim.1]", ""},    // a commented-out header is a comment
      {" ; [fltsim.1]", ""},
      {"[fltsim.-1]", "10000"},
      {"[fltsim 1]", ""},
      {"[General]", ""},
      {"/", ""},
      {"", ""},
  };
  for (const auto& [line, number] : rows) EXPECT_EQ(lf_fltsimSectionNumber(line), number) << line;
}

TEST(CheckFltsimNumbers, RangeOverflowAndFilesWithoutSections) {
  livery_test::LiveryTest fixture;
  struct Row {
    std::vector<std::string_view> lines;
    bool accepted;
    std::size_t invalid;   // entries in invalidCfgFiles
    std::size_t noSection;  // entries in cfgFilesWithoutSections
  };
  const Row rows[] = {
      {{"[fltsim.0]", "[fltsim.10000]"}, true, 0, 0},
      {{"[fltsim.0]", "[fltsim.10001]"}, false, 1, 0},
      {{"[fltsim.x]", "[fltsim.1] ;c"}, true, 0, 0},
      {{"[General]", "atc_model=B738"}, true, 0, 1},
      {{";[fltsim.0]"}, true, 0, 1},
      {{"[fltsim.2147483647]"}, false, 1, 0},
      {{"[fltsim.2147483648]", "[fltsim.99999]"}, false, 0, 0},  // does not fit: log only
  };
  for (const Row& row : rows) {
    ScanReports reports;
    EXPECT_EQ(lf_checkFltsimNumbers(row.lines, "C:/a/aircraft.cfg", reports), row.accepted) << row.lines.front();
    EXPECT_EQ(reports.invalidCfgFiles.size(), row.invalid) << row.lines.front();
    EXPECT_EQ(reports.cfgFilesWithoutSections.size(), row.noSection) << row.lines.front();
  }
  ScanReports reports;
  lf_checkFltsimNumbers({"[fltsim.10001]"}, "C:/a/aircraft.cfg", reports);
  EXPECT_EQ(reports.invalidCfgFiles.front(),
            "C:/a/aircraft.cfg contains a [fltsim.x] section with a number < 0 or > 10000");
  EXPECT_NE(fixture.logText().find("==> fltsim num [fltsim.2147483648] incorrect\n"), std::string::npos);
}

TEST(ReadAtcModel, KnownFixedInvalidAndMissing) {
  livery_test::LiveryTest fixture;
  struct Row {
    std::vector<std::string_view> lines;
    const char* model;
    const char* report;  // the entry made, "" = none
  };
  const Row rows[] = {
      {{"[General]", "atc_model=B738", "atc_model=A320"}, "B738", ""},
      {{"[fltsim.0]", "atc_model = A320 "}, "A320", ""},  // the first one anywhere in the file
      {{"//atc_model=A320", "atc_model=B738"}, "B738", ""},
      {{"atc_model=B73H"}, "B738", "Model fix: B73H found in f.cfg changed into B738"},
      {{"atc_model=b738"}, "", "b738             in f.cfg"},
      {{"atc_model="}, "", "Line atc_model= is missing in [General] section of f.cfg"},
      {{"[General]"}, "", "Line atc_model= is missing in [General] section of f.cfg"},
  };
  for (const Row& row : rows) {
    ScanReports reports;
    EXPECT_EQ(lf_readAtcModel("f.cfg", row.lines, reports), row.model) << row.lines.back();
    std::vector<std::string> all;
    for (auto* list : {&reports.modelFixes, &reports.invalidAircraftCodes, &reports.invalidCfgFiles})
      all.insert(all.end(), list->begin(), list->end());
    if (*row.report) {
      EXPECT_EQ(all, std::vector<std::string>{row.report});
    } else {
      EXPECT_TRUE(all.empty()) << all.front();
    }
  }
}
