#include "foundation/paths.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_dir.hpp"

using wdrx::testing::TempDir;

namespace {

TEST(Paths, DataFolderFromTheEnvironment) {
  TempDir dir;
  EXPECT_EQ(dataFolder, dir / "data");
  EXPECT_EQ(parametersFile, dir / "data" / "parameters.xml");

  ::unsetenv("WDRX_DATA_DIR");
  gf_initDataFolder();
  EXPECT_EQ(dataFolder, dir / "home" / ".config" / "Wendrix_P3D");
  EXPECT_EQ(parametersFile, dataFolder / "parameters.xml");

  ::unsetenv("XDG_CONFIG_HOME");
  gf_initDataFolder();
  EXPECT_EQ(dataFolder, dir / "home" / ".config" / "Wendrix_P3D");

  ::setenv("WDRX_DATA_DIR", "", 1);  // empty counts as not set
  ::setenv("XDG_CONFIG_HOME", (dir / "xdg").c_str(), 1);
  gf_initDataFolder();
  EXPECT_EQ(dataFolder, dir / "xdg" / "Wendrix_P3D");
}

}  // namespace
