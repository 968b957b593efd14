#pragma once
// The engine's queues and lists that the parking and livery code and the shell look at, and
// the hooks through which those lower layers ask the engine to act on an aircraft. All of it
// belongs to the run thread.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "records/records.hpp"
#include "simlink/sim_queues.hpp"

// Creations waiting for their turn toward the simulator link (live ones always go first).
extern std::deque<AiCreationRecord> liveAddQueue;
extern std::deque<AiCreationRecord> staticAddQueue;

// Hexids of live aircraft that have parked or appeared on a stand; the shell takes one a
// second to match the stand option of today.
extern std::deque<std::uint32_t> parkedAcQueue;

struct ParkedLiveEntry {
  std::string callsign;
  std::int32_t standId = 0;
  std::int32_t minutes = 0;  // minutes parked
};
// The parked active live aircraft, sorted by time parked (gf_listParkedLiveAc).
extern std::vector<ParkedLiveEntry> parkedLiveList;

// Mean time parked of the parked live aircraft in half-hour slots (gf_countParkedLiveAc).
extern std::atomic<float> meanParkedSlots;

// The hexid of the last static aircraft: 1, 2, ... 9999, 1, 2, ... (never 0: the simulator
// link reports refused, failed and timed-out creations only for a hexid other than 0).
extern std::uint32_t staticHexCounter;
// The next static hexid after staticHexCounter that no static aircraft holds (advances the
// counter); a full table of 9999 static aircraft gives the next one regardless.
std::uint32_t gf_nextStaticHexid();

// What the lower layers (livery matching, stands, static parking) call of the engine. The
// engine registers the real operations at start-up (gf_registerEngineServices); tests of the
// lower layers install doubles.
struct EngineServices {
  // Removes a live or static aircraft according to its SimState.
  std::function<void(AcBase&)> removeAircraftFromSim;
  // Removes every static aircraft and compacts staticAcTable.
  std::function<void()> removeAllStaticAc;
  // Takes the queued creation of this aircraft off the queue; true when one was there.
  std::function<bool(std::deque<AiCreationRecord>&, const AcBase&)> dropQueuedCreation;
  // Removes the aircraft when it is near the user aircraft (variant 0 or 1); true when removed.
  std::function<bool(LiveAc&, int)> removeIfNearUser;
  // Removes the active static aircraft, else the parked active live one, at the named stand.
  std::function<void(const std::string&)> removeAcAtStand;
  // Counts the parked active live aircraft; with the flag also updates meanParkedSlots.
  std::function<std::int32_t(bool)> countParkedLiveAc;
  // Rebuilds parkedLiveList (removing those parked too long).
  std::function<void()> listParkedLiveAc;
  // Removes the n longest-parked live aircraft.
  std::function<void(std::size_t)> removeOldestParkedLive;
  // The main window repaints its airport band (a shown value changed). Registered by the
  // window; empty: nothing.
  std::function<void()> invalidateAirportBand;
};
extern EngineServices engineServices;
