// The airport database: reading, sorting, index, display names, once-per-process, error 88.
#include <gtest/gtest.h>

#include <filesystem>

#include "aircraft/refdata_fixture.hpp"
#include "airports/airport_db.hpp"
#include "foundation/user_error.hpp"
#include "support/fresh_state.hpp"

using namespace refdata_test;
using wdrx::testing::shownPath;
using Strings = std::vector<std::string>;

namespace {
const bool fresh = wdrx::testing::resetBeforeEachTest(wdrx::testing::resetAirports);

class AirportDbTest : public RefdataTest, public ::testing::Test {
 protected:
  static void writeAirports(const std::string& aps) {
    writeEncrypted("input/airports.enc", "<root><airports>" + aps + "</airports></root>");
  }
  static bool plainLeft() { return std::filesystem::exists("input/airports.xml"); }
  static std::string readError() {
    try {
      gf_readAirports();
    } catch (const tql::UserErrorException& e) {
      return e.what();
    }
    return "no error";
  }
};
}  // namespace

TEST_F(AirportDbTest, ReadsSortedTableWithIndex) {
  writeAirports(R"(<ap c="LOWI" i="INN" la="47.26" lo="11.34" a="1906" s="2"/>)"
                R"(<ap c="eham" i="ams" la="52.31" lo="4.76" a="-11" s="1"/>)"
                R"(<ap c="EDDM" la="48.35" lo="11.78" a="1487"/>)"
                R"(<ap c="KJFK" la="40.6" a="13" s="3"/>)"
                R"(<ap c="KLAX" la="33.9" lo="-118.4" s="3"/>)"
                R"(<ap c="LFPG" i="CD" la="49" lo="2.5" a="392" s="3"/>)"
                R"(<other c="ZZZZ"/>)");
  ASSERT_TRUE(gf_readAirports());
  ASSERT_EQ(airportTable.size(), 3u);
  EXPECT_EQ(airportTable[0].icao, IcaoCode("EDDM"));
  EXPECT_EQ(airportTable[1].icao, IcaoCode("EHAM"));
  EXPECT_EQ(airportTable[2].icao, IcaoCode("LOWI"));
  EXPECT_EQ(airportTable[0].iata, noIataCode);
  EXPECT_EQ(airportTable[0].stands, 0);
  const Airport& eham = airportTable[1];
  EXPECT_EQ(eham.iata, IataCode("AMS"));
  EXPECT_DOUBLE_EQ(eham.latitude, 52.31);
  EXPECT_DOUBLE_EQ(eham.longitude, 4.76);
  EXPECT_FLOAT_EQ(eham.altitude, -11.0f);
  EXPECT_EQ(eham.stands, 1);
  EXPECT_EQ(airportTable[2].stands, 2);

  EXPECT_TRUE(gf_isKnownAirport(IcaoCode("LOWI")));
  EXPECT_FALSE(gf_isKnownAirport(IcaoCode("KJFK")));
  EXPECT_EQ(gf_findAirport(IcaoCode("EHAM")), &airportTable[1]);
  EXPECT_EQ(gf_findAirport(IcaoCode("EHAA")), nullptr);
  EXPECT_EQ(gf_airportDisplayName(eham.icao, eham.iata), "EHAM (AMS)");
  EXPECT_EQ(gf_airportDisplayName(airportTable[0].icao, airportTable[0].iata), "EDDM");
  EXPECT_EQ(gf_airportDisplayName(IcaoCode(), noIataCode), "?");
  EXPECT_EQ(gf_airportDisplayName(eham.icao, IataCode()), "EHAM");
  EXPECT_FALSE(plainLeft());
  EXPECT_EQ(logLines(), (Strings{"==> Missing stands for airport 'EDDM'", "==> Missing latLons for airport 'KJFK'",
                                 "==> Missing alt for airport 'KLAX'",
                                 "Error storing airport 'LFPG' 'CD': 'CD' FixedCode: invalid string (length/charset)",
                                 "    3 airports read"}));
}

TEST_F(AirportDbTest, ReadOncePerProcess) {
  writeAirports(R"(<ap c="EHAM" la="52.31" lo="4.76" a="-11" s="1"/>)");
  ASSERT_TRUE(gf_readAirports());
  std::filesystem::remove("input/airports.enc");
  const std::string notLoaded = "88: " + shownPath("input/airports.xml") + " not loaded: ";
  EXPECT_TRUE(gf_readAirports());
  EXPECT_EQ(airportTable.size(), 1u);
  EXPECT_TRUE(airportsRead.load());
}

TEST_F(AirportDbTest, EmptyDatabaseReadsAsFalse) {
  writeAirports("");
  EXPECT_FALSE(gf_readAirports());
  EXPECT_TRUE(airportsRead.load());
  EXPECT_FALSE(plainLeft());
}

// One record with a code the table cannot hold costs that record; the database fails (reads as
// false) only when nothing usable is left.
TEST_F(AirportDbTest, ABadCodeCostsOnlyItsAirport) {
  writeAirports(R"(<ap c="EHA" la="1" lo="1" a="1"/><ap c="EHAM" la="52.31" lo="4.76" a="-11" s="1"/>)"
                R"(<ap c="EH-M" i="AMS" la="1" lo="1" a="1"/><ap la="1" lo="1" a="1"/>)");
  ASSERT_TRUE(gf_readAirports());
  ASSERT_EQ(airportTable.size(), 1u);
  EXPECT_EQ(airportTable[0].icao, IcaoCode("EHAM"));
  EXPECT_FALSE(plainLeft());
  EXPECT_EQ(logLines(), (Strings{"Error storing airport 'EHA' '': 'EHA' FixedCode: invalid string (length/charset)",
                                 "Error storing airport 'EH-M' 'AMS': 'EH-M' FixedCode: invalid string (length/charset)",
                                 "Error storing airport '' '': '' FixedCode: invalid string (length/charset)",
                                 "    1 airports read"}));

  wdrx::testing::resetAirports();
  writeAirports(R"(<ap c="EHA" la="1" lo="1" a="1"/>)");
  EXPECT_FALSE(gf_readAirports());
  EXPECT_TRUE(airportTable.empty());
  EXPECT_FALSE(plainLeft());
}

TEST_F(AirportDbTest, FailuresThrowError88AndLeaveNoPlainFile) {
  writeEncrypted("input/airports.enc", "<root><other/></root>");
  EXPECT_EQ(readError(), "88: Missing <airports> root in: " + shownPath("input/airports.xml"));
  EXPECT_FALSE(plainLeft());

  std::filesystem::remove("input/airports.enc");
  const std::string notLoaded = "88: " + shownPath("input/airports.xml") + " not loaded: ";
  EXPECT_EQ(readError().rfind(notLoaded, 0), 0u);

  writeEncrypted("input/airports.enc", "<root><airports><ap");
  EXPECT_EQ(readError().rfind(notLoaded, 0), 0u);
  EXPECT_FALSE(plainLeft());
  EXPECT_FALSE(airportsRead.load());
  EXPECT_TRUE(airportTable.empty());  // nothing half-read stays for the next try

  writeAirports(R"(<ap c="EHAM" la="52.31" lo="4.76" a="-11" s="1"/>)");
  EXPECT_TRUE(gf_readAirports());  // a later run tries again
  EXPECT_EQ(airportTable.size(), 1u);
}
