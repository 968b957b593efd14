// The built program as a process, with the fake simulator sending frames and faketraffic
// replaying three aircraft near Schiphol: it starts, connects to both, creates the aircraft as
// AI objects, moves them, removes them when their reports stop, and closes cleanly on a close
// request. And scripts/run.sh, which runs it so on a generated hour of traffic.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "child_process.hpp"
#include "support/simulator_record.hpp"
#include "support/temp_dir.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using wdrx::testing::SimulatorRecord;

std::string firstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string text(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(EndToEnd, TheProgramFliesReportedAircraftAndClosesCleanly) {
  wdrx::testing::TempDir dir;
  const fs::path program = dir.path() / "program";
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  setenv("WDRX_ENCRYPT", WDRX_ENCRYPT_PROGRAM, 1);

  e2e::ChildProcess simulator(WDRX_FAKESIM_PROGRAM,
                              {"--port", "0", "--position", "52.3083,4.7639,-11,0", "--on-ground"},
                              dir.path(), {}, dir.path() / "fakesim.txt");
  ASSERT_TRUE(simulator.started());
  ASSERT_TRUE(e2e::waitFor([&] { return !firstLine(dir.path() / "fakesim.txt").empty(); }, 30s));
  const std::string simulatorPort = firstLine(dir.path() / "fakesim.txt");

  const std::string psxPort = std::to_string(e2e::freePort(false));
  const std::string trafficPort = std::to_string(e2e::freePort(true));
  const std::string qnhPort = std::to_string(e2e::freePort(true));
  const std::string setup = std::string(WDRX_DEMO_SETUP) + " '" + program.string() + "' " +
                            simulatorPort + " " + psxPort;
  ASSERT_EQ(std::system(setup.c_str()), 0);

  const std::map<std::string, std::string> programEnvironment{
      {"WDRX_TRAFFIC_PORT", trafficPort},
      {"WDRX_QNH_PORT", qnhPort},
      {"WDRX_DOWNLOAD_BASE", "http://127.0.0.1:1/downloads/"},  // nothing answers: no update
  };
  e2e::ChildProcess wendrix(WDRX_PROGRAM, {}, program, programEnvironment, dir.path() / "program.txt");
  ASSERT_TRUE(wendrix.started());
  e2e::ChildProcess traffic(WDRX_FAKETRAFFIC_PROGRAM,
                            {"--traffic-port", trafficPort, "--qnh-port", qnhPort, "--psx-port",
                             psxPort, "--scenario", WDRX_SCENARIO},
                            dir.path(), {}, dir.path() / "faketraffic.txt");
  ASSERT_TRUE(traffic.started());

  // A second copy ends at once, leaving the first untouched (once the first holds the lock: it
  // writes its log after taking it).
  ASSERT_TRUE(e2e::waitFor([&] { return fs::exists(program / "Log.txt"); }, 60s));
  {
    e2e::ChildProcess second(WDRX_PROGRAM, {}, program, programEnvironment, dir.path() / "second.txt");
    EXPECT_EQ(second.wait(60s), 255);  // -1
  }

  SimulatorRecord record;
  const bool flown = e2e::waitFor(
      [&] {
        record = SimulatorRecord::read(dir.path() / "fakesim.txt");
        return record.complete(3);
      },
      180s);
  EXPECT_TRUE(flown) << "created " << record.creations << ", moved " << record.positions.size()
                     << ", removed " << record.removed.size() << "\n"
                     << text(program / "Log.txt");
  EXPECT_EQ(record.creations, 3);
  EXPECT_EQ(record.positions.size(), 3u);

  wendrix.signal(SIGTERM);  // a close request, as the window's close button
  EXPECT_EQ(wendrix.wait(60s), 0) << text(dir.path() / "program.txt");
  EXPECT_EQ(traffic.wait(60s), 0);  // RealTraffic was told "exit"
  simulator.signal(SIGTERM);
  EXPECT_EQ(simulator.wait(30s), 0);

  const std::string log = text(program / "Log.txt");
  for (const char* line : {"Wendrix_P3D version 12.5.4", "3 airports read", "RealTraffic detected at this PC",
                           "3 liveries in output/LiveriesScanned.xml", "Lockheed Martin Prepar3D v5",
                           "RealTraffic connected", "Traffic Reader connected", "Exiting: USER CLOSED SIM",
                           "SimConnect closed ok", "Traffic Reader has stopped", "QNH Reader has stopped"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
  EXPECT_EQ(log.find("\nError "), std::string::npos) << log;
  EXPECT_NE(text(dir.path() / "faketraffic.txt").find("exit"), std::string::npos);
}

// The README's first command without a simulator here: the demo beside the fake simulator and
// an hour of generated traffic, told on the terminal, closed by Ctrl+C (the script's SIGINT).
TEST(EndToEnd, RunShRunsTheDemoAndTellsTheTerminalUntilCtrlC) {
  wdrx::testing::TempDir dir;
  const fs::path terminal = dir.path() / "terminal.txt";
  const fs::path simulatorRecord = dir.path() / "run" / "demo" / "fakesim.txt";
  e2e::ChildProcess run(WDRX_RUN_SCRIPT, {}, dir.path(),
                        {{"WDRX_PROGRAM_FOLDER", (dir.path() / "run").string()},
                         {"WDRX_BINARY_FOLDER", WDRX_BUILD_FOLDER},
                         {"WDRX_RUN_SECONDS", "900"},  // a limit should the close below go astray
                         {"XDG_RUNTIME_DIR", dir.path().string()}},
                        terminal);
  ASSERT_TRUE(run.started());

  const std::regex told(R"((^|\n)\d\d:\d\d:\d\d status: RealTraffic detected at this PC\n[\s\S]*)"
                        R"(\n\d\d:\d\d:\d\d state: Sim green \(Lockheed Martin Prepar3D v5)");
  EXPECT_TRUE(e2e::waitFor([&] { return std::regex_search(text(terminal), told); }, 180s)) << text(terminal);
  SimulatorRecord record;
  EXPECT_TRUE(e2e::waitFor(
      [&] {
        record = SimulatorRecord::read(simulatorRecord);
        return record.creations >= 2;
      },
      240s))
      << text(terminal) << text(dir.path() / "run" / "demo" / "program" / "Log.txt");
  EXPECT_TRUE(fs::exists(dir.path() / "run" / "demo" / "main_window.png"));

  run.signal(SIGINT);
  EXPECT_EQ(run.wait(120s), 0) << text(terminal);
  const std::string shown = text(terminal);
  EXPECT_NE(shown.find("status: Close window button clicked, closing Wendrix_P3D ..."), std::string::npos) << shown;
  EXPECT_NE(shown.find("Wendrix_P3D has ended (exit code 0)"), std::string::npos) << shown;
  EXPECT_NE(text(dir.path() / "run" / "demo" / "faketraffic.txt").find("exit"), std::string::npos);
}

}  // namespace
