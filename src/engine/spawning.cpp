// Whether a buffered live aircraft may be shown now, its livery, first flight state, stand and
// start position, and what happens when the simulator reports its object created.
#include <algorithm>
#include <cmath>

#include "aircraft/registrations.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "engine/removal_rules.hpp"
#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "liveries/livery_matching.hpp"
#include "parking/stand_learning.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "records/record_texts.hpp"
#include "runstate/run_control.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_ids.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/user_aircraft.hpp"

namespace {

constexpr double twoPi = 6.283185307179586;

// Live aircraft that count against MAX_LIVE_SEL this cycle (active, being created or
// respawned), counted at the start of the update and kept up to date by the spawning.
std::int32_t liveSlotsUsed = 0;

LatLon lf_pos(const PositionSample& s) { return {s.latitude, s.longitude}; }
LatLon lf_userPos() { return {userPosition.latitude, userPosition.longitude}; }

bool lf_landingQueued(const SampleQueue& q) {
  bool airborneSeen = false;
  for (const PositionSample& s : q) {
    if (s.airborne != 0) {
      airborneSeen = true;
    } else if (airborneSeen) {
      return true;
    }
  }
  return false;
}

bool lf_ghostName(const std::string& callsign) { return !callsign.empty() && callsign.back() == '_'; }

std::string lf_sameLiveText(const AcBase& st, const LiveAc& ac) {
  const bool same = (!st.liveCallsign.empty() && st.liveCallsign == ac.callsign) ||
                    (!st.registration.empty() && st.registration == ac.registration);
  return same ? " the same live version" : "";
}

}  // namespace

void lf_countLiveSlots() {
  liveSlotsUsed = 0;
  for (const LiveAc& ac : liveAcTable) {
    if (ac.simState == SimState::active || ac.simState == SimState::adding2sim ||
        ac.simState == SimState::liveryrespawn)
      ++liveSlotsUsed;
  }
}

void lf_handleBufferedAc(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  if (q.empty()) {
    ac.remove = 1;
    return;
  }
  if (engineCycle.load() < q.front().dueCycle) return;
  if (q.size() == 1) {
    q.pop_front();
    ac.remove = 1;
    return;
  }
  if (lf_ghostName(ac.callsign) &&
      std::find(ghostCallsigns.begin(), ghostCallsigns.end(), ac.callsign) != ghostCallsigns.end()) {
    ac.remove = 1;
    return;
  }
  if (lf_landingQueued(q)) {
    q.pop_front();
    return;
  }
  if (lf_holdForUser(ac)) return;
  if (liveAddQueue.size() > 10 && ac.flightState == FlightState::birth) {
    q.pop_front();
    return;
  }
  const std::int32_t maxLive = MAX_LIVE_SEL.value.load();
  if (maxLive == 0) {
    ac.remove = 1;
    return;
  }
  if (liveSlotsUsed >= maxLive) {
    if (gf_removeFarthestAc(gf_distanceNm(lf_userPos(), lf_pos(q.front())))) {
      ac.remove = 1;
      return;
    }
    --liveSlotsUsed;
  }
  const std::string blocked = BLOCK_CALLSIGN.value.load();
  if (!blocked.empty() && blocked == ac.callsign) {
    ac.remove = 1;
    return;
  }
  if (ac.codes.fromDbase == 0) {
    if (!ac.registration.empty()) {
      if (const auto found = gf_findRegistration(ac.registration)) ac.codes = *found;
    }
    if (ac.codes.airlineId == 0)
      ac.codes.airlineId = gf_airlineId(gf_airlineFromCallsign(ac.callsign).value_or("PVT"));
  }
  if (!gf_callsignUsable(ac)) {
    ac.callsign = ac.registration;
    ac.liveCallsign = ac.callsign;
    if (!gf_callsignUsable(ac)) {
      ac.remove = 1;
      return;
    }
  }
  if (!unmatchedAircraft.empty() &&
      std::find(unmatchedAircraft.begin(), unmatchedAircraft.end(), gf_unmatchedKey(ac)) !=
          unmatchedAircraft.end()) {
    ac.remove = 1;
    return;
  }
  if (lf_ghostName(ac.callsign) && lf_isGhostOf(ac.callsign)) {
    ac.remove = 1;
    return;
  }
  spawnLiveAc(ac);
}

bool lf_holdForUser(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  const PositionSample front = q.front();
  if (userOnGround.onGround.load()) {
    if (ac.heldForUser != 0) {
      if (userPosition.groundSpeed > 8.0) {
        q.pop_front();
        return true;
      }
      if (front.airborne == 0) {
        const bool slowAndAway = front.groundSpeed <= 8.0 &&
                                 gf_distanceNm(lf_userPos(), lf_pos(front)) * 1852.0 >= 500.0;
        if (!slowAndAway) {
          q.pop_front();
          return true;
        }
      }
    }
    if (front.airborne == 0 && COLLISION_USER_GND.value.load() &&
        gf_distanceNm(lf_userPos(), lf_pos(front)) < 0.08099352051835854) {
      q.pop_front();
      return true;
    }
    return false;
  }
  if (!COLLISION_USER_AIR.value.load()) return false;
  // The near-user test looks at where the aircraft would appear and where it heads.
  ac.latitude = front.latitude;
  ac.longitude = front.longitude;
  ac.altitude = front.altitude;
  ac.heading = front.track * degToRad;
  if (gf_removeIfNearUser(ac, 1)) {
    ac.heldForUser = 1;
    q.pop_front();
    return true;
  }
  if (ac.heldForUser != 0) {
    q.pop_front();
    return true;
  }
  return false;
}

void spawnLiveAc(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  if (q.size() < 2) {
    gf_log(wdrx::format("{} sz:{}", "spawnLiveAc", q.size()));
    return;
  }
  if (q[1].onGroundMark != 0) {
    q[0].onGroundMark = 1;
    q[0].groundSpeed = 0.0;
    q[1].groundSpeed = 0.0;
    if (q.size() >= 3 && q[2].onGroundMark != 0) q[2].groundSpeed = 0.0;
  } else {
    q[0].onGroundMark = 0;
  }

  if (ac.flightState == FlightState::birth) {
    if (ac.liveryTitle.empty()) {
      if (const auto title = gf_takeCreationRequest(ac.hexid)) {
        ac.liveryTitle = *title;
        ac.fsltl = ac.liveryTitle.find("FSLTL_") != std::string_view::npos ? 1 : 0;
      } else {
        gf_matchLivery(ac);
        if (ac.liveryTitle.empty()) {
          if (!ac.registration.empty()) unmatchedAircraft.push_back(gf_unmatchedKey(ac));
          ac.remove = 1;
          return;
        }
        creationRequests[ac.hexid] = ac.liveryTitle;
      }
    }
    if (q.front().airborne != 0) {
      ac.setFlightState(FlightState::flying);
    } else {
      const SpawnStand stand = lf_findSpawnStand(ac);
      if (ac.remove != 0) return;
      if (stand.valid != 0) {
        ac.standLatitude = stand.latitude;
        ac.standLongitude = stand.longitude;
        ac.standHeading = stand.heading;
        ac.standId = stand.standId;
        ac.cargoStand = stand.cargo;
        ac.setFlightState(FlightState::parked);
        ac.parkingStart = currentWeekSlot.load();
        ac.parkedSince = gf_clock().steadyNow().time_since_epoch().count();
        ac.stopTest = 0;
        ac.stopCounter = 0;
        ac.stopStartDistance = 0.0;
        ac.stopLargestDistance = 0.0;
        // The stand is taken as long as this aircraft stands there.
        gf_setStandOccupied(ac.standId, true);
        gf_learnStandCargoChange(ac);
        q.truncate(1);
        q.front().latitude = stand.latitude;
        q.front().longitude = stand.longitude;
        q.front().track = stand.heading * radToDeg;
        lf_addRealStandOption(ac.standId, ac, StandEvent::createdParked);
        lf_maxPark(1);
        parkedAcQueue.push_back(ac.hexid);
      } else if (q[1].onGroundMark != 0) {
        q.pop_front();  // waits for a stand or for moving off
        return;
      } else {
        ac.setFlightState(FlightState::taxi);
      }
    }
  }
  if (ac.remove != 0 || ac.removed != 0) return;
  lf_initSpawnPosition(ac);
  ac.simState = SimState::adding2sim;
  ac.handOverCycle = 0;
  spawnStack.push_back(ac.hexid);
  ++liveSlotsUsed;
  if (!lf_ghostName(ac.callsign)) lf_removeGhost(ac.callsign);
}

SpawnStand lf_findSpawnStand(LiveAc& ac) {
  SpawnStand none;
  if (standTable.empty() || parkAirportCode.load().empty()) return none;
  const SampleQueue& q = ac.samples;
  const PositionSample& front = q.front();
  const Airport airport = parkAirport.load();
  if (gf_distanceNm({airport.latitude, airport.longitude}, lf_pos(front)) > 5.0) return none;
  LatLon at = lf_pos(front);
  if (front.onGroundMark == 0) {
    if (q.size() < 2 || q[1].groundSpeed > 5.0 ||
        gf_distanceNm(lf_pos(q.back()), lf_pos(front)) > 0.018898488120950324)
      return none;
    at = lf_pos(q.back());
  }
  const Stand* found = gf_findStandForAircraft(ac, at.lat, at.lon, standSearchRadiusWide, front.onGroundMark != 0);
  if (found == nullptr) return none;
  // Copied: the rules below may change the stand table's flags.
  const std::string name = found->name;
  const std::vector<std::uint32_t> neighbours = found->neighbours;
  SpawnStand stand;
  stand.latitude = found->latitude;
  stand.longitude = found->longitude;
  stand.heading = found->heading;
  stand.standId = static_cast<std::int32_t>(found->number);
  stand.cargo = found->cargo;
  if ((!reservedStandName.empty() && name == reservedStandName) ||
      name == gf_nearestStandName(userPosition.latitude, userPosition.longitude))
    return none;
  bool free = lf_claimStand(stand.standId, ac.callsign);
  for (std::size_t i = 0; free && i < neighbours.size(); ++i)
    free = lf_adjacentStandFree(static_cast<std::int32_t>(neighbours[i]), ac, stand.standId);
  if (!free) {
    ac.remove = 1;
    return none;
  }
  lf_makeWayForLive(ac, stand);
  ac.samples.front().onGroundMark = 1;
  ac.samples.front().groundSpeed = 0.0;
  stand.valid = 1;
  return stand;
}

void lf_makeWayForLive(const LiveAc& ac, const SpawnStand& stand) {
  for (AcBase& st : staticAcTable) {
    if (st.standId != stand.standId ||
        (st.simState != SimState::adding2sim && st.simState != SimState::active))
      continue;
    const std::string name = lf_standName(stand.standId);
    if (st.simState == SimState::adding2sim) {
      if (st.removeWhenCreated == 0 && gf_dropQueuedCreation(staticAddQueue, st)) {
        st.removed = 1;
        gf_log(wdrx::format("queued {:8}: {:8} {} makes way for{} {} {}", name, st.callsign,
                            st.registration, lf_sameLiveText(st, ac), ac.callsign, ac.registration));
      } else {
        st.removeWhenCreated = 1;
      }
    } else {
      gf_log(wdrx::format("{:8}: {:8} {} makes way for{} {} {}", name, st.callsign, st.registration,
                          lf_sameLiveText(st, ac), ac.callsign, ac.registration));
      removeAircraftFromSim(st);
    }
    break;
  }
  gf_compactStaticAcTable();
  const Stand* chosen = gf_findStandByNumber(stand.standId);
  if (chosen == nullptr) return;
  const std::vector<std::uint32_t> neighbours = chosen->neighbours;
  for (std::uint32_t neighbour : neighbours)
    lf_makeWayAtExcludedStand(ac, static_cast<std::int32_t>(neighbour), stand);
}

void lf_makeWayAtExcludedStand(const LiveAc& ac, std::int32_t neighbour, const SpawnStand& stand) {
  const Stand* other = gf_findStandByNumber(neighbour);
  if (other == nullptr) return;
  const double apart = gf_distanceNm({other->latitude, other->longitude}, {stand.latitude, stand.longitude});
  for (AcBase& st : staticAcTable) {
    if (st.standId != neighbour || st.simState != SimState::active) continue;
    if (apart > 1.1 * (st.radius + ac.radius)) continue;
    gf_log(wdrx::format("{:8}: {:8} makes way for {} parking at excluded stand {}", other->name,
                        st.callsign, ac.callsign, lf_standName(stand.standId)));
    removeAircraftFromSim(st);
    return;
  }
}

void lf_initSpawnPosition(LiveAc& ac) {
  approachList.push_back(ac.hexid);
  const SampleQueue& q = ac.samples;
  const PositionSample& front = q.front();
  ac.latitude = front.latitude;
  ac.longitude = front.longitude;
  ac.altitude = front.altitude;
  ac.trueAirspeed = front.trueAirspeed;
  ac.verticalSpeed = front.verticalSpeed / 60.0;
  if (front.airborne != 0) {
    const double v = front.verticalSpeed >= 0.0 ? std::min(front.verticalSpeed, 2400.0)
                                                : std::max(front.verticalSpeed / 2.0, -3000.0);
    ac.pitch = -(3.0 + 2.2 * v / 600.0) * degToRad;
  } else {
    ac.pitch = 0.6 * degToRad;
  }
  ac.bank = front.roll.value_or(0.0);
  double heading = 0.0;
  if (ac.hasKeptHeading != 0) {
    heading = ac.keptHeading;
  } else if (ac.flightState == FlightState::parked) {
    heading = ac.standHeading;
  } else if (q.size() < 2 || q[1].onGroundMark != 0) {
    heading = front.track * degToRad;
  } else {
    heading = gf_bearing(lf_pos(front), lf_pos(q[1]));
  }
  heading = std::fmod(heading, twoPi);
  if (heading < 0.0) heading += twoPi;
  if (heading > 6.283185307178586 || !std::isfinite(heading)) heading = 0.0;
  ac.heading = heading;
  ac.groundHeading = front.airborne == 0 ? heading : 0.0;
  ac.heldForUser = 0;
}

bool lf_onAcCreated(LiveAc& ac, const SimResult& result) {
  if (result.objectId < 3) return false;
  ac.objectId = result.objectId;
  gf_indexObjectId(ac);
  ac.heightAboveGround = result.second;
  if (!ac.samples.empty() && ac.samples.front().airborne == 0) lf_parkOnCreation(ac);
  lf_setFlightPlan(ac);
  std::lock_guard lock(simQueueMutex);
  SimConnection* handle = gf_simRequestHandle();
  if (handle != nullptr &&
      simFailed(SimConnect_RequestDataOnSimObject(handle, simid::reqStaticCg, simid::defStaticCg,
                                                  ac.objectId, SimPeriod::Once))) {
    gf_log("SimConnect request StaticCG fails");
    gf_reportSimRequestError();
  }
  return true;
}

void lf_parkOnCreation(LiveAc& ac) {
  ac.onGround = 1;
  ac.altitudeRate = 0.0;
  if (ac.flightState != FlightState::parked) {
    ac.flareCounter = 1;
    return;
  }
  ac.parkingStart = currentWeekSlot.load();
  const std::string name = lf_standName(ac.standId);
  gf_log(wdrx::format("{:8}: {:8} parks", name, ac.callsign));
  std::erase_if(staticCandidates, [&ac](const StaticCandidate& c) { return c.standNumber == ac.standId; });
  for (AcBase& st : staticAcTable) {
    if (st.standId != ac.standId || st.simState != SimState::active) continue;
    gf_log(wdrx::format("{:8}: {:8} parks over static {} \x97 static will be removed", name, ac.callsign,
                        st.callsign));
    removeAircraftFromSim(st);
    break;
  }
  ac.flareCounter = 1;
}

void lf_setFlightPlan(LiveAc& ac) {
  if (ac.origin.empty() || ac.destination.empty()) return;
  const auto path = gf_flightPlanFileName(ac.objectId);
  bool ok = gf_writeFlightPlan(path, ac.category, ac.origin.str(), ac.destination.str());
  if (ok) {
    std::lock_guard lock(simQueueMutex);
    SimConnection* handle = gf_simRequestHandle();
    ok = handle != nullptr && !simFailed(SimConnect_AISetAircraftFlightPlan(handle, ac.objectId,
                                                                            path.string().c_str(),
                                                                            simid::reqFlightPlan));
  }
  if (ok) {
    ac.hasFlightPlan = 1;
  } else {
    gf_log(wdrx::format("{} creating a flight plan failed", gf_acShortText(ac)));
    ac.hasFlightPlan = 0;
  }
}

void lf_removeOverlappingStatic(LiveAc& ac) {
  if (ac.onGround == 0 || ac.touchdown != 0 || ac.climbOut != 0) return;
  ac.overlapLatitude = ac.latitude;
  ac.overlapLongitude = ac.longitude;
  for (AcBase& st : staticAcTable) {
    if (st.simState != SimState::active || st.callsign == ac.callsign) continue;
    if (gf_distanceNm({st.standLatitude, st.standLongitude}, {ac.latitude, ac.longitude}) >
        1.1 * (st.radius + ac.radius))
      continue;
    try {
      removeAircraftFromSim(st);
    } catch (const std::exception& e) {
      gf_log(wdrx::format("{} exception: {}", "lf_removeOverlappingStatic", e.what()));
    }
    return;
  }
}
