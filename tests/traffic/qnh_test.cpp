// The QNH datagram: its three forms, inches of mercury above 1100, the clamp, the repeat rule,
// the values refused because they are no pressure at all, and the log of refused datagrams.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "traffic/drop_tally.hpp"
#include "traffic/link_state.hpp"
#include "traffic/qnh.hpp"
#include "traffic/traffic_fixture.hpp"
#include "support/fake_clock.hpp"

namespace {

using wdrx::testing::TrafficFixture;

constexpr std::int32_t untouched = 4242;

void handle(const std::string& datagram) { wdrx::testing::feedDatagram(qnhReader, datagram); }

struct QnhCase {
  const char* name;
  std::string datagram;
  std::optional<std::int32_t> applied;  // none: nothing changes
  std::string logLine;  // the log line expected (prefix for "Exception "); empty: none
};
void PrintTo(const QnhCase& c, std::ostream* out) { *out << c.name; }

const std::vector<QnhCase> qnhCases{
    {"Integer1020", R"({"QNH":1020})", 1020, ""},
    {"InchesOfMercury2992", R"({"QNH":2992})", 1013, ""},
    {"InchesOfMercury3100", R"({"QNH":3100})", 1050, ""},
    {"Value1100IsHectopascals", R"({"QNH":1100})", 1100, ""},
    {"Value1101IsInches", R"({"QNH":1101})", 900, ""},
    {"ClampLow850", R"({"QNH":850})", 900, ""},
    {"Value1150IsInchesThenClamped", R"({"QNH":1150})", 900, ""},
    {"Floating1013Point6", R"({"QNH":1013.6})", 1014, ""},
    {"FloatingHalfAwayFromZero", R"({"QNH":1012.5})", 1013, ""},
    {"String1013Point6", R"({"QNH":"1013.6"})", 1013, ""},
    {"StringInches", R"({"QNH":"2992"})", 1013, ""},
    {"OtherMembersIgnored", R"({"ICAO":"EHAM","QNH":1009,"temp":12})", 1009, ""},
    {"StringOfLetters", R"({"QNH":"abc"})", std::nullopt,
     R"(==> QNH string parse error: abc in {"QNH":"abc"})"},
    {"Boolean", R"({"QNH":true})", std::nullopt, R"(no QNH {"QNH":true})"},
    {"MemberMissing", R"({"qnh":1013})", std::nullopt, R"(no QNH {"qnh":1013})"},
    {"MemberNull", R"({"QNH":null})", std::nullopt, R"(no QNH {"QNH":null})"},
    {"MemberEmptyArray", R"({"QNH":[]})", std::nullopt, R"(no QNH {"QNH":[]})"},
    {"MemberEmptyObject", R"({"QNH":{}})", std::nullopt, R"(no QNH {"QNH":{}})"},
    {"MemberNonEmptyArray", R"({"QNH":[1013]})", std::nullopt, R"(no QNH {"QNH":[1013]})"},
    {"NotJson", "QNH=1013", std::nullopt, "Exception "},
    {"JsonArray", "[1013]", std::nullopt, "Exception "},
    {"IntegerBeyondI32", R"({"QNH":5000000000})", std::nullopt, "Exception "},
    {"FloatBeyondI32", R"({"QNH":1e12})", std::nullopt, "Exception "},
    {"FloatBeyondFloat", R"({"QNH":1e39})", std::nullopt, "Exception "},
    // No pressure at all: refused, the previous QNH stays.
    {"Zero", R"({"QNH":0})", std::nullopt, R"(QNH 0 rejected, in {"QNH":0})"},
    {"Negative", R"({"QNH":-1013})", std::nullopt, R"(QNH -1013 rejected, in {"QNH":-1013})"},
    {"NegativeString", R"({"QNH":"-5"})", std::nullopt, R"(QNH -5 rejected, in {"QNH":"-5"})"},
    {"FloatRoundsToZero", R"({"QNH":0.4})", std::nullopt, R"(QNH 0 rejected, in {"QNH":0.4})"},
    {"StringNan", R"({"QNH":"nan"})", std::nullopt,
     R"(==> QNH string parse error: nan in {"QNH":"nan"})"},
    // Datagram texts in the log cannot start lines of their own.
    {"StringWithLineFeed", R"({"QNH":"a\nb"})", std::nullopt,
     R"(==> QNH string parse error: a?b in {"QNH":"a\nb"})"},
    {"RawLineBreaksReplaced", "{\"qnh\":1}\r\n2024 forged", std::nullopt, "Exception "},
};

class QnhTest : public TrafficFixture, public ::testing::WithParamInterface<QnhCase> {};

TEST_P(QnhTest, Datagram) {
  const QnhCase& c = GetParam();
  qnhReader.lastQnh.store(1013);
  trafficReader.trafficQnh.store(untouched);
  qnhHpa.store(untouched);
  realTrafficDisplay.qnhValue.store(untouched);
  realTrafficDisplay.qnhLamp.store(lampSilent);
  handle(c.datagram);

  const std::int32_t expected = c.applied.value_or(untouched);
  EXPECT_EQ(trafficReader.trafficQnh.load(), expected);
  EXPECT_EQ(qnhHpa.load(), expected);
  EXPECT_EQ(realTrafficDisplay.qnhValue.load(), expected);
  EXPECT_EQ(qnhReader.lastQnh.load(), c.applied.value_or(1013));
  EXPECT_EQ(realTrafficDisplay.qnhLamp.load(), c.applied ? lampReceiving : lampSilent);

  const auto lines = logLines();
  ASSERT_EQ(lines.size(), c.logLine.empty() ? 0u : 1u);
  if (c.logLine == "Exception ") {  // the parser's own message in the middle
    EXPECT_TRUE(lines[0].starts_with("Exception ") &&
                lines[0].ends_with(", in " + gf_logSafeText(c.datagram)))
        << lines[0];
  } else if (!lines.empty()) {
    EXPECT_EQ(lines[0], c.logLine);
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, QnhTest, ::testing::ValuesIn(qnhCases),
                         [](const auto& info) { return std::string(info.param.name); });

using QnhRepeatTest = TrafficFixture;

TEST_F(QnhRepeatTest, RepeatedValueIsSkippedExcept1013) {
  int invalidations = 0;
  gf_setCountersBandNotifier([&] { ++invalidations; });
  qnhReader.lastQnh.store(1013);
  handle(R"({"QNH":1015})");
  EXPECT_EQ(qnhHpa.load(), 1015);
  EXPECT_EQ(invalidations, 1);

  qnhHpa.store(untouched);
  handle(R"({"QNH":1015})");
  EXPECT_EQ(qnhHpa.load(), untouched);
  EXPECT_EQ(invalidations, 1);  // nothing redrawn

  handle(R"({"QNH":1013})");
  qnhHpa.store(untouched);
  handle(R"({"QNH":1013})");
  EXPECT_EQ(qnhHpa.load(), 1013);
  EXPECT_EQ(invalidations, 3);
  gf_setCountersBandNotifier(nullptr);
}

// The port may listen on every interface: a sender of bad datagrams costs at most two log lines
// a minute, and the QNH stays.
TEST_F(QnhRepeatTest, RefusedDatagramsAfterTheFirstAreSummedUpOnceAMinute) {
  using namespace std::chrono_literals;
  wdrx::testing::FakeClock clock;
  qnhReader.lastQnh.store(1013);
  handle(R"({"qnh":1})");
  handle(R"({"QNH":"abc"})");
  handle("QNH=1013");
  handle(R"({"QNH":0})");
  handle(R"({"QNH":1015})");
  clock.advance(59s);
  handle("{\"QNH\":\r\nfalse}");
  EXPECT_EQ(logLines(), std::vector<std::string>{R"(no QNH {"qnh":1})"});
  EXPECT_EQ(qnhHpa.load(), 1015);
  EXPECT_EQ(qnhReader.lastQnh.load(), 1015);

  clock.advance(1s);
  handle(R"({"QNH":1016})");
  auto lines = logLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "lf_processQnh: 4 of 7 QNH datagrams dropped in 60 s: 1 no QNH, 1 "
                      "unreadable QNH text, 1 not a pressure, 1 bad datagram; last error: no QNH "
                      "{\"QNH\":??false}");
  EXPECT_EQ(qnhHpa.load(), 1016);

  // A minute without refusals ends quietly; the next refusal has its own line again.
  clock.advance(60s);
  handle(R"({"QNH":1017})");
  clock.advance(1s);
  handle(R"({"QNH":1017})");
  handle(R"({"QNH":[]})");
  handle(R"({"QNH":"x"})");
  lines = logLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], R"(no QNH {"QNH":[]})");

  // The reader's stop writes what is left.
  clock.advance(2s);
  qnhReader.onStopped();
  lines = logLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3], "lf_processQnh: 1 of 3 QNH datagrams dropped in 2 s: 1 unreadable QNH "
                      "text; last error: QNH string parse error: x in {\"QNH\":\"x\"}");
  EXPECT_EQ(lines[4], "QNH Reader has stopped");
  EXPECT_EQ(qnhHpa.load(), 1017);
}

}  // namespace
