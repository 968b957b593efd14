#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <thread>

#include "foundation/geodesy.hpp"
#include "foundation/random.hpp"
#include "support/foundation_hooks.hpp"

namespace {

TEST(Geodesy, DistanceInNauticalMiles) {
  EXPECT_DOUBLE_EQ(gf_distanceNm({50.0, 8.5}, {50.0, 8.5}), 0.0);
  EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 1}), 60.0, 0.001);
  EXPECT_NEAR(gf_distanceNm({0, 0}, {1, 0}), 60.0, 0.001);
  EXPECT_NEAR(gf_distanceNm({0, 179.5}, {0, -179.5}), 60.0, 0.001);  // across the date line
  EXPECT_NEAR(gf_distanceNm({90, 0}, {-90, 0}), 10800.0, 0.001);
  // Antipodal points whose rounding pushes the haversine term above 1 (no NaN).
  for (const LatLon p : {LatLon{-73.16, -54.93}, LatLon{19.73, -143.4}, LatLon{-16.45, -150.37}}) {
    EXPECT_NEAR(gf_distanceNm(p, {-p.lat, p.lon + 180.0}), 10800.0, 0.001) << p.lat << "," << p.lon;
  }
}

TEST(Geodesy, BearingIsNeverNegative) {
  const double pi = std::numbers::pi;
  EXPECT_NEAR(gf_bearing({0, 0}, {1, 0}), 0.0, 1e-12);
  EXPECT_NEAR(gf_bearing({0, 0}, {0, 1}), pi / 2, 1e-12);
  EXPECT_NEAR(gf_bearing({0, 0}, {-1, 0}), pi, 1e-12);
  EXPECT_NEAR(gf_bearing({0, 0}, {0, -1}), 3 * pi / 2, 1e-12);
  const double nw = gf_bearing({0, 0}, {1, -1});
  EXPECT_GT(nw, 3 * pi / 2);
  EXPECT_LT(nw, 2 * pi);
}

TEST(Geodesy, DestinationPointInFeetWrapsLongitude) {
  const LatLon east = gf_destinationPoint({0, 179.9}, std::numbers::pi / 2, 60000.0);
  EXPECT_LT(east.lon, -179.9);
  EXPECT_GT(east.lon, -180.0);
  EXPECT_NEAR(east.lat, 0.0, 1e-9);
  // One nautical mile (6076.12 ft) north is one minute of latitude.
  const LatLon north = gf_destinationPoint({10, 20}, 0.0, 6076.115);
  EXPECT_NEAR(north.lat, 10.0 + 1.0 / 60.0, 1e-5);
  EXPECT_NEAR(north.lon, 20.0, 1e-12);
  // The distance back agrees with the distance travelled.
  const LatLon start{47.46, 8.55};
  const LatLon end = gf_destinationPoint(start, 1.0, 60761.15);
  EXPECT_NEAR(gf_distanceNm(start, end), 10.0, 0.01);
  EXPECT_NEAR(gf_bearing(start, end), 1.0, 0.001);
}

class RandomTest : public ::testing::Test {
 protected:
  wdrx::testing::FoundationHooksDouble hooks;
};

TEST_F(RandomTest, RandomOffTakesTheFirstAndKeepsTheOrder) {
  hooks.random.store(false);
  std::vector<std::uint16_t> values{5, 4, 3, 2, 1};
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(gf_randomIndex(5), 0u);
    gf_shuffle(values);
  }
  EXPECT_EQ(values, (std::vector<std::uint16_t>{5, 4, 3, 2, 1}));
}

TEST_F(RandomTest, RandomOnDrawsInRangeAndShufflesAPermutation) {
  hooks.random.store(true);
  gf_seedRandomEngine(12345);
  EXPECT_EQ(gf_randomIndex(0), 0u);
  EXPECT_EQ(gf_randomIndex(1), 0u);
  std::set<std::uint64_t> seen;
  for (int i = 0; i < 500; ++i) {
    const auto index = gf_randomIndex(5);
    ASSERT_LT(index, 5u);
    seen.insert(index);
  }
  EXPECT_EQ(seen.size(), 5u);

  std::vector<std::uint16_t> values(50);
  for (std::uint16_t i = 0; i < 50; ++i) values[i] = i;
  gf_shuffle(values);
  auto sorted = values;
  std::sort(sorted.begin(), sorted.end());
  for (std::uint16_t i = 0; i < 50; ++i) EXPECT_EQ(sorted[i], i);
  EXPECT_NE(values, sorted);
}

TEST_F(RandomTest, SeedMakesDrawsRepeatable) {
  gf_seedRandomEngine(7);
  std::vector<std::uint16_t> first{1, 2, 3, 4, 5, 6, 7, 8};
  gf_shuffle(first);
  const auto index = gf_randomIndex(1000);
  gf_seedRandomEngine(7);
  std::vector<std::uint16_t> second{1, 2, 3, 4, 5, 6, 7, 8};
  gf_shuffle(second);
  EXPECT_EQ(first, second);
  EXPECT_EQ(gf_randomIndex(1000), index);
}

TEST_F(RandomTest, PlusMinusPercentIsNotGatedByRandom) {
  for (bool on : {true, false}) {
    hooks.random.store(on);
    std::set<double> results;
    for (int i = 0; i < 200; ++i) {
      const double r = gf_randomPlusMinusPercent(40.0, 10.0);
      ASSERT_TRUE(r == 36.0 || r == 44.0) << r;
      results.insert(r);
      EXPECT_EQ(gf_randomPlusMinusPercent(40.0, 0.0), 40.0);
      EXPECT_EQ(gf_randomPlusMinusPercent(40.0, -3.0), 40.0);
    }
    EXPECT_EQ(results.size(), 2u);
  }
  // The lowest bit of one 32-bit draw decides: 0 adds, 1 subtracts.
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    gf_seedRandomEngine(seed);
    const bool odd = (std::mt19937(seed)() & 1u) != 0;
    EXPECT_EQ(gf_randomPlusMinusPercent(40.0, 10.0), odd ? 36.0 : 44.0) << seed;
  }
}

TEST_F(RandomTest, EveryThreadHasItsOwnEngine) {
  gf_seedRandomEngine(1);
  const auto* mine = &randomEngine();
  const std::mt19937* theirs = nullptr;
  std::thread other([&] {
    theirs = &randomEngine();
    randomEngine()();
  });
  other.join();
  EXPECT_NE(mine, theirs);
  std::mt19937 reference(1);
  EXPECT_EQ(randomEngine()(), reference());  // the other thread did not draw from ours
}

}  // namespace
