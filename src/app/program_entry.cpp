// The process entry and the application around the main window.
#include "app/program_entry.hpp"

#include <pugixml.hpp>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <thread>

#include "app/p3d_detection.hpp"
#include "app/run_startup.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "platform/program_instance.hpp"
#include "platform/resources.hpp"
#include "platform/shell.hpp"
#include "platform/window_system.hpp"
#include "program_info.h"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "window/main_window.hpp"
#include "window/window_mirror.hpp"

namespace fs = std::filesystem;
namespace gui = platform::gui;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t maxTitleUnits = 100;

bool lf_equalsIgnoringCase(const std::u16string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char16_t c = a[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    char d = b[i];
    if (d >= 'A' && d <= 'Z') d = static_cast<char>(d - 'A' + 'a');
    if (c != static_cast<char16_t>(static_cast<unsigned char>(d))) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// The window object is built by the static initialisers; it says so last.
bool lf_waitForWindowObject() {
  const auto start = std::chrono::steady_clock::now();
  while (!mainWindow.windowObjectReady.load()) {
    if (std::chrono::steady_clock::now() - start > 999'999'999ns) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

void lf_loadWindowPosition() {
  std::error_code error;
  // A folder (or another non-file) in its place is never parsed; the settings store reports it.
  if (!fs::is_regular_file(fs::status(parametersFile, error))) return;
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(parametersFile.c_str());
  if (!parsed) {
    // The settings store moves a damaged file aside (keeping it) when it reads the settings.
    gf_logMarked(wdrx::format("{} failed to load ({}).", gf_pathToUtf8(parametersFile), parsed.description()));
    return;
  }
  for (IntParameter* position : {&MAIN_WINDOW_X, &MAIN_WINDOW_Y}) {
    const auto value = gf_findXmlIntParameter(document, position->name);
    position->value.store(value ? position->bounded(*value) : position->defaultValue);
  }
  lf_fitWindowOnMonitor(MAIN_WINDOW_X.defaultValue, MAIN_WINDOW_Y.defaultValue);
}

}  // namespace

std::optional<bool> lf_productionSwitch(const std::vector<std::u16string>& arguments) {
  std::optional<bool> production;
  for (const std::u16string& argument : arguments) {
    if (lf_equalsIgnoringCase(argument, "--production") ||
        lf_equalsIgnoringCase(argument, "/production")) {
      production = true;
    } else if (lf_equalsIgnoringCase(argument, "--no-production") ||
               lf_equalsIgnoringCase(argument, "/no-production")) {
      production = false;
    }
  }
  return production;
}

bool initInstance() {
  if (!lf_waitForWindowObject()) return false;
  lf_loadWindowPosition();
  return gf_createMainWindow();
}

std::int32_t lf_runApplication(const std::vector<std::u16string>& arguments) {
  const std::optional<bool> production = lf_productionSwitch(arguments);
  const std::optional<std::u16string> title =
      platform::loadResourceString(WDRX_TITLE_STRING_ID, maxTitleUnits);
  if (!title) {
    gf_log("Failed to load application title");
    return 0;
  }
  if (!gf_registerMainWindowClass(*title)) {
    gf_log("Failed to register window class");
    return 0;
  }
  try {
    if (fs::status(dataFolder).type() == fs::file_type::not_found) fs::create_directories(dataFolder);
  } catch (const fs::filesystem_error& e) {
    gf_log(wdrx::format("Failed to create directory: {}", e.what()));
    return 0;
  }
  gf_detectInstalledSimulators();
  windowServices.startUpRun = lf_startUpWDRX;
  if (!initInstance()) {
    gf_logMarked("initInstance failed");
    return 0;
  }
  productionMode.store(production.value_or(false));
  if (auto window = static_cast<gui::WindowHandle>(mainWindow.windowHandle.load()))
    gui::postMessage(window, WM_APP_START_RUN, 0, 0);
  const std::int32_t code = gf_runMessageLoop();
  // The last run posted WM_APP_QUIT as its last step: it ends at once.
  if (runThread.joinable()) runThread.join();
  gf_saveWindowPicture();  // the last picture too, where WDRX_WINDOW_PNG asks for it
  return code;
}

std::int32_t gf_programEntry(const std::vector<std::u16string>& arguments) {
  // A close asked from outside (a signal, the console) is a click on the close button; watched
  // from the first moment, so that no signal ends the process before the watch is there.
  platform::CloseRequestWatch closeWatch;
  closeWatch.start([] {
    if (auto window = static_cast<gui::WindowHandle>(mainWindow.windowHandle.load())) {
      gui::postMessage(window, gui::msg::close, 0, 0);
    } else {
      gf_requestClose();
    }
  });
  if (platform::createSingleInstanceMutex(singleInstanceMutexName) ==
      platform::InstanceLock::alreadyExists) {
    // No window and no log (they belong to the running copy); a terminal still shows why.
    std::cerr << "WDRX: Wendrix_P3D is already running; this copy ends." << std::endl;
    return secondInstanceExitCode;
  }
  try {
    gf_openLog();
  } catch (const std::exception& e) {
    platform::warningMessageBox(
        wdrx::format("Wendrix_P3D cannot start: {}. It must run from its own folder, where it "
                     "may write its files.",
                     e.what()),
        "WDRX");
    return logFailedExitCode;
  }
  return lf_runApplication(arguments);
}
