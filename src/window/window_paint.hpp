#pragma once
// The main window's picture: five bands composed in memory from one snapshot of the display
// values and copied to the window at once (WM_PAINT, GUI thread).
#include <cstdint>
#include <string>

#include "foundation/fixed_code.hpp"
#include "platform/window_system.hpp"

namespace colours {
inline constexpr platform::gui::Colour lime{50, 205, 50};
inline constexpr platform::gui::Colour yellow{255, 255, 0};
inline constexpr platform::gui::Colour red{255, 0, 0};
inline constexpr platform::gui::Colour black{0, 0, 0};
inline constexpr platform::gui::Colour grey{160, 160, 160};
inline constexpr platform::gui::Colour lightBlue{153, 204, 255};
inline constexpr platform::gui::Colour white{255, 255, 255};
}  // namespace colours

// The maker's notice in the top band.
extern const char* const makerNotice;

// Everything one picture shows, copied at the start of the paint.
struct WindowSnapshot {
  std::string aircraftText;
  std::string parkAirportName;
  std::string parkAirportInfo;
  std::string parkAirportQuality;
  std::string simulatorText;
  std::string userStandName;
  std::string reservedStandName;
  IcaoCode parkAirportCode;
  float staticAverageFit = -1.0f;
  float liveAverageFit = -1.0f;
  std::uint64_t liveCount = 0;
  std::int64_t simaddonCount = 0;
  std::int64_t thirdpCount = 0;
  std::uint64_t liveryCount = 0;
  std::uint64_t parkedLiveCount = 0;
  std::uint64_t staticCount = 0;
  std::uint64_t standCount = 0;
  std::int32_t airportRowY = 399;
  std::int32_t maxParkPercent = 0;
  std::int32_t maxParkCount = 0;
  std::int32_t renewalCountdown = 0;
  std::int32_t airportWeekNumber = 0;
  std::uint32_t updateCount = 0;
  std::uint64_t staticWaitingCount = 0;
  bool airportHandMark = false;
  bool linkBoxDark = true;
  bool parkAirportLoaded = false;
  bool simConnected = false;
  bool simRunningShown = false;
  bool wingSpanKnown = true;
  bool parkSoftMark = false;
  bool parkWeekMark = false;
  bool reservedStandFound = false;

  // The RealTraffic link.
  std::int32_t trafficLamp = 3;
  std::int32_t qnhLamp = 3;
  std::int32_t qnhValue = 0;
  bool realTrafficLinked = false;
  std::string realTrafficText;

  // The status band.
  std::string statusText;
  std::string errorText;

  // What the option labels depend on.
  bool scanLiveries = false;
  bool scanAirports = false;
  bool aerowinx = false;
  bool guidChanges = false;
  bool autoRange = false;
  bool airborneOnly = false;
  bool straightPbsOnly = false;
  bool initialLoadOnly = false;
  std::int32_t maxParkSel = 0;
  std::int32_t maxLiveSel = 0;
  bool lightAircraftEnabled = true;
  bool helicoptersEnabled = true;
  bool highPerfEnabled = true;
  bool tbloZipMade = false;
  bool staticParkingActive = false;
  bool parkingUpdateBusy = false;
};

WindowSnapshot lf_takeWindowSnapshot();

// The counters band's simulator lamp: red without a connection, green once the flight runs with
// a known aircraft, else yellow (the picture and the terminal's state line alike).
enum class SimLamp { red, yellow, green };
SimLamp lf_simLamp(const WindowSnapshot& values);
// Whether the counters band shows the QNH value.
bool lf_qnhShown(const WindowSnapshot& values);

// Draws one text in a colour; a text that is not UTF-8 draws nothing and is logged.
void lf_textOutUtf8(platform::gui::MemoryPicture& picture, std::int32_t x, std::int32_t y,
                    const std::string& text, platform::gui::Colour colour);

void lf_paintMainWindow(platform::gui::PaintHandle dc);
void lf_paintCounters(platform::gui::MemoryPicture& picture, const WindowSnapshot& values);
void lf_paintOptions(platform::gui::MemoryPicture& picture, const WindowSnapshot& values);
void lf_paintAirportStats(platform::gui::MemoryPicture& picture, const WindowSnapshot& values);
void lf_paintStatusLine(platform::gui::MemoryPicture& picture, const WindowSnapshot& values);
