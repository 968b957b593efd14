#pragma once
// One installed livery as the scan finds it, the list of the last scan's liveries, their order,
// and the livery count that the main window shows.
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <string>

#include "aircraft/aircraft_codes.hpp"

struct LiveryData {
  std::string title;         // unique among the liveries of one scan; the simulator's object name
  std::string registration;  // the section's atc_id or one found in the title; empty = none
  AircraftCodes codes;
  std::uint16_t folderNumber = 0;  // livery folder (1..10) it came from; 0 when read from the cache
};

// True when the airline id or the model id is 0 (every empty record is incomplete).
bool lf_isIncompleteLivery(const LiveryData& livery);

// Order of the scan and the cache: airline code text, operator code text, model code text
// (texts of the ids; id 0 is the empty text), then title; all bytewise. Cargo flag,
// registration and folder number do not count.
bool lf_liveryLess(const LiveryData& a, const LiveryData& b);
// Sorts the list in lf_liveryLess order, stably, reading each code text once (not once per
// comparison): tens of thousands of liveries sort in a few milliseconds.
void lf_sortLiveries(std::list<LiveryData>& liveries);

// The liveries of a scan, or of the cache once read; owned by the run thread.
extern std::list<LiveryData> scannedLiveries;

// Shown in the main window's counters band; the window reads it when it paints.
extern std::atomic<std::int32_t> liveryCount;

// The main window registers how its options band is repainted (InvalidateRect with erase).
// Empty: nothing happens. The counters band goes through gf_invalidateCountersBand.
void gf_setOptionsBandNotifier(std::function<void()> notifier);
void gf_invalidateOptionsBand();
