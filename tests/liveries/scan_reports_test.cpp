// The report files of a scan and the summary in Log.txt.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "aircraft/regcode_files.hpp"
#include "config/settings.hpp"
#include "encrypt/encrypt.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries_fixture.hpp"

namespace fs = std::filesystem;
using wdrx::testing::readFile;
using wdrx::testing::shownPath;
using wdrx::testing::writeFile;

namespace {
class ScanReportFiles : public ::testing::Test, public livery_test::LiveryTest {};
}  // namespace

TEST_F(ScanReportFiles, NoProblemsWritesNoErrorFiles) {
  fs::create_directories("output/info");
  lf_writeScanErrors();
  EXPECT_EQ(logText(), "\nNo errors\n\nInformation:\n");
  EXPECT_FALSE(fs::exists("output/errors"));
}

// Any of the five error lists gives the "Errors:" heading (Fixes.txt too, whose list lives for
// the process); files without sections are information only and make no errors folder.
TEST_F(ScanReportFiles, EachErrorListGivesTheErrorsHeading) {
  fs::create_directories("output/info");
  const std::pair<const char*, std::function<void()>> rows[] = {
      {"\nErrors:", [] { invalidAirlineCodes.lines = {"x"}; }},
      {"\nErrors:", [] { invalidAircraftCodes.lines = {"x"}; }},
      {"\nErrors:", [] { modelFixes.lines = {"x"}; }},
      {"\nErrors:", [] { invalidCfgFiles.lines = {"x"}; }},
      {"\nErrors:", [] { incompleteSections.lines = {"x"}; }},
      {"\nNo errors", [] { cfgFilesWithoutSections.lines = {"x"}; }},
  };
  for (const auto& [heading, fill] : rows) {
    fs::remove_all("output/errors");
    fill();
    const std::size_t before = logText().size();
    lf_writeScanErrors();
    EXPECT_TRUE(logText().substr(before).starts_with(std::string(heading) + "\n")) << logText().substr(before);
    EXPECT_EQ(fs::exists("output/errors"), std::string(heading) == "\nErrors:") << logText().substr(before);
    lf_clearScanLists();
    modelFixes.lines.clear();
  }
}

TEST_F(ScanReportFiles, FilesByteForByteAndCountLines) {
  fs::create_directories("output/info");
  invalidAirlineCodes.lines = {"XYZ          in b.cfg [fltsim.1]", "ABC          in a.cfg [fltsim.0]"};
  invalidAircraftCodes.lines = {"Q1               in a.cfg"};
  modelFixes.lines = {"Model fix: Z found in z.cfg changed into A320", "Model fix: B73H found in a.cfg changed into B738"};
  invalidCfgFiles.lines = {"Line atc_model= is missing in [General] section of c.cfg"};
  incompleteSections.lines = {"b x misses title", "a y misses title", "b x misses title"};
  cfgFilesWithoutSections.lines = {"z.cfg", "d.cfg"};
  lf_writeScanErrors();
  EXPECT_EQ(readFile(scanFiles::invalidAirlineCodes),
            "ABC          in a.cfg [fltsim.0]\nXYZ          in b.cfg [fltsim.1]\n");
  EXPECT_EQ(readFile(scanFiles::invalidAircraftCodes), "Q1               in a.cfg\n");
  EXPECT_EQ(readFile(scanFiles::fixes),
            "Model fix: Z found in z.cfg changed into A320\nModel fix: B73H found in a.cfg changed into B738\n");
  EXPECT_EQ(readFile(scanFiles::invalidCfgFiles), "Line atc_model= is missing in [General] section of c.cfg\n");
  EXPECT_EQ(readFile(scanFiles::incompleteSections), "a y misses title\nb x misses title\n");
  EXPECT_EQ(readFile(scanFiles::noFltsimSection), "d.cfg\nz.cfg\n");
  EXPECT_EQ(logText(),
            "\nErrors:\n"
            "    2 invalid airline codes, see " + shownPath("output/errors/InvalidAirlineCodes.txt") + "\n"
            "    1 invalid model code, see " + shownPath("output/errors/InvalidAircraftCodes.txt") + "\n"
            "    2 fixes, see " + shownPath("output/errors/Fixes.txt") + "\n"
            "    1 invalid aircraft.cfg files, see " + shownPath("output/errors/InvalidAircraftCfgFiles.txt") + "\n"
            "    3 incomplete [fltsim.x] sections, see " + shownPath("output/errors/IncompleFltsimSections.txt") + "\n"
            "\nInformation:\n"
            "    2 empty aircraft.cfg files, see " + shownPath("output/info/AircraftCfgWithNoFltsimSection.txt") + "\n");

  lf_clearScanLists();
  EXPECT_TRUE(invalidAirlineCodes.lines.empty() && invalidAircraftCodes.lines.empty() && invalidCfgFiles.lines.empty() &&
              incompleteSections.lines.empty() && cfgFilesWithoutSections.lines.empty());
  EXPECT_EQ(modelFixes.lines.size(), 2u);  // kept for the whole process
}

TEST_F(ScanReportFiles, FixesAccumulateOverTwoScans) {
  livery_test::writeAircraft("lib/a", livery_test::cfgText("B73H", {livery_test::section(0, "A", "BAW")}));
  lfolder0.value.store("lib");
  ASSERT_TRUE(gf_scanLiveries());
  const std::string line = "Model fix: B73H found in " + shownPath("lib/a/aircraft.cfg") + " changed into B738\n";
  EXPECT_EQ(readFile(scanFiles::fixes), line);
  SCAN_LIVERIES.value = true;
  ASSERT_TRUE(gf_scanLiveries());
  EXPECT_EQ(readFile(scanFiles::fixes), line + line);
}

TEST_F(ScanReportFiles, RemovalOfThePreviousScan) {
  for (const fs::path* file : {&scanFiles::noFltsimSection, &liveriesScannedFile, &scanFiles::inlineRegcodes,
                               &scanFiles::invalidAirlineCodes, &scanFiles::fixes, &scanFiles::incompleteSections})
    writeFile(*file, "old\n");
  writeFile("output/info/OfflineRegcodes.txt", "kept\n");
  lf_removeScanFiles();
  EXPECT_FALSE(fs::exists("output/errors"));
  EXPECT_FALSE(fs::exists(liveriesScannedFile));
  EXPECT_FALSE(fs::exists(scanFiles::noFltsimSection));
  EXPECT_TRUE(fs::exists("output/info/OfflineRegcodes.txt"));

  // A file of the user's own keeps the errors folder; the scan goes on.
  writeFile(scanFiles::fixes, "old\n");
  writeFile("output/errors/mine.txt", "mine\n");
  lf_removeScanFiles();
  EXPECT_FALSE(fs::exists(scanFiles::fixes));
  EXPECT_TRUE(fs::exists("output/errors/mine.txt"));
  EXPECT_NE(logText().find("problems with removing previous files: "), std::string::npos);
}

TEST_F(ScanReportFiles, ReportFileThatCannotBeWrittenIsSkipped) {
  fs::create_directories("output/info");
  fs::create_directories(scanFiles::invalidAirlineCodes);  // in the way, like a file another program holds
  invalidAirlineCodes.lines = {"XYZ          in b.cfg [fltsim.1]"};
  incompleteSections.lines = {"a y misses title"};
  lf_writeScanErrors();
  EXPECT_EQ(readFile(scanFiles::incompleteSections), "a y misses title\n");
  const std::string logged = logText();
  const std::string file = shownPath("output/errors/InvalidAirlineCodes.txt");
  EXPECT_NE(logged.find("==> lf_writeListToFile: " + file + " not written: "), std::string::npos);
  EXPECT_NE(logged.find("    1 invalid airline code, see " + file + "\n"), std::string::npos);
}

TEST_F(ScanReportFiles, ScanEmptiesItsListsAndTheDontUseTitles) {
  livery_test::writeAircraft("lib/a", livery_test::cfgText("B738", {livery_test::section(0, "A", "baw")}));
  writeFile("input/my_regcodes/mine.txt", "Never this one\n");
  lfolder0.value.store("lib");
  ASSERT_TRUE(gf_scanLiveries());
  EXPECT_TRUE(dontUseTitles.empty());
  EXPECT_EQ(lf_claimedTitleCount(), 0u);
  EXPECT_TRUE(invalidAirlineCodes.lines.empty());
  EXPECT_EQ(readFile(scanFiles::invalidAirlineCodes), "baw          in " + shownPath("lib/a/aircraft.cfg") + " [fltsim.0]\n");
  EXPECT_NE(logText().find("    1 don't use title read from files in " + shownPath("input/my_regcodes") + "\n"),
            std::string::npos);
}

TEST_F(ScanReportFiles, DecryptedRegcodesNeverStayBehind) {
  livery_test::writeAircraft("lib/a", livery_test::cfgText("B738", {livery_test::section(0, "Wanted", "BAW"),
                                                                    livery_test::section(1, "Unwanted", "BAW")}));
  lfolder0.value.store("lib");
  struct Row {
    const char* name;
    std::string xml;
    std::vector<std::string> cached;
  };
  const std::string meta = "<meta><info name=\"copyright\" value=\"c\"/><info name=\"sim\" value=\"3\"/></meta>";
  const Row rows[] = {
      {"good file", "<root>" + meta + "<aig><l t=\"Unwanted\"/></aig></root>", {"Wanted"}},
      {"broken file", "<root>" + meta + "<aig><l t=\"Unwanted\"/>", {"Unwanted", "Wanted"}},
  };
  for (const Row& row : rows) {
    writeFile("input/AIG-regcodes.enc", wdrx::encrypt::encryptText(row.xml));
    SCAN_LIVERIES.value = true;
    ASSERT_TRUE(gf_scanLiveries()) << row.name;
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.xml")) << row.name;
    lf_readLiveriesScanned();
    std::vector<std::string> titles;
    for (const LiveryData& l : scannedLiveries) titles.push_back(l.title);
    EXPECT_EQ(titles, row.cached) << row.name;
  }
}
