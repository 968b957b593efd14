// Registration lookups, wing spans, prefix groups and publishers.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <unordered_map>

#include "aircraft/reference_db.hpp"
#include "aircraft/registrations.hpp"
#include "config/settings.hpp"
#include "foundation/text.hpp"
#include "refdata_fixture.hpp"

using namespace refdata_test;
using Strings = std::vector<std::string>;

namespace {
class LookupsTest : public RefdataTest, public ::testing::Test {
 protected:
  static void records(const Strings& registrations) {
    dbaseRecords.clear();
    std::uint16_t n = 1;
    for (const std::string& r : registrations) dbaseRecords.push_back({r, {n++, 0, 0, 0, 1}});
    lf_sortDbaseRecords();
  }
  // The airline id stands for the record found.
  static int found(std::string_view registration) {
    auto codes = gf_findRegistration(registration);
    return codes ? codes->airlineId : 0;
  }
};
}  // namespace

TEST(RegistrationVariantsTest, SpellingsInOrder) {
  const std::vector<std::pair<std::string, Strings>> cases{
      {"DAIPA", {"DA-IPA", "D-AIPA", "DAIPA"}},
      {"N12345", {"N12345"}},
      {"G-ABCD", {"G-ABCD"}},
      {"ABCD", {"ABCD"}},
      {"", {""}},
  };
  for (const auto& [registration, variants] : cases)
    EXPECT_EQ(gf_registrationVariants(registration), variants) << registration;
}

TEST_F(LookupsTest, FindRegistrationTriesVariantsByBinarySearch) {
  records({"D-AIPA", "DAIPA", "N123AB", "ABCD", "PH-BXA", "PH-BXA"});
  ASSERT_EQ(dbaseRecords.size(), 5u);  // sorted and de-duplicated
  EXPECT_TRUE(std::is_sorted(dbaseRecords.begin(), dbaseRecords.end(),
                             [](auto& a, auto& b) { return a.registration < b.registration; }));
  EXPECT_EQ(found("DAIPA"), 1);  // D-AIPA before the plain spelling
  records({"DAIPA", "N123AB"});
  EXPECT_EQ(found("DAIPA"), 1);
  records({"DA-IPA", "D-AIPA"});
  EXPECT_EQ(found("DAIPA"), 1);
  records({"N-123AB", "ABC-D", "G-ABCD"});
  EXPECT_EQ(found("N123AB"), 0);  // N registrations: only as written
  EXPECT_EQ(found("ABCD"), 0);    // four characters: only as written
  EXPECT_EQ(found(""), 0);
  EXPECT_EQ(found("G-ABCD"), 3);
  EXPECT_EQ(gf_findRegistration("G-ABCD")->fromDbase, 1);
  // A stored registration that only begins with the one asked is another aircraft.
  records({"D-AIPAX", "PH-BXAB"});
  EXPECT_EQ(found("D-AIPA"), 0);
  EXPECT_EQ(found("PHBXA"), 0);
  EXPECT_EQ(found("D-AIPAX"), 1);
  // Registrations alike in their first eight bytes; one too long to be spelled in place.
  const std::string longOne(40, 'X');
  records({"ABCDEFGH-1", "ABCDEFGH-2", "ABCDEFGH", "X-" + longOne.substr(1)});
  EXPECT_EQ(found("ABCDEFGH-2"), 2);
  EXPECT_EQ(found("ABCDEFGH"), 3);
  EXPECT_EQ(found("ABCDEFGH-"), 0);
  EXPECT_EQ(found(longOne), 4);
  dbaseRecords.clear();  // emptied without a new sort: nothing is found
  EXPECT_EQ(found("ABCDEFGH"), 0);
}

TEST_F(LookupsTest, RegistrationInTextSkipsLongAndEmptyRegistrations) {
  records({"", "D-AIPAX", "PH-BX", "EI-A", "D-AIPB"});
  EXPECT_EQ(lf_registrationInText("Airbus D-AIPAX PH-BX"), "PH-BX");
  EXPECT_EQ(lf_registrationInText("Airbus D-AIPAX"), std::nullopt);
  EXPECT_EQ(lf_registrationInText("Airbus D-AIPB"), std::nullopt);  // six bytes: too long
  EXPECT_EQ(lf_registrationInText("ei-a livery"), std::nullopt);  // case-sensitive
  EXPECT_EQ(lf_registrationInText("EI-A livery"), "EI-A");
}

// A registration names an aircraft in a title only as a whole token: a piece of a longer word
// or number names another aircraft than the livery's.
TEST_F(LookupsTest, RegistrationInTextTakesWholeTokensOnly) {
  records({"01", "7", "N1", "PH-BX", "EI-A", "D-AB", "B-12"});
  const struct {
    const char* title;
    std::optional<std::string> registration;
  } cases[] = {
      {"KLM PH-BXA 2019", std::nullopt},      // inside a longer registration
      {"Livery 2019", std::nullopt},          // "01" inside a number
      {"Squadron 01", std::nullopt},          // digits alone name no aircraft
      {"Boeing 7 colours", std::nullopt},     // nor does a single character
      {"Cessna N12 private", std::nullopt},   // N1 inside N12
      {"Cessna N1 private", "N1"},            // a token between blanks
      {"KLM (PH-BX) 2019", "PH-BX"},          // bounded by brackets
      {"PH-BX", "PH-BX"},                     // the whole title
      {"xEI-A", std::nullopt},                // a letter before it
      {"EI-A/D-AB", "D-AB"},                  // two tokens: the first in byte order
      {"Air China B-12", "B-12"},
  };
  for (const auto& c : cases) EXPECT_EQ(lf_registrationInText(c.title), c.registration) << c.title;
}

TEST_F(LookupsTest, HalfWingSpanBeyondTheTableIsUnknownAndLogged) {
  halfWingSpans[5] = 0.01;
  EXPECT_EQ(hwsp(5), 0.01);
  EXPECT_EQ(hwsp(6), 0.0);
  EXPECT_EQ(hwsp(2699), 0.0);
  EXPECT_EQ(hwsp(2700), 0.0);
  EXPECT_EQ(logLines(), (Strings{"hwsp: 2700 what: invalid array<T, N> subscript"}));
}

TEST_F(LookupsTest, WingSpanOfAModelBeyondTheTableIsNotStored) {
  for (int i = 0; i < 2700; ++i) gf_modelId("M" + std::to_string(i));
  lf_fillWingspan("BIG", 0.5);
  EXPECT_EQ(gf_modelId("BIG"), 2700);
  EXPECT_EQ(logLines(), (Strings{"==> wsp fill what: invalid array<T, N> subscript"}));
}

TEST_F(LookupsTest, PrefixGroupsKeepTheGroupWhoseTextSortsFirst) {
  prefixGroupLists = {{"D", "F", "OE"}, {"D", "HB"}, {"G"}};
  lf_buildPrefixGroups();
  EXPECT_EQ(prefixGroups.size(), 4u);
  RANDOM.value.store(false);
  EXPECT_EQ(gf_similarPrefixes("D"), (Strings{"F", "OE"}));
  EXPECT_EQ(gf_similarPrefixes("F"), (Strings{"D", "OE"}));
  EXPECT_EQ(gf_similarPrefixes("OE"), (Strings{"D", "F"}));
  EXPECT_EQ(gf_similarPrefixes("HB"), (Strings{"D"}));
  EXPECT_TRUE(gf_similarPrefixes("G").empty());
  EXPECT_TRUE(gf_similarPrefixes("XX").empty());

  for (int i = 0; i < 5; ++i) EXPECT_EQ(gf_similarPrefixes("D"), (Strings{"F", "OE"}));
  RANDOM.value.store(true);
  Strings shuffled = gf_similarPrefixes("OE");
  std::sort(shuffled.begin(), shuffled.end());
  EXPECT_EQ(shuffled, (Strings{"D", "F"}));
}

namespace {
// The groups as first built: every member's text "member,other,..." in an ordered set, each
// text cut at "," in byte order, the first text of a prefix giving its group.
std::unordered_map<std::string, Strings> referencePrefixGroups(const std::vector<Strings>& lists) {
  std::set<std::string> texts;
  for (const Strings& group : lists) {
    if (group.size() < 2) continue;
    for (std::size_t i = 0; i < group.size(); ++i) {
      std::string text = group[i];
      for (std::size_t j = 0; j < group.size(); ++j)
        if (j != i) text += "," + group[j];
      texts.insert(text);
    }
  }
  std::unordered_map<std::string, Strings> groups;
  for (const std::string& text : texts) {
    Strings pieces = gf_splitComma(text);
    std::string key = pieces.front();
    pieces.erase(pieces.begin());
    groups.try_emplace(key, pieces);
  }
  return groups;
}
}  // namespace

// Random groups over a small alphabet - members that begin alike, bytes below and above ",",
// repeated members and groups - give the same groups as the texts would.
TEST_F(LookupsTest, PrefixGroupsAgreeWithTheirTexts) {
  std::mt19937 random(20251005);
  const std::string alphabet = "AB!-";
  const auto member = [&] {
    std::string text(1 + random() % 3, 'A');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    return text;
  };
  RANDOM.value.store(false);
  for (int round = 0; round < 400; ++round) {
    std::vector<Strings> lists(1 + random() % 6);
    for (Strings& group : lists) {
      group.resize(random() % 6);
      for (std::string& m : group) m = member();
      if (round % 4 != 3) std::sort(group.begin(), group.end());  // as read; every 4th unsorted
    }
    if (random() % 3 == 0) lists.push_back(lists.front());
    prefixGroupLists = lists;
    prefixGroups.clear();
    lf_buildPrefixGroups();
    const auto expected = referencePrefixGroups(lists);
    ASSERT_EQ(prefixGroups.size(), expected.size()) << round;
    for (const auto& [key, others] : expected) ASSERT_EQ(gf_similarPrefixes(key), others) << round << " " << key;
  }
  prefixGroupLists.clear();
  prefixGroups.clear();
  RANDOM.value.store(true);
}

TEST_F(LookupsTest, PublisherFromPath) {
  publisherNames = {{"Aero", "AE"}, {"Qwertal", "QW"}};
  Strings scanLog;
  std::string publisher;
  gf_publisherFromFilename("C:/Scenery/orbx/EGLC/scenery/apt.bgl", publisher, scanLog);
  EXPECT_EQ(publisher, "simaddon");
  EXPECT_EQ(scanLog, (Strings{"from filename => publisher simaddon"}));

  publisher.clear();
  gf_publisherFromFilename("D:/addons/myqwAirports/LOWI.bgl", publisher, scanLog);
  EXPECT_EQ(publisher, "Qwertal");
  publisher = "kept";
  gf_publisherFromFilename("D:/addons/other/LOWI.bgl", publisher, scanLog);
  EXPECT_EQ(publisher, "kept");
  EXPECT_EQ(scanLog.size(), 1u);

  EXPECT_EQ(lf_publisherInPath(""), std::nullopt);
  publisherNames.push_back({"Any", ""});  // a names text ending in a comma matches every path
  EXPECT_EQ(lf_publisherInPath("D:/x/y.bgl"), "Any");
  EXPECT_TRUE(lf_containsNoCase(std::string_view("ABC"), ""));
  EXPECT_FALSE(lf_containsNoCase(std::string_view("ABC"), "abd"));
}
