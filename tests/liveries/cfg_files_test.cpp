// Whole cfg files: charsets, line endings, section cutting and damaged files.
#include <gtest/gtest.h>

#include <filesystem>

#include "liveries/fltsim_section.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries_fixture.hpp"

namespace fs = std::filesystem;
using livery_test::codesText;
using livery_test::linesOf;
using livery_test::section;
using wdrx::testing::shownPath;

namespace {

class CfgFiles : public ::testing::Test, public livery_test::LiveryTest {
 protected:
  std::vector<std::string> titlesOf(const std::string& bytes, const std::string& name = "aircraft.cfg") {
    const fs::path folder = dir.path() / ("ac" + std::to_string(count_++));
    livery_test::writeAircraft(folder, bytes, name);
    lf_clearClaimedTitles();  // each file as its own scan
    std::vector<std::string> titles;
    for (const LiveryData& l : livery_test::scanOne(folder / name)) titles.push_back(l.title);
    return titles;
  }

 private:
  int count_ = 0;
};

}  // namespace

TEST_F(CfgFiles, EveryCharsetGivesTheSameTitles) {
  const std::string text = livery_test::cfgText(
      "B738", {section(0, "Caf\xC3\xA9 Air \xC3\x89t\xC3\xA9", "BAW"), section(1, "Second", "DLH")});
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const std::vector<std::string> expected{"Caf\xC3\xA9 Air \xC3\x89t\xC3\xA9", "Second"};
  EXPECT_EQ(titlesOf(text), expected) << "UTF-8";
  EXPECT_EQ(titlesOf("\xEF\xBB\xBF" + text), expected) << "UTF-8 with BOM";
  EXPECT_EQ(titlesOf(crlf), expected) << "CR LF";
  EXPECT_EQ(titlesOf(livery_test::utf16(crlf, false)), expected) << "UTF-16 LE";
  EXPECT_EQ(titlesOf(livery_test::utf16(text, true)), expected) << "UTF-16 BE";
  EXPECT_EQ(titlesOf(livery_test::windows1252(crlf)), expected) << "Windows-1252";
  EXPECT_EQ(titlesOf(text, "SIM.CFG"), expected) << "sim.cfg";
}

TEST_F(CfgFiles, SectionsEndAtHeadingsNearTheLineStart) {
  const std::string text = "[General]\natc_model=B738\n"
                           "[fltsim.0]\ntitle=Zero\nsim=Boeing\nmodel=\ntexture=\n"
                           "     [x]\natc_parking_codes=BAW\n"  // five blanks: ends section 0, no airline for it
                           "[fltsim.1]\ntitle=One\nsim=Boeing\nmodel=\ntexture=\n"
                           "      [x]\natc_parking_codes=BAW\n"  // six blanks: a line of the section
                           "//[fltsim.2]\ntitle=Lost\n"          // ends section 1 and starts none
                           "[FLTSIM.3]\ntitle=Three\nsim=Boeing\nmodel=\ntexture=\natc_parking_codes=DLH\n"
                           ";[fltsim.4]\natc_parking_codes=KLM\n"  // a comment: no section 4
                           "[fltsim.5]\ntitle=Five ; [old]\nsim=Boeing\nmodel=\ntexture=\natc_parking_codes=KLM\n"
                           "[FltSim.x]\natc_parking_codes=DLH\n";
  EXPECT_EQ(titlesOf(text), (std::vector<std::string>{"Zero", "One", "Three", "Five ; [old]"}));
  EXPECT_EQ(linesOf(incompleteSections),
            std::vector<std::string>{shownPath(dir.path() / "ac0/aircraft.cfg") +
                                     " [fltsim.0] icao_airline is missing, or it has invalid info "});
}

TEST_F(CfgFiles, DuplicateAndSplitSections) {
  // Two headers with one number are two sections; keys before any header belong to none.
  EXPECT_EQ(titlesOf(livery_test::cfgText("B738", {section(0, "A", "BAW"), section(0, "B", "BAW")})),
            (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(titlesOf("title=Orphan\natc_parking_codes=BAW\n[General]\natc_model=B738\n").empty());
  EXPECT_EQ(linesOf(cfgFilesWithoutSections), std::vector<std::string>{shownPath(dir.path() / "ac1/aircraft.cfg")});
  EXPECT_TRUE(titlesOf("[fltsim.0]\nsim=Boeing\n[General]\natc_model=B738\n").empty());
  EXPECT_EQ(linesOf(incompleteSections).size(), 2u);  // no airline, no title
}

TEST_F(CfgFiles, WholeFileProblems) {
  struct Row {
    const char* name;
    std::string text;
    std::vector<std::string> invalidCfg;
    std::vector<std::string> invalidModels;
    std::vector<std::string> noSection;
  };
  const auto base = [this](const char* rest) { return shownPath((dir.path() / "ac").string() + rest); };
  const Row rows[] = {
      {"number above 10000", livery_test::cfgText("B738", {section(10001, "T", "BAW")}),
       {base("0/aircraft.cfg") + " contains a [fltsim.x] section with a number < 0 or > 10000"}, {}, {}},
      {"no model", livery_test::cfgText("", {section(0, "T", "BAW")}),
       {"Line atc_model= is missing in [General] section of " + base("1/aircraft.cfg")}, {}, {}},
      {"lower-case model", livery_test::cfgText("b738", {section(0, "T", "BAW")}), {},
       {"b738             in " + base("2/aircraft.cfg")}, {}},
      {"nothing at all", "[General]\n", {"Line atc_model= is missing in [General] section of " + base("3/aircraft.cfg")},
       {}, {base("3/aircraft.cfg")}},
  };
  for (const Row& row : rows) {
    EXPECT_TRUE(titlesOf(row.text).empty()) << row.name;
    EXPECT_EQ(linesOf(invalidCfgFiles), row.invalidCfg) << row.name;
    EXPECT_EQ(linesOf(invalidAircraftCodes), row.invalidModels) << row.name;
    EXPECT_EQ(linesOf(cfgFilesWithoutSections), row.noSection) << row.name;
    lf_clearScanLists();
  }
}

TEST_F(CfgFiles, HugeLinesDoNotStopTheFile) {
  const std::string huge(120000, 'y');
  const std::string text = livery_test::cfgText(
      "B738", {section(0, "Long " + huge, "BAW", "description=" + huge + "\n"), section(1, "Next", "DLH")});
  const std::vector<std::string> titles = titlesOf(text);
  ASSERT_EQ(titles.size(), 2u);
  EXPECT_EQ(titles[0].size(), 5 + huge.size());
  EXPECT_EQ(titles[1], "Next");
}

TEST_F(CfgFiles, FileSystemErrorLosesOnlyItsSection) {
  // A model folder name too long for the file system: its status query fails with an error
  // other than "not found".
  const fs::path folder = dir.path() / "ac";
  livery_test::writeAircraft(
      folder, livery_test::cfgText("B738", {"[fltsim.0]\ntitle=Broken\nsim=Boeing\nmodel=" + std::string(300, 'm') +
                                                "\ntexture=\natc_parking_codes=BAW\n",
                                            section(1, "Open", "BAW")}));
  std::vector<std::string> titles;
  for (const LiveryData& l : livery_test::scanOne(folder / "aircraft.cfg")) titles.push_back(l.title);
  EXPECT_EQ(titles, std::vector<std::string>{"Open"});
  EXPECT_NE(logText().find("Exception in lf_procesFltSimSection: "), std::string::npos);
  EXPECT_NE(logText().find(", file: " + (folder / "aircraft.cfg").string() + "\n"), std::string::npos);
}

TEST_F(CfgFiles, MissingFilesAreSkippedUnreadableOnesLogged) {
  const fs::path gone = dir.path() / "gone" / "aircraft.cfg";
  EXPECT_TRUE(livery_test::scanOne(gone).empty());
  EXPECT_EQ(logText().find("gone"), std::string::npos);  // an ordinary file that vanished: silent
  const fs::path folder = dir.path() / "odd" / "aircraft.cfg";
  fs::create_directories(folder);  // a folder where the file was
  EXPECT_TRUE(livery_test::scanOne(folder).empty());
  EXPECT_NE(logText().find("! No text encoding detected for " + folder.string() + "\n"), std::string::npos);
  const fs::path ivao = dir.path() / "p" / "IVAO_MTL" / "IVAO_B738" / "aircraft.cfg";  // not tested first
  EXPECT_TRUE(livery_test::scanOne(ivao, 1, true).empty());
  EXPECT_NE(logText().find("==> ! No text encoding detected for " + ivao.string() + "\n"), std::string::npos);
}
