// What the buttons, check boxes, combo boxes and edit boxes of the main window do, the
// program's window messages, and the requests that reach the run thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <thread>

#include "airports/airport_db.hpp"
#include "config/config_fixture.hpp"
#include "config/settings.hpp"
#include "foundation/format.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "liveries/livery_data.hpp"
#include "parking/addon_scan.hpp"
#include "parking/airport_settings.hpp"
#include "parking/apf_state.hpp"
#include "platform/shell.hpp"
#include "records/engine_tables.hpp"
#include "records/records.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_services.hpp"
#include "traffic/link_state.hpp"
#include "window/window_commands.hpp"
#include "window/window_controls.hpp"
#include "window/window_paint.hpp"
#include "window_fixture.hpp"

namespace gui = platform::gui;
using wdrx::testing::WindowTest;

namespace {
// Heap allocations of the thread that counts (the main loop's step must make none).
thread_local bool countingAllocations = false;
std::size_t allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (countingAllocations) ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// Not inlined: an optimiser that sees free() meet a pointer from operator new warns of a mismatch.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

class WindowCommands : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    onRunThread([] { lf_initControlValues(); });
  }
  // A check box clicked by the user: its new state, saved.
  void toggle(CheckBoxParameter& box, bool expectOn) {
    click(box);
    EXPECT_EQ(box.value.load(), expectOn) << box.name;
    EXPECT_EQ(info(box).checked, expectOn) << box.name;
    EXPECT_EQ(fileValue(box.name), expectOn ? "true" : "false") << box.name;
  }
};

TEST_F(WindowCommands, CheckBoxesSaveTheirSettingAndTellTheUser) {
  struct Case {
    CheckBoxParameter* box;
    std::string onText;   // "" : the status line is cleared
    std::string offText;
  };
  const Case cases[] = {
      {&LIG_PRIORITIZE,
       "Liveries, for airl+model, in lower lfolders that are already available will be skipped", ""},
      {&COLLISION_LIVE_PARKED_GND, "",
       "Be aware, live aircraft may collide with (run through) static parked on the ground"},
      {&COLLISION_USER_GND, "",
       "Be aware, user aircraft may collide with (run through) live aircraft and static parked on "
       "the ground"},
      {&COLLISION_USER_AIR, "",
       "Be aware, user aircraft may collide with (run through) live aircraft in the air"},
      {&INITIAL_LOAD_ONLY,
       "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes",
       ""},
      {&ALWAYS_ON_TOP, "Wendrix_P3D's window will remain visible", ""},
      {&GUID_CHANGES, "",
       "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!"},
      {&AEROWINX, "Note: This mode is for Aerowinx PSX users only, please re-start Wendrix_P3D", ""},
      {&AIRBORNE_ONLY,
       "Be aware, airborne live traffic only!  (greater than 150 ft above ground ...)", ""},
      {&WEEK, "", ""},
      {&PARK_SOFT, "", ""},
      {&STRAIGHT_PBS_ONLY, "", ""},
      {&LIGHT_AIRCRAFT, "", ""},
      {&HELICOPTERS, "", ""},
      {&HIGH_PERF_AIRCRAFT, "", ""},
  };
  for (const Case& c : cases) {
    for (int round = 0; round < 2; ++round) {
      gf_postStatus("before");
      const bool on = !c.box->value.load();
      toggle(*c.box, on);
      const std::string& expected = on ? c.onText : c.offText;
      const bool silent = (c.box == &WEEK || c.box == &PARK_SOFT || c.box == &STRAIGHT_PBS_ONLY ||
                           c.box == &LIGHT_AIRCRAFT || c.box == &HELICOPTERS ||
                           c.box == &HIGH_PERF_AIRCRAFT);
      EXPECT_EQ(statusText(), silent ? "before" : expected) << c.box->name << " " << on;
    }
  }
  EXPECT_FALSE(runStopRequested.load());
}

TEST_F(WindowCommands, AlwaysOnTopAndInitialLoadOnlyActOnTheWindow) {
  click(ALWAYS_ON_TOP);
  EXPECT_TRUE(gui::inspect::isTopmost(window));
  click(ALWAYS_ON_TOP);
  EXPECT_FALSE(gui::inspect::isTopmost(window));

  nowButtonAllowed.store(true);
  toggle(INITIAL_LOAD_ONLY, true);
  EXPECT_FALSE(info(nowButton).enabled);
  toggle(INITIAL_LOAD_ONLY, false);
  EXPECT_TRUE(info(nowButton).enabled);
  nowButtonAllowed.store(false);
  toggle(INITIAL_LOAD_ONLY, true);
  toggle(INITIAL_LOAD_ONLY, false);
  EXPECT_FALSE(info(nowButton).enabled);
}

TEST_F(WindowCommands, ScansSwitchedOnRestartTheRunOnlyBeforeRealTrafficConnected) {
  SCAN_LIVERIES.value.store(false);
  SCAN_AIRPORTS.value.store(false);
  gf_onGuiThread([] {
    gui::checkButton(mainHwnd.load(), SCAN_LIVERIES.controlId, false);
    gui::checkButton(mainHwnd.load(), SCAN_AIRPORTS.controlId, false);
  });
  awaitingRealTraffic.store(false);
  toggle(SCAN_LIVERIES, true);
  EXPECT_EQ(statusText(), "Your liveries will be scanned at the next start of Wendrix_P3D");
  toggle(SCAN_AIRPORTS, true);
  EXPECT_EQ(statusText(), "Your airports will be scanned at the next start of Wendrix_P3D");
  EXPECT_FALSE(runStopRequested.load());
  EXPECT_FALSE(liveryResetRequested.load());

  toggle(SCAN_LIVERIES, false);
  toggle(SCAN_AIRPORTS, false);
  awaitingRealTraffic.store(true);
  toggle(SCAN_LIVERIES, true);
  EXPECT_EQ(statusText(), "Your liveries will be scanned");
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::NewSettings);
  EXPECT_EQ(restartDelay.load(), 2);
  EXPECT_NE(log.text().find("Your liveries will be scanned\n"), std::string::npos);

  // The livery tables belong to the run thread: emptied there, not on the GUI thread.
  std::thread::id clearedOn;
  windowServices.clearLiveryTables = [&clearedOn] { clearedOn = std::this_thread::get_id(); };
  std::thread::id runThreadId;
  onRunThread([&runThreadId] {
    runThreadId = std::this_thread::get_id();
    gf_serveWindowRequests();
  });
  EXPECT_EQ(clearedOn, runThreadId);

  runStopRequested.store(false);
  exitReason.store(ExitReason::NotYetSet);
  toggle(SCAN_AIRPORTS, true);
  EXPECT_EQ(statusText(), "Your airports will be scanned");
  EXPECT_EQ(exitReason.load(), ExitReason::NewSettings);
}

// A label whose colour follows a setting or a check box's state changes on the screen at once,
// without waiting for some other repaint of the options band.
TEST_F(WindowCommands, LabelsOnScreenFollowTheirSettingAtOnce) {
  auto shows = [this](int x, int y, int width, gui::Colour colour) {
    for (int py = y; py < y + 16; ++py)
      for (int px = x; px < x + width; ++px)
        if (pixel(px, py) == colour) return true;
    return false;
  };
  struct Case {
    const char* what;
    std::function<void()> change;
    int x, y, width;
    gui::Colour before, after;
  };
  const Case cases[] = {
      {"Aerowinx", [this] { click(AEROWINX); }, 672, 203, 60, colours::black, colours::yellow},
      {"Straight push backs only", [this] { click(STRAIGHT_PBS_ONLY); }, 672, 315, 150,
       colours::grey, colours::black},
      {"Ah:", [this] { click(AUTO_RANGE); }, 430, 231, 22, colours::black, colours::grey},
      {"Max park", [this] { choose(MAX_PARK_SEL, u"0"); }, 171, 315, 140, colours::black,
       colours::yellow},
      {"Light aircraft",
       [this] { onRunThread([] { gf_enableControl(LIGHT_AIRCRAFT, false); }); }, 343, 203, 80,
       colours::black, colours::grey},
  };
  for (const Case& c : cases) {
    repaint();
    ASSERT_TRUE(shows(c.x, c.y, c.width, c.before)) << c.what;
    c.change();
    EXPECT_TRUE(shows(c.x, c.y, c.width, c.after)) << c.what;
    EXPECT_FALSE(shows(c.x, c.y, c.width, c.before)) << c.what;
  }
}

TEST_F(WindowCommands, AutoRangeAndNavLightsAreCarriedOutOnTheRunThread) {
  std::vector<std::string> calls;
  windowServices.autoRange = [&calls] { calls.push_back("autoRange"); };
  windowServices.queueParkedNavLights = [&calls](bool on) {
    calls.push_back(wdrx::format("navLights {}", on));
  };
  onRunThread([] { gf_setRange(65); });
  toggle(AUTO_RANGE, false);
  EXPECT_TRUE(info(RANGE).enabled);
  EXPECT_FALSE(info(AR_ABOVE_HEIGHT).enabled);
  toggle(NAV_LIGHTS_WHILE_PARKED, false);
  EXPECT_TRUE(calls.empty());  // nothing on the GUI thread
  onRunThread([] { gf_serveWindowRequests(); });
  EXPECT_EQ(calls, (std::vector<std::string>{"navLights false"}));
  EXPECT_EQ(RANGE.value.load(), 40);  // the range chosen by hand: RANGE's default before first use

  onRunThread([] { gf_setRange(65); });
  toggle(AUTO_RANGE, true);
  EXPECT_FALSE(info(RANGE).enabled);
  EXPECT_TRUE(info(AR_ABOVE_HEIGHT).enabled);
  EXPECT_EQ(calls, std::vector<std::string>{"navLights false"});  // chosen on the run thread
  onRunThread([] { gf_serveWindowRequests(); });
  EXPECT_EQ(calls.back(), "autoRange");
  onRunThread([] { gf_setRange(10); });  // the automatic choice
  toggle(AUTO_RANGE, false);
  onRunThread([] { gf_serveWindowRequests(); });
  EXPECT_EQ(RANGE.value.load(), 65);  // back to the hand-chosen range
  EXPECT_EQ(info(RANGE).items[static_cast<std::size_t>(info(RANGE).selection)], u"65");
  toggle(AUTO_RANGE, true);
  toggle(NAV_LIGHTS_WHILE_PARKED, true);
  calls.clear();
  onRunThread([] { gf_serveWindowRequests(); });
  onRunThread([] { gf_serveWindowRequests(); });  // each request is done once
  EXPECT_EQ(calls, (std::vector<std::string>{"navLights true", "autoRange"}));
}

TEST_F(WindowCommands, ServingNoPendingRequestAllocatesNothing) {
  windowServices.addParkAirport = [](const IcaoCode&, double, double) {};
  gf_requestParkAirport(IcaoCode("EHAM"), 52.31, 4.76);
  gf_serveWindowRequests();
  countingAllocations = true;
  gf_serveWindowRequests();  // what every 10 ms step of the main loop does
  countingAllocations = false;
  EXPECT_EQ(allocations, 0u);
}

// While the run thread cannot take requests (its start-up waits for the simulator), the box
// is switched on and off again: the hand-chosen range is what counts afterwards.
TEST_F(WindowCommands, AutoRangeSwitchedOnAndOffBeforeTheRunThreadLooksKeepsTheRangeByHand) {
  windowServices.autoRange = [] { gf_setRange(10); };
  toggle(AUTO_RANGE, false);
  onRunThread([] { gf_serveWindowRequests(); });
  choose(RANGE, u"65");
  toggle(AUTO_RANGE, true);
  onRunThread([] { gf_setRange(10); });  // the start-up's own automatic choice
  toggle(AUTO_RANGE, false);
  toggle(AUTO_RANGE, true);
  toggle(AUTO_RANGE, false);
  EXPECT_EQ(RANGE.value.load(), 65);
  onRunThread([] { gf_setRange(10); });  // a 30-second automatic choice racing the switch
  onRunThread([] { gf_serveWindowRequests(); });
  EXPECT_EQ(RANGE.value.load(), 65);
  EXPECT_DOUBLE_EQ(rangeNm.load(), 65.0);
}

// A learned file read at the next start: its range stays, and is the one the automatic range
// returns to.
TEST_F(WindowCommands, TheRangeOfALearnedFileIsKeptAndReturnedTo) {
  windowServices.autoRange = [] { gf_setRange(10); };
  pugi::xml_document learned;
  ASSERT_TRUE(learned.load_string(R"(<root><parameters>
      <parameter name="RANGE" value="20"/><parameter name="AUTO_RANGE" value="false"/>
    </parameters></root>)"));
  const auto rangeIs20 = [this] {
    EXPECT_EQ(RANGE.value.load(), 20);
    EXPECT_DOUBLE_EQ(rangeNm.load(), 20.0);
    const auto combo = info(RANGE);
    ASSERT_GE(combo.selection, 0);
    EXPECT_EQ(combo.items.at(static_cast<std::size_t>(combo.selection)), u"20");
  };
  onRunThread([&learned] { lf_applyLearnedSettings(learned); });
  rangeIs20();
  toggle(AUTO_RANGE, true);
  onRunThread([] { gf_serveWindowRequests(); });
  EXPECT_EQ(RANGE.value.load(), 10);
  toggle(AUTO_RANGE, false);
  onRunThread([] { gf_serveWindowRequests(); });
  rangeIs20();
}

TEST_F(WindowCommands, ComboBoxesSaveTheirSettingAndRequestTheirFollowUps) {
  for (const ParameterControl* combo :
       std::initializer_list<const ParameterControl*>{&RANGE, &parking_percentage, &AMAX_FIT_FL})
    lf_enable(*combo, true);
  idle();
  choose(MATCHING_DEPTH, u"2");
  EXPECT_EQ(MATCHING_DEPTH.value.load(), 2);
  EXPECT_EQ(fileValue("MATCHING_DEPTH"), "2");
  EXPECT_FALSE(matchingDepthRaised.load());
  choose(MATCHING_DEPTH, u"3");
  EXPECT_TRUE(matchingDepthRaised.load());
  // Only a changed selection counts, not the combo box's other notifications (a drop-down).
  gf_onGuiThread([] { gui::comboSelectIndex(lf_controlHandle(MATCHING_DEPTH), 0); });
  post(gui::msg::command, gui::makeWParam(MATCHING_DEPTH.controlId, 7));
  EXPECT_EQ(MATCHING_DEPTH.value.load(), 3);

  choose(RANGE, u"12");
  EXPECT_EQ(RANGE.value.load(), 12);
  EXPECT_EQ(fileValue("RANGE"), "12");
  EXPECT_DOUBLE_EQ(rangeNm.load(), 12.0);

  choose(parking_percentage, u"55");
  EXPECT_EQ(fileValue("parking_percentage"), "55");
  for (ComboBoxParameter* combo : {&MAX_PARK_SEL, &AIRP_RANGE, &AR_ABOVE_HEIGHT, &AIRP_HEIGHT}) {
    choose(*combo, 1);
    EXPECT_EQ(combo->value.load(), combo->allowedValues[1]) << combo->name;
    EXPECT_EQ(fileValue(combo->name), std::to_string(combo->allowedValues[1])) << combo->name;
  }

  choose(AMAX_FIT_FL, u"0.5");
  EXPECT_EQ(MAX_FIT.value.load(), 0);
  EXPECT_EQ(fileValue("MAX_FIT"), "0");
  EXPECT_EQ(fileValue("AMAX_FIT_FL"), "<absent>");  // kept per airport, not in parameters.xml
  choose(AMAX_FIT_FL, u"24.0");
  EXPECT_EQ(MAX_FIT.value.load(), 47);
  choose(AMAX_FIT_FL, u"7.0");
  EXPECT_EQ(MAX_FIT.value.load(), 13);
}

TEST_F(WindowCommands, LoweringMaxLiveRemovesTheFarthestAircraftOnTheRunThread) {
  std::uint64_t active = 60;
  std::vector<std::thread::id> removedOn;
  windowServices.countActiveLiveAc = [&active] { return active; };
  windowServices.removeFarthestLiveAc = [&active, &removedOn] {
    --active;
    removedOn.push_back(std::this_thread::get_id());
  };
  choose(MAX_LIVE_SEL, u"50");
  EXPECT_EQ(fileValue("MAX_LIVE_SEL"), "50");
  EXPECT_TRUE(removedOn.empty());
  std::thread::id runThreadId;
  onRunThread([&runThreadId] {
    runThreadId = std::this_thread::get_id();
    gf_serveWindowRequests();
  });
  EXPECT_EQ(active, 50u);
  ASSERT_EQ(removedOn.size(), 10u);
  EXPECT_EQ(removedOn.front(), runThreadId);
  choose(MAX_LIVE_SEL, u"0");
  onRunThread([] { gf_serveWindowRequests(); });
  EXPECT_EQ(active, 0u);
}

TEST_F(WindowCommands, CallsignListBlockAndUnblockButtons) {
  std::vector<std::string> flying{"KLM1234", "AFR7"};
  windowServices.flyingCallsigns = [&flying] { return flying; };
  lf_enable(csToOidButton, true);  // as the main loop does when it starts
  idle();
  click(csToOidButton);
  EXPECT_TRUE(callsignListRequested.exchange(false));
  onRunThread([] { lf_updateCallsignList(); });  // the main loop's follow-up
  EXPECT_TRUE(info(blockButton).enabled);
  click(csToOidButton);  // a new list is asked for: "Block" waits for it
  EXPECT_FALSE(info(blockButton).enabled);
  onRunThread([] { lf_updateCallsignList(); });
  choose(CALLSIGN_2_OBJECTID, u"KLM1234");
  EXPECT_EQ(CALLSIGN_2_OBJECTID.value.load(), "KLM1234");

  click(blockButton);
  EXPECT_EQ(BLOCK_CALLSIGN.value.load(), "KLM1234");
  EXPECT_EQ(fileValue("BLOCK_CALLSIGN"), "KLM1234");
  EXPECT_EQ(info(BLOCK_CALLSIGN).text, u"KLM1234");
  EXPECT_TRUE(blockRequested.exchange(false));
  EXPECT_TRUE(info(unblockButton).enabled);
  EXPECT_FALSE(info(blockButton).enabled);
  EXPECT_EQ(info(CALLSIGN_2_OBJECTID).items, std::vector<std::u16string>{u""});
  EXPECT_FALSE(info(CALLSIGN_2_OBJECTID).enabled);
  EXPECT_EQ(CALLSIGN_2_OBJECTID.value.load(), "");

  click(unblockButton);
  EXPECT_EQ(BLOCK_CALLSIGN.value.load(), "");
  EXPECT_EQ(fileValue("BLOCK_CALLSIGN"), "");
  EXPECT_EQ(statusText(), "no more blocking of live aircraft 'KLM1234'");
  EXPECT_NE(log.text().find("no more blocking of live aircraft 'KLM1234'\n"), std::string::npos);
  EXPECT_TRUE(blockRequested.exchange(false));
  EXPECT_FALSE(info(unblockButton).enabled);
  EXPECT_FALSE(info(blockButton).enabled);  // nothing chosen in the list

  lf_enable(unblockButton, true);
  idle();
  click(unblockButton);
  EXPECT_EQ(statusText(), "Nothing to block or unblock...");
  EXPECT_FALSE(blockRequested.load());
}

TEST_F(WindowCommands, CallsignBox) {
  auto enter = [this](const std::u16string& text) {
    type(BLOCK_CALLSIGN, std::u16string(info(BLOCK_CALLSIGN).text.size(), u'\b') + text + u"\r");
  };
  enter(u"abc");
  EXPECT_EQ(statusText(), "callsign 'abc' is not valid");
  enter(u"abcdefghi");
  EXPECT_EQ(statusText(), "callsign 'abcdefghi' is not valid");
  EXPECT_EQ(info(BLOCK_CALLSIGN).text, u"");
  EXPECT_FALSE(blockRequested.load());

  enter(u"abcd");  // four and eight characters are callsigns
  EXPECT_EQ(BLOCK_CALLSIGN.value.load(), "ABCD");
  enter(u"klm12345");
  EXPECT_EQ(BLOCK_CALLSIGN.value.load(), "KLM12345");
  EXPECT_EQ(fileValue("BLOCK_CALLSIGN"), "KLM12345");
  EXPECT_EQ(info(BLOCK_CALLSIGN).text, u"KLM12345");
  EXPECT_TRUE(info(unblockButton).enabled);
  EXPECT_TRUE(blockRequested.exchange(false));

  enter(u"klm12345");
  EXPECT_EQ(statusText(), "callsign 'KLM12345' was already set ...");
  EXPECT_FALSE(blockRequested.load());
  const std::string logged = log.text();
  EXPECT_NE(logged.find("callsign 'abc' is not valid\n"), std::string::npos);
  EXPECT_NE(logged.find("callsign 'KLM12345' was already set ...\n"), std::string::npos);

  enter(u"");  // an empty box unblocks
  EXPECT_EQ(BLOCK_CALLSIGN.value.load(), "");
  EXPECT_EQ(statusText(), "no more blocking of live aircraft 'KLM12345'");
  gf_postStatus("older");
  enter(u"");  // nothing blocked: only the status line is cleared
  EXPECT_EQ(statusText(), "");
  EXPECT_FALSE(info(unblockButton).enabled);

  std::vector<std::string> flying{"DLH400"};
  windowServices.flyingCallsigns = [&flying] { return flying; };
  onRunThread([] { lf_updateCallsignList(); });
  enter(u"dlh400");  // the callsign chosen in the list: the list is cleared
  EXPECT_EQ(BLOCK_CALLSIGN.value.load(), "DLH400");
  EXPECT_EQ(CALLSIGN_2_OBJECTID.value.load(), "");
  EXPECT_FALSE(info(CALLSIGN_2_OBJECTID).enabled);
}

TEST_F(WindowCommands, DestinationBox) {
  airportTable = {Airport{IcaoCode("EDDF"), IataCode("FRA"), 50.03, 8.57, 364.0f, 10},
                  Airport{IcaoCode("EHAM"), IataCode("AMS"), 52.31, 4.76, -11.0f, 200}};
  airportsRead.store(true);
  std::vector<std::string> added;
  windowServices.addParkAirport = [&added](const IcaoCode& code, double lat, double lon) {
    added.push_back(wdrx::format("{} {:.2f} {:.2f}", code.str(), lat, lon));
  };
  lf_enable(DESTINATION, true);
  lf_enable(rereadButton, true);
  idle();
  auto enter = [this](const std::u16string& text) {
    type(DESTINATION, std::u16string(info(DESTINATION).text.size(), u'\b') + text + u"\r");
  };
  enter(u"eham");
  EXPECT_EQ(DESTINATION.value.load(), "EHAM");
  EXPECT_EQ(fileValue("DESTINATION"), "EHAM");
  EXPECT_EQ(info(DESTINATION).text, u"EHAM");
  EXPECT_EQ(statusText(), "New destination: EHAM");
  EXPECT_FALSE(info(rereadButton).enabled);
  EXPECT_TRUE(added.empty());  // the park-airport list belongs to the run thread
  onRunThread([] { gf_serveWindowRequests(); });
  EXPECT_EQ(added, std::vector<std::string>{"EHAM 52.31 4.76"});

  struct Case {
    std::u16string typed;
    std::string status;
  };
  for (const Case& c : {Case{u"eham", "destination 'EHAM' was already set ..."},
                        Case{u"zzzz", "destination 'ZZZZ' is unknown ..."},
                        Case{u"EH-M", "destination 'EH-M' is not valid"},
                        Case{u"EHA", "destination 'EHA' is not valid"},
                        Case{u"EHAMX", "destination 'EHAMX' is not valid"}}) {
    enter(c.typed);
    EXPECT_EQ(statusText(), c.status);
    EXPECT_EQ(info(DESTINATION).text, u"EHAM");  // the stored destination is shown again
    EXPECT_EQ(DESTINATION.value.load(), "EHAM");
  }
  EXPECT_NE(log.text().find("destination 'ZZZZ' is unknown ...\n"), std::string::npos);

  enter(u"");
  EXPECT_EQ(DESTINATION.value.load(), "");
  EXPECT_EQ(fileValue("DESTINATION"), "EHAM");  // not written for an empty box
  EXPECT_EQ(statusText(), "destination set to empty");
  EXPECT_TRUE(info(rereadButton).enabled);

  airportsRead.store(false);  // the table is still being read: no airport is known yet
  enter(u"EDDF");
  EXPECT_EQ(statusText(), "destination 'EDDF' is unknown ...");
  onRunThread([] { gf_serveWindowRequests(); });
  EXPECT_EQ(added.size(), 1u);

  // The stored destination at the start of a run: in the list before the services start.
  onRunThread([] { lf_setDestination("EDDF", 50.03, 8.57); });
  EXPECT_EQ(added.back(), "EDDF 50.03 8.57");
}

TEST_F(WindowCommands, InstallPathBox) {
  lf_enable(ALL_INSTALL_PATH, true);
  idle();
  auto enter = [this](const std::string& text) {
    type(ALL_INSTALL_PATH,
         std::u16string(info(ALL_INSTALL_PATH).text.size(), u'\b') + utf8_to_wide(text) + u"\r");
  };
  const std::string missing = (dir / "no such folder").string();
  enter(missing);
  EXPECT_EQ(statusText(), "This install path does not exist: " + missing);
  EXPECT_EQ(SIM_INSTALL_PATH.value.load(), "");
  EXPECT_FALSE(runStopRequested.load());

  gf_postError("Prepar3D not found");
  std::filesystem::create_directories(dir / "P3D v5");
  const std::string folder = (dir / "P3D v5").string();
  enter(folder);
  EXPECT_EQ(gf_statusSnapshot().errorText, "");
  EXPECT_EQ(statusText(), "Install path exists, Wendrix_P3D will restart");
  EXPECT_EQ(SIM_INSTALL_PATH.value.load(), folder);
  EXPECT_EQ(fileValue("SIM_INSTALL_PATH"), folder);
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::NewSettings);
  EXPECT_EQ(restartDelay.load(), 3);

  enter("");
  EXPECT_EQ(SIM_INSTALL_PATH.value.load(), "");
  EXPECT_EQ(fileValue("SIM_INSTALL_PATH"), "");
  EXPECT_EQ(statusText(), "");
}

TEST_F(WindowCommands, RereadFlushAndTbloButtons) {
  lf_enable(rereadButton, true);
  lf_enable(DESTINATION, true);
  lf_enable(flushStaticButton, true);
  lf_enable(tbloZipButton, true);
  idle();
  click(rereadButton);
  EXPECT_TRUE(rereadRequested.load());
  EXPECT_FALSE(info(rereadButton).enabled);
  EXPECT_FALSE(info(DESTINATION).enabled);

  click(flushStaticButton);
  EXPECT_TRUE(flushStaticRequested.load());
  EXPECT_EQ(statusText(), "All static parked aircraft will be removed ...");
  EXPECT_FALSE(info(flushStaticButton).enabled);

  std::vector<std::string> shown;
  std::filesystem::path opened;
  bool opens = false;
  platform::setShellOpenHandler([&](const std::filesystem::path& folder) {
    opened = folder;
    return opens;
  });
  platform::setMessageBoxHandler(
      [&shown](const std::string& text, const std::string& caption) { shown.push_back(caption + ": " + text); });
  std::filesystem::create_directories(dir / "tblo");
  wdrx::testing::writeFile(dir / "tblo" / "tblo.zip", "zip");
  click(tbloZipButton);
  EXPECT_EQ(shown, std::vector<std::string>{"WDRX: Could not open File Explorer at tblo.zip."});
  EXPECT_EQ(opened, dir / "tblo");
  opens = true;
  click(tbloZipButton);
  EXPECT_EQ(shown.size(), 1u);
  platform::setShellOpenHandler(nullptr);
  platform::setMessageBoxHandler(nullptr);
}

TEST_F(WindowCommands, NowAnnouncesAStaticParkingUpdate) {
  lf_enable(nowButton, true);
  idle();
  gf_postStatus("before");
  click(nowButton);  // static parking does not run: nothing happens
  EXPECT_EQ(statusText(), "before");
  EXPECT_FALSE(parkingUpdateRequested.load());

  staticParkingActive.store(true);
  parkingCountdown.store(3);
  runSeconds.store(30);
  click(nowButton);
  EXPECT_EQ(statusText(), "Wendrix_P3D will update static parking in 15 seconds ...");
  EXPECT_TRUE(parkingUpdateRequested.load());
  EXPECT_TRUE(parkingUpdateBusy.load());
  EXPECT_EQ(parkingCountdown.load(), 20);
  EXPECT_EQ(mainWindow.renewalCountdown.load(), 20);
  EXPECT_FALSE(info(MAX_PARK_SEL).enabled);
  EXPECT_FALSE(info(nowButton).enabled);

  lf_enable(nowButton, true);
  idle();
  runSeconds.store(44);
  click(nowButton);
  EXPECT_EQ(statusText(), "Wendrix_P3D will update static parking in 1 second ...");

  INITIAL_LOAD_ONLY.value.store(true);
  lf_enable(nowButton, true);
  idle();
  click(nowButton);
  EXPECT_EQ(statusText(), "");
}

TEST_F(WindowCommands, CloseAsksTheRunToEndAndKeepsTheWindow) {
  post(gui::msg::close);
  EXPECT_EQ(statusText(), "Close window button clicked, closing Wendrix_P3D ...");
  EXPECT_TRUE(closeRequested.load());
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::UserClosedSim);
  EXPECT_TRUE(gui::isWindow(window));
  EXPECT_EQ(loopResult.load(), -100);  // the loop runs on until the run has closed down
}

TEST_F(WindowCommands, CloseKeepsAnEarlierReason) {
  gf_requestRunStop(ExitReason::ReaderError, 15);
  post(gui::msg::close);
  EXPECT_TRUE(closeRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::ReaderError);
  EXPECT_EQ(restartDelay.load(), 15);
}

TEST_F(WindowCommands, ANewRunStartsOnlyAfterThePreviousOneHasEnded) {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  std::vector<std::string> events;
  int started = 0;
  windowServices.startUpRun = [&] {
    std::unique_lock lock(mutex);
    const int run = ++started;
    events.push_back(wdrx::format("start {}", run));
    changed.notify_all();
    if (run == 1) changed.wait_for(lock, std::chrono::seconds(10), [&] { return released; });
    events.push_back(wdrx::format("end {}", run));
    changed.notify_all();
  };
  ASSERT_TRUE(gui::postMessage(window, WM_APP_START_RUN, 0, 0));
  ASSERT_TRUE(gui::postMessage(window, WM_APP_START_RUN, 0, 0));
  {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(10), [&] { return started >= 1; });
    // While run 1 goes on, run 2 must not begin (a bounded look for what must not happen).
    EXPECT_FALSE(changed.wait_for(lock, std::chrono::milliseconds(300), [&] { return started >= 2; }));
    released = true;
    changed.notify_all();
    changed.wait_for(lock, std::chrono::seconds(10), [&] { return events.size() == 4; });
  }
  idle();
  runThread.join();
  EXPECT_EQ(events, (std::vector<std::string>{"start 1", "end 1", "start 2", "end 2"}));
}

class WindowQuit : public WindowCommands {
 protected:
  void awaitLoopEnd() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (loopResult.load() == -100 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
};

TEST_F(WindowQuit, QuitStoresThePositionAndEndsTheLoopWithTheExitCode) {
  gf_onGuiThread([this] { gui::moveWindow(window, 123, 456); });
  exitCode.store(1);
  ASSERT_TRUE(gui::postMessage(window, WM_APP_QUIT, 0, 0));
  awaitLoopEnd();
  EXPECT_EQ(loopResult.load(), 1);
  EXPECT_EQ(fileValue("MAIN_WINDOW_X"), "123");
  EXPECT_EQ(fileValue("MAIN_WINDOW_Y"), "456");
}

TEST_F(WindowQuit, AWindowAtTheEdgeOfTheRangeIsPutBackWhereItWasLoaded) {
  MAIN_WINDOW_X.value.store(400);  // as loaded at start
  gf_onGuiThread([this] { gui::moveWindow(window, -30000, 20); });
  ASSERT_TRUE(gui::postMessage(window, WM_APP_QUIT, 0, 0));
  awaitLoopEnd();
  EXPECT_EQ(fileValue("MAIN_WINDOW_X"), "400");
}

TEST_F(WindowQuit, AMinimisedWindowStoresItsNormalPosition) {
  gui::inspect::setShowCommand(window, 2, {200, 300, 1080, 816});
  ASSERT_TRUE(gui::postMessage(window, WM_APP_QUIT, 0, 0));
  awaitLoopEnd();
  EXPECT_EQ(loopResult.load(), 0);
  EXPECT_EQ(MAIN_WINDOW_X.value.load(), 200);
  EXPECT_EQ(MAIN_WINDOW_Y.value.load(), 300);
}

// Windows ends a thread's windows with the thread, without WM_DESTROY reaching the program: such
// a window is let go at its next use, and what was handed to it never runs.
TEST_F(WindowQuit, AWindowEndedWithoutItsDestroyMessageIsLetGo) {
  const gui::WindowProc deaf = [](gui::WindowHandle, std::uint32_t, gui::WParam,
                                  gui::LParam) -> gui::MessageResult { return 0; };
  auto endSilently = [&] {
    ASSERT_TRUE(gui::postMessage(window, WM_APP_QUIT, 0, 0));
    awaitLoopEnd();
    // Here the window outlives its thread: it ends unheard, as on Windows with the thread.
    gui::setWindowProc(window, deaf);
    gf_onGuiThread([this] { hooks.push("for the ended window"); });
    stopWindow();
    hooks.clear();  // on Windows the thread may have ended first: the work then ran at once
  };
  endSilently();
  loopResult.store(-100);
  startWindow();
  std::thread([this] {
    gf_onGuiThread([this] {
      hooks.push(gui::windowThreadIsCurrent(window) ? "on the new window" : "elsewhere");
    });
  }).join();
  idle();
  EXPECT_EQ(hooks.calls(), std::vector<std::string>{"on the new window"});

  endSilently();
  gf_onGuiThread([this] { hooks.push("without a window"); });
  EXPECT_EQ(hooks.calls(), std::vector<std::string>{"without a window"});
  EXPECT_EQ(mainWindow.windowHandle.load(), nullptr);
}

TEST_F(WindowCommands, RefreshCountersStoresTheCountsOfTheRunThread) {
  windowServices.countLiveFlying = [] { return std::uint64_t{17}; };
  windowServices.countParkedLiveAc = [] { return std::uint64_t{4}; };
  windowServices.countStaticAc = [] { return std::uint64_t{9}; };
  realTrafficDisplay.realTrafficLinked.store(true);
  realTrafficDisplay.trafficLamp.store(lampReceiving);
  repaint();
  onRunThread([] { lf_refreshCounters(); });
  EXPECT_EQ(mainWindow.liveCount.load(), 17u);
  EXPECT_EQ(mainWindow.parkedLiveCount.load(), 4u);
  EXPECT_EQ(mainWindow.staticCount.load(), 9u);
  EXPECT_TRUE(drewText("live:  17"));  // the counters band was repainted
  windowServices.countParkedLiveAc = [] { return std::uint64_t{5}; };  // only this one changes
  onRunThread([] { lf_refreshCounters(); });
  EXPECT_EQ(mainWindow.parkedLiveCount.load(), 5u);
}

// The window's place on the screen.
class WindowFit : public WindowTest {
 protected:
  void TearDown() override {
    gui::inspect::setWorkArea(gui::Rect{0, 0, 1920, 1040});
    WindowTest::TearDown();
  }
};

TEST_F(WindowFit, FitsTheWindowOnTheWorkArea) {
  struct Case {
    std::int32_t x, y;
    std::optional<gui::Rect> work;
    std::int32_t fittedX, fittedY;
    bool saved, moved;
  };
  const gui::Rect screen{0, 0, 1920, 1040};
  const Case cases[] = {
      {400, 20, screen, 400, 20, false, false},
      {-30000, 20, screen, 400, 20, true, false},  // the minimum: the default
      {400, 30000, screen, 400, 20, true, false},
      {5000, 20, screen, 1872, 20, true, true},  // right of the last monitor
      {-2000, 20, screen, -832, 20, true, true},  // 48 pixels stay visible
      {400, 100, gui::Rect{0, 0, 1920, 400}, 400, 0, true, true},  // taller than the work area
      {400, 20, gui::Rect{0, 0, 0, 0}, 400, 20, false, false},     // no work area: no change
      {5000, 20, std::nullopt, 5000, 20, false, false},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(parametersFile);
    gui::inspect::setWorkArea(c.work);
    MAIN_WINDOW_X.value.store(c.x);
    MAIN_WINDOW_Y.value.store(c.y);
    onRunThread([] { lf_fitWindowOnMonitor(400, 20); });
    EXPECT_EQ(MAIN_WINDOW_X.value.load(), c.fittedX) << c.x << "," << c.y;
    EXPECT_EQ(MAIN_WINDOW_Y.value.load(), c.fittedY) << c.x << "," << c.y;
    const bool saved = fileValue("MAIN_WINDOW_X") != "<absent>" ||
                       fileValue("MAIN_WINDOW_Y") != "<absent>";
    EXPECT_EQ(saved, c.saved) << c.x << "," << c.y;
    if (c.moved) {
      EXPECT_EQ(fileValue("MAIN_WINDOW_X"), std::to_string(c.fittedX));
      EXPECT_EQ(fileValue("MAIN_WINDOW_Y"), std::to_string(c.fittedY));
      EXPECT_EQ(gui::windowRect(window)->left, c.fittedX);
      EXPECT_EQ(gui::windowRect(window)->top, c.fittedY);
    }
  }
}

class WindowFitAtStart : public WindowFit {
 protected:
  void SetUp() override {
    startWindowInSetUp = false;
    WindowFit::SetUp();
  }
};

TEST_F(WindowFitAtStart, WithoutAWindowOnlyThePositionCounts) {
  MAIN_WINDOW_X.value.store(400);
  MAIN_WINDOW_Y.value.store(20);
  lf_fitWindowOnMonitor(400, 20);  // no window yet: a rectangle without size
  EXPECT_EQ(MAIN_WINDOW_X.value.load(), 400);
  EXPECT_EQ(MAIN_WINDOW_Y.value.load(), 48);
  EXPECT_EQ(fileValue("MAIN_WINDOW_Y"), "48");

  std::filesystem::remove(parametersFile);
  gui::inspect::setWorkArea(gui::Rect{});
  MAIN_WINDOW_Y.value.store(20);
  lf_fitWindowOnMonitor(400, 20);  // an empty work area never moves the stored place
  EXPECT_EQ(MAIN_WINDOW_Y.value.load(), 20);
  EXPECT_EQ(fileValue("MAIN_WINDOW_Y"), "<absent>");
}

TEST_F(WindowCommands, TheOtherSubsystemsReachTheWindowThroughTheirDisplays) {
  std::vector<std::string> calls;
  windowServices.autoRange = [&calls] { calls.push_back("autoRange"); };
  nowButtonAllowed.store(true);
  const auto before = gui::inspect::foreignThreadControlChanges();
  onRunThread([] {
    airportFileDisplay.showParkAirportCode(IcaoCode("EDDF"));
    airportFileDisplay.showAirportLoaded(true, "Frankfurt");
    airportFileDisplay.showReservedStand("V155", true);
    airportFileDisplay.showWantedStatic(40, 25);
    airportFileDisplay.showPassMarks(true, false);
    airportFileDisplay.showStaticAverageFit(4.5f);
    airportFileDisplay.enableDestinationBox();
    meanParkedSlots.store(5.0f);  // half hours
    engineServices.invalidateAirportBand();
    addonScanDisplay.showSimaddonCount(3);
    addonScanDisplay.showThirdpartyCount(5);
    tbloFileCount.store(2);
    addonScanDisplay.showTbloZip(2);
    airportFileDisplay.enableFlushStatic(true);
    airportFileDisplay.showUpdateCount(7);
    airportFileDisplay.disallowNowButton();
    airportFileDisplay.refreshNowButton();
    airportFileDisplay.applyRangeMode();
    simLinkServices.showSimConnected(true);
    simLinkServices.showSimulatorText("Prepar3D v6.0");
  });
  EXPECT_EQ(gui::inspect::foreignThreadControlChanges(), before);
  EXPECT_TRUE(drew(141, 91, "# simaddon: 3", colours::lime));
  EXPECT_TRUE(drew(278, 91, "# thirdp: 5", colours::lime));
  EXPECT_TRUE(drewText(std::string("<=== Mail tblo.zip to ") + tbloSupportAddress + ", pls"));
  EXPECT_TRUE(info(tbloZipButton).enabled);
  EXPECT_TRUE(info(flushStaticButton).enabled);
  EXPECT_TRUE(drew(748, 399, "# updates:    7", colours::lime));
  EXPECT_FALSE(nowButtonAllowed.load());
  EXPECT_FALSE(info(nowButton).enabled);
  EXPECT_EQ(calls, std::vector<std::string>{"autoRange"});  // AUTO_RANGE is on
  EXPECT_TRUE(drew(5, 35, "Prepar3D v6.0", colours::yellow));
  EXPECT_TRUE(drew(5, 399, "EDDF", colours::lime));
  EXPECT_TRUE(drew(45, 399, " Frankfurt, , wk=0", colours::lime));
  EXPECT_TRUE(drew(571, 399, "reserved stand: V155", colours::lime));
  EXPECT_TRUE(drew(370, 399, "*S*", colours::lime));
  EXPECT_TRUE(drew(708, 427, "max park:  40 (=25 %)", colours::lime));
  EXPECT_TRUE(drew(571, 427, "average fit: 4.5", colours::lime));
  EXPECT_TRUE(drew(249, 427, "average fit: 2.5", colours::lime));
  EXPECT_TRUE(info(DESTINATION).enabled);

  onRunThread([] { airportFileDisplay.disableOptionControls(); });
  EXPECT_FALSE(info(MAX_PARK_SEL).enabled);
  onRunThread([] { airportFileDisplay.enableOptionControls(); });
  EXPECT_TRUE(info(MAX_PARK_SEL).enabled);
  EXPECT_EQ(mainWindow.renewalCountdown.load(), 20);

  const auto painted = gui::inspect::paintCount(window);
  onRunThread([] { gf_invalidateOptionsBand(); });
  EXPECT_GT(gui::inspect::paintCount(window), painted);
}

TEST_F(WindowCommands, BuiltInServicesAnswerFromTheEngineTables) {
  auto live = [](const char* callsign, SimState sim, FlightState flight, std::uint32_t objectId) {
    LiveAc ac;
    ac.callsign = callsign;
    ac.simState = sim;
    ac.flightState = flight;
    ac.objectId = objectId;
    return ac;
  };
  liveAcTable.clear();
  staticAcTable.clear();
  liveAcTable.push_back(live("KLM1", SimState::active, FlightState::flying, 5));
  liveAcTable.push_back(live("BAW2", SimState::active, FlightState::parked, 7));
  liveAcTable.push_back(live("AFR3", SimState::buffer, FlightState::flying, 0));
  liveAcTable.push_back(live("DLH4", SimState::active, FlightState::taxi, 9));
  AcBase parkedStatic;
  parkedStatic.simState = SimState::active;
  parkedStatic.objectId = 12;
  staticAcTable.push_back(parkedStatic);
  {
    std::lock_guard lock(simQueueMutex);
    clientEventQueue.clear();
  }

  const WindowServices services = gf_builtInWindowServices();
  EXPECT_EQ(services.flyingCallsigns(), (std::vector<std::string>{"KLM1", "DLH4"}));
  EXPECT_EQ(services.countLiveFlying(), 2u);
  EXPECT_EQ(services.countActiveLiveAc(), 3u);
  services.queueParkedNavLights(true);
  std::vector<std::uint32_t> lit;
  {
    std::lock_guard lock(simQueueMutex);
    for (const auto& event : clientEventQueue) {
      EXPECT_EQ(event.value, 1u);
      lit.push_back(event.objectId);
    }
    clientEventQueue.clear();
  }
  EXPECT_EQ(lit, (std::vector<std::uint32_t>{12, 7}));  // static first, then parked live
  EXPECT_TRUE(services.countStaticAc && services.clearLiveryTables && services.addParkAirport);
  EXPECT_FALSE(services.startUpRun || services.removeFarthestLiveAc || services.autoRange);
  liveAcTable.clear();
  staticAcTable.clear();
}

}  // namespace
