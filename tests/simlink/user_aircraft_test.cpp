#include "simlink/user_aircraft.hpp"

#include <limits>
#include <optional>

#include <gtest/gtest.h>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/reference_db.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "foundation/user_error.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "sim_packets.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_results.hpp"
#include "simlink/sim_services.hpp"
#include "support/temp_dir.hpp"

using namespace simtest;

namespace {
void dispatch(const Packet& p) { lf_simDispatch(p.recv(), p.size(), nullptr); }

UserAircraftState at(double lat, double lon) {
  UserAircraftState s;
  s.latitude = lat;
  s.longitude = lon;
  return s;
}

std::vector<SimResult> takeResults() {
  std::lock_guard lock(simResultMutex);
  return std::exchange(simResultQueue, {});
}
}  // namespace

TEST(UserAircraft, StateDecodedAndJumpEndsTheRunOnce) {
  UserAircraftState s = at(50.0, 8.5);
  s.altitude = -12.0;
  s.groundSpeed = 140.5;
  s.zuluTime = 3600;
  s.zuluDayOfYear = 1;
  s.zuluYear = 2026;
  s.lightStates = 0x1F;
  s.standardAtmTemperature = 518.67;
  rtProfessional.store(true);
  dispatch(userState(s, 7));

  const UserAircraftState got = gf_userAircraftState();
  EXPECT_EQ(got.altitude, 0.0);
  EXPECT_EQ(got.groundSpeed, 140.5);
  EXPECT_EQ(got.lightStates, 0x1F);
  EXPECT_EQ(got.standardAtmTemperature, 518.67);
  EXPECT_EQ(userObjectId.load(), 7u);
  EXPECT_EQ(gf_daysSince1970(2026, 1), 20454);
  EXPECT_EQ(gf_daysSince1970(1970, 1), 0);
  EXPECT_EQ(simUtcSeconds.load(), 20454u * 86400u + 3600u);
  EXPECT_FALSE(runStopRequested.load());  // the first answer is never a jump

  dispatch(userState(at(50.1, 8.5)));  // 6 nm
  EXPECT_FALSE(runStopRequested.load());
  dispatch(userState(at(51.0, 8.5)));  // 54 nm
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::NewFlight);
  EXPECT_EQ(restartDelay.load(), 30);

  restartDelay.store(-1);
  dispatch(userState(at(40.0, 8.5)));
  EXPECT_EQ(restartDelay.load(), -1);  // set once only
}

// Extreme zulu fields (found by fuzzing the user-state packet) overflowed the seconds count.
TEST(UserAircraft, ImplausibleSimulatorTimeIsIgnored) {
  constexpr std::int64_t big = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t small = std::numeric_limits<std::int64_t>::min();
  const struct {
    std::int64_t year, day, time;
    std::optional<std::int64_t> utc;
  } rows[] = {
      {1970, 1, 0, 0},
      {2026, 1, 3600, 20454 * 86400 + 3600},
      {3000, 366, 86399, gf_daysSince1970(3000, 366) * 86400 + 86399},
      {1969, 365, 0, std::nullopt},
      {3001, 1, 0, std::nullopt},
      {2026, 0, 0, std::nullopt},
      {2026, 367, 0, std::nullopt},
      {2026, 1, -1, std::nullopt},
      {2026, 1, 86400, std::nullopt},
      {big, big, big, std::nullopt},
      {small, small, small, std::nullopt},
      {2026, 1, big, std::nullopt},
      {2026, small, 0, std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(gf_simUtcSeconds(row.year, row.day, row.time), row.utc) << row.year << " " << row.day << " " << row.time;
  }

  rtProfessional.store(true);
  UserAircraftState s = at(50.0, 8.5);
  s.zuluYear = 2026;
  s.zuluDayOfYear = 1;
  s.zuluTime = 60;
  dispatch(userState(s));
  s.zuluYear = big;
  s.zuluDayOfYear = big;
  dispatch(userState(s));
  EXPECT_EQ(simUtcSeconds.load(), 20454u * 86400u + 60u);  // the last good time stays
  rtProfessional.store(false);
}

TEST(UserAircraft, OnceASecondAnswerSetsTickAndGround) {
  const std::int64_t onGround = 1;
  dispatch(objectData(8, 108, 1, &onGround, 8));
  EXPECT_TRUE(secondTick.exchange(false));
  EXPECT_FALSE(userOnGround.known.load());  // position still unknown

  dispatch(userState(at(50.0, 8.5)));
  dispatch(objectData(8, 108, 1, &onGround, 8));
  EXPECT_TRUE(secondTick.load());
  EXPECT_TRUE(userOnGround.known.load());
  EXPECT_TRUE(userOnGround.onGround.load());
}

TEST(UserAircraft, RequestsSendNothingWhileTheQueuesAreBlocked) {
  simQueuesBlocked.store(true);
  gf_requestUserAcPosition();
  gf_requestUserAcTitleAndModel();
  EXPECT_FALSE(runStopRequested.load());  // without a connection a sent request would fail
}

TEST(UserAircraft, StandNameShownWhenItChanges) {
  std::vector<std::string> shown;
  std::string stand = "A12";
  simLinkServices.nearestStandName = [&](double, double) { return stand; };
  simLinkServices.showUserStandName = [&](const std::string& name) { shown.push_back(name); };
  dispatch(userState(at(50.0, 8.5)));
  dispatch(userState(at(50.0, 8.5)));
  stand.clear();
  dispatch(userState(at(50.0, 8.5)));
  EXPECT_EQ(shown, (std::vector<std::string>{"A12", ""}));
  EXPECT_EQ(gf_userNearestStand(), "");
  simLinkServices = {};
}

TEST(UserAircraft, TitleCutTo48Characters) {
  std::vector<std::string> shown;
  simLinkServices.showAircraftText = [&](const std::string& t) { shown.push_back(t); };
  const std::string title60 = "Aerosoft A320 Professional Lufthansa D-AIZA with 60 chars xx";
  ASSERT_EQ(title60.size(), 60u);
  dispatch(text(106, title60, 64));
  dispatch(text(106, title60, 64));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], title60.substr(0, 48));
  EXPECT_EQ(gf_userAcTitle(), title60.substr(0, 48));
  // Multi-byte characters are never cut in half.
  std::string mixed = std::string(47, 'a') + "\xC3\xBC" + "bbb";
  dispatch(text(106, mixed, 64));
  EXPECT_EQ(gf_userAcTitle(), std::string(47, 'a') + "\xC3\xBC");
  simLinkServices = {};
}

TEST(UserAircraft, ModelGivesHalfWingSpan) {
  wdrx::testing::TempDir dir;
  gf_openLog();
  lf_fillWingspan("B738", 0.0097);
  lf_fillWingspan("A320", 0.0092);
  lf_fillWingspan("E190", 0.0077);
  gf_modelId("ZZZ9");  // a known code without a span
  maxHalfWingSpan = 0.0432;
  std::vector<bool> marks;
  simLinkServices.showWingSpanKnown = [&](bool known) { marks.push_back(known); };

  struct Case {
    const char* title;
    const char* model;
    double span;
    bool known;
  };
  const Case cases[] = {
      {"Boeing", "B738", 0.0097, true},
      {"Some", "ZZZ9", 0.0432, false},                      // 0.0 means unknown
      {"Some airliner", "LONGMODEL", 0.0432, false},        // 5+ characters
      {"Aerosoft A320 Lufthansa", "LONGMODEL", 0.0092, true},  // deduced from the title
      {"Cam", "camerapod", 0.0077, true},
  };
  for (const auto& c : cases) {
    dispatch(text(106, c.title, 64));
    marks.clear();
    dispatch(text(107, c.model, 32));
    EXPECT_DOUBLE_EQ(userHalfWingSpan.load(), c.span) << c.model;
    EXPECT_EQ(marks, std::vector<bool>{c.known}) << c.model;
  }
  lf_fillWingspan("E190", 0.0);  // the stand-in model without a span: the maximum, not known
  marks.clear();
  dispatch(text(107, "Crew Vessel", 32));
  EXPECT_DOUBLE_EQ(userHalfWingSpan.load(), 0.0432);
  EXPECT_EQ(marks, std::vector<bool>{false});
  EXPECT_THROW(dispatch(text(107, "", 32)), tql::UserErrorException);
  wdrx::testing::closeLog();
  const std::string log = wdrx::testing::readFile(dir / "Log.txt");
  EXPECT_NE(log.find("SimConnect: User aircraft model: B738, half wing span: 18.0 meter, category: "),
            std::string::npos);
  EXPECT_NE(log.find("SimConnect: User aircraft model deduced from title: A320, half wing span: 17.0 meter"),
            std::string::npos);
  EXPECT_NE(log.find("User aircraft wing span unknown, max is taken instead, please report in my Forum!"),
            std::string::npos);
  simLinkServices = {};
}

TEST(AircraftInRange, NearbyAircraftReportedUnlessStarredHighOrAnonymous) {
  userObjectId.store(1);
  dispatch(inRange(1, 0.0, 100.0, 1, "USER"));       // the user's own object
  dispatch(inRange(20, 10.0, 300.0, 1, "DLH1"));
  dispatch(inRange(21, 2600.0, 300.0, 0, "DLH2"));   // too high
  dispatch(inRange(22, 10.0, 300.0, 0, "DLH3*"));
  dispatch(inRange(23, 10.0, 300.0, 0, ""));
  dispatch(inRange(24, 2500.0, 300.0, 0, "DLH4"));  // at the limit: still reported
  dispatch(inRange(25, 2500.5, 300.0, 0, "DLH5"));  // just above it
  // An object removed before any range answer named it is no longer taken for a new one.
  dispatch(objectAddRemove(202, 30));
  dispatch(objectAddRemove(203, 30));
  EXPECT_TRUE(newSimObjects.empty());
  dispatch(inRange(30, 10.0, 300.0, 0, "DLH6"));
  const auto results = takeResults();
  ASSERT_EQ(results.size(), 4u);
  EXPECT_EQ(results[0].objectId, 20u);
  EXPECT_EQ(results[0].key, 1u);
  EXPECT_EQ(results[0].kind, SimResultKind::inRange);
  EXPECT_EQ(results[0].first, 300.0);
  EXPECT_EQ(results[0].second, 10.0);
  EXPECT_EQ(results[1].objectId, 24u);
  EXPECT_EQ(results[1].second, 2500.0);
  EXPECT_EQ(results[2].kind, SimResultKind::removed);
  EXPECT_EQ(results[3].objectId, 30u);
  EXPECT_EQ(results[3].kind, SimResultKind::inRange);
}

TEST(AircraftInRange, CreationFailedOnlyForAKnownSendId) {
  pendingCreations.push_back({41, 0x3C6444, "DLH4", {}});
  pendingCreations.push_back({42, 0x3C6445, "DLH5", {}});
  dispatch(exception(22, 99));
  EXPECT_TRUE(takeResults().empty());
  dispatch(exception(22, 41));
  const auto results = takeResults();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].kind, SimResultKind::creationFailed);
  EXPECT_EQ(results[0].key, 0x3C6444u);
  ASSERT_EQ(pendingCreations.size(), 1u);
  EXPECT_EQ(pendingCreations[0].callsign, "DLH5");
}
