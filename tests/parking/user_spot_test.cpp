// Clearing the user aircraft's spot on the ground and its path near the ground.
#include <gtest/gtest.h>

#include "parking/stands_fixture.hpp"
#include "parking/user_spot.hpp"
#include "simlink/user_aircraft.hpp"

using namespace stands_test;

namespace {

constexpr double feetPerNm = 6076.11549;
using Hexids = std::vector<std::uint32_t>;

class UserSpotTest : public StandsTest {
 protected:
  // A point ahead of the user aircraft (heading north) and to its right.
  static LatLon ahead(double nm, double rightFeet) {
    return gf_destinationPoint(gf_destinationPoint(base, 0.0, nm * feetPerNm), 90.0 * degToRad, rightFeet);
  }
};

}  // namespace

TEST_F(UserSpotTest, ALiveAircraftOnTheLineBelowTheUserIsRemovedBelow500Feet) {
  struct Case {
    double height;
    LatLon at;
    bool removedHere;  // else it is left to the engine's near-user rule
  };
  const std::vector<Case> cases{
      {300.0, ahead(0.9, 40.0), true},
      {300.0, ahead(-0.9, 40.0), true},  // behind, on the same line
      {500.0, ahead(0.9, 40.0), false},
      {300.0, ahead(1.1, 40.0), false},
      {300.0, ahead(0.9, 60.0), false},
      {300.0, ahead(0.5, 55.0), false},
      {300.0, ahead(1.05, 0.0), false},
      {499.0, ahead(0.5, 45.0), true},
  };
  for (const Case& c : cases) {
    gf_clearAcTables();
    engine = {};
    userAt(base, false, c.height);
    userPosition.heading = 0.0;
    const std::uint32_t hexid = addLive("KLM1", c.at).hexid;
    gf_clearUserPath();
    EXPECT_EQ(engine.removed, c.removedHere ? Hexids{hexid} : Hexids{}) << c.height;
    EXPECT_EQ(engine.nearUserAsked, c.removedHere ? Hexids{} : Hexids{hexid}) << c.height;
  }
}

TEST_F(UserSpotTest, TheNearestAircraftOnTheLineGoesFirst) {
  userAt(base, false, 200.0);
  addLive("FAR", ahead(0.8, 10.0));
  const std::uint32_t nearest = addLive("NEAR", ahead(-0.3, -20.0)).hexid;
  addLive("FLYING", ahead(0.1, 0.0)).onGround = 0;
  gf_clearUserPath();
  EXPECT_EQ(engine.removed, Hexids{nearest});
}

TEST_F(UserSpotTest, TheNearUserRuleStopsAtTheFirstAircraftItRemoves) {
  userAt(base, false, 3000.0);
  addLive("A", ahead(2.0, 0.0));
  addLive("B", ahead(3.0, 0.0)).simState = SimState::adding2sim;  // not active: not looked at
  addLive("C", ahead(4.0, 0.0));
  engine.nearUserRemoves = true;
  gf_clearUserPath();
  EXPECT_EQ(engine.nearUserAsked, Hexids{liveAcTable[0].hexid});
}

TEST_F(UserSpotTest, OneLiveAircraftASecondLeavesTheUsersSpot) {
  userAt(base, true);
  userHalfWingSpan.store(17.0 * metresToNm);
  const std::uint32_t second = addLive("A", offset(base, 90, 35)).hexid;  // within (17 + 17) x 1.15
  const std::uint32_t first = addLive("B", offset(base, 0, 30)).hexid;    // the nearest goes first
  addLive("C", offset(base, 180, 40));                                     // beyond 39.1 m
  gf_clearUserSpot();
  EXPECT_EQ(engine.removed, Hexids{first});
  gf_clearUserSpot();
  EXPECT_EQ(engine.removed, (Hexids{first, second}));
  gf_clearUserSpot();
  EXPECT_EQ(engine.removed.size(), 2u);
}

TEST_F(UserSpotTest, AStaticAircraftGoesOnlyOnceTheUserAircraftHasMoved) {
  userAt(base, true);
  userHalfWingSpan.store(17.0 * metresToNm);
  gf_clearUserSpot();  // the user aircraft has stood here
  addStatic("S1*", addStand("A1", offset(base, 180, 33)), {}, {2, 10});
  const std::uint32_t hexid = addStatic("S2*", addStand("A2", offset(base, 0, 41)), {}, {2, 10}).hexid;
  gf_clearUserSpot();
  EXPECT_TRUE(engine.removed.empty());
  userAt(offset(base, 0, 5), true);  // S2 36 m away, within (17 + 17) x 1.1; S1 38 m
  gf_clearUserSpot();
  EXPECT_EQ(engine.removed, Hexids{hexid});
  gf_clearUserSpot();
  EXPECT_EQ(engine.removed.size(), 1u) << "the user aircraft has not moved since";
}
