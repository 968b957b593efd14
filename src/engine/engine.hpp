#pragma once
// The live-traffic engine: one cycle per 10 ms main-loop step turns reports into aircraft,
// hands them to the simulator link at a paced rate, advances every live aircraft and drains
// what the simulator answered. Everything here runs on the run thread.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/engine_tables.hpp"
#include "records/records.hpp"
#include "simlink/sim_results.hpp"

// ---------------------------------------------------------------------------------------------
// Engine state (run thread)

extern std::vector<std::uint32_t> spawnStack;      // hexids spawned this run, popped one a cycle
extern std::deque<std::uint32_t> removeIdQueue;    // object ids, one sent per 10 cycles
extern std::vector<std::string> ghostCallsigns;    // callsigns with "_" removed as ghosts
// Hexids of live aircraft that started an approach, spawned or arrived; the shell takes one a
// second to remove the static aircraft that look like them.
extern std::deque<std::uint32_t> approachList;
// While set the range request runs every 20 cycles: some aircraft flares (its flareMark).
extern std::uint8_t flareActive;
// Entries of kinds 0 and 1 waiting for their activation; touched only under simResultMutex.
extern std::vector<SimResult> activationList;

// The adding stack keeps at most this many reports; under a flood the oldest are dropped.
inline constexpr std::size_t addingStackLimit = 2000;
// Time-outs (engine cycles) after which an answer of the simulator is no longer awaited.
inline constexpr std::int64_t creationAnswerTimeout = 9000;   // a creation handed over (90 s)
inline constexpr std::int64_t removalAnswerTimeout = 3000;    // a removal handed over (30 s)
inline constexpr std::uint32_t activationWaitLimit = 1200;    // activation counter (10 s late)

// ---------------------------------------------------------------------------------------------
// Cycle, pacing and simulator results

void lf_handleAddingStack();   // one engine cycle
void gf_handleSimResults();    // drains simResultQueue; alone while the flight does not run
void lf_paceQueues();
void lf_requestAcInRange();
void lf_activateCreated();     // under simResultMutex
void gf_reserveEngineTables(); // once per program
void gf_resetEngineTables();   // every run start
// Registers the engine's operations in engineServices and its abort of live traffic with the
// PSX server; at start-up.
void gf_registerEngineServices();
// RealTraffic has gone: active live aircraft are removed, queued ones taken back.
void lf_abortLiveTraffic();

// ---------------------------------------------------------------------------------------------
// Reports to aircraft

void lf_takeReport(LiveReport& report);
void lf_acceptNewAircraft(LiveReport& report);
void lf_newLiveAc(LiveReport& report);
bool lf_checkIdentity(LiveAc& ac, LiveReport& report);  // false: not a sample
void lf_updateBufferedIdentity(LiveAc& ac, const LiveReport& report);
bool lf_routeChanged(LiveAc& ac, const LiveReport& report);  // true: the route is unchanged
bool lf_checkRegistration(LiveAc& ac, LiveReport& report);   // true: no new livery needed
bool lf_registrationChanged(LiveAc& ac, const LiveReport& report);  // true: choose again
void lf_forgetLivery(LiveAc& ac);

// ---------------------------------------------------------------------------------------------
// Spawning and creation

// A stand chosen for an aircraft that starts on the ground.
struct SpawnStand {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double heading = 0.0;    // radians
  std::int32_t standId = 0;
  std::uint8_t cargo = 0;
  std::uint8_t valid = 0;
};

// Counts the live aircraft that hold a place under MAX_LIVE_SEL (active, being created or
// respawned, also those sent and not yet confirmed); at the start of each cycle's update.
void lf_countLiveSlots();
void lf_handleBufferedAc(LiveAc& ac);
bool lf_holdForUser(LiveAc& ac);
void spawnLiveAc(LiveAc& ac);
SpawnStand lf_findSpawnStand(LiveAc& ac);
void lf_initSpawnPosition(LiveAc& ac);
void lf_makeWayForLive(const LiveAc& ac, const SpawnStand& stand);
void lf_makeWayAtExcludedStand(const LiveAc& ac, std::int32_t neighbour, const SpawnStand& stand);
bool lf_onAcCreated(LiveAc& ac, const SimResult& result);  // false: object id below 3
void lf_parkOnCreation(LiveAc& ac);
void lf_setFlightPlan(LiveAc& ac);
void lf_removeOverlappingStatic(LiveAc& ac);

// ---------------------------------------------------------------------------------------------
// Per-aircraft update and sample intake

bool updateLiveAc(LiveAc& ac);  // true: the record leaves liveAcTable
void decodeExisting(LiveAc& ac, PositionSample sample);
bool lf_checkStationary(LiveAc& ac, PositionSample& sample);
bool checkExtendingSituations(LiveAc& ac, PositionSample& sample);
bool checkNewPosDuringLanding(LiveAc& ac, PositionSample& sample);
void lf_parkFromReport(LiveAc& ac, PositionSample& sample);

// Latitude and longitude each within 1e-8 degrees; near: within 0.00015 degrees.
bool gf_samePosition(double lat1, double lon1, double lat2, double lon2);
bool gf_nearPosition(double lat1, double lon1, double lat2, double lon2);

// ---------------------------------------------------------------------------------------------
// Client events, removal and small services

void gf_setSpoilers(AcBase& ac, std::uint32_t on);
void gf_setFlaps(AcBase& ac, std::uint32_t index);
void gf_setGear(AcBase& ac, std::uint8_t value);
void gf_setThrottle(AcBase& ac, std::uint32_t index);
void lf_activateStaticAc(AcBase& ac);
// The spoiler handle and both throttle levers in percent (data definition 401).
void lf_setSpoilerAndThrottleLevers(const LiveAc& ac, double spoilers, double throttle);

// The one way to remove any aircraft; acts by its SimState.
void removeAircraftFromSim(AcBase& ac);
// Takes the queued creation of this aircraft (by hexid) off the queue, keeping the order of
// the others; true when it was there.
bool gf_dropQueuedCreation(std::deque<AiCreationRecord>& queue, const AcBase& ac);
// Removes the farthest active aircraft beyond distanceNm + 0.1 (any, when negative); true when
// none was removed.
bool gf_removeFarthestAc(double distanceNm);
std::string lf_standName(std::int32_t standId);  // "sid==0?", the name, or "sid==?"

// The point and heading of a quadratic curve segment at parameter t; false outside the
// segment or without a curve.
bool gf_curvePosition(const CurveSegment& curve, double t, double& latitude, double& longitude,
                      double& heading);

bool gf_callsignUsable(const AcIdentity& ac);
std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign);

// Normalises an angle to [-pi, pi].
double gf_normalizePi(double angle);
