#pragma once
// What the main window shows and the flags its controls share with the other threads. Any
// subsystem writes a display value, then invalidates the band that shows it; the window paints
// from a snapshot on the GUI thread. Values a subsystem keeps itself are read from there: the
// status line (status_line.hpp), the RealTraffic lamps and QNH (traffic/link_state.hpp), the
// livery count (liveries), the park airport file's texts, traffic week and stand count
// (parking) and the tblo.zip file count.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "foundation/fixed_code.hpp"
#include "foundation/shared_text.hpp"

// A band of the 880 x 516 picture (left, top, right, bottom).
struct BandRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};
inline constexpr BandRect topBand{0, 0, 880, 28};
inline constexpr BandRect countersBand{0, 28, 880, 112};
inline constexpr BandRect optionsBand{0, 112, 880, 392};
inline constexpr BandRect airportBand{0, 392, 880, 448};
inline constexpr BandRect statusBand{0, 448, 880, 476};

class MainWindow {
 public:
  MainWindow() { windowObjectReady.store(true); }  // last: the window creation waits for it
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  virtual ~MainWindow() = default;

  std::atomic<void*> windowHandle{nullptr};  // the platform's window handle, once created

  SharedText aircraftText;        // counters band line 2 (simulator link)
  SharedText parkAirportName;     // airport band, first field (parking)
  SharedText simulatorText;       // counters band line 1 (simulator link)
  SharedText userStandName;       // after ", user stand " (simulator link, parking)
  SharedText reservedStandName;   // the user's reserved stand at the park airport (parking)
  std::atomic<IcaoCode> parkAirportCode{};  // all zero: no park airport shown

  std::atomic<float> staticAverageFit{-1.0f};  // hours, shown when above 0
  std::atomic<float> liveAverageFit{-1.0f};    // hours, shown when above 0
  std::atomic<std::uint64_t> liveCount{0};
  std::atomic<std::int64_t> simaddonCount{0};
  std::atomic<std::int64_t> thirdpCount{0};
  std::atomic<std::uint64_t> parkedLiveCount{0};
  std::atomic<std::uint64_t> staticCount{0};
  std::atomic<std::int32_t> airportRowY{399};
  std::atomic<std::int32_t> maxParkPercent{0};
  std::atomic<std::int32_t> maxParkCount{0};
  std::atomic<std::int32_t> renewalCountdown{0};  // minutes to the next static-parking renewal
  std::atomic<std::uint32_t> updateCount{0};
  std::atomic<std::uint64_t> staticWaitingCount{0};

  std::atomic<bool> linkBoxDark{true};
  std::atomic<bool> parkAirportLoaded{false};
  std::atomic<bool> simConnected{false};
  std::atomic<bool> simRunningShown{false};
  std::atomic<bool> wingSpanKnown{true};
  std::atomic<bool> parkSoftMark{false};
  std::atomic<bool> parkWeekMark{false};
  std::atomic<bool> reservedStandFound{false};
  std::atomic<bool> windowObjectReady{false};
};

extern MainWindow mainWindow;

// Repaints a band (InvalidateRect on the window, from any thread); nothing before the window
// has registered how.
void gf_invalidateBand(const BandRect& band, bool erase = true);
void gf_setBandNotifier(std::function<void(const BandRect&, bool erase)> notifier);

// Static parking and the option group (read and written by the window, the main loop and the
// parking code).
extern std::atomic<bool> parkingUpdateBusy;       // an update runs; the option group is disabled
extern std::atomic<bool> parkingUpdateRequested;  // announced, waits for the 15-second job
extern std::atomic<bool> staticParkingActive;     // static parking runs at a park airport
extern std::atomic<bool> nowButtonAllowed;        // the park airport allows "Now"
extern std::atomic<std::int32_t> parkingCountdown;  // minutes to the next renewal (20)
