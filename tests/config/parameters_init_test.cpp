#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config_fixture.hpp"
#include "foundation/hooks.hpp"
#include "foundation/paths.hpp"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const char* const updateText = "This is a version update from";
const char* const tooOldText =
    "\nYour previous version was too old to convert the old text box parameters to the "
    "newdropbox values.\nWendrix_P3D re-starts with default parameter values ...\n\n";
const std::filesystem::path dataFiles[] = {paths::airportsEnc, paths::regcodesEnc, paths::dbaseEnc};

void writeDataFiles() {
  for (const auto& file : dataFiles) wdrx::testing::writeFile(file, "x");
  wdrx::testing::writeFile("new_version/Wendrix_P3D.exe", "x");
}

// How many of the three data files exist.
int dataFileCount() {
  int count = 0;
  for (const auto& file : dataFiles) count += std::filesystem::exists(file) ? 1 : 0;
  return count;
}

}  // namespace

TEST_F(ConfigTest, FirstStartWritesDefaultsAndSwitchesTheScansOn) {
  SCAN_LIVERIES.value.store(false);  // whatever memory held, the scans are due
  SCAN_AIRPORTS.value.store(false);
  writeDataFiles();
  gf_initParameters();
  EXPECT_TRUE(SCAN_LIVERIES.value.load());
  EXPECT_TRUE(SCAN_AIRPORTS.value.load());
  EXPECT_EQ(fileValue("SCAN_LIVERIES"), "true");
  EXPECT_EQ(fileValue("SCAN_AIRPORTS"), "true");
  EXPECT_EQ(fileParameters().size(), 66u);
  EXPECT_EQ(fileValue("PROGRAM_VERSION"), "12.5.4");
  EXPECT_TRUE(view.saw("check 32798 1"));
  EXPECT_TRUE(view.saw("check 32802 1"));
  EXPECT_EQ(dataFileCount(), 3);
  EXPECT_TRUE(std::filesystem::exists("new_version"));
  EXPECT_THAT(logText(), Not(HasSubstr(updateText)));
}

struct VersionCase {
  const char* name;
  std::optional<std::string> stored;  // PROGRAM_VERSION in the file; none: no element
  bool updateMessage;
  bool dataFilesRemoved;
  bool newVersionRemoved;
  bool resetToDefaults;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class VersionConversion : public ConfigTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionConversion, ActsOnTheFiles) {
  const VersionCase& c = GetParam();
  Entries entries{{"RANGE", "65"}, {"PORT_NUMBER", "4000"}};
  if (c.stored) entries.emplace_back("PROGRAM_VERSION", *c.stored);
  writeParametersFile(entries);
  writeDataFiles();

  gf_initParameters();

  EXPECT_EQ(PROGRAM_VERSION.value.load(), "12.5.4");
  EXPECT_EQ(fileValue("PROGRAM_VERSION"), "12.5.4");
  EXPECT_EQ(RANGE.value.load(), 65);  // memory keeps what was read in every case
  EXPECT_EQ(fileValue("RANGE"), c.resetToDefaults ? "40" : "65");
  EXPECT_EQ(fileValue("PORT_NUMBER"), c.resetToDefaults ? "10747" : "4000");
  // Read back: every key once; a full write holds AIRP_HEIGHT twice.
  EXPECT_EQ(fileParameters().size(), c.resetToDefaults ? 66u : 65u);
  EXPECT_EQ(dataFileCount(), c.dataFilesRemoved ? 0 : 3);
  EXPECT_EQ(std::filesystem::exists("new_version"), !c.newVersionRemoved);

  const std::string log = logText();
  EXPECT_EQ(log.find(updateText) != std::string::npos, c.updateMessage);
  if (c.updateMessage) {
    EXPECT_THAT(log, HasSubstr(std::string(updateText) + " " + *c.stored + " -> 12.5.4\n"));
  }
  EXPECT_EQ(log.find(tooOldText) != std::string::npos, c.resetToDefaults);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VersionConversion,
    ::testing::Values(VersionCase{"NoVersionElement", std::nullopt, false, false, false, false},
                      VersionCase{"EmptyVersion", "", false, false, false, false},
                      VersionCase{"SameVersion", "12.5.4", false, false, false, false},
                      VersionCase{"Downgrade", "13.0.0", false, false, false, false},
                      VersionCase{"PatchUpdate", "12.5.3", true, false, true, false},
                      VersionCase{"From12_0_0", "12.0.0", true, false, true, false},
                      VersionCase{"From11_9", "11.9.0", true, true, true, false},
                      VersionCase{"From11_0_2", "11.0.2", true, true, true, false},
                      VersionCase{"From11_0_1", "11.0.1", true, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A PROGRAM_VERSION that is no version text says nothing about the file's age: the user's
// settings and the data files stay, and the file is taken as current.
TEST_F(ConfigTest, UnreadableVersionTextKeepsSettingsAndDataFiles) {
  for (const char* text : {"garbage", "12.5", "0.0.0"}) {
    writeParametersFile({{"RANGE", "65"}, {"PROGRAM_VERSION", text}});
    writeDataFiles();
    gf_initParameters();
    EXPECT_EQ(fileValue("RANGE"), "65") << text;
    EXPECT_EQ(fileValue("PROGRAM_VERSION"), "12.5.4") << text;
    EXPECT_EQ(dataFileCount(), 3) << text;
    EXPECT_TRUE(std::filesystem::exists("new_version")) << text;
  }
  const std::string log = logText();
  EXPECT_THAT(log, HasSubstr("gf_checkParametersVersion: PROGRAM_VERSION \"garbage\" is not a "
                             "version, taken as 12.5.4"));
  EXPECT_THAT(log, Not(HasSubstr("Your previous version")));
  EXPECT_THAT(log, Not(HasSubstr(updateText)));
}

// After a reset in this process the default is the program's version, so a stored text equal
// to it takes the first step and nothing else happens.
TEST_F(ConfigTest, SecondRunAfterResetIsQuiet) {
  writeParametersFile({{"PROGRAM_VERSION", "11.0.1"}});
  gf_initParameters();
  writeDataFiles();
  gf_initParameters();
  EXPECT_EQ(dataFileCount(), 3);
  const std::string log = logText();
  EXPECT_EQ(log.find("Your previous version"), log.rfind("Your previous version"));
}

// A failed existence test or removal passes out, naming the step and the path.
TEST_F(ConfigTest, UnreadableDataFolderFailsNamingTheStep) {
  writeParametersFile({{"PROGRAM_VERSION", "11.9.0"}});
  std::filesystem::create_directory_symlink("input", "input");  // a loop: its status fails
  try {
    gf_initParameters();
    ADD_FAILURE() << "no error";
  } catch (const std::filesystem::filesystem_error& e) {
    EXPECT_THAT(e.what(), HasSubstr("exists"));
    EXPECT_EQ(e.path1(), paths::airportsEnc);
  }
}

TEST(SettingsHooks, TheFoundationsRandomChoicesFollowRandom) {
  for (bool on : {false, true}) {
    RANDOM.value.store(on);
    EXPECT_EQ(gf_randomOn(), on);
  }
}
