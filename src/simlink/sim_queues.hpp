#pragma once
// The simulator queues between the engine (run thread) and the SimClient thread: client
// events, AI creations and removals, and the two position buffers. Producers append under
// simQueueMutex; on every Frame event the SimClient thread only tries the lock, sends
// everything in a fixed order and empties the queues.
// Lock order: simResultMutex before simQueueMutex; nothing is pushed to the result queue while
// simQueueMutex is held.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "simconnect/simconnect.hpp"

struct ClientEventRecord {
  std::uint32_t objectId = 0;
  std::uint32_t eventId = 0;  // 207..223
  std::uint32_t value = 0;
};

struct AiCreationRecord {
  SimInitPosition position;     // degrees, feet, knots
  std::string callsign;         // sent as the tail number, at most 11 characters
  std::string_view liveryTitle; // view of the livery data
  std::uint32_t hexid = 0;      // up to 10000: a static aircraft
};

// Definition 402 as sent (64 bytes), then the object.
struct PositionUpdateRecord {
  double latitude = 0.0;
  double longitude = 0.0;
  double pitch = 0.0;
  double bank = 0.0;
  double heading = 0.0;
  double altitude = 0.0;
  double verticalSpeed = 0.0;
  double trueAirspeed = 0.0;
  std::uint32_t objectId = 0;
};

struct LightsRecord {
  std::uint32_t nav = 0, beacon = 0, landing = 0, taxi = 0, strobes = 0, logo = 0, cabin = 0;
};

// A creation sent and not yet matched to its object. Only the SimClient thread touches these.
struct PendingCreation {
  std::uint32_t sendId = 0;
  std::uint32_t hexid = 0;
  std::string callsign;
  std::chrono::steady_clock::duration waited{};  // time waited while the flight ran
};

// The fill side is the engine's (run thread); the send side is read by the flush. The roles
// change only under simQueueMutex.
struct PositionBuffers {
  std::array<std::vector<PositionUpdateRecord>, 2> sides;
  int fillIndex = 0;
  std::vector<PositionUpdateRecord>& fill() { return sides[static_cast<std::size_t>(fillIndex)]; }
  std::vector<PositionUpdateRecord>& send() {
    return sides[static_cast<std::size_t>(fillIndex ^ 1)];
  }
};

extern std::mutex simQueueMutex;
extern std::vector<ClientEventRecord> clientEventQueue;  // guarded by simQueueMutex
extern std::vector<AiCreationRecord> aiCreationQueue;    // guarded by simQueueMutex
extern std::vector<std::uint32_t> aiRemovalQueue;        // guarded by simQueueMutex
extern PositionBuffers positionUpdateBuffers;            // see PositionBuffers
extern std::vector<PendingCreation> pendingCreations;    // SimClient thread only
extern std::vector<std::uint32_t> newSimObjects;         // SimClient thread only
extern std::atomic<bool> simQueuesBlocked;
extern std::atomic<std::uint32_t> expectedP3dVersion;    // 5 or 6

// A creation the simulator has not confirmed within this much running flight is given up
// (SimResultKind::creationTimedOut); an object that turns up for it later (within
// creationLateKeep) is removed again.
inline constexpr std::chrono::seconds creationTimeout{60};
inline constexpr std::chrono::seconds creationLateKeep{600};

// Producers: each takes simQueueMutex, appends, releases.
void gf_queueAiCreation(const AiCreationRecord& record);
void gf_queueAiRemoval(std::uint32_t objectId);
void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value);
void gf_queueEngineStart(std::uint32_t objectId);
void gf_queueEngineShutdown(std::uint32_t objectId);
void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value);
void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value);
void gf_queueLights(std::uint32_t objectId, const LightsRecord& lights);

// The engine's hand-over of one cycle's positions: under a try-lock the filled side becomes
// the send side and the other one, emptied, the fill side (true). A busy lock drops this
// cycle's positions (false).
bool gf_handOverPositions();

// Run start: the expected major version, room for 256 entries, the blocked state cleared.
void gf_initSimQueues(std::uint32_t expectedMajorVersion);
// Run reset: every queue, the pending and late creations and the new objects emptied, the
// position buffers back to their first roles, the blocked state cleared.
void gf_resetSimQueues();

// A SimConnect request failed: status line, all sending blocked, SIMCONNECT ERROR (9 s).
void gf_reportSimRequestError();

// Under simQueueMutex: the connection for a request of the run thread, or null while none may
// be sent (no connection open, the SimClient thread gone, or sending blocked after a failure).
// Null is no failure: the caller sends nothing and reports nothing.
SimConnection* gf_simRequestHandle();

// SimClient thread: the frame flush, and the time-out of creations the simulator never
// confirmed (results are pushed outside simQueueMutex).
void lf_flushSimQueues();
void lf_expirePendingCreations();
// A matching late object of a creation that timed out: true when it was queued for removal.
bool lf_removeLateCreation(std::uint32_t objectId, std::string_view atcId);
