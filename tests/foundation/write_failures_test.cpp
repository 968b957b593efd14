// Writes that fail (a full disk, a read-only file, a folder in the way) report it and lose
// nothing that was there before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/files.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "support/fake_clock.hpp"
#include "support/file_size_limit.hpp"
#include "support/foundation_hooks.hpp"
#include "support/log_capture.hpp"

using ::testing::HasSubstr;
using wdrx::testing::readFile;
using wdrx::testing::writeFile;
namespace fs = std::filesystem;

namespace {

class WriteFailures : public ::testing::Test {
 protected:
  // Temporaries left behind in the working folder.
  std::vector<std::string> leftovers() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      if (entry.path().extension() == ".part") names.push_back(entry.path().filename().string());
    return names;
  }
  wdrx::testing::FoundationHooksDouble hooks;
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
};

TEST_F(WriteFailures, AFullDiskKeepsThePreviousTextFile) {
  WDRX_SKIP_WITHOUT_FILE_SIZE_LIMIT();
  writeFile("list.txt", "old\n");
  const std::vector<std::string> lines(200, std::string(50, 'x'));
  {
    wdrx::testing::FileSizeLimit fullDisk(1000);
    EXPECT_FALSE(gf_writeLinesToFile(lines, "list.txt"));
    EXPECT_FALSE(gf_writeStringToFile(std::string(5000, 'y'), "list.txt"));
  }
  EXPECT_EQ(readFile("list.txt"), "old\n");
  EXPECT_TRUE(leftovers().empty());
  EXPECT_THAT(log.text(), HasSubstr("==> gf_writeLinesToFile: 'list.txt' not written: could not write list.txt."));

  EXPECT_TRUE(gf_writeLinesToFile({"a", "b"}, "list.txt"));  // with room again
  EXPECT_EQ(readFile("list.txt"), "a\nb\n");
}

TEST_F(WriteFailures, ReadOnlyFilesAndFoldersAreNotReplaced) {
  writeFile("kept.txt", "mine\n");
  fs::permissions("kept.txt", fs::perms::owner_read);
  EXPECT_FALSE(gf_writeStringToFile("other", "kept.txt"));
  EXPECT_EQ(readFile("kept.txt"), "mine\n");
  EXPECT_EQ(fs::status("kept.txt").permissions() & fs::perms::owner_write, fs::perms::none);

  fs::create_directory("folder.txt");
  EXPECT_FALSE(gf_writeStringToFile("text", "folder.txt"));
  EXPECT_TRUE(fs::is_directory("folder.txt"));
  EXPECT_FALSE(gf_writeStringToFile("text", "missing/new.txt"));
  EXPECT_TRUE(leftovers().empty());
  const std::string text = log.text();
  EXPECT_THAT(text, HasSubstr("'kept.txt' not written: the file is read-only\n"));
  EXPECT_THAT(text, HasSubstr("'folder.txt' not written: not a file\n"));
}

TEST_F(WriteFailures, ALinkedFileIsReplacedThroughItsLinkWithItsMode) {
  writeFile("real.txt", "old\n");
  fs::permissions("real.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real.txt", "link.txt");
  EXPECT_TRUE(gf_writeStringToFile("new", "link.txt"));
  EXPECT_TRUE(fs::is_symlink("link.txt"));
  EXPECT_EQ(readFile("real.txt"), "new\n");
  EXPECT_EQ(fs::status("real.txt").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(WriteFailures, TheLogRecoversAfterAFailedWrite) {
  WDRX_SKIP_WITHOUT_FILE_SIZE_LIMIT();
  gf_logFlush("before");
  {
    wdrx::testing::FileSizeLimit fullDisk(static_cast<rlim_t>(fs::file_size("Log.txt")) + 10);
    gf_logFlush(std::string(4000, 'x'));  // fails: the stream is left failed
    gf_logFlush("lost");
  }
  gf_logFlush("after");
  gf_logMarked("marked");
  const std::string text = log.text();
  EXPECT_THAT(text, ::testing::StartsWith("before\n"));
  EXPECT_THAT(text, ::testing::EndsWith("after\n==> marked\n"));
}

TEST_F(WriteFailures, MovingAsideKeepsTheContentUnderANewName) {
  wdrx::testing::FakeClock clock{1759647489};  // 2025-10-05 06:58:09 UTC
  writeFile("parameters.xml", "broken");
  std::string error;
  const auto first = gf_moveAside("parameters.xml", "unreadable", error);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->filename(), "parameters.unreadable-20251005-065809.xml");
  writeFile("parameters.xml", "broken again");
  const auto second = gf_moveAside("parameters.xml", "unreadable", error);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->filename(), "parameters.unreadable-20251005-065809-2.xml");
  EXPECT_EQ(readFile(*first), "broken");
  EXPECT_EQ(readFile(*second), "broken again");
  EXPECT_FALSE(fs::exists("parameters.xml"));
  EXPECT_FALSE(gf_moveAside("parameters.xml", "unreadable", error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
