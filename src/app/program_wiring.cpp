// The program's composition: every hook of every layer bound to the real operations.
#include "app/program_wiring.hpp"

#include <mutex>

#include "aircraft/reference_db.hpp"
#include "airports/airport_db.hpp"
#include "airports/park_airport_state.hpp"
#include "app/auto_range.hpp"
#include "app/p3d_detection.hpp"
#include "app/run_services.hpp"
#include "app/run_startup.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "engine/removal_rules.hpp"
#include "foundation/log.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/livery_tables.hpp"
#include "parking/addon_scan.hpp"
#include "parking/park_airports.hpp"
#include "parking/stand.hpp"
#include "parking/stand_services.hpp"
#include "parking/static_parking.hpp"
#include "parking/user_spot.hpp"
#include "runstate/main_window_state.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_ids.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_services.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/psx_server.hpp"
#include "traffic/traffic_decoder.hpp"
#include "traffic/udp_reader.hpp"
#include "window/main_window.hpp"
#include "window/window_controls.hpp"

namespace {

// The user aircraft's on-ground data every simulator second; the SimClient thread's handler
// sets secondTick with each answer.
// Without a connection nothing is asked: the start-up waits until the run stops.
bool lf_requestUserOnGroundData() {
  std::lock_guard lock(simQueueMutex);
  SimConnection* handle = gf_simRequestHandle();
  if (handle != nullptr &&
      simFailed(SimConnect_RequestDataOnSimObject(handle, simid::reqUserOnGround, simid::defOnGround,
                                                  simUserObjectId, SimPeriod::Second))) {
    gf_logMarked("SimConnect request ac gnd/air fails");
    gf_reportSimRequestError();
    return false;
  }
  return true;
}

}  // namespace

void lf_takeQueuedAircraft(std::uint64_t weekSlot) {
  if (!parkedAcQueue.empty()) {
    if (LiveAc* ac = gf_findLiveAc(parkedAcQueue.front())) {
      if (ac->standOptionMatched == 0) {
        gf_matchStandOption(weekSlot, *ac);
        ac->standOptionMatched = 1;
      }
      gf_removeStaticLikeLive(*ac);
    }
    parkedAcQueue.pop_front();
  }
  if (!approachList.empty()) {
    if (const LiveAc* ac = gf_findLiveAc(approachList.front())) gf_removeStaticLikeLive(*ac);
    approachList.pop_front();
  }
}

void lf_removeBlockedCallsign(const std::string& callsign) {
  for (LiveAc& ac : liveAcTable) {
    if (ac.callsign == callsign && ac.simState == SimState::active) {
      removeAircraftFromSim(ac);
      return;
    }
  }
}

namespace {

void lf_wireDataAndScans(RunServices& s) {
  s.readDbase = gf_readDbase;
  s.readAirports = gf_readAirports;
  s.liveryScanDue = gf_liveryScanDue;
  s.scanLiveries = gf_scanLiveries;
  s.processScannedLiveries = gf_processScannedLiveries;
  s.scanAddonAirports = gf_scanAddonAirports;
  s.createFlightPlanFolder = gf_createFlightPlanFolder;
  s.readMyParkAirports = [] { lf_readMyParkAirports(); };
}

void lf_wireEngine(RunServices& s) {
  s.reserveEngineTables = gf_reserveEngineTables;
  s.resetEngineTables = gf_resetEngineTables;
  s.engineCycle = lf_handleAddingStack;
  s.handleSimResults = gf_handleSimResults;
  s.removeStaticTwins = gf_removeStaticTwins;
  s.removeAcAtStand = gf_removeAcAtStand;
  s.takeParkedAircraft = lf_takeQueuedAircraft;
  s.removeAllStaticAc = gf_removeAllStaticAc;
  s.removeStaticInLivePaths = gf_removeStaticInLivePaths;
  s.removeBlockedCallsign = lf_removeBlockedCallsign;
  s.clearGhostCallsigns = [] { ghostCallsigns.clear(); };
  s.logMatchingSummary = gf_logMatchingSummary;
  gf_registerEngineServices();
  windowServices.removeFarthestLiveAc = [] { gf_removeFarthestAc(-1.0); };
}

void lf_wireParking(RunServices& s) {
  s.staticParkingTick = gf_staticParkingTick;
  s.reservedStandName = [] { return reservedStandName; };
  s.recheckParkAirports = [](std::string& message) { return gf_recheckParkAirports(true, message); };
  s.parkingAdjustable = [] { return !parkAirportCode.load().empty() && !standTable.empty(); };
  s.parkingAdjustments = gf_parkingAdjustments;
  s.clearUserSpot = gf_clearUserSpot;
  s.clearUserPath = gf_clearUserPath;
  s.staticCandidateCount = [] { return static_cast<std::uint64_t>(staticCandidates.size()); };
  s.firstParkAirport = []() -> std::optional<LatLon> {
    if (const auto first = gf_firstParkAirport()) return LatLon{first->latitude, first->longitude};
    return std::nullopt;
  };
  s.parkAirportSet = [] { return !parkAirportCode.load().empty(); };
  s.flushStaticParking = gf_flushStaticParking;
  // The stand services of the simulator link (the stand under the user aircraft).
  gf_registerParkingServices();
}

void lf_wireSimulatorLink(RunServices& s) {
  s.initSimQueues = gf_initSimQueues;
  s.startSimClient = gf_startSimClient;
  s.stopSimClient = gf_stopSimClient;
  s.resetSimLink = gf_resetSimLink;
  s.flightRuns = [] { return simRunning.load() && !simQueuesBlocked.load(); };
  s.requestUserOnGround = lf_requestUserOnGroundData;
  s.userOnGroundKnown = [] { return userOnGround.known.load(); };
  s.userOnGround = [] { return userOnGround.onGround.load(); };
  s.refreshUserPosition = [] { userPosition = gf_requestUserAcPosition(); };
  s.requestUserTitleAndModel = gf_requestUserAcTitleAndModel;
  s.simUtcSeconds = [] { return static_cast<std::int64_t>(simUtcSeconds.load()); };
  s.clearPositionBuffers = [] {
    std::lock_guard lock(simQueueMutex);
    for (auto& side : positionUpdateBuffers.sides) side.clear();
  };
  s.clearUnmatchedAircraft = [] { unmatchedAircraft.clear(); };
  s.logUnmatchedAircraft = gf_logUnmatchedAircraft;
  s.clearCreationRequests = [] { creationRequests.clear(); };
  simLinkServices.checkP3dInstallPath = gf_checkP3dInstallPath;
}

void lf_wireRealTrafficLink(RunServices& s) {
  s.startPsxServer = gf_startPsxServer;
  s.waitForRealTraffic = gf_waitForRealTraffic;
  s.sendSimTime = gf_sendSimTime;
  s.sendUserPosition = gf_sendUserPosition;
  s.closePsxServer = gf_closePsxServer;
  s.setAcceptTraffic = [](bool accept) {
    std::lock_guard lock(trafficMutex);
    acceptTraffic = accept;
  };
  s.startQnhReader = [] { gf_startQnhReader(gf_qnhReaderPort()); };
  // Without RealTraffic on this PC its datagrams come from another computer.
  s.startTrafficReader = [](bool realTrafficHere) {
    gf_startTrafficReader(gf_trafficReaderPort(), realTrafficHere);
  };
  s.setReaderUserPosition = [](const LatLon& position) { trafficReader.setUserLatLon(position); };
  s.checkReaderLamps = gf_checkReaderLamps;
  s.startCallsignCollection = [] { trafficReader.startCallsignCollection(); };
  s.stopReaders = gf_stopReaders;
  s.resetRealTrafficLink = gf_resetReaders;
}

}  // namespace

void gf_wireProgram() {
  RunServices& s = runServices;
  lf_wireDataAndScans(s);
  lf_wireSimulatorLink(s);
  lf_wireRealTrafficLink(s);
  lf_wireEngine(s);
  lf_wireParking(s);
  // The window registers the displays itself when it is created; the shell adds its own.
  windowServices.autoRange = lf_autoRange;
}
