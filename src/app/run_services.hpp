#pragma once
// What a run of the shell (start-up, main loop, closing down) asks of the subsystems below it:
// the data readers, the scans, the simulator link, the RealTraffic link, the engine and the
// park airport. gf_wireProgram (program_wiring.cpp) binds the real operations once at program
// start; tests bind doubles. An empty hook is skipped (a result of false, 0 or none).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "foundation/geodesy.hpp"

struct RunServices {
  // ---- data step and scans (run thread, start-up)
  std::function<void()> reserveDefaultModelLists;  // room for one model id in each default list
  std::function<bool()> readDbase;                 // gf_readDbase
  std::function<bool()> readAirports;              // gf_readAirports (once per process itself)
  std::function<bool()> liveryScanDue;             // gf_liveryScanDue
  std::function<bool()> scanLiveries;              // gf_scanLiveries; false: a stop cut it short
  std::function<void()> processScannedLiveries;    // gf_processScannedLiveries
  std::function<void()> scanAddonAirports;         // gf_scanAddonAirports
  std::function<bool()> createFlightPlanFolder;    // gf_createFlightPlanFolder
  std::function<void()> readMyParkAirports;        // lf_readMyParkAirports

  // ---- services (run thread)
  std::function<void()> reserveEngineTables;             // gf_reserveEngineTables
  std::function<void(std::uint32_t)> initSimQueues;      // gf_initSimQueues(P3D_VERSION)
  std::function<void()> startSimClient;                  // the "SimClient" thread
  std::function<bool()> flightRuns;                      // simRunning and not simQueuesBlocked
  // The user aircraft's on-ground data every simulator second (request 108, definition 409),
  // under simQueueMutex; false when the request failed (logged and reported as SIMCONNECT ERROR).
  std::function<bool()> requestUserOnGround;
  std::function<bool()> userOnGroundKnown;               // userOnGround.known
  std::function<bool()> userOnGround;                    // userOnGround.onGround
  std::function<void()> refreshUserPosition;             // userPosition = gf_requestUserAcPosition()
  std::function<void()> requestUserTitleAndModel;        // gf_requestUserAcTitleAndModel
  std::function<void(const std::string&)> startPsxServer;  // gf_startPsxServer(port text)
  std::function<void()> waitForRealTraffic;              // gf_waitForRealTraffic
  std::function<void(std::int64_t)> sendSimTime;         // gf_sendSimTime(simUtcSeconds)
  std::function<std::int64_t()> simUtcSeconds;
  std::function<void()> sendUserPosition;                // gf_sendUserPosition
  std::function<void(bool)> setAcceptTraffic;            // acceptTraffic under trafficMutex
  std::function<void()> startQnhReader;                  // "QNH Reader"
  std::function<void(bool)> startTrafficReader;          // "Traffic Reader" (realTrafficDetected)
  std::function<void(const LatLon&)> setReaderUserPosition;  // the Traffic Reader's user position

  // ---- main loop (run thread)
  std::function<void()> engineCycle;          // lf_handleAddingStack
  std::function<void()> handleSimResults;     // gf_handleSimResults
  std::function<void()> clearPositionBuffers; // both position buffers, under simQueueMutex
  std::function<void(bool)> staticParkingTick;  // gf_staticParkingTick(first call)
  std::function<void()> checkReaderLamps;     // gf_checkReaderLamps
  std::function<void()> removeStaticTwins;    // gf_removeStaticTwins
  std::function<std::string()> reservedStandName;
  std::function<void(const std::string&)> removeAcAtStand;  // gf_removeAcAtStand
  std::function<bool(std::string&)> recheckParkAirports;    // gf_recheckParkAirports(true, ...)
  std::function<void()> startCallsignCollection;  // the Traffic Reader's callsign set
  std::function<bool()> parkingAdjustable;    // a park airport is set and standTable not empty
  std::function<void()> parkingAdjustments;   // gf_parkingAdjustments
  // One entry of parkedAcQueue: gf_matchStandOption (once per aircraft) and
  // gf_removeStaticLikeLive for the live aircraft it names, if it still exists.
  std::function<void(std::uint64_t weekSlot)> takeParkedAircraft;
  std::function<void()> removeAllStaticAc;    // gf_removeAllStaticAc
  std::function<void()> clearUserSpot;        // gf_clearUserSpot
  std::function<void()> clearUserPath;        // gf_clearUserPath
  std::function<void()> removeStaticInLivePaths;  // gf_removeStaticInLivePaths
  // The first active live aircraft with that callsign leaves (removeAircraftFromSim).
  std::function<void(const std::string&)> removeBlockedCallsign;
  std::function<std::uint64_t()> staticCandidateCount;  // staticCandidates.size()
  std::function<void()> clearUnmatchedAircraft;   // unmatchedAircraft emptied
  std::function<void()> logUnmatchedAircraft;     // gf_logUnmatchedAircraft
  std::function<void()> logMatchingSummary;       // gf_logMatchingSummary
  std::function<void()> clearCreationRequests;    // creationRequests emptied
  std::function<std::optional<LatLon>()> firstParkAirport;  // the nearest park airport

  // ---- closing down and the reset before a restart (run thread)
  std::function<void()> stopSimClient;        // stop request and join
  std::function<void()> stopReaders;          // stop flags set, both threads joined
  std::function<void()> closePsxServer;       // gf_closePsxServer
  std::function<bool()> parkAirportSet;
  std::function<void()> flushStaticParking;   // gf_flushStaticParking
  std::function<void()> clearGhostCallsigns;
  std::function<void()> resetRealTrafficLink;  // QNH, traffic time, callsigns, readers, PSX flags
  std::function<void()> resetSimLink;          // gf_resetSimLink
  std::function<void()> resetEngineTables;     // gf_resetEngineTables
};

extern RunServices runServices;

// Calls a hook when it is bound; else gives the result type's empty value.
template <typename Result, typename... Args, typename... Given>
Result gf_call(const std::function<Result(Args...)>& hook, Given&&... args) {
  if (hook) return hook(std::forward<Given>(args)...);
  if constexpr (!std::is_void_v<Result>) return Result{};
}
