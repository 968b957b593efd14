// Doubles of the livery and parking services the engine calls.
#include "engine/engine_doubles.hpp"

#include <algorithm>
#include <cmath>

#include "engine/engine.hpp"
#include "foundation/geodesy.hpp"
#include "liveries/livery_matching.hpp"
#include "parking/stand_learning.hpp"
#include "parking/stand_services.hpp"

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
  staticLiveryFor = nullptr;
  matchStaticLiveryCalls = 0;
  standOptions.clear();
  occupiedCalls.clear();
  occupiedHook = nullptr;
  cargoChangeCalls = 0;
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

bool gf_matchStaticLivery(AcBase& aircraft, const Stand&) {
  ++engineDoubles.matchStaticLiveryCalls;
  const std::string title = engineDoubles.staticLiveryFor ? engineDoubles.staticLiveryFor(aircraft)
                                                          : "Static " + modelCodes[aircraft.codes.modelId];
  if (title.empty()) return false;
  aircraft.liveryTitle = engineDoubles.keepTitle(title);
  return true;
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

// The double above reads standTable itself: there is no copy to publish.
void gf_publishStandPositions() {}

void gf_setStandOccupied(std::int32_t standNumber, bool occupied) {
  if (engineDoubles.occupiedHook) engineDoubles.occupiedHook(standNumber, occupied);
  engineDoubles.occupiedCalls.emplace_back(standNumber, occupied);
  if (Stand* stand = gf_findStandByNumber(standNumber)) stand->occupied = occupied ? 1 : 0;
}

void gf_learnStandCargoChange(LiveAc&) { ++engineDoubles.cargoChangeCalls; }

void lf_addRealStandOption(std::int32_t standNumber, AcBase& aircraft, int event) {
  engineDoubles.standOptions.push_back({standNumber, aircraft.callsign, event});
}
