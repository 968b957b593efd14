// The PSX-protocol server against the fake RealTraffic client: handshake and edition, the
// position and time lines, "exit" at close, the lost client, and every wait ending on a stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <memory>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "faketraffic/faketraffic.hpp"
#include "foundation/time_text.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/link_state.hpp"
#include "traffic/psx_server.hpp"
#include "traffic/traffic_fixture.hpp"
#include "traffic/udp_reader.hpp"

namespace {

using faketraffic::PsxClient;
using wdrx::testing::eventually;
using wdrx::testing::TrafficFixture;
using namespace std::chrono_literals;

class PsxServerTest : public TrafficFixture {
 protected:
  void SetUp() override {
    TrafficFixture::SetUp();
    userPosition = UserAircraftState{};
    userPosition.latitude = 51.5;
    userPosition.longitude = -0.1;
    gf_startPsxServer("0");
    port_ = gf_psxServerPort();
    ASSERT_NE(port_, 0);
  }
  void TearDown() override {
    gf_closePsxServer();
    gf_setAbortLiveTraffic(nullptr);
    TrafficFixture::TearDown();
  }
  // Connects the client and runs the handshake on this thread.
  void connectAndWait(PsxClient& client) {
    ASSERT_TRUE(client.connect(port_, 5s));
    gf_waitForRealTraffic();
    ASSERT_TRUE(psxServer.psxConnected.load());
  }
  static std::size_t count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }

  std::uint16_t port_ = 0;
};

TEST_F(PsxServerTest, HandshakeReadsProfessionalEdition) {
  EXPECT_EQ(psxServer.psxListenSocket->localAddress(), "127.0.0.1");  // no other host
  PsxClient client(PsxClient::Options{2, "9.0.1", true, nullptr});
  connectAndWait(client);
  EXPECT_TRUE(client.waitForLine("Qs999=version", 1s));
  EXPECT_TRUE(rtProfessional.load());
  EXPECT_EQ(realTrafficDisplay.realTrafficText(), "RT prof edition: 9.0.1");
  EXPECT_TRUE(realTrafficDisplay.realTrafficLinked.load());
  EXPECT_FALSE(awaitingRealTraffic.load());
  EXPECT_TRUE(logHas("Waiting for RealTraffic to connect to Wendrix_P3D ..."));
  EXPECT_TRUE(logHas("RealTraffic connected"));
  EXPECT_EQ(gf_statusSnapshot().statusText, "");
}

struct VersionCase {
  const char* name;
  std::string answer;
  bool professional;
  std::string text;
  bool logsParseFailure;
};
void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.name; }

class VersionAnswerTest : public TrafficFixture,
                          public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionAnswerTest, Edition) {
  const VersionCase& c = GetParam();
  rtProfessional.store(!c.professional);
  realTrafficDisplay.setRealTrafficText("old");
  lf_processRTVersion(c.answer);
  EXPECT_EQ(rtProfessional.load(), c.professional);
  EXPECT_EQ(realTrafficDisplay.realTrafficText(), c.text);
  const auto lines = logLines();  // the empty answer's error line aside
  if (!c.answer.empty()) {
    ASSERT_EQ(lines.size(), c.logsParseFailure ? 1u : 0u);
  }
  if (c.logsParseFailure) {
    EXPECT_TRUE(lines[0].starts_with("lf_processRTVersion: JSON parse failed: "));
  }
  EXPECT_EQ(gf_statusSnapshot().errorText,
            c.answer.empty() ? "No RealTraffic version received?" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, VersionAnswerTest,
    ::testing::Values(VersionCase{"Level2", R"({"level":2,"version":"9.0.1"})", true,
                                  "RT prof edition: 9.0.1", false},
                      VersionCase{"Level1", R"({"level":1,"version":"9.0.1"})", false,
                                  "RT stnd edition: 9.0.1", false},
                      VersionCase{"NoLevel", R"({"version":"7"})", false, "RT stnd edition: 7",
                                  false},
                      VersionCase{"NoVersion", R"({"level":2})", true, "RT prof edition: ", false},
                      VersionCase{"Empty", "", false, "old", false},
                      VersionCase{"Array", "[2]", false, "", false},
                      VersionCase{"NotJson", "level 2", false, "", true},
                      VersionCase{"LevelWrongType", R"({"level":"2"})", false, "", true},
                      // The level must be a 32-bit integer.
                      VersionCase{"LevelFloat1e10", R"({"level":1e10})", false, "", true},
                      VersionCase{"LevelTwoPointZero", R"({"level":2.0})", false, "", true},
                      VersionCase{"LevelInt32Max", R"({"level":2147483647,"version":"1"})", false,
                                  "RT stnd edition: 1", false},
                      VersionCase{"LevelBeyondInt32", R"({"level":2147483648})", false, "", true},
                      VersionCase{"LevelInt32Min", R"({"level":-2147483648,"version":"1"})",
                                  false, "RT stnd edition: 1", false},
                      VersionCase{"LevelBelowInt32", R"({"level":-2147483649})", false, "", true},
                      VersionCase{"LevelNull", R"({"level":null})", false, "", true},
                      // The version is shown in the window: one short line.
                      VersionCase{"VersionControlCharacters",
                                  "{\"level\":2,\"version\":\"9\\r\\n1\"}", true,
                                  "RT prof edition: 9??1", false},
                      VersionCase{"VersionLong",
                                  R"({"level":2,"version":")" + std::string(100, 'v') + R"("})",
                                  true, "RT prof edition: " + std::string(40, 'v') + "...",
                                  false}),
    [](const auto& info) { return std::string(info.param.name); });

// The client's bytes cut into lines, whatever the segments they came in.
TEST(PsxLineBufferTest, AssemblesLinesAcrossPieces) {
  struct Case {
    std::vector<std::string> pieces;
    std::vector<std::string> lines;
    std::string pending;
  };
  const Case cases[]{
      {{"a\r\n"}, {"a"}, ""},
      {{"{\"lev", "el\":2,\"ver", "sion\":\"9\"}", "\r", "\n"}, {R"({"level":2,"version":"9"})"}, ""},
      {{"a\r\nb\r\n"}, {"a", "b"}, ""},
      {{"a\nb"}, {"a"}, "b"},
      {{"\r\n", "x"}, {""}, "x"},
      {{"no end"}, {}, "no end"},
  };
  for (const Case& c : cases) {
    PsxLineBuffer buffer;
    for (const std::string& piece : c.pieces) EXPECT_TRUE(buffer.append(piece));
    std::vector<std::string> lines;
    while (auto line = buffer.nextLine()) lines.push_back(*line);
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(buffer.takePending(), c.pending);
  }
}

TEST(PsxLineBufferTest, LineWithoutEndIsRefusedAtTheLimit) {
  PsxLineBuffer buffer;
  EXPECT_TRUE(buffer.append(std::string(psxLineLimit - 2, 'x')));
  EXPECT_TRUE(buffer.append("x"));  // one short of the limit
  EXPECT_FALSE(buffer.append("x"));
  EXPECT_EQ(buffer.pendingSize(), psxLineLimit);
  PsxLineBuffer ended;
  EXPECT_TRUE(ended.append(std::string(psxLineLimit + 10, 'x') + "\n"));  // a line end came
}

TEST(PositionLine, Format) {
  // latitude, longitude, pitch, bank, heading, altitude, indicated altitude, above ground, speed
  const std::pair<UserAircraftState, std::string> cases[]{
      // pitch 0 times -100000 is negative zero, printed "-0" as the format gives it
      {{51.5, -0.1}, "Qs121=-0;0;0.000000;0;0;0.898845;-0.001745\r\n"},
      {{52.3, 4.76, 0.05, -0.02, 1.5707963, 0, 2500.4, 0, 140.25},
       "Qs121=-5000;-2000;1.570796;2500400;140250;0.912807;0.083078\r\n"},
      {{-33.9, 151.2, 0.000001, -0.000001, 6.2, 0, 10.0},
       "Qs121=-0;-0;6.200000;10000;0;-0.591667;2.638938\r\n"},
  };
  for (const auto& [state, line] : cases) {
    userPosition = state;
    EXPECT_EQ(gf_userPositionLine(), line);
  }
}

TEST_F(PsxServerTest, AnswerSplitAcrossSegmentsIsAssembled) {
  PsxClient client(PsxClient::Options{0, "", true, nullptr,
                                      "{\"level\":2,\"version\":\"9.2\"}\r\nQs1=x\r\n", 5});
  connectAndWait(client);
  EXPECT_TRUE(rtProfessional.load());
  EXPECT_EQ(realTrafficDisplay.realTrafficText(), "RT prof edition: 9.2");
  EXPECT_FALSE(logHasPart("JSON parse failed"));
}

TEST_F(PsxServerTest, AnswerWithoutLineEndBeforeCloseCounts) {
  PsxClient client(PsxClient::Options{0, "", false, nullptr});
  ASSERT_TRUE(client.connect(port_, 5s));
  auto raw = std::async(std::launch::async, [&] {
    EXPECT_TRUE(client.waitForLine("Qs999=version", 5s));
    client.disconnect();  // closes without answering
  });
  gf_waitForRealTraffic();
  raw.get();
  EXPECT_EQ(gf_statusSnapshot().errorText, "No RealTraffic version received?");
}

TEST_F(PsxServerTest, OverlongAnswerIsAnOverrun) {
  PsxClient client(
      PsxClient::Options{0, "", true, nullptr, std::string(psxLineLimit, '{'), 1});
  connectAndWait(client);
  EXPECT_TRUE(logHas("receive: buffer overrun: 16384"));
  EXPECT_EQ(gf_statusSnapshot().errorText, "No RealTraffic version received?");
}

TEST_F(PsxServerTest, StaleQueuedConnectionsAreDroppedOnceAfterTheClientLeaves) {
  int aborted = 0;
  gf_setAbortLiveTraffic([&] { ++aborted; });
  PsxClient client;
  connectAndWait(client);
  // Attempts queue behind the connected client: three give up, an older one stays open.
  auto older = platform::TcpStream::connectLoopback(port_).stream;
  ASSERT_TRUE(older);
  for (int i = 0; i < 3; ++i) {
    auto gone = platform::TcpStream::connectLoopback(port_).stream;
    ASSERT_TRUE(gone);
    gone->close();
  }
  client.disconnect();
  ASSERT_TRUE(eventually([] {
    gf_sendUserPosition();
    return !psxServer.psxConnected.load();
  }));
  EXPECT_EQ(aborted, 1);

  PsxClient again;  // RealTraffic comes back
  ASSERT_TRUE(again.connect(port_, 5s));
  // The newest attempt has given up too: the live one before it is served, not the newest.
  auto late = platform::TcpStream::connectLoopback(port_).stream;
  ASSERT_TRUE(late);
  late->close();
  gf_sendUserPosition();
  ASSERT_TRUE(psxServer.psxConnected.load());
  EXPECT_TRUE(logHas("waitForClient: 5 stale RealTraffic connections dropped"));
  std::array<char, 16> buffer{};
  const auto closed = older->receive(buffer.data(), buffer.size(), 5s);
  EXPECT_EQ(closed.bytes, 0);  // the older one is closed, not served
  gf_sendUserPosition();
  // Served the wrong one, the next sends would lose it and wait for yet another client.
  ASSERT_TRUE(again.waitForLine("Qs121=", 2s));
  for (int i = 0; i < 2; ++i) gf_sendUserPosition();
  EXPECT_TRUE(psxServer.psxConnected.load());
  EXPECT_EQ(aborted, 1);  // one loss, however many attempts had queued
}

TEST_F(PsxServerTest, PositionAndTimeLinesReachClient) {
  PsxClient client;
  connectAndWait(client);
  gf_sendUserPosition();
  EXPECT_TRUE(
      client.waitForLine(gf_userPositionLine().substr(0, gf_userPositionLine().size() - 2), 2s));
  gf_sendSimTime(0);
  gf_sendSimTime(2);
  EXPECT_TRUE(client.waitForLine("Qs123=2000", 2s));
  EXPECT_EQ(count(client.lines(), "Qs123=0"), 0u);
}

TEST_F(PsxServerTest, CloseSendsExitOnceEvenFromTwoThreadsAndNextRunShakesHandsAgain) {
  PsxClient client;
  connectAndWait(client);
  std::thread other([] { gf_closePsxServer(); });
  gf_closePsxServer();
  other.join();
  EXPECT_TRUE(client.waitForClose(5s));
  EXPECT_EQ(count(client.lines(), "exit"), 1u);
  EXPECT_FALSE(psxServer.psxConnected.load());
  EXPECT_EQ(gf_psxServerPort(), 0);
  EXPECT_FALSE(platform::TcpStream::connectLoopback(port_).stream);

  gf_startPsxServer("0");
  port_ = gf_psxServerPort();
  PsxClient second(PsxClient::Options{1, "9.1", true, nullptr});
  connectAndWait(second);
  EXPECT_TRUE(second.waitForLine("Qs999=version", 1s));
  EXPECT_EQ(realTrafficDisplay.realTrafficText(), "RT stnd edition: 9.1");
}

// The standalone faketraffic ends on "exit" without replaying the rest of its hour.
TEST_F(PsxServerTest, CloseEndsTheStandaloneFakeTrafficBeforeItsScenarioEnds) {
  const std::string scenario = (dir_ / "late.txt").string();
  std::ofstream(scenario) << "3000 qnh {\"QNH\":1013}\n";
  // Detached, with what it uses on the heap: should it play on, the test fails instead of waiting.
  auto args = std::make_shared<std::vector<std::string>>(std::vector<std::string>{
      "faketraffic", "--qnh-port", "9", "--psx-port", std::to_string(port_), "--scenario", scenario});
  auto result = std::make_shared<std::promise<int>>();
  std::future<int> ended = result->get_future();
  std::thread([args, result] {
    std::vector<char*> argv;
    for (std::string& arg : *args) argv.push_back(arg.data());
    result->set_value(faketraffic::runMain(static_cast<int>(argv.size()), argv.data()));
  }).detach();
  gf_waitForRealTraffic();
  ASSERT_TRUE(psxServer.psxConnected.load());
  gf_closePsxServer();
  ASSERT_EQ(ended.wait_for(60s), std::future_status::ready);
  EXPECT_EQ(ended.get(), 0);
}

TEST_F(PsxServerTest, LostClientTakesAircraftOutResetsReadersAndWaitsAgain) {
  int aborted = 0;
  gf_setAbortLiveTraffic([&] { ++aborted; });
  PsxClient client;
  connectAndWait(client);
  trafficReader.trafficQnh.store(1020);
  client.disconnect();  // RealTraffic is killed
  ASSERT_TRUE(eventually([] {
    gf_sendUserPosition();
    return !psxServer.psxConnected.load();
  }));
  EXPECT_EQ(aborted, 1);
  EXPECT_EQ(trafficReader.trafficQnh.load(), 1013);
  EXPECT_FALSE(realTrafficDisplay.realTrafficLinked.load());
  const std::string status = gf_statusSnapshot().statusText;
  EXPECT_TRUE(status.ends_with(" RealTraffic gone? Wait for RealTraffic to re-connect ..."))
      << status;
  EXPECT_TRUE(logHasPart("sendDataPacket to RealTraffic failed: "));
  EXPECT_TRUE(logHas("RealTraffic client socket closed"));

  // RealTraffic comes back: the next call accepts it without a new handshake.
  PsxClient again;
  ASSERT_TRUE(again.connect(port_, 5s));
  gf_sendUserPosition();
  EXPECT_TRUE(psxServer.psxConnected.load());
  EXPECT_TRUE(realTrafficDisplay.realTrafficLinked.load());
  EXPECT_TRUE(logHasPart(" RealTraffic re-connected"));
  EXPECT_EQ(gf_statusSnapshot().statusText, "");
  gf_sendUserPosition();
  EXPECT_TRUE(again.waitForLine("Qs121=", 2s));
  EXPECT_EQ(count(again.lines(), "Qs999=version"), 0u);
}

TEST_F(PsxServerTest, LostClientAfterWindowClosedKeepsAircraft) {
  int aborted = 0;
  gf_setAbortLiveTraffic([&] { ++aborted; });
  PsxClient client;
  connectAndWait(client);
  client.disconnect();
  gf_requestClose();
  ASSERT_TRUE(eventually([] {
    gf_sendUserPosition();
    return !psxServer.psxConnected.load();
  }));
  EXPECT_EQ(aborted, 0);
}

// gf_waitForRealTraffic waits until `end` runs on this thread, then returns soon.
void expectWaitEndsOn(const std::function<void()>& end) {
  auto waiting = std::async(std::launch::async, [] { gf_waitForRealTraffic(); });
  EXPECT_EQ(waiting.wait_for(300ms), std::future_status::timeout);  // really waiting
  end();
  EXPECT_EQ(waiting.wait_for(5s), std::future_status::ready);
}

TEST_F(PsxServerTest, StopRequestEndsWaitForRealTraffic) {
  expectWaitEndsOn([] { gf_requestRunStop(ExitReason::SimConnectError, 9); });
  EXPECT_FALSE(realTrafficDisplay.realTrafficLinked.load());
}

TEST_F(PsxServerTest, CloseFromWindowThreadEndsWaitForRealTraffic) {
  expectWaitEndsOn([] { gf_closePsxServer(); });
}

TEST_F(PsxServerTest, StopRequestEndsWaitForVersionAnswer) {
  PsxClient client(PsxClient::Options{2, "9", false, nullptr});  // never answers
  ASSERT_TRUE(client.connect(port_, 5s));
  expectWaitEndsOn([&] {
    ASSERT_TRUE(client.waitForLine("Qs999=version", 5s));
    gf_requestRunStop(ExitReason::ReaderError, 15);
  });
  EXPECT_FALSE(rtProfessional.load());
}

TEST_F(PsxServerTest, ClientThatStopsReadingCannotStallSends) {
  PsxClient client;
  connectAndWait(client);
  client.setReading(false);
  const std::string chunk(64 * 1024, 'x');
  bool failed = false;
  for (int i = 0; i < 5000 && !failed; ++i) failed = !sendDataPacket(chunk);
  ASSERT_TRUE(failed);
  EXPECT_FALSE(psxServer.psxConnected.load());
  EXPECT_TRUE(logHas("sendDataPacket to RealTraffic failed: 10060 Connection timed out"));
}

TEST_F(PsxServerTest, StartFailuresThrowTheirMessages) {
  const auto startError = [](const std::string& port) -> std::string {
    try {
      gf_startPsxServer(port);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "started";
  };
  EXPECT_EQ(startError(std::to_string(port_)), "Bind failed at port " + std::to_string(port_) +
                                                   " with error 10048 Address already in use");
  EXPECT_TRUE(startError("port").starts_with("getaddrinfo failed with error "));
  EXPECT_EQ(gf_psxServerPort(), port_);  // the running server is untouched
}

TEST_F(PsxServerTest, NoWaitWithoutRealTrafficOrPosition) {
  userPosition.latitude = 0.00005;
  userPosition.longitude = 0.0;
  gf_sendUserPosition();  // position unknown: neither sends nor waits for a client
  realTrafficDetected.store(false);
  userPosition.longitude = 1.0;
  gf_waitForRealTraffic();  // RealTraffic not on this PC: returns at once
  gf_sendUserPosition();
  EXPECT_FALSE(psxServer.psxConnected.load());
  EXPECT_TRUE(logLines().empty());
}

}  // namespace
