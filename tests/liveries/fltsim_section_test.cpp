// One [fltsim.N] section into a LiveryData, or refused with its report lines.
#include <gtest/gtest.h>

#include <filesystem>

#include "aircraft/regcode_files.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries_fixture.hpp"

namespace fs = std::filesystem;
using livery_test::codesText;
using livery_test::expand;
using livery_test::linesOf;
using livery_test::section;

namespace {

class FltsimSection : public ::testing::Test, public livery_test::LiveryTest {};

struct Row {
  const char* name;
  const char* model;        // atc_model of the file
  std::string sectionText;  // the whole section
  const char* livery;       // "title|registration|codes" or "" for none
  std::vector<std::string> incomplete;
  std::vector<std::string> invalidAirlines = {};
};

std::string liveryText(const LiveryData& l) { return l.title + "|" + l.registration + "| " + codesText(l); }

const std::string noAirline = "{file} [fltsim.0] icao_airline is missing, or it has invalid info ";

}  // namespace

TEST_F(FltsimSection, KeysCodesAndRefusals) {
  dontUseTitles = {"Do Not Use"};
  const Row rows[] = {
      {"plain", "B738", section(0, "BA 738", "BAW"), "BA 738|| BAW, B738 0", {}},
      {"airline with X", "B738", section(0, "T", "BAWX, SHT"), "T|| BAW, B738 0", {}},
      {"airline with C", "B738", section(0, "T", "BAWC"), "T|| BAW, B738 0", {}},
      {"lower case airline", "B738", section(0, "T", "baw"), "T|| PVT, B738 0", {noAirline},
       {"baw          in {file} [fltsim.0]"}},
      {"lower case airline heavy", "B744", section(0, "T", "baw"), "",
       {noAirline, "'{folder}' '[fltsim.0]' has no airline and no regcode info"},
       {"baw          in {file} [fltsim.0]"}},
      {"RFO", "B738", section(0, "T", "RFO"), "", {}},
      {"no airline key", "B738", section(0, "T", ""), "T|| PVT, B738 0", {noAirline}},
      {"cargo", "B738",
       "[fltsim.0]\ntitle=T\nsim=Boeing\nmodel=\ntexture=\natc_parking_codes=BAW\natc_parking_types = gate, cargo ,,\n",
       "T|| BAW, B738 1", {}},
      {"atc_id with comment", "B738", section(0, "T", "BAW", "atc_id=G-ABCD ; old reg\n"), "T|G-ABCD| BAW, B738 0",
       {}},
      {"two registrations", "B738", section(0, "T", "BAW", "atc_id=G-ABCD, G-ABCE\n"), "T|| BAW, B738 0", {}},
      {"star registration", "B738", section(0, "T", "BAW", "atc_id=*\n"), "T|| BAW, B738 0",
       {"invalid atc_id=* in: T"}},
      {"star inside", "B738", section(0, "T", "BAW", "atc_id=G-AB*D;x\n"), "T|| BAW, B738 0",
       {"invalid atc_id=G-AB*D in: T"}},
      {"13 characters", "B738", section(0, "T", "BAW", "atc_id=ABCDEFGHIJKLM\n"), "T|| BAW, B738 0",
       {"invalid atc_id=ABCDEFGHIJKLM in: T"}},
      {"12 characters", "B738", section(0, "T", "BAW", "atc_id=ABCDEFGHIJKL\n"), "T|ABCDEFGHIJKL| BAW, B738 0", {}},
      {"commented atc_id before", "B738", section(0, "T", "BAW", "//atc_id=G-XXXX\natc_id=G-ABCD\n"),
       "T|G-ABCD| BAW, B738 0", {}},
      {"commented atc_id after", "B738", section(0, "T", "BAW", "atc_id=G-ABCD\n//atc_id=G-XXXX\nui_variation=1\n"), "",
       {"{folder}, [fltsim.0], has more than one atc_id key"}},
      {"commented atc_id among the trailing lines", "B738", section(0, "T", "BAW", "atc_id=G-ABCD\n//atc_id=G-XXXX\n\n"),
       "T|G-ABCD| BAW, B738 0", {}},
      {"ZZZ drops the registration", "B738", section(0, "T", "ZZZ", "atc_id=D-AIPA\n"), "T|| ZZZ, B738 0", {}},
      {"registration found", "B738", section(0, "T", "BAW", "atc_id=D-AIPA\natc_parking_types=CARGO\n"),
       "", {"{folder} [fltsim.0] has more than one atc_parking_types key"}},
      {"registration found wins", "B738",
       "[fltsim.0]\ntitle=T\nsim=Boeing\nmodel=\ntexture=\natc_parking_codes=BAW\natc_parking_types=CARGO\natc_id=D-AIPA\n",
       "T|D-AIPA| DLH, B738 0", {}},
      {"registration found with operator", "B744", section(0, "T", "", "atc_id=PH-BXA\n"), "T|PH-BXA| KLM,KLC B744 0",
       {noAirline}},
      {"registration unknown", "B738", section(0, "T", "", "atc_id=G-ZZZZ\n"), "T|G-ZZZZ| PVT, B738 0", {noAirline}},
      {"registration unknown heavy", "B744", section(0, "T", "", "atc_id=G-ZZZZ\n"), "",
       {noAirline, "'{folder}' '[fltsim.0]' has no airline and regcode not in dbase"}},
      {"registration in the title", "B738", section(0, "Cessna OOXYZ", ""), "Cessna OOXYZ|OOXYZ| PVT, B738 0",
       {noAirline}},
      {"two title keys", "B738", section(0, "T", "BAW", "Title=U\n"), "",
       {"{folder} [fltsim.0] has more than one title key"}},
      {"two airline keys", "B738", section(0, "T", "BAW", "atc_parking_codes=DLH\n"), "",
       {"{folder} [fltsim.0] has more than one atc_parking_codes key"}},
      {"airline key in a comment", "B738", section(0, "T", "BAW", ";atc_parking_codes=DLH\nui=1\n"), "",
       {"{folder} [fltsim.0] has more than one atc_parking_codes key"}},
      {"invalid then valid airline", "B738", section(0, "T", "XXX", "atc_parking_codes=DLH\n"), "T|| DLH, B738 0", {},
       {"XXX          in {file} [fltsim.0]"}},
      {"Fictional", "B738", section(0, "Fictional Air", "BAW"), "", {}},
      {"fictional in lower case", "B738", section(0, "fictional air", "BAW"), "fictional air|| BAW, B738 0", {}},
      {"don't use", "B738", section(0, "Do Not Use", "BAW"), "", {}},
      {"no title", "B738", "[fltsim.0]\nsim=Boeing\nmodel=\ntexture=\natc_parking_codes=BAW\n", "",
       {"{folder} [fltsim.0] misses title"}},
      {"model folder missing", "B738", section(0, "T", "BAW", "model=X\n"), "T|| BAW, B738 0", {}},
      {"texture folder missing", "B738",
       "[fltsim.0]\ntitle=T\nsim=Boeing\nmodel=\ntexture=Blue\natc_parking_codes=BAW\n", "",
       {"{folder}/model or related path does not exist: [fltsim.0]"}},
      {"air file missing", "B738", "[fltsim.0]\ntitle=T\nsim=Airbus\nmodel=\ntexture=\natc_parking_codes=BAW\n", "",
       {"{folder}/model or related path does not exist: [fltsim.0]"}},
      {"trailing dot", "B738", "[fltsim.0]\ntitle=T\nsim=Boeing\nmodel=.\ntexture=\natc_parking_codes=BAW\n",
       "T|| BAW, B738 0", {}},
      {"no model key", "B738", "[fltsim.0]\ntitle=T\nsim=Boeing\ntexture=\natc_parking_codes=BAW\n", "T|| BAW, B738 0",
       {}},
      {"fixed model", "B73H", section(0, "T", "BAW"), "T|| BAW, B738 0", {}},
  };
  int n = 0;
  for (const Row& row : rows) {
    const fs::path folder = dir.path() / ("ac" + std::to_string(n++));
    livery_test::writeAircraft(folder, livery_test::cfgText(row.model, {row.sectionText}));
    fs::create_directories(folder / "model.X");  // the first model line wins: "model=" in section()
    const fs::path file = folder / "aircraft.cfg";
    const std::vector<LiveryData> found = livery_test::scanOne(file);
    if (*row.livery) {
      ASSERT_EQ(found.size(), 1u) << row.name << " " << linesOf(incompleteSections).size();
      EXPECT_EQ(liveryText(found.front()), row.livery) << row.name;
      EXPECT_EQ(found.front().folderNumber, 1) << row.name;
    } else {
      EXPECT_TRUE(found.empty()) << row.name;
    }
    std::vector<std::string> incomplete, airlines;
    for (const std::string& line : row.incomplete) incomplete.push_back(expand(line, file));
    for (const std::string& line : row.invalidAirlines) airlines.push_back(expand(line, file));
    EXPECT_EQ(linesOf(incompleteSections), incomplete) << row.name;
    EXPECT_EQ(linesOf(invalidAirlineCodes), airlines) << row.name;
    lf_clearScanLists();
    dontUseTitles = {"Do Not Use"};
  }
}

TEST_F(FltsimSection, SameTitleTwiceAndTrailingComments) {
  const fs::path folder = dir.path() / "ac";
  livery_test::writeAircraft(
      folder, livery_test::cfgText("B738", {section(0, "Same", "BAW"), section(1, "Same", "DLH"),
                                            section(2, "Other", "DLH", "\n//atc_id=G-ABCD\n\n// end\n")}));
  const std::vector<LiveryData> found = livery_test::scanOne(folder / "aircraft.cfg");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].title, "Same");
  EXPECT_EQ(codesText(found[0]), "BAW, B738 0");
  EXPECT_EQ(found[1].title, "Other");
  EXPECT_EQ(linesOf(incompleteSections),
            std::vector<std::string>{expand("{folder} [fltsim.1] title 'Same' already exists", folder / "x")});
}
