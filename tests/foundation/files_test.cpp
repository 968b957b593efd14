#include "foundation/files.hpp"

#include <gtest/gtest.h>
#include <gsl/narrow>

#include <limits>

#include "foundation/paths.hpp"
#include "platform/shell.hpp"
#include "support/log_capture.hpp"
#include "support/env.hpp"

using wdrx::testing::readFile;
using wdrx::testing::TempDir;
using wdrx::testing::writeFile;
namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::setShellOpenHandler(nullptr);
    platform::setMessageBoxHandler(nullptr);
  }
  TempDir dir;
  wdrx::testing::LogCapture log;
};

TEST_F(FilesTest, RemoveFileAndFolderCleaning) {
  writeFile("f.txt", "x");
  gf_removeFile("f.txt");
  EXPECT_FALSE(fs::exists("f.txt"));
  gf_removeFile("never-there.txt");  // silent

  writeFile("work/a.xml", "1");
  writeFile("work/b.XML", "2");
  writeFile("work/c.txt", "3");
  writeFile("work/sub/d.xml", "4");
  fs::create_directory("work/dir.xml");
  writeFile("work/e.xmlx", "5");
  gf_removeXMLFilesFromDirectory("work");
  EXPECT_FALSE(fs::exists("work/a.xml"));
  EXPECT_FALSE(fs::exists("work/b.XML"));
  EXPECT_TRUE(fs::exists("work/c.txt"));
  EXPECT_TRUE(fs::exists("work/sub/d.xml"));
  EXPECT_TRUE(fs::exists("work/dir.xml"));
  EXPECT_TRUE(fs::exists("work/e.xmlx"));
  gf_removeFilesFromDirectory("work");
  EXPECT_FALSE(fs::exists("work/c.txt"));
  EXPECT_TRUE(fs::exists("work/sub/d.xml"));

  gf_removeFilesFromDirectory("missing-folder");
  gf_removeFilesFromDirectory("work/sub/d.xml");  // not a folder
  EXPECT_EQ(log.text(), "");
}

TEST_F(FilesTest, AFolderWhoseStatusFailsIsLoggedNotTakenForMissing) {
  fs::create_symlink("loop", "loop");  // its status fails: logged, not taken for "missing"
  gf_removeXMLFilesFromDirectory("loop");
  EXPECT_TRUE(log.text().starts_with("==> gf_removeXMLFilesFromDirectory exception: ")) << log.text();
}

// A decrypted file in a folder that cannot be searched may still be there: said, not passed over.
TEST_F(FilesTest, RemovalWhoseExistenceTestFailsIsLogged) {
  fs::create_symlink("loop", "loop");  // any look into it fails, also for root
  gf_removeFile("loop/plain.xml");
  EXPECT_TRUE(log.text().starts_with("==> Warning: could not remove loop/plain.xml, errorcode: "))
      << log.text();
}

TEST_F(FilesTest, CountFolderEntries) {
  EXPECT_EQ(gf_countFolderEntries("none"), 0);
  writeFile("c/a.txt", "");
  writeFile("c/sub/b.txt", "");
  EXPECT_EQ(gf_countFolderEntries("c"), 2);
  EXPECT_THROW(gf_countFolderEntries("c/a.txt"), fs::filesystem_error);
}

TEST_F(FilesTest, OneGenerationGoesBeforeTheFileNamesExtension) {
  writeFile("parameters.xml", "p");
  EXPECT_TRUE(gf_save1GenerationOf("parameters.xml"));
  EXPECT_EQ(readFile("parameters0.xml"), "p");

  // A dot in the folder name stays untouched; a name without extension gets "0" appended.
  writeFile("v1.2/notes", "n");
  EXPECT_TRUE(gf_save1GenerationOf("v1.2/notes"));
  EXPECT_EQ(readFile("v1.2/notes0"), "n");
  EXPECT_FALSE(fs::exists("v10.2/notes"));

  EXPECT_TRUE(gf_save1GenerationOf("absent.xml"));  // nothing to copy is no failure
  EXPECT_FALSE(fs::exists("absent0.xml"));
}

TEST_F(FilesTest, ThreeGenerations) {
  writeFile("a.txt", "new");
  EXPECT_TRUE(gf_saveUpto3GenerationsOf("a.txt"));
  EXPECT_EQ(readFile("a0.txt"), "new");
  EXPECT_FALSE(fs::exists("a00.txt"));
  EXPECT_FALSE(fs::exists("a000.txt"));

  writeFile("a.txt", "3");
  writeFile("a0.txt", "2");
  writeFile("a00.txt", "1");
  writeFile("a000.txt", "0");
  EXPECT_TRUE(gf_saveUpto3GenerationsOf("a.txt"));
  EXPECT_EQ(readFile("a000.txt"), "1");
  EXPECT_EQ(readFile("a00.txt"), "2");
  EXPECT_EQ(readFile("a0.txt"), "3");
  EXPECT_EQ(readFile("a.txt"), "3");

  writeFile("v.d/plain", "x");
  EXPECT_TRUE(gf_saveUpto3GenerationsOf("v.d/plain"));
  EXPECT_EQ(readFile("v.d/plain0"), "x");
}

TEST_F(FilesTest, FailedCopyIsLoggedAndReported) {
  writeFile("b.txt", "b");
  fs::create_directory("b0.txt");  // a folder in the way of the copy
  EXPECT_FALSE(gf_save1GenerationOf("b.txt"));
  EXPECT_TRUE(log.text().starts_with("==> copy b.txt -> b0.txt failed: ")) << log.text();
}

TEST_F(FilesTest, ThirdpartyListingSkipsOddNames) {
  EXPECT_TRUE(gf_listMyThirdpartyXmlFiles().empty());  // no folder
  const fs::path folder = paths::airportsFolder / "my_thirdparty";
  writeFile(folder / "eddf.xml", "");
  writeFile(folder / "EGLL.XML", "");
  writeFile(folder / "KJ-K.xml", "");  // not a code: skipped and logged
  writeFile(folder / "LSZHX.xml", "");
  writeFile(folder / "LFPG.txt", "");
  fs::create_directories(folder / "EHAM.xml");
  auto codes = gf_listMyThirdpartyXmlFiles();
  std::sort(codes.begin(), codes.end());
  ASSERT_EQ(codes.size(), 2u);
  EXPECT_EQ(codes[0], IcaoCode("EDDF"));
  EXPECT_EQ(codes[1], IcaoCode("EGLL"));
  EXPECT_EQ(log.text(),
            "==> gf_listMyThirdpartyXmlFiles exception: 'KJ-K' FixedCode: invalid string "
            "(length/charset)\n");
}

TEST_F(FilesTest, ShellOpenAndMessageBoxes) {
  std::vector<fs::path> opened;
  bool shellWorks = true;
  platform::setShellOpenHandler([&](const fs::path& folder) {
    opened.push_back(folder);
    return shellWorks;
  });
  std::vector<std::pair<std::string, std::string>> boxes;
  platform::setMessageBoxHandler(
      [&](const std::string& text, const std::string& caption) { boxes.emplace_back(text, caption); });

  EXPECT_FALSE(gf_openContainingFolder(dir / "missing.txt"));
  EXPECT_TRUE(opened.empty());
  writeFile(dir / "sub/file.txt", "");
  EXPECT_TRUE(gf_openContainingFolder(dir / "sub/file.txt"));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], dir / "sub");

  writeFile(parametersFile, "<root/>");
  EXPECT_TRUE(gf_openParametersFolder());
  EXPECT_EQ(opened.back(), parametersFile.parent_path());
  shellWorks = false;
  EXPECT_FALSE(gf_openParametersFolder());
  EXPECT_FALSE(gf_openManualFolder());  // docs/Manual.pdf does not exist
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], (std::pair<std::string, std::string>{"Could not open folder with parameters.xml", "WDRX"}));
  EXPECT_EQ(boxes[1], (std::pair<std::string, std::string>{"Could not open local folder with Manual", "WDRX"}));
}

TEST_F(FilesTest, RealShellOpenFailsForAMissingFolder) {
  EXPECT_FALSE(platform::shellOpenFolder(dir / "no-such-folder"));
}

TEST_F(FilesTest, NewVersionNoticeOutsideProgramFiles) {
  EXPECT_EQ(gf_newVersionNotice(dir.path()),
            "A new version is available.\nThe installer can be executed normally (no "
            "Administrator rights required).");
  EXPECT_FALSE(fs::exists(dir / ".write_test.tmp"));
}

TEST_F(FilesTest, AppDataPathFollowsTheEnvironment) {
  EXPECT_EQ(gf_appDataPath(), dir / "home" / ".config");
  wdrx::testing::unsetEnv("XDG_CONFIG_HOME");
  EXPECT_EQ(gf_appDataPath(), dir / "home" / ".config");
  wdrx::testing::setEnv("XDG_CONFIG_HOME", "relative/ignored");
  EXPECT_EQ(gf_appDataPath(), dir / "home" / ".config");
  wdrx::testing::setEnvPath("XDG_CONFIG_HOME", dir / "cfg");
  EXPECT_EQ(gf_appDataPath(), dir / "cfg");
}

TEST(WsaErrorText, CodeBlankAndMessage) {
  const std::pair<int, const char*> samples[] = {
      {10004, "Interrupted system call"},  {10040, "Messenger too long"},
      {10054, "Connection reset by peer"}, {10058, "Can't send numLines socket shutdown"},
      {10101, "Graceful shutdown in progress"}, {11004, "No host data of that type was found"},
      {0, "Unknown errror code"},          {10005, "Unknown errror code"},
  };
  for (const auto& [code, text] : samples) {
    EXPECT_EQ(gf_wsaErrorText(code), std::to_string(code) + " " + text);
  }
}

TEST(NumberTexts, PercentOneDecimalPlural) {
  EXPECT_EQ(gf_percent(1, 3), 33);
  EXPECT_EQ(gf_percent(2, 3), 67);
  EXPECT_EQ(gf_percent(1, 8), 13);    // 12.5 rounds away from zero
  EXPECT_EQ(gf_percent(-1, 8), -13);
  EXPECT_EQ(gf_percent(5, 0), 0);
  EXPECT_EQ(gf_percent(5, -2), 0);
  EXPECT_EQ(gf_percent(std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max()), 100);
  EXPECT_THROW(gf_percent(std::int64_t{1} << 40, 1), gsl::narrowing_error);

  EXPECT_EQ(gf_formatOneDecimal(3.0f), "3");
  EXPECT_EQ(gf_formatOneDecimal(2.5f), "2.5");
  EXPECT_EQ(gf_formatOneDecimal(-0.25f), "-0.2");
  EXPECT_EQ(gf_formatOneDecimal(24.0f), "24");

  EXPECT_EQ(gf_plural(1), "");
  EXPECT_EQ(gf_plural(0), "s");
  EXPECT_EQ(gf_plural(2), "s");
  EXPECT_EQ(gf_plural(-3), "");
  EXPECT_EQ(gf_pluralInt(1), "");
  EXPECT_EQ(gf_pluralInt(15), "s");
  EXPECT_EQ(gf_pluralInt(-1), "");
  EXPECT_EQ(gf_pluralSize(1), "");
  EXPECT_EQ(gf_pluralSize(0), "s");
}

TEST(AircraftFilter, TypesAndCategories) {
  struct Case {
    const char* type;
    const char* category;
    bool aircraft;
  };
  const Case cases[] = {
      {"A320", "A3", true}, {"B738", "", true},  {"BALL", "A1", false}, {"A320", "C1", false},
      {"A320", "B1", false}, {"A320", "B2", false}, {"A320", "B4", false}, {"A320", "C2", false},
      {"A320", "B3", true}, {"ABCDE", "A1", false}, {"", "A1", false},   {"null", "A1", false},
      {"GND", "", false},   {"GRND", "", false},   {"SHIP", "", false},  {"VENT", "", false},
      {"H60", "A7", true},
  };
  for (const auto& c : cases) EXPECT_EQ(gf_isAircraft(c.type, c.category), c.aircraft) << c.type << "/" << c.category;
  EXPECT_TRUE(lf_isNonAircraftType("GLID"));
  EXPECT_TRUE(lf_isNonAircraftType("LONGER"));
  EXPECT_FALSE(lf_isNonAircraftType("C172"));
}

}  // namespace
