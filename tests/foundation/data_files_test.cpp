#include "foundation/data_files.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/new_file.hpp"
#include "support/log_capture.hpp"
#include "encrypt/encrypt.hpp"
#include "support/temp_dir.hpp"

namespace {

using wdrx::testing::readFile;
using wdrx::testing::shownPath;
using wdrx::testing::writeFile;
namespace encrypt = wdrx::encrypt;

std::string plainText(std::size_t size) {
  std::string text(size, '\0');
  std::uint32_t state = 12345;
  for (auto& c : text) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return text;
}

struct RoundTrip {
  const char* name;
  std::size_t size;
  bool emptyFinalChunk;
  std::size_t cipherSize;
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }

class RoundTripTest : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTripTest, DecryptsExactlyWhatWasEncrypted) {
  const RoundTrip& c = GetParam();
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  const std::string plain = plainText(c.size);
  encrypt::Options options;
  options.emptyFinalChunk = c.emptyFinalChunk;
  const std::string cipher = encrypt::encryptText(plain, options);
  EXPECT_EQ(cipher.size(), c.cipherSize);  // the shipped layout: header, 4113-byte chunks
  writeFile("input/dbase.enc", cipher);

  ASSERT_TRUE(gf_streamDecrypt("input/dbase.enc", "input/dbase.xml"));
  EXPECT_EQ(readFile("input/dbase.xml"), plain);
  EXPECT_EQ(log.text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, RoundTripTest,
    ::testing::Values(RoundTrip{"Empty", 0, false, 24 + 17},
                      RoundTrip{"LessThanOneChunk", 1000, false, 24 + 1017},
                      RoundTrip{"OneChunkFinalOnIt", 4096, false, 24 + 4113},
                      RoundTrip{"OneChunkThenEmptyFinal", 4096, true, 24 + 4113 + 17},
                      RoundTrip{"SeveralChunks", 3 * 4096 + 123, false, 24 + 3 * 4113 + 140},
                      RoundTrip{"SeveralFullChunksThenEmptyFinal", 2 * 4096, true, 24 + 2 * 4113 + 17}),
    [](const auto& info) { return std::string(info.param.name); });

struct Broken {
  const char* name;
  std::function<std::string(std::string)> damage;  // takes a valid three-chunk file
  std::string logLine;
};

void PrintTo(const Broken& c, std::ostream* os) { *os << c.name; }

class BrokenFileTest : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenFileTest, FailsWithItsLogLineAndLeavesNoOutput) {
  const Broken& c = GetParam();
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  writeFile("input/airports.enc", c.damage(encrypt::encryptText(plainText(2 * 4096 + 500))));
  writeFile("input/airports.xml", "left from an earlier run");

  EXPECT_FALSE(gf_streamDecrypt("input/airports.enc", "input/airports.xml"));
  EXPECT_FALSE(std::filesystem::exists("input/airports.xml"));
  EXPECT_EQ(log.text(), "gf_streamDecrypt exception: " + c.logLine + "\n");
}

std::string flipAt(std::string file, std::size_t offset) {
  file.at(offset) = static_cast<char>(file.at(offset) ^ 0x01);
  return file;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenFileTest,
    ::testing::Values(
        Broken{"FlippedByteInHeader", [](std::string f) { return flipAt(f, 3); }, "Decryption failed"},
        Broken{"FlippedByteInFirstChunk", [](std::string f) { return flipAt(f, 24 + 100); },
               "Decryption failed"},
        Broken{"FlippedByteInLastChunk", [](std::string f) { return flipAt(f, f.size() - 1); },
               "Decryption failed"},
        Broken{"WrongKey",
               [](std::string) {
                 encrypt::Options other;
                 other.key[0] ^= 0x80;
                 return encrypt::encryptText(plainText(2 * 4096 + 500), other);
               },
               "Decryption failed"},
        Broken{"SwappedChunks",
               [](std::string f) {
                 return f.substr(0, 24) + f.substr(24 + 4113, 4113) + f.substr(24, 4113) +
                        f.substr(24 + 2 * 4113);
               },
               "Decryption failed"},
        Broken{"NoFinalChunk", [](std::string f) { return f.substr(0, 24 + 2 * 4113); },
               "Incomplete stream: no final chunk"},
        Broken{"OnlyHeader", [](std::string f) { return f.substr(0, 24); },
               "Incomplete stream: no final chunk"},
        Broken{"ShorterThanHeader", [](std::string f) { return f.substr(0, 10); },
               "Incomplete header: " + wdrx::testing::shownPath("input/airports.enc")},
        Broken{"EmptyFile", [](std::string) { return std::string(); },
               "Incomplete header: " + wdrx::testing::shownPath("input/airports.enc")},
        Broken{"ByteAfterShortFinalChunk", [](std::string f) { return f + "x"; }, "Decryption failed"},
        Broken{"BytesAfterFullFinalChunk",
               [](std::string) { return encrypt::encryptText(plainText(2 * 4096)) + "more"; },
               "Unexpected data after the final chunk"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StreamDecrypt, MissingInputFailsAndRemovesStaleOutput) {
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  writeFile("input/dbase.xml", "stale");
  EXPECT_FALSE(gf_streamDecrypt("input/dbase.enc", "input/dbase.xml"));
  EXPECT_FALSE(std::filesystem::exists("input/dbase.xml"));
  EXPECT_EQ(log.text(), "gf_streamDecrypt exception: Could not open input file: " + shownPath("input/dbase.enc") + "\n");
}

TEST(StreamDecrypt, UnwritableOutputFails) {
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  writeFile("input/dbase.enc", encrypt::encryptText("<dbase/>"));
  EXPECT_FALSE(gf_streamDecrypt("input/dbase.enc", "missing/dbase.xml"));
  EXPECT_EQ(log.text().rfind("gf_streamDecrypt exception: Could not open output file: " + shownPath("missing/dbase.xml") + "\n", 0),
            0u);
}

// Whatever stands at the plain path - a file left by a crash, a link planted to make the
// program write elsewhere - is replaced by a new file only the user can read.
TEST(StreamDecrypt, PlainTextGoesIntoANewFileOfItsOwn) {
  namespace fs = std::filesystem;
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  writeFile("input/dbase.enc", encrypt::encryptText("<dbase/>"));
  writeFile("victim.txt", "precious");
  const std::function<void()> plants[] = {
      [] { writeFile("input/dbase.xml", "stale"); },
      [] { fs::create_symlink(fs::absolute("victim.txt"), "input/dbase.xml"); },
      [] { fs::create_symlink(fs::absolute("nowhere.txt"), "input/dbase.xml"); },
  };
  for (const auto& plant : plants) {
    plant();
    ASSERT_TRUE(gf_streamDecrypt("input/dbase.enc", "input/dbase.xml"));
    EXPECT_FALSE(fs::is_symlink("input/dbase.xml"));
    EXPECT_EQ(readFile("input/dbase.xml"), "<dbase/>");
    EXPECT_EQ(fs::status("input/dbase.xml").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    fs::remove("input/dbase.xml");
  }
  EXPECT_EQ(readFile("victim.txt"), "precious");
  EXPECT_FALSE(fs::exists("nowhere.txt"));
}

// The exclusive create itself: nothing that stands at the path is opened, even when it
// appears between the removal above and the create.
TEST(NewFile, NothingAtThePathIsOpenedOrFollowed) {
  namespace fs = std::filesystem;
  wdrx::testing::TempDir dir;
  writeFile("victim.txt", "precious");
  const std::function<void()> plants[] = {
      [] { writeFile("plain.xml", "stale"); },
#ifndef _WIN32  // Wine makes no symbolic links
      [] { fs::create_symlink(fs::absolute("victim.txt"), "plain.xml"); },
      [] { fs::create_symlink(fs::absolute("nowhere.txt"), "plain.xml"); },
#endif
      [] { fs::create_directory("plain.xml"); },
  };
  for (const auto& plant : plants) {
    plant();
    platform::NewFile file("plain.xml");
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.error().empty());
    EXPECT_FALSE(file.write("x", 1));
    fs::remove("plain.xml");
  }
  EXPECT_EQ(readFile("victim.txt"), "precious");
  EXPECT_FALSE(fs::exists("nowhere.txt"));
  platform::NewFile file("plain.xml");
  ASSERT_TRUE(file.isOpen());
  EXPECT_TRUE(file.write("new", 3));
  EXPECT_TRUE(file.close());
  EXPECT_EQ(readFile("plain.xml"), "new");
}

TEST(Encryptor, FileToolWritesWhatTheProgramReads) {
  wdrx::testing::TempDir dir;
  const std::string plain = plainText(5000);
  writeFile("plain.xml", plain);
  encrypt::encryptFile("plain.xml", "input/AIG-regcodes.enc");
  ASSERT_TRUE(gf_streamDecrypt("input/AIG-regcodes.enc", "input/AIG-regcodes.xml"));
  EXPECT_EQ(readFile("input/AIG-regcodes.xml"), plain);
  EXPECT_THROW(encrypt::encryptFile("absent.xml", "out.enc"), std::runtime_error);
}

}  // namespace
