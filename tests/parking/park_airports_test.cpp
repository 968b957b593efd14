// The user's park airports: my_park_airports.txt both ways, the choice of the park airport, its
// change, the "Re-read" recheck and the user's stand stored by the simulator thread.
#include <atomic>
#include <cmath>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "parking/apf_state.hpp"
#include "parking/park_airports.hpp"
#include "parking/stand_services.hpp"
#include "parking/stands_fixture.hpp"
#include "parking/static_parking.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/status_line.hpp"
#include "simlink/sim_services.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/udp_reader.hpp"

using namespace stands_test;
using wdrx::testing::readFile;
using wdrx::testing::shownPath;
using wdrx::testing::writeFile;

namespace {

class ParkAirportsTest : public StandsTest {
 protected:
  ParkAirportsTest() {
    apf_test::addAirport("EHAM", 52.3086, 4.7639, 0);
    apf_test::addAirport("EDDF", 50.0333, 8.5706, 0);
    apf_test::addAirport("EHRD", 51.9569, 4.4375, 0);
  }
  ~ParkAirportsTest() override { simLinkServices = {}; }
  void writeList(const std::string& text) { writeFile(dir / "airports/my_park_airports.txt", text); }
  std::string list() const { return readFile(dir / "airports/my_park_airports.txt"); }
  static std::vector<std::string> codes() {
    std::lock_guard lock(parkAirportsMutex);
    std::vector<std::string> result;
    for (const ParkAirport& entry : parkAirportList)
      result.push_back(entry.code.str() + (entry.reservedStand.empty() ? "" : "," + entry.reservedStand));
    return result;
  }
  static void parkAt(const std::string& icao) {
    const IcaoCode code(icao);
    parkAirport.store(*gf_findAirport(code));
    parkAirportCode.store(code);
  }
  std::string status() const { return gf_statusSnapshot().statusText; }
  // An airport file with stands at the given positions.
  void airportFile(const std::string& icao, const std::vector<std::pair<std::string, LatLon>>& stands) {
    std::string positions;
    for (const auto& [name, at] : stands) positions += apf_test::parkpos(name, at.lat, at.lon, R"(radius="20")");
    writeFile(dir / ("airports/my_thirdparty/" + icao + ".xml"),
              apf_test::apfXml({{"altitude", "-11"}}, positions));
  }
};

using Codes = std::vector<std::string>;

}  // namespace

TEST_F(ParkAirportsTest, ReadsTheListSkippingWhatItCannotUse) {
  writeList("\xEF\xBB\xBF" "EHAM,B12\n\nEHAM,C3\nEDDF,A1,A2\nXXXX\neddf\nEDDF\nE-DF\nEHRD\n");
  EXPECT_FALSE(lf_readMyParkAirports()) << "an unknown airport";
  EXPECT_EQ(codes(), (Codes{"EHAM,B12", "EDDF", "EDDF", "EHRD"})) << "case decides the double test";
  const std::string log = logText();
  EXPECT_NE(log.find("my_park_airports.txt:EHAM double, skipped"), std::string::npos);
  EXPECT_NE(log.find("my_park_airports.txt:EDDF,A1,A2 wrong syntax, skipped"), std::string::npos);
  EXPECT_NE(log.find("airport XXXX is unknown"), std::string::npos);
  EXPECT_NE(log.find("'E-DF' FixedCode: invalid string"), std::string::npos) << "logged, the rest still read";
  EXPECT_NE(log.find("    4 park airports read from 'my_park_airports.txt'"), std::string::npos);
}

TEST_F(ParkAirportsTest, AMissingListStillTakesTheThirdpartyAirports) {
  writeFile(dir / "airports/my_thirdparty/EHRD.xml", "x");
  writeFile(dir / "airports/my_thirdparty/EHAM.txt", "x");
  writeFile(dir / "airports/my_thirdparty/LONGNAME.xml", "x");
  writeFile(dir / "airports/my_thirdparty/ZZZZ.xml", "x");  // no such airport
  EXPECT_TRUE(lf_readMyParkAirports());
  EXPECT_NE(logText().find(shownPath("airports/my_park_airports.txt") + " not found"), std::string::npos);
  Codes found = codes();
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (Codes{"EHAM", "EHRD"}));
}

TEST_F(ParkAirportsTest, ALongListIsWarnedAboutAbove3000) {
  for (int count : {3000, 3001}) {
    airportTable.clear();
    airportIndex.clear();
    std::string text;
    for (int i = 0; i < count; ++i) {
      const std::string icao = wdrx::format("{:04}", i);
      airportTable.push_back({IcaoCode(icao), noIataCode, 50.0, 8.0, 0.0f, 0});
      airportIndex.insert(airportTable.back().icao);
      text += icao + "\n";
    }
    std::sort(airportTable.begin(), airportTable.end(), [](const Airport& a, const Airport& b) { return a.icao < b.icao; });
    writeList(text);
    gf_clearStatus();
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(status().starts_with("Warning: There are a lot of airports"), count > 3000) << count;
  }
}

TEST_F(ParkAirportsTest, RecordingTheFirstAirportRewritesItsLineSorted) {
  writeList("EHRD\nEHAM,B12\n");
  lf_readMyParkAirports();
  lf_recordParkAirportStand(*gf_findAirport(IcaoCode("EHAM")), "C7");
  EXPECT_EQ(list(), "EHAM,C7\nEHRD\n");
  EXPECT_NE(logText().find("my_park_airports.txt:EHAM,C7 updated stand"), std::string::npos);

  // On no stand: the stand chosen before stays.
  lf_recordParkAirportStand(*gf_findAirport(IcaoCode("EHRD")), "");
  lf_recordParkAirportStand(*gf_findAirport(IcaoCode("EHAM")), "");
  EXPECT_EQ(codes().front(), "EHAM,C7");
  EXPECT_EQ(list(), "EHAM,C7\nEHRD\n");

  gf_addParkAirport(IcaoCode("EDDF"), 50.0333, 8.5706);
  EXPECT_EQ(list(), "EDDF\nEHAM,C7\nEHRD\n");
  EXPECT_NE(logText().find("my_park_airports.txt:EDDF new entry"), std::string::npos);
  gf_addParkAirport(IcaoCode("EHRD"), 0.0, 0.0);  // known: to the front, the file stays
  EXPECT_EQ(codes(), (Codes{"EHRD", "EDDF", "EHAM,C7"}));
  EXPECT_EQ(list(), "EDDF\nEHAM,C7\nEHRD\n");
}

TEST_F(ParkAirportsTest, TheFileIsCreatedWhenMissingAndKeptWhenUnreadable) {
  gf_addParkAirport(IcaoCode("EHAM"), 52.3086, 4.7639);
  EXPECT_EQ(list(), "EHAM\n");
  EXPECT_NE(logText().find("my_park_airports.txt created with EHAM"), std::string::npos);

  std::filesystem::remove(dir / "airports/my_park_airports.txt");
  std::filesystem::create_directory(dir / "airports/my_park_airports.txt");  // cannot be read
  gf_addParkAirport(IcaoCode("EDDF"), 50.0333, 8.5706);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "airports/my_park_airports.txt"));
  EXPECT_NE(logText().find("not rewritten"), std::string::npos);
}

TEST_F(ParkAirportsTest, TheListIsSortedByDistanceUnlessADestinationLeads) {
  writeList("EDDF\nEHRD\nEHAM\n");
  lf_readMyParkAirports();
  lf_sortParkAirports({52.30, 4.76});
  EXPECT_EQ(codes(), (Codes{"EHAM", "EHRD", "EDDF"}));
  DESTINATION.value.store("EDDF");
  gf_addParkAirport(IcaoCode("EDDF"), 50.0333, 8.5706);
  lf_sortParkAirports({51.95, 4.44});
  EXPECT_EQ(codes(), (Codes{"EDDF", "EHAM", "EHRD"}));
  EXPECT_GT(gf_firstParkAirport()->distance, 100.0) << "the distance follows the aircraft all the same";
}

TEST_F(ParkAirportsTest, TheClosestAirportWithinFiveMiles) {
  airportTable.clear();
  airportIndex.clear();
  const LatLon user{52.0, 4.0};
  auto place = [&](const std::string& icao, double nm) {
    const LatLon at = gf_destinationPoint(user, 0.0, nm * 6076.11549);
    apf_test::addAirport(icao, at.lat, at.lon, 0);
  };
  place("AAAA", 4.0);
  place("BBBB", 4.5);
  ASSERT_TRUE(gf_closestAirport(user));
  EXPECT_EQ(gf_closestAirport(user)->icao, IcaoCode("AAAA"));
  EXPECT_EQ(logLinesWith("neighbour is").size(), 0u) << "met nearest first: no runner-up";

  airportTable.clear();
  place("AAAA", 4.5);
  place("BBBB", 4.0);
  // The runner-up's stand is nearer than any of the chosen airport's.
  airportFile("AAAA", {{"A1", gf_destinationPoint(user, 0.0, 100.0)}});
  airportFile("BBBB", {{"B1", gf_destinationPoint(user, 0.0, 200.0)}});
  EXPECT_EQ(gf_closestAirport(user)->icao, IcaoCode("AAAA"));
  EXPECT_EQ(logLinesWith("Airport BBBB is closest, neighbour is AAAA").size(), 1u);
  EXPECT_EQ(logLinesWith("Airport BBBB is closest, but stand A1 at neighbouring airport AAAA is closer at 30 meters").size(), 1u);

  // The last latitude whose distance is not above 5 nm.
  airportTable.clear();
  LatLon edge = gf_destinationPoint(user, 0.0, 5.0 * 6076.11549);
  while (gf_distanceNm(user, edge) > 5.0) edge.lat = std::nextafter(edge.lat, 0.0);
  ASSERT_NEAR(gf_distanceNm(user, edge), 5.0, 1e-12);
  apf_test::addAirport("EDGE", edge.lat, edge.lon, 0);
  EXPECT_TRUE(gf_closestAirport(user));
  airportTable.clear();
  place("OUTS", 5.01);
  EXPECT_FALSE(gf_closestAirport(user));
}

TEST_F(ParkAirportsTest, OnTheGroundTheAirportWhereTheUserStandsBecomesTheParkAirport) {
  const LatLon eham{52.3086, 4.7639};
  userAt(eham, true);
  lf_userOnGroundAt(eham, true);
  EXPECT_EQ(status(), "User aircraft on the ground at EHAM, no airport file found");
  EXPECT_TRUE(parkAirportCode.load().empty());

  airportFile("EHAM", {{"A1", eham}});
  lf_userOnGroundAt(eham, true);
  EXPECT_EQ(parkAirportCode.load(), IcaoCode("EHAM"));
  EXPECT_EQ(band.parkAirport, IcaoCode("EHAM"));
  EXPECT_TRUE(staticRecalcRequested);
  EXPECT_TRUE(parkingUpdateBusy.load());
  EXPECT_TRUE(trafficReader.collectCallsigns.load());
  EXPECT_EQ(status(), "Calculating static parked aircraft ...");

  parkAirportCode.store(IcaoCode{});
  const LatLon nowhere{40.0, -30.0};
  userAt(nowhere, true);
  lf_userOnGroundAt(nowhere, false);
  EXPECT_EQ(status(), "User aircraft on the ground, no RT supported airport in sight");
}

TEST_F(ParkAirportsTest, InTheAirTheFirstListedAirportInSightBecomesTheParkAirport) {
  writeList("EHAM\n");
  lf_readMyParkAirports();
  const LatLon approach = gf_destinationPoint({52.3086, 4.7639}, 0.0, 3.0 * 6076.11549);
  struct Case {
    double height;
    bool chosen;
  };
  for (const Case& c : {Case{18001.0, false}, Case{18000.0, true}}) {
    parkAirportCode.store(IcaoCode{});
    userAt(approach, false, c.height);
    gf_staticParkingTick(false);
    EXPECT_EQ(!parkAirportCode.load().empty(), c.chosen) << c.height;
  }
  EXPECT_EQ(status(), "EHAM in sight at 3.0 nm");
  EXPECT_TRUE(staticRecalcRequested);
  EXPECT_GE(band.destinationEnabled, 1);
}

TEST_F(ParkAirportsTest, TheParkAirportIsGivenUpOutOfSightOrForANearerListedOne) {
  writeList("EHAM\nEHRD\n");
  lf_readMyParkAirports();
  parkAt("EHAM");
  const LatLon far = gf_destinationPoint({52.3086, 4.7639}, 0.0, 25.0 * 6076.11549);
  userAt(far, true);
  gf_staticParkingTick(false);
  EXPECT_EQ(parkAirportCode.load(), IcaoCode("EHAM")) << "never while on the ground";
  userAt(far, false, 3000.0);
  gf_staticParkingTick(false);
  EXPECT_TRUE(parkAirportCode.load().empty());
  EXPECT_EQ(logLinesWith("EHAM is out of sight (25.0 nm), parked aircraft will be removed").size(), 1u);
  EXPECT_EQ(engine.removeAllCalls, 1);

  // Over Rotterdam, Schiphol still in sight: the nearer listed airport takes over.
  AIRP_RANGE.value.store(30);
  parkAt("EHAM");
  userAt({51.9569, 4.4375}, false, 2000.0);
  gf_staticParkingTick(false);
  EXPECT_TRUE(parkAirportCode.load().empty());
  EXPECT_EQ(logLinesWith("EHRD is in sight (0.0 nm), parked aircraft at EHAM will be removed first").size(), 1u);
  gf_staticParkingTick(false);
  EXPECT_EQ(parkAirportCode.load(), IcaoCode("EHRD"));

  // A listed airport just as near takes over as well.
  apf_test::addAirport("EHA2", 52.3086, 4.7639, 0);
  writeList("EHA2\nEHAM\n");
  lf_readMyParkAirports();
  parkAt("EHAM");
  staticRecalcRequested = false;  // EHRD's file is not read here
  userAt(offset({52.3086, 4.7639}, 0, 2000), false, 2000.0);
  gf_staticParkingTick(false);
  EXPECT_TRUE(parkAirportCode.load().empty());
  EXPECT_EQ(logLinesWith("EHA2 is in sight (1.1 nm), parked aircraft at EHAM will be removed first").size(), 1u);
}

TEST_F(ParkAirportsTest, RereadTakesAChangedReservedStandIntoUse) {
  writeList("EHAM,A1\n");
  lf_readMyParkAirports();
  parkAt("EHAM");
  Stand& a1 = addStand("A1", base);
  Stand& a2 = addStand("A2", offset(base, 90, 100));
  a1.reserved = 1;
  reservedStandName = "A1";
  userAt(offset(base, 0, 500), true);
  std::string message;
  EXPECT_TRUE(gf_recheckParkAirports(true, message));
  EXPECT_EQ(message, "park airports and stands are okay");

  writeList("EHAM,A2\n");
  message.clear();
  EXPECT_TRUE(gf_recheckParkAirports(true, message));
  EXPECT_EQ(message, "reserved stand changed from 'A1' to 'A2'");
  EXPECT_EQ(reservedStandName, "A2");
  EXPECT_EQ(a1.reserved, 0);
  EXPECT_EQ(a2.reserved, 1);
  EXPECT_EQ(engine.removedAtStand, std::vector<std::string>{"A2"});
  EXPECT_EQ(band.reservedStand, "A2");
  EXPECT_TRUE(band.reservedFound);

  writeList("EHAM,A1\nQQQQ\n");
  message.clear();
  EXPECT_FALSE(gf_recheckParkAirports(true, message));
  EXPECT_EQ(reservedStandName, "A2");
}

TEST_F(ParkAirportsTest, TheSimulatorThreadStoresTheUsersStandUnderTheLock) {
  writeList("EHAM\nEHRD\n");
  lf_readMyParkAirports();
  gf_registerParkingServices();
  ASSERT_TRUE(simLinkServices.storeParkAirportStand);
  simLinkServices.storeParkAirportStand("B7");
  EXPECT_EQ(list(), "EHAM\nEHRD\n") << "EHAM is not the park airport";
  parkAt("EHAM");
  std::atomic<bool> stop{false};
  std::thread simulator([&] {
    for (int i = 0; !stop.load(); ++i) simLinkServices.storeParkAirportStand(i % 2 ? "B7" : "B8");
  });
  for (int i = 0; i < 50; ++i) {
    lf_sortParkAirports({52.3 + 1e-3 * i, 4.76});
    ASSERT_EQ(gf_firstParkAirport()->code, IcaoCode("EHAM"));
  }
  stop.store(true);
  simulator.join();
  simLinkServices.storeParkAirportStand("B9");
  EXPECT_EQ(list(), "EHAM,B9\nEHRD\n");
}

TEST_F(ParkAirportsTest, ReadingTheParkAirportsFileRecordsTheStandUnderTheUser) {
  writeList("EHRD\nEHAM,B12\n");
  lf_readMyParkAirports();
  const LatLon eham{52.3086, 4.7639};
  airportFile("EHAM", {{"A1", eham}, {"B12", offset(eham, 90, 200)}});
  parkAt("EHAM");
  userAt(offset(eham, 0, 300), true);  // on no stand
  EXPECT_EQ(lf_readParkedFile(), "");
  EXPECT_EQ(codes().front(), "EHAM,B12");
  EXPECT_EQ(reservedStandName, "B12");
  EXPECT_TRUE(band.reservedFound);

  userAt(eham, true);  // on A1
  EXPECT_EQ(lf_readParkedFile(), "");
  EXPECT_EQ(codes().front(), "EHAM,A1");
  EXPECT_EQ(reservedStandName, "A1");
  EXPECT_EQ(list(), "EHAM,A1\nEHRD\n");
}
