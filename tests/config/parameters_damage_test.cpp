// parameters.xml that cannot be used or written: the user's file is never lost or overwritten.
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config_fixture.hpp"
#include "foundation/paths.hpp"
#include "platform/shell.hpp"

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {

class DamagedParameters : public ConfigTest {
 protected:
  void SetUp() override {
    ConfigTest::SetUp();
    platform::setMessageBoxHandler([this](const std::string& text, const std::string&) {
      std::lock_guard lock(mutex);
      boxes.push_back(text);
    });
  }
  void TearDown() override {
    platform::setMessageBoxHandler(nullptr);
    fs::permissions(parametersFile, fs::perms::owner_write, fs::perm_options::add, ignored);
    ConfigTest::TearDown();
  }
  std::vector<std::string> shownBoxes() {
    std::lock_guard lock(mutex);
    return boxes;
  }
  // Files of the data folder other than parameters.xml.
  std::vector<fs::path> asideFiles() {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dataFolder))
      if (entry.path().filename() != "parameters.xml") found.push_back(entry.path());
    return found;
  }

  std::mutex mutex;
  std::vector<std::string> boxes;
  std::error_code ignored;
};

const struct {
  const char* name;
  std::string content;
} damagedFiles[] = {
    {"Truncated", "<root><parameters><parameter name=\"RANGE\" value=\"65\"/><param"},
    {"Binary", std::string("\x00\x01\xFF\xFE garbage \x80\x81", 16)},
    {"Empty", ""},
    {"NoParameters", "<root><other/></root>"},
};

TEST_F(DamagedParameters, ReadingMovesTheFileAsideBeforeWritingDefaults) {
  for (const auto& damaged : damagedFiles) {
    SCOPED_TRACE(damaged.name);
    fs::remove_all(dataFolder);
    fs::create_directories(dataFolder);
    boxes.clear();
    wdrx::testing::writeFile(parametersFile, damaged.content);

    EXPECT_TRUE(gf_readParameters());
    const auto aside = asideFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(wdrx::testing::readFile(aside[0]), damaged.content);
    EXPECT_THAT(aside[0].filename().string(), ::testing::StartsWith("parameters.unreadable-"));
    EXPECT_EQ(aside[0].extension(), ".xml");
    EXPECT_EQ(fileNames(), expectedFullWriteNames());  // a new file with every setting
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_THAT(shownBoxes()[0], HasSubstr(aside[0].filename().string()));
  }
  EXPECT_THAT(logText(), HasSubstr("==> " + parametersFile.string() + " could not be read ("));
}

TEST_F(DamagedParameters, ASingleSaveMovesTheFileAsideToo) {
  wdrx::testing::writeFile(parametersFile, damagedFiles[0].content);
  MATCHING_DEPTH.value.store(2);
  gf_saveIntParameter(MATCHING_DEPTH);
  ASSERT_EQ(asideFiles().size(), 1u);
  EXPECT_EQ(wdrx::testing::readFile(asideFiles()[0]), damagedFiles[0].content);
  EXPECT_EQ(fileParameters(), (Entries{{"MATCHING_DEPTH", "2"}}));
  EXPECT_EQ(shownBoxes().size(), 1u);
  // A second damaged file the same second gets a name of its own.
  wdrx::testing::writeFile(parametersFile, "<root>");
  gf_saveIntParameter(MATCHING_DEPTH);
  EXPECT_EQ(asideFiles().size(), 2u);
  MATCHING_DEPTH.value.store(MATCHING_DEPTH.defaultValue);
}

// A folder in the file's place is never handed to the XML parser (it would ask for 2^63 bytes)
// nor moved: it is reported once, the run takes the defaults, and saves fail, logged.
TEST_F(DamagedParameters, AFolderInTheFilesPlaceIsReportedAndLeftAsItIs) {
  wdrx::testing::writeFile(parametersFile / "inside.txt", "kept");
  EXPECT_TRUE(gf_readParameters());
  RANGE.value.store(80);
  gf_saveIntParameter(RANGE);
  gf_writeParameters(false);

  EXPECT_EQ(wdrx::testing::readFile(parametersFile / "inside.txt"), "kept");
  EXPECT_TRUE(asideFiles().empty());
  ASSERT_EQ(shownBoxes().size(), 1u);
  EXPECT_EQ(shownBoxes()[0], parametersFile.string() +
                                 " could not be read (it is a folder): Wendrix_P3D runs with "
                                 "default settings and saves none until it is removed.");
  EXPECT_EQ(WEEK.value.load(), WEEK.defaultValue);
  EXPECT_THAT(logText(), HasSubstr("==> saving: " + parametersFile.string() + " failed\n"));
  RANGE.value.store(RANGE.defaultValue);
}

TEST_F(DamagedParameters, AReadOnlyFileStaysAsItIs) {
  writeParametersFile({{"RANGE", "65"}, {"WEEK", "true"}});
  const std::string before = wdrx::testing::readFile(parametersFile);
  fs::permissions(parametersFile, fs::perms::owner_read | fs::perms::group_read);

  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(RANGE.value.load(), 65);  // read as usual
  gf_writeParameters(false);
  RANGE.value.store(80);
  gf_saveIntParameter(RANGE);

  EXPECT_EQ(wdrx::testing::readFile(parametersFile), before);
  EXPECT_EQ(fs::status(parametersFile).permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_TRUE(asideFiles().empty());  // no temporary left behind
  EXPECT_TRUE(shownBoxes().empty());
  const std::string log = logText();
  EXPECT_THAT(log, HasSubstr("==> saving: " + parametersFile.string() + " failed\n"
                             "          the file is read-only: RANGE=80 not saved\n"));
  EXPECT_THAT(log, Not(HasSubstr("\nRANGE=80\n")));  // never logged as saved
  RANGE.value.store(RANGE.defaultValue);
  WEEK.value.store(WEEK.defaultValue);
}

}  // namespace
