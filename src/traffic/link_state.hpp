#pragma once
// What the main window shows of the RealTraffic link (lamps, QNH, edition text, the "RT" box)
// and the link's program-wide flags. Written by the reader threads, the run thread and the
// window thread; the window reads the values when it paints the counters band.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// Lamp values of trafficLamp and qnhLamp.
inline constexpr std::int32_t lampReceiving = 1;
inline constexpr std::int32_t lampSilent = 2;
inline constexpr std::int32_t lampHidden = 3;  // reader not running

struct RealTrafficDisplay {
  std::atomic<std::int32_t> trafficLamp{lampHidden};
  std::atomic<std::int32_t> qnhLamp{lampHidden};
  std::atomic<std::int32_t> qnhValue{0};              // hPa, "qnh: {:4}"
  std::atomic<bool> realTrafficLinked{false};         // the "RT" box; the lamp watchdog needs it

  std::string realTrafficText() const;  // "RT {} edition: {}", empty when unknown
  void setRealTrafficText(std::string text);

 private:
  mutable std::mutex textMutex_;
  std::string realTrafficText_;
};

extern RealTrafficDisplay realTrafficDisplay;

// RealTraffic is installed on this PC (RealTraffic.jar found); set by the start-up.
extern std::atomic<bool> realTrafficDetected;
// Set at each run reset, cleared once RealTraffic has connected to the PSX-protocol server.
extern std::atomic<bool> awaitingRealTraffic;

// The window registers how the counters band is repainted (InvalidateRect with erase);
// called after each change of a value above. Empty: nothing happens.
void gf_setCountersBandNotifier(std::function<void()> notifier);
void gf_invalidateCountersBand();
