// The controls of the main window: place, id, start state, list items, the callsign combo box,
// the range and fit operations, and changes that come from the run thread.
#include <gtest/gtest.h>

#include "config/settings.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/status_line.hpp"
#include "window/window_controls.hpp"
#include "window/window_paint.hpp"
#include "window_fixture.hpp"

namespace gui = platform::gui;
using gui::ControlKind;
using wdrx::testing::WindowTest;

namespace {

class WindowControls : public WindowTest {};

TEST_F(WindowControls, EveryControlAtItsPlaceWithItsIdAndStartState) {
  struct Expected {
    const ParameterControl* control;
    ControlKind kind;
    gui::Rect rect;
    bool enabled;
  };
  const ControlKind check = ControlKind::checkBox;
  const ControlKind combo = ControlKind::comboBox;
  const ControlKind button = ControlKind::button;
  const ControlKind edit = ControlKind::edit;
  const Expected expected[] = {
      {&ALL_INSTALL_PATH, edit, {111, 119, 1311, 135}, false},
      {&SCAN_LIVERIES, check, {5, 149, 17, 161}, true},
      {&LIG_PRIORITIZE, check, {536, 149, 548, 161}, true},
      {&ALWAYS_ON_TOP, check, {748, 149, 760, 161}, true},
      {&SCAN_AIRPORTS, check, {5, 177, 17, 189}, true},
      {&tbloZipButton, button, {217, 175, 297, 195}, false},
      {&NAV_LIGHTS_WHILE_PARKED, check, {748, 177, 760, 189}, true},
      {&MATCHING_DEPTH, combo, {217, 198, 257, 318}, true},
      {&LIGHT_AIRCRAFT, check, {323, 205, 335, 217}, true},
      {&HELICOPTERS, check, {430, 205, 442, 217}, true},
      {&HIGH_PERF_AIRCRAFT, check, {536, 205, 548, 217}, true},
      {&AEROWINX, check, {652, 205, 664, 217}, true},
      {&GUID_CHANGES, check, {748, 205, 760, 217}, true},
      {&RANGE, combo, {217, 226, 267, 426}, true},
      {&AUTO_RANGE, check, {323, 233, 335, 245}, true},
      {&AR_ABOVE_HEIGHT, combo, {455, 226, 525, 456}, true},
      {&AIRBORNE_ONLY, check, {572, 233, 584, 245}, true},
      {&COLLISION_USER_GND, check, {217, 289, 229, 301}, true},
      {&COLLISION_USER_AIR, check, {323, 289, 335, 301}, true},
      {&COLLISION_LIVE_PARKED_GND, check, {430, 289, 442, 301}, true},
      {&BLOCK_CALLSIGN, edit, {107, 259, 207, 275}, false},
      {&unblockButton, button, {223, 257, 283, 277}, false},
      {&csToOidButton, button, {305, 257, 365, 277}, false},
      {&CALLSIGN_2_OBJECTID, combo, {375, 254, 475, 554}, true},
      {&blockButton, button, {576, 257, 636, 277}, false},
      {&nowButton, button, {111, 313, 156, 333}, false},
      {&MAX_PARK_SEL, combo, {323, 310, 378, 454}, true},
      {&MAX_LIVE_SEL, combo, {536, 310, 591, 454}, true},
      {&DESTINATION, edit, {217, 343, 267, 359}, false},
      {&AIRP_RANGE, combo, {353, 338, 398, 482}, true},
      {&AIRP_HEIGHT, combo, {566, 338, 636, 568}, true},
      {&STRAIGHT_PBS_ONLY, check, {652, 317, 664, 329}, true},
      {&INITIAL_LOAD_ONLY, check, {5, 373, 17, 385}, true},
      {&WEEK, check, {71, 373, 83, 385}, true},
      {&PARK_SOFT, check, {151, 373, 163, 385}, true},
      {&parking_percentage, combo, {323, 366, 373, 566}, true},
      {&AMAX_FIT_FL, combo, {566, 366, 626, 666}, true},
      {&rereadButton, button, {758, 341, 848, 361}, false},
      {&flushStaticButton, button, {758, 369, 848, 389}, false},
  };
  const auto children = gui::inspect::children(window);
  ASSERT_EQ(children.size(), std::size(expected));
  for (std::size_t i = 0; i < children.size(); ++i) {
    const Expected& e = expected[i];
    EXPECT_EQ(children[i], handle(*e.control)) << i;
    const auto control = info(*e.control);
    EXPECT_EQ(control.id, e.control->controlId) << i;
    EXPECT_EQ(control.kind, e.kind) << i;
    EXPECT_EQ(control.rect, e.rect) << e.control->controlId;
    EXPECT_EQ(control.enabled, e.enabled) << e.control->controlId;
    EXPECT_TRUE(control.items.empty()) << e.control->controlId;
  }
  EXPECT_EQ(info(tbloZipButton).text, u"tblo.zip");
  EXPECT_EQ(info(csToOidButton).text, u"cs->oid:");
  EXPECT_EQ(info(flushStaticButton).text, u"Flush static");
  // Check boxes show their setting: default on and default off.
  EXPECT_TRUE(info(SCAN_LIVERIES).checked);
  EXPECT_TRUE(info(NAV_LIGHTS_WHILE_PARKED).checked);
  EXPECT_FALSE(info(ALWAYS_ON_TOP).checked);
  EXPECT_FALSE(info(AIRBORNE_ONLY).checked);
}

TEST_F(WindowControls, RunStartFillsTheListsFromTheRunThread) {
  BLOCK_CALLSIGN.value.store("KLM123");
  AUTO_RANGE.value.store(false);
  RANGE.value.store(65);
  MAX_FIT.value.store(9);
  const auto before = gui::inspect::foreignThreadControlChanges();
  onRunThread([] { lf_initControlValues(); });
  EXPECT_EQ(gui::inspect::foreignThreadControlChanges(), before);  // all done on the GUI thread

  const auto range = info(RANGE);
  ASSERT_EQ(range.items.size(), 20u);
  EXPECT_EQ(range.items.front(), u"2");
  EXPECT_EQ(range.items.back(), u"100");
  EXPECT_EQ(range.items[static_cast<std::size_t>(range.selection)], u"65");
  EXPECT_TRUE(range.enabled);
  EXPECT_FALSE(info(AR_ABOVE_HEIGHT).enabled);
  EXPECT_EQ(info(MATCHING_DEPTH).items, (std::vector<std::u16string>{u"1", u"2", u"3", u"4"}));
  EXPECT_EQ(info(MATCHING_DEPTH).selection, 3);
  EXPECT_EQ(info(MAX_LIVE_SEL).items.size(), 7u);
  EXPECT_EQ(info(AIRP_HEIGHT).items.back(), u"48000");

  const auto percentage = info(parking_percentage);
  EXPECT_EQ(percentage.items.size(), 21u);
  EXPECT_EQ(percentage.items[static_cast<std::size_t>(percentage.selection)], u"30");
  EXPECT_FALSE(percentage.enabled);

  const auto fit = info(AMAX_FIT_FL);
  ASSERT_EQ(fit.items.size(), 20u);
  EXPECT_EQ(fit.items.front(), u"0.5");
  EXPECT_EQ(fit.items.back(), u"24.0");
  EXPECT_EQ(fit.items[static_cast<std::size_t>(fit.selection)], u"5.0");  // MAX_FIT 9
  EXPECT_FLOAT_EQ(AMAX_FIT_FL.value.load(), 5.0f);
  EXPECT_FALSE(fit.enabled);

  EXPECT_TRUE(info(BLOCK_CALLSIGN).enabled);
  EXPECT_TRUE(info(unblockButton).enabled);  // a callsign is blocked
  EXPECT_FALSE(info(blockButton).enabled);
  EXPECT_FALSE(info(nowButton).enabled);
  EXPECT_FALSE(info(CALLSIGN_2_OBJECTID).enabled);
  EXPECT_FALSE(info(DESTINATION).enabled);
  EXPECT_FALSE(info(rereadButton).enabled);
  EXPECT_FALSE(info(tbloZipButton).enabled);

  INITIAL_LOAD_ONLY.value.store(true);
  BLOCK_CALLSIGN.value.store("");
  onRunThread([] { lf_initControlValues(); });
  EXPECT_TRUE(info(nowButton).enabled);
  EXPECT_FALSE(info(unblockButton).enabled);
}

TEST_F(WindowControls, ShowsSettingTextsFromAnyThread) {
  const auto before = gui::inspect::foreignThreadControlChanges();
  RANGE.value.store(25);
  DESTINATION.value.store("EDDF");
  onRunThread([] {
    gf_showIntParameter(RANGE);
    gf_showStringParameter(DESTINATION);
  });
  EXPECT_EQ(info(DESTINATION).text, u"EDDF");
  EXPECT_EQ(info(RANGE).text, u"25");
  EXPECT_EQ(gui::inspect::foreignThreadControlChanges(), before);
}

TEST_F(WindowControls, EnterInAnEditBoxIsConsumedOtherKeysReachTheBox) {
  onRunThread([] { lf_initControlValues(); });
  type(BLOCK_CALLSIGN, u"klx\b");
  EXPECT_EQ(info(BLOCK_CALLSIGN).text, u"kl");
  type(BLOCK_CALLSIGN, u"\r");
  EXPECT_EQ(statusText(), "callsign 'kl' is not valid");
  EXPECT_EQ(info(BLOCK_CALLSIGN).text, u"");  // the stored callsign is shown again
  type(BLOCK_CALLSIGN, u"ab");
  EXPECT_EQ(info(BLOCK_CALLSIGN).text, u"ab");
}

TEST_F(WindowControls, CallsignListFromTheLiveAircraft) {
  std::vector<std::string> flying{"KLM1234", "BAW12", "AFR7"};
  windowServices.flyingCallsigns = [&flying] { return flying; };
  bool found = false;
  onRunThread([&found] { found = lf_updateCallsignList(); });
  EXPECT_TRUE(found);
  auto combo = info(CALLSIGN_2_OBJECTID);
  EXPECT_EQ(combo.items, (std::vector<std::u16string>{u"AFR7", u"BAW12", u"KLM1234"}));
  EXPECT_EQ(combo.selection, 0);
  EXPECT_TRUE(combo.enabled);
  EXPECT_EQ(CALLSIGN_2_OBJECTID.value.load(), "AFR7");
  EXPECT_TRUE(info(blockButton).enabled);  // "Unblock" is disabled

  gf_onGuiThread([] { gui::enableWindow(lf_controlHandle(unblockButton), true); });
  onRunThread([&found] { found = lf_updateCallsignList(); });
  EXPECT_FALSE(info(blockButton).enabled);  // a blocked callsign must be unblocked first

  flying.clear();
  onRunThread([&found] { found = lf_updateCallsignList(); });
  EXPECT_FALSE(found);
  combo = info(CALLSIGN_2_OBJECTID);
  EXPECT_TRUE(combo.items.empty());
  EXPECT_FALSE(combo.enabled);
  EXPECT_FALSE(info(blockButton).enabled);
  EXPECT_EQ(CALLSIGN_2_OBJECTID.value.load(), "");
}

TEST_F(WindowControls, ALongCallsignIsReadBackWhole) {
  const std::string longCallsign(300, 'Q');
  std::vector<std::string> flying{"AAA1", longCallsign};
  windowServices.flyingCallsigns = [&flying] { return flying; };
  onRunThread([] { lf_updateCallsignList(); });
  choose(CALLSIGN_2_OBJECTID, 1);
  EXPECT_EQ(CALLSIGN_2_OBJECTID.value.load(), longCallsign);
}

TEST_F(WindowControls, FitStepValuesAndTheFitCombo) {
  const std::pair<int, float> table[] = {{-3, 0.5f}, {0, 0.5f},   {1, 1.0f},   {9, 5.0f},
                                         {10, 6.0f}, {11, 6.0f},  {12, 7.0f},  {21, 11.0f},
                                         {22, 12.0f}, {25, 12.0f}, {26, 15.0f}, {31, 15.0f},
                                         {32, 18.0f}, {37, 18.0f}, {38, 21.0f}, {43, 21.0f},
                                         {44, 24.0f}, {47, 24.0f}};
  for (const auto& [step, hours] : table) EXPECT_FLOAT_EQ(gf_fitStepValue(step), hours) << step;

  onRunThread([] { lf_initControlValues(); });
  MAX_FIT.value.store(26);
  onRunThread([] { gf_syncMaxFitCombo(); });
  auto fit = info(AMAX_FIT_FL);
  EXPECT_EQ(fit.items[static_cast<std::size_t>(fit.selection)], u"15.0");
  MAX_FIT.value.store(20);  // 11 hours is no entry: the selection stays
  onRunThread([] { gf_syncMaxFitCombo(); });
  EXPECT_FLOAT_EQ(AMAX_FIT_FL.value.load(), 11.0f);
  fit = info(AMAX_FIT_FL);
  EXPECT_EQ(fit.items[static_cast<std::size_t>(fit.selection)], u"15.0");
}

TEST_F(WindowControls, SetRangeClampsSelectsAndDrivesTheTrafficRange) {
  onRunThread([] { lf_initControlValues(); });
  onRunThread([] { gf_setRange(8); });
  EXPECT_EQ(RANGE.value.load(), 8);
  EXPECT_DOUBLE_EQ(rangeNm.load(), 8.0);
  EXPECT_EQ(rangeMeters.load(), 8u * 1852u);
  EXPECT_EQ(info(RANGE).items[static_cast<std::size_t>(info(RANGE).selection)], u"8");
  onRunThread([] { gf_setRange(150); });
  EXPECT_EQ(RANGE.value.load(), 100);
  EXPECT_DOUBLE_EQ(rangeNm.load(), 100.0);  // the range in use is the one shown
  EXPECT_EQ(rangeMeters.load(), 100u * 1852u);
  onRunThread([] { gf_setRange(7); });  // between two entries: no selection change
  EXPECT_EQ(RANGE.value.load(), 7);
  EXPECT_EQ(info(RANGE).items[static_cast<std::size_t>(info(RANGE).selection)], u"100");
}

TEST_F(WindowControls, OptionGroupOffAndOn) {
  onRunThread([] { lf_initControlValues(); });
  onRunThread([] { gf_enableOptionControls(); });
  for (const ParameterControl* c : std::initializer_list<const ParameterControl*>{
           &parking_percentage, &AMAX_FIT_FL, &MAX_PARK_SEL, &MAX_LIVE_SEL, &WEEK, &PARK_SOFT,
           &flushStaticButton, &nowButton, &rereadButton})
    EXPECT_TRUE(info(*c).enabled) << c->controlId;
  EXPECT_EQ(mainWindow.renewalCountdown.load(), 20);
  EXPECT_TRUE(nowButtonAllowed.load());

  INITIAL_LOAD_ONLY.value.store(true);
  onRunThread([] { gf_disableOptionControls(); });
  EXPECT_TRUE(parkingUpdateBusy.load());
  for (const ParameterControl* c : std::initializer_list<const ParameterControl*>{
           &parking_percentage, &AMAX_FIT_FL, &MAX_PARK_SEL, &MAX_LIVE_SEL, &WEEK, &PARK_SOFT,
           &flushStaticButton, &rereadButton})
    EXPECT_FALSE(info(*c).enabled) << c->controlId;
  EXPECT_TRUE(info(nowButton).enabled);  // left alone with INITIAL_LOAD_ONLY on
  EXPECT_TRUE(drew(5, 315, "Airport parking", colours::yellow));
}

class NoWindow : public WindowTest {
 protected:
  void SetUp() override {
    startWindowInSetUp = false;
    WindowTest::SetUp();
  }
};

TEST_F(NoWindow, ControlCallsBeforeTheWindowExistsChangeOnlyTheSettings) {
  {
    std::lock_guard lock(liveCallsignsMutex);
    liveCallsigns->assign({"AFR7"});
  }
  lf_fillCallsignCombo();
  lf_clearCallsignList();
  gf_setRange(12);
  gf_showIntParameter(RANGE);
  gf_postStatus("no window");
  EXPECT_EQ(RANGE.value.load(), 12);
  EXPECT_DOUBLE_EQ(rangeNm.load(), 12.0);
  EXPECT_EQ(gf_statusSnapshot().statusText, "no window");
  std::lock_guard lock(liveCallsignsMutex);
  EXPECT_EQ(*liveCallsigns, std::vector<std::string>{""});
}

}  // namespace
