#include <gtest/gtest.h>

#include <unordered_set>

#include "foundation/fixed_code.hpp"
#include "foundation/user_error.hpp"
#include "foundation/version.hpp"
#include "support/log_capture.hpp"

namespace {

TEST(FixedCode, FoldsCaseAndRejectsBadTexts) {
  EXPECT_EQ(IcaoCode("eddf").str(), "EDDF");
  EXPECT_EQ(IcaoCode("eddf"), IcaoCode("EDDF"));
  EXPECT_EQ(IcaoCode("eddf").hash(), IcaoCode("EDDF").hash());
  EXPECT_EQ(IcaoCode("K1G4").str(), "K1G4");
  EXPECT_EQ(IataCode("fra").str(), "FRA");
  for (const char* bad : {"EDD", "EDDFX", "ED-F", "", "ÄDDF", "ED F"}) {
    try {
      IcaoCode code(bad);
      ADD_FAILURE() << bad;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' FixedCode: invalid string (length/charset)");
    }
  }
  EXPECT_THROW(IataCode("FRAX"), std::invalid_argument);
}

TEST(FixedCode, EmptyCodeHashOrderAndFormat) {
  const IcaoCode empty;
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.str(), "    ");
  // FNV-1a 64 of four blanks.
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (int i = 0; i < 4; ++i) h = (h ^ ' ') * 0x100000001b3ULL;
  EXPECT_EQ(empty.hash(), h);
  EXPECT_LT(IcaoCode("EDDF"), IcaoCode("EDDM"));
  EXPECT_LT(empty, IcaoCode("0000"));
  EXPECT_EQ(wdrx::format("[{}]", IcaoCode("lszh")), "[LSZH]");
  EXPECT_EQ(noIataCode.str(), "XXX");
  std::unordered_set<IcaoCode> set{IcaoCode("EDDF"), IcaoCode("eddf"), IcaoCode("EGLL")};
  EXPECT_EQ(set.size(), 2u);
}

TEST(UserErrorException, MessageWithCodeOrAlone) {
  const tql::UserErrorException withCode(151, "install path not found");
  EXPECT_STREQ(withCode.what(), "151: install path not found");
  const tql::UserErrorException alone(99, "see Log.txt");
  EXPECT_STREQ(alone.what(), "see Log.txt");
  try {
    throw tql::UserErrorException(41, "x");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "41: x");
  }
}

TEST(VersionData, TextsAndJson) {
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  struct Case {
    std::string text;
    VersionData expected;
    std::string logged;  // the exception text, or empty for no log line
  };
  const Case cases[]{
      {"12.5.4", {12, 5, 4}, ""},
      {"0.0.1", {0, 0, 1}, ""},
      {"007.08.0009", {7, 8, 9}, ""},
      {"12.5", {0, 0, 0}, "invalid version format"},
      {" 12.5.4", {0, 0, 0}, "invalid version format"},
      {"12.5.4 ", {0, 0, 0}, "invalid version format"},
      {"12.5.4.1", {0, 0, 0}, "invalid version format"},
      {"12..4", {0, 0, 0}, "invalid version format"},
      {"12.5.", {0, 0, 0}, "invalid version format"},
      {"v12.5.4", {0, 0, 0}, "invalid version format"},
      {R"({"major": 12, "minor": 5, "patch": 4})", {12, 5, 4}, ""},
      {R"(  {"major": 12}  )", {12, 0, 0}, ""},
      {R"({"major": "12", "minor": 3})", {0, 3, 0}, ""},
      {R"({"major": 1.5, "minor": true})", {0, 0, 0}, ""},
      {"[1, 2, 3]", {0, 0, 0}, "invalid version format"},
      {"99999999999.1.1", {0, 0, 0}, "parse error in version string"},
      {R"({"major": 99999999999})", {0, 0, 0}, "parse error in version string"},
      // A huge text from a damaged file must not exhaust the stack.
      {std::string(200000, '1') + ".2.3", {0, 0, 0}, "parse error in version string"},
      {"", {0, 0, 0}, ""},
      {"   ", {0, 0, 0}, "invalid version format"},
  };
  std::string expectedLog;
  for (const auto& c : cases) {
    EXPECT_EQ(VersionData(c.text), c.expected) << c.text.substr(0, 40);
    if (!c.logged.empty()) expectedLog += "VersionData exception: " + c.logged + "\n";
    EXPECT_EQ(log.text(), expectedLog) << c.text.substr(0, 40);
  }
  // Malformed JSON: logged with the parser's message.
  EXPECT_EQ(VersionData("{\"major\": "), VersionData());
  EXPECT_TRUE(log.text().substr(expectedLog.size()).starts_with("VersionData exception: [json.exception.parse_error"));
}

TEST(Version, OrderTextAndProgramVersion) {
  EXPECT_EQ(programVersion, VersionData("12.5.4"));
  EXPECT_EQ(programVersion.text(), "12.5.4");
  EXPECT_LT(VersionData(12, 5, 4), VersionData(12, 5, 5));
  EXPECT_LT(VersionData(12, 5, 9), VersionData(12, 6, 0));
  EXPECT_LT(VersionData(11, 9, 9), VersionData(12, 0, 0));
  EXPECT_LT(VersionData(), VersionData(0, 0, 1));
  EXPECT_EQ(VersionData(1, 2, 3), VersionData("1.2.3"));
  EXPECT_EQ(VersionData(1, 20, 300).text(), "1.20.300");
}

}  // namespace
