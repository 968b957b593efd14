// The main window's life: class, creation, message loop and end; the hand-over of control
// changes to the GUI thread; the requests the run thread takes from the window; the window's
// place on the screen.
#include "window/main_window.hpp"

#include <algorithm>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>

#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_tables.hpp"
#include "parking/addon_scan.hpp"
#include "parking/apf_state.hpp"
#include "parking/park_airports.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_tables.hpp"
#include "records/records.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/status_line.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_services.hpp"
#include "traffic/link_state.hpp"
#include "window/window_commands.hpp"
#include "window/window_controls.hpp"
#include "window/window_mirror.hpp"

namespace gui = platform::gui;

std::atomic<gui::WindowHandle> mainHwnd{nullptr};
std::atomic<std::int32_t> exitCode{0};
std::jthread runThread;
WindowServices windowServices = gf_builtInWindowServices();

std::atomic<bool> rereadRequested{false};
std::atomic<bool> flushStaticRequested{false};
std::atomic<bool> callsignListRequested{false};
std::atomic<bool> blockRequested{false};
std::atomic<bool> matchingDepthRaised{false};

std::atomic<bool> navLightsRequested{false};
std::atomic<bool> liveLimitRequested{false};
std::atomic<bool> rangeModeRequested{false};
std::atomic<bool> liveryResetRequested{false};

namespace {

// The application title the class was registered under; GUI thread only.
std::u16string windowClassName;

struct ParkAirportRequest {
  IcaoCode code;
  double latitude = 0.0;
  double longitude = 0.0;
};
std::mutex parkAirportRequestMutex;
std::deque<ParkAirportRequest> parkAirportRequests;
// Run thread: the requests being served, swapped with parkAirportRequests; kept, so that the
// main loop's 10 ms step allocates nothing.
std::deque<ParkAirportRequest> parkAirportsServed;

std::mutex guiWorkMutex;
std::deque<std::function<void()>> guiWork;

gui::WindowHandle lf_window() { return static_cast<gui::WindowHandle>(mainWindow.windowHandle.load()); }

// One request, exceptions logged with the request's name: the others still run.
template <typename Work>
void lf_serve(const char* name, Work&& work) {
  try {
    work();
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{} exception: {}", name, e.what()));
  }
}

}  // namespace

// ---------------------------------------------------------------- services

WindowServices gf_builtInWindowServices() {
  WindowServices services;
  auto countLive = [](bool parked) {
    std::uint64_t count = 0;
    for (const LiveAc& ac : liveAcTable)
      if (ac.simState == SimState::active && (!parked || ac.flightState != FlightState::parked))
        ++count;
    return count;
  };
  services.flyingCallsigns = [] {
    std::vector<std::string> callsigns;
    for (const LiveAc& ac : liveAcTable)
      if (ac.simState == SimState::active && ac.flightState != FlightState::parked)
        callsigns.push_back(ac.callsign);
    return callsigns;
  };
  services.countLiveFlying = [countLive] { return countLive(true); };
  services.countActiveLiveAc = [countLive] { return countLive(false); };
  services.countParkedLiveAc = [] {
    if (!engineServices.countParkedLiveAc) return std::uint64_t{0};
    return static_cast<std::uint64_t>(std::max(engineServices.countParkedLiveAc(true), 0));
  };
  services.countStaticAc = [] {
    return static_cast<std::uint64_t>(std::max(gf_countStaticAc(true), 0));
  };
  services.clearLiveryTables = [] { gf_clearLiveryTables(); };
  services.addParkAirport = [](const IcaoCode& code, double latitude, double longitude) {
    gf_addParkAirport(code, latitude, longitude);
  };
  services.queueParkedNavLights = [](bool on) {
    const auto value = static_cast<std::uint32_t>(on);
    for (const AcBase& ac : staticAcTable)
      if (ac.simState == SimState::active) gf_queueNavLights(ac.objectId, value);
    for (const LiveAc& ac : liveAcTable)
      if (ac.simState == SimState::active && ac.flightState == FlightState::parked)
        gf_queueNavLights(ac.objectId, value);
  };
  return services;
}

// ---------------------------------------------------------------- requests for the run thread

void gf_requestParkAirport(const IcaoCode& code, double latitude, double longitude) {
  std::lock_guard lock(parkAirportRequestMutex);
  parkAirportRequests.push_back({code, latitude, longitude});
}

void gf_serveWindowRequests() {
  if (navLightsRequested.exchange(false)) {
    lf_serve("queueParkedNavLights", [] {
      if (windowServices.queueParkedNavLights)
        windowServices.queueParkedNavLights(NAV_LIGHTS_WHILE_PARKED.value.load());
    });
  }
  if (liveLimitRequested.exchange(false)) {
    lf_serve("removeFarthestLiveAc", [] {
      if (!windowServices.countActiveLiveAc || !windowServices.removeFarthestLiveAc) return;
      const auto limit = static_cast<std::uint64_t>(std::max(MAX_LIVE_SEL.value.load(), 0));
      const std::uint64_t active = windowServices.countActiveLiveAc();
      for (std::uint64_t n = active; n > limit; --n) windowServices.removeFarthestLiveAc();
    });
  }
  if (rangeModeRequested.exchange(false)) lf_serve("lf_serveRangeMode", [] { lf_serveRangeMode(); });
  if (liveryResetRequested.exchange(false)) {
    lf_serve("clearLiveryTables", [] {
      if (windowServices.clearLiveryTables) windowServices.clearLiveryTables();
    });
  }
  {
    std::lock_guard lock(parkAirportRequestMutex);
    parkAirportsServed.swap(parkAirportRequests);
  }
  for (const ParkAirportRequest& airport : parkAirportsServed) {
    lf_serve("gf_addParkAirport", [&airport] {
      if (windowServices.addParkAirport)
        windowServices.addParkAirport(airport.code, airport.latitude, airport.longitude);
    });
  }
  parkAirportsServed.clear();
}

// ---------------------------------------------------------------- the GUI thread's work

void lf_runGuiWork() {
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(guiWorkMutex);
      if (guiWork.empty()) return;
      work = std::move(guiWork.front());
      guiWork.pop_front();
    }
    try {
      work();
    } catch (const std::exception& e) {
      gf_log(wdrx::format("{} exception: {}", "lf_runGuiWork", e.what()));
    }
  }
}

namespace {

// Windows ends a thread's windows with the thread without WM_DESTROY reaching the procedure:
// such a window is disconnected here as WM_DESTROY would have done (unless a newer one has come).
void lf_letWindowGo(gui::WindowHandle window) {
  if (lf_window() == window) lf_disconnectWindow();
}

}  // namespace

void gf_onGuiThread(std::function<void()> work) {
  gui::WindowHandle window = lf_window();
  if (window != nullptr && !gui::isWindow(window)) {
    lf_letWindowGo(window);
    window = nullptr;
  }
  if (window == nullptr || gui::windowThreadIsCurrent(window)) {
    lf_runGuiWork();  // what other threads handed over first comes first
    work();
    return;
  }
  bool first = false;
  {
    std::lock_guard lock(guiWorkMutex);
    first = guiWork.empty();
    guiWork.push_back(std::move(work));
  }
  // One message takes everything queued until it is handled.
  // A window gone since it was looked at takes what was queued for it along.
  if (first && !gui::postMessage(window, WM_APP_GUI_WORK, 0, 0)) lf_letWindowGo(window);
}

// ---------------------------------------------------------------- creation and the loop

bool gf_registerMainWindowClass(const std::u16string& title) {
  static const bool registered = [&] {
    windowClassName = title;
    return gui::registerWindowClass(windowClassName, lf_mainWndProc);
  }();
  return registered;
}

namespace {

gui::Rect lf_rect(const BandRect& band) { return {band.left, band.top, band.right, band.bottom}; }

// The window's handle and the notifiers through which the other threads repaint its bands; the
// settings code reaches its controls.
void lf_connectNotifiers(gui::WindowHandle window) {
  {
    std::lock_guard lock(guiWorkMutex);
    guiWork.clear();  // left for an earlier window that went without WM_DESTROY
  }
  mainWindow.windowHandle.store(window);
  mainHwnd.store(window);
  gf_setBandNotifier([window](const BandRect& band, bool erase) {
    const gui::Rect rect = lf_rect(band);
    gui::invalidateRect(window, &rect, erase);
  });
  gf_setStatusNotifier([window] { gui::postMessage(window, WM_APP_STATUS, 0, 0); });
  lf_connectMirror(window);
  gf_setCountersBandNotifier([] { gf_invalidateBand(countersBand, true); });
  gf_setSettingsView(&windowSettingsView);
  gf_setSettingsFollowUps(&windowSettingsView);
}

// The simulator link's displays: each value repaints the counters band.
void lf_connectSimLinkDisplays() {
  auto flag = [](std::atomic<bool>& member) {
    return [&member](bool on) {
      member.store(on);
      gf_invalidateBand(countersBand, true);
    };
  };
  auto text = [](SharedText& member) {
    return [&member](const std::string& value) {
      member.store(value);
      gf_invalidateBand(countersBand, true);
    };
  };
  simLinkServices.showSimConnected = flag(mainWindow.simConnected);
  simLinkServices.showSimRunning = flag(mainWindow.simRunningShown);
  simLinkServices.showWingSpanKnown = flag(mainWindow.wingSpanKnown);
  simLinkServices.showSimulatorText = text(mainWindow.simulatorText);
  simLinkServices.showAircraftText = text(mainWindow.aircraftText);
  simLinkServices.showUserStandName = text(mainWindow.userStandName);
}

// The add-on airport scan's displays and the options band.
void lf_connectAddonScanDisplay() {
  auto count = [](std::atomic<std::int64_t>& member) {
    return [&member](std::int64_t value) {
      member.store(value);
      gf_invalidateBand(countersBand, true);
    };
  };
  addonScanDisplay.showSimaddonCount = count(mainWindow.simaddonCount);
  addonScanDisplay.showThirdpartyCount = count(mainWindow.thirdpCount);
  addonScanDisplay.showTbloZip = [](std::uint64_t files) {
    lf_enable(tbloZipButton, files > 0);
    gf_invalidateBand(optionsBand, true);
  };
  addonScanDisplay.repaintOptionsBand = [] { gf_invalidateBand(optionsBand, true); };
  gf_setOptionsBandNotifier([] { gf_invalidateBand(optionsBand, true); });
}

// The airport files' displays and the engine's mean parked time: the airport band.
void lf_connectAirportFileDisplay() {
  airportFileDisplay.repaintAirportBand = [] { gf_invalidateBand(airportBand, true); };
  airportFileDisplay.showUpdateCount = [](std::int32_t updates) {
    mainWindow.updateCount.store(static_cast<std::uint32_t>(std::max(updates, 0)));
    gf_invalidateBand(airportBand, true);
  };
  airportFileDisplay.enableFlushStatic = [](bool enabled) { lf_enable(flushStaticButton, enabled); };
  airportFileDisplay.disallowNowButton = [] { nowButtonAllowed.store(false); };
  airportFileDisplay.refreshNowButton = [] { lf_refreshNowButton(); };
  airportFileDisplay.applyRangeMode = [] { gf_applyRangeMode(); };

  auto airportValue = [](auto store) {
    store();
    gf_invalidateBand(airportBand, true);
  };
  airportFileDisplay.showParkAirportCode = [airportValue](const IcaoCode& code) {
    airportValue([&code] { mainWindow.parkAirportCode.store(code); });
  };
  airportFileDisplay.showAirportLoaded = [airportValue](bool loaded, const std::string& name) {
    airportValue([&] {
      mainWindow.parkAirportName.store(name);
      mainWindow.parkAirportLoaded.store(loaded);
    });
  };
  airportFileDisplay.showReservedStand = [airportValue](const std::string& stand, bool found) {
    airportValue([&] {
      mainWindow.reservedStandName.store(stand);
      mainWindow.reservedStandFound.store(found);
    });
  };
  airportFileDisplay.showWantedStatic = [airportValue](std::int32_t count, std::int32_t percent) {
    airportValue([&] {
      mainWindow.maxParkCount.store(count);
      mainWindow.maxParkPercent.store(percent);
    });
  };
  airportFileDisplay.showPassMarks = [airportValue](bool soft, bool week) {
    airportValue([&] {
      mainWindow.parkSoftMark.store(soft);
      mainWindow.parkWeekMark.store(week);
    });
  };
  airportFileDisplay.showStaticAverageFit = [airportValue](float hours) {
    airportValue([hours] { mainWindow.staticAverageFit.store(hours); });
  };
  airportFileDisplay.showLiveAverageFit = [airportValue](float hours) {
    airportValue([hours] { mainWindow.liveAverageFit.store(hours); });
  };
  airportFileDisplay.enableDestinationBox = [] { lf_enable(DESTINATION, true); };
  airportFileDisplay.disableOptionControls = [] { gf_disableOptionControls(); };
  airportFileDisplay.enableOptionControls = [] { gf_enableOptionControls(); };
  // The engine keeps the live aircraft's mean time parked in half-hour slots; shown in hours.
  engineServices.invalidateAirportBand = [airportValue] {
    airportValue([] {
      const float slots = meanParkedSlots.load();
      mainWindow.liveAverageFit.store(slots > 0.0f ? slots / 2.0f : -1.0f);
    });
  };
}

// The displays of the other subsystems and the settings code reach this window from now on.
void lf_connectWindow(gui::WindowHandle window) {
  lf_connectNotifiers(window);
  lf_connectSimLinkDisplays();
  lf_connectAddonScanDisplay();
  lf_connectAirportFileDisplay();
}

}  // namespace

void lf_disconnectWindow() {
  {
    std::lock_guard lock(guiWorkMutex);
    guiWork.clear();  // changes of controls that go with the window
  }
  gf_setSettingsView(nullptr);
  gf_setSettingsFollowUps(nullptr);
  gf_setStatusNotifier(nullptr);
  gf_setStatusEcho(nullptr);
  gf_setBandNotifier(nullptr);
  gf_setCountersBandNotifier(nullptr);
  gf_setOptionsBandNotifier(nullptr);
  mainWindow.windowHandle.store(nullptr);
}

bool gf_createMainWindow() {
  gui::WindowHandle window = gui::createMainWindow(
      windowClassName, windowClassName, MAIN_WINDOW_X.value.load(), MAIN_WINDOW_Y.value.load(),
      mainWindowWidth, mainWindowHeight, nullptr);
  if (window == nullptr) return false;
  lf_connectWindow(window);
  gui::showWindow(window);
  return true;
}

std::int32_t gf_runMessageLoop() {
  gui::Message message;
  while (gui::getMessage(message)) gui::dispatchMessage(message);
  return static_cast<std::int32_t>(message.wParam);
}

void gf_destroyMainWindow() {
  gui::WindowHandle window = lf_window();
  if (window != nullptr) gui::destroyWindow(window);
}

// ---------------------------------------------------------------- place on the screen

void lf_fitWindowOnMonitor(std::int32_t defaultX, std::int32_t defaultY) {
  auto repair = [](IntParameter& parameter, std::int32_t fallback) {
    const std::int32_t value = parameter.value.load();
    if (value != parameter.minValue && value != parameter.maxValue) return;
    parameter.value.store(parameter.bounded(fallback));
    gf_saveIntParameter(parameter);
  };
  repair(MAIN_WINDOW_X, defaultX);
  repair(MAIN_WINDOW_Y, defaultY);

  gui::WindowHandle window = lf_window();
  const gui::Rect current = window != nullptr ? gui::windowRect(window).value_or(gui::Rect{})
                                              : gui::Rect{};
  const std::int32_t x = MAIN_WINDOW_X.value.load();
  const std::int32_t y = MAIN_WINDOW_Y.value.load();
  const gui::Rect rect{x, y, x + current.width(), y + current.height()};
  // Without a monitor's work area there is nothing to fit to: the stored place stays as it is.
  const std::optional<gui::Rect> work = gui::workAreaNearest(rect);
  if (!work || work->empty()) return;

  auto fit = [](std::int32_t start, std::int32_t size, std::int32_t areaStart,
                std::int32_t areaEnd) {
    constexpr std::int32_t margin = 48;
    if (size > areaEnd - areaStart) start = areaStart;
    if (start + size < areaStart + margin) start = areaStart + margin - size;
    return std::min(start, areaEnd - margin);
  };
  const std::int32_t left = fit(rect.left, rect.width(), work->left, work->right);
  const std::int32_t top = fit(rect.top, rect.height(), work->top, work->bottom);
  if (left == rect.left && top == rect.top) return;
  MAIN_WINDOW_X.value.store(MAIN_WINDOW_X.bounded(left));
  gf_saveIntParameter(MAIN_WINDOW_X);
  MAIN_WINDOW_Y.value.store(MAIN_WINDOW_Y.bounded(top));
  gf_saveIntParameter(MAIN_WINDOW_Y);
  if (window != nullptr)
    gui::moveWindow(window, MAIN_WINDOW_X.value.load(), MAIN_WINDOW_Y.value.load());
}
