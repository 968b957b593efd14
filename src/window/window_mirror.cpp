// The main window told where nobody looks at it: status-line changes and a state line for the
// terminal, and the picture file of WDRX_WINDOW_PNG refreshed while the program runs.
#include "window/window_mirror.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "platform/file_replace.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/status_line.hpp"
#include "traffic/link_state.hpp"
#include "window/window_paint.hpp"

namespace gui = platform::gui;
using namespace std::chrono_literals;

namespace {

const char* lf_lampName(bool shown, bool lit) {
  if (!shown) return "off";
  return lit ? "green" : "yellow";
}

}  // namespace

void lf_connectMirror(gui::WindowHandle window) {
  // What the terminal was told of the status line belongs to this window: a new one starts
  // with nothing told (the echo runs under statusMutex). A status that goes is told too, so
  // that the last one told is never taken for current; it goes before an error that replaces it.
  gf_setStatusEcho([toldStatus = std::string(), toldError = std::string()](
                       const std::string& status, const std::string& error) mutable {
    if (status != toldStatus) {
      gui::terminalLine("status: " + (status.empty() ? std::string("(none)") : status));
      toldStatus = status;
    }
    if (error != toldError) {
      gui::terminalLine(error.empty() ? std::string("error line cleared") : "error: " + error);
      toldError = error;
    }
  });
  const char* file = std::getenv("WDRX_WINDOW_PNG");
  if (file != nullptr && *file != '\0') gui::setTimer(window, pictureTimerId, 2s);
  gui::setTimer(window, stateTimerId, 5s);
}

bool lf_onMirrorTimer(std::uintptr_t id) {
  if (id == pictureTimerId) {
    gf_saveWindowPicture();
  } else if (id == stateTimerId) {
    gui::terminalLine(lf_stateLine(lf_takeWindowSnapshot()));
  } else {
    return false;
  }
  return true;
}

std::string lf_stateLine(const WindowSnapshot& v) {
  const SimLamp lamp = lf_simLamp(v);
  std::string simulator = lamp == SimLamp::red ? "red" : lamp == SimLamp::green ? "green" : "yellow";
  if (v.simConnected && !v.simulatorText.empty()) simulator += " (" + v.simulatorText + ")";
  const bool trafficShown = v.realTrafficLinked && v.trafficLamp != lampHidden;
  return wdrx::format("state: Sim {}, Traffic {}, QNH {}, live {}, liveries {}", simulator,
                      lf_lampName(trafficShown, v.trafficLamp == lampReceiving),
                      lf_qnhShown(v) ? std::to_string(v.qnhValue) : std::string("-"), v.liveCount,
                      v.liveryCount);
}

void gf_saveWindowPicture() {
  const char* file = std::getenv("WDRX_WINDOW_PNG");
  auto window = static_cast<gui::WindowHandle>(mainWindow.windowHandle.load());
  if (file == nullptr || *file == '\0' || window == nullptr) return;
  const std::filesystem::path target(file);
  std::filesystem::path part = target;
  part += ".part";
  static bool failed = false;  // GUI thread only; a failure is logged once until it passes
  if (gui::inspect::savePng(window, part, true) && !platform::moveFileOver(part, target)) {
    failed = false;
    return;
  }
  if (!failed) gf_log(wdrx::format("The picture of the window could not be saved to {}", file));
  failed = true;
  std::error_code ignored;
  std::filesystem::remove(part, ignored);
}
