#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config_fixture.hpp"
#include "foundation/paths.hpp"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::vector<std::string> names(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::vector<std::string> result;
  for (const auto& entry : entries) result.push_back(entry.first);
  return result;
}

}  // namespace

TEST(SettingsCatalogue, ListsAndBoundsAreAsRegistered) {
  EXPECT_EQ(boolParameters.size() + checkBoxParameters.size() + intParameters.size() +
                comboBoxParameters.size() + stringParameters.size() + editParameters.size(),
            66u);
  EXPECT_EQ(RANGE.minValue, 2);
  EXPECT_EQ(RANGE.maxValue, 100);
  EXPECT_EQ(AR_ABOVE_HEIGHT.allowedValues.size(), 11u);
  EXPECT_EQ(AIRP_HEIGHT.allowedValues.size(), 11u);
  EXPECT_EQ(AIRP_HEIGHT.allowedValues.back(), 48000);
  EXPECT_EQ(parking_percentage.allowedValues.size(), 21u);
  EXPECT_EQ(AMAX_FIT_FL.allowedValues.size(), 20u);
  EXPECT_EQ(AMAX_FIT_FL.maxValue, 24.0f);
  EXPECT_EQ(LAST_EPOCH_TIME.name, "LAST_EPOCH_TIME:");
  EXPECT_EQ(rangeNm.load(), 40.0);
  EXPECT_EQ(rangeMeters.load(), 40u * 1852u);
  EXPECT_EQ(CALLSIGN_2_OBJECTID.choices, liveCallsigns);
}

TEST_F(ConfigTest, NewFileHoldsEveryParameterInListOrder) {
  EXPECT_TRUE(gf_readParameters());
  const auto entries = fileParameters();
  EXPECT_EQ(names(entries), expectedFullWriteNames());
  EXPECT_EQ(fileValue("PROGRAM_VERSION"), "12.5.4");
  EXPECT_EQ(fileValue("RANDOM"), "true");
  EXPECT_EQ(fileValue("ALWAYS_ON_TOP"), "false");
  EXPECT_EQ(fileValue("LAST_EPOCH_TIME:"), "0");
  EXPECT_EQ(fileValue("PORT_NUMBER"), "10747");
  EXPECT_EQ(PROGRAM_VERSION.value.load(), "");  // memory keeps its value

  const std::string text = wdrx::testing::readFile(parametersFile);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n"
                       "    <parameter name=\"RANDOM\" value=\"true\" />\n",
                       0),
            0u)
      << text;
  EXPECT_FALSE(std::filesystem::exists(parametersFile.string() + ".tmp"));

  EXPECT_TRUE(view.saw("check 32798 1"));
  EXPECT_TRUE(view.saw("text 32818 40"));
  const std::string log = logText();
  EXPECT_THAT(log, HasSubstr("\n" + std::string(34, '*') + " parameters " +
                             std::string(34, '*') + "\n"));
  EXPECT_THAT(log, HasSubstr("not found, creating new with default values:"));
  EXPECT_THAT(log, HasSubstr("\nRANDOM=true\n"));
  EXPECT_THAT(log, HasSubstr("\nPORT_NUMBER=\"10747\"\n"));
  EXPECT_THAT(log, HasSubstr("\n" + std::string(80, '*') + "\n\n"));
}

TEST_F(ConfigTest, ReadingBoundsIntsKeepsOddComboValuesAndAppendsMissingKeys) {
  writeParametersFile({{"MAX_FIT", "60"},
                       {"CUSTOM_PARKING_PERCENTAGE", "-5"},
                       {"RANGE", "7"},
                       {"MAX_HOLDING_MINUTES", "0"},
                       {"RANDOM", "no"},
                       {"AEROWINX", "Yes"},
                       {"LAST_EPOCH_TIME:", "1234"},
                       {"PORT_NUMBER", "4000"},
                       {"parking_percentage", "55"}});
  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(MAX_FIT.value.load(), 47);
  EXPECT_EQ(CUSTOM_PARKING_PERCENTAGE.value.load(), -1);
  EXPECT_EQ(RANGE.value.load(), 7);
  EXPECT_EQ(MAX_HOLDING_MINUTES.value.load(), 1);
  EXPECT_FALSE(RANDOM.value.load());
  EXPECT_TRUE(AEROWINX.value.load());
  EXPECT_EQ(LAST_EPOCH_TIME.value.load(), 1234);
  EXPECT_EQ(PORT_NUMBER.value.load(), "4000");
  EXPECT_EQ(parking_percentage.value.load(), 30);  // never read from parameters.xml

  // Saved back as read, plus the missing keys with their defaults, AIRP_HEIGHT once.
  const auto entries = fileParameters();
  EXPECT_EQ(fileValue("MAX_HOLDING_MINUTES"), "0");
  EXPECT_EQ(fileValue("MAX_FIT"), "60");
  EXPECT_EQ(fileValue("HELICOPTERS"), "true");
  EXPECT_EQ(fileValue("MATCHING_DEPTH"), "4");
  EXPECT_EQ(entries.size(), 9u + 65u - 8u);  // 8 registered keys were present
  EXPECT_EQ(std::count(entries.begin(), entries.end(),
                       std::pair<std::string, std::string>{"AIRP_HEIGHT", "18000"}),
            1);

  gf_fillParameterComboBox(RANGE);
  const auto calls = view.calls();
  const auto reset = std::find(calls.begin(), calls.end(), "reset 32818");
  ASSERT_NE(reset, calls.end());
  EXPECT_EQ(std::count_if(reset, calls.end(),
                          [](const std::string& c) { return c.rfind("add 32818 ", 0) == 0; }),
            20);
  EXPECT_EQ(std::count_if(reset, calls.end(),
                          [](const std::string& c) { return c.rfind("select 32818", 0) == 0; }),
            0);
  gf_fillParameterComboBox(MATCHING_DEPTH);
  EXPECT_TRUE(view.saw("select 32808 3"));

  const std::string log = logText();
  EXPECT_THAT(log, HasSubstr("from '" + parametersFile.string() + "'\n"));
  for (const char* line : {"\nMAX_FIT=47\n", "\nCUSTOM_PARKING_PERCENTAGE=-1\n", "\nRANGE=7\n",
                           "\nRANDOM=false\n", "\nLAST_EPOCH_TIME:=1234\n",
                           "\nPORT_NUMBER=\"4000\"\n", "\nBLOCK_CALLSIGN=\"\"\n"})
    EXPECT_THAT(log, HasSubstr(line));
  EXPECT_THAT(log, Not(HasSubstr("parking_percentage")));
}

TEST_F(ConfigTest, DuplicatesAndMissingValues) {
  writeParametersFile({{"RANGE", "65"},
                       {"RANGE", "80"},
                       {"WEEK", "<none>"},
                       {"MAX_FIT", "<none>"},
                       {"PORT_NUMBER", "<none>"},
                       {"NAV_LIGHTS_WHILE_PARKED", "<none>"}});
  gf_readParameters();
  EXPECT_EQ(RANGE.value.load(), 65);  // the first one counts
  EXPECT_FALSE(WEEK.value.load());
  EXPECT_EQ(MAX_FIT.value.load(), 0);
  EXPECT_EQ(PORT_NUMBER.value.load(), "");
  EXPECT_FALSE(NAV_LIGHTS_WHILE_PARKED.value.load());

  RANGE.value.store(12);
  gf_saveIntParameter(RANGE);
  PORT_NUMBER.value.store("5000");
  gf_saveStringParameter(PORT_NUMBER);
  int ranges = 0;
  for (const auto& [name, value] : fileParameters()) {
    if (name == "RANGE") {
      EXPECT_EQ(value, "12");
      ++ranges;
    }
  }
  EXPECT_EQ(ranges, 2);
  EXPECT_EQ(fileValue("PORT_NUMBER"), "5000");  // the attribute was added
}

TEST_F(ConfigTest, SingleSaveChangesOneElementOnly) {
  gf_readParameters();  // a full file of defaults
  // The file now differs from memory in several values.
  writeParametersFile([] {
    auto entries = fileParameters();
    for (auto& [name, value] : entries) {
      if (name == "RANGE") value = "65";
      if (name == "lfolder3") value = "D:\\liveries";
      if (name == "WEEK") value = "true";
    }
    return entries;
  }());
  const auto before = fileParameters();

  MATCHING_DEPTH.value.store(2);
  gf_saveIntParameter(MATCHING_DEPTH);
  auto after = fileParameters();
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (after[i].first == "MATCHING_DEPTH") {
      EXPECT_EQ(after[i].second, "2");
    } else {
      EXPECT_EQ(after[i], before[i]);
    }
  }

  // parking_percentage: appended at the end by a single save, never read back.
  parking_percentage.value.store(55);
  gf_saveIntParameter(parking_percentage);
  after = fileParameters();
  EXPECT_EQ(after.back(), (std::pair<std::string, std::string>{"parking_percentage", "55"}));
  parking_percentage.value.store(30);
  gf_readParameters();
  EXPECT_EQ(parking_percentage.value.load(), 30);
  EXPECT_EQ(RANGE.value.load(), 65);
  EXPECT_EQ(logText().find("parking_percentage=55\n") != std::string::npos, true);
}

TEST_F(ConfigTest, SingleSaveWithoutFileStartsANewOne) {
  BLOCK_CALLSIGN.value.store("DLH123");
  gf_saveStringParameter(BLOCK_CALLSIGN);
  const auto entries = fileParameters();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"BLOCK_CALLSIGN", "DLH123"}));
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(parametersFile.c_str()));
  EXPECT_TRUE(document.child("root").child("parameters"));
  EXPECT_THAT(logText(), HasSubstr("\nBLOCK_CALLSIGN=\"DLH123\"\n"));
}

TEST_F(ConfigTest, OldFileWithoutRootIsReadAndRewrittenWithCurrentValues) {
  writeParametersFile({{"RANGE", "65"}, {"MAX_FIT", "60"}, {"PORT_NUMBER", "4000"}}, false);
  gf_readParameters();
  EXPECT_EQ(RANGE.value.load(), 65);
  AUTO_RANGE.value.store(false);
  gf_saveBoolParameter(AUTO_RANGE);

  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(parametersFile.c_str()));
  ASSERT_TRUE(document.child("root").child("parameters"));
  EXPECT_EQ(names(fileParameters()), expectedFullWriteNames());
  EXPECT_EQ(fileValue("AUTO_RANGE"), "false");
  EXPECT_EQ(fileValue("RANGE"), "65");
  EXPECT_EQ(fileValue("MAX_FIT"), "47");  // the current (bounded) value
  EXPECT_THAT(logText(), HasSubstr("\nPlacing a root level around a new parameters.xml to make it "
                                   "100% xml compliance\n"));
}

// A single save before the settings were read must not replace the user's values by defaults.
TEST_F(ConfigTest, PlacingRootBeforeLoadingKeepsTheFileValues) {
  writeParametersFile({{"RANGE", "65"},
                       {"PORT_NUMBER", "4000"},
                       {"WEEK", "true"},
                       {"lfolder0", "C:\\AI"},
                       {"MATCHING_DEPTH", "1"}},
                      false);
  MAIN_WINDOW_X.value.store(123);
  gf_saveIntParameter(MAIN_WINDOW_X);

  EXPECT_EQ(names(fileParameters()), expectedFullWriteNames());
  EXPECT_EQ(fileValue("MAIN_WINDOW_X"), "123");
  EXPECT_EQ(fileValue("RANGE"), "65");
  EXPECT_EQ(fileValue("PORT_NUMBER"), "4000");
  EXPECT_EQ(fileValue("WEEK"), "true");
  EXPECT_EQ(fileValue("lfolder0"), "C:\\AI");
  EXPECT_EQ(fileValue("MATCHING_DEPTH"), "1");
  EXPECT_EQ(fileValue("MAX_FIT"), "47");  // not in the old file: the value in memory
}

TEST_F(ConfigTest, WriteDefaultsLeavesMemoryAlone) {
  RANGE.value.store(65);
  PROGRAM_VERSION.value.store("11.0.0");
  gf_writeParameters(true);
  EXPECT_EQ(fileValue("RANGE"), "40");
  EXPECT_EQ(fileValue("PROGRAM_VERSION"), "12.5.4");
  EXPECT_EQ(RANGE.value.load(), 65);
  EXPECT_EQ(PROGRAM_VERSION.value.load(), "11.0.0");
  gf_writeParameters(false);
  EXPECT_EQ(fileValue("RANGE"), "65");
  EXPECT_EQ(fileValue("PROGRAM_VERSION"), "11.0.0");
}

TEST(XmlParameterOperations, FindAndAppendOnAnyDocument) {
  for (const bool withRoot : {true, false}) {
    pugi::xml_document document;
    pugi::xml_node holder = withRoot ? document.append_child("root") : document;
    pugi::xml_node parameters = holder.append_child("parameters");
    ASSERT_TRUE(gf_appendXmlIntParameter(parameters, "LAST_EPOCH_TIME:", 77));
    ASSERT_TRUE(gf_appendXmlBoolParameter(parameters, "WEEK", true));
    ASSERT_TRUE(gf_appendXmlIntParameter(parameters, "RANGE", 25));
    ASSERT_TRUE(gf_appendXmlIntParameter(parameters, "RANGE", 30));
    parameters.append_child("parameter").append_attribute("name").set_value("BARE");
    auto text = parameters.append_child("parameter");
    ASSERT_TRUE(gf_appendAttribute(text, "name", "DESTINATION"));
    ASSERT_TRUE(lf_setOrAppendAttribute(text, "value", "EDDF"));
    ASSERT_TRUE(lf_setOrAppendAttribute(text, "value", "EDDM"));

    EXPECT_EQ(gf_findXmlIntParameter(document, "LAST_EPOCH_TIME:"), 77);
    EXPECT_EQ(gf_findXmlIntParameter(document, "LAST_EPOCH_TIME"), std::nullopt);
    EXPECT_EQ(gf_findXmlBoolParameter(document, "WEEK"), true);
    EXPECT_EQ(gf_findXmlIntParameter(document, "RANGE"), 25);
    EXPECT_EQ(gf_findXmlIntParameter(document, "range"), std::nullopt);
    EXPECT_EQ(gf_findXmlBoolParameter(document, "BARE"), false);
    EXPECT_EQ(gf_findXmlIntParameter(document, "BARE"), 0);
    EXPECT_EQ(gf_findXmlStringParameter(document, "BARE"), "");
    EXPECT_EQ(gf_findXmlStringParameter(document, "DESTINATION"), "EDDM");
    EXPECT_EQ(gf_findXmlIntParameter(document, "DESTINATION"), 0);
    EXPECT_EQ(std::string(parameters.child("parameter").attribute("value").value()), "77");
  }
  pugi::xml_document empty;
  empty.append_child("root");
  EXPECT_EQ(gf_findXmlIntParameter(empty, "RANGE"), std::nullopt);
}

TEST_F(ConfigTest, RestoreUserSettingsPutsBackAndSavesChangedValues) {
  gf_readParameters();
  MAX_LIVE_SEL.value.store(100);
  RANGE.value.store(65);
  parking_percentage.value.store(35);
  AUTO_RANGE.value.store(false);
  WEEK.value.store(true);
  gf_takeUserSettingsSnapshot();
  userSettingsSnapshot.RANGE = 500;  // out of bounds: stored bounded, passed on as it is

  // An airport file overrides them without saving.
  MAX_LIVE_SEL.value.store(25);
  MAX_FIT.value.store(10);
  RANGE.value.store(20);
  parking_percentage.value.store(50);
  AUTO_RANGE.value.store(true);

  gf_restoreUserSettings();
  EXPECT_EQ(MAX_LIVE_SEL.value.load(), 100);
  EXPECT_EQ(MAX_FIT.value.load(), 47);
  EXPECT_EQ(RANGE.value.load(), 100);
  EXPECT_EQ(parking_percentage.value.load(), 35);
  EXPECT_FALSE(AUTO_RANGE.value.load());
  EXPECT_TRUE(WEEK.value.load());

  EXPECT_EQ(fileValue("MAX_LIVE_SEL"), "100");
  EXPECT_EQ(fileValue("MAX_FIT"), "47");
  EXPECT_EQ(fileValue("RANGE"), "100");
  EXPECT_EQ(fileValue("parking_percentage"), "35");
  EXPECT_EQ(fileValue("AUTO_RANGE"), "false");
  EXPECT_EQ(fileValue("WEEK"), "false");  // equal to the snapshot: left alone, not saved

  for (const char* call : {"select 32849 5", "syncMaxFitCombo", "setRange 500", "select 32850 7",
                           "check 32819 0", "enable 32818 1", "enable 32820 0"})
    EXPECT_TRUE(view.saw(call)) << call;
  EXPECT_FALSE(view.saw("check 32853 1"));
}

TEST_F(ConfigTest, RestoreWithoutWindowUpdatesTheRangeCopies) {
  gf_setSettingsView(nullptr);
  gf_setSettingsFollowUps(nullptr);
  RANGE.value.store(40);
  gf_takeUserSettingsSnapshot();
  RANGE.value.store(10);
  gf_restoreUserSettings();
  EXPECT_EQ(RANGE.value.load(), 40);
  EXPECT_EQ(rangeNm.load(), 40.0);
  EXPECT_EQ(rangeMeters.load(), 40u * 1852u);
}

// The GUI thread and the run thread save at the same time: every save must land, and no
// reader may ever see a truncated file.
TEST_F(ConfigTest, ConcurrentSingleSavesKeepTheFileWhole) {
  gf_readParameters();
  constexpr int rounds = 40;
  std::atomic<bool> done{false};
  std::atomic<int> badReads{0};
  std::thread reader([&] {
    while (!done.load()) {
      pugi::xml_document document;
      if (!document.load_file(parametersFile.c_str()) ||
          document.child("root").child("parameters").select_nodes("parameter").size() < 66)
        ++badReads;
    }
  });
  std::vector<std::thread> savers;
  savers.emplace_back([] {
    for (int i = 1; i <= rounds; ++i) {
      MAIN_WINDOW_X.value.store(i);
      gf_saveIntParameter(MAIN_WINDOW_X);
    }
  });
  savers.emplace_back([] {
    for (int i = 1; i <= rounds; ++i) {
      BLOCK_CALLSIGN.value.store("CS" + std::to_string(i));
      gf_saveStringParameter(BLOCK_CALLSIGN);
    }
  });
  savers.emplace_back([] {
    for (int i = 1; i <= rounds; ++i) {
      WEEK.value.store(i % 2 == 1);
      gf_saveBoolParameter(WEEK);
    }
  });
  savers.emplace_back([] {
    for (int i = 1; i <= rounds; ++i) {
      AIRP_HEIGHT.value.store(i * 100);
      gf_saveIntParameter(AIRP_HEIGHT);
    }
  });
  for (auto& saver : savers) saver.join();
  done.store(true);
  reader.join();

  EXPECT_EQ(badReads.load(), 0);
  EXPECT_EQ(names(fileParameters()), expectedFullWriteNames());
  EXPECT_EQ(fileValue("MAIN_WINDOW_X"), std::to_string(rounds));
  EXPECT_EQ(fileValue("BLOCK_CALLSIGN"), "CS" + std::to_string(rounds));
  EXPECT_EQ(fileValue("WEEK"), "false");
  for (const auto& [name, value] : fileParameters()) {
    if (name == "AIRP_HEIGHT") {
      EXPECT_EQ(value, std::to_string(rounds * 100));
    }
  }
}
