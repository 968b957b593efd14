#pragma once
// A run: the body of the run thread. It checks the working folder, loads the data (once per
// process) and the settings, prepares the folders and the scans, starts the services
// (SimClient thread, PSX-protocol server, the two readers), runs the main loop and closes down.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <vector>

// The reference and airport databases have been read (once per process, not once per run).
extern std::atomic<bool> dataRead;
// The once-only reservations of the engine's tables are done.
extern std::atomic<bool> engineBuffersReserved;
// "--production": run only the data step, then quit.
extern std::atomic<bool> productionMode;

// The ports of the two UDP readers (49005, 49004); the environment variables
// WDRX_TRAFFIC_PORT and WDRX_QNH_PORT name others (tests run several programs side by side).
std::uint16_t gf_trafficReaderPort();
std::uint16_t gf_qnhReaderPort();

// The folders the program creates at each run start, in order.
const std::vector<std::filesystem::path>& gf_programFolders();

void lf_startUpWDRX();
bool lf_prepareRun();  // the data step; false ends the run quietly
void lf_createProgramFolders();
void lf_checkStockAirportsPath();
void lf_endProductionRun();
bool lf_startServices();  // false ends the run
bool lf_requestUserOnGround();  // false when the run is stopping
// The start-up gives up: the run ends (USER CLOSED SIM unless a reason is set) and closes down.
void lf_abandonStartUp();

namespace wdrx::testing {
// dataRead, engineBuffersReserved and productionMode as at process start.
void resetRunStartUp();
}  // namespace wdrx::testing
