#pragma once
// The main window as the shell uses it: the window class, creation and message loop, the
// program's own window messages, the hooks through which the window's commands reach the
// subsystems that own the data, and the requests the run thread takes from the window.
//
// Thread rule: the GUI thread owns the window and its controls. Other threads change controls
// only through gf_onGuiThread (the SettingsView of the window does so for the settings code);
// and the GUI thread never touches what belongs to the run thread (live aircraft, liveries,
// park airports, the user position): it sets a request that gf_serveWindowRequests carries out
// on the run thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/fixed_code.hpp"
#include "platform/window_system.hpp"

inline constexpr std::uint32_t WM_APP_START_RUN = platform::gui::msg::app + 1;
inline constexpr std::uint32_t WM_APP_QUIT = platform::gui::msg::app + 2;
inline constexpr std::uint32_t WM_APP_STATUS = platform::gui::msg::app + 0x60;
// Control changes handed over by other threads (gf_onGuiThread).
inline constexpr std::uint32_t WM_APP_GUI_WORK = platform::gui::msg::app + 0x61;

inline constexpr std::int32_t mainWindowWidth = 880;
inline constexpr std::int32_t mainWindowHeight = 516;

// The window handle as the window procedure last saw it; control lookups by id use it.
extern std::atomic<platform::gui::WindowHandle> mainHwnd;
// The code WM_APP_QUIT hands to the message loop's end (0, or 1 after a failed production run).
extern std::atomic<std::int32_t> exitCode;
// The current run thread; replaced on WM_APP_START_RUN, on the GUI thread only.
extern std::jthread runThread;

// What the window's commands need of the shell and of the subsystems that own the data. What
// the engine's tables, the simulator queues, the parking and the livery code answer is filled
// in from the start (gf_builtInWindowServices); the shell fills the rest (startUpRun,
// removeFarthestLiveAc, autoRange) before it creates the window; they are not changed
// afterwards. An empty hook means the service is absent in this process: the call is skipped
// (counts are 0).
struct WindowServices {
  std::function<void()> startUpRun;  // the body of a run thread (lf_startUpWDRX)

  // Run thread only: the engine's tables.
  std::function<std::vector<std::string>()> flyingCallsigns;  // active live aircraft, not parked
  std::function<std::uint64_t()> countLiveFlying;     // active live aircraft, not parked
  std::function<std::uint64_t()> countParkedLiveAc;   // gf_countParkedLiveAc, shown
  std::function<std::uint64_t()> countStaticAc;       // gf_countStaticAc, shown
  std::function<std::uint64_t()> countActiveLiveAc;   // active live aircraft
  std::function<void()> removeFarthestLiveAc;         // gf_removeFarthestAc(-1.0)
  std::function<void(bool)> queueParkedNavLights;     // active static and parked live aircraft

  // Run thread only: the other subsystems.
  std::function<void()> clearLiveryTables;  // the matching tables and their processed mark
  std::function<void(const IcaoCode&, double latitude, double longitude)> addParkAirport;
  std::function<void()> autoRange;  // lf_autoRange
};
extern WindowServices windowServices;
// The services of the subsystems below the window: the engine's tables (liveAcTable,
// staticAcTable, engineServices), the simulator queues, gf_countStaticAc, gf_clearLiveryTables
// and gf_addParkAirport.
WindowServices gf_builtInWindowServices();

// Requests of the buttons and combo boxes, taken (exchanged with false) by the main loop.
extern std::atomic<bool> rereadRequested;        // "Re-read"
extern std::atomic<bool> flushStaticRequested;   // "Flush static"
extern std::atomic<bool> callsignListRequested;  // "cs->oid:"
extern std::atomic<bool> blockRequested;         // "Block", "Unblock", the callsign box
extern std::atomic<bool> matchingDepthRaised;    // MATCHING_DEPTH raised

// Work on the run thread's data that the controls ask for; gf_serveWindowRequests does it.
extern std::atomic<bool> navLightsRequested;    // NAV_LIGHTS_WHILE_PARKED changed
extern std::atomic<bool> liveLimitRequested;    // MAX_LIVE_SEL changed
extern std::atomic<bool> rangeModeRequested;    // AUTO_RANGE changed
extern std::atomic<bool> liveryResetRequested;  // SCAN_LIVERIES switched on before RealTraffic
// A destination entered in the box, to be added to the park-airport list.
void gf_requestParkAirport(const IcaoCode& code, double latitude, double longitude);

// Run thread: carries out the requests above. The main loop calls it each step, and the
// start of a run before the liveries are processed (a livery reset asked for while the last
// run ended is done then).
void gf_serveWindowRequests();

// Runs the work on the GUI thread: at once on the GUI thread itself (after what other threads
// handed over before), else posted to it. Without a window it runs at once; a window that has
// gone without WM_DESTROY is let go like one destroyed (what was handed to it is dropped).
void gf_onGuiThread(std::function<void()> work);

// WM_APP_GUI_WORK: runs what other threads handed over, in order.
void lf_runGuiWork();

// The window class with lf_mainWndProc, named by the application title (string resource 101),
// which is also the window's title; registered once per process, under the first title given.
bool gf_registerMainWindowClass(const std::u16string& title);
// Creates the main window at (MAIN_WINDOW_X, MAIN_WINDOW_Y), connects the displays and the
// settings code to it, shows it and stores its handle. False when creation failed.
bool gf_createMainWindow();
// GetMessage/DispatchMessage until WM_QUIT; its code.
std::int32_t gf_runMessageLoop();
// Ends the window (WM_DESTROY: the displays are disconnected and the loop ends with 0).
void gf_destroyMainWindow();
// WM_DESTROY: the displays and the settings code no longer reach the window.
void lf_disconnectWindow();

// Repairs and fits MAIN_WINDOW_X/MAIN_WINDOW_Y on the nearest monitor's work area, saving a
// changed value, and moves the window there when it exists.
void lf_fitWindowOnMonitor(std::int32_t defaultX, std::int32_t defaultY);
