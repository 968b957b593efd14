#include "foundation/text.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "support/foundation_hooks.hpp"
#include "support/temp_dir.hpp"

using wdrx::testing::TempDir;
using wdrx::testing::writeFile;

namespace {

TEST(TextConversion, StrictUtf8AndUtf16RoundTrip) {
  const std::string samples[] = {"", "plain", "Z\xC3\xBCrich", "\xE2\x82\xAC 5", "\xF0\x9F\x98\x80",
                                 std::string("a\0b", 3)};
  for (const auto& s : samples) EXPECT_EQ(wide_to_utf8(utf8_to_wide(s)), s);
  EXPECT_EQ(utf8_to_wide("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
  EXPECT_EQ(utf8_to_wide("\xE2\x82\xAC"), u"\u20AC");
}

TEST(TextConversion, InvalidInputThrowsTheFixedTexts) {
  const std::string badUtf8[] = {
      "\x80",              // stray continuation
      "\xC0\x80",          // overlong
      "\xC3",              // cut at the end
      "\xE2\x82",          // cut at the end
      "\xED\xA0\x80",      // encoded surrogate
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "\xF5\x80\x80\x80",  // lead byte never valid
      "a\xC3(",            // continuation missing
  };
  for (const auto& s : badUtf8) {
    try {
      utf8_to_wide(s);
      ADD_FAILURE() << "accepted invalid UTF-8 of " << s.size() << " bytes";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "utf8_to_wide: invalid UTF-8");
    }
  }
  const std::u16string badUtf16[] = {std::u16string(1, char16_t(0xD800)),
                                     std::u16string(1, char16_t(0xDC00)),
                                     std::u16string{char16_t(0xD800), u'a'}};
  for (const auto& s : badUtf16) {
    try {
      wide_to_utf8(s);
      ADD_FAILURE() << "accepted a lone surrogate";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "wide_to_utf8: invalid UTF-16");
    }
  }
}

TEST(TextConversion, AnsiWindows1252ToUtf8) {
  EXPECT_EQ(gf_ansiToUtf8(""), "");
  EXPECT_EQ(gf_ansiToUtf8("abc"), "abc");
  EXPECT_EQ(gf_ansiToUtf8("\x80"), "\xE2\x82\xAC");           // euro sign
  EXPECT_EQ(gf_ansiToUtf8("a\x97z"), "a\xE2\x80\x94z");       // em dash
  EXPECT_EQ(gf_ansiToUtf8("M\xFCnchen"), "M\xC3\xBCnchen");   // u umlaut
  EXPECT_EQ(gf_ansiToUtf8("\x9F"), "\xC5\xB8");               // Y diaeresis
  // The five undefined bytes do not lose the text: they become the control character.
  EXPECT_EQ(gf_ansiToUtf8("x\x81y"), "x\xC2\x81y");
  EXPECT_EQ(gf_ansiToUtf8("\x8D\x8F\x90\x9D"), "\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(TextSplit, SplittersTrimAndTreatEmptyPieces) {
  const std::string text = " , a , , b ";
  EXPECT_EQ(gf_split(text), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(gf_splitComma(text), (std::vector<std::string>{"", "a", "", "b"}));
  EXPECT_EQ(gf_splitToList(text), (std::list<std::string>{"", "a", "", "b"}));
  EXPECT_EQ(gf_collectSplitView(text), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(gf_collectSplitView("a;\tb\r\n;;c", ';'), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(gf_splitComma("a,"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(gf_splitComma("solo"), (std::vector<std::string>{"solo"}));
  EXPECT_TRUE(gf_splitComma("").empty());
  EXPECT_TRUE(gf_split("").empty());
  EXPECT_TRUE(gf_splitToList("").empty());
  EXPECT_TRUE(gf_split(" ,\t, ").empty());
}

TEST(TextSplit, TrimAndNormalise) {
  EXPECT_EQ(gf_trim(" \t\r\nx y\n "), "x y");
  EXPECT_EQ(gf_trim(" \t "), "");
  const std::string raw = "  abc ";
  EXPECT_EQ(lf_trimRange(raw.data(), raw.data() + raw.size()), "abc");

  std::string withBlank = "a, b";
  gf_normaliseCommaList(withBlank);
  EXPECT_EQ(withBlank, "a,b");
  std::string noBlank = "a,,b";
  gf_normaliseCommaList(noBlank);
  EXPECT_EQ(noBlank, "a,,b");
  std::string messy = " x ,, y\t,";
  gf_normaliseCommaList(messy);
  EXPECT_EQ(messy, "x,y");
}

TEST(TextSplit, Comparisons) {
  std::string second = "eddf";
  EXPECT_TRUE(gf_upperCaseEquals("EDDF", second));
  EXPECT_EQ(second, "EDDF");
  std::string other = "eddm";
  EXPECT_FALSE(gf_upperCaseEquals("EDDF", other));
  EXPECT_EQ(gf_toUpperChar('q'), 'Q');
  EXPECT_EQ(gf_toUpperChar('7'), '7');
  EXPECT_TRUE(gf_equalsStarred("DLH", "DLH*"));
  EXPECT_FALSE(gf_equalsStarred("DLH", "DLH"));
  EXPECT_FALSE(gf_equalsStarred("DLH", "DLHX"));
  EXPECT_FALSE(gf_equalsStarred("DLH", "DLH**"));
}

TEST(TextLines, SplitLinesRules) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases{
      {"", {}},
      {"\xEF\xBB\xBF", {}},
      {"\n", {""}},
      {"x\r\ny\r\n", {"x", "y"}},
      {"x\ny", {"x", "y"}},
      {"x\n\ny\n", {"x", "", "y"}},
      {"\xEF\xBB\xBFx\r", {"x"}},
      {"a\r\r\nb", {"a\r", "b"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines;
    gf_splitLines(c.text, lines);
    EXPECT_EQ(lines, c.lines) << c.text;
  }
  std::istringstream stream("p\r\nq\n");
  std::vector<std::string> lines{"kept"};
  gf_readTextFileLines(stream, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"kept", "p", "q"}));
}

struct CharsetCase {
  std::string name;
  std::string bytes;
  TextEncoding encoding;
  std::vector<std::string> lines;
};

class Charset : public ::testing::Test {
 protected:
  wdrx::testing::FoundationHooksDouble hooks;
  TempDir dir;
};

TEST_F(Charset, DetectionAndReadingOfEveryEncoding) {
  const std::string utf16le("\xFF\xFE" "a\0\xFC\0\r\0\n\0b\0\n\0", 14);
  const std::string utf16be("\xFE\xFF" "\0a\0\xFC\0\r\0\n\0b\0\n", 14);
  const std::vector<CharsetCase> cases{
      {"empty", "", TextEncoding::UTF8_without_BOM, {}},
      {"utf8 bom crlf", "\xEF\xBB\xBFx\xC3\xBC\r\ny\r\n", TextEncoding::UTF8_with_BOM, {"x\xC3\xBC", "y"}},
      {"utf8 lf", "x\xC3\xBC\ny", TextEncoding::UTF8_without_BOM, {"x\xC3\xBC", "y"}},
      {"ascii crlf", "x\r\ny\r\n", TextEncoding::UTF8_without_BOM, {"x", "y"}},
      {"ansi", "M\xFCnchen\r\n\x80\n", TextEncoding::ANSI, {"M\xC3\xBCnchen", "\xE2\x82\xAC"}},
      {"utf16le bom", utf16le, TextEncoding::Unicode, {"a\xC3\xBC", "b"}},
      {"utf16be bom", utf16be, TextEncoding::Unicode_big_endian, {"a\xC3\xBC", "b"}},
      {"bom only", "\xFF\xFE", TextEncoding::Unicode, {}},
      // Without a byte-order mark the detected byte order is used.
      {"utf16le no bom", std::string("A\0B\0", 4), TextEncoding::Unicode, {"AB"}},
      {"utf16be no bom", std::string("\0A\0B\0\n\0C", 8), TextEncoding::Unicode_big_endian, {"AB", "C"}},
      // An odd byte count loses only the last byte.
      {"utf16 odd", std::string("\xFF\xFEx\0y\0z", 7), TextEncoding::Unicode, {"xy"}},
      {"overlong", "\xC0\x80", TextEncoding::ANSI, {"\xC3\x80\xE2\x82\xAC"}},
      {"encoded surrogate accepted", "\xED\xA0\x80", TextEncoding::UTF8_without_BOM, {"\xED\xA0\x80"}},
      {"cut by end of file", "abc\xE2\x82", TextEncoding::ANSI, {"abc\xC3\xA2\xE2\x80\x9A"}},
      {"E0 needs A0", "\xE0\x9F\x80", TextEncoding::ANSI, {"\xC3\xA0\xC5\xB8\xE2\x82\xAC"}},
      {"F4 at most 8F", "\xF4\x90\x80\x80", TextEncoding::ANSI, {"\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"}},
      // Each lower and upper limit from both sides.
      {"E0 A0 is the first", "\xE0\xA0\x80", TextEncoding::UTF8_without_BOM, {"\xE0\xA0\x80"}},
      {"F0 90 is the first", "\xF0\x90\x80\x80", TextEncoding::UTF8_without_BOM, {"\xF0\x90\x80\x80"}},
      {"F0 needs 90", "\xF0\x8F\x80\x80", TextEncoding::ANSI,
       {"\xC3\xB0\xC2\x8F\xE2\x82\xAC\xE2\x82\xAC"}},
      {"F4 8F is the last", "\xF4\x8F\xBF\xBF", TextEncoding::UTF8_without_BOM, {"\xF4\x8F\xBF\xBF"}},
      {"C2 is the first lead", "\xC2\x80", TextEncoding::UTF8_without_BOM, {"\xC2\x80"}},
      // UTF-16 without a mark: a zero in every second byte of the first four (or of a shorter file).
      {"utf16le two bytes", std::string("A\0", 2), TextEncoding::Unicode, {"A"}},
      {"utf16le three bytes", std::string("A\0B", 3), TextEncoding::Unicode, {"A"}},
      {"utf16be three bytes", std::string("\0AB", 3), TextEncoding::Unicode_big_endian, {"A"}},
      {"one zero is no utf16le", std::string("A\0BC", 4), TextEncoding::UTF8_without_BOM,
       {std::string("A\0BC", 4)}},
      {"one zero is no utf16be", std::string("\0AB\0", 4), TextEncoding::UTF8_without_BOM,
       {std::string("\0AB\0", 4)}},
  };
  for (const auto& c : cases) {
    const auto path = dir / "file.txt";
    writeFile(path, c.bytes);
    EXPECT_EQ(gf_detectCharset(path), c.encoding) << c.name;
    std::vector<std::string> lines{"stale"};
    EXPECT_TRUE(gf_readLinesWithCharset(c.encoding, path, lines)) << c.name;
    EXPECT_EQ(lines, c.lines) << c.name;
    // The same from the file read once.
    std::string content;
    ASSERT_TRUE(gf_readFileContent(path, content)) << c.name;
    EXPECT_EQ(gf_detectCharsetOf(content), c.encoding) << c.name;
    std::vector<std::string_view> once{"stale"};
    EXPECT_TRUE(gf_decodeLinesWithCharset(c.encoding, content, path, once)) << c.name;
    EXPECT_EQ(std::vector<std::string>(once.begin(), once.end()), c.lines) << c.name;
  }
}

TEST_F(Charset, SequenceCutOnlyByTheSampleLimitIsStillUtf8) {
  // The 4096th byte starts a two-byte sequence that ends in byte 4097.
  std::string text(4095, 'a');
  text += "\xC3\xBC rest";
  writeFile(dir / "long.txt", text);
  EXPECT_EQ(gf_detectCharset(dir / "long.txt"), TextEncoding::UTF8_without_BOM);
  // A four-byte sequence starting at the last sample byte needs three bytes past the limit.
  std::string four(4095, 'a');
  four += "\xF0\x9F\x98\x80";
  writeFile(dir / "four.txt", four);
  EXPECT_EQ(gf_detectCharset(dir / "four.txt"), TextEncoding::UTF8_without_BOM);
  // The same text cut by the real end of the file is not UTF-8.
  writeFile(dir / "cut.txt", std::string(4095, 'a') + "\xC3");
  EXPECT_EQ(gf_detectCharset(dir / "cut.txt"), TextEncoding::ANSI);
  // Bytes beyond the 4096-byte sample are not looked at.
  writeFile(dir / "late.txt", std::string(4096, 'a') + "\xFF");
  EXPECT_EQ(gf_detectCharset(dir / "late.txt"), TextEncoding::UTF8_without_BOM);
  // The same limits on a whole content.
  EXPECT_EQ(gf_detectCharsetOf(four), TextEncoding::UTF8_without_BOM);
  EXPECT_EQ(gf_detectCharsetOf(std::string(4096, 'a') + "\xFF"), TextEncoding::UTF8_without_BOM);
  EXPECT_EQ(gf_detectCharsetOf(std::string(4095, 'a') + "\xFF"), TextEncoding::ANSI);
}

TEST_F(Charset, MissingFileAndFailuresOfTheReader) {
  EXPECT_EQ(gf_detectCharset(dir / "missing.txt"), TextEncoding::none_found);
  std::vector<std::string> lines{"stale"};
  EXPECT_FALSE(gf_readLinesWithCharset(TextEncoding::UTF8_without_BOM, dir / "missing.txt", lines));
  EXPECT_TRUE(lines.empty());
  std::string content = "stale";
  EXPECT_FALSE(gf_readFileContent(dir / "missing.txt", content));
  EXPECT_TRUE(content.empty());
  const std::string big(200000, 'b');  // more than one read
  writeFile(dir / "big.txt", big);
  EXPECT_TRUE(gf_readFileContent(dir / "big.txt", content));
  EXPECT_EQ(content, big);

  writeFile(dir / "x.txt", "x\n");
  EXPECT_FALSE(gf_readLinesWithCharset(TextEncoding::none_found, dir / "x.txt", lines));
  EXPECT_EQ(hooks.lastStatus(),
            "Read failed for '" + (dir / "x.txt").string() + "': file " + (dir / "x.txt").string() +
                " has unknown charset: none_found");

  writeFile(dir / "lone.txt", std::string("\xFF\xFE\x00\xD8", 4));  // a lone high surrogate
  EXPECT_FALSE(gf_readLinesWithCharset(TextEncoding::Unicode, dir / "lone.txt", lines));
  EXPECT_NE(hooks.lastStatus().find("wide_to_utf8: invalid UTF-16"), std::string::npos);
}

// A folder or a device where a text file is expected is an error of its own, never an endless
// read or a huge allocation.
TEST_F(Charset, FoldersAndDevicesAreNoTextFiles) {
  std::filesystem::create_directory(dir / "folder.txt");
  std::vector<std::filesystem::path> paths{dir / "folder.txt"};
#ifndef _WIN32  // Windows has no devices among the files of a folder
  paths.emplace_back("/dev/zero");
#endif
  for (const std::filesystem::path& path : paths) {
    SCOPED_TRACE(path.string());
    EXPECT_EQ(gf_detectCharset(path), TextEncoding::none_found);
    std::vector<std::string> lines{"stale"};
    EXPECT_FALSE(gf_readLinesWithCharset(TextEncoding::UTF8_without_BOM, path, lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(hooks.lastStatus(), "Read failed for '" + path.string() + "': not a file");
    std::string content;
    EXPECT_FALSE(gf_readFileContent(path, content));
    TextFile file{path, {"stale"}};
    const TextFileResult result = gf_readTextFile(file, 10);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "not_a_file");
    EXPECT_TRUE(file.lines.empty());
  }
}

TEST(TextEncodingName, NamesAndOutOfRange) {
  EXPECT_EQ(gf_encodingName(TextEncoding::ANSI), "ANSI");
  EXPECT_EQ(gf_encodingName(TextEncoding::Unicode_big_endian), "Unicode_big_endian");
  EXPECT_EQ(gf_encodingName(TextEncoding::none_found), "none_found");
  EXPECT_EQ(gf_encodingName(TextEncoding::Unicode), "Unicode");
  EXPECT_EQ(gf_encodingName(TextEncoding::UTF8_with_BOM), "UTF8_with_BOM");
  EXPECT_EQ(gf_encodingName(TextEncoding::UTF8_without_BOM), "UTF8_without_BOM");
  EXPECT_THROW(gf_encodingName(static_cast<TextEncoding>(6)), std::out_of_range);
}

TEST_F(Charset, ReadTextFileAndWriters) {
  TextFile file{dir / "list.txt", {"old"}};
  auto result = gf_readTextFile(file, 10);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "open_failed");
  EXPECT_TRUE(file.lines.empty());

  ASSERT_TRUE(gf_writeLinesToFile({"EDDF", "", "EGLL"}, file.path));
  EXPECT_EQ(wdrx::testing::readFile(file.path), "EDDF\n\nEGLL\n");
  result = gf_readTextFile(file, 10);
  ASSERT_TRUE(result.ok);
  ASSERT_EQ(result.count, 3u);
  EXPECT_EQ(result.first[0], "EDDF");
  EXPECT_EQ(result.first[2], "EGLL");
  EXPECT_GE(file.lines.capacity(), 10u);

  ASSERT_TRUE(gf_writeStringToFile("one\r\ntwo", dir / "s.txt"));
  EXPECT_EQ(wdrx::testing::readFile(dir / "s.txt"), "one\r\ntwo\n");
  EXPECT_FALSE(gf_writeStringToFile("x", dir / "no" / "such" / "folder.txt"));
  EXPECT_FALSE(gf_writeLinesToFile({"x"}, dir / "no" / "such" / "folder.txt"));
}

}  // namespace
