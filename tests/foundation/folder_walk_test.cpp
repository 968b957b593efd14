// The depth-first folder walk: folders entered only on request, and a folder that cannot be
// listed costing only itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/folder_walk.hpp"
#include "support/temp_dir.hpp"

namespace fs = std::filesystem;
using wdrx::testing::TempDir;
using wdrx::testing::writeFile;

TEST(FolderWalk, EntersFoldersOnRequestAndGoesOnAfterErrors) {
  TempDir dir;
  writeFile("tree/a/deep/x.txt", "x");
  writeFile("tree/a/y.txt", "y");
  writeFile("tree/skip/z.txt", "z");
  writeFile("tree/top.txt", "t");
  std::vector<std::string> errors;
  std::vector<std::string> seen;
  FolderWalk walk("tree", fs::directory_options::none,
                  [&](const fs::path& folder, const std::error_code&) { errors.push_back(folder.generic_string()); });
  while (const auto entry = walk.next()) {
    seen.push_back(entry->path().generic_string());
    if (entry->is_directory() && entry->path().filename() != "skip") walk.descend(entry->path());
    if (entry->path().filename() == "top.txt") walk.descend(entry->path());  // no folder: an error
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"tree/a", "tree/a/deep", "tree/a/deep/x.txt", "tree/a/y.txt",
                                            "tree/skip", "tree/top.txt"}));
  EXPECT_EQ(errors, (std::vector<std::string>{"tree/top.txt"}));

  errors.clear();
  FolderWalk missing("nowhere", fs::directory_options::none,
                     [&](const fs::path& folder, const std::error_code&) { errors.push_back(folder.generic_string()); });
  EXPECT_FALSE(missing.next());
  EXPECT_EQ(errors, (std::vector<std::string>{"nowhere"}));
}
