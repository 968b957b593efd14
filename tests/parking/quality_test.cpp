// Quality factors of the park airport's stand options and their display text.
#include <gtest/gtest.h>

#include "parking/apf_fixture.hpp"
#include "parking/quality.hpp"

using namespace apf_test;

namespace {

class QualityTest : public ApfTest {
 protected:
  static Stand& addStand(double radiusMetres = 20.0, std::uint16_t type = 0, bool heli = false) {
    standTable.emplace_back(std::vector<StandOption>{}, "S" + std::to_string(standTable.size()),
                            StandPosition{1, 1, 0}, radiusMetres, type, false, false, heli);
    return standTable.back();
  }
  static void addOption(Stand& stand, std::uint32_t day, const std::string& hh, bool real = true,
                        std::uint32_t number = 1) {
    StandOption option;
    option.day = day;
    option.hours = gf_hours2bitset(hh);
    option.real = real ? 1 : 0;
    option.number = number;
    stand.options.push_back(option);
  }
};

}  // namespace

TEST_F(QualityTest, NothingKnownGivesMinusOneShownAsBlanks) {
  EXPECT_EQ(gf_airportQualityFactors(), (QualityPair{-1, -1}));
  addStand();
  addStand();
  EXPECT_EQ(gf_airportQualityFactors(), (QualityPair{-1, -1}));
  EXPECT_EQ(gf_formatQuality({-1, -1}), "  ");
}

TEST_F(QualityTest, SwitchedOffOptionsCountNothing) {
  addOption(addStand(), 1, "3", true, 0);
  EXPECT_EQ(gf_airportQualityFactors(), (QualityPair{0, 0}));
  EXPECT_EQ(gf_formatQuality({0, 0}), " 0/ 0");
}

TEST_F(QualityTest, HelicopterAndType12StandsAreNotCounted) {
  addOption(addStand(20, 0, true), 1, "3");
  addOption(addStand(20, 12), 1, "3");
  EXPECT_EQ(gf_airportQualityFactors(), (QualityPair{0, 0}));
}

TEST_F(QualityTest, ScoresPerStandAndClass) {
  struct Case {
    const char* what;
    void (*fill)(QualityTest&);
    QualityPair expected;
  };
  const Case cases[] = {
      {"one real option of one slot", [](QualityTest&) { addOption(addStand(), 1, "3"); }, {63, 0}},
      {"a week of whole days: 140 + 10000 + 700 + 672",
       [](QualityTest&) {
         Stand& s = addStand();
         for (std::uint32_t day = 1; day <= 7; ++day) addOption(s, day, "0:47", true, day);
       },
       {72, 0}},
      {"slots count up to 600, options up to 200",
       [](QualityTest&) {
         Stand& s = addStand();
         for (std::uint32_t n = 1; n <= 210; ++n) addOption(s, 1 + n % 7, "0:47", true, n);
       },
       {99, 0}},  // 4000 + 10000 + 700 + 1200 = 15900 -> 99.375
      {"a stand without options pulls the factor down",
       [](QualityTest&) {
         addOption(addStand(), 1, "3");
         addStand();
       },
       {32, 0}},  // 10122 / 2 * 0.00625 = 31.6
      {"soft options have their own factor",
       [](QualityTest&) { addOption(addStand(), 2, "3,4", false); },
       {0, 63}},  // 20 + 10000 + 100 + 4 = 10124 -> 63.3
      {"days outside 1..7 add no day",
       [](QualityTest&) { addOption(addStand(), 9, "3"); },
       {63, 0}},  // 20 + 10000 + 2 = 10022 -> 62.6
      // Small stands (up to 7 m) weigh 0.3, those up to 10 m 1.5, larger ones 1.0: a learned
      // small stand beside an unlearned large one gives 10122 x 0.3 / 1.3 x 0.00625 = 14.6.
      {"weights by the radius in metres",
       [](QualityTest&) {
         addOption(addStand(7.0), 1, "3");
         addStand(30.0);
       },
       {15, 0}},
      {"a medium stand weighs 1.5",
       [](QualityTest&) {
         addOption(addStand(10.0), 1, "3");
         addStand(10.5);
       },
       {38, 0}},  // 10122 x 1.5 / 2.5 x 0.00625 = 37.96
  };
  for (const auto& c : cases) {
    standTable.clear();
    c.fill(*this);
    EXPECT_EQ(gf_airportQualityFactors(), c.expected) << c.what;
  }
}

TEST(QualityText, ShowsBothBelow45) {
  EXPECT_EQ(gf_formatQuality({44, 7}), "44/ 7");
  EXPECT_EQ(gf_formatQuality({45, 7}), "45");
  EXPECT_EQ(gf_formatQuality({3, 100}), " 3/100");
  EXPECT_EQ(gf_formatQuality({100, 0}), "100");
}
