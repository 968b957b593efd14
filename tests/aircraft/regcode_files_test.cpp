// The user's regcode files, the AIG regcode file and the don't-use titles.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "aircraft/regcode_files.hpp"
#include "refdata_fixture.hpp"

using namespace refdata_test;
using wdrx::testing::shownPath;
using wdrx::testing::writeFile;
using Strings = std::vector<std::string>;

namespace {
class RegcodeFilesTest : public RefdataTest, public ::testing::Test {};

std::string record(const RegcodeRecord& r) {
  std::string text = r.title + "|";
  for (const std::string& code : r.regcodes) text += code + ",";
  return text + (r.special ? "|special" : "");
}

Strings records(const std::vector<RegcodeRecord>& list) {
  Strings texts;
  for (const RegcodeRecord& r : list) texts.push_back(record(r));
  return texts;
}

const char* aigMeta =
    R"(<meta><info name="author" value="Wendrix_P3D"/><info name="copyright" value="(c) test"/>)"
    R"(<info name="sim" value="3"/></meta>)";

std::string aigXml(const std::string& records) {
  return std::string("<?xml version=\"1.0\"?><root>") + aigMeta + "<aig>" + records + "</aig></root>";
}
}  // namespace

TEST_F(RegcodeFilesTest, LinesOfTheUsersFiles) {
  writeFile("input/my_regcodes/a.txt",
            "ABCDE\r\n"
            "A;B;C\n"
            "Title1\n"
            "Title2;\n"
            "T3 one;PH-BXA;x\n"
            "T4;PH-BXA,PH-BXB\n"
            "T5;PH-BXA,PH-BXB;#\n"
            "T6;PH-BXA, PH-BXB;x\n"
            "T7;PH-BXA,PH-BXA\n"
            "T8;ABC,ABCDEFGHIJKL\n"
            "T9 x;AB\n"
            "T10;AB,CD\n"
            "T11;PH-BXA,,PH-BXB\n"
            "T12;PH-BXA,\n"
            "T13;a;b;c\n"
            "T14;ABCDEFGHIJKLM,PH-BXA\n"
            "  T15 ;; PH-BXA\t;\r\n");
  std::vector<RegcodeRecord> list;
  EXPECT_FALSE(gf_readRegcodeFiles("input/my_regcodes", list));
  EXPECT_EQ(records(list), (Strings{"Title1|", "Title2|", "T3 one|PH-BXA,|special", "T4|PH-BXA,PH-BXB,",
                                    "T5|PH-BXA,PH-BXB,|special", "T6|PH-BXA,PH-BXB,", "T7|PH-BXA,|special",
                                    "T8|ABC,ABCDEFGHIJKL,", "T10|", "T11|PH-BXA,PH-BXB,", "T12|PH-BXA,",
                                    "T14|PH-BXA,", "T15|PH-BXA,|special"}));
  const std::string file = shownPath("input/my_regcodes/a.txt");
  const std::string in = "' in " + file;
  EXPECT_EQ(logLines(), (Strings{"==> wrong regcode length 'AB" + in, "==> wrong regcode length 'AB" + in,
                                 "==> wrong regcode length 'CD" + in, "==> wrong regcode length '" + in,
                                 "==> wrong regcode length '" + in,
                                 "==> wrong regcode length 'ABCDEFGHIJKLM" + in,
                                 "   13 liveries read from " + file}));
}

TEST_F(RegcodeFilesTest, OnlyTxtFilesDirectlyInTheFolder) {
  writeFile("input/my_regcodes/a.txt", "\xEF\xBB\xBFTitleA;PH-BXA\n");
  writeFile("input/my_regcodes/b.TXT", "TitleB;PH-BXB\nTitleC\n");
  writeFile("input/my_regcodes/d.csv", "TitleD;PH-BXD\n");
  writeFile("input/my_regcodes/sub/e.txt", "TitleE;PH-BXE\n");
  std::vector<RegcodeRecord> list;
  EXPECT_TRUE(gf_readRegcodeFiles("input/my_regcodes", list));
  Strings titles;
  for (const RegcodeRecord& r : list) titles.push_back(r.title);
  std::sort(titles.begin(), titles.end());
  EXPECT_EQ(titles, (Strings{"TitleA", "TitleB", "TitleC"}));
  Strings lines = logLines();
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (Strings{"    1 livery read from " + shownPath("input/my_regcodes/a.txt"),
                            "    2 liveries read from " + shownPath("input/my_regcodes/b.TXT")}));
}

TEST_F(RegcodeFilesTest, MissingFolderIsReported) {
  std::vector<RegcodeRecord> list;
  EXPECT_FALSE(gf_readRegcodeFiles("input/my_regcodes", list));
  Strings lines = logLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("==> Error reading regcode files in " + shownPath("input/my_regcodes") + ", what: ", 0), 0u)
      << lines[0];
}

TEST_F(RegcodeFilesTest, AigRecordsAndConsecutiveDuplicates) {
  writeFile("input/AIG-regcodes.xml",
            aigXml(R"(<l t="A" r="PH-BXB, PH-BXA,PH-BXA" s="1"/><l t="A" r="X"/><l r="Y"/><l t=""/>)"
                   R"(<l t="B"/><l t=""/><l t="B" r="Z"/><l t="A" r="PH" s="yes"/><l t=" C " r="PH-BXD" s="no"/>)"));
  std::vector<RegcodeRecord> list{{"earlier", {"X"}, false}};
  EXPECT_FALSE(gf_readAigRegcodes(list));
  EXPECT_EQ(records(list),
            (Strings{"earlier|X,", "A|PH-BXA,PH-BXB,|special", "B|", "A|PH,|special", " C |PH-BXD,"}));
  // A skipped element without a title does not end the run of equal titles.
  EXPECT_EQ(logLines(), (Strings{"==> Duplicate title 'A' (same as previous)",
                                 "==> Duplicate title 'B' (same as previous)",
                                 "    5 liveries read from AIG-regcodes.xml"}));
}

TEST_F(RegcodeFilesTest, AigFileFailures) {
  std::vector<RegcodeRecord> list;
  EXPECT_FALSE(gf_readAigRegcodes(list));  // missing
  writeFile("input/AIG-regcodes.xml", "<root><aig>");
  EXPECT_FALSE(gf_readAigRegcodes(list));
  EXPECT_FALSE(std::filesystem::exists("input/AIG-regcodes.xml"));
  writeFile("input/AIG-regcodes.xml", R"(<root><aig><l t="A"/></aig></root>)");
  EXPECT_FALSE(gf_readAigRegcodes(list));  // no meta block
  writeFile("input/AIG-regcodes.xml", std::string("<root>") + aigMeta + "</root>");
  EXPECT_FALSE(gf_readAigRegcodes(list));
  EXPECT_TRUE(list.empty());
  const std::string failed = "==> Failed to load " + shownPath("input/AIG-regcodes.xml");
  EXPECT_EQ(logLines(), (Strings{failed, failed, "==> No <aig> node found in XML."}));
}

TEST_F(RegcodeFilesTest, DontUseTitlesFromBothSources) {
  writeEncrypted("input/AIG-regcodes.enc", aigXml(R"(<l t="Never A"/><l t="Fine" r="PH-BXA"/><l t="Never B"/>)"));
  writeFile("input/my_regcodes/mine.txt", "Never C\nMine;PH-BXB\n");
  dontUseTitles = {"old"};
  lf_readDontUseTitles();
  EXPECT_EQ(dontUseTitles, (Strings{"Never A", "Never B", "Never C"}));
  EXPECT_FALSE(std::filesystem::exists("input/AIG-regcodes.xml"));
  EXPECT_EQ(logLines(), (Strings{"    3 liveries read from AIG-regcodes.xml", "    2 don't use titles read",
                                 "    2 liveries read from " + shownPath("input/my_regcodes/mine.txt"),
                                 "    1 don't use title read from files in " + shownPath("input/my_regcodes")}));
}

TEST_F(RegcodeFilesTest, DontUseTitlesWithoutAigFileStillReadTheFolder) {
  writeFile("input/my_regcodes/mine.txt", "Never C\n");
  lf_readDontUseTitles();
  EXPECT_EQ(dontUseTitles, (Strings{"Never C"}));
  EXPECT_FALSE(std::filesystem::exists("input/AIG-regcodes.xml"));
}
