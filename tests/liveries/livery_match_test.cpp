// The livery choice of live aircraft: every step of the chain at every MATCHING_DEPTH, private
// and generic airlines, cargo, operators, RANDOM on and off, refused liveries, the count per step.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "aircraft/reference_db.hpp"
#include "config/settings.hpp"
#include "foundation/random.hpp"
#include "liveries/livery_match_steps.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/regcode_tables.hpp"
#include "match_fixture.hpp"
#include "records/record_texts.hpp"
#include "simlink/ai_creation.hpp"

using match_test::aircraft;
using match_test::livery;
using Strings = std::vector<std::string>;

namespace {

class LiveMatch : public match_test::MatchTest {
 protected:
  LiveMatch() {
    similarTypeGroups.push_back({"B738", "B744"});  // two categories: step 3 keeps to its own
    match_test::writeUserRegcodes("mine.txt", "DLH A320 Special;D-AIXX\n");
    match_test::processLiveries({
        livery("DLH", "", "A320", "DLH A320 D-AIPA", "D-AIPA"),
        livery("DLH", "", "A320", "DLH A320 Special"),
        livery("DLH", "", "A320", "DLH A320 Star"),
        livery("BAW", "", "B738", "BAW B738"),
        livery("KLM", "", "B738", "KLM B738 x FSLTL_y"),
        livery("FDX", "", "B744", "FDX B744F", "", true),
        livery("FDX", "", "B744", "FDX B744 pax"),
        livery("ZZZ", "", "A320", "ZZZ A320 generic"),
        livery("ZZZ", "", "A320", "ZZZ A320 cargo", "", true),
        livery("PVT", "", "C172", "PVT C172 A F-ABCD", "F-ABCD"),
        livery("PVT", "", "C172", "PVT C172 D-EABC", "D-EABC"),
        livery("PVT", "", "C172", "PVT C172 N123", "N12345"),
        livery("UAL", "", "CRJ9", "UAL CRJ9 SkyWest"),
        livery("SKW", "", "CRJ9", "SKW CRJ9 A plain"),
        livery("SKW", "", "CRJ9", "SKW CRJ9 United Express"),
        livery("DLH", "CLH", "E190", "DLHCLH E190"),
        livery("CLH", "", "E190", "CLH E190 own"),
        livery("CLH", "", "A319", "CLH A319 own"),
        livery("CLH", "", "B738", "CLH B738 own"),
        livery("KLM", "", "EC35", "KLM EC35"),
    });
    newLogLines();
  }

  // The title chosen (or "-") and the step counted (-1: none).
  std::pair<std::string, int> match(LiveAc ac, int depth) {
    MATCHING_DEPTH.value = depth;
    const auto before = matchesPerStep;
    gf_matchLivery(ac);
    int step = -1;
    for (int s = 0; s < 7; ++s) {
      const int grown = matchesPerStep[s] - before[s];
      if (grown == 0) continue;
      EXPECT_EQ(grown, 1);
      EXPECT_EQ(step, -1) << "two steps counted";
      step = s;
    }
    return {ac.liveryTitle.empty() ? std::string("-") : std::string(ac.liveryTitle), step};
  }
};

struct Case {
  const char* what;
  LiveAc ac;
  // Expected title and step for MATCHING_DEPTH 1, 2, 3 and 4; "-" and -1 for none.
  std::array<std::pair<std::string, int>, 4> byDepth;
};

const std::pair<std::string, int> none{"-", -1};

}  // namespace

TEST_F(LiveMatch, ChainAtEveryDepth) {
  const auto same = [](std::string title, int step) {
    return std::array<std::pair<std::string, int>, 4>{{{title, step}, {title, step}, {title, step}, {title, step}}};
  };
  const auto from = [](int depth, std::string title, int step) {
    std::array<std::pair<std::string, int>, 4> out{none, none, none, none};
    for (int d = depth; d <= 4; ++d) out[static_cast<std::size_t>(d - 1)] = {title, step};
    return out;
  };
  const Case cases[] = {
      {"registration of a livery", aircraft("DLH", "", "A320", "D-AIPA"), same("DLH A320 D-AIPA", 1)},
      {"the one registration of a special livery", aircraft("KLM", "", "B744", "D-AIXX"), same("DLH A320 Special", 0)},
      {"in-line registration of another model", aircraft("BAW", "", "B738", "N12345"), same("PVT C172 N123", 1)},
      {"N1 is not N12345: airline and model", aircraft("DLH", "", "A320", "N1"), from(2, "DLH A320 D-AIPA", 2)},
      {"no registration: first non-special title", aircraft("DLH", "", "A320"), from(2, "DLH A320 D-AIPA", 2)},
      {"similar model of the airline", aircraft("DLH", "", "A319"), from(3, "DLH A320 D-AIPA", 3)},
      {"generic livery of the model", aircraft("BAW", "", "A320"), from(4, "ZZZ A320 generic", 4)},
      {"private: generic before private", aircraft("PVT", "", "A320", "D-EFGH"), from(2, "ZZZ A320 generic", 4)},
      {"private: registration prefix", aircraft("PVT", "", "C172", "D-EXYZ"), from(2, "PVT C172 D-EABC", 2)},
      {"private: prefix without dash", aircraft("PVT", "", "C172", "N999"), from(2, "PVT C172 N123", 2)},
      {"private: similar prefix", aircraft("PVT", "", "C172", "G-ABCD"), from(2, "PVT C172 D-EABC", 2)},
      {"private: any livery of the model", aircraft("PVT", "", "C172", "X-YZ"), from(2, "PVT C172 A F-ABCD", 2)},
      {"cargo table first", aircraft("FDX", "", "B744", "", true), from(2, "FDX B744F", 2)},
      {"pax aircraft: pax table only", aircraft("FDX", "", "B744"), from(2, "FDX B744 pax", 2)},
      {"cargo aircraft: pax livery when no cargo one", aircraft("BAW", "", "B738", "", true), from(2, "BAW B738", 2)},
      {"operator's livery naming the airline", aircraft("UAL", "SKW", "CRJ9"), from(2, "SKW CRJ9 United Express", 2)},
      {"airline and operator joined", aircraft("DLH", "CLH", "E190"), from(2, "DLHCLH E190", 2)},
      {"operator's own livery", aircraft("KLM", "CLH", "E190"), from(2, "CLH E190 own", 2)},
      {"operator's livery before the airline's", aircraft("KLM", "CLH", "B738"), from(2, "CLH B738 own", 2)},
      {"similar model under the operator's key", aircraft("DLH", "CLH", "A321"), from(3, "CLH A319 own", 3)},
      {"heavy without livery (its similar B738 is Large): none even at depth 4", aircraft("KLM", "", "B744"),
       {none, none, none, none}},
      {"light: any livery of a similar model", aircraft("XYZ", "", "P28A", "N55"), from(4, "PVT C172 N123", 6)},
      {"rotorcraft: any livery of the model", aircraft("DLH", "", "EC35"), from(4, "KLM EC35", 5)},
      {"cargo rotorcraft: only cargo liveries of the model", aircraft("DLH", "", "EC35", "", true),
       {none, none, none, none}},
      {"light without similar model: default model", aircraft("XYZ", "", "C152", "D-XXX"), from(4, "PVT C172 D-EABC", 6)},
      {"buzjet without livery", aircraft("DLH", "", "C25A", "D-XXX"), {none, none, none, none}},
  };
  for (const Case& c : cases) {
    for (int depth = 1; depth <= 4; ++depth) {
      EXPECT_EQ(match(c.ac, depth), c.byDepth[static_cast<std::size_t>(depth - 1)])
          << c.what << " at depth " << depth;
    }
  }
}

TEST_F(LiveMatch, AcceptedMatchIsCountedLoggedAndMarksFsltl) {
  LiveAc ac = aircraft("KLM", "", "B738");
  ac.fsltl = 0;
  gf_matchLivery(ac);
  EXPECT_EQ(ac.liveryTitle, "KLM B738 x FSLTL_y");
  EXPECT_EQ(ac.fsltl, 1);
  EXPECT_EQ(newLogLines(), Strings{"          " + gf_acIdentText(ac) + " =2= KLM B738 x FSLTL_y"});
  EXPECT_EQ(matchesPerStep[2], 1);

  LiveAc other = aircraft("BAW", "", "B738");
  other.fsltl = 1;
  gf_matchLivery(other);
  EXPECT_EQ(other.fsltl, 0);
  // The title is the table's own text.
  EXPECT_EQ(other.liveryTitle.data(), lf_findLiveryTitle("BAW B738").data());

  LiveAc unmatched = aircraft("KLM", "", "B744");
  newLogLines();
  gf_matchLivery(unmatched);
  EXPECT_TRUE(unmatched.liveryTitle.empty());
  EXPECT_TRUE(newLogLines().empty());  // nothing logged or counted without a match
  EXPECT_EQ(matchesPerStep[2], 2);
}

// A livery the simulator refused is never chosen again; with RANDOM off the next title of the
// same step is taken instead of the refused one over and over.
TEST_F(LiveMatch, RefusedLiveriesAreSkipped) {
  failedLiveries.emplace("DLH A320 D-AIPA");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(match(aircraft("DLH", "", "A320", "D-AIPA"), 4), (std::pair<std::string, int>{"DLH A320 Star", 2}));
  failedLiveries.emplace("DLH A320 Star");
  // Only the special livery is left: it is taken rather than none.
  EXPECT_EQ(match(aircraft("DLH", "", "A320"), 4), (std::pair<std::string, int>{"DLH A320 Special", 2}));
  // A refused only candidate moves the chain on to the next step.
  failedLiveries.emplace("BAW B738");
  EXPECT_EQ(match(aircraft("BAW", "", "B738"), 4), none);
  failedLiveries.emplace("SKW CRJ9 United Express");
  EXPECT_EQ(match(aircraft("UAL", "SKW", "CRJ9"), 4), (std::pair<std::string, int>{"UAL CRJ9 SkyWest", 2}));
  failedLiveries.emplace("ZZZ A320 generic");
  EXPECT_EQ(match(aircraft("PVT", "", "A320", "D-EFGH"), 2), none);

  RANDOM.value = true;
  gf_seedRandomEngine(7);
  failedLiveries.erase("DLH A320 Star");
  for (int i = 0; i < 50; ++i) EXPECT_EQ(match(aircraft("DLH", "", "A320"), 2).first, "DLH A320 Star");
}

TEST_F(LiveMatch, RandomPicksAmongTheOrdinaryTitles) {
  RANDOM.value = true;
  gf_seedRandomEngine(12345);
  std::map<std::string, int> seen;
  for (int i = 0; i < 200; ++i) ++seen[match(aircraft("DLH", "", "A320"), 4).first];
  // Special liveries are avoided while ordinary ones exist; both ordinary ones come up.
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_GT(seen["DLH A320 D-AIPA"], 40);
  EXPECT_GT(seen["DLH A320 Star"], 40);
  // The registration lookup is never random.
  for (int i = 0; i < 20; ++i) EXPECT_EQ(match(aircraft("DLH", "", "A320", "D-AIXX"), 4).first, "DLH A320 Special");

  // The same seed gives the same choices.
  std::vector<std::string> first;
  std::vector<std::string> second;
  gf_seedRandomEngine(99);
  for (int i = 0; i < 20; ++i) first.push_back(match(aircraft("PVT", "", "C172", "X-YZ"), 4).first);
  gf_seedRandomEngine(99);
  for (int i = 0; i < 20; ++i) second.push_back(match(aircraft("PVT", "", "C172", "X-YZ"), 4).first);
  EXPECT_EQ(first, second);
  EXPECT_EQ(std::set<std::string>(first.begin(), first.end()).size(), 3u);
}

TEST_F(LiveMatch, NewIdentityChoosesAgain) {
  LiveAc ac = aircraft("DLH", "", "A320");
  gf_matchLivery(ac);
  EXPECT_EQ(ac.liveryTitle, "DLH A320 D-AIPA");
  ac.registration = "D-AIXX";
  gf_matchLivery(ac);
  EXPECT_EQ(ac.liveryTitle, "DLH A320 Special");
  // A new identity that matches nothing leaves no title behind.
  ac.registration = "D-NONE";
  MATCHING_DEPTH.value = 1;
  gf_matchLivery(ac);
  EXPECT_TRUE(ac.liveryTitle.empty());
}

TEST_F(LiveMatch, UnknownCombinedCodesAreNotInterned) {
  const std::size_t codes = airlineCodes.size();
  for (int i = 0; i < 3; ++i) match(aircraft("KLM", "CLH", "E190"), 4);
  EXPECT_EQ(airlineCodes.size(), codes);
}

TEST_F(LiveMatch, AircraftWithoutRegistrationGetsAnyLiveryOfTheModel) {
  EXPECT_EQ(match(aircraft("XYZ", "", "P28A"), 4).second, 6);
  const std::string title = match(aircraft("XYZ", "", "P28A"), 4).first;
  EXPECT_TRUE(title.starts_with("PVT C172")) << title;
}

TEST_F(LiveMatch, PrefixAndShortNames) {
  EXPECT_EQ(lf_registrationPrefix("D-AIPA"), "D-");
  EXPECT_EQ(lf_registrationPrefix("N12345"), "N");
  EXPECT_EQ(lf_registrationPrefix("-ABC"), "-");
  EXPECT_EQ(lf_registrationPrefix("OE-ABC"), "OE-");
  EXPECT_EQ(lf_airlineShortName("QLK"), "Quantaslink");
  EXPECT_EQ(lf_airlineShortName("EZY"), "easyjet");
  EXPECT_EQ(lf_airlineShortName("ezy"), std::nullopt);
  EXPECT_EQ(lf_airlineShortName("DLH"), std::nullopt);
}

TEST_F(LiveMatch, SummaryListsEveryStepAndTheRefusedLiveries) {
  gf_logMatchingSummary();
  EXPECT_TRUE(newLogLines().empty());  // no live match yet: nothing, even with refusals
  notCreatedTexts.insert("B738 BAW");
  notCreatedTexts.insert("A320 DLH");
  match(aircraft("DLH", "", "A320", "D-AIPA"), 4);
  match(aircraft("DLH", "", "A320"), 4);
  match(aircraft("DLH", "", "A320"), 4);
  newLogLines();
  gf_logMatchingSummary();
  const std::string stars(49, '*');
  EXPECT_EQ(newLogLines(), (Strings{"", stars + " live traffic livery matching summary " + stars,
                                    "Matches at step: ", "  0: 0", "  1: 1", "  2: 2", "  3: 0", "  4: 0", "  5: 0",
                                    "  6: 0", "", "Could not be created", "  A320 DLH", "  B738 BAW",
                                    std::string(100, '*'), ""}));
}
