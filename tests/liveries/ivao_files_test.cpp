// IVAO model-matching files: model from the folder, airline from the title.
#include <gtest/gtest.h>

#include <filesystem>

#include "aircraft/regcode_files.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/ivao_files.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries_fixture.hpp"

namespace fs = std::filesystem;
using livery_test::codesText;
using livery_test::expand;
using livery_test::linesOf;

TEST(IvaoFolderCode, PathLayout) {
  const std::pair<const char*, const char*> rows[] = {
      {"/x/IVAO_MTL/IVAO_B744F/aircraft.cfg", "B744F"},
      {"/x/ivao_mtl/ivao_a320w/AIRCRAFT.CFG", "a320w"},
      {"C:\\Sim\\IVAO_MTL\\IVAO_B738\\aircraft.cfg", "B738"},
      {"/x/IVAO_MTL/IVAO_GLID_KA6/aircraft.cfg", "GLID_KA6"},
      {"/x/IVAO_MTL/IVAO_B738/aircraft_cfg", "B738"},
      {"/x/IVAO_MTL/IVAO_IVAO_B738/aircraft.cfg", "IVAO_B738"},
      {"/x/IVAO_MTL/IVAO_B7-38/aircraft.cfg", ""},
      {"/x/IVAO_MTL/IVAO_/aircraft.cfg", ""},
      {"/x/IVAO_MTL/sub/IVAO_B738/aircraft.cfg", ""},
      {"/x/IVAO_MTL/IVAO_B738/sim.cfg", ""},
      {"/x/IVAO_MTL/IVAO_B738/aircraft.cfg.bak", ""},
      {"/IVAO_MTL/IVAO_B738/aircraft.cfg", ""},
      {"IVAO_MTL/IVAO_B738/aircraft.cfg", ""},
      {"/x/ivao_x-csl/B738/aircraft.cfg", ""},
  };
  for (const auto& [path, code] : rows) EXPECT_EQ(lf_ivaoFolderCode(path).value_or(""), code) << path;
}

TEST(IvaoFolderCode, ShortenedCodes) {
  const std::pair<const char*, const char*> rows[] = {
      {"A320w", "A320"}, {"B744w", "B744"}, {"B744F", "B744"},     {"T154M", "T154"},   {"T154B2", "T154"},
      {"GLID_SH", "GLID"}, {"GLID_A13", "GLID"}, {"GLID_L13", "GLID"}, {"B744FW", "B744FW"}, {"b744f", "b744f"},
      {"w", ""},
  };
  for (const auto& [code, shortened] : rows) EXPECT_EQ(lf_shortenIVAOModel(code), shortened) << code;
}

TEST(IvaoTitleAirline, ModelThenOptionalBlanksThenThreeWordCharacters) {
  struct Row {
    const char* title;
    const char* model;
    const char* airline;
  };
  const Row rows[] = {
      {"B738 BAW British Airways", "B738", "BAW"}, {"b738baw", "B738", "baw"},     {"B738 \t BA_ x", "B738", "BA_"},
      {"B744F BAW", "B744", ""},                    {"B744FBAW", "B744", "FBA"},    {"British B738", "B738", ""},
      {"B738 BA", "B738", ""},                      {"B738 B-A", "B738", ""},       {"B738", "B738", ""},
      {"B738 BAW [old]; x", "B738", "BAW"},
  };
  for (const Row& row : rows) EXPECT_EQ(lf_ivaoTitleAirline(row.title, row.model).value_or(""), row.airline) << row.title;
}

namespace {

class IvaoFiles : public ::testing::Test, public livery_test::LiveryTest {
 protected:
  // Writes IVAO_MTL/IVAO_<code>/aircraft.cfg of a fresh package and scans it.
  std::vector<LiveryData> scanIvao(const std::string& code, const std::string& sections, fs::path& file) {
    const fs::path folder = dir.path() / ("pkg" + std::to_string(count_++)) / "IVAO_MTL" / ("IVAO_" + code);
    livery_test::writeAircraft(folder, "[General]\natc_type=X\n" + sections);
    file = folder / "aircraft.cfg";
    lf_clearClaimedTitles();
    return livery_test::scanOne(file, 2, true);
  }
  int count_ = 0;
};

std::string ivaoSection(int n, const std::string& title, const std::string& extra = "") {
  return "[fltsim." + std::to_string(n) + "]\ntitle=" + title + "\nsim=Boeing\nmodel=\ntexture=\n" + extra;
}

struct Row {
  const char* name;
  const char* code;
  std::string sections;
  const char* livery;  // "title|registration| codes", "" = none
  std::vector<std::string> incomplete = {};
  std::vector<std::string> invalidAirlines = {};
  std::vector<std::string> invalidModels = {};
  std::vector<std::string> fixes = {};
};

}  // namespace

TEST_F(IvaoFiles, SectionsOfModelMatchingFiles) {
  dontUseTitles = {"B738 BAW Retro"};
  const Row rows[] = {
      {"airline from the title", "B738", ivaoSection(0, "B738 BAW British"), "B738 BAW British|| BAW, B738 0"},
      {"shortened folder code", "B744F", ivaoSection(0, "B744 BAW"), "B744 BAW|| BAW, B744 0"},
      {"lower-case w", "A320w", ivaoSection(0, "A320DLH"), "A320DLH|| DLH, A320 0"},
      {"fixed model", "B73H", ivaoSection(0, "B738 KLM"), "B738 KLM|| KLM, B738 0", {}, {}, {},
       {"Model fix: B73H found in {file} changed into B738"}},
      {"unknown model", "XXXX", ivaoSection(0, "XXXX BAW"), "", {}, {}, {"XXXX             in {file}"}},
      {"code of the unshortened folder", "B744F", ivaoSection(0, "B744F BAW"), "",
       {"{folder} [fltsim.0] misses airlinecode in title: B744F BAW, and no regcode"}},
      {"airline name first", "B738", ivaoSection(0, "British B738"), "",
       {"{folder} [fltsim.0] misses airlinecode in title: British B738, and no regcode"}},
      {"registration instead", "B738", ivaoSection(0, "British B738", "atc_id=G-EUPA\n"),
       "British B738|G-EUPA| BAW, B738 0"},
      {"registration unknown", "B738", ivaoSection(0, "British B738", "atc_id=G-ZZZZ\n"), "",
       {"{folder} [fltsim.0] misses airlinecode in title: British B738, and regcode unknown G-ZZZZ"}},
      {"semicolon kept", "B738", ivaoSection(0, "B738 BAW", "atc_id=AB12 ;xy\n"), "B738 BAW|AB12 ;xy| BAW, B738 0"},
      {"semicolon too long", "B738", ivaoSection(0, "B738 BAW", "atc_id=G-ABCD ;comment\n"), "B738 BAW|| BAW, B738 0",
       {"invalid atc_id=G-ABCD ;comment in B738 BAW"}},
      {"cargo types ignored", "B738", ivaoSection(0, "B738 BAW", "atc_parking_types=CARGO\n"),
       "B738 BAW|| BAW, B738 0"},
      {"invalid airline", "B738", ivaoSection(0, "B738 XYZ"), "", {}, {"XYZ          in {file} [fltsim.0]"}},
      {"ZZZ drops the registration", "B738", ivaoSection(0, "B738 ZZZ", "atc_id=G-EUPA\n"), "B738 ZZZ|| ZZZ, B738 0"},
      {"bracket in the title", "B738", ivaoSection(0, "B738 BAW [2019] ; x", "atc_id=G-ABCD\n"),
       "B738 BAW [2019] ; x|G-ABCD| BAW, B738 0"},
      {"heading ends the section", "B738", ivaoSection(0, "B738 BAW") + "  [General]\natc_id=G-ABCD\n",
       "B738 BAW|| BAW, B738 0"},
      {"don't use", "B738", ivaoSection(0, "B738 BAW Retro"), ""},
      {"no title", "B738", "[fltsim.0]\nsim=Boeing\nmodel=\ntexture=\n", "", {"{folder} [fltsim.0] misses title"}},
      {"second title", "B738", ivaoSection(0, "B738 BAW", "title=B738 DLH\n"), "",
       {"{folder} [fltsim.0] has more than one title key"}},
      {"second parking types", "B738", ivaoSection(0, "B738 BAW", "atc_parking_types=GATE\natc_parking_types=X\n"), "",
       {"{folder} [fltsim.0] has more than one atc_parking_types key"}},
      {"second atc_id", "B738", ivaoSection(0, "B738 BAW", "atc_id=G-ABCD\natc_id=G-ABCE\n"), "",
       {"{folder}, [fltsim.0], has more than one atc_id key"}},
      {"air file missing", "B738", "[fltsim.0]\ntitle=B738 BAW\nsim=Airbus\nmodel=\ntexture=\n", "",
       {"{folder}/Airbus.air [fltsim.0] does not exist"}},
      {"air file and texture missing", "B738", "[fltsim.0]\ntitle=B738 BAW\nsim=Airbus\nmodel=\ntexture=Red\n", "",
       {"{folder}/Airbus.air [fltsim.0] does not exist"}},
      {"texture missing", "B738", "[fltsim.0]\ntitle=B738 BAW\nsim=Boeing\nmodel=\ntexture=Red\n", "",
       {"{folder}/texture.Red [fltsim.0] does not exist"}},
      {"same title twice", "B738", ivaoSection(0, "B738 BAW") + ivaoSection(1, "B738 BAW"), "B738 BAW|| BAW, B738 0",
       {"{folder} [fltsim.1] title already exists: B738 BAW"}},
  };
  for (const Row& row : rows) {
    fs::path file;
    const std::vector<LiveryData> found = scanIvao(row.code, row.sections, file);
    if (*row.livery) {
      ASSERT_EQ(found.size(), 1u) << row.name;
      const LiveryData& l = found.front();
      EXPECT_EQ(l.title + "|" + l.registration + "| " + codesText(l), row.livery) << row.name;
      EXPECT_EQ(l.folderNumber, 2) << row.name;
    } else {
      EXPECT_TRUE(found.empty()) << row.name;
    }
    auto expanded = [&](const std::vector<std::string>& lines) {
      std::vector<std::string> out;
      for (const std::string& line : lines) out.push_back(expand(line, file));
      return out;
    };
    EXPECT_EQ(linesOf(incompleteSections), expanded(row.incomplete)) << row.name;
    EXPECT_EQ(linesOf(invalidAirlineCodes), expanded(row.invalidAirlines)) << row.name;
    EXPECT_EQ(linesOf(invalidAircraftCodes), expanded(row.invalidModels)) << row.name;
    EXPECT_EQ(linesOf(modelFixes), expanded(row.fixes)) << row.name;
    lf_clearScanLists();
    modelFixes.lines.clear();
    dontUseTitles = {"B738 BAW Retro"};
  }
}

TEST_F(IvaoFiles, FileOutsideTheLayoutIsReportedWithTwoBlanks) {
  const fs::path file = dir.path() / "ivao_x-csl" / "B738" / "aircraft.cfg";
  livery_test::writeAircraft(file.parent_path(), ivaoSection(0, "B738 BAW"));
  EXPECT_TRUE(livery_test::scanOne(file, 1, true).empty());
  EXPECT_EQ(linesOf(invalidAircraftCodes), std::vector<std::string>{"                 in " + file.string()});
}
