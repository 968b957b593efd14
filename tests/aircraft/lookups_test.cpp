// Registration lookups, wing spans, prefix groups and publishers.
#include <gtest/gtest.h>

#include <algorithm>

#include "aircraft/reference_db.hpp"
#include "aircraft/registrations.hpp"
#include "config/settings.hpp"
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
}

TEST_F(LookupsTest, RegistrationInTextSkipsLongAndEmptyRegistrations) {
  records({"", "D-AIPAX", "PH-BX", "EI-A"});
  EXPECT_EQ(lf_registrationInText("Airbus D-AIPAX PH-BXA"), "PH-BX");
  EXPECT_EQ(lf_registrationInText("Airbus D-AIPAX"), std::nullopt);
  EXPECT_EQ(lf_registrationInText("ei-a livery"), std::nullopt);  // case-sensitive
  EXPECT_EQ(lf_registrationInText("EI-A livery"), "EI-A");
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
  EXPECT_EQ(prefixGroups.at("D"), (Strings{"F", "OE"}));
  EXPECT_EQ(prefixGroups.at("F"), (Strings{"D", "OE"}));
  EXPECT_EQ(prefixGroups.at("OE"), (Strings{"D", "F"}));
  EXPECT_EQ(prefixGroups.at("HB"), (Strings{"D"}));
  EXPECT_TRUE(gf_similarPrefixes("G").empty());
  EXPECT_TRUE(gf_similarPrefixes("XX").empty());

  RANDOM.value.store(false);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(gf_similarPrefixes("D"), (Strings{"F", "OE"}));
  RANDOM.value.store(true);
  Strings shuffled = gf_similarPrefixes("OE");
  std::sort(shuffled.begin(), shuffled.end());
  EXPECT_EQ(shuffled, (Strings{"D", "F"}));
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
