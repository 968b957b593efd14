// The livery choice of static parked aircraft: a kept title, the stand's cargo flag in the
// generic steps, the no-match line, refused liveries, and that nothing is counted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings.hpp"
#include "liveries/livery_matching.hpp"
#include "match_fixture.hpp"
#include "parking/stand.hpp"
#include "records/record_texts.hpp"
#include "simlink/ai_creation.hpp"

using match_test::aircraft;
using match_test::livery;
using Strings = std::vector<std::string>;

namespace {

Stand stand(const std::string& name, bool cargo) {
  return Stand(std::vector<StandOption>{}, name, StandPosition{}, 37.0, 12, cargo, false, false);
}

class StaticMatch : public match_test::MatchTest {
 protected:
  StaticMatch() {
    match_test::processLiveries({
        livery("DLH", "", "A320", "DLH A320 pax", "D-AIPA"),
        livery("DLH", "", "A320", "DLH A320 second"),
        livery("ZZZ", "", "A320", "ZZZ A320 cargo", "", true),
        livery("ZZZ", "", "A320", "ZZZ A320 pax"),
        livery("KLM", "", "A321", "KLM A321 FSLTL_x"),
    });
    newLogLines();
  }

  // The title chosen ("-" for none) and whether the answer was true; checks that nothing counts.
  std::string match(AcBase& ac, const Stand& at, int depth) {
    MATCHING_DEPTH.value = depth;
    const auto before = matchesPerStep;
    const bool matched = gf_matchStaticLivery(ac, at);
    EXPECT_EQ(matchesPerStep, before) << "static matches are not counted";
    EXPECT_EQ(matched, !ac.liveryTitle.empty());
    return matched ? std::string(ac.liveryTitle) : "-";
  }
};

}  // namespace

TEST_F(StaticMatch, StepsWithTheStandsCargoFlag) {
  const Stand pax = stand("A1", false);
  const Stand cargo = stand("C12", true);
  const struct {
    const char* what;
    AcBase ac;
    const Stand* at;
    int depth;
    std::string title;
    int step;
  } cases[] = {
      {"registration", aircraft("KLM", "", "B744", "D-AIPA"), &pax, 1, "DLH A320 pax", 1},
      {"airline and model", aircraft("DLH", "", "A320"), &cargo, 2, "DLH A320 pax", 2},
      {"private on a cargo stand: cargo generic first", aircraft("PVT", "", "A320"), &cargo, 2, "ZZZ A320 cargo", 4},
      {"private on a pax stand", aircraft("PVT", "", "A320"), &pax, 2, "ZZZ A320 pax", 4},
      {"similar model", aircraft("KLM", "", "A320"), &pax, 3, "KLM A321 FSLTL_x", 3},
      {"depth 3 stops before the generic step", aircraft("BAW", "", "A320"), &pax, 3, "-", -1},
      {"generic with the stand's cargo flag", aircraft("BAW", "", "A320"), &cargo, 4, "ZZZ A320 cargo", 4},
      {"generic of a pax aircraft on a pax stand", aircraft("BAW", "", "A320"), &pax, 4, "ZZZ A320 pax", 4},
      {"depth 1 without registration", aircraft("DLH", "", "A320"), &pax, 1, "-", -1},
  };
  for (const auto& c : cases) {
    AcBase ac = c.ac;
    ac.fsltl = 0;
    EXPECT_EQ(match(ac, *c.at, c.depth), c.title) << c.what;
    EXPECT_EQ(ac.fsltl, 0) << c.what;
    const Strings lines = newLogLines();
    if (c.step >= 0) {
      EXPECT_EQ(lines, Strings{"          " + gf_acIdentText(ac) + " =" + std::to_string(c.step) + "= " + c.title})
          << c.what;
    } else {
      std::string name = c.at->name;
      name.resize(8, ' ');
      EXPECT_EQ(lines, Strings{name + ": " + gf_acShortText(ac) + " no livery match ..."}) << c.what;
    }
  }
}

TEST_F(StaticMatch, KeptTitleUnlessRefused) {
  const std::string kept = "A title of the placement";
  AcBase ac = aircraft("DLH", "", "A320");
  ac.liveryTitle = kept;
  EXPECT_EQ(match(ac, stand("B2", false), 1), kept);
  EXPECT_EQ(newLogLines(), Strings{"          " + gf_acIdentText(ac) + " =s= " + kept});

  // A title the simulator refused goes through the same check as a live one: chosen anew.
  failedLiveries.emplace(kept);
  EXPECT_EQ(match(ac, stand("B2", false), 4), "DLH A320 pax");
  failedLiveries.emplace("DLH A320 pax");
  AcBase registered = aircraft("DLH", "", "A320", "D-AIPA");
  EXPECT_EQ(match(registered, stand("B2", false), 4), "DLH A320 second");
  failedLiveries.emplace("DLH A320 second");
  AcBase refused = aircraft("DLH", "", "A320");
  EXPECT_EQ(match(refused, stand("B2", false), 2), "-");
}
