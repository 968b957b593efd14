#include "foundation/paths.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_dir.hpp"
#include "support/env.hpp"

using wdrx::testing::TempDir;

namespace {

TEST(Paths, DataFolderFromTheEnvironment) {
  TempDir dir;
  EXPECT_EQ(dataFolder, dir / "data");
  EXPECT_EQ(parametersFile, dir / "data" / "parameters.xml");

  wdrx::testing::unsetEnv("WDRX_DATA_DIR");
  gf_initDataFolder();
  EXPECT_EQ(dataFolder, dir / "home" / ".config" / "Wendrix_P3D");
  EXPECT_EQ(parametersFile, dataFolder / "parameters.xml");

  wdrx::testing::unsetEnv("XDG_CONFIG_HOME");
  gf_initDataFolder();
  EXPECT_EQ(dataFolder, dir / "home" / ".config" / "Wendrix_P3D");

  wdrx::testing::setEnv("WDRX_DATA_DIR", "");  // empty counts as not set
  wdrx::testing::setEnvPath("XDG_CONFIG_HOME", dir / "xdg");
  gf_initDataFolder();
  EXPECT_EQ(dataFolder, dir / "xdg" / "Wendrix_P3D");
}

}  // namespace
