#include "foundation/log.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "support/fake_clock.hpp"
#include "support/foundation_hooks.hpp"
#include "support/temp_dir.hpp"

using wdrx::testing::readFile;
using wdrx::testing::writeFile;

namespace {

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override { wdrx::testing::closeLog(); }
  wdrx::testing::FoundationHooksDouble hooks;
  wdrx::testing::TempDir dir;
  wdrx::testing::FakeClock clock{1759647489};  // Sun Oct 5 06:58:09 2025 UTC
  const std::string header =
      "Sun Okt 05 06:58:09 2025 (utc) Wendrix_P3D version 12.5.4 for Prepar3D v5/v6\n";
};

TEST_F(LogTest, HeaderLineAndThreeOlderGenerations) {
  gf_openLog();  // first start: no older generation
  wdrx::testing::closeLog();
  EXPECT_EQ(readFile("Log.txt"), header);
  EXPECT_FALSE(std::filesystem::exists("Log0.txt"));

  writeFile("Log.txt", "current\n");
  writeFile("Log0.txt", "older\n");
  writeFile("Log00.txt", "oldest\n");
  writeFile("Log000.txt", "lost\n");
  gf_openLog();
  wdrx::testing::closeLog();
  EXPECT_EQ(readFile("Log000.txt"), "oldest\n");
  EXPECT_EQ(readFile("Log00.txt"), "older\n");
  EXPECT_EQ(readFile("Log0.txt"), "current\n");
  EXPECT_EQ(readFile("Log.txt"), header);
}

TEST_F(LogTest, WritersBeforeOpenWriteNothing) {
  EXPECT_FALSE(gf_logIsOpen());
  gf_log("a");
  gf_logMarked("b");
  gf_logIndented("c");
  gf_logFlush("d");
  gf_logUnlessStopping("e");
  EXPECT_FALSE(std::filesystem::exists("Log.txt"));
}

TEST_F(LogTest, UnopenableLogThrowsCatchableErrorAndLeavesWritersHarmless) {
  std::filesystem::create_directory("Log.txt");  // a folder cannot be opened as a file
  try {
    gf_openLog();
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Failed to write file Log.txt");
  }
  EXPECT_FALSE(gf_logIsOpen());
  gf_log("after the failure");  // must not crash
}

TEST_F(LogTest, PrefixesAndFlushes) {
  gf_openLog();
  gf_logMarked("marked");  // flushed at once
  EXPECT_EQ(readFile("Log.txt"), header + "==> marked\n");
  gf_log("plain");
  gf_logIndented("indented");
  gf_logFlush("flushed");
  EXPECT_EQ(readFile("Log.txt"), header + "==> marked\nplain\n          indented\nflushed\n");
}

TEST_F(LogTest, UnlessStoppingIsSilentOnceAStopIsAsked) {
  gf_openLog();
  gf_logUnlessStopping("running");
  hooks.stop.store(true);
  gf_logUnlessStopping("stopping");
  wdrx::testing::closeLog();
  EXPECT_EQ(readFile("Log.txt"), header + "running\n");
}

TEST_F(LogTest, ManyWriterThreadsNeverTearOrInterleaveLines) {
  gf_openLog();
  constexpr int threads = 8;
  constexpr int linesPerThread = 2000;
  using Writer = void (*)(std::string_view);
  static constexpr Writer writersByLine[] = {gf_log, gf_logMarked, gf_logIndented, gf_logFlush};
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t) {
    writers.emplace_back([t] {
      const std::string line = std::to_string(t) + ":" + std::string(40 + t * 7, static_cast<char>('a' + t));
      for (int i = 0; i < linesPerThread; ++i) writersByLine[i % 4](line);
    });
  }
  for (auto& w : writers) w.join();
  wdrx::testing::closeLog();

  std::istringstream in(readFile("Log.txt"));
  std::string line;
  std::getline(in, line);  // header
  std::map<int, int> counts;
  const std::regex shape(R"((?:==> |          )?([0-7]):([a-h]+))");
  while (std::getline(in, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
    const int t = std::stoi(m[1].str());
    ASSERT_EQ(m[2].str(), std::string(40 + t * 7, static_cast<char>('a' + t))) << line;
    ++counts[t];
  }
  for (int t = 0; t < threads; ++t) EXPECT_EQ(counts[t], linesPerThread);
}

TEST(StarLine, Banners) {
  struct Case {
    int a, b;
    bool leading, trailing;
    std::string title, expected;
  };
  const Case cases[]{
      {70, 0, true, false, "parameters", "\n" + std::string(34, '*') + " parameters " + std::string(34, '*')},
      {70, 10, false, true, "", std::string(80, '*') + "\n"},
      {3, 0, false, false, "", "****"},
      {0, 0, true, true, "", "\n\n"},
      {-5, 0, false, false, "", ""},
      {64, 0, false, false, "live traffic livery matching summary",
       std::string(31, '*') + " live traffic livery matching summary " + std::string(31, '*')},
      {5, 0, false, false, "wide", "wide"},  // too narrow: the title alone
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gf_starLine(c.a, c.b, c.leading, c.trailing, c.title), c.expected)
        << c.a << "," << c.b << " '" << c.title << "'";
  }
}

}  // namespace
