// Reports to aircraft: the filters of a further sample, new aircraft, identity changes.
#include <gtest/gtest.h>

#include "aircraft/reference_db.hpp"
#include "aircraft/registrations.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/engine_harness.hpp"
#include "records/engine_cycle.hpp"
#include "simlink/ai_creation.hpp"

using namespace wdrx::testing;

namespace {

LiveAc& flyingAc(double groundSpeed, bool airborne, double track = 90.0) {
  LiveAc& ac = addLiveAc(0x400001, "KLM1", "B738", SimState::active, 2000, 52.4, 4.8, airborne ? 5000 : 0);
  ac.flightState = airborne ? FlightState::flying : FlightState::taxi;
  ac.samples.front().groundSpeed = groundSpeed;
  ac.samples.front().track = track;
  ac.lastReportTime = 1000.0;
  return ac;
}

LiveReport reportOf(double groundSpeed, bool airborne, double dt, double track,
                    const std::string& callsign = "KLM1") {
  return EngineHarness::report(0x400001, callsign, "B738", 52.41, 4.81, airborne ? 5000 : 0, groundSpeed, track,
                               1000.0 + dt);
}

void setParkAirport(double altitudeFeet) {
  Airport airport;
  airport.icao = IcaoCode("EHAM");
  airport.iata = IataCode("AMS");
  airport.latitude = 52.31;
  airport.longitude = 4.76;
  airport.altitude = static_cast<float>(altitudeFeet);
  parkAirport.store(airport);
  parkAirportCode.store(airport.icao);
}

// PH-BFA, a KLM B744 of the reference data.
AircraftCodes registerKlmJumbo() {
  AircraftCodes codes;
  codes.airlineId = gf_airlineId("KLM");
  codes.modelId = gf_modelId("B744");
  codes.fromDbase = 1;
  dbaseRecords.push_back({"PH-BFA", codes});
  lf_sortDbaseRecords();
  return codes;
}

}  // namespace

TEST(Reports, FurtherSampleFilters) {
  EngineHarness h;
  struct Case {
    const char* name;
    double before, now, dt, track;
    bool airborne;
    std::int32_t pathExtension;
    bool used;
  };
  const Case cases[] = {
      {"TooSoon", 250, 250, 0.8, 95, true, 0, false},
      {"OneSecond", 250, 250, 1.0, 95, true, 0, false},
      {"SoonEnough", 250, 250, 1.2, 95, true, 0, true},
      {"NegativeTime", 250, 250, -5.0, 95, true, 0, false},
      {"OneAfterHundred", 100, 1, 20, 120, false, 0, false},
      {"SixAfterHundred", 100, 6, 20, 120, false, 0, false},
      {"ElevenAfterHundred", 100, 11, 20, 120, false, 0, true},
      {"HundredAfterFive", 5, 100, 20, 120, true, 0, false},
      {"FiftyAfterFour", 4, 50, 20, 120, false, 0, true},
      {"FiftyAfterFive", 5, 50, 20, 120, false, 0, true},
      {"SeventyNineAfterFive", 5, 79, 20, 120, false, 0, true},
      {"EightyAfterFive", 5, 80, 20, 120, false, 0, false},
      {"FiveAfterFifty", 50, 5, 20, 120, false, 0, true},
      {"SixAfterSixty", 60, 6, 20, 120, false, 0, false},
      {"StraightFastTooClose", 250, 250, 3.4, 90.5, true, 0, false},
      {"StraightFastFarEnough", 250, 250, 3.6, 90.5, true, 0, true},
      {"StraightFastTurning", 250, 250, 3.4, 91.5, true, 0, true},
      {"StraightFastExtending", 250, 250, 3.4, 90.5, true, 1, true},
      {"StraightAt120NotThinned", 120, 120, 3.0, 90.5, true, 0, true},
      {"SlowGroundTooClose", 10, 10, 3.85, 91, false, 0, false},
      {"GroundAt30TooClose", 30, 30, 1.2, 91, false, 0, false},  // 20 m at 30 knots: 1.3 s
      {"GroundAt31NotThinned", 31, 31, 1.2, 91, false, 0, true},
      {"SlowGroundFarEnough", 10, 10, 3.95, 91, false, 0, true},
      {"SlowGroundTurning", 10, 10, 3.85, 93, false, 0, true},
      {"StandingTooClose", 0, 0, 14.9, 91, false, 0, false},
      {"StandingFarEnough", 0, 0, 15.1, 91, false, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = flyingAc(c.before, c.airborne);
    ac.pathExtensionCount = c.pathExtension;
    LiveReport r = reportOf(c.now, c.airborne, c.dt, c.track);
    lf_takeReport(r);
    const LiveAc& after = *gf_findLiveAc(0x400001);
    EXPECT_EQ(after.samples.size(), c.used ? 2u : 1u);
    EXPECT_DOUBLE_EQ(after.lastReportTime, c.used ? 1000.0 + c.dt : 1000.0);
  }
}

TEST(Reports, RespawningAndRemovedAircraftTakeNoReports) {
  EngineHarness h;
  for (SimState state : {SimState::liveryrespawn, SimState::removingfromsim}) {
    gf_clearAcTables();
    LiveAc& ac = flyingAc(250, true);
    ac.simState = state;
    LiveReport r = reportOf(250, true, 10, 120);
    lf_takeReport(r);
    EXPECT_EQ(gf_findLiveAc(0x400001)->samples.size(), 1u);
  }
}

TEST(Reports, NewAircraftFilters) {
  EngineHarness h;
  struct Case {
    const char* name;
    std::string_view model;
    double altitude;
    bool parkAirportSet;
    bool light, highPerf, helicopters;
    bool created;
    double fieldElevation = 500;
  };
  const Case cases[] = {
      {"Airliner", "B738", 5000, false, false, false, false, true},
      {"UnknownModel", "ZZZZ", 5000, false, true, true, true, false},
      {"LightOff", "C172", 5000, false, false, true, true, false},
      {"LightOn", "C172", 5000, false, true, true, true, true},
      {"HighPerfOff", "F16", 5000, false, true, false, true, false},
      {"HelicopterOff", "EC35", 5000, false, true, true, false, false},
      {"HelicopterOn", "EC35", 5000, false, true, true, true, true},
      {"NearFieldElevation", "B738", 550, true, true, true, true, false},
      {"AtFieldElevation", "B738", 500, true, true, true, true, false},
      {"108FtBelowField", "B738", 392, true, true, true, true, false},
      {"109FtBelowField", "B738", 391, true, true, true, true, true},
      {"109FtAboveField", "B738", 609, true, true, true, true, true},
      {"OnTheGround", "B738", 0, true, true, true, true, true},
      {"NoParkAirportLow", "B738", 550, false, true, true, true, true},
      {"NoParkAirportNearMinus1000", "B738", -950, false, true, true, true, true},
      {"At10000NearAHighField", "B738", 10000, true, true, true, true, true, 9950},
      {"Below10000NearAHighField", "B738", 9999, true, true, true, true, false, 9950},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    parkAirportCode.store(IcaoCode{});
    if (c.parkAirportSet) setParkAirport(c.fieldElevation);
    LIGHT_AIRCRAFT.value.store(c.light);
    HIGH_PERF_AIRCRAFT.value.store(c.highPerf);
    HELICOPTERS.value.store(c.helicopters);
    LiveReport r = EngineHarness::report(0x400001, "NEW1", c.model, 52.4, 4.8, c.altitude, 150, 90, 1000.0);
    lf_takeReport(r);
    ASSERT_EQ(liveAcTable.size(), c.created ? 1u : 0u);
    if (c.created) {
      const LiveAc& ac = liveAcTable[0];
      EXPECT_EQ(ac.simState, SimState::buffer);
      EXPECT_EQ(ac.flightState, FlightState::birth);
      EXPECT_EQ(ac.liveCallsign, "NEW1");
      EXPECT_DOUBLE_EQ(ac.turnRate, ac.groundTurnRate);
      EXPECT_GT(ac.climbLimit, 0.0);
      EXPECT_GT(ac.groundSpeedStep, 0.0);
    }
  }
}

TEST(Reports, ASecondAddressOfAShownFlightIsIgnored) {
  EngineHarness h;
  LiveReport first = EngineHarness::report(0x400001, "DLH4U", "A320", 52.4, 4.8, 5000, 250, 90, 1000.0);
  lf_takeReport(first);
  LiveReport twin = EngineHarness::report(0x400002, "DLH4U", "A320", 52.4, 4.8, 5000, 250, 90, 1000.0);
  lf_takeReport(twin);
  EXPECT_EQ(liveAcTable.size(), 1u);
  LiveReport otherModel = EngineHarness::report(0x400003, "DLH4U", "B738", 52.4, 4.8, 5000, 250, 90, 1000.0);
  lf_takeReport(otherModel);
  EXPECT_EQ(liveAcTable.size(), 2u);
}

TEST(Reports, ANewAircraftTakesTheCodesOfItsRegistration) {
  EngineHarness h;
  const AircraftCodes codes = registerKlmJumbo();
  LiveReport r = EngineHarness::report(0x400001, "KLM1", "B738", 52.4, 4.8, 5000, 250, 90, 1000.0);
  r.identity.registration = "PH-BFA";
  lf_takeReport(r);
  ASSERT_EQ(liveAcTable.size(), 1u);
  EXPECT_EQ(liveAcTable[0].codes, codes);
  EXPECT_EQ(liveAcTable[0].category, AcCategory::Heavy);
}

TEST(Reports, BufferedAircraftTakeOverANewIdentity) {
  EngineHarness h;
  LiveAc& ac = addLiveAc(0x400001, "OLD", "B738", SimState::buffer, 0, 52.4, 4.8, 5000);
  ac.lastReportTime = 1000.0;
  ac.origin = IataCode("AMS");
  LiveReport r = reportOf(250, true, 10, 120, "NEW");
  r.identity.origin = IataCode("FRA");
  r.identity.destination = IataCode("LHR");
  r.identity.registration = "D-ABCD";
  lf_takeReport(r);
  const LiveAc& after = *gf_findLiveAc(0x400001);
  EXPECT_EQ(after.callsign, "NEW");
  EXPECT_EQ(after.liveCallsign, "NEW");
  EXPECT_EQ(after.origin, IataCode("FRA"));
  EXPECT_EQ(after.destination, IataCode("LHR"));
  EXPECT_EQ(after.registration, "D-ABCD");
  EXPECT_EQ(after.samples.size(), 2u);
}

TEST(Reports, IdentityChangesOfActiveAircraft) {
  EngineHarness h;
  setParkAirport(0);
  struct Case {
    const char* name;
    bool guidChanges;
    std::string callsign;
    std::string registration;  // of the report
    std::string origin, destination;  // of the report ("" = none)
    bool used;                 // the report became a sample
    int respawns;
    std::string callsignAfter;
  };
  const Case cases[] = {
      {"Unchanged", true, "KLM1", "", "", "", true, 0, "KLM1"},
      {"NewCallsign", true, "KLM2", "", "", "", false, 1, "KLM2"},
      {"NewCallsignNoRespawns", false, "KLM2", "", "", "", true, 0, "KLM2"},
      {"CallsignIsTheRegistration", true, "PHBXA", "", "", "", true, 0, "KLM1"},
      {"GhostOfAShownFlight", true, "SHOWN_", "", "", "", false, 0, "KLM1"},
      {"RouteFilledIn", true, "KLM1", "", "AMS", "LHR", false, 1, "KLM1"},
      {"RouteFilledInNoRespawns", false, "KLM1", "", "AMS", "LHR", true, 0, "KLM1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    engineDoubles.reset();
    GUID_CHANGES.value.store(c.guidChanges);
    addLiveAc(0x400009, "SHOWN", "A320", SimState::active, 2009, 52.0, 4.0, 5000);
    LiveAc& ac = flyingAc(250, true);
    ac.registration = "PHBXA";
    const auto respawnLines = [&h] {
      std::size_t n = 0;
      const std::string log = h.log();
      for (std::size_t at = log.find("respawns"); at != std::string::npos; at = log.find("respawns", at + 1)) ++n;
      return n;
    };
    const std::size_t linesBefore = respawnLines();
    LiveReport r = reportOf(250, true, 10, 120, c.callsign);
    r.identity.registration = c.registration;
    if (!c.origin.empty()) r.identity.origin = IataCode(c.origin);
    if (!c.destination.empty()) r.identity.destination = IataCode(c.destination);
    lf_takeReport(r);
    const LiveAc& after = *gf_findLiveAc(0x400001);
    EXPECT_EQ(after.simState == SimState::liveryrespawn, c.respawns == 1);
    // A respawn puts the current position at the head of the queue; a used report goes last.
    EXPECT_EQ(after.samples.size(), 1u + (c.used ? 1u : 0u) + static_cast<std::size_t>(c.respawns));
    EXPECT_EQ(after.callsign, c.callsignAfter);
    EXPECT_EQ(respawnLines() - linesBefore, static_cast<std::size_t>(c.respawns));
  }
}

TEST(Reports, ARouteChangeOnTheGroundGoesBackToTaxi) {
  EngineHarness h;
  setParkAirport(0);
  GUID_CHANGES.value.store(false);
  struct Case {
    const char* name;
    const char* origin;
    const char* destination;
    FlightState state;
    FlightState after;
    const char* originAfter;
    bool unchanged;
  };
  const Case cases[] = {
      {"BothDiffer", "FRA", "MUC", FlightState::pushed_back, FlightState::taxi, "FRA", false},
      {"Parked", "FRA", "MUC", FlightState::parked, FlightState::parked, "FRA", false},
      {"ReturnToThePark", "CDG", "AMS", FlightState::pushed_back, FlightState::pushed_back, "AMS", true},
      {"OnlyOneDiffers", "AMS", "MUC", FlightState::pushed_back, FlightState::pushed_back, "AMS", true},
      {"Parking", "FRA", "MUC", FlightState::parking, FlightState::parking, "FRA", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = flyingAc(10, false);
    ac.flightState = c.state;
    ac.origin = IataCode("AMS");
    ac.destination = IataCode("LHR");
    ac.heading = 2.0;
    LiveReport r = reportOf(10, false, 20, 120);
    r.identity.origin = IataCode(c.origin);
    r.identity.destination = IataCode(c.destination);
    EXPECT_EQ(lf_routeChanged(ac, r), c.unchanged);
    EXPECT_EQ(ac.flightState, c.after);
    EXPECT_EQ(ac.origin, IataCode(c.originAfter));
    if (c.after == FlightState::taxi) {
      EXPECT_DOUBLE_EQ(ac.routeChangeHeading, 2.0);
    }
  }
}

TEST(Reports, ARegistrationChangeChoosesTheLiveryAgainOnlyWithRespawns) {
  EngineHarness h;
  static const std::string madeFor = "Livery made for PH-BXB";
  regcodeTitles["PH-BXB"] = madeFor;
  for (bool guid : {true, false}) {
    SCOPED_TRACE(guid);
    gf_clearAcTables();
    engineDoubles.reset();
    creationRequests.clear();
    GUID_CHANGES.value.store(guid);
    LiveAc& ac = flyingAc(250, true);
    ac.liveryTitle = engineDoubles.keepTitle("Current livery");
    creationRequests[0x400001] = ac.liveryTitle;
    LiveReport r = reportOf(250, true, 10, 120);
    r.identity.registration = "PH-BXB";
    lf_takeReport(r);
    const LiveAc& after = *gf_findLiveAc(0x400001);
    EXPECT_EQ(after.registration, "PH-BXB");
    if (guid) {
      EXPECT_TRUE(after.liveryTitle.empty());
      EXPECT_EQ(after.flightState, FlightState::birth);
      EXPECT_FALSE(creationRequests.contains(0x400001));
      EXPECT_EQ(after.simState, SimState::liveryrespawn);
    } else {
      EXPECT_EQ(after.liveryTitle, "Current livery") << "without respawns the livery stays";
      EXPECT_EQ(after.flightState, FlightState::flying);
      EXPECT_EQ(after.samples.size(), 2u);
    }
  }
}

TEST(Reports, AKnownRegistrationOfTheCallsignsAirlineTakesItsCodes) {
  EngineHarness h;
  addStand("D4", 52.41, 4.81, 0.0);
  const AircraftCodes codes = registerKlmJumbo();
  LiveAc& ac = flyingAc(0, false);
  ac.flightState = FlightState::parked;
  ac.standId = 1;
  ac.registration = "PH-OLD";
  ac.codes.airlineId = gf_airlineId("KLM");
  LiveReport r = reportOf(0, false, 20, 120, "KLM1");
  r.identity.registration = "PH-BFA";
  EXPECT_FALSE(lf_checkRegistration(ac, r));
  EXPECT_EQ(ac.codes, codes);
  EXPECT_EQ(ac.registration, "PH-BFA");
  EXPECT_EQ(engineDoubles.standOptions, (std::vector<StandOptionCall>{{1, "KLM1", 0}}));
  // Another airline's callsign: the registration is taken, the codes stay.
  LiveAc& other = addLiveAc(0x400005, "DLH1", "B738", SimState::active, 2005);
  other.registration = "D-OLD";
  LiveReport r2 = EngineHarness::report(0x400005, "DLH1", "B738", 52.4, 4.8, 0, 0, 0, 2000.0);
  r2.identity.registration = "PH-BFA";
  EXPECT_TRUE(lf_checkRegistration(other, r2));
  EXPECT_EQ(other.codes.modelId, gf_modelId("B738"));
  EXPECT_EQ(other.registration, "PH-BFA");
}

TEST(Reports, TheIdentityStaysWhilePushingBackOrExtendingThePath) {
  EngineHarness h;
  GUID_CHANGES.value.store(false);
  struct Case {
    FlightState state;
    std::int32_t pathExtension;
    bool takesCallsign;
  };
  const Case cases[] = {{FlightState::pushing_back, 0, false},
                        {FlightState::pushed_back, 0, true},
                        {FlightState::flying, 1, false},
                        {FlightState::flying, 0, true},
                        {FlightState::flying, -1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(gf_flightStateName(c.state));
    SCOPED_TRACE(c.pathExtension);
    gf_clearAcTables();
    LiveAc& ac = flyingAc(250, true);
    ac.flightState = c.state;
    ac.pathExtensionCount = c.pathExtension;
    LiveReport r = reportOf(250, true, 10, 120, "KLM2");
    EXPECT_TRUE(lf_checkIdentity(ac, r));
    EXPECT_EQ(ac.callsign, c.takesCallsign ? "KLM2" : "KLM1");
  }
}

TEST(Reports, ARegistrationChangeByTitleOrByCodes) {
  EngineHarness h;
  GUID_CHANGES.value.store(true);
  const AircraftCodes jumbo = registerKlmJumbo();
  static const std::string madeFor = "Livery made for PH-BXC";
  regcodeTitles["PH-BXC"] = madeFor;
  struct Case {
    const char* name;
    std::string registration;  // of the report; the record has PH-OLD
    bool titleIsCurrent;       // the record already wears the title made for it
    bool changed;
  };
  const Case cases[] = {
      {"TitleMadeForIt", "PH-BXC", false, true},
      {"TitleAlreadyWorn", "PH-BXC", true, false},
      {"SameRegistration", "PH-OLD", false, false},
      {"UnknownRegistration", "PH-NEW", false, false},
      {"KnownOtherCodes", "PH-BFA", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_clearAcTables();
    LiveAc& ac = flyingAc(250, true);
    ac.registration = "PH-OLD";
    ac.liveryTitle = c.titleIsCurrent ? std::string_view(madeFor) : engineDoubles.keepTitle("Current livery");
    const AircraftCodes before = ac.codes;
    LiveReport r = reportOf(250, true, 10, 120);
    r.identity.registration = c.registration;
    EXPECT_EQ(lf_registrationChanged(ac, r), c.changed);
    EXPECT_EQ(ac.liveryTitle.empty(), c.changed);
    EXPECT_EQ(ac.flightState, c.changed ? FlightState::birth : FlightState::flying);
    if (c.registration == "PH-BFA") {
      EXPECT_EQ(ac.codes, jumbo);
    } else {
      EXPECT_EQ(ac.codes, before);
    }
  }
}
