#include "simlink/sim_queues.hpp"

#include <algorithm>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_ids.hpp"
#include "simlink/sim_results.hpp"
#include "simlink/user_aircraft.hpp"

std::mutex simQueueMutex;
std::vector<ClientEventRecord> clientEventQueue;
std::vector<AiCreationRecord> aiCreationQueue;
std::vector<std::uint32_t> aiRemovalQueue;
PositionBuffers positionUpdateBuffers;
std::vector<PendingCreation> pendingCreations;
std::vector<std::uint32_t> newSimObjects;
std::atomic<bool> simQueuesBlocked{false};
std::atomic<std::uint32_t> expectedP3dVersion{5};

namespace {
// SimClient thread only.
std::vector<std::uint32_t> refusedCreations;  // hexids whose livery the packet cannot carry
std::vector<PendingCreation> lateCreations;    // timed out, waiting in case the object appears
std::chrono::steady_clock::time_point lastExpiryCheck{};
bool expiryClockStarted = false;

void lf_reserve(auto& container, std::size_t count) {
  if (container.capacity() < count) container.reserve(count);
}

// Under simQueueMutex. False when the creation could not be sent because of its livery title.
void lf_createAiInSim(SimConnection* handle, const AiCreationRecord& record) {
  const std::string title(record.liveryTitle);
  const std::string callsign = record.callsign.substr(0, simTailNumberLength - 1);
  SimConnectResult result = simStringTooLong;
  if (title.size() < simNameFieldLength) {
    result = SimConnect_AICreateNonATCAircraft(handle, title.c_str(), callsign.c_str(),
                                               record.position, simid::reqCreate);
  }
  if (result == simStringTooLong) {
    // The simulator never saw it: the livery is unusable, not the connection.
    gf_logMarked(wdrx::format("! livery title too long to create ac, hexid:{}, liv: '{}', callsign: {}",
                              record.hexid, title, callsign));
    if (record.hexid != 0) refusedCreations.push_back(record.hexid);
    return;
  }
  if (simFailed(result)) {
    gf_logMarked(wdrx::format("! Simcon call to create ac in sim failed, hexid:{}, liv: '{}', callsign: {})",
                              record.hexid, title, callsign));
    gf_reportSimRequestError();
    return;
  }
  std::uint32_t sendId = 0;
  if (simFailed(SimConnect_GetLastSentPacketID(handle, &sendId))) {
    gf_logMarked("GetLastSentPacketID");
    sendId = 0;
  }
  pendingCreations.push_back(PendingCreation{sendId, record.hexid, callsign, {}});
}

// Under simQueueMutex.
void lf_removeAiFromSim(SimConnection* handle, std::uint32_t objectId) {
  if (objectId <= userObjectId.load()) {
    gf_logMarked(wdrx::format("SimConnect call to remove ac with objectid {}", objectId));
    return;
  }
  if (simFailed(SimConnect_AIRemoveObject(handle, objectId, simid::reqRemove))) {
    gf_logMarked(wdrx::format("{} !SimConnect call to remove AI ac from sim failed, id {}?",
                              gf_timeOfDay(), objectId));
    gf_reportSimRequestError();
  }
}

void lf_appendEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value) {
  clientEventQueue.push_back(ClientEventRecord{objectId, eventId, value});
}

void lf_emptyQueues() {
  positionUpdateBuffers.send().clear();
  clientEventQueue.clear();
  aiCreationQueue.clear();
  aiRemovalQueue.clear();
}
}  // namespace

void gf_queueAiCreation(const AiCreationRecord& record) {
  std::lock_guard lock(simQueueMutex);
  aiCreationQueue.push_back(record);
}

void gf_queueAiRemoval(std::uint32_t objectId) {
  std::lock_guard lock(simQueueMutex);
  aiRemovalQueue.push_back(objectId);
}

void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value) {
  std::lock_guard lock(simQueueMutex);
  lf_appendEvent(objectId, eventId, value);
}

void gf_queueEngineStart(std::uint32_t objectId) {
  gf_queueClientEvent(objectId, simid::engineAutoStart, 0);
}
void gf_queueEngineShutdown(std::uint32_t objectId) {
  gf_queueClientEvent(objectId, simid::engineAutoShutdown, 0);
}
void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value) {
  gf_queueClientEvent(objectId, simid::navLights, value);
}
void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value) {
  gf_queueClientEvent(objectId, simid::cabinLights, value);
}

void gf_queueLights(std::uint32_t objectId, const LightsRecord& lights) {
  std::lock_guard lock(simQueueMutex);
  lf_appendEvent(objectId, simid::navLights, lights.nav);
  lf_appendEvent(objectId, simid::beaconLights, lights.beacon);
  lf_appendEvent(objectId, simid::landingLights, lights.landing);
  lf_appendEvent(objectId, simid::taxiLights, lights.taxi);
  lf_appendEvent(objectId, simid::strobes, lights.strobes);
  lf_appendEvent(objectId, simid::logoLights, lights.logo);
  lf_appendEvent(objectId, simid::cabinLights, lights.cabin);
}

bool gf_handOverPositions() {
  std::unique_lock lock(simQueueMutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    positionUpdateBuffers.fill().clear();
    return false;
  }
  positionUpdateBuffers.fillIndex ^= 1;
  positionUpdateBuffers.fill().clear();
  return true;
}

void gf_initSimQueues(std::uint32_t expectedMajorVersion) {
  expectedP3dVersion.store(expectedMajorVersion);
  {
    std::lock_guard lock(simQueueMutex);
    for (auto& side : positionUpdateBuffers.sides) lf_reserve(side, 256);
    lf_reserve(aiCreationQueue, 256);
    lf_reserve(aiRemovalQueue, 256);
  }
  // The SimClient thread is not running yet.
  lf_reserve(pendingCreations, 256);
  lf_reserve(newSimObjects, 256);
  lf_reserve(refusedCreations, 256);
  simQueuesBlocked.store(false);
}

void gf_resetSimQueues() {
  {
    std::lock_guard lock(simQueueMutex);
    for (auto& side : positionUpdateBuffers.sides) side.clear();
    positionUpdateBuffers.fillIndex = 0;
    clientEventQueue.clear();
    aiCreationQueue.clear();
    aiRemovalQueue.clear();
  }
  pendingCreations.clear();
  lateCreations.clear();
  newSimObjects.clear();
  refusedCreations.clear();
  expiryClockStarted = false;
  simQueuesBlocked.store(false);
}

void gf_reportSimRequestError() {
  gf_postStatus("SimConnect request error", true);
  simQueuesBlocked.store(true);
  gf_requestRunStop(ExitReason::SimConnectError, 9);
}

SimConnection* gf_simRequestHandle() {
  return simQueuesBlocked.load() ? nullptr : simConnectHandle.load();
}

void lf_flushSimQueues() {
  std::unique_lock lock(simQueueMutex, std::try_to_lock);
  if (!lock.owns_lock()) return;  // the queues keep their contents for the next frame
  if (simQueuesBlocked.load()) {
    lf_emptyQueues();
    return;
  }
  SimConnection* handle = simConnectHandle.load();
  const std::uint32_t userId = userObjectId.load();

  auto& positions = positionUpdateBuffers.send();
  for (const auto& record : positions) {
    if (record.objectId <= userId) continue;
    SimConnect_SetDataOnSimObject(handle, simid::defAiPosition, record.objectId, 0, 0, 64,
                                  &record.latitude);
  }
  positions.clear();

  for (const auto& event : clientEventQueue) {
    const bool flaps = event.eventId == simid::flapsSet;
    if (flaps) SimConnect_AIReleaseControl(handle, event.objectId, simid::reqReleaseControl);
    if (simFailed(SimConnect_TransmitClientEvent(handle, event.objectId, event.eventId,
                                                 event.value, simid::group, 0))) {
      gf_postStatus(wdrx::format("SimConnect TransmitClientEvent: {} fails", event.eventId), true);
    } else if (flaps) {
      SimConnect_AIReleaseControl(handle, event.objectId, simid::reqReleaseControl);
    }
  }
  clientEventQueue.clear();

  for (const auto& record : aiCreationQueue) {
    if (simQueuesBlocked.load()) break;
    lf_createAiInSim(handle, record);
  }
  aiCreationQueue.clear();

  for (const std::uint32_t objectId : aiRemovalQueue) {
    if (simQueuesBlocked.load()) break;
    lf_removeAiFromSim(handle, objectId);
  }
  aiRemovalQueue.clear();
  lock.unlock();

  for (const std::uint32_t hexid : refusedCreations) {
    gf_pushSimResult(SimResult{0, hexid, 0, SimResultKind::creationFailed, 0.0, 0.0});
  }
  refusedCreations.clear();
}

void lf_expirePendingCreations() {
  const auto now = gf_clock().steadyNow();
  const auto elapsed = expiryClockStarted ? now - lastExpiryCheck : std::chrono::steady_clock::duration{};
  lastExpiryCheck = now;
  expiryClockStarted = true;
  if (elapsed <= std::chrono::steady_clock::duration::zero()) return;

  // Late entries age in wall time; they only wait for an object that may still turn up.
  for (auto& late : lateCreations) late.waited += elapsed;
  std::erase_if(lateCreations, [](const PendingCreation& late) { return late.waited > creationLateKeep; });

  if (!simRunning.load()) return;  // a paused simulator creates nothing
  for (std::size_t i = 0; i < pendingCreations.size();) {
    auto& pending = pendingCreations[i];
    pending.waited += elapsed;
    if (pending.waited <= creationTimeout) {
      ++i;
      continue;
    }
    gf_logMarked(wdrx::format("! creation of {} (hexid:{}) not confirmed by the sim after {} s",
                              pending.callsign, pending.hexid, creationTimeout.count()));
    if (pending.hexid != 0) {
      gf_pushSimResult(SimResult{0, pending.hexid, 0, SimResultKind::creationTimedOut, 0.0, 0.0});
    }
    pending.waited = {};
    lateCreations.push_back(std::move(pending));
    if (i + 1 != pendingCreations.size()) pending = std::move(pendingCreations.back());
    pendingCreations.pop_back();
  }
}

bool lf_removeLateCreation(std::uint32_t objectId, std::string_view atcId) {
  if (atcId.empty()) return false;
  const auto it = std::find_if(lateCreations.begin(), lateCreations.end(),
                               [&](const PendingCreation& late) { return late.callsign == atcId; });
  if (it == lateCreations.end()) return false;
  gf_logMarked(wdrx::format("{} (hexid:{}) appeared after its creation timed out, oid: {}, removed",
                            it->callsign, it->hexid, objectId));
  *it = std::move(lateCreations.back());
  lateCreations.pop_back();
  gf_queueAiRemoval(objectId);
  return true;
}
