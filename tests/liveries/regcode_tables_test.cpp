// The registration-code tables: in-line registrations with their clashes, the AIG file and the
// user's files applied on top, special and unique liveries, and the report files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "liveries/livery_tables.hpp"
#include "liveries/regcode_tables.hpp"
#include "match_fixture.hpp"

using match_test::livery;
using match_test::processLiveries;
using match_test::writeAigRegcodes;
using match_test::writeUserRegcodes;
using wdrx::testing::readFile;
using wdrx::testing::shownPath;
using Strings = std::vector<std::string>;

namespace {

class RegcodeTables : public match_test::MatchTest {
 protected:
  bool logged(const std::string& line) {
    const Strings lines = newLogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

std::string regcodeTitle(const std::string& registration) {
  const auto found = regcodeTitles.find(registration);
  return found == regcodeTitles.end() ? std::string("-") : std::string(found->second);
}

}  // namespace

TEST_F(RegcodeTables, InlineClashesKeepTheFirstAndAreReported) {
  processLiveries({livery("DLH", "", "A320", "A first", "D-AIPA"), livery("DLH", "", "A320", "B second", "D-AIPA"),
                   livery("DLH", "", "A320", "Same", "D-AAAA"), livery("DLH", "", "A321", "Same", "D-BBBB"),
                   livery("DLH", "", "A321", "No registration")});
  EXPECT_EQ(regcodeTitle("D-AIPA"), "A first");
  EXPECT_EQ(regcodeTitle("D-AAAA"), "Same");
  EXPECT_EQ(regcodeTitle("D-BBBB"), "Same");
  EXPECT_EQ(titleRegistrations.at("Same"), "D-AAAA");
  EXPECT_EQ(titleRegistrations.at("B second"), "D-AIPA");
  EXPECT_FALSE(titleRegistrations.contains("No registration"));
  EXPECT_EQ(regcodeTitles.size(), 3u);
  EXPECT_EQ(readFile("output/errors/InlineRegcodes.txt"),
            "D-AIPA 'B second' => already in use by 'A first'\n"
            "Same 'D-BBBB' => already in use by 'D-AAAA'\n");
  const Strings lines = newLogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "    2 in-line regcode clashes, see '" + shownPath("output/errors/InlineRegcodes.txt") + "'"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "    3 registration codes"), lines.end());
  // Without AIG file and user files nothing offline is written.
  EXPECT_FALSE(std::filesystem::exists(offlineRegcodesFile));
}

TEST_F(RegcodeTables, NoClashNoFile) {
  processLiveries({livery("DLH", "", "A320", "A first", "D-AIPA")});
  EXPECT_FALSE(std::filesystem::exists("output/errors/InlineRegcodes.txt"));
}

TEST_F(RegcodeTables, OfflineCodesReplaceInlineOnesForInstalledTitles) {
  writeAigRegcodes(R"(<l t="C third" r="D-AIPA"/><l t="Not installed" r="X-ONE"/>)"
                   R"(<l t="D fourth" r="D-ABCD" s="1"/><l t="C third" r="D-X1,,D-X2"/>)");
  writeUserRegcodes("mine.txt", "C third;D-ABCD\n");
  processLiveries({livery("DLH", "", "A320", "A first", "D-AIPA"), livery("DLH", "", "A320", "C third"),
                   livery("DLH", "", "A321", "D fourth")});
  EXPECT_EQ(readFile(offlineRegcodesFile),
            "Processing file " + shownPath("input/AIG-regcodes.xml") + "\n"
            "   regcode D-AIPA for 'C third', instead of the same for 'A first'\n"
            "3 new regcodes added, 1 regcode replaced, 1 regcode defined as special\n"
            "Processing files in " + shownPath("input/my_regcodes") + "\n"
            "   regcode D-ABCD for 'C third', instead of the same for 'D fourth'\n"
            "0 new regcodes added, 1 regcode replaced, 1 regcode defined as special\n");
  EXPECT_EQ(regcodeTitle("D-AIPA"), "C third");
  EXPECT_EQ(regcodeTitle("D-ABCD"), "C third");
  EXPECT_EQ(regcodeTitle("D-X1"), "C third");
  EXPECT_EQ(regcodeTitle("X-ONE"), "-");  // its title is not installed
  EXPECT_EQ(regcodeTitle(""), "-");       // an empty regcode names no aircraft
  EXPECT_EQ(regcodeTitles.size(), 4u);
  EXPECT_EQ(titleRegistrations.at("A first"), "D-AIPA");  // in-line registrations stay
  EXPECT_EQ(specialLiveries, (std::vector<std::string_view>{"D fourth", "C third"}));
  EXPECT_TRUE(lf_isSpecialLivery("D fourth"));
  EXPECT_FALSE(lf_isSpecialLivery("A first"));
  EXPECT_EQ(uniqueRegcodes, (std::set<std::string, std::less<>>{"D-ABCD"}));
  // The tables view the installed titles themselves.
  EXPECT_EQ(regcodeTitles.at("D-AIPA").data(), lf_findLiveryTitle("C third").data());
  const Strings lines = newLogLines();
  for (const std::string& line : {"Offline regcode files processed, results can be found in '" +
                                      shownPath("output/info/OfflineRegcodes.txt") + "'",
                                  std::string("    2 special liveries"), std::string("    1 unique liveries"),
                                  std::string("    4 registration codes")}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
  }
  EXPECT_FALSE(std::filesystem::exists("input/AIG-regcodes.xml"));  // plaintext removed
}

TEST_F(RegcodeTables, SpecialRecordWithTwoCodesIsNotUnique) {
  writeUserRegcodes("mine.txt", "C third;D-AAAA,D-BBBB;#\nD fourth;D-CCCC,D-DDDD\n");
  processLiveries({livery("DLH", "", "A320", "C third"), livery("DLH", "", "A321", "D fourth")});
  EXPECT_EQ(specialLiveries, (std::vector<std::string_view>{"C third"}));
  EXPECT_TRUE(uniqueRegcodes.empty());
  EXPECT_EQ(regcodeTitle("D-DDDD"), "D fourth");
}

// The user's own regcodes count also when the AIG file cannot be decrypted.
TEST_F(RegcodeTables, UserCodesAppliedWithoutTheAigFile) {
  wdrx::testing::writeFile("input/AIG-regcodes.enc", "not an encrypted file");
  writeUserRegcodes("mine.txt", "C third;D-ABCD\n");
  processLiveries({livery("DLH", "", "A320", "C third")});
  EXPECT_EQ(regcodeTitle("D-ABCD"), "C third");
  EXPECT_EQ(readFile(offlineRegcodesFile),
            "Processing files in " + shownPath("input/my_regcodes") + "\n"
            "1 new regcode added, 1 regcode defined as special\n");
  EXPECT_FALSE(std::filesystem::exists("input/AIG-regcodes.xml"));
}

TEST_F(RegcodeTables, OldOfflineReportIsRemovedWhenNothingIsApplied) {
  wdrx::testing::writeFile(offlineRegcodesFile, "old\n");
  processLiveries({livery("DLH", "", "A320", "C third")});
  EXPECT_FALSE(std::filesystem::exists(offlineRegcodesFile));
}

TEST_F(RegcodeTables, ErrorsInTheUserFilesAreShownAndTheRestApplied) {
  writeUserRegcodes("mine.txt", "C third;D-ABCD,XY\n");
  processLiveries({livery("DLH", "", "A320", "C third")});
  EXPECT_EQ(regcodeTitle("D-ABCD"), "C third");
  EXPECT_EQ(regcodeTitle("XY"), "-");
  const Strings lines = newLogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "There were errors processing the regcode files in folder '" + shownPath("input/my_regcodes") + "', see Log.txt"),
            lines.end());
}
