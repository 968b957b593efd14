// The traffic decoder step by step: which lines become reports, with which values, and which
// are dropped under which reason. Every row runs on the short line and on the service's
// current 43-field format; a dropped line writes no log line of its own, only the summary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "aircraft/aircraft_codes.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "faketraffic/faketraffic.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/time_text.hpp"
#include "records/engine_cycle.hpp"
#include "support/fake_clock.hpp"
#include "traffic/traffic_decoder.hpp"
#include "traffic/traffic_fixture.hpp"
#include "trafficgen/trafficgen.hpp"

namespace {

namespace f = faketraffic::field;
using faketraffic::TrafficLine;
using wdrx::testing::feedDatagram;
using wdrx::testing::TrafficFixture;
using namespace std::chrono_literals;

// A park airport `distanceNm` due south of the default line's position.
void setParkAirport(double distanceNm, float altitudeFeet = 0.0f) {
  Airport airport;
  airport.icao = IcaoCode("EHAM");
  airport.latitude = 52.3 - distanceNm / 60.0;
  airport.longitude = 4.76;
  airport.altitude = altitudeFeet;
  parkAirport.store(airport);
  parkAirportCode.store(airport.icao);
}

using Fields = std::vector<std::pair<std::size_t, std::string>>;
using Check = std::function<void(const LiveReport&)>;
struct DecodeCase {
  const char* name;
  Fields fields;
  std::function<void()> setup;  // before decoding
  bool pushed;
  std::optional<DropReason> reason;  // of a dropped line
  std::string error;  // the message a bad field leaves; empty for the silent filters
  Check check;
};
void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.name; }

// Reported (and checked), dropped by a filter, or dropped for a bad field with its message.
DecodeCase pass(const char* name, Fields fields, Check check = nullptr,
                std::function<void()> setup = nullptr) {
  return {name, std::move(fields), std::move(setup), true, std::nullopt, "", std::move(check)};
}
DecodeCase drop(const char* name, Fields fields, DropReason reason,
                std::function<void()> setup = nullptr) {
  return {name, std::move(fields), std::move(setup), false, reason, "", nullptr};
}
DecodeCase fail(const char* name, Fields fields, DropReason reason, std::string error) {
  return {name, std::move(fields), nullptr, false, reason, std::move(error), nullptr};
}

TrafficLine lineOf(bool rttfc, const Fields& fields) {
  TrafficLine line = rttfc ? TrafficLine::rttfc() : TrafficLine();
  for (const auto& [index, value] : fields) line.set(index, value);
  return line;
}

Check altitudeIs(double feet, int airborne) {
  return [=](const LiveReport& r) {
    EXPECT_DOUBLE_EQ(r.sample.altitude, feet);
    EXPECT_EQ(r.sample.airborne, airborne);
  };
}
Check speedsAre(double groundSpeed, double trueAirspeed) {
  return [=](const LiveReport& r) {
    EXPECT_DOUBLE_EQ(r.sample.groundSpeed, groundSpeed);
    EXPECT_DOUBLE_EQ(r.sample.trueAirspeed, trueAirspeed);
  };
}
Check identityIs(const std::string& text) {  // "callsign/registration/origin/destination"
  return [=](const LiveReport& r) {
    const AcIdentity& id = r.identity;
    const auto code = [](const IataCode& c) { return c.empty() ? std::string() : c.str(); };
    EXPECT_EQ(id.callsign + "/" + id.registration + "/" + code(id.origin) + "/" +
                  code(id.destination),
              text);
  };
}
Check headingIs(std::optional<double> radians, double track) {
  return [=](const LiveReport& r) {
    EXPECT_EQ(r.sample.trueHeading.has_value(), radians.has_value());
    if (radians) { EXPECT_DOUBLE_EQ(r.sample.trueHeading.value_or(0.0), *radians); }
    EXPECT_EQ(r.sample.reportFlag, radians ? 1 : 0);
    EXPECT_DOUBLE_EQ(r.sample.track, track);
  };
}
Check noRoll() {
  return [](const LiveReport& r) { EXPECT_FALSE(r.sample.roll.has_value()); };
}
Check verticalSpeedIs(double feetPerMinute) {
  return [=](const LiveReport& r) { EXPECT_DOUBLE_EQ(r.sample.verticalSpeed, feetPerMinute); };
}
// Field elevation 400 ft at a park airport 2 NM away (ground reports stay).
void atField400() {
  trafficReader.setFieldElevation(400.0);
  setParkAirport(2.0, 400.0f);
}
void parkAt4Nm() { setParkAirport(4.0); }
Check tasIs(double knots) {
  return [=](const LiveReport& r) { EXPECT_DOUBLE_EQ(r.sample.trueAirspeed, knots); };
}

const std::vector<DecodeCase> decodeCases{
    pass("DefaultLine", {},
         [](const LiveReport& r) {
           const PositionSample& s = r.sample;
           EXPECT_EQ(r.hexid, 4840123u);
           EXPECT_DOUBLE_EQ(r.timestamp, 1700000000.25);
           EXPECT_EQ(
               std::vector<double>({s.latitude, s.longitude, s.altitude, s.verticalSpeed, s.track,
                                    s.groundSpeed, s.trueAirspeed}),
               std::vector<double>({52.3, 4.76, 5000.0 - 0.25 * 27.0, -640.0, 90.5, 250.0, 270.0}));
           EXPECT_EQ(std::vector<std::int64_t>({s.airborne, s.onGroundMark, s.reportFlag, s.dueCycle}),
                     std::vector<std::int64_t>({1, 0, 1, 1234 + 3000}));
           EXPECT_DOUBLE_EQ(s.trueHeading.value_or(0.0), 91.0 * degToRad);
           EXPECT_FALSE(s.roll.has_value());  // roll 0
           identityIs("KLM1234/PH-BXA/AMS/LHR")(r);
           EXPECT_EQ(r.identity.codes.modelId, gf_modelId("B738"));
         }),
    // Filters.
    drop("GroundVehicle", {{f::callsign, "TUG VEH"}}, DropReason::groundVehicle),
    pass("VehWithoutBlankIsATail", {{f::registration, "D-EVEH"}}, identityIs("KLM1234/D-EVEH/AMS/LHR")),
    drop("OutOfRange", {{f::latitude, "53.0"}}, DropReason::outOfRange),
    drop("EmitterSurfaceVehicle", {{f::category, "C1"}}, DropReason::notAircraft),
    pass("NoCategoryEndsTheLineInAComma", {{f::category, ""}}),  // the 29-field format
    drop("StaticId10000", {{f::hexid, "10000"}}, DropReason::staticId),
    pass("Id10001Passes", {{f::hexid, "10001"}}),
    drop("Registration13Chars", {{f::registration, "ABCDEFGHIJKLM"}},
         DropReason::longRegistration),
    pass("Registration12Chars", {{f::registration, "ABCDEFGHIJKL"}},
         identityIs("KLM1234/ABCDEFGHIJKL/AMS/LHR")),
    drop("CallsignTest", {{f::callsign, "TEST"}}, DropReason::testCallsign),
    pass("CallsignTest1", {{f::callsign, "TEST1"}}),
    pass("CallsignWithAt", {{f::callsign, "KL@12"}}, identityIs("/PH-BXA/AMS/LHR")),
    drop("CallsignWithAtNoRegistration", {{f::callsign, "KL@12"}, {f::registration, "null"}},
         DropReason::noIdentity),
    drop("NullCallsignAndRegistration", {{f::callsign, "null"}, {f::registration, "null"}},
         DropReason::noIdentity),
    drop("EmptyCallsignAndRegistration", {{f::callsign, ""}, {f::registration, ""}},
         DropReason::noIdentity),
    pass("EmptyCallsign", {{f::callsign, ""}}, identityIs("/PH-BXA/AMS/LHR")),
    pass("EmptyRegistration", {{f::registration, ""}}, identityIs("KLM1234//AMS/LHR")),
    // Texts are stored bounded and without control characters.
    pass("Callsign11CharsWhole", {{f::callsign, "ABCDEFGHIJK"}},
         identityIs("ABCDEFGHIJK/PH-BXA/AMS/LHR")),
    pass("Callsign12CharsCutTo11", {{f::callsign, "ABCDEFGHIJKL"}},
         identityIs("ABCDEFGHIJK/PH-BXA/AMS/LHR")),
    pass("LongCallsignCutTo11", {{f::callsign, std::string(5000, 'Q')}},
         identityIs("QQQQQQQQQQQ/PH-BXA/AMS/LHR")),
    pass("ControlCharactersReplaced", {{f::callsign, "KL\rM\n1"}, {f::registration, "PH\tBXA"}},
         identityIs("KL?M?1/PH?BXA/AMS/LHR")),
    drop("AcceptTrafficClear", {}, DropReason::notAccepted, [] { acceptTraffic = false; }),
    // Position and time: required.
    fail("Latitude95", {{f::latitude, "95"}}, DropReason::position,
         "invalid lalo: 95.000000,4.760000"),
    fail("NearNullIsland", {{f::latitude, "0.00005"}, {f::longitude, "-0.00005"}},
         DropReason::position, "invalid lalo: 0.000050,-0.000050"),
    pass("NearEquatorValid", {{f::latitude, "0.00005"}, {f::longitude, "0.5"}}, nullptr,
         [] { trafficReader.setUserLatLon({0.0, 0.5}); }),
    fail("LatitudeNan", {{f::latitude, "nan"}}, DropReason::position,
         "invalid lalo: nan,4.760000"),
    fail("LongitudeInfinite", {{f::longitude, "inf"}}, DropReason::position,
         "invalid lalo: 52.300000,inf"),
    fail("LatitudeLeadingBlank", {{f::latitude, " 52.3"}}, DropReason::position, "lat: 52.3"),
    fail("LatitudeEmpty", {{f::latitude, ""}}, DropReason::position, "lat:"),
    fail("LongitudeEmpty", {{f::longitude, ""}}, DropReason::position, "lon:"),
    fail("TimestampEmpty", {{f::timestamp, ""}}, DropReason::timestamp, "timestamp:"),
    // A number is the start of its field: text after it is ignored, a plus sign is no number.
    pass("TrailingTextIgnored", {{f::altitude, "5000ft"}, {f::hexid, "4840123x"}},
         [](const LiveReport& r) {
           EXPECT_EQ(r.hexid, 4840123u);
           EXPECT_DOUBLE_EQ(r.sample.altitude, 4993.25);
         }),
    fail("PlusSign", {{f::groundSpeed, "+250"}}, DropReason::groundSpeed, "gs:+250"),
    // Identity fields.
    fail("HexidNegative", {{f::hexid, "-5"}}, DropReason::hexid, "hexid incorrect-5"),
    fail("HexidEmpty", {{f::hexid, ""}}, DropReason::hexid, "hexid incorrect"),
    fail("HexidBeyond32Bits", {{f::hexid, "4294967296"}}, DropReason::hexid,
         "hexid incorrect4294967296"),
    pass("OriginNull", {{f::origin, "null"}}, identityIs("KLM1234/PH-BXA//LHR")),
    pass("OriginLowerCase", {{f::origin, "ams"}}, identityIs("KLM1234/PH-BXA/AMS/LHR")),
    // A route the feed gives as ICAO codes, "N/A" or nothing costs the route, not the aircraft.
    pass("RouteFourLetters", {{f::origin, "EHAM"}, {f::destination, "EGLL"}},
         identityIs("KLM1234/PH-BXA//")),
    pass("RouteEmpty", {{f::origin, ""}, {f::destination, ""}}, identityIs("KLM1234/PH-BXA//")),
    pass("RouteNotACode", {{f::origin, "N/A"}, {f::destination, "L-X"}},
         identityIs("KLM1234/PH-BXA//")),
    // Altitude, QNH and ground.
    fail("AltitudeEmpty", {{f::altitude, ""}}, DropReason::altitude,
         "altitude  incorrect, from: "),
    pass("AltitudeWithDecimals", {{f::altitude, "5000.5"}}, altitudeIs(4993.75, 1)),
    pass("Qnh1023", {}, altitudeIs(5263.25, 1), [] { trafficReader.trafficQnh.store(1023); }),
    pass(
        "Qnh1003LowAltitudeOnGroundNearPark", {{f::altitude, "200"}, {f::groundSpeed, "20"}},
        [](const LiveReport& r) {
          altitudeIs(0.0, 0)(r);
          EXPECT_FALSE(r.sample.roll.has_value());
        },
        [] {
          trafficReader.trafficQnh.store(1003);
          setParkAirport(1.0);
        }),
    drop("GroundSixNmFromPark", {{f::altitude, "0"}}, DropReason::groundAway,
         [] { setParkAirport(6.0); }),
    drop("GroundWithoutPark", {{f::altitude, "0"}}, DropReason::groundAway),
    pass("FieldElevationGroundAt100kt", {{f::altitude, "430"}, {f::groundSpeed, "100"}},
         altitudeIs(0.0, 0), atField400),
    pass("FieldElevationAirborneAt130kt", {{f::altitude, "430"}, {f::groundSpeed, "130"}},
         altitudeIs(423.25, 1), [] { trafficReader.setFieldElevation(400.0); }),
    // The ground bands above the field (corrected altitude minus field elevation, ground speed).
    pass("BelowFieldIsGround", {{f::altitude, "300"}, {f::groundSpeed, "200"}},
         altitudeIs(0.0, 0), atField400),
    pass("Band84At80ktIsGround", {{f::altitude, "490.75"}, {f::groundSpeed, "80"}},
         altitudeIs(0.0, 0), atField400),
    pass("Band84At81ktAirborne", {{f::altitude, "490.75"}, {f::groundSpeed, "81"}},
         altitudeIs(484.0, 1), atField400),
    pass("Band108At43ktIsGround", {{f::altitude, "514.75"}, {f::groundSpeed, "43"}},
         altitudeIs(0.0, 0), atField400),
    pass("Band108At44ktAirborne", {{f::altitude, "514.75"}, {f::groundSpeed, "44"}},
         altitudeIs(508.0, 1), atField400),
    pass("NoBandsFrom14000", {{f::altitude, "14006.75"}, {f::groundSpeed, "100"}},
         altitudeIs(14000.0, 1), [] { trafficReader.setFieldElevation(13990.0); }),
    // Slow and high: on the ground only when the feed's ground flag says so.
    pass("HelicopterAt1500ftAnd20ktFlies",
         {{f::altitude, "1500"}, {f::groundSpeed, "20"}, {f::type, "EC35"}, {f::category, "A7"}},
         altitudeIs(1493.25, 1)),
    pass("SlowAt3000WithGroundFlagIsGround",
         {{f::altitude, "3000"}, {f::groundSpeed, "30"}, {f::groundFlag, "1"}},
         altitudeIs(0.0, 0), parkAt4Nm),
    pass("Slow35WithGroundFlagIsGround",
         {{f::altitude, "3000"}, {f::groundSpeed, "35"}, {f::groundFlag, "1"}},
         altitudeIs(0.0, 0), parkAt4Nm),
    pass("Speed35Point5WithGroundFlagAirborne",
         {{f::altitude, "3000"}, {f::groundSpeed, "35.5"}, {f::groundFlag, "1"}},
         altitudeIs(2993.25, 1)),
    pass("Slow35WithoutGroundFlagAirborne", {{f::altitude, "3000"}, {f::groundSpeed, "35"}},
         altitudeIs(2993.25, 1)),
    pass("UnknownSpeedWithGroundFlagIsGround",
         {{f::altitude, "3000"}, {f::groundSpeed, ""}, {f::groundFlag, "1"}},
         [](const LiveReport& r) {
           altitudeIs(0.0, 0)(r);
           EXPECT_DOUBLE_EQ(r.sample.groundSpeed, 0.0);
         },
         parkAt4Nm),
    // Unknown ground speed: an airborne report moves at its airspeed.
    pass("UnknownSpeedAirborneTakesTas", {{f::groundSpeed, ""}}, speedsAre(270.0, 270.0)),
    pass("SpeedMinus1AirborneTakesTableTas", {{f::groundSpeed, "-1"}, {f::trueAirspeed, "-1"}},
         speedsAre(220.0, 220.0)),
    drop("AirborneOnly150Dropped", {{f::altitude, "156.75"}}, DropReason::airborneOnly,
         [] { AIRBORNE_ONLY.value.store(true); }),
    pass("AirborneOnly151Passes", {{f::altitude, "157.75"}}, nullptr,
         [] { AIRBORNE_ONLY.value.store(true); }),
    fail("AltitudeText", {{f::altitude, "high"}}, DropReason::altitude,
         "altitude high incorrect, from: "),
    // True airspeed table, for -1 and for an empty field.
    pass("TasFromTable2000", {{f::trueAirspeed, "-1"}, {f::altitude, "2006.75"}}, tasIs(180.0)),
    pass("TasFromTable2001", {{f::trueAirspeed, "-1"}, {f::altitude, "2007.75"}}, tasIs(220.0)),
    pass("TasFromTable20000", {{f::trueAirspeed, "-1"}, {f::altitude, "20006.75"}}, tasIs(350.0)),
    pass("TasFromTable7000", {{f::trueAirspeed, "-1"}, {f::altitude, "7006.75"}}, tasIs(250.0)),
    pass("TasFromTable25000", {{f::trueAirspeed, "-1"}, {f::altitude, "25000"}}, tasIs(430.0)),
    pass("TasEmptyFromTable", {{f::trueAirspeed, ""}}, tasIs(220.0)),
    pass("TasMinus2Kept", {{f::trueAirspeed, "-2"}}, tasIs(-2.0)),
    // Vertical speed: empty or -1 is a level flight.
    pass("VerticalSpeedEmpty", {{f::verticalSpeed, ""}}, verticalSpeedIs(0.0)),
    pass("VerticalSpeedMinus1", {{f::verticalSpeed, "-1"}}, verticalSpeedIs(0.0)),
    pass("VerticalSpeedMinus2Kept", {{f::verticalSpeed, "-2"}}, verticalSpeedIs(-2.0)),
    // Heading, track and roll.
    pass("HeadingZeroIsTwoPi", {{f::trueHeading, "0"}, {f::track, "0"}},
         headingIs(6.283185307179586, 360.0)),
    pass("Heading360IsTwoPi", {{f::trueHeading, "360"}}, headingIs(360.0 * degToRad, 90.5)),
    pass("Heading360Point5IsNormalised", {{f::trueHeading, "360.5"}}, headingIs(0.5 * degToRad, 90.5)),
    pass("Heading361IsNormalised", {{f::trueHeading, "361"}}, headingIs(1.0 * degToRad, 90.5)),
    pass("Heading720IsTwoPi", {{f::trueHeading, "720"}}, headingIs(6.283185307179586, 90.5)),
    pass("HeadingNegativeAbsent", {{f::trueHeading, "-3"}}, headingIs(std::nullopt, 90.5)),
    pass("HeadingEmptyAbsent", {{f::trueHeading, ""}}, headingIs(std::nullopt, 90.5)),
    pass("HeadingMinus1Absent", {{f::trueHeading, "-1"}, {f::track, ""}},
         headingIs(std::nullopt, 0.0)),
    pass("HeadingIgnoredForOtherSources", {{f::source, "mlat"}, {f::trueHeading, "999"}},
         headingIs(std::nullopt, 90.5)),
    pass("HeadingFromPrefixedSource", {{f::source, "F_adsb_icao"}}, headingIs(91.0 * degToRad, 90.5)),
    pass("HeadingNotFromTwoLetterPrefix", {{f::source, "XY_adsb_icao"}},
         headingIs(std::nullopt, 90.5)),
    pass("HeadingNotFromInterpolated", {{f::source, "ID_adsb_icao"}},
         headingIs(std::nullopt, 90.5)),
    pass("EmptyTrackWithoutHeading", {{f::track, ""}, {f::source, "mlat"}},
         headingIs(std::nullopt, 0.0)),
    pass("TrackMinus1TakesHeading", {{f::track, "-1"}}, headingIs(91.0 * degToRad, 91.0)),
    pass("Roll10", {{f::roll, "10"}},
         [](const LiveReport& r) { EXPECT_NEAR(r.sample.roll.value_or(0.0), -0.174533, 1e-6); }),
    pass("RollMinus1Absent", {{f::roll, "-1"}}, noRoll()),
    pass("RollEmptyAbsent", {{f::roll, ""}}, noRoll()),
    // A ground report's roll is not read at all.
    pass("RollNotReadOnGround", {{f::altitude, "0"}, {f::groundSpeed, "10"}, {f::roll, "x"}},
         noRoll(), parkAt4Nm),
    pass("Roll10OnGroundAbsent", {{f::altitude, "0"}, {f::groundSpeed, "10"}, {f::roll, "10"}},
         noRoll(), parkAt4Nm),
    // Non-finite numbers are refused in every numeric field.
    fail("TimestampInf", {{f::timestamp, "inf"}}, DropReason::timestamp, "timestamp:inf"),
    fail("GroundSpeedNan", {{f::groundSpeed, "nan"}}, DropReason::groundSpeed, "gs:nan"),
    fail("VerticalSpeedInf", {{f::verticalSpeed, "-inf"}}, DropReason::verticalSpeed, "vs:-inf"),
    fail("AltitudeNan", {{f::altitude, "nan"}}, DropReason::altitude,
         "altitude nan incorrect, from: "),
    fail("TrackNan", {{f::track, "nan"}}, DropReason::track, "track incorrect nan"),
    fail("RollInfinity", {{f::roll, "infinity"}}, DropReason::roll, "roll:infinity"),
    fail("RollText", {{f::roll, "x"}}, DropReason::roll, "roll:x"),
    fail("TasNan", {{f::trueAirspeed, "NaN"}}, DropReason::trueAirspeed, "TAS incorrectNaN"),
    fail("HeadingNan", {{f::trueHeading, "nan"}}, DropReason::trueHeading, "trueheading:nan"),
};

using DecodeParam = std::tuple<DecodeCase, bool>;  // the case, on the 43-field format
class DecodeTest : public TrafficFixture, public ::testing::WithParamInterface<DecodeParam> {
 protected:
  wdrx::testing::FakeClock clock_;
};

TEST_P(DecodeTest, Line) {
  const auto& [c, rttfc] = GetParam();
  engineCycle.store(1234);
  if (c.setup) c.setup();
  const std::string text = lineOf(rttfc, c.fields).text();
  feedDatagram(trafficReader, text);

  ASSERT_EQ(addingStack.size(), c.pushed ? 1u : 0u);
  if (c.pushed && c.check) c.check(addingStack.front());
  EXPECT_EQ(logLines(), std::vector<std::string>{});  // no line per datagram
  EXPECT_EQ(trafficReader.drops.droppedTotal(), c.pushed ? 0u : 1u);
  if (c.reason) { EXPECT_EQ(trafficReader.drops.dropped(*c.reason), 1u); }

  // The summary names the reason and, for a bad field, its message.
  clock_.advance(60s);
  gf_logTrafficDrops(trafficReader);
  if (c.pushed) {
    EXPECT_EQ(logLines(), std::vector<std::string>{});
  } else {
    std::string expected = "processLineSub: 1 of 1 traffic lines dropped in 60 s: 1 " +
                           std::string(gf_dropReasonText(*c.reason));
    if (!c.error.empty()) {
      // A message that quotes the datagram quotes it whole, up to the length limit.
      const bool quotesLine = c.error.ends_with("from: ");
      expected += "; last error: " + gf_logSafeText(quotesLine ? c.error + text : c.error);
    }
    EXPECT_EQ(logLines(), std::vector<std::string>{expected});
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, DecodeTest,
                         ::testing::Combine(::testing::ValuesIn(decodeCases), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "_Rttfc" : "");
                         });

class DecoderTest : public TrafficFixture {
 protected:
  wdrx::testing::FakeClock clock_;
};

TEST_F(DecoderTest, ShortLineIsCountedAndNamedInTheSummary) {
  feedDatagram(trafficReader, "TFC,4840123,52.3,4.76");
  EXPECT_TRUE(addingStack.empty());
  EXPECT_EQ(trafficReader.drops.dropped(DropReason::shortLine), 1u);
  gf_logTrafficDrops(trafficReader);
  EXPECT_EQ(logLines(), std::vector<std::string>{
                            "processLineSub: 1 of 1 traffic lines dropped in 0 s: 1 short line; "
                            "last error: 4 fields, at least 29 expected, in: TFC,4840123,52.3,4.76"});
}

TEST_F(DecoderTest, DropsAreSummedUpOnceAMinuteAndCannotForgeLogLines) {
  const std::string good = TrafficLine::rttfc().text();
  feedDatagram(trafficReader, good);  // starts the minute
  for (int i = 0; i < 500; ++i) {
    feedDatagram(trafficReader, TrafficLine::rttfc().set(f::latitude, "53.5").text());
    feedDatagram(trafficReader, TrafficLine::rttfc().set(f::category, "C2").text());
  }
  clock_.advance(59s);
  feedDatagram(trafficReader,
               TrafficLine::rttfc().set(f::altitude, "x\r\n2024 forged line\x01").text());
  EXPECT_TRUE(logLines().empty());  // 59 s: not yet
  clock_.advance(1s);
  feedDatagram(trafficReader, good);
  const auto lines = logLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].starts_with(
      "processLineSub: 1001 of 1003 traffic lines dropped in 60 s: 500 out of range, 500 not an "
      "aircraft, 1 bad altitude; last error: altitude x??2024 forged line? incorrect, from: "
      "RTTFC,4840123,"))
      << lines[0];
  EXPECT_TRUE(lines[0].ends_with("...")) << lines[0];
  EXPECT_LT(lines[0].size(), 400u);
  // A new minute starts from nothing; a minute without drops writes nothing.
  clock_.advance(61s);
  feedDatagram(trafficReader, good);
  EXPECT_EQ(logLines().size(), 1u);
  EXPECT_EQ(trafficReader.drops.droppedTotal(), 0u);
}

TEST_F(DecoderTest, PublishedLinesOfTheCurrentFormatPass) {
  trafficReader.setUserLatLon({-33.9, 152.5});
  rangeNm.store(60.0);
  feedDatagram(trafficReader,
               "RTTFC,11234042,-33.9107,152.9902,26400,1248,0,90.12,490.00,AAL72,B789,N835AN,SYD,"
               "LAX,1645144774.2,X2,AA72,X_adsb_icao,27575,320,474,0.780,0.0,0.0,78.93,92.27,1280,"
               "none,A5,1012.8,35008,-1,71.02,autopilot|vnav|lnav|tcas,0.0,-21.9,223,24,-30,0,1,"
               "170124");
  feedDatagram(trafficReader,
               "RTTFC,10750303,-33.7964,152.3938,20375,1376,0,66.77,484.30,UAL842,B789,N35953,SYD,"
               "LAX,1645144889.8,X2,UA842,F_adsb_icao,21350,343,466,0.744,-0.0,0.5,54.49,67.59,"
               "1280,none,A5,1012.8,35008,-1,54.84,autopilot|vnav|lnav|tcas,0.0,-20.8,227,19,-15,"
               "14,1,268697");
  ASSERT_EQ(addingStack.size(), 2u);
  const LiveReport& second = addingStack.back();
  EXPECT_EQ(second.hexid, 10750303u);
  EXPECT_EQ(second.identity.callsign, "UAL842");
  EXPECT_EQ(second.identity.origin, IataCode("SYD"));
  EXPECT_DOUBLE_EQ(second.sample.trueHeading.value_or(0.0), 67.59 * degToRad);
  EXPECT_NEAR(second.sample.roll.value_or(0.0), -0.5 * degToRad, 1e-12);
  EXPECT_DOUBLE_EQ(second.timestamp, 1645144889.8);
  EXPECT_EQ(trafficReader.drops.droppedTotal(), 0u);
}

TEST_F(DecoderTest, EveryLineOfAGeneratedScenarioDecodes) {
  setParkAirport(0.0, -11.0f);  // at the user aircraft, half a mile from Schiphol's centre
  trafficReader.setFieldElevation(-11.0);
  rangeNm.store(20.0);
  trafficgen::Options options;
  options.arrivals = 3;
  options.departures = 3;
  options.overflights = 2;
  options.minutes = 10;
  std::stringstream scenario;
  trafficgen::writeScenario(options, scenario);
  std::size_t traffic = 0;
  for (const faketraffic::ScenarioLine& line : faketraffic::parseScenario(scenario)) {
    if (line.kind != faketraffic::ScenarioLine::Kind::traffic) continue;
    ++traffic;
    EXPECT_EQ(std::count(line.payload.begin(), line.payload.end(), ','), 42) << line.payload;
    feedDatagram(trafficReader, line.payload);
  }
  // Only the first reports, just beyond the range, are left out.
  const DropTally& drops = trafficReader.drops;
  EXPECT_EQ(drops.droppedTotal(), drops.dropped(DropReason::outOfRange));
  EXPECT_LT(drops.droppedTotal() * 10, traffic);
  const auto airborne = std::count_if(addingStack.begin(), addingStack.end(),
                                      [](const LiveReport& r) { return r.sample.airborne != 0; });
  EXPECT_GT(airborne, 0);
  EXPECT_GT(static_cast<std::size_t>(addingStack.size() - airborne), traffic / 4);  // on the ground

  // Its airport file gives each stand the heading an aircraft parked there faces: the one each
  // arrival, which taxis in nose first, stands at in its last report.
  std::stringstream airportFile;
  trafficgen::writeAirportFile(options, airportFile);
  pugi::xml_document airportXml;
  ASSERT_TRUE(airportXml.load(airportFile));
  std::map<std::uint32_t, PositionSample> last;
  for (const LiveReport& r : addingStack) last[r.hexid] = r.sample;
  int parked = 0;
  for (const pugi::xml_node stand : airportXml.child("root").child("parkpositions").children("parkpos")) {
    const LatLon at{stand.attribute("latitude").as_double(), stand.attribute("longitude").as_double()};
    for (const auto& [hexid, s] : last) {
      if (s.airborne != 0 || gf_distanceNm(at, {s.latitude, s.longitude}) > 0.001) continue;
      EXPECT_NEAR(std::remainder(s.track - stand.attribute("heading").as_double(), 360.0), 0.0, 0.5)
          << stand.attribute("id").value();
      ++parked;
    }
  }
  EXPECT_EQ(parked, options.arrivals);
}

TEST_F(DecoderTest, TimestampAdvancesTrafficClockEvenWhenDropped) {
  feedDatagram(trafficReader,
               TrafficLine().set(f::latitude, "95").set(f::timestamp, "1700000100").text());
  EXPECT_DOUBLE_EQ(trafficSourceTime.load(), 1700000100.0);
  feedDatagram(trafficReader,
               TrafficLine().set(f::hexid, "77").set(f::timestamp, "1700000200").text());
  EXPECT_DOUBLE_EQ(trafficSourceTime.load(), 1700000200.0);
  EXPECT_TRUE(addingStack.empty());
}

TEST_F(DecoderTest, CallsignsAreCollectedBeforeTheFiltersAndBounded) {
  trafficReader.startCallsignCollection();
  for (const char* callsign : {"DLH1", "X@Y", "null", "", "BAW2", "ABCDEFGHIJKLMN"})
    feedDatagram(trafficReader, TrafficLine().set(f::callsign, callsign).text());
  // Dropped by a later filter, still collected, and kept once.
  feedDatagram(trafficReader, TrafficLine().set(f::callsign, "DLH1").set(f::category, "C1").text());
  EXPECT_EQ(trafficReader.takeCallsigns(),
            (std::unordered_set<std::string>{"DLH1", "BAW2", "ABCDEFGHIJK"}));
  EXPECT_FALSE(trafficReader.collectCallsigns.load());
  feedDatagram(trafficReader, TrafficLine().set(f::callsign, "AFR3").text());
  EXPECT_EQ(trafficReader.callsignCount(), 0u);
}

TEST_F(DecoderTest, PlainBufferEntryDecodesWithoutTheReaderBuffer) {
  const std::string line = TrafficLine::rttfc().text();
  gf_processTrafficDatagram(trafficReader, line);
  EXPECT_EQ(addingStack.size(), 1u);
  EXPECT_TRUE(trafficReader.fields.empty());  // no view outlives the call
}

}  // namespace
