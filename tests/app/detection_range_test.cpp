// Detection of the installed simulator from the registry stand-in, the version named by the
// install path, and the automatic range.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/auto_range.hpp"
#include "app/p3d_detection.hpp"
#include "config/config_fixture.hpp"
#include "config/settings.hpp"
#include "foundation/paths.hpp"
#include "foundation/user_error.hpp"
#include "runstate/status_line.hpp"
#include "shell_fixture.hpp"
#include "simlink/user_aircraft.hpp"

namespace shell_test {
namespace {

void writeRegistry(const std::string& text) { wdrx::testing::writeFile(dataFolder / "registry.ini", text); }

std::string p3dKey(int version, const std::string& setupPath) {
  std::string text = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v" +
                     std::to_string(version) + "]\n";
  if (!setupPath.empty()) text += "SetupPath=" + setupPath + "\n";
  return text;
}

int errorCode(const std::function<void()>& work) {
  try {
    work();
  } catch (const tql::UserErrorException& e) {
    return std::stoi(e.what());
  }
  return 0;
}

using Detection = ShellTest;

TEST_F(Detection, OneInstalledVersionGivesItsPathAndIsSaved) {
  writeParametersFile({{"PROGRAM_VERSION", "12.5.4"}});
  writeRegistry(p3dKey(5, "D:\\Prepar3D v5\\"));
  gf_detectInstalledSimulators();
  EXPECT_TRUE(p3dV5Installed.load());
  EXPECT_FALSE(p3dV6Installed.load());
  lf_detectP3D();
  EXPECT_EQ(SIM_INSTALL_PATH.value.load(), "D:\\Prepar3D v5\\");
  EXPECT_EQ(ALL_INSTALL_PATH.value.load(), "D:\\Prepar3D v5\\");
  EXPECT_EQ(fileValue("SIM_INSTALL_PATH"), "D:\\Prepar3D v5\\");
  EXPECT_NE(logText().find("P3Dv5 detected"), std::string::npos);
}

TEST_F(Detection, BothVersionsOrNonePathAreTheUsersToType) {
  writeParametersFile({{"PROGRAM_VERSION", "12.5.4"}});
  writeRegistry(p3dKey(5, "D:\\P3D5") + p3dKey(6, "D:\\P3D6"));
  gf_detectInstalledSimulators();
  EXPECT_EQ(errorCode(lf_detectP3D), 153);
  EXPECT_EQ(fileValue("SIM_INSTALL_PATH"), "<absent>");

  writeRegistry(p3dKey(6, ""));  // installed, but no SetupPath
  gf_detectInstalledSimulators();
  ALL_INSTALL_PATH.value.store("old");
  EXPECT_EQ(errorCode(lf_detectP3D), 151);
  EXPECT_EQ(ALL_INSTALL_PATH.value.load(), "");

  writeRegistry("");
  gf_detectInstalledSimulators();
  EXPECT_EQ(errorCode(lf_detectP3D), 151);
  EXPECT_EQ(gf_statusSnapshot().statusText, "P3D not detected?");
}

TEST_F(Detection, WithoutAScreenThePathComesFromTheEnvironment) {
  writeParametersFile({{"PROGRAM_VERSION", "12.5.4"}});
  writeRegistry("");
  gf_detectInstalledSimulators();
  try {
    lf_detectP3D();
    ADD_FAILURE() << "no error";
  } catch (const tql::UserErrorException& e) {
    EXPECT_EQ(std::string(e.what()),
              "151: No P3D install path detected. Type the full Install Path above, then press Enter "
              "(no screen here: start the program with WDRX_INSTALL_PATH=<install path>)");
  }
  std::filesystem::create_directories("Prepar3D v5");
  const std::string path = (std::filesystem::current_path() / "Prepar3D v5").string();
  for (const std::string& given : {path + "-missing", path}) {
    setenv("WDRX_INSTALL_PATH", given.c_str(), 1);
    lf_installPathFromEnvironment();
  }
  unsetenv("WDRX_INSTALL_PATH");
  EXPECT_NE(logText().find("This install path does not exist: " + path + "-missing"), std::string::npos);
  EXPECT_EQ(SIM_INSTALL_PATH.value.load(), path);
  EXPECT_EQ(fileValue("SIM_INSTALL_PATH"), path);
}

TEST_F(Detection, OwnFoldersLetTheProgramGoOnWithoutASimulator) {
  for (StringParameter* folder : {&lfolder9, &afolder0}) {
    SCOPED_TRACE(folder->name);
    lfolder9.value.store("");
    afolder0.value.store("");
    folder->value.store("C:\\Liveries");
    EXPECT_EQ(errorCode(lf_detectP3D), 0);
    EXPECT_EQ(SIM_INSTALL_PATH.value.load(), "");
  }
  EXPECT_NE(logText().find("P3D not detected?"), std::string::npos);
}

TEST_F(Detection, TheVersionNamedByThePath) {
  const std::vector<std::pair<std::string, std::string>> rows{
      {"C:\\Prepar3D v5", "5"},       {"C:\\PREPAR3D V6", "6"},
      {"C:\\P3D v6 and v5", "5"},     {"C:\\Sim", "5"},
      {"", "5"},
  };
  for (const auto& [path, version] : rows) {
    SIM_INSTALL_PATH.value.store(path);
    EXPECT_EQ(gf_checkP3dInstallPath(), version) << path;
  }
  P3D_VERSION.value.store(6);
  SIM_INSTALL_PATH.value.store("C:\\Sim");
  EXPECT_EQ(gf_checkP3dInstallPath(), "6");
  P3D_VERSION.value.store(4);
  EXPECT_EQ(errorCode([] { gf_checkP3dInstallPath(); }), 77);
}

using AutoRange = ShellTest;

TEST_F(AutoRange, TheRangeFollowsHeightAndDistance) {
  struct Row {
    bool onGround;
    double altitude;
    std::optional<double> distance;
    std::int32_t range;
  };
  const std::vector<Row> rows{
      {true, 0.0, 300.0, 10},      {true, 50'000.0, std::nullopt, 10},
      {false, 48'001.0, 5.0, 100}, {false, 48'000.0, 5.0, 40},
      {false, 18'001.0, 5.0, 40},  {false, 18'000.0, 5.0, 10},
      {false, 3'000.0, 7.0, 10},   {false, 3'000.0, 7.01, 8},
      {false, 3'000.0, 8.4, 8},    {false, 3'000.0, 8.5, 10},
      {false, 3'000.0, 20.4, 20},  {false, 3'000.0, 18.5, 20},
      {false, 3'000.0, 18.49, 18}, {false, 3'000.0, 16.5, 18},
      {false, 3'000.0, 14.5, 16},  {false, 3'000.0, 12.5, 14},
      {false, 3'000.0, 10.5, 12},  {false, 3'000.0, 22.5, 25},
      {false, 3'000.0, 27.5, 30},  {false, 3'000.0, 32.5, 35},
      {false, 3'000.0, 36.6, 35},  {false, 3'000.0, 37.0, 40},
      {false, 3'000.0, std::nullopt, 40},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(gf_autoRangeFor(row.onGround, row.altitude, row.distance), row.range)
        << row.onGround << " " << row.altitude << " " << row.distance.value_or(-1);
  }
}

TEST_F(AutoRange, MeasuresToTheNearestParkAirport) {
  userPosition.latitude = 52.0;
  userPosition.longitude = 4.0;
  userPosition.altitude = 2'000.0;
  runServices.firstParkAirport = [] { return std::optional<LatLon>(LatLon{52.0 + 20.4 / 60.0, 4.0}); };
  lf_autoRange();
  EXPECT_EQ(RANGE.value.load(), 20);
  EXPECT_EQ(rangeNm.load(), 20.0);
  EXPECT_EQ(rangeMeters.load(), 20u * 1852u);
  runServices.firstParkAirport = [] { return std::optional<LatLon>(); };
  lf_autoRange();
  EXPECT_EQ(RANGE.value.load(), 40);
  userOnGround.onGround.store(true);
  lf_autoRange();
  EXPECT_EQ(RANGE.value.load(), 10);
}

}  // namespace
}  // namespace shell_test
