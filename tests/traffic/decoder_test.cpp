// The traffic decoder step by step: which lines become reports, with which values, and which
// are dropped silently or with which log line.
#include <gtest/gtest.h>

#include <functional>
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
using wdrx::testing::feedDatagram;
using wdrx::testing::TrafficFixture;

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

using Check = std::function<void(const LiveReport&)>;
struct DecodeCase {
  const char* name;
  std::vector<std::pair<std::size_t, std::string>> fields;
  std::function<void()> setup;  // before decoding
  bool pushed;
  std::string error;  // the text after "exception in processLineSub: "; empty: no log line
  Check check;
};
void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.name; }

using Fields = std::vector<std::pair<std::size_t, std::string>>;
// Reported (and checked), dropped without a word, or dropped with the decoder's log line.
DecodeCase pass(const char* name, Fields fields, Check check = nullptr,
                std::function<void()> setup = nullptr) {
  return {name, std::move(fields), std::move(setup), true, "", std::move(check)};
}
DecodeCase drop(const char* name, Fields fields, std::function<void()> setup = nullptr) {
  return {name, std::move(fields), std::move(setup), false, "", nullptr};
}
DecodeCase fail(const char* name, Fields fields, std::string error) {
  return {name, std::move(fields), nullptr, false, std::move(error), nullptr};
}

Check altitudeIs(double feet, int airborne) {
  return [=](const LiveReport& r) {
    EXPECT_DOUBLE_EQ(r.sample.altitude, feet);
    EXPECT_EQ(r.sample.airborne, airborne);
  };
}
// Field elevation 400 ft at a park airport 2 NM away (ground reports stay).
void atField400() {
  trafficReader.setFieldElevation(400.0);
  setParkAirport(2.0, 400.0f);
}
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
           const AcIdentity& id = r.identity;
           EXPECT_EQ(id.callsign + "/" + id.registration + "/" + id.origin.str() + "/" +
                         id.destination.str(),
                     "KLM1234/PH-BXA/AMS/LHR");
           EXPECT_EQ(id.codes.modelId, gf_modelId("B738"));
         }),
    // Filters that drop silently.
    drop("GroundVehicle", {{f::callsign, "TUG VEH"}}),
    drop("OutOfRange", {{f::latitude, "53.0"}}),
    drop("EmitterSurfaceVehicle", {{f::category, "C1"}}),
    drop("StaticId10000", {{f::hexid, "10000"}}),
    pass("Id10001Passes", {{f::hexid, "10001"}}),
    drop("Registration13Chars", {{f::registration, "ABCDEFGHIJKLM"}}),
    pass("Registration12Chars", {{f::registration, "ABCDEFGHIJKL"}}),
    drop("CallsignTest", {{f::callsign, "TEST"}}),
    pass("CallsignTest1", {{f::callsign, "TEST1"}}),
    pass("CallsignWithAt", {{f::callsign, "KL@12"}},
         [](const LiveReport& r) { EXPECT_EQ(r.identity.callsign, ""); }),
    drop("CallsignWithAtNoRegistration", {{f::callsign, "KL@12"}, {f::registration, "null"}}),
    drop("NullCallsignAndRegistration", {{f::callsign, "null"}, {f::registration, "null"}}),
    drop("AcceptTrafficClear", {}, [] { acceptTraffic = false; }),
    // Position.
    fail("Latitude95", {{f::latitude, "95"}}, "invalid lalo: 95.000000,4.760000"),
    fail("NearNullIsland", {{f::latitude, "0.00005"}, {f::longitude, "-0.00005"}},
         "invalid lalo: 0.000050,-0.000050"),
    pass("NearEquatorValid", {{f::latitude, "0.00005"}, {f::longitude, "0.5"}}, nullptr,
         [] {
           trafficReader.setUserLatLon({0.0, 0.5});
         }),
    fail("LatitudeNan", {{f::latitude, "nan"}}, "invalid lalo: nan,4.760000"),
    fail("LongitudeInfinite", {{f::longitude, "inf"}}, "invalid lalo: 52.300000,inf"),
    fail("LatitudeLeadingBlank", {{f::latitude, " 52.3"}}, "lat: 52.3"),
    // A number is the start of its field: text after it is ignored, a plus sign is no number.
    pass("TrailingTextIgnored", {{f::altitude, "5000ft"}, {f::hexid, "4840123x"}},
         [](const LiveReport& r) {
           EXPECT_EQ(r.hexid, 4840123u);
           EXPECT_DOUBLE_EQ(r.sample.altitude, 4993.25);
         }),
    fail("PlusSign", {{f::groundSpeed, "+250"}}, "gs:+250"),
    // Identity fields.
    fail("HexidNegative", {{f::hexid, "-5"}}, "hexid incorrect-5"),
    fail("HexidEmpty", {{f::hexid, ""}}, "hexid incorrect"),
    fail("HexidBeyond32Bits", {{f::hexid, "4294967296"}}, "hexid incorrect4294967296"),
    pass("OriginNull", {{f::origin, "null"}},
         [](const LiveReport& r) { EXPECT_TRUE(r.identity.origin.empty()); }),
    pass("OriginLowerCase", {{f::origin, "ams"}},
         [](const LiveReport& r) { EXPECT_EQ(r.identity.origin, IataCode("AMS")); }),
    fail("OriginFourLetters", {{f::origin, "EHAM"}},
         "'EHAM' FixedCode: invalid string (length/charset)"),
    // Altitude, QNH and ground.
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
    pass("SlowAt3000IsOnGround", {{f::altitude, "3000"}, {f::groundSpeed, "30"}},
         altitudeIs(0.0, 0), [] { setParkAirport(4.0); }),
    drop("GroundSixNmFromPark", {{f::altitude, "0"}}, [] { setParkAirport(6.0); }),
    drop("GroundWithoutPark", {{f::altitude, "0"}}),
    pass("FieldElevationGroundAt100kt", {{f::altitude, "430"}, {f::groundSpeed, "100"}},
         altitudeIs(0.0, 0),
         [] {
           trafficReader.setFieldElevation(400.0);
           setParkAirport(2.0, 400.0f);
         }),
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
    pass("Slow35IsGround", {{f::altitude, "3000"}, {f::groundSpeed, "35"}}, altitudeIs(0.0, 0),
         [] { setParkAirport(4.0); }),
    pass("Speed35Point5Airborne", {{f::altitude, "3000"}, {f::groundSpeed, "35.5"}},
         altitudeIs(2993.25, 1)),
    drop("AirborneOnly150Dropped", {{f::altitude, "156.75"}},
         [] { AIRBORNE_ONLY.value.store(true); }),
    pass("AirborneOnly151Passes", {{f::altitude, "157.75"}}, nullptr,
         [] { AIRBORNE_ONLY.value.store(true); }),
    fail("AltitudeText", {{f::altitude, "high"}},
         "altitude high incorrect, from: " + TrafficLine().set(f::altitude, "high").text()),
    // True airspeed table.
    pass("TasFromTable2000", {{f::trueAirspeed, "-1"}, {f::altitude, "2006.75"}}, tasIs(180.0)),
    pass("TasFromTable2001", {{f::trueAirspeed, "-1"}, {f::altitude, "2007.75"}}, tasIs(220.0)),
    pass("TasFromTable20000", {{f::trueAirspeed, "-1"}, {f::altitude, "20006.75"}}, tasIs(350.0)),
    pass("TasFromTable7000", {{f::trueAirspeed, "-1"}, {f::altitude, "7006.75"}}, tasIs(250.0)),
    pass("TasFromTable25000", {{f::trueAirspeed, "-1"}, {f::altitude, "25000"}}, tasIs(430.0)),
    pass("TasMinus2Kept", {{f::trueAirspeed, "-2"}}, tasIs(-2.0)),
    // Heading, track and roll.
    pass("HeadingZeroIsTwoPi", {{f::trueHeading, "0"}, {f::track, "0"}},
         [](const LiveReport& r) {
           EXPECT_DOUBLE_EQ(r.sample.trueHeading.value_or(0.0), 6.283185307179586);
           EXPECT_EQ(r.sample.reportFlag, 1);
           EXPECT_DOUBLE_EQ(r.sample.track, 360.0);
         }),
    fail("Heading361", {{f::trueHeading, "361"}}, "trueheading: 361.00"),
    pass("HeadingNegativeAbsent", {{f::trueHeading, "-3"}},
         [](const LiveReport& r) {
           EXPECT_FALSE(r.sample.trueHeading.has_value());
           EXPECT_EQ(r.sample.reportFlag, 0);
         }),
    pass("HeadingIgnoredForOtherSources", {{f::source, "mlat"}, {f::trueHeading, "999"}},
         [](const LiveReport& r) { EXPECT_FALSE(r.sample.trueHeading.has_value()); }),
    pass("EmptyTrackWithoutHeading", {{f::track, ""}, {f::source, "mlat"}},
         [](const LiveReport& r) { EXPECT_DOUBLE_EQ(r.sample.track, 0.0); }),
    pass("Roll10", {{f::roll, "10"}},
         [](const LiveReport& r) { EXPECT_NEAR(r.sample.roll.value_or(0.0), -0.174533, 1e-6); }),
    pass("RollMinus1Absent", {{f::roll, "-1"}},
         [](const LiveReport& r) { EXPECT_FALSE(r.sample.roll.has_value()); }),
    // Non-finite numbers are refused in every numeric field.
    fail("TimestampInf", {{f::timestamp, "inf"}}, "timestamp:inf"),
    fail("GroundSpeedNan", {{f::groundSpeed, "nan"}}, "gs:nan"),
    fail("VerticalSpeedInf", {{f::verticalSpeed, "-inf"}}, "vs:-inf"),
    fail("AltitudeNan", {{f::altitude, "nan"}},
         "altitude nan incorrect, from: " + TrafficLine().set(f::altitude, "nan").text()),
    fail("TrackNan", {{f::track, "nan"}}, "track incorrect nan"),
    fail("RollInfinity", {{f::roll, "infinity"}}, "roll:infinity"),
    fail("TasNan", {{f::trueAirspeed, "NaN"}}, "TAS incorrectNaN"),
    fail("HeadingNan", {{f::trueHeading, "nan"}}, "trueheading:nan"),
};

class DecodeTest : public TrafficFixture, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeTest, Line) {
  const DecodeCase& c = GetParam();
  engineCycle.store(1234);
  if (c.setup) c.setup();
  TrafficLine line;
  for (const auto& [index, value] : c.fields) line.set(index, value);
  feedDatagram(trafficReader, line.text());

  ASSERT_EQ(addingStack.size(), c.pushed ? 1u : 0u);
  if (c.pushed && c.check) c.check(addingStack.front());
  const std::vector<std::string> expected{"exception in processLineSub: " + c.error};
  EXPECT_EQ(logLines(), c.error.empty() ? std::vector<std::string>{} : expected);
}

INSTANTIATE_TEST_SUITE_P(Steps, DecodeTest, ::testing::ValuesIn(decodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

using DecoderTest = TrafficFixture;

TEST_F(DecoderTest, ShortLineIsDroppedWithLogLine) {
  feedDatagram(trafficReader, "TFC,4840123,52.3,4.76");
  EXPECT_TRUE(addingStack.empty());
  EXPECT_EQ(logLines(), std::vector<std::string>{"exception in processLineSub: 4 fields, at least "
                                                 "29 expected, in: TFC,4840123,52.3,4.76"});
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

TEST_F(DecoderTest, CallsignsAreCollectedBeforeTheFilters) {
  trafficReader.startCallsignCollection();
  for (const char* callsign : {"DLH1", "X@Y", "null", "", "BAW2"})
    feedDatagram(trafficReader, TrafficLine().set(f::callsign, callsign).text());
  // Dropped by a later filter, still collected, and kept once.
  feedDatagram(trafficReader, TrafficLine().set(f::callsign, "DLH1").set(f::category, "C1").text());
  EXPECT_EQ(trafficReader.takeCallsigns(), (std::unordered_set<std::string>{"DLH1", "BAW2"}));
  EXPECT_FALSE(trafficReader.collectCallsigns.load());
  feedDatagram(trafficReader, TrafficLine().set(f::callsign, "AFR3").text());
  EXPECT_EQ(trafficReader.callsignCount(), 0u);
}

}  // namespace
