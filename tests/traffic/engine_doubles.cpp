// Doubles of the livery and parking services the engine calls, and the movement stand-in.
#include "traffic/engine_doubles.hpp"

#include <algorithm>
#include <cmath>

#include "aircraft/liveries/livery_matching.hpp"
#include "airports/parking/stand_learning.hpp"
#include "airports/parking/stand_services.hpp"
#include "foundation/geodesy.hpp"
#include "traffic/engine/engine.hpp"
#include "traffic/engine/engine_cycle.hpp"
#include "traffic/engine/movement.hpp"

namespace wdrx::testing {

EngineDoubles engineDoubles;

std::string_view EngineDoubles::keepTitle(std::string title) {
  for (const std::string& kept : titles)
    if (kept == title) return kept;
  titles.push_back(std::move(title));
  return titles.back();
}

void EngineDoubles::reset() {
  liveryFor = nullptr;
  matchLiveryCalls = 0;
  standOptions.clear();
  occupiedCalls.clear();
  cargoChangeCalls = 0;
  nextPosCalls = followCurveCalls = takeOffConfigCalls = respawnCalls = detcsCalls = 0;
  maxParkCalls.clear();
  ghostRemovals.clear();
  claimStand = true;
  adjacentStandFree = true;
  nextPosHook = nullptr;
  ghostHook = nullptr;
}

Stand& addStand(const std::string& name, double latitude, double longitude, double headingRad,
                std::uint16_t type, std::vector<std::uint32_t> neighbours) {
  Stand& stand = standTable.emplace_back(std::vector<StandOption>{}, name,
                                         StandPosition{latitude, longitude, headingRad}, 37.0, type,
                                         false, false, false);
  stand.neighbours = std::move(neighbours);
  stand.number = static_cast<std::uint32_t>(standTable.size());
  return stand;
}

}  // namespace wdrx::testing

using wdrx::testing::engineDoubles;

// --- livery matching
void gf_matchLivery(LiveAc& aircraft) {
  ++engineDoubles.matchLiveryCalls;
  const std::string title = engineDoubles.liveryFor ? engineDoubles.liveryFor(aircraft)
                                                    : "Livery " + modelCodes[aircraft.codes.modelId];
  if (title.empty()) return;
  aircraft.liveryTitle = engineDoubles.keepTitle(title);
  aircraft.fsltl = title.find("FSLTL_") != std::string::npos ? 1 : 0;
}

// --- stands
std::string reservedStandName;
std::vector<StaticCandidate> staticCandidates;

Stand* gf_findStandForAircraft(const LiveAc& aircraft, double latitude, double longitude, double radiusNm,
                               bool) {
  Stand* best = nullptr;
  double bestDistance = radiusNm;
  for (Stand& stand : standTable) {
    if (stand.occupied != 0 || !gf_standFitsCategory(stand.type, aircraft.category)) continue;
    const double d = gf_distanceNm({latitude, longitude}, {stand.latitude, stand.longitude});
    if (d <= bestDistance) {
      best = &stand;
      bestDistance = d;
    }
  }
  return best;
}

std::string gf_nearestStandName(double latitude, double longitude) {
  const Stand* best = nullptr;
  double bestDistance = standSearchRadiusWide;
  for (const Stand& stand : standTable) {
    const double d = gf_distanceNm({latitude, longitude}, {stand.latitude, stand.longitude});
    if (d <= bestDistance) {
      best = &stand;
      bestDistance = d;
    }
  }
  return best != nullptr ? best->name : std::string();
}

void gf_setStandOccupied(std::int32_t standNumber, bool occupied) {
  engineDoubles.occupiedCalls.emplace_back(standNumber, occupied);
  if (Stand* stand = gf_findStandByNumber(standNumber)) stand->occupied = occupied ? 1 : 0;
}

void gf_learnStandCargoChange(LiveAc&) { ++engineDoubles.cargoChangeCalls; }

void lf_addRealStandOption(std::int32_t standNumber, AcBase& aircraft, int event) {
  engineDoubles.standOptions.push_back({standNumber, aircraft.callsign, event});
}

// --- movement stand-in: straight legs from sample to sample, no take-off or landing logic.
void nextPosMain(LiveAc& ac) {
  ++engineDoubles.nextPosCalls;
  if (engineDoubles.nextPosHook) {
    engineDoubles.nextPosHook(ac);
    return;
  }
  SampleQueue& q = ac.samples;
  if (q.size() < 2) {
    removeAircraftFromSim(ac);
    return;
  }
  const PositionSample reached = q.front();
  q.pop_front();
  const PositionSample& next = q.front();
  ac.latitude = reached.latitude;
  ac.longitude = reached.longitude;
  ac.altitude = reached.altitude;
  ac.legVerticalSpeed = next.verticalSpeed;
  ac.legTrueAirspeed = next.trueAirspeed;
  const double cycles = static_cast<double>(std::max<std::int64_t>(next.dueCycle - engineCycle.load(), 25));
  ac.latitudeRate = (next.latitude - ac.latitude) / cycles;
  ac.longitudeRate = (next.longitude - ac.longitude) / cycles;
  ac.altitudeRate = (next.altitude - ac.altitude) / cycles;
}

void lf_followCurve(LiveAc& ac) {
  ++engineDoubles.followCurveCalls;
  ac.latitude += ac.latitudeRate;
  ac.longitude += ac.longitudeRate;
  ac.altitude += ac.altitudeRate;
}

void lf_takeOffConfig(LiveAc& ac) {
  ++engineDoubles.takeOffConfigCalls;
  ac.climbOut = 1;
}

void liveryRespawn(LiveAc& ac) {
  ++engineDoubles.respawnCalls;
  ac.simState = SimState::liveryrespawn;
  ac.keptHeading = ac.heading;
  ac.hasKeptHeading = 1;
  if (ac.objectId != 0) removeIdQueue.push_back(ac.objectId);
}

void lf_removeGhost(const std::string& callsign) {
  engineDoubles.ghostRemovals.push_back(callsign);
  if (engineDoubles.ghostHook) engineDoubles.ghostHook(callsign);
  for (LiveAc& ac : liveAcTable) {
    if (ac.simState == SimState::removingfromsim || ac.callsign != callsign + "_") continue;
    ghostCallsigns.push_back(ac.callsign);
    removeAircraftFromSim(ac);
    return;
  }
}

bool lf_isGhostOf(const std::string& callsign) {
  if (callsign.empty()) return false;
  const std::string real = callsign.substr(0, callsign.size() - 1);
  return std::any_of(liveAcTable.begin(), liveAcTable.end(), [&real](const LiveAc& ac) {
    return ac.simState != SimState::removingfromsim && ac.callsign == real;
  });
}

bool lf_claimStand(std::int32_t, const std::string&) { return engineDoubles.claimStand; }
bool lf_adjacentStandFree(std::int32_t, const LiveAc&, std::int32_t) { return engineDoubles.adjacentStandFree; }
void lf_maxPark(std::int32_t extra) { engineDoubles.maxParkCalls.push_back(extra); }
void lf_detcs() { ++engineDoubles.detcsCalls; }
