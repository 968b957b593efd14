#pragma once
// What reading the park airport's file leaves behind: its header, quality factors, altitude,
// stand count and learned-update count, and what the main window's airport band shows of it.
// Written on the run thread; the atomics and the band texts are read by the GUI thread.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "config/parameters.hpp"
#include "foundation/fixed_code.hpp"

struct ApfHeader {
  std::string airport_name;
  std::string publisher;
  std::int32_t altitude = 0;  // feet
};

// Quality factors 0..100 of the real and the soft stand options; -1 for both when unknown.
struct QualityPair {
  std::int32_t real = -1;
  std::int32_t soft = -1;
  friend bool operator==(const QualityPair&, const QualityPair&) = default;
};

extern ApfHeader apfHeader;
extern bool apfHandmade;  // the stands came from a handmade learned file
extern QualityPair apfQuality;
extern std::atomic<std::int32_t> rtTrafficWeek;  // RT_traffic_week of the file, 0 when absent
extern float parkAirportAltitude;                 // feet
extern std::optional<double> parkAirportElevation;  // feet; read by the engine (run thread)
extern std::atomic<std::uint32_t> standCount;
// Where the park airport's learned file is read from and saved to; empty when it has none.
extern std::filesystem::path apfLearnedPath;

// Learned stand changes since the park airport's file was read or saved, and the park
// airport's learned data are to be saved when it is left.
extern std::atomic<std::int32_t> learnedUpdateCount;
extern std::atomic<bool> learnedDirty;

// Airport band texts.
extern SharedText airportBandPublisher;
extern SharedText airportBandQuality;
extern std::atomic<bool> airportBandHandmade;

// The main window's side of the airport files, registered by the window at start-up (empty =
// no window in this process: the call is skipped).
struct AirportFileDisplay {
  std::function<void()> repaintAirportBand;
  std::function<void(std::int32_t)> showUpdateCount;  // the shown learned-update count changed
  std::function<void(bool)> enableFlushStatic;         // the "Flush static" button
  std::function<void()> disallowNowButton;             // clears the shell's nowButtonAllowed
  std::function<void()> refreshNowButton;              // after INITIAL_LOAD_ONLY changed
  std::function<void()> applyRangeMode;                // gf_applyRangeMode

  // The park airport and its static parking.
  std::function<void(const IcaoCode&)> showParkAirportCode;  // all zero: none shown
  // The park airport's file was read (parkAirportLoaded) and the airport's name.
  std::function<void(bool, const std::string&)> showAirportLoaded;
  // The user's reserved stand there and whether a stand of that name exists.
  std::function<void(const std::string&, bool)> showReservedStand;
  std::function<void(std::int32_t, std::int32_t)> showWantedStatic;  // count, percent of stands
  std::function<void(bool, bool)> showPassMarks;                     // soft pass, week pass
  std::function<void(float)> showStaticAverageFit;                   // hours; -1 = none
  std::function<void(float)> showLiveAverageFit;                     // hours; -1 = none
  std::function<void()> enableDestinationBox;
  // gf_disableOptionControls / gf_enableOptionControls of the window (the callers set and clear
  // parkingUpdateBusy themselves as well, so that it holds without a window).
  std::function<void()> disableOptionControls;
  std::function<void()> enableOptionControls;
};
extern AirportFileDisplay airportFileDisplay;

void gf_repaintAirportBand();
// learnedUpdateCount + 1; a count that differs from the shown one is shown and repainted.
void gf_countLearnedUpdate();
// learnedUpdateCount = 0, shown as such.
void gf_resetLearnedUpdateCount();
