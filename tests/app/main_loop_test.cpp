// The main loop on the fake clock: its 10 ms grid and the periodic jobs of each second.
#include "app/main_loop.hpp"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "config/settings.hpp"
#include "foundation/time_text.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "shell_fixture.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/link_state.hpp"
#include "window/main_window.hpp"
#include "window/window_controls.hpp"

namespace shell_test {
namespace {

class MainLoop : public ShellTest {
 protected:
  MainLoop() {
    realTrafficDisplay.trafficLamp.store(lampReceiving);
    realTrafficDisplay.qnhLamp.store(lampReceiving);
    // Each job records the running second it came in.
    auto job = [this](const char* name) {
      return [this, name] { seconds[name].push_back(runSeconds.load()); };
    };
    runServices.staticParkingTick = [this](bool first) {
      seconds[first ? "tick first" : "tick16"].push_back(runSeconds.load());
    };
    runServices.checkReaderLamps = job("lamps");
    runServices.removeStaticTwins = job("twins");
    runServices.setReaderUserPosition = [this](const LatLon&) { seconds["five"].push_back(runSeconds.load()); };
    runServices.firstParkAirport = [this]() -> std::optional<LatLon> {
      seconds["autoRange"].push_back(runSeconds.load());
      return std::nullopt;
    };
    runServices.logUnmatchedAircraft = job("unmatched");
    runServices.logMatchingSummary = job("summary");
    runServices.startCallsignCollection = job("collect");
    runServices.parkingAdjustments = job("adjust");
  }

  // One step in which the simulator's second has come.
  bool second() {
    secondTick.store(true);
    return lf_mainLoopStep();
  }

  std::map<std::string, std::vector<std::int32_t>> seconds;
};

std::vector<std::int32_t> upTo400(bool (*rule)(int)) {
  std::vector<std::int32_t> result;
  for (int n = 1; n <= 400; ++n)
    if (rule(n)) result.push_back(n);
  return result;
}

TEST_F(MainLoop, EachJobAtItsSecondsOverTheFirst400) {
  for (int i = 0; i < 400; ++i) ASSERT_TRUE(second());
  EXPECT_EQ(runSeconds.load(), 400);
  // Jobs of a period that is not a multiple of 5 skip the seconds that are.
  EXPECT_EQ(seconds["tick16"], (std::vector<std::int32_t>{16, 32, 48, 64, 96, 112, 128, 144, 176,
                                                          192, 208, 224, 256, 272, 288, 304, 336,
                                                          352, 368, 384}));
  EXPECT_EQ(seconds["lamps"], (std::vector<std::int32_t>{59, 118, 177, 236, 354}));
  EXPECT_EQ(seconds["twins"], (std::vector<std::int32_t>{61, 122, 183, 244, 366}));
  EXPECT_EQ(seconds["five"], upTo400([](int n) { return n % 5 == 0; }));
  EXPECT_EQ(seconds["autoRange"], upTo400([](int n) { return n % 30 == 0; }));
  EXPECT_TRUE(seconds["unmatched"].empty());
  EXPECT_TRUE(seconds["summary"].empty());
  // The renewal countdown went down once a minute: 60, 120, ..., 360.
  EXPECT_EQ(parkingCountdown.load(), 14);
  EXPECT_EQ(mainWindow.renewalCountdown.load(), 14);
  EXPECT_EQ(calls.count("engineCycle"), 400);
  EXPECT_FALSE(calls.saw("sendSimTime 1700000000"));  // not the professional edition
  EXPECT_FALSE(calls.saw("removeAcAtStand "));        // no reserved stand
}

// Every job switched on over two renewals of static parking: each job at its seconds (an
// update announced at 1200 and 2400, started 15 s later and done 30 s later, while the
// 16-second driver waits), and the jobs of one second in their order.
TEST_F(MainLoop, EveryJobAtItsSecondsOverTwoRenewals) {
  std::vector<std::pair<std::int32_t, std::string>> events;
  auto job = [&events](const char* name) { return [&events, name] { events.emplace_back(runSeconds.load(), name); }; };
  runServices.takeParkedAircraft = [job](std::uint64_t) { job("parked")(); };
  runServices.setReaderUserPosition = [job](const LatLon&) { job("userPosition")(); };
  runServices.sendSimTime = [job](std::int64_t) { job("simTime")(); };
  runServices.reservedStandName = [] { return std::string("D7"); };
  runServices.removeAcAtStand = [job](const std::string&) { job("standClear")(); };
  runServices.staticParkingTick = [job](bool) { job("tick16")(); };
  runServices.checkReaderLamps = job("lamps");
  runServices.removeStaticTwins = job("twins");
  runServices.firstParkAirport = [job]() -> std::optional<LatLon> {
    job("autoRange")();
    return std::nullopt;
  };
  runServices.clearUnmatchedAircraft = job("retryLiveries");
  runServices.logUnmatchedAircraft = job("unmatchedLog");
  runServices.startCallsignCollection = job("collect");
  runServices.parkingAdjustments = [job] {
    job("adjust")();
    gf_enableOptionControls();  // as the parking code does when it is done
  };
  rtProfessional.store(true);
  staticParkingActive.store(true);
  matchingDepthRaised.store(true);
  for (int i = 0; i < 2430; ++i) ASSERT_TRUE(second());

  const struct {
    const char* job;
    bool (*due)(int);
  } rules[] = {
      {"parked", [](int) { return true; }},
      {"userPosition", [](int n) { return n % 5 == 0; }},
      {"simTime", [](int n) { return n % 5 == 0; }},
      {"standClear", [](int n) { return n % 5 == 0; }},
      {"tick16", [](int n) { return n % 16 == 0 && n % 5 != 0 && (n < 1200 || n % 1200 != 16); }},
      {"lamps", [](int n) { return n % 59 == 0 && n % 5 != 0; }},
      {"twins", [](int n) { return n % 61 == 0 && n % 5 != 0; }},
      {"autoRange", [](int n) { return n % 30 == 0; }},
      {"retryLiveries", [](int n) { return n == 30; }},
      {"unmatchedLog", [](int n) { return n % 1200 == 0; }},
      {"collect", [](int n) { return n > 1200 && n % 1200 == 15; }},
      {"adjust", [](int n) { return n > 1200 && n % 1200 == 30; }},
  };
  for (const auto& rule : rules) {
    std::vector<std::int32_t> wanted;
    std::vector<std::int32_t> got;
    for (int n = 1; n <= 2430; ++n)
      if (rule.due(n)) wanted.push_back(n);
    for (const auto& [n, name] : events)
      if (name == rule.job) got.push_back(n);
    EXPECT_EQ(got, wanted) << rule.job;
  }
  const auto jobsAt = [&events](std::int32_t n) {
    std::vector<std::string> names;
    for (const auto& [at, name] : events)
      if (at == n) names.push_back(name);
    return names;
  };
  EXPECT_EQ(jobsAt(1200), (std::vector<std::string>{"parked", "userPosition", "simTime", "standClear",
                                                    "autoRange", "unmatchedLog"}));
  EXPECT_EQ(jobsAt(1230), (std::vector<std::string>{"parked", "userPosition", "simTime", "standClear",
                                                    "adjust", "autoRange"}));
}

// The renewal countdown announces an update when it drops below 1, only while static parking
// runs, INITIAL_LOAD_ONLY is off and no update is busy or asked for; it starts again at 20.
TEST_F(MainLoop, TheRenewalAnnouncesAnUpdateOnlyWhenNoneIsUnderWay) {
  struct Row {
    const char* name;
    std::int32_t countdown;
    bool active, initialOnly, busy, requested, announced;
  };
  const Row rows[] = {
      {"due", 1, true, false, false, false, true},
      {"a minute before", 2, true, false, false, false, false},
      {"no static parking", 1, false, false, false, false, false},
      {"initial load only", 1, true, true, false, false, false},
      {"update busy", 1, true, false, true, false, false},
      {"update asked for", 1, true, false, false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    resetShellState();
    bindDoubles();
    parkingCountdown.store(row.countdown);
    staticParkingActive.store(row.active);
    INITIAL_LOAD_ONLY.value.store(row.initialOnly);
    parkingUpdateBusy.store(row.busy);
    parkingUpdateRequested.store(row.requested);
    runSeconds.store(1200);
    lf_everyThirtySeconds();
    EXPECT_EQ(gf_statusSnapshot().statusText.find("will update static parking") != std::string::npos,
              row.announced);
    EXPECT_EQ(parkingCountdown.load(), row.countdown == 1 ? 20 : row.countdown - 1);
    EXPECT_EQ(mainWindow.renewalCountdown.load(), parkingCountdown.load());
  }
}

TEST_F(MainLoop, ASilentLampIsCheckedEveryFifteenSeconds) {
  realTrafficDisplay.qnhLamp.store(lampSilent);
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(second());
  EXPECT_EQ(seconds["lamps"], (std::vector<std::int32_t>{15, 30, 45, 59, 60}));
}

TEST_F(MainLoop, TheScheduleBeginsAnewAfter86400RunningSeconds) {
  runSeconds.store(86'390);
  std::vector<std::int32_t> after;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(second());
    after.push_back(runSeconds.load());
  }
  EXPECT_EQ(seconds["summary"], (std::vector<std::int32_t>{0}));  // the count is back at 0
  EXPECT_EQ(seconds["unmatched"], (std::vector<std::int32_t>{86'400}));
  EXPECT_TRUE(calls.saw("clearCreationRequests"));
  EXPECT_EQ(after[9], 0);  // the second of 86400 ends at 0
  EXPECT_EQ(after[10], 1);
  EXPECT_EQ(seconds["five"].back(), 10);  // 5 and 10 of the new count
  EXPECT_EQ(seconds["five"][seconds["five"].size() - 2], 5);
}

TEST_F(MainLoop, WithoutASimulatorSecondOnlyTheEngineRuns) {
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(lf_mainLoopStep());
  EXPECT_EQ(calls.count("engineCycle"), 1000);
  EXPECT_EQ(runSeconds.load(), 0);
  EXPECT_TRUE(seconds.empty());
}

TEST_F(MainLoop, AnAnnouncedUpdateStartsAtFifteenAndCompletesAtThirty) {
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(second());
  parkingUpdateRequested.store(true);
  gf_postError("an old error");
  for (int i = 7; i < 40; ++i) ASSERT_TRUE(second());
  EXPECT_EQ(seconds["collect"], (std::vector<std::int32_t>{15}));
  EXPECT_EQ(seconds["adjust"], (std::vector<std::int32_t>{30}));
  // Between the two phases the 16-second driver waits.
  EXPECT_EQ(seconds["tick16"], (std::vector<std::int32_t>{32}));
  EXPECT_FALSE(parkingUpdateRequested.load());
  EXPECT_FALSE(parkingUpdatePhase.load());
  EXPECT_TRUE(gf_statusSnapshot().errorText.empty());
  EXPECT_TRUE(parkingUpdateBusy.load());  // the parking code enables the controls when done
}

TEST_F(MainLoop, NoAdjustmentWithoutAParkAirportsStands) {
  runServices.parkingAdjustable = [] { return false; };
  parkingUpdateRequested.store(true);
  for (int i = 0; i < 31; ++i) ASSERT_TRUE(second());
  EXPECT_TRUE(seconds["adjust"].empty());
  EXPECT_FALSE(parkingUpdateRequested.load());
}

TEST_F(MainLoop, TheWindowsRequestsAreTakenOnce) {
  BLOCK_CALLSIGN.value.store("KLM1234");
  blockRequested.store(true);
  flushStaticRequested.store(true);
  callsignListRequested.store(true);
  INITIAL_LOAD_ONLY.value.store(false);
  ASSERT_TRUE(second());
  ASSERT_TRUE(second());
  EXPECT_EQ(calls.count("removeBlocked KLM1234"), 1);
  EXPECT_EQ(calls.count("removeAllStaticAc"), 1);
  EXPECT_TRUE(INITIAL_LOAD_ONLY.value.load());
  EXPECT_FALSE(blockRequested.load());
  EXPECT_FALSE(callsignListRequested.load());

  // A blocked callsign that was taken back removes nothing.
  BLOCK_CALLSIGN.value.store("");
  blockRequested.store(true);
  ASSERT_TRUE(second());
  EXPECT_EQ(calls.count("removeBlocked "), 0);
  EXPECT_FALSE(blockRequested.load());
}

TEST_F(MainLoop, TheReReadWaitsWhileAnUpdateRunsAndIsDoneOnce) {
  rereadRequested.store(true);
  parkingUpdateBusy.store(true);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(second());
  EXPECT_FALSE(calls.saw("recheckParkAirports"));
  EXPECT_TRUE(rereadRequested.load());
  parkingUpdateBusy.store(false);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(second());
  EXPECT_EQ(calls.count("recheckParkAirports"), 1);
  EXPECT_EQ(gf_statusSnapshot().statusText, "park airports and stands are okay");
}

TEST_F(MainLoop, TheUserAircraftDecidesWhichSpotIsCleared) {
  COLLISION_LIVE_PARKED_GND.value.store(true);
  userOnGround.onGround.store(true);
  ASSERT_TRUE(second());
  COLLISION_USER_GND.value.store(false);
  ASSERT_TRUE(second());
  userOnGround.onGround.store(false);
  ASSERT_TRUE(second());
  COLLISION_USER_AIR.value.store(false);
  COLLISION_LIVE_PARKED_GND.value.store(false);
  ASSERT_TRUE(second());
  EXPECT_EQ(calls.count("clearUserSpot"), 1);
  EXPECT_EQ(calls.count("clearUserPath"), 1);
  EXPECT_EQ(calls.count("removeStaticInLivePaths"), 3);
}

TEST_F(MainLoop, APauseIsLoggedOnceEachWayAndKeepsTheLinkAlive) {
  bool runs = true;
  runServices.flightRuns = [&runs] { return runs; };
  ASSERT_TRUE(second());
  runs = false;
  for (int i = 0; i < 250; ++i) ASSERT_TRUE(lf_mainLoopStep());
  EXPECT_EQ(calls.count("handleSimResults"), 250);
  EXPECT_EQ(calls.count("clearPositionBuffers"), 1);
  EXPECT_EQ(calls.count("sendUserPosition"), 2);  // once every 100 steps
  EXPECT_EQ(calls.indexOf("acceptTraffic 0") < calls.indexOf("clearPositionBuffers"), true);
  runs = true;
  ASSERT_TRUE(second());
  ASSERT_TRUE(second());
  const std::string log = logText();
  const auto count = [&log](const std::string& text) {
    int n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("Flight not running"), 1);
  EXPECT_EQ(count("Flight resumed"), 1);
  EXPECT_EQ(calls.count("acceptTraffic 1"), 1);
  EXPECT_EQ(runSeconds.load(), 3);  // paused time is no running second
}

TEST_F(MainLoop, AStopEndsTheLoopAtItsSecond) {
  ASSERT_TRUE(second());
  gf_requestClose();
  EXPECT_TRUE(lf_mainLoopStep());  // the engine's step: the stop is seen at the second
  EXPECT_FALSE(second());
}

// The loop proper: its grid on the steady clock.
class MainLoopGrid : public MainLoop {
 protected:
  MainLoopGrid() {
    runServices.engineCycle = [this] {
      const std::int64_t now = nowMs();
      steps.push_back(now);
      if (onStep) onStep(static_cast<int>(steps.size()), now);
    };
  }
  // Ends the loop at that step (a close arriving with the simulator's second).
  void endAt(int step, int n) {
    if (step == n) {
      gf_requestClose();
      secondTick.store(true);
    }
  }

  std::vector<std::int64_t> steps;
  std::function<void(int, std::int64_t)> onStep;
};

TEST_F(MainLoopGrid, StepsEveryTenMilliseconds) {
  onStep = [this](int n, std::int64_t) { endAt(20, n); };
  lf_mainLoop();
  ASSERT_EQ(steps.size(), 20u);
  for (std::size_t i = 1; i < steps.size(); ++i) EXPECT_EQ(steps[i] - steps[i - 1], 10) << i;
  EXPECT_EQ(seconds["tick first"].size(), 1u);
  EXPECT_EQ(calls.indexOf("acceptTraffic 1"), 0);
}

TEST_F(MainLoopGrid, ALateStepCatchesUpUpTo100MillisecondsThenStartsANewGrid) {
  onStep = [this](int n, std::int64_t) {
    if (n == 3) clock.advance(std::chrono::milliseconds(60));   // 60 ms late: caught up
    if (n == 8) clock.advance(std::chrono::milliseconds(150));  // too late: a new grid
    endAt(14, n);
  };
  lf_mainLoop();
  ASSERT_EQ(steps.size(), 14u);
  const std::int64_t t0 = steps[0];
  // Steps 4 to 8 were due at 30..70 ms: after step 3 ended at 80 ms each runs at once.
  for (std::size_t i = 3; i <= 7; ++i) EXPECT_EQ(steps[i], t0 + 80) << i;
  // Step 9 comes 10 ms after the late step 8, and the grid goes on from there.
  EXPECT_EQ(steps[8], steps[7] + 150 + 10);
  EXPECT_EQ(steps[9], steps[8] + 10);
}

TEST_F(MainLoopGrid, AStepLateByMoreThan100MillisecondsOnlyStartsANewGrid) {
  // A step that takes 110 ms ends exactly 100 ms after the next step's time: caught up. One
  // that takes 111 ms is more than 100 ms behind: the next step comes 10 ms later.
  for (const int took : {110, 111}) {
    SCOPED_TRACE(took);
    resetShellState();
    bindDoubles();
    steps.clear();
    runServices.engineCycle = [this, took] {
      steps.push_back(nowMs());
      if (steps.size() == 2) clock.advance(std::chrono::milliseconds(took));
      endAt(4, static_cast<int>(steps.size()));
    };
    lf_mainLoop();
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[2] - steps[1], took == 110 ? 110 : 121);
  }
}

TEST_F(MainLoopGrid, TheSimulatorsSecondStartsTheGridAnew) {
  // The sleeps overshoot by 4 ms; only the simulator's second moves the grid to the real time.
  // The second comes from the simulator link while the loop sleeps after step 5.
  bool tickInSleep = false;
  gf_setRunSleeper([this, &tickInSleep](std::chrono::nanoseconds duration) {
    clock.advance(duration + std::chrono::milliseconds(4));
    if (tickInSleep) secondTick.store(true);
    tickInSleep = false;
  });
  onStep = [this, &tickInSleep](int n, std::int64_t) {
    if (n == 5) tickInSleep = true;
    endAt(9, n);
  };
  lf_mainLoop();
  ASSERT_EQ(steps.size(), 9u);
  const std::int64_t t0 = steps[0];
  EXPECT_EQ(steps[1], t0 + 14);  // due at 10, overslept
  EXPECT_EQ(steps[2], t0 + 24);  // due at 20: the grid holds
  EXPECT_EQ(steps[4], t0 + 44);
  // After step 5 the second tick was pending: step 6 (due at 50) came at 54, the grid follows it.
  EXPECT_EQ(steps[5], t0 + 54);
  EXPECT_EQ(steps[6], t0 + 68);  // due at 64, overslept
}

}  // namespace
}  // namespace shell_test
