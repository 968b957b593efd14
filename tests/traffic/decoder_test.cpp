// The traffic decoder step by step: which lines become reports, with which values, and which
// are dropped silently or with which log line.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "aircraft/aircraft_codes.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "faketraffic/faketraffic.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/time_text.hpp"
#include "traffic/engine/engine_cycle.hpp"
#include "traffic/traffic_decoder.hpp"
#include "traffic/traffic_fixture.hpp"

namespace {

namespace f = faketraffic::field;
using faketraffic::TrafficLine;
using wdrx::testing::TrafficFixture;

// Hands one line to the decoder as the Traffic Reader does.
void decode(TrafficReader& reader, const std::string& line) {
  std::copy(line.begin(), line.end(), reader.buffer.begin());
  reader.buffer[line.size()] = 0;
  reader.datagram = std::string_view(reader.buffer.data(), line.size());
  reader.onDatagram();
}

// A park airport 'distanceNm' due north of the default line's position.
void setParkAirport(double distanceNm, float altitudeFeet = 0.0f) {
  Airport airport;
  airport.icao = IcaoCode("EHAM");
  airport.latitude = 52.3 - distanceNm / 60.0;
  airport.longitude = 4.76;
  airport.altitude = altitudeFeet;
  parkAirport.store(airport);
  parkAirportCode.store(airport.icao);
}

struct DecodeCase {
  const char* name;
  std::vector<std::pair<std::size_t, std::string>> fields;
  std::function<void()> setup;  // before decoding
  bool pushed;
  std::string logLine;  // the one line expected in the log; empty: none
  std::function<void(const LiveReport&)> check;
};
void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.name; }


std::string defaultLineWith(std::size_t index, std::string value) {
  return TrafficLine().set(index, std::move(value)).text();
}

const std::vector<DecodeCase>& decodeCases() {
  static const std::vector<DecodeCase> cases{
      {"DefaultLine", {}, nullptr, true, "",
       [](const LiveReport& r) {
         EXPECT_EQ(r.hexid, 4840123u);
         EXPECT_DOUBLE_EQ(r.timestamp, 1700000000.25);
         EXPECT_DOUBLE_EQ(r.sample.latitude, 52.3);
         EXPECT_DOUBLE_EQ(r.sample.longitude, 4.76);
         EXPECT_DOUBLE_EQ(r.sample.altitude, 5000.0 - 0.25 * 27.0);
         EXPECT_EQ(r.sample.airborne, 1);
         EXPECT_EQ(r.sample.onGroundMark, 0);
         EXPECT_DOUBLE_EQ(r.sample.verticalSpeed, -640.0);
         EXPECT_DOUBLE_EQ(r.sample.track, 90.5);
         EXPECT_DOUBLE_EQ(r.sample.groundSpeed, 250.0);
         EXPECT_DOUBLE_EQ(r.sample.trueAirspeed, 270.0);
         ASSERT_TRUE(r.sample.trueHeading.has_value());
         EXPECT_DOUBLE_EQ(*r.sample.trueHeading, 91.0 * degToRad);
         EXPECT_EQ(r.sample.reportFlag, 1);
         EXPECT_FALSE(r.sample.roll.has_value());  // roll 0
         EXPECT_EQ(r.sample.dueCycle, 1234 + 3000);
         EXPECT_EQ(r.identity.callsign, "KLM1234");
         EXPECT_EQ(r.identity.registration, "PH-BXA");
         EXPECT_EQ(r.identity.origin, IataCode("AMS"));
         EXPECT_EQ(r.identity.destination, IataCode("LHR"));
         EXPECT_EQ(r.identity.codes.modelId, gf_modelId("B738"));
       }},
      // Filters that drop silently.
      {"GroundVehicle", {{f::callsign, "TUG VEH"}}, nullptr, false, "", nullptr},
      {"OutOfRange", {{f::latitude, "53.0"}}, nullptr, false, "", nullptr},
      {"EmitterSurfaceVehicle", {{f::category, "C1"}}, nullptr, false, "", nullptr},
      {"NullType", {{f::type, "null"}}, nullptr, false, "", nullptr},
      {"StaticId10000", {{f::hexid, "10000"}}, nullptr, false, "", nullptr},
      {"Id10001Passes", {{f::hexid, "10001"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_EQ(r.hexid, 10001u); }},
      {"Registration13Chars", {{f::registration, "ABCDEFGHIJKLM"}}, nullptr, false, "", nullptr},
      {"Registration12Chars", {{f::registration, "ABCDEFGHIJKL"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_EQ(r.identity.registration, "ABCDEFGHIJKL"); }},
      {"CallsignTest", {{f::callsign, "TEST"}}, nullptr, false, "", nullptr},
      {"CallsignTest1", {{f::callsign, "TEST1"}}, nullptr, true, "", nullptr},
      {"CallsignErarmtr", {{f::callsign, "ERARMTR0"}}, nullptr, false, "", nullptr},
      {"CallsignWithAt", {{f::callsign, "KL@12"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_EQ(r.identity.callsign, ""); }},
      {"CallsignWithAtNoRegistration", {{f::callsign, "KL@12"}, {f::registration, "null"}},
       nullptr, false, "", nullptr},
      {"NullCallsignAndRegistration", {{f::callsign, "null"}, {f::registration, "null"}},
       nullptr, false, "", nullptr},
      // Position.
      {"Latitude95", {{f::latitude, "95"}}, nullptr, false,
       "exception in processLineSub: invalid lalo: 95.000000,4.760000", nullptr},
      {"NearNullIsland", {{f::latitude, "0.00005"}, {f::longitude, "-0.00005"}}, nullptr, false,
       "exception in processLineSub: invalid lalo: 0.000050,-0.000050", nullptr},
      {"NearEquatorValid", {{f::latitude, "0.00005"}, {f::longitude, "0.5"}},
       [] { trafficReader.setUserLatLon({0.0, 0.5}); }, true, "", nullptr},
      {"LatitudeNotANumber", {{f::latitude, "nan"}}, nullptr, false,
       "exception in processLineSub: invalid lalo: nan,4.760000", nullptr},
      {"LatitudeText", {{f::latitude, "abc"}}, nullptr, false,
       "exception in processLineSub: lat:abc", nullptr},
      {"LongitudeInfinite", {{f::longitude, "inf"}}, nullptr, false,
       "exception in processLineSub: invalid lalo: 52.300000,inf", nullptr},
      // Identity fields.
      {"HexidNegative", {{f::hexid, "-5"}}, nullptr, false,
       "exception in processLineSub: hexid incorrect-5", nullptr},
      {"HexidEmpty", {{f::hexid, ""}}, nullptr, false,
       "exception in processLineSub: hexid incorrect", nullptr},
      {"OriginNull", {{f::origin, "null"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_TRUE(r.identity.origin.empty()); }},
      {"OriginLowerCase", {{f::origin, "ams"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_EQ(r.identity.origin, IataCode("AMS")); }},
      {"OriginFourLetters", {{f::origin, "EHAM"}}, nullptr, false,
       "exception in processLineSub: 'EHAM' FixedCode: invalid string (length/charset)", nullptr},
      // Altitude, QNH and ground.
      {"Qnh1023", {}, [] { trafficReader.trafficQnh.store(1023); }, true, "",
       [](const LiveReport& r) { EXPECT_DOUBLE_EQ(r.sample.altitude, 5263.25); }},
      {"Qnh1003LowAltitudeOnGroundNearPark",
       {{f::altitude, "200"}, {f::groundSpeed, "20"}},
       [] {
         trafficReader.trafficQnh.store(1003);
         setParkAirport(1.0);
       },
       true, "",
       [](const LiveReport& r) {
         EXPECT_DOUBLE_EQ(r.sample.altitude, 0.0);
         EXPECT_EQ(r.sample.airborne, 0);
         EXPECT_FALSE(r.sample.roll.has_value());
       }},
      {"SlowAt3000IsOnGround", {{f::altitude, "3000"}, {f::groundSpeed, "30"}},
       [] { setParkAirport(4.0); }, true, "",
       [](const LiveReport& r) { EXPECT_EQ(r.sample.airborne, 0); }},
      {"GroundSixNmFromPark", {{f::altitude, "0"}}, [] { setParkAirport(6.0); }, false, "",
       nullptr},
      {"GroundWithoutPark", {{f::altitude, "0"}}, nullptr, false, "", nullptr},
      {"FieldElevationGroundAt100kt", {{f::altitude, "430"}, {f::groundSpeed, "100"}},
       [] {
         trafficReader.setFieldElevation(400.0);
         setParkAirport(2.0, 400.0f);
       },
       true, "", [](const LiveReport& r) { EXPECT_EQ(r.sample.airborne, 0); }},
      {"FieldElevationAirborneAt130kt", {{f::altitude, "430"}, {f::groundSpeed, "130"}},
       [] { trafficReader.setFieldElevation(400.0); }, true, "",
       [](const LiveReport& r) {
         EXPECT_EQ(r.sample.airborne, 1);
         EXPECT_DOUBLE_EQ(r.sample.altitude, 423.25);
       }},
      {"AirborneOnly150Dropped", {{f::altitude, "156.75"}},
       [] { AIRBORNE_ONLY.value.store(true); }, false, "", nullptr},
      {"AirborneOnly151Passes", {{f::altitude, "157.75"}},
       [] { AIRBORNE_ONLY.value.store(true); }, true, "", nullptr},
      {"AltitudeText", {{f::altitude, "high"}}, nullptr, false,
       "exception in processLineSub: altitude high incorrect, from: " +
           defaultLineWith(f::altitude, "high"),
       nullptr},
      // True airspeed table.
      {"TasFromTable7000", {{f::trueAirspeed, "-1"}, {f::altitude, "7006.75"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_DOUBLE_EQ(r.sample.trueAirspeed, 250.0); }},
      {"TasFromTable25000", {{f::trueAirspeed, "-1"}, {f::altitude, "25000"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_DOUBLE_EQ(r.sample.trueAirspeed, 430.0); }},
      {"TasMinus2Kept", {{f::trueAirspeed, "-2"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_DOUBLE_EQ(r.sample.trueAirspeed, -2.0); }},
      // Heading, track and roll.
      {"HeadingZeroIsTwoPi", {{f::trueHeading, "0"}, {f::track, "0"}}, nullptr, true, "",
       [](const LiveReport& r) {
         ASSERT_TRUE(r.sample.trueHeading.has_value());
         EXPECT_DOUBLE_EQ(*r.sample.trueHeading, 6.283185307179586);
         EXPECT_EQ(r.sample.reportFlag, 1);
         EXPECT_DOUBLE_EQ(r.sample.track, 360.0);
       }},
      {"Heading361", {{f::trueHeading, "361"}}, nullptr, false,
       "exception in processLineSub: trueheading: 361.00", nullptr},
      {"HeadingNegativeAbsent", {{f::trueHeading, "-3"}}, nullptr, true, "",
       [](const LiveReport& r) {
         EXPECT_FALSE(r.sample.trueHeading.has_value());
         EXPECT_EQ(r.sample.reportFlag, 0);
       }},
      {"HeadingIgnoredForOtherSources", {{f::source, "mlat"}, {f::trueHeading, "999"}}, nullptr,
       true, "", [](const LiveReport& r) { EXPECT_FALSE(r.sample.trueHeading.has_value()); }},
      {"EmptyTrackWithoutHeading", {{f::track, ""}, {f::source, "mlat"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_DOUBLE_EQ(r.sample.track, 0.0); }},
      {"Roll10", {{f::roll, "10"}}, nullptr, true, "",
       [](const LiveReport& r) {
         ASSERT_TRUE(r.sample.roll.has_value());
         EXPECT_NEAR(*r.sample.roll, -0.174533, 1e-6);
       }},
      {"RollMinus1Absent", {{f::roll, "-1"}}, nullptr, true, "",
       [](const LiveReport& r) { EXPECT_FALSE(r.sample.roll.has_value()); }},
      // Non-finite numbers are refused in every numeric field.
      {"TimestampInf", {{f::timestamp, "inf"}}, nullptr, false,
       "exception in processLineSub: timestamp:inf", nullptr},
      {"GroundSpeedNan", {{f::groundSpeed, "nan"}}, nullptr, false,
       "exception in processLineSub: gs:nan", nullptr},
      {"VerticalSpeedInf", {{f::verticalSpeed, "-inf"}}, nullptr, false,
       "exception in processLineSub: vs:-inf", nullptr},
      {"AltitudeNan", {{f::altitude, "nan"}}, nullptr, false,
       "exception in processLineSub: altitude nan incorrect, from: " +
           defaultLineWith(f::altitude, "nan"),
       nullptr},
      {"TrackNan", {{f::track, "nan"}}, nullptr, false,
       "exception in processLineSub: track incorrect nan", nullptr},
      {"RollInfinity", {{f::roll, "infinity"}}, nullptr, false,
       "exception in processLineSub: roll:infinity", nullptr},
      {"TasNan", {{f::trueAirspeed, "NaN"}}, nullptr, false,
       "exception in processLineSub: TAS incorrectNaN", nullptr},
      {"HeadingNan", {{f::trueHeading, "nan"}}, nullptr, false,
       "exception in processLineSub: trueheading:nan", nullptr},
      {"AcceptTrafficClear", {}, [] { acceptTraffic = false; }, false, "", nullptr},
  };
  return cases;
}

class DecodeTest : public TrafficFixture, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeTest, Line) {
  const DecodeCase& c = GetParam();
  engineCycle.store(1234);
  if (c.setup) c.setup();
  TrafficLine line;
  for (const auto& [index, value] : c.fields) line.set(index, value);
  decode(trafficReader, line.text());

  std::vector<LiveReport> pushed(addingStack.begin(), addingStack.end());
  ASSERT_EQ(pushed.size(), c.pushed ? 1u : 0u);
  if (c.pushed && c.check) c.check(pushed.front());
  const auto lines = logLines();
  if (c.logLine.empty()) {
    EXPECT_TRUE(lines.empty()) << lines.front();
  } else {
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines.front(), c.logLine);
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, DecodeTest, ::testing::ValuesIn(decodeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

using DecoderTest = TrafficFixture;

TEST_F(DecoderTest, ShortLineIsDroppedWithLogLine) {
  decode(trafficReader, "TFC,4840123,52.3,4.76");
  EXPECT_TRUE(addingStack.empty());
  EXPECT_EQ(logLines(), std::vector<std::string>{"exception in processLineSub: 4 fields, at least "
                                                 "29 expected, in: TFC,4840123,52.3,4.76"});
}

TEST_F(DecoderTest, TimestampAdvancesTrafficClockEvenWhenDropped) {
  decode(trafficReader, TrafficLine().set(f::latitude, "95").set(f::timestamp, "1700000100").text());
  EXPECT_DOUBLE_EQ(trafficSourceTime.load(), 1700000100.0);
  decode(trafficReader, TrafficLine().set(f::hexid, "77").set(f::timestamp, "1700000200").text());
  EXPECT_DOUBLE_EQ(trafficSourceTime.load(), 1700000200.0);
  EXPECT_TRUE(addingStack.empty());
}

TEST_F(DecoderTest, CallsignsAreCollectedBeforeTheFilters) {
  trafficReader.startCallsignCollection();
  decode(trafficReader, TrafficLine().set(f::callsign, "DLH1").set(f::category, "C1").text());
  decode(trafficReader, TrafficLine().set(f::callsign, "DLH1").text());
  decode(trafficReader, TrafficLine().set(f::callsign, "X@Y").text());
  decode(trafficReader, TrafficLine().set(f::callsign, "null").text());
  decode(trafficReader, TrafficLine().set(f::callsign, "").text());
  decode(trafficReader, TrafficLine().set(f::callsign, "BAW2").text());
  const auto callsigns = trafficReader.takeCallsigns();
  EXPECT_EQ(callsigns, (std::unordered_set<std::string>{"DLH1", "BAW2"}));
  EXPECT_FALSE(trafficReader.collectCallsigns.load());
  decode(trafficReader, TrafficLine().set(f::callsign, "AFR3").text());
  EXPECT_EQ(trafficReader.callsignCount(), 0u);
}

TEST_F(DecoderTest, FieldsAreNotTrimmed) {
  // " 52.3" is not a number: blanks are part of the field.
  decode(trafficReader, TrafficLine().set(f::latitude, " 52.3").text());
  EXPECT_EQ(logLines(), std::vector<std::string>{"exception in processLineSub: lat: 52.3"});
}

TEST(FormatLatLon, SixDecimals) {
  EXPECT_EQ(gf_formatLatLon(51.5, -0.1234567), "51.500000,-0.123457");
}

}  // namespace
