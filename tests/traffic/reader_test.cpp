// The reader threads on loopback: repeats, empty and oversized datagrams, lamps and counters,
// stopping through the stop flag, bind failures, the lamp watchdog and the reader reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "airports/park_airport_state.hpp"
#include "faketraffic/faketraffic.hpp"
#include "foundation/time_text.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "support/fake_clock.hpp"
#include "traffic/link_state.hpp"
#include "traffic/qnh.hpp"
#include "traffic/traffic_decoder.hpp"
#include "traffic/traffic_fixture.hpp"
#include "traffic/udp_reader.hpp"

namespace {

namespace f = faketraffic::field;
using faketraffic::TrafficLine;
using faketraffic::UdpSender;
using wdrx::testing::eventually;
using wdrx::testing::TrafficFixture;

class ReaderTest : public TrafficFixture {
 protected:
  // The port the reader has bound once it has lit its lamp.
  static std::uint16_t bound(UdpReader& reader, const std::atomic<std::int32_t>& lamp) {
    EXPECT_TRUE(
        eventually([&] { return reader.boundPort.load() != 0 && lamp.load() == lampReceiving; }));
    return reader.boundPort.load();
  }
  std::uint16_t startTraffic(bool localOnly) {
    gf_startTrafficReader(0, localOnly);
    return bound(trafficReader, realTrafficDisplay.trafficLamp);
  }
  std::uint16_t startQnh() {
    gf_startQnhReader(0);
    return bound(qnhReader, realTrafficDisplay.qnhLamp);
  }
  static std::size_t stacked() {
    std::lock_guard lock(trafficMutex);
    return addingStack.size();
  }
  static std::uint32_t lastStackedId() {
    std::lock_guard lock(trafficMutex);
    return addingStack.empty() ? 0 : addingStack.back().hexid;
  }

  UdpSender sender_;
};

TEST_F(ReaderTest, RepeatsDroppedUnlessRealTrafficRunsHere) {
  for (const bool localOnly : {false, true}) {
    SCOPED_TRACE(localOnly);
    const auto port = startTraffic(localOnly);
    trafficReader.datagramCount.store(0);
    {
      std::lock_guard lock(trafficMutex);
      addingStack.clear();
    }
    const std::string a = TrafficLine().text();
    const std::string b = TrafficLine().set(f::hexid, "4840124").text();
    for (const std::string* line : {&a, &a, &b, &a, &a}) sender_.send(port, *line);
    sender_.send(port, TrafficLine().set(f::hexid, "4840999").text());  // the last one
    ASSERT_TRUE(eventually([] { return lastStackedId() == 4840999u; }));
    const std::size_t expected = localOnly ? 6 : 4;  // alternating lines are never repeats
    EXPECT_EQ(stacked(), expected);
    EXPECT_EQ(trafficReader.datagramCount.load(), expected);  // repeats are not counted
    gf_stopReaders();
    trafficReader.lastDatagram.clear();
  }
}

TEST_F(ReaderTest, QnhRepeatsDroppedUnlessRealTrafficRunsHere) {
  for (const bool local : {false, true}) {
    SCOPED_TRACE(local);
    realTrafficDetected.store(local);
    qnhReader.lastQnh.store(0);
    qnhHpa.store(1013);
    const auto port = startQnh();
    qnhReader.datagramCount.store(0);
    for (const int hpa : {1015, 1015, 1016}) sender_.send(port, faketraffic::qnhDatagram(hpa));
    ASSERT_TRUE(eventually([] { return qnhHpa.load() == 1016; }));
    EXPECT_EQ(qnhReader.datagramCount.load(), local ? 3u : 2u);
    gf_stopReaders();
    qnhReader.lastDatagram.clear();
  }
}

// A datagram is its received length, NUL bytes included: they neither cut the line nor make
// two different datagrams look like repeats.
TEST_F(ReaderTest, DatagramsAreWholeAcrossNulBytes) {
  const auto port = startTraffic(false);
  const auto withNul = [](const char* hexid, const char* after) {
    return TrafficLine::rttfc()
        .set(f::hexid, hexid)
        .set(16, std::string("KL\0", 3) + after)  // an unread field
        .text();
  };
  sender_.send(port, withNul("4840201", "1234"));
  sender_.send(port, withNul("4840201", "5678"));  // differs only after the NUL
  sender_.send(port, TrafficLine::rttfc().set(f::hexid, "4840999").text());
  ASSERT_TRUE(eventually([] { return lastStackedId() == 4840999u; }));
  EXPECT_EQ(stacked(), 3u);
  EXPECT_EQ(trafficReader.drops.droppedTotal(), 0u);
}

// While the decoder is held up, a burst of thousands of datagrams waits in the socket.
TEST_F(ReaderTest, BurstWaitsInTheSocketWhileTheReaderIsBusy) {
  platform::UdpSocket probe;  // what this system grants at all
  ASSERT_EQ(probe.open(), 0);
  ASSERT_EQ(probe.setReceiveBufferSize(trafficReceiveBufferBytes), 0);
  if (probe.receiveBufferSize() < trafficReceiveBufferBytes)
    GTEST_SKIP() << "the system grants a receive buffer of " << probe.receiveBufferSize()
                 << " bytes only";
  const auto port = startTraffic(true);
  EXPECT_GE(trafficReader.socket.receiveBufferSize(), trafficReceiveBufferBytes);
  constexpr int burst = 3000;
  {
    std::lock_guard hold(trafficMutex);  // the first report waits here
    for (int i = 0; i < burst; ++i)
      sender_.send(port, TrafficLine::rttfc().set(f::hexid, std::to_string(5000000 + i)).text());
  }
  EXPECT_TRUE(eventually([] { return stacked() == burst; }, std::chrono::seconds(30)))
      << stacked();
}

TEST_F(ReaderTest, EmptyAndOversizedDatagramsAreNotCountedAndReaderGoesOn) {
  const auto port = startTraffic(true);
  sender_.send(port, "");
  sender_.send(port, std::string(16384, 'x'));
  sender_.send(port, std::string(20000, 'y'));
  sender_.send(port, TrafficLine().text());
  ASSERT_TRUE(eventually([] { return stacked() == 1; }));
  EXPECT_EQ(trafficReader.datagramCount.load(), 1u);
  EXPECT_TRUE(logHas("buffer overrun: 16384 bytes"));  // the first of a quiet minute alone
  EXPECT_EQ(trafficReader.drops.dropped(DropReason::overrun), 1u);  // the next one counted
  EXPECT_TRUE(trafficReader.running.load());
  EXPECT_FALSE(runStopRequested.load());
  EXPECT_EQ(realTrafficDisplay.trafficLamp.load(), lampReceiving);
  // Still reading after the oversized ones.
  sender_.send(port, TrafficLine().set(f::hexid, "4840125").text());
  EXPECT_TRUE(eventually([] { return stacked() == 2; }));
}

// Either port may listen on every interface: a flood of oversized datagrams costs the log one
// line of its own, then the minute's summary line (the Traffic Reader's tally is the same).
TEST_F(ReaderTest, OversizedDatagramsAreCountedForTheMinutesSummary) {
  wdrx::testing::FakeClock clock;
  const auto port = startQnh();
  for (std::uint32_t i = 1; i <= 4; ++i) {
    sender_.send(port, std::string(20000 + i, 'x'));
    ASSERT_TRUE(eventually([i] { return qnhReader.drops.lines() == i; }));
  }
  clock.advance(std::chrono::seconds(60));
  sender_.send(port, faketraffic::qnhDatagram(1020));
  EXPECT_TRUE(eventually([this] {
    return logHas("lf_processQnh: 3 of 5 QNH datagrams dropped in 60 s: 3 buffer overrun; last "
                  "error: buffer overrun: 20004 bytes");
  }));
  const auto lines = logLines();  // the first one alone
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.starts_with("buffer overrun"); }),
            1);
  gf_stopReaders();  // while the clock it reads lives
}

TEST_F(ReaderTest, StopFlagEndsTrafficReaderWithoutError) {
  startTraffic(false);
  EXPECT_EQ(realTrafficDisplay.qnhLamp.load(), lampReceiving);  // the Traffic Reader lights both
  trafficReader.stopFlag.store(true);
  ASSERT_TRUE(eventually([] { return !trafficReader.running.load(); }));
  gf_stopReaders();
  EXPECT_FALSE(trafficReader.thread.joinable());
  EXPECT_EQ(realTrafficDisplay.trafficLamp.load(), lampHidden);
  EXPECT_EQ(realTrafficDisplay.qnhLamp.load(), lampHidden);
  EXPECT_FALSE(runStopRequested.load());
  const auto lines = logLines();
  const std::vector<std::string> expected{"          Traffic Reader connected",
                                          "Traffic Reader has stopped",
                                          "          Traffic Reader disconnected"};
  EXPECT_EQ(lines, expected);
}

TEST_F(ReaderTest, EachReaderEndsTheSocketStartUpItMade) {
  const int before = platform::gf_netStartupCount();
  startTraffic(true);
  startQnh();
  EXPECT_EQ(platform::gf_netStartupCount(), before + 2);
  gf_stopReaders();
  EXPECT_EQ(platform::gf_netStartupCount(), before) << "two start-ups, two clean-ups";
}

TEST_F(ReaderTest, PortInUseEndsReaderWithReaderError) {
  platform::UdpSocket blocker;
  ASSERT_EQ(blocker.open(), 0);
  ASSERT_EQ(blocker.bind(0, true), 0);
  gf_startTrafficReader(blocker.localPort(), true);
  ASSERT_TRUE(eventually([] { return !trafficReader.running.load(); }));
  EXPECT_TRUE(runStopRequested.load());
  EXPECT_EQ(exitReason.load(), ExitReason::ReaderError);
  EXPECT_EQ(restartDelay.load(), 15);
  EXPECT_EQ(gf_statusSnapshot().statusText,
            "The Traffic Reader has stopped with error: bind to stream socket failed, error: "
            "10048 Address already in use");
  EXPECT_EQ(realTrafficDisplay.trafficLamp.load(), lampHidden);
}

TEST_F(ReaderTest, ResetJoinsAStoppingReaderBeforeClearingItsFlag) {
  startTraffic(true);
  trafficReader.stopFlag.store(true);  // closing down asked it to stop ...
  gf_resetReaders();                   // ... and the next run resets at once
  EXPECT_FALSE(trafficReader.thread.joinable());
  EXPECT_FALSE(trafficReader.stopFlag.load());
  // A new reader runs on the same object and receives.
  const auto port = startTraffic(true);
  sender_.send(port, TrafficLine().text());
  EXPECT_TRUE(eventually([] { return stacked() == 1; }));
}

TEST_F(ReaderTest, ResetBringsLinkStateBackAndWatchdogTurnsLampsBySilence) {
  realTrafficDisplay.trafficLamp.store(lampHidden);
  realTrafficDisplay.qnhLamp.store(lampHidden);
  realTrafficDisplay.realTrafficLinked.store(false);
  gf_checkReaderLamps();
  EXPECT_EQ(realTrafficDisplay.trafficLamp.load(), lampHidden);  // not linked: left alone

  trafficReader.trafficQnh.store(1030);
  trafficSourceTime.store(1700000000.0);
  trafficReader.startCallsignCollection();
  trafficReader.insertCallsign("KLM1");
  qnhReader.lastQnh.store(1030);
  qnhReader.datagramCount.store(7);
  qnhReader.lampCount.store(5);
  trafficLampLit.store(false);
  qnhLampLit.store(false);
  gf_resetReaders();
  EXPECT_EQ(trafficReader.trafficQnh.load(), 1013);
  EXPECT_EQ(trafficSourceTime.load(), 0.0);
  EXPECT_EQ(trafficReader.callsignCount(), 0u);
  EXPECT_EQ(qnhReader.lastQnh.load(), 1013);
  EXPECT_TRUE(trafficLampLit.load() && qnhLampLit.load());

  realTrafficDisplay.realTrafficLinked.store(true);
  trafficReader.datagramCount.store(3);
  trafficReader.lampCount.store(3);
  gf_checkReaderLamps();  // nothing arrived since the reset: the QNH counters are 0 again
  EXPECT_EQ(realTrafficDisplay.qnhLamp.load(), lampSilent);
  EXPECT_EQ(realTrafficDisplay.trafficLamp.load(), lampSilent);
  trafficReader.datagramCount.store(5);
  gf_checkReaderLamps();
  EXPECT_EQ(realTrafficDisplay.trafficLamp.load(), lampReceiving);
  EXPECT_EQ(realTrafficDisplay.qnhLamp.load(), lampSilent);
  gf_checkReaderLamps();  // a sender that only repeats itself is silence
  EXPECT_EQ(realTrafficDisplay.trafficLamp.load(), lampSilent);
}

TEST(ScenarioTest, ParsesTimedLinesAndComments) {
  std::istringstream in(
      "# comment\n\n  # indented comment\n0 qnh {\"QNH\":1013}\r\n"
      "1.5 traffic TFC,1,2 with blanks\n2 traffic\n");
  const auto lines = faketraffic::parseScenario(in);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].kind, faketraffic::ScenarioLine::Kind::qnh);
  EXPECT_EQ(lines[0].payload, "{\"QNH\":1013}");
  EXPECT_DOUBLE_EQ(lines[1].offsetSeconds, 1.5);
  EXPECT_EQ(lines[1].payload, "TFC,1,2 with blanks");
  EXPECT_EQ(lines[2].payload, "");
  std::istringstream bad("x traffic a\n");
  EXPECT_THROW(faketraffic::parseScenario(bad), std::runtime_error);
  std::istringstream badKind("1 weather a\n");
  EXPECT_THROW(faketraffic::parseScenario(badKind), std::runtime_error);
}

// Offsets are turned into clock durations: one beyond any replay is refused, not sent.
TEST(ScenarioTest, OffsetBeyondAWeekIsRefused) {
  std::istringstream in("604800 qnh x\n1e10 qnh x\n");
  try {
    faketraffic::parseScenario(in);
    ADD_FAILURE() << "accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "scenario line 2: the offset is beyond a week (604800 s)");
  }
}

// The repository's demo scenario, in the service's current format, through faketraffic into
// both readers (at once, not at its times): every aircraft a user expects arrives.
TEST_F(ReaderTest, DemoScenarioOfTheCurrentFormatReachesTheEngine) {
  Airport schiphol;
  schiphol.icao = IcaoCode("EHAM");
  schiphol.latitude = 52.3083;
  schiphol.longitude = 4.7639;
  parkAirport.store(schiphol);
  parkAirportCode.store(schiphol.icao);
  std::ifstream in(WDRX_DEMO_SCENARIO);
  ASSERT_TRUE(in) << WDRX_DEMO_SCENARIO;
  auto lines = faketraffic::parseScenario(in);
  for (auto& line : lines) line.offsetSeconds = 0.0;
  const auto qnhPort = startQnh();
  const auto trafficPort = startTraffic(true);
  faketraffic::playScenario(lines, trafficPort, qnhPort);
  // A line is decoded once it is stacked or counted as dropped (it is counted as received
  // before it is decoded).
  const DropTally& drops = trafficReader.drops;
  ASSERT_TRUE(eventually([&] { return stacked() + drops.droppedTotal() == 25; }));
  std::map<std::uint32_t, int> reports;
  {
    std::lock_guard lock(trafficMutex);
    for (const LiveReport& report : addingStack) ++reports[report.hexid];
  }
  const std::map<std::uint32_t, int> expected{{4840123, 3}, {4851234, 3}, {11264321, 3},
                                              {4844001, 3}, {4849876, 3}, {4847777, 3}};
  EXPECT_EQ(reports, expected);
  EXPECT_EQ(drops.dropped(DropReason::groundVehicle), 3u);
  EXPECT_EQ(drops.dropped(DropReason::testCallsign), 3u);
  EXPECT_EQ(drops.dropped(DropReason::altitude), 1u);
  EXPECT_EQ(drops.droppedTotal(), 7u);
}

TEST_F(ReaderTest, ScenarioReplayReachesBothReaders) {
  const auto qnhPort = startQnh();
  const auto trafficPort = startTraffic(true);
  std::istringstream in("0 qnh {\"QNH\":1020}\n0.05 traffic " + TrafficLine().text() + "\n");
  faketraffic::playScenario(faketraffic::parseScenario(in), trafficPort, qnhPort);
  EXPECT_TRUE(eventually([] { return qnhHpa.load() == 1020 && stacked() == 1; }));
  EXPECT_EQ(trafficReader.trafficQnh.load(), 1020);
  EXPECT_EQ(realTrafficDisplay.qnhValue.load(), 1020);
  gf_stopReaders();
  EXPECT_EQ(realTrafficDisplay.qnhLamp.load(), lampHidden);
  EXPECT_TRUE(logHas("QNH Reader has stopped"));
  EXPECT_TRUE(logHas("          QNH Reader disconnected"));
}

}  // namespace
