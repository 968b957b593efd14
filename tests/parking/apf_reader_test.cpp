// Locating, downloading and reading the park airport's file; the nearest stand of an airport.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "airports/airport_db.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "foundation/user_error.hpp"
#include "parking/apf_fixture.hpp"
#include "parking/apf_location.hpp"
#include "parking/apf_reader.hpp"
#include "parking/apf_state.hpp"
#include "support/env.hpp"
#include "support/http_server.hpp"
#include "traffic/udp_reader.hpp"

using namespace apf_test;
namespace fs = std::filesystem;
using wdrx::testing::shownPath;
using wdrx::testing::writeFile;

namespace {

// Degrees of latitude for a distance in metres (one degree is 60 nm on the program's earth).
double northOf(double metres) { return metres / 1852.0 / 60.0; }

class ApfReaderTest : public ApfTest {
 protected:
  ApfReaderTest() {
    addAirport("EHAM", 52.3, 4.76, 1);
    setParkAirport("EHAM");
  }
  ~ApfReaderTest() override {
    wdrx::testing::unsetEnv("WDRX_DOWNLOAD_BASE");
    trafficReader.setFieldElevation(std::nullopt);
  }
  static std::string readError(const std::string& name) {
    try {
      return gf_readApf(name);
    } catch (const tql::UserErrorException& e) {
      return std::string("user error ") + e.what();
    }
  }
  static std::string file(const std::string& parameters, const std::string& stands) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::size_t start = 0;
    while (start < parameters.size()) {  // "name=value;name=value"
      const std::size_t end = std::min(parameters.find(';', start), parameters.size());
      const std::string entry = parameters.substr(start, end - start);
      const std::size_t eq = entry.find('=');
      entries.emplace_back(entry.substr(0, eq), entry.substr(eq + 1));
      start = end + 1;
    }
    return apfXml(entries, stands);
  }
};

}  // namespace

TEST_F(ApfReaderTest, LocatesTheFileOfACode) {
  const IcaoCode eham("EHAM");
  EXPECT_EQ(gf_findApfFile(eham), "archive/stock/EHAM.xml");  // database stands value 1
  EXPECT_TRUE(gf_apfExists(eham));
  addAirport("LOWI", 47.26, 11.34, 0);
  EXPECT_EQ(gf_findApfFile(IcaoCode("LOWI")), "");
  EXPECT_FALSE(gf_apfExists(IcaoCode("LOWI")));
  EXPECT_EQ(gf_findApfFile(IcaoCode("KJFK")), "");

  writeFile("airports/my_ORBX/EHAM.xml", "x");
  EXPECT_EQ(gf_findApfFile(eham), shownPath("airports/my_ORBX/EHAM.xml"));
  writeFile("airports/my_ORBX/EHAM.txt", "archive/simaddon/EHAM.xml\n");
  EXPECT_EQ(gf_findApfFile(eham), "archive/simaddon/EHAM.xml");
  writeFile("airports/my_thirdparty/EHAM.xml", "x");
  const std::string local = shownPath("airports/my_thirdparty/EHAM.xml");  // download names keep '/'
  EXPECT_EQ(gf_findApfFile(eham), local);

  struct Pointer {
    const char* content;
    std::string found;  // what gf_findApfFile gives with this pointer in my_thirdparty
  };
  const Pointer pointers[] = {
      {"archive/thirdparty/Some%20Pub/EHAM.XML  \t\r\n", "archive/thirdparty/Some%20Pub/EHAM.XML"},
      {"\xEF\xBB\xBF" "archive/stock/EHAM.xml\n", "archive/stock/EHAM.xml"},
      {"xml\n", local},
      {".xml\n", ".xml"},  // 4 characters ending in .xml
      {"archive/stock/EHAM.txt\n", local},
      {"airports/../../etc/passwd.xml\n", local},
      {"/etc/EHAM.xml\n", local},
      {"C:\\Scenery\\EHAM.xml\n", local},
      {"", local},
  };
  for (const auto& p : pointers) {
    writeFile("airports/my_thirdparty/EHAM.txt", p.content);
    EXPECT_EQ(gf_findApfFile(eham), p.found) << p.content;
  }
  EXPECT_EQ(logLinesWith("gf_readApfPointer").size(), 3u);  // "..", "/", "C:" refused

  fs::remove_all("airports");
  writeFile("airports/my_ORBX/EHAM.txt", "whatever");  // pointers are not opened here
  addAirport("ZZZZ", 0, 0, 0);
  writeFile("airports/my_ORBX/ZZZZ.txt", "whatever");
  EXPECT_TRUE(gf_apfExists(IcaoCode("ZZZZ")));
}

TEST_F(ApfReaderTest, LearnedFileOfAnAirportFileStaysInTheLearnedFolder) {
  struct Case {
    const char* name;
    const char* publisher;
    const char* learned;
  };
  const Case cases[] = {
      {"archive/stock/EHAM.xml", "stock", "airports/learned/stock/EHAM.xml"},
      {"archive\\stock\\EHAM.XML", "", "airports/learned/stock/EHAM.XML"},
      {"archive/simaddon/LOWI.xml", "simaddon", "airports/learned/simaddon/LOWI.xml"},
      {"archive/thirdparty/Some%20Pub/EHAM.xml", "x", "airports/learned/thirdparty/Some Pub/EHAM.xml"},
      {"archive/thirdparty/EHAM.xml", "x", ""},
      {"archive/thirdparty/../EHAM.xml", "x", ""},
      {"archive/thirdparty/%20/EHAM.xml", "x", ""},
      {"archive/stock/../EHAM.xml", "x", "airports/learned/stock/EHAM.xml"},
      {"airports/my_thirdparty/EHAM.xml", "FlyTampa", "airports/learned/thirdparty/FlyTampa/EHAM.xml"},
      {"airports/my_thirdparty2024/EHAM.xml", " A/B ", "airports/learned/thirdparty/A B/EHAM.xml"},
      {"airports/my_thirdparty/EHAM.xml", "", ""},
      {"airports/my_thirdparty/EHAM.xml", "..", ""},
      {"airports/my_thirdparty/EHAM.xml", "../..", ""},
      {"airports/my_ORBX/EHAM.xml", "simaddon", "airports/learned/my_ORBX/EHAM.xml"},
      {"airports/stock/EHAM.xml", "", "airports/learned/stock/EHAM.xml"},
      {"airports/../../outside/EHAM.xml", "", ""},
      {"airports/my_ORBX/..\\..\\EHAM.xml", "", ""},
      {"other/EHAM.xml", "", ""},
      {"archive/stock/EHAM.txt", "", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gf_chooseApfOrigin(c.name, c.publisher), fs::path(c.learned)) << c.name << " / " << c.publisher;
  }
  // Without a learned file of its own, the file's publisher chooses the folder, for reading and
  // saving alike.
  const IcaoCode eham("EHAM");
  EXPECT_EQ(gf_learnedFileLocation("airports/my_thirdparty/EHAM.xml", "", eham),
            fs::path("airports/learned/thirdparty/EHAM.xml"));
  EXPECT_EQ(gf_learnedFileLocation("airports/my_thirdparty/EHAM.xml", "..", eham),
            fs::path("airports/learned/thirdparty/EHAM.xml"));
  EXPECT_EQ(gf_learnedFileLocation("odd.txt", "simaddon", eham), fs::path("airports/learned/simaddon/EHAM.xml"));
  EXPECT_EQ(gf_learnedFileLocation("odd.txt", "stock", eham), fs::path("airports/learned/stock/EHAM.xml"));
  EXPECT_EQ(gf_learnedFileLocation("odd.txt", "Pub", eham), fs::path("airports/learned/thirdparty/Pub/EHAM.xml"));
  EXPECT_EQ(gf_learnedFileLocation("airports/my_ORBX/EHAM.xml", "simaddon", eham),
            fs::path("airports/learned/my_ORBX/EHAM.xml"));
}

TEST_F(ApfReaderTest, ReadsHeaderStandsNeighboursAndLogsTheSummary) {
  std::vector<bool> flushEnabled;
  int repaints = 0, disallowed = 0;
  airportFileDisplay.enableFlushStatic = [&](bool on) { flushEnabled.push_back(on); };
  airportFileDisplay.repaintAirportBand = [&] { ++repaints; };
  airportFileDisplay.disallowNowButton = [&] { ++disallowed; };
  const double lat = 52.3;
  writeFile("airports/my_thirdparty/EHAM.xml",
            file("publisher=FlyTampa;version=1.2;Facilities=true;altitude=-11;airport_name=Schiphol;"
                 "RT_traffic_week=7;Qf_real=50;Qf_soft=10",
                 parkpos("A1", lat, 4.76, R"(radius="20")") +
                     parkpos("A2", lat + northOf(36), 4.76, R"(radius="20")") +
                     parkpos("A3", lat + northOf(36 + 37), 4.76, R"(radius="20")")));
  ASSERT_EQ(readError(gf_findApfFile(IcaoCode("EHAM"))), "");
  ASSERT_EQ(standTable.size(), 3u);
  EXPECT_EQ(standTable[0].number, 1u);
  EXPECT_EQ(standTable[2].number, 3u);
  using Numbers = std::vector<std::uint32_t>;
  EXPECT_EQ(standTable[0].neighbours, (Numbers{2}));  // 40 m of radii > 1.1 x 36 m
  EXPECT_EQ(standTable[1].neighbours, (Numbers{1}));  // 37 m to A3: 40 < 40.7
  EXPECT_EQ(standTable[2].neighbours, Numbers{});
  EXPECT_EQ(standCount.load(), 3u);
  EXPECT_EQ(apfHeader.publisher, "FlyTampa");
  EXPECT_EQ(apfHeader.airport_name, "Schiphol");
  EXPECT_EQ(apfHeader.altitude, -11);
  EXPECT_EQ(rtTrafficWeek.load(), 7);
  EXPECT_EQ(apfQuality, (QualityPair{50, 10}));
  EXPECT_EQ(parkAirportElevation, -11.0);
  EXPECT_EQ(trafficReader.fieldElevation(), -11.0);
  EXPECT_TRUE(learnedDirty.load());
  EXPECT_EQ(airportBandPublisher.load(), "FlyTampa");
  EXPECT_EQ(airportBandQuality.load(), "50");
  EXPECT_FALSE(airportBandHandmade.load());
  EXPECT_EQ(apfLearnedPath, fs::path("airports/learned/thirdparty/FlyTampa/EHAM.xml"));
  EXPECT_EQ(flushEnabled, std::vector<bool>{true});
  EXPECT_EQ(disallowed, 1);
  EXPECT_GE(repaints, 3);
  const std::string log = logText();
  const std::string expected =
      "learned does not exist\n"
      "          parking_percentage      : 100%\n"
      "Airport file read from '" + shownPath("airports/my_thirdparty/EHAM.xml") + "' for Schiphol\n"
      "          publisher               : FlyTampa\n"
      "          version                 : 1.2\n"
      "          altitude                : -11 ft\n"
      "          num_parkpos             : 3\n"
      "          Facilities              : true\n"
      "          quality factor          : 50\n"
      "          RT traffic week         : 7\n";
  EXPECT_NE(log.find(expected), std::string::npos) << log;
}

TEST_F(ApfReaderTest, DownloadsAFileOfTheDownloadArea) {
  wdrx::testing::HttpServer server;
  wdrx::testing::setEnv("WDRX_DOWNLOAD_BASE", server.url("/downloads/"));
  server.serveFile("/downloads/P3D/archive/stock/EHAM.xml",
                   file("publisher=stock;altitude=3", parkpos("B1", 52.3, 4.7)));
  ASSERT_EQ(readError("archive/stock/EHAM.xml"), "");
  ASSERT_EQ(standTable.size(), 1u);
  EXPECT_TRUE(fs::exists("airports/park_airport.xml"));
  EXPECT_EQ(apfLearnedPath, fs::path("airports/learned/stock/EHAM.xml"));
  EXPECT_NE(logText().find("Airport file read from 'archive/stock/EHAM.xml' for \n"), std::string::npos);

  standTable.clear();
  const std::string url = server.url("/downloads/P3D/archive/stock/LOWI.xml");
  EXPECT_EQ(readError("archive/stock/LOWI.xml"), "failed to download: '" + url + "'");
  EXPECT_FALSE(fs::exists("airports/park_airport.xml"));  // EHAM's file is not taken for LOWI's
  EXPECT_TRUE(standTable.empty());
  EXPECT_EQ(logLinesWith("failed to download: '" + url + "'").size(), 1u);
}

TEST_F(ApfReaderTest, FailuresGiveTheirTexts) {
  writeFile("airports/my_thirdparty/NOXM.xml", "not xml <");
  writeFile("airports/my_thirdparty/NOMT.xml", "<root><parameters/></root>");
  writeFile("airports/my_thirdparty/NOAL.xml", file("publisher=x", parkpos("A1", 1, 1)));
  writeFile("airports/my_thirdparty/ZERO.xml", file("altitude=1", parkpos("A1", 0, 0)));
  writeFile("airports/my_thirdparty/DUPL.xml", file("altitude=1", parkpos("A1", 1, 1) + parkpos("A1", 2, 2)));
  struct Case {
    const char* name;
    const char* error;
  };
  const Case cases[] = {
      {"", "gf_readApf: xml is empty"},
      {"airports/my_thirdparty/NOXM.xml", "airports/my_thirdparty/NOXM.xml: could not load file: airports/my_thirdparty/NOXM.xml"},
      {"airports/my_thirdparty/MISS.xml", "airports/my_thirdparty/MISS.xml: could not load file: airports/my_thirdparty/MISS.xml"},
      {"airports/my_thirdparty/NOMT.xml", "airports/my_thirdparty/NOMT.xml: refused to load"},
      {"airports/my_thirdparty/NOAL.xml", "user error 65: Parameter altitude not found"},
      {"airports/my_thirdparty/ZERO.xml", "no stands found"},
      {"airports/my_thirdparty/DUPL.xml", "user error 94: Stand 'A1' appears more than once."},
      {"airports/../secret.xml", "airports/../secret.xml: refused to load"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readError(c.name), c.error) << c.name;
    standTable.clear();
  }
  parkAirportCode.store(IcaoCode{});
  EXPECT_EQ(readError("airports/my_thirdparty/ZERO.xml"), "gf_readApf: no park airport set");
}

TEST_F(ApfReaderTest, DefaultsFollowQualityAndDatabaseStands) {
  struct Case {
    const char* quality;  // parameters
    int databaseStands;
    bool soft, week;
    float maxFitHours;
    int percentage;
  };
  const Case cases[] = {
      {"Qf_real=2;Qf_soft=5", 1, true, true, 24.0f, 100},
      {"Qf_real=46;Qf_soft=5", 2, false, false, 6.0f, 50},
      {"Qf_real=45;Qf_soft=5", 3, true, true, 6.0f, 30},   // nothing changes
      {"Qf_real=3;Qf_soft=5", 3, true, true, 6.0f, 30},    // nothing changes
      {"Qf_real=2;Qf_soft=1", 3, true, true, 24.0f, 30},
      {"Qf_real=2;Qf_soft=0", 0, true, true, 6.0f, 30},    // no soft factor: nothing changes
      {"Qf_real=2", 1, true, true, 6.0f, 100},             // one factor alone is none
      {"Qf_real=-40;Qf_soft=300", 1, true, true, 24.0f, 100},  // clamped to 0 and 100
  };
  for (const auto& c : cases) {
    airportTable.clear();
    addAirport("EHAM", 52.3, 4.76, c.databaseStands);
    PARK_SOFT.value.store(true);
    WEEK.value.store(true);
    MAX_FIT.value.store(10);
    AMAX_FIT_FL.value.store(6.0f);
    parking_percentage.value.store(45);
    writeFile("airports/my_thirdparty/EHAM.xml",
              file(std::string("altitude=1;") + c.quality, parkpos("A1", 1, 1)));
    standTable.clear();
    ASSERT_EQ(readError("airports/my_thirdparty/EHAM.xml"), "") << c.quality;
    EXPECT_EQ(PARK_SOFT.value.load(), c.soft) << c.quality;
    EXPECT_EQ(WEEK.value.load(), c.week) << c.quality;
    EXPECT_EQ(AMAX_FIT_FL.value.load(), c.maxFitHours) << c.quality;
    EXPECT_EQ(MAX_FIT.value.load(), c.maxFitHours == 24.0f ? 47 : 10) << c.quality;
    EXPECT_EQ(parking_percentage.value.load(), c.percentage) << c.quality;
  }
  // The user's own values were taken before the file changed them.
  EXPECT_TRUE(view.saw("check 32852 0"));                  // PARK_SOFT cleared for Qf_real 46
  EXPECT_TRUE(view.saw("select 32850 20"));                // parking_percentage 100
  EXPECT_TRUE(view.saw("select 32854 19"));                // AMAX_FIT_FL 24.0
  EXPECT_TRUE(view.saw("enable 32850 1"));
}

TEST_F(ApfReaderTest, QualityOfTheAirportBeforeIsNotCarriedOver) {
  writeFile("airports/my_thirdparty/EHAM.xml", file("altitude=1;Qf_real=60;Qf_soft=5", parkpos("A1", 1, 1)));
  ASSERT_EQ(readError("airports/my_thirdparty/EHAM.xml"), "");
  EXPECT_EQ(apfQuality, (QualityPair{60, 5}));
  addAirport("LOWI", 47, 11, 3);
  setParkAirport("LOWI");
  writeFile("airports/my_thirdparty/LOWI.xml", file("altitude=1", parkpos("A1", 1, 1)));
  standTable.clear();
  ASSERT_EQ(readError("airports/my_thirdparty/LOWI.xml"), "");
  EXPECT_EQ(apfQuality, (QualityPair{-1, -1}));
  EXPECT_EQ(airportBandQuality.load(), "  ");
}

TEST_F(ApfReaderTest, NearestStandOfAnotherAirport) {
  addAirport("LOWI", 47.26, 11.34, 1);
  const IcaoCode lowi("LOWI");
  std::string name = "old";
  EXPECT_EQ(gf_readDestApfForClosestStand(IcaoCode("KJFK"), {47.26, 11.34}, name), 0.0);
  EXPECT_EQ(name, "");

  writeFile("airports/my_thirdparty/LOWI.xml",
            file("altitude=1", parkpos("far", 47.26 + northOf(300), 11.34) +
                                   parkpos("near", 47.26 + northOf(100), 11.34) +
                                   parkpos("same", 47.26 + northOf(100), 11.34)));
  EXPECT_NEAR(gf_readDestApfForClosestStand(lowi, {47.26, 11.34}, name), 100.0 / 1852.0, 1e-9);
  EXPECT_EQ(name, "near");  // ties keep the earlier stand
  EXPECT_EQ(gf_readDestApfForClosestStand(lowi, {10.0, 11.34}, name), 100.0);
  EXPECT_EQ(name, "");

  fs::remove("airports/my_thirdparty/LOWI.xml");
  wdrx::testing::HttpServer server;
  wdrx::testing::setEnv("WDRX_DOWNLOAD_BASE", server.url("/downloads/"));
  server.serveFile("/downloads/P3D/archive/stock/LOWI.xml",
                   "<parkpositions>" + parkpos("top", 47.26 + northOf(50), 11.34) + "</parkpositions>");
  EXPECT_NEAR(gf_readDestApfForClosestStand(lowi, {47.26, 11.34}, name), 50.0 / 1852.0, 1e-9);
  EXPECT_EQ(name, "top");
  EXPECT_FALSE(fs::exists("airport.xml"));
  EXPECT_EQ(gf_readDestApfForClosestStand(IcaoCode("EHAM"), {47.26, 11.34}, name), 0.0);  // 404
  EXPECT_FALSE(fs::exists("airport.xml"));
}

TEST_F(ApfReaderTest, ClearingKeepsTheTableCapacity) {
  standTable.reserve(512);
  standTable.emplace_back(std::vector<StandOption>{}, "A", StandPosition{}, 1.0, 0, false, false, false);
  lf_clearStands();
  EXPECT_TRUE(standTable.empty());
  EXPECT_GE(standTable.capacity(), 512u);
}
