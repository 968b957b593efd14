#include <atomic>
#include <functional>
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

TEST(SettingsCatalogue, ComputedAllowedLists) {
  EXPECT_EQ(AR_ABOVE_HEIGHT.allowedValues, (std::vector<int>{18000, 21000, 24000, 27000, 30000,
                                                             33000, 36000, 39000, 42000, 45000,
                                                             48000}));
  EXPECT_EQ(AIRP_HEIGHT.allowedValues, (std::vector<int>{2000, 4000, 6000, 8000, 10000, 12000,
                                                         14000, 16000, 18000, 36000, 48000}));
  EXPECT_EQ(parking_percentage.allowedValues.size(), 21u);
  EXPECT_EQ(parking_percentage.maxValue, 100);
  ASSERT_EQ(AMAX_FIT_FL.allowedValues.size(), 20u);
  EXPECT_EQ(AMAX_FIT_FL.allowedValues[9], 5.0f);
  EXPECT_EQ(AMAX_FIT_FL.allowedValues[10], 6.0f);
  EXPECT_EQ(AMAX_FIT_FL.indexOf(24.0f), 19);
  EXPECT_EQ(rangeMeters.load(), 40u * 1852u);
  EXPECT_EQ(CALLSIGN_2_OBJECTID.choices, liveCallsigns);
}

// BLOCK_CALLSIGN is typed on the GUI thread and read by the run thread.
TEST(SettingsCatalogue, TextSettingsAreSafeToShare) {
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) BLOCK_CALLSIGN.value.store(std::string(40 + i % 50, 'A' + i % 26));
    done.store(true);
  });
  int torn = 0;
  while (!done.load()) {
    const std::string text = BLOCK_CALLSIGN.value.load();
    torn += text.empty() || text == std::string(text.size(), text.front()) ? 0 : 1;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(ConfigTest, NewFileHoldsEveryParameterInListOrder) {
  EXPECT_TRUE(gf_readParameters());
  EXPECT_EQ(fileParameters(), expectedDefaultEntries());
  EXPECT_EQ(PROGRAM_VERSION.value.load(), "");  // memory keeps its value

  const std::string text = wdrx::testing::readFile(parametersFile);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n"
                       "    <parameter name=\"RANDOM\" value=\"true\" />\n"
                       "    <parameter name=\"ALWAYS_ON_TOP\" value=\"false\" />\n",
                       0),
            0u)
      << text;
  EXPECT_FALSE(std::filesystem::exists(parametersFile.string() + ".tmp"));

  EXPECT_TRUE(view.saw("check 32798 1"));
  EXPECT_TRUE(view.saw("text 32818 40"));
  const std::string log = logText();
  EXPECT_THAT(log, HasSubstr("\n" + std::string(34, '*') + " parameters " +
                             std::string(34, '*') + "\n"));
  EXPECT_THAT(log, HasSubstr(parametersFile.string() +
                             " not found, creating new with default values:\nRANDOM=true\n"));
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
                       {"BLOCK_CALLSIGN", "DLH1"},
                       {"DESTINATION", "EDDF"},
                       {"parking_percentage", "55"}});
  EXPECT_FALSE(gf_readParameters());
  // The edit box shows the value read; DESTINATION, listed with the plain texts, is not shown.
  EXPECT_TRUE(view.saw("text 32828 DLH1"));
  EXPECT_FALSE(view.saw("text 32839 EDDF"));
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
  EXPECT_EQ(fileValue("MATCHING_DEPTH"), "4");
  EXPECT_EQ(entries.size(), 11u + 65u - 10u);  // 10 registered keys were present
  EXPECT_EQ(std::count(entries.begin(), entries.end(), Entries::value_type{"AIRP_HEIGHT", "18000"}), 1);

  // RANGE 7 is no allowed value: the combo box is filled but nothing is selected.
  gf_fillParameterComboBox(RANGE);
  const auto calls = view.calls();
  const auto reset = std::find(calls.begin(), calls.end(), "reset 32818");
  ASSERT_NE(reset, calls.end());
  EXPECT_EQ(std::vector<std::string>(reset + 1, reset + 3), (std::vector<std::string>{"add 32818 2", "add 32818 3"}));
  EXPECT_EQ(calls.end() - reset, 21);
  gf_fillParameterComboBox(MATCHING_DEPTH);
  EXPECT_EQ(view.calls().back(), "select 32808 3");

  const std::string log = logText();
  EXPECT_THAT(log, HasSubstr("from '" + parametersFile.string() + "'\n"));
  for (const char* line : {"\nMAX_FIT=47\n", "\nCUSTOM_PARKING_PERCENTAGE=-1\n", "\nRANGE=7\n",
                           "\nRANDOM=false\n", "\nLAST_EPOCH_TIME:=1234\n", "\nBLOCK_CALLSIGN=\"DLH1\"\n"})
    EXPECT_THAT(log, HasSubstr(line));
  EXPECT_THAT(log, Not(HasSubstr("parking_percentage")));
}

TEST_F(ConfigTest, DuplicatesAndMissingValues) {
  writeParametersFile({{"RANGE", "65"},
                       {"RANGE", "80"},
                       {"MAX_FIT", "<none>"},
                       {"PORT_NUMBER", "<none>"},
                       {"NAV_LIGHTS_WHILE_PARKED", "<none>"}});
  gf_readParameters();
  EXPECT_EQ(RANGE.value.load(), 65);  // the first one counts
  EXPECT_EQ(MAX_FIT.value.load(), 0);
  EXPECT_EQ(PORT_NUMBER.value.load(), "");
  EXPECT_FALSE(NAV_LIGHTS_WHILE_PARKED.value.load());

  RANGE.value.store(12);
  gf_saveIntParameter(RANGE);
  gf_setStringParameter(PORT_NUMBER, "5000");
  const auto entries = fileParameters();
  EXPECT_EQ(std::count(entries.begin(), entries.end(), Entries::value_type{"RANGE", "12"}), 2);
  EXPECT_EQ(fileValue("PORT_NUMBER"), "5000");  // the attribute was added
}

TEST_F(ConfigTest, SingleSaveChangesOneElementOnly) {
  gf_readParameters();  // a full file of defaults
  // The file now differs from memory in several values.
  Entries before = fileParameters();
  for (auto& [name, value] : before) {
    if (name == "RANGE") value = "65";
    if (name == "lfolder3") value = "D:\\liveries";
  }
  writeParametersFile(before);

  MATCHING_DEPTH.value.store(2);
  gf_saveIntParameter(MATCHING_DEPTH);
  for (auto& [name, value] : before)
    if (name == "MATCHING_DEPTH") value = "2";
  EXPECT_EQ(fileParameters(), before);

  // parking_percentage: appended at the end by a single save, never read back.
  parking_percentage.value.store(55);
  gf_saveIntParameter(parking_percentage);
  EXPECT_EQ(fileParameters().back(), (Entries::value_type{"parking_percentage", "55"}));
  parking_percentage.value.store(30);
  gf_readParameters();
  EXPECT_EQ(parking_percentage.value.load(), 30);
  EXPECT_THAT(logText(), HasSubstr("\nparking_percentage=55\n"));
}

TEST_F(ConfigTest, SingleSaveWithoutFileStartsANewOne) {
  gf_setStringParameter(BLOCK_CALLSIGN, "DLH123");
  EXPECT_EQ(fileParameters(), (Entries{{"BLOCK_CALLSIGN", "DLH123"}}));
  EXPECT_THAT(wdrx::testing::readFile(parametersFile), HasSubstr("<root>"));
}

// An old file without root is rewritten whole by the first single save. Before the settings
// were read, the values come from the file, not from the defaults in memory.
TEST_F(ConfigTest, PlacingARootLevelKeepsTheUsersValues) {
  const Entries old{{"RANGE", "65"}, {"MAX_FIT", "60"}, {"WEEK", "true"}, {"lfolder0", "C:\\AI"}};
  writeParametersFile(old, false);
  MAIN_WINDOW_X.value.store(123);
  gf_saveIntParameter(MAIN_WINDOW_X);
  EXPECT_EQ(fileNames(), expectedFullWriteNames());
  for (const auto& [name, value] : old) EXPECT_EQ(fileValue(name), value) << name;
  EXPECT_EQ(fileValue("MAIN_WINDOW_X"), "123");
  EXPECT_EQ(fileValue("PORT_NUMBER"), "10747");  // not in the old file: the value in memory

  writeParametersFile(old, false);
  gf_readParameters();
  AUTO_RANGE.value.store(false);
  gf_saveBoolParameter(AUTO_RANGE);
  EXPECT_EQ(fileNames(), expectedFullWriteNames());
  EXPECT_EQ(fileValue("AUTO_RANGE"), "false");
  EXPECT_EQ(fileValue("RANGE"), "65");
  EXPECT_EQ(fileValue("MAX_FIT"), "47");  // now the current (bounded) value
  EXPECT_THAT(logText(), HasSubstr("\nPlacing a root level around a new parameters.xml to make it "
                                   "100% xml compliance\n"));
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
    pugi::xml_node parameters =
        (withRoot ? document.append_child("root") : document).append_child("parameters");
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
  const Entries expected{{"MAX_LIVE_SEL", "100"}, {"MAX_FIT", "47"},       {"RANGE", "100"},
                         {"parking_percentage", "35"}, {"AUTO_RANGE", "false"},
                         {"WEEK", "false"}};  // equal to the snapshot: left alone, not saved
  for (const auto& [name, value] : expected) EXPECT_EQ(fileValue(name), value) << name;
  EXPECT_EQ(RANGE.value.load(), 100);
  EXPECT_EQ(parking_percentage.value.load(), 35);
  EXPECT_TRUE(WEEK.value.load());

  for (const char* call : {"select 32849 5", "syncMaxFitCombo", "setRange 500", "select 32850 7",
                           "check 32819 0", "enable 32818 1", "enable 32820 0"})
    EXPECT_TRUE(view.saw(call)) << call;
  EXPECT_FALSE(view.saw("check 32853 1"));

  // Without a window the range copies follow RANGE.
  gf_setSettingsFollowUps(nullptr);
  RANGE.value.store(10);
  gf_restoreUserSettings();
  EXPECT_EQ(RANGE.value.load(), 100);
  EXPECT_EQ(rangeNm.load(), 100.0);
  EXPECT_EQ(rangeMeters.load(), 100u * 1852u);
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
  const std::vector<std::function<void(int)>> saves{
      [](int i) { MAIN_WINDOW_X.value.store(i), gf_saveIntParameter(MAIN_WINDOW_X); },
      [](int i) { gf_setStringParameter(BLOCK_CALLSIGN, "CS" + std::to_string(i)); },
      [](int i) { WEEK.value.store(i % 2 == 1), gf_saveBoolParameter(WEEK); },
      [](int i) { AIRP_HEIGHT.value.store(i * 100), gf_saveIntParameter(AIRP_HEIGHT); }};
  std::vector<std::thread> savers;
  for (const auto& save : saves)
    savers.emplace_back([&save] {
      for (int i = 1; i <= rounds; ++i) save(i);
    });
  for (auto& saver : savers) saver.join();
  done.store(true);
  reader.join();

  EXPECT_EQ(badReads.load(), 0);
  EXPECT_EQ(fileNames(), expectedFullWriteNames());
  EXPECT_EQ(fileValue("MAIN_WINDOW_X"), std::to_string(rounds));
  EXPECT_EQ(fileValue("BLOCK_CALLSIGN"), "CS" + std::to_string(rounds));
  EXPECT_EQ(fileValue("WEEK"), "false");
  const auto entries = fileParameters();
  EXPECT_EQ(std::count(entries.begin(), entries.end(),
                       Entries::value_type{"AIRP_HEIGHT", std::to_string(rounds * 100)}),
            2);
}
