// One engine cycle: simulator results, the per-aircraft update, the position hand-over, the
// paced creations and removals, at most two new reports, and the periodic requests.
#include <algorithm>
#include <mutex>

#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "engine/removal_rules.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/user_error.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "records/record_texts.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_ids.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/link_state.hpp"
#include "traffic/psx_server.hpp"
#include "traffic/qnh.hpp"
#include "traffic/traffic_decoder.hpp"

std::vector<std::uint32_t> spawnStack;
std::deque<std::uint32_t> removeIdQueue;
std::vector<std::string> ghostCallsigns;
std::deque<std::uint32_t> approachList;
std::uint8_t flareActive = 0;
std::vector<SimResult> activationList;

namespace {

// Reports of this cycle, taken under trafficMutex and handled after it was released.
std::vector<LiveReport> takenReports;
std::vector<SimResult> resultBatch;  // the results being handled, under simResultMutex
// Reports dropped because the adding stack was full, since the last log line about them.
std::uint64_t droppedReports = 0;
std::int64_t droppedLoggedAt = -1;

constexpr std::int64_t droppedLogInterval = 6000;  // at most one line a minute

void lf_takeReports() {
  takenReports.clear();
  {
    std::lock_guard lock(trafficMutex);
    if (addingStack.size() > addingStackLimit) {
      const std::size_t excess = addingStack.size() - addingStackLimit;
      addingStack.erase(addingStack.begin(), addingStack.begin() + static_cast<std::ptrdiff_t>(excess));
      droppedReports += excess;
    }
    for (int i = 0; i < 2 && !addingStack.empty(); ++i) {
      takenReports.push_back(std::move(addingStack.front()));
      addingStack.pop_front();
    }
  }
  const std::int64_t cycle = engineCycle.load();
  if (droppedReports > 0 && (droppedLoggedAt < 0 || cycle - droppedLoggedAt >= droppedLogInterval)) {
    gf_log(wdrx::format("lf_handleAddingStack: {} report{} dropped, more than {} waiting",
                        droppedReports, droppedReports == 1 ? "" : "s", addingStackLimit));
    droppedReports = 0;
    droppedLoggedAt = cycle;
  }
  for (LiveReport& report : takenReports) {
    try {
      lf_takeReport(report);
    } catch (const std::exception& e) {
      gf_log(wdrx::format("{} exception: {}, callsign {}, hexid {}", "lf_takeReport", e.what(),
                          report.identity.callsign, report.hexid));
    }
  }
}

void lf_queueSpawned() {
  if (spawnStack.empty()) return;
  const std::uint32_t hexid = spawnStack.back();
  spawnStack.pop_back();
  LiveAc* ac = gf_findLiveAc(hexid);
  if (ac == nullptr) return;
  if (ac->callsign.empty()) {
    gf_log(wdrx::format("{} {} objectid = 0?", "lf_handleAddingStack", gf_acIdentText(*ac)));
    return;
  }
  AiCreationRecord record;
  record.position.latitude = ac->latitude;
  record.position.longitude = ac->longitude;
  record.position.altitude = ac->altitude;
  record.position.pitch = ac->pitch * radToDeg;
  record.position.bank = ac->bank * radToDeg;
  record.position.heading = ac->heading * radToDeg;
  record.position.onGround = (!ac->samples.empty() && ac->samples.front().airborne == 0) ? 1 : 0;
  record.position.airspeed = 0;
  record.callsign = ac->callsign;
  record.liveryTitle = ac->liveryTitle;
  record.hexid = hexid;
  liveAddQueue.push_back(std::move(record));
}

// Hands a queued creation to the simulator link and notes when, for its time-out.
void lf_handOverCreation(std::deque<AiCreationRecord>& queue) {
  gf_queueAiCreation(queue.front());
  const std::uint32_t hexid = queue.front().hexid;
  AcBase* ac = hexid > maxStaticHexid ? static_cast<AcBase*>(gf_findLiveAc(hexid)) : gf_findStaticAc(hexid);
  if (ac != nullptr) ac->handOverCycle = engineCycle.load();
  queue.pop_front();
}

// Static records whose creation or removal the simulator never answered leave their table.
void lf_expireStaticHandOvers() {
  const std::int64_t cycle = engineCycle.load();
  bool gone = false;
  for (AcBase& ac : staticAcTable) {
    if (ac.handOverCycle == 0) continue;
    const bool creating = ac.simState == SimState::adding2sim;
    const bool removing = ac.simState == SimState::removingfromsim;
    if ((creating && cycle - ac.handOverCycle > creationAnswerTimeout) ||
        (removing && cycle - ac.handOverCycle > removalAnswerTimeout)) {
      gf_log(wdrx::format("{:8}: {:8} {} not confirmed by the sim, dropped", lf_standName(ac.standId),
                          ac.callsign, creating ? "creation" : "removal"));
      ac.removed = 1;
      gone = true;
    }
  }
  if (gone) gf_compactStaticAcTable();
}

// Live and static records that hold an object handed over with this id.
void lf_markRemovalHandedOver(std::uint32_t objectId) {
  AcBase* ac = gf_findLiveAcByObjectId(objectId);
  if (ac == nullptr) ac = gf_findStaticAcByObjectId(objectId);
  if (ac != nullptr) ac->handOverCycle = engineCycle.load();
}

}  // namespace

void lf_setSpoilerAndThrottleLevers(const LiveAc& ac, double spoilers, double throttle) {
  const double values[3] = {spoilers, throttle, throttle};
  std::lock_guard lock(simQueueMutex);
  SimConnection* handle = gf_simRequestHandle();
  if (handle == nullptr) return;
  SimConnect_SetDataOnSimObject(handle, simid::defSpoilersThrottle, ac.objectId, 0, 0, sizeof values,
                                values);
}

namespace {

void lf_recomputeFlareActive() {
  flareActive = static_cast<std::uint8_t>(
      std::any_of(liveAcTable.begin(), liveAcTable.end(), [](const LiveAc& ac) { return ac.flareMark != 0; }));
}

void lf_onInRange(const SimResult& r) {
  LiveAc* ac = gf_findLiveAcByObjectId(r.objectId);
  if (ac == nullptr) return;
  if (r.key == 1 && ac->onGround == 0 && ac->flareCounter <= 1 &&
      ac->simState != SimState::removingfromsim && ac->flightState != FlightState::take_off) {
    if (ac->flareStage != 0 || ac->approach != 0) {
      // A landing.
      ac->touchdown = 1;
      ac->landingRoll = 1;
      ac->flareMark = 0;
      lf_recomputeFlareActive();
      ac->touchdownHeading = ac->heading;
      ac->approach = 0;
      ac->touchdownSeen = 1;
      gf_setSpoilers(*ac, 1);
      // Spoilers out; the levers to idle, or into reverse where the livery has reversers.
      if (ac->category != AcCategory::Light)
        lf_setSpoilerAndThrottleLevers(*ac, 100.0, ac->fsltl != 0 ? -100.0 : 0.0);
      const std::int32_t slots = ac->touchdownCycles;
      if (slots <= 0) {
        gf_log(wdrx::format("{} ! onGround slots {:.1f}", ac->callsign, static_cast<double>(slots)));
        ac->bankRate = 0.0;
        ac->pitchRate = ac->groundPitch;
      } else {
        ac->pitchRate = (ac->groundPitch - ac->pitch) / slots;
        ac->bankRate = (0.0 - ac->bank) / slots;
      }
      approachList.push_back(ac->hexid);
    }
    ac->onGround = 1;
    ac->altitudeRate = 0.0;
    ac->flareCounter = 1;
  }
  ac->heightAboveGround = r.second;
  ac->groundAltitude = r.first;
  if (ac->onGround != 0 || ac->flareCounter >= 2) ac->altitude = r.first + ac->staticHeight;
}

void lf_onStaticCg(const SimResult& r) {
  LiveAc* ac = gf_findLiveAcByObjectId(r.objectId);
  if (ac == nullptr) return;
  if (r.first >= 1.0 && r.first <= 35.0) ac->staticHeight = r.first;
  double pitch = r.second;
  if (pitch <= -0.017453292519943295 || pitch > 0.04363323129985824) pitch = 0.012217304763960306;
  ac->groundPitch = pitch;
}

// Refused: the simulator would not create the livery, which is not chosen again. Otherwise the
// creation went unanswered (timed out): the record goes, the livery stays usable.
void lf_onCreationFailed(const SimResult& r, bool refused) {
  std::string callsign;
  std::string_view title;
  AircraftCodes codes;
  if (r.key > maxStaticHexid) {
    LiveAc* ac = gf_findLiveAc(r.key);
    if (ac == nullptr || ac->simState != SimState::adding2sim) return;
    callsign = ac->callsign;
    title = ac->liveryTitle;
    codes = ac->codes;
    if (ac->standId != 0) gf_setStandOccupied(ac->standId, false);
    lf_eraseLiveAc(static_cast<std::size_t>(ac - liveAcTable.data()));
  } else {
    AcBase* ac = gf_findStaticAc(r.key);
    if (ac == nullptr || ac->simState != SimState::adding2sim) return;
    callsign = ac->callsign;
    title = ac->liveryTitle;
    codes = ac->codes;
    gf_eraseStaticAc(static_cast<std::size_t>(ac - staticAcTable.data()));
  }
  if (refused) gf_handleCreationFailure(callsign, title, codes);
}

void lf_handleSimResult(const SimResult& r) {
  switch (r.kind) {
    case SimResultKind::liveCreated: {
      LiveAc* ac = gf_findLiveAc(r.key);
      if (ac == nullptr || ac->simState != SimState::adding2sim || ac->objectId != 0) {
        // Nobody waits for this object any more: it leaves the simulator again.
        if (r.objectId > userObjectId.load()) removeIdQueue.push_back(r.objectId);
        return;
      }
      if (lf_onAcCreated(*ac, r)) activationList.push_back(r);
      return;
    }
    case SimResultKind::staticCreated:
      activationList.push_back(r);
      return;
    case SimResultKind::removed:
      gf_removeFlightPlan(r.objectId);
      return;
    case SimResultKind::inRange:
      lf_onInRange(r);
      return;
    case SimResultKind::staticCg:
      lf_onStaticCg(r);
      return;
    case SimResultKind::createdWhileBlocked:
      lf_removeBlocked(r.key);
      return;
    case SimResultKind::creationFailed:
      lf_onCreationFailed(r, true);
      return;
    case SimResultKind::creationTimedOut:
      lf_onCreationFailed(r, false);
      return;
    default:
      return;
  }
}

// An activation entry whose aircraft is not (or no longer) waiting for it.
void lf_waitForRecord(SimResult& entry) {
  if (++entry.activation < activationWaitLimit) return;
  gf_log(wdrx::format("lf_activateCreated: no aircraft waits for object {} (hexid {}), removed",
                      entry.objectId, entry.key));
  if (entry.objectId > userObjectId.load()) removeIdQueue.push_back(entry.objectId);
  entry.activation = simResultDone;
}

void lf_activateLive(LiveAc& ac) {
  const bool airborne = ac.samples.empty() || ac.samples.front().airborne != 0;
  LightsRecord lights;
  if (airborne) {
    gf_queueEngineStart(ac.objectId);
    gf_setSpoilers(ac, 0);
    lights.nav = 1;
    lights.beacon = 1;
    lights.landing = ac.altitude <= 10000.0 ? 1 : 0;
    lights.taxi = 0;
    lights.strobes = 1;
    lights.logo = ac.altitude <= 10000.0 ? 1 : 0;
    lights.cabin = ac.heightAboveGround >= 2000.0 ? 1 : 0;
    gf_queueLights(ac.objectId, lights);
  } else {
    gf_setSpoilers(ac, 0);
    const bool parked = ac.flightState == FlightState::parked;
    if (parked) {
      gf_queueEngineShutdown(ac.objectId);
      lights.nav = NAV_LIGHTS_WHILE_PARKED.value.load() ? 1 : 0;
    } else {
      gf_queueEngineStart(ac.objectId);
      lights.nav = 1;
    }
    lights.beacon = parked ? 0 : 1;
    lights.landing = 0;
    lights.taxi = ac.flightState == FlightState::taxi ? 1 : 0;
    lights.strobes = 0;
    lights.logo = 1;
    lights.cabin = 1;
    gf_queueLights(ac.objectId, lights);
    gf_setThrottle(ac, ac.category == AcCategory::Rotorcraft ? 4 : 0);
    gf_setFlaps(ac, ac.flightState == FlightState::taxi ? 1 : 0);
  }
  ac.simState = SimState::active;
  ac.handOverCycle = 0;
}

}  // namespace

void lf_activateCreated() {
  for (SimResult& entry : activationList) {
    if (entry.activation < 200) {
      ++entry.activation;
      if (entry.kind == SimResultKind::liveCreated && (entry.activation == 50 || entry.activation == 100))
        gf_queueClientEvent(entry.objectId, simid::allLightsToggle, 0);
      continue;
    }
    if (entry.kind == SimResultKind::staticCreated) {
      AcBase* ac = gf_findStaticAc(entry.key);
      if (ac == nullptr || ac->simState != SimState::adding2sim || ac->objectId != 0) {
        lf_waitForRecord(entry);
        continue;
      }
      ac->simState = SimState::active;
      ac->objectId = entry.objectId;
      ac->handOverCycle = 0;
      gf_indexObjectId(*ac);
      lf_activateStaticAc(*ac);
      entry.activation = simResultDone;
      gf_log(wdrx::format("{:8}: {:8} parked", lf_standName(ac->standId), ac->callsign));
      if (ac->removeWhenCreated != 0) {
        ac->removeWhenCreated = 0;
        removeAircraftFromSim(*ac);
      }
    } else {
      LiveAc* ac = gf_findLiveAc(entry.key);
      // Only the record this object was created for: a newer record with the same hexid has
      // another (or no) object id.
      if (ac == nullptr || ac->simState != SimState::adding2sim || ac->objectId != entry.objectId) {
        lf_waitForRecord(entry);
        continue;
      }
      lf_activateLive(*ac);
      entry.activation = simResultDone;
      if (ac->removeWhenCreated != 0) {
        ac->removeWhenCreated = 0;
        removeAircraftFromSim(*ac);
      }
    }
  }
  std::erase_if(activationList, [](const SimResult& e) { return e.activation == simResultDone; });
}

void gf_handleSimResults() {
  std::lock_guard lock(simResultMutex);
  resultBatch.clear();
  resultBatch.swap(simResultQueue);
  std::optional<tql::UserErrorException> userError;
  for (const SimResult& result : resultBatch) {
    try {
      lf_handleSimResult(result);
    } catch (const tql::UserErrorException& e) {
      if (!userError) userError.emplace(e);
    } catch (const std::exception& e) {
      gf_log(wdrx::format("{} exception: {}, kind {}, object {}, key {}", "gf_handleSimResults",
                          e.what(), result.kind, result.objectId, result.key));
    }
  }
  resultBatch.clear();
  if (!activationList.empty()) {
    try {
      lf_activateCreated();
    } catch (const std::exception& e) {
      gf_log(wdrx::format("{} exception: {}", "lf_activateCreated", e.what()));
    }
  }
  if (userError) throw *userError;
}

void lf_paceQueues() {
  const std::int64_t c = engineCycle.load();
  if (c % 10 == 0) {
    if (!removeIdQueue.empty()) {
      const std::uint32_t objectId = removeIdQueue.front();
      removeIdQueue.pop_front();
      gf_queueAiRemoval(objectId);
      lf_markRemovalHandedOver(objectId);
    }
    if (c % 50 == 0) {
      if (!liveAddQueue.empty()) {
        lf_handOverCreation(liveAddQueue);
      } else if (!staticAddQueue.empty()) {
        lf_handOverCreation(staticAddQueue);
      }
    }
    if (c % 100 == 0) lf_expireStaticHandOvers();
  }
  // Static placement: one candidate per cycle. A candidate that throws is dropped with the
  // record it had begun (still in buffer); the cycle goes on.
  try {
    lf_detcs();
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{} exception: {}", "lf_detcs", e.what()));
    for (AcBase& st : staticAcTable)
      if (st.simState == SimState::buffer) st.removed = 1;
    gf_compactStaticAcTable();
  }
}

void lf_requestAcInRange() {
  const std::int64_t c = engineCycle.load();
  if (c % (flareActive != 0 ? 20 : 100) == 0) {
    std::lock_guard lock(simQueueMutex);
    SimConnection* handle = gf_simRequestHandle();
    if (handle != nullptr &&
        simFailed(SimConnect_RequestDataOnSimObjectType(handle, simid::reqInRange, simid::defInRange,
                                                        rangeMeters.load(), SimObjectType::Aircraft))) {
      gf_log("SimConnect request ac within range fails");
      gf_reportSimRequestError();
    }
  }
  if (c % 20 == 0) gf_sendUserPosition();
  if (c % 100 == 0) userPosition = gf_requestUserAcPosition();
}

void lf_handleAddingStack() {
  gf_handleSimResults();

  lf_countLiveSlots();
  bool leaves = false;
  bool flaring = false;
  for (std::size_t i = 0; i < liveAcTable.size(); ++i) {
    if (updateLiveAc(liveAcTable[i])) leaves = true;
    flaring = flaring || liveAcTable[i].flareMark != 0;
  }
  flareActive = flaring ? 1 : 0;
  if (leaves) gf_compactLiveAcTable();

  gf_handOverPositions();
  lf_paceQueues();
  lf_takeReports();
  lf_queueSpawned();
  lf_requestAcInRange();
  engineCycle.fetch_add(1);
}

void gf_reserveEngineTables() {
  static std::once_flag once;
  std::call_once(once, [] {
    liveAcTable.reserve(512);
    staticAcTable.reserve(256);
    spawnStack.reserve(64);
    {
      std::lock_guard lock(simResultMutex);
      simResultQueue.reserve(256);
      resultBatch.reserve(256);
      activationList.reserve(128);
    }
    ghostCallsigns.reserve(64);
    takenReports.reserve(2);
    standTable.reserve(512);
    staticCandidates.reserve(512);
    parkedLiveList.reserve(64);
  });
}

void gf_resetEngineTables() {
  {
    std::lock_guard lock(simResultMutex);
    simResultQueue.clear();
    activationList.clear();
  }
  ghostCallsigns.clear();
  spawnStack.clear();
  removeIdQueue = {};
  liveAddQueue = {};
  staticAddQueue = {};
  approachList.clear();
  parkedAcQueue.clear();
  parkedLiveList.clear();
  {
    std::lock_guard lock(trafficMutex);
    addingStack = {};
  }
  gf_clearAcTables();
  flareActive = 0;
  qnhHpa.store(1013);
  droppedReports = 0;
  droppedLoggedAt = -1;
  // What the parking code keeps for the run: the park airport's stands and candidates.
  standTable.clear();
  // The simulator thread names the stand under the user from its own copy of the stands.
  gf_publishStandPositions();
  staticCandidates.clear();
  creationRequests.clear();
  unmatchedAircraft.clear();
  gf_invalidateCountersBand();
}

void gf_registerEngineServices() {
  engineServices.removeAircraftFromSim = [](AcBase& ac) { removeAircraftFromSim(ac); };
  engineServices.removeAllStaticAc = [] { gf_removeAllStaticAc(); };
  engineServices.dropQueuedCreation = [](std::deque<AiCreationRecord>& queue, const AcBase& ac) {
    return gf_dropQueuedCreation(queue, ac);
  };
  engineServices.removeIfNearUser = [](LiveAc& ac, int variant) { return gf_removeIfNearUser(ac, variant); };
  engineServices.removeAcAtStand = [](const std::string& name) { gf_removeAcAtStand(name); };
  engineServices.countParkedLiveAc = [](bool withMean) { return gf_countParkedLiveAc(withMean); };
  engineServices.listParkedLiveAc = [] { gf_listParkedLiveAc(); };
  engineServices.removeOldestParkedLive = [](std::size_t n) { gf_removeOldestParkedLive(n); };
  gf_setAbortLiveTraffic([] { lf_abortLiveTraffic(); });
}

void lf_abortLiveTraffic() {
  for (LiveAc& ac : liveAcTable) {
    if (ac.simState == SimState::active) {
      removeAircraftFromSim(ac);
    } else if (ac.simState == SimState::adding2sim && ac.removeWhenCreated == 0) {
      if (gf_dropQueuedCreation(liveAddQueue, ac) || std::erase(spawnStack, ac.hexid) > 0) {
        ac.removed = 1;
      } else {
        ac.removeWhenCreated = 1;
      }
    }
  }
  gf_compactLiveAcTable();
}
