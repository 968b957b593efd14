// The run thread's body: start-up sequence, services, main loop and closing down.
#include "app/run_startup.hpp"

#include <fmt/format.h>

#include <cmath>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "airports/airport_db.hpp"
#include "app/auto_range.hpp"
#include "app/closing_down.hpp"
#include "app/main_loop.hpp"
#include "app/p3d_detection.hpp"
#include "app/run_services.hpp"
#include "app/version_check.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/clock.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "foundation/time_text.hpp"
#include "foundation/user_error.hpp"
#include "platform/process.hpp"
#include "platform/window_system.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/link_state.hpp"
#include "window/main_window.hpp"
#include "window/window_commands.hpp"
#include "window/window_controls.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::atomic<bool> dataRead{false};
std::atomic<bool> engineBuffersReserved{false};
std::atomic<bool> productionMode{false};

namespace {

constexpr const char* programName = "Wendrix_P3D";

std::uint16_t lf_portFromEnvironment(const char* name, std::uint16_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const unsigned long port = std::strtoul(text, &end, 10);
  if (*end != '\0' || port == 0 || port > 65535) return fallback;
  return static_cast<std::uint16_t>(port);
}

// A file-system status, raising the error under the given name except for "not found".
fs::file_status lf_status(const fs::path& path, const char* what) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error && error != std::errc::no_such_file_or_directory)
    throw fs::filesystem_error(what, path, error);
  return status;
}

void lf_showCount(std::atomic<std::int64_t>& count, std::int64_t value) {
  count.store(value);
  gf_invalidateBand(countersBand, true);
}

void lf_keepOnTop(bool onTop) {
  gf_onGuiThread([onTop] {
    if (auto window = static_cast<platform::gui::WindowHandle>(mainWindow.windowHandle.load()))
      platform::gui::setTopmost(window, onTop);
  });
}

// The destination stored from an earlier run becomes a park airport again.
void lf_restoreDestination() {
  const std::string text = DESTINATION.value.load();
  if (text.empty()) return;
  const IcaoCode code(text);  // an invalid code throws: the start-up shows it
  for (const Airport& airport : airportTable) {
    if (airport.icao == code) {
      lf_setDestination(text, airport.latitude, airport.longitude);
      return;
    }
  }
}

}  // namespace

std::uint16_t gf_trafficReaderPort() { return lf_portFromEnvironment("WDRX_TRAFFIC_PORT", 49005); }
std::uint16_t gf_qnhReaderPort() { return lf_portFromEnvironment("WDRX_QNH_PORT", 49004); }

const std::vector<fs::path>& gf_programFolders() {
  static const std::vector<fs::path> folders{
      "output",           "output/info",
      "output/errors",    "airports",
      "airports/learned", "airports/learned/stock",
      "airports/learned/simaddon", "airports/learned/thirdparty",
      "airports/my_ORBX", "airports/my_thirdparty",
      "input/my_regcodes"};
  return folders;
}

void lf_createProgramFolders() {
  for (const fs::path& folder : gf_programFolders()) {
    if (lf_status(folder, "status").type() == fs::file_type::directory) continue;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) throw fs::filesystem_error("create_directories", folder, error);
  }
  if (lf_status(paths::objectIdList, "exists").type() != fs::file_type::not_found) {
    std::error_code error;
    fs::remove(paths::objectIdList, error);
    if (error) throw fs::filesystem_error("remove", paths::objectIdList, error);
  }
}

void lf_checkStockAirportsPath() {
  stockAirportsPath.clear();
  const std::string installPath = SIM_INSTALL_PATH.value.load();
  // Without an install path nothing is stock scenery (the add-on scan then refuses nothing).
  if (installPath.empty()) return;
  const fs::path path = fs::path(std::u8string(installPath.begin(), installPath.end())) / "Scenery";
  stockAirportsPath = path;
  if (lf_status(path, "exists").type() == fs::file_type::not_found)
    gf_postStatus(wdrx::format("Stock airports path does not exist: {}", gf_pathToUtf8(path)), true);
}

void lf_endProductionRun() {
  if (!productionMode.load()) return;
  try {
    gf_log("production");
    gf_flushLog();
    exitCode.store(0);
    closeRequested.store(true);
    gf_call(runServices.closePsxServer);
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("exception {}", e.what()));
    exitCode.store(1);
    return;
  }
  gf_requestClose();
}

bool lf_prepareRun() {
  gf_initParameters();
  gf_invalidateBand(countersBand, true);
  gf_flushLog();
  lf_initControlValues();
  // The range read from parameters.xml drives the traffic from the start (its nautical miles and
  // metres are derived values the loading leaves alone) and is the hand-chosen one.
  gf_setChosenRange(RANGE.value.load());
  metaSimNumber.store(3);
  lf_createProgramFolders();
  if (!restartPending.load() && !lf_checkVersions()) return false;
  currentWeekSlot.store(gf_trafficWeekSlot());
  if (!dataRead.load()) {
    gf_call(runServices.reserveDefaultModelLists);
    const bool read = gf_call(runServices.readDbase);
    dataRead.store(true);
    if (!read) throw std::runtime_error("reading data files failed!");
  }
  if (!gf_call(runServices.readAirports))
    throw std::runtime_error(wdrx::format("reading '{}' failed!", gf_pathToUtf8(paths::airportsEnc)));

  lf_installPathFromEnvironment();
  ALL_INSTALL_PATH.value.store(SIM_INSTALL_PATH.value.load());
  gf_enableControl(ALL_INSTALL_PATH);
  gf_showStringParameter(ALL_INSTALL_PATH);
  if (ALL_INSTALL_PATH.value.load().empty()) lf_detectP3D();
  gf_invalidateBand(optionsBand, true);

  if (productionMode.load()) {
    lf_endProductionRun();
    return false;
  }
  const fs::path jar = gf_appDataPath() / paths::realTrafficFolderName / "RealTraffic.jar";
  const bool detected = lf_status(jar, "exists").type() != fs::file_type::not_found;
  realTrafficDetected.store(detected);
  gf_postStatus(wdrx::format("RealTraffic {}detected at this PC", detected ? "" : "not "), true);
  gf_flushLog();
  return true;
}

bool lf_requestUserOnGround() {
  while (!gf_call(runServices.flightRuns)) {
    if (!gf_waitUnlessStopping(100ms)) return false;
  }
  if (gf_runStopping()) return false;
  if (runServices.requestUserOnGround && !runServices.requestUserOnGround()) return false;
  while (!gf_call(runServices.userOnGroundKnown) || !gf_positionKnown(userPosition)) {
    gf_call(runServices.refreshUserPosition);
    if (!gf_waitUnlessStopping(500ms)) return false;
  }
  gf_call(runServices.requestUserTitleAndModel);
  while (!gf_positionKnown(userPosition)) {
    gf_call(runServices.refreshUserPosition);
    if (!gf_waitUnlessStopping(200ms)) return false;
  }
  return true;
}

bool lf_startServices() {
  realTrafficDisplay.realTrafficLinked.store(false);
  gf_invalidateBand(countersBand, true);
  mainWindow.simConnected.store(false);
  gf_invalidateBand(countersBand, true);
  if (!engineBuffersReserved.exchange(true)) gf_call(runServices.reserveEngineTables);
  gf_call(runServices.initSimQueues, static_cast<std::uint32_t>(P3D_VERSION.value.load()));
  gf_invalidateBand(countersBand, true);
  gf_call(runServices.startSimClient);
  if (!lf_requestUserOnGround()) return false;
  if (AUTO_RANGE.value.load()) lf_autoRange();

  const bool aerowinx = AEROWINX.value.load();
  if (realTrafficDetected.load() && !aerowinx) {
    gf_call(runServices.startPsxServer, PORT_NUMBER.value.load());
  } else {
    realTrafficDisplay.realTrafficLinked.store(true);
    gf_invalidateBand(countersBand, true);
  }
  if (gf_runStopping()) return false;
  mainWindow.linkBoxDark.store(false);
  gf_invalidateBand(countersBand, true);
  if (aerowinx) {
    rtProfessional.store(false);
  } else {
    gf_call(runServices.waitForRealTraffic);
    if (rtProfessional.load()) gf_call(runServices.sendSimTime, gf_call(runServices.simUtcSeconds));
  }
  if (gf_runStopping()) return false;
  gf_call(runServices.setAcceptTraffic, false);

  gf_call(runServices.startQnhReader);
  if (!gf_waitUnlessStopping(2s)) return false;
  gf_call(runServices.startTrafficReader, realTrafficDetected.load());

  gf_call(runServices.sendUserPosition);
  gf_call(runServices.setReaderUserPosition, LatLon{userPosition.latitude, userPosition.longitude});
  for (int i = 0; i < 150 && std::trunc(trafficSourceTime.load()) == 0.0; ++i) {
    if (!gf_waitUnlessStopping(100ms)) return false;
  }
  if (std::trunc(trafficSourceTime.load()) == 0.0) gf_log("No traffic in this region?");
  currentWeekSlot.store(gf_trafficWeekSlot());
  return true;
}

void lf_abandonStartUp() {
  // The run stops already (a stop flag, or a failed request of the simulator): the reason that
  // was asked stays, so that a restart asked meanwhile still restarts.
  gf_call(runServices.closePsxServer);
  gf_requestRunStop(ExitReason::UserClosedSim, 0);
  gf_flushLog();
  lf_closingDown();
}

void lf_startUpWDRX() {
  // Each path below ends with exactly one closing down.
  enum class End { closingDown, abandon } end = End::closingDown;
  try {
    if (lf_status(paths::manualFolder, "status").type() != fs::file_type::directory) {
      throw tql::UserErrorException(
          41, wdrx::format("{} must be run from the {} folder!", programName, programName));
    }
    if (lf_prepareRun()) {
      for (const fs::path& temporary : {paths::airportsXml, paths::regcodesXml, paths::dbaseXml})
        gf_removeFile(temporary);
      lf_checkStockAirportsPath();
      const int cores = platform::usableProcessorCount();
      workerCount.store(cores > 0 ? cores : 2);
      // A livery reset asked for while the last run ended is done before the liveries are read.
      gf_serveWindowRequests();
      bool scanned = true;
      if (gf_call(runServices.liveryScanDue)) scanned = gf_call(runServices.scanLiveries);
      // A scan cut short by a stop wrote nothing: there is nothing new to process.
      if (scanned && !gf_runStopping()) gf_call(runServices.processScannedLiveries);
      if (!gf_runStopping() && SCAN_AIRPORTS.value.load()) {
        lf_showCount(mainWindow.simaddonCount, 0);
        lf_showCount(mainWindow.thirdpCount, 0);
        gf_call(runServices.scanAddonAirports);
      }
      if (gf_runStopping()) {
        end = End::abandon;
      } else {
        lf_showCount(mainWindow.simaddonCount, gf_countFolderEntries("airports/my_ORBX"));
        lf_showCount(mainWindow.thirdpCount, gf_countFolderEntries("airports/my_thirdparty"));
        if (gf_runStopping()) end = End::abandon;
      }
      if (end == End::closingDown) {
        gf_call(runServices.createFlightPlanFolder);
        gf_call(runServices.readMyParkAirports);
        gf_enableControl(rereadButton);
        lf_restoreDestination();
        lf_keepOnTop(ALWAYS_ON_TOP.value.load());
        if (!lf_startServices()) {
          end = End::abandon;
        } else {
          lf_mainLoop();
        }
      }
    }
  } catch (const tql::UserErrorException& e) {
    gf_postError(e.what());
    gf_markSystemError();
  } catch (const fmt::format_error& e) {
    gf_postError(wdrx::format("std::format error: {}", e.what()));
    gf_postError(e.what());
    gf_requestRunStop(ExitReason::SystemError, 0);
  } catch (const std::exception& e) {
    gf_postError(e.what());
    gf_requestRunStop(ExitReason::SystemError, 0);
  } catch (...) {
    gf_postError("Unknown exception");
    gf_markSystemError();
  }
  if (end == End::abandon) {
    lf_abandonStartUp();
    return;
  }
  gf_flushLog();
  lf_closingDown();
}

namespace wdrx::testing {
void resetRunStartUp() {
  dataRead.store(false);
  engineBuffersReserved.store(false);
  productionMode.store(false);
}
}  // namespace wdrx::testing
