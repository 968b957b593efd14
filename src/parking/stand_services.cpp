// The park airport's stands as the engine, the simulator link and the shell use them.
#include "parking/stand_services.hpp"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "foundation/geodesy.hpp"
#include "parking/apf_state.hpp"
#include "parking/slot_sets.hpp"
#include "parking/stand_search.hpp"
#include "parking/static_parking.hpp"
#include "runstate/run_control.hpp"
#include "simlink/user_aircraft.hpp"

std::vector<StaticCandidate> staticCandidates;
std::string reservedStandName;
std::atomic<float> meanStaticParkedHours{-1.0f};

namespace {

constexpr double startDistance = 900.0;                  // nm: farther than any stand
constexpr double suitMargin = 0.0009719222462203025;     // nm (1.8 m)
constexpr double oneMetre = 0.0005399568034557236;       // nm
constexpr double optionMatchRadius = 0.0458963282937365;  // nm (85 m)
constexpr double sameSpot = 1e-8;                         // degrees

// What the simulator thread may know of the stands: names and positions, copied by the run
// thread whenever standTable is filled or emptied, with the last nearest-stand answer.
struct StandSpot {
  std::string name;
  LatLon position;
};
struct NearestStand {
  std::mutex mutex;
  std::vector<StandSpot> spots;
  bool cacheValid = false;
  LatLon cachedPosition;
  std::string cachedName;
};
NearestStand nearestStand;

bool lf_isReserved(const Stand& stand) {
  return stand.reserved != 0 || (!reservedStandName.empty() && stand.name == reservedStandName);
}

// A heli stand is for helicopters only, and a helicopter takes only a heli stand.
bool lf_heliRuleAllows(const Stand& stand, const LiveAc& aircraft) {
  return (stand.heli != 0) == (aircraft.category == AcCategory::Rotorcraft);
}

bool lf_suits(const Stand& stand, const LiveAc& aircraft) {
  if (stand.type != 0) return gf_standFitsCategory(stand.type, aircraft.category);
  return aircraft.radius - stand.radius <= suitMargin + 1e-12;  // metres converted both ways round
}

// A real option of the stand that names the flight or has the aircraft's type and operator.
bool lf_knowsFlight(const Stand& stand, const LiveAc& aircraft) {
  return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
    if (o.number == 0 || o.real != 1) return false;
    return o.cs1 == aircraft.callsign || o.cs2 == aircraft.callsign ||
           gf_sameCodes(o.codes, aircraft.codes);
  });
}

// No great-circle distance is shorter than the latitude difference (60 nm a degree, a hair
// less against rounding): most stands are ruled out without the trigonometry.
bool lf_fartherThan(const LatLon& a, double latitude, double nm) {
  return std::fabs(a.lat - latitude) * 59.9999 > nm;
}

bool lf_sameSpot(const LatLon& a, const LatLon& b) {
  return std::fabs(a.lat - b.lat) < sameSpot && std::fabs(a.lon - b.lon) < sameSpot;
}

}  // namespace

void gf_setStandOccupied(std::int32_t standNumber, bool occupied) {
  if (Stand* stand = gf_findStandByNumber(standNumber)) stand->occupied = occupied ? 1 : 0;
}

Stand* gf_findStandNamed(const std::string& name) {
  auto it = std::find_if(standTable.begin(), standTable.end(),
                         [&](const Stand& stand) { return stand.name == name; });
  return it == standTable.end() ? nullptr : &*it;
}

void gf_publishStandPositions() {
  std::vector<StandSpot> spots;
  spots.reserve(standTable.size());
  for (const Stand& stand : standTable) spots.push_back({stand.name, {stand.latitude, stand.longitude}});
  std::lock_guard lock(nearestStand.mutex);
  nearestStand.spots.swap(spots);
  // An answer about the stands before is no answer about these.
  nearestStand.cacheValid = false;
}

std::string gf_nearestStandName(double latitude, double longitude) {
  const LatLon position{latitude, longitude};
  std::lock_guard lock(nearestStand.mutex);
  if (nearestStand.spots.empty() || !userOnGround.onGround.load()) return {};
  if (nearestStand.cacheValid && lf_sameSpot(position, nearestStand.cachedPosition))
    return nearestStand.cachedName;
  double best = startDistance;
  const StandSpot* found = nullptr;
  for (const StandSpot& spot : nearestStand.spots) {
    if (lf_fartherThan(position, spot.position.lat, standSearchRadiusWide)) continue;
    const double distance = gf_distanceNm(position, spot.position);
    if (distance <= standSearchRadiusWide && distance < best) {
      best = distance;
      found = &spot;
    }
  }
  nearestStand.cachedPosition = position;
  nearestStand.cachedName = found ? found->name : std::string();
  nearestStand.cacheValid = true;
  return nearestStand.cachedName;
}

Stand* gf_findStandForAircraft(const LiveAc& aircraft, double latitude, double longitude,
                               double radiusNm, bool allowOptionMatch) {
  const LatLon position{latitude, longitude};
  double best = startDistance;
  double bestFallback = startDistance;
  bool optionMatch = allowOptionMatch && !aircraft.callsign.empty();
  Stand* result = nullptr;
  Stand* tooSmall = nullptr;
  Stand* fallback = nullptr;
  const double reach = std::max(radiusNm, optionMatch ? optionMatchRadius : 0.0);
  for (Stand& stand : standTable) {
    if (stand.occupied || stand.taken || lf_isReserved(stand) || !lf_heliRuleAllows(stand, aircraft) ||
        lf_fartherThan(position, stand.latitude, reach))
      continue;
    const double distance = gf_distanceNm(position, {stand.latitude, stand.longitude});
    const bool suits = lf_suits(stand, aircraft);
    if (distance <= radiusNm && distance < best && (suits || distance <= standSearchRadiusNarrow)) {
      result = &stand;
      best = distance;
      optionMatch = false;
      if (!suits) tooSmall = &stand;
    } else if (optionMatch && suits && distance <= optionMatchRadius && distance < bestFallback &&
               lf_knowsFlight(stand, aircraft)) {
      fallback = &stand;
      bestFallback = distance;
    }
  }
  if (!result) result = fallback;
  if (result && result == tooSmall) {
    result->radius = aircraft.radius - oneMetre;
    result->radius_change = 1;
    gf_countLearnedUpdate();
  }
  return result;
}

void gf_matchStandOption(std::uint64_t weekSlot, LiveAc& aircraft) {
  const WeekSlot now = WeekSlot::fromPacked(weekSlot);
  if (!now.valid()) return;
  const std::string& full = aircraft.callsign;
  std::string shortened = full;
  if (shortened.ends_with('_')) shortened.pop_back();
  if (shortened.empty()) return;

  // The window around now, per day: yesterday's late and tomorrow's early half hours count.
  const std::int32_t reach = aircraft.category == AcCategory::Heavy ? 14 : 10;
  const std::int32_t previousDay = gf_weekSlotShifted(now, -48).day;
  const std::int32_t nextDay = gf_weekSlotShifted(now, 48).day;
  HalfHourSet today, previous, next;
  for (std::int32_t d = -reach; d <= reach; ++d) {
    const WeekSlot slot = gf_weekSlotShifted(now, d);
    HalfHourSet& set = slot.day == now.day ? today : d < 0 ? previous : next;
    set.set(static_cast<std::uint32_t>(slot.halfHour));
  }
  auto inWindow = [&](const StandOption& o) {
    const auto day = static_cast<std::int32_t>(o.day);
    return (day == now.day && o.hours.intersects(today)) ||
           (day == previousDay && o.hours.intersects(previous)) ||
           (day == nextDay && o.hours.intersects(next));
  };
  auto namesFlight = [&](const std::string& cs) { return !cs.empty() && (cs == full || cs == shortened); };

  for (const Stand& stand : standTable) {
    for (const StandOption& option : stand.options) {
      if (option.number == 0 || option.codes.airlineId != aircraft.codes.airlineId ||
          option.cs2.empty() || !inWindow(option))
        continue;
      if (!namesFlight(option.cs1) && !namesFlight(option.cs2)) continue;
      aircraft.liveCallsign = option.cs1;
      aircraft.altCallsign = option.cs2;
      return;
    }
  }
}

void gf_learnStandCargoChange(LiveAc& aircraft) {
  if (!aircraft.codes.cargo || aircraft.cargoStand) return;
  Stand* stand = gf_findStandByNumber(aircraft.standId);
  if (!stand || stand->cargo) return;
  stand->cargo = 1;
  stand->cargo_change = 1;
  gf_countLearnedUpdate();
}

std::int32_t gf_countStaticAc(bool showMean) {
  const WeekSlot now = WeekSlot::fromPacked(currentWeekSlot.load());
  std::int32_t count = 0;
  std::int64_t halfHours = 0;
  for (const AcBase& aircraft : staticAcTable) {
    if (aircraft.simState != SimState::active && aircraft.simState != SimState::removingfromsim)
      continue;
    ++count;
    const WeekSlot start = WeekSlot::fromPacked(aircraft.parkingStart);
    if (showMean && now.valid() && start.valid()) halfHours += gf_weekSlotsBetween(start, now);
  }
  if (showMean && !weekPassUsed) {
    const float mean = count == 0 ? 0.0f
                                   : static_cast<float>(static_cast<double>(halfHours) / (2.0 * count) + 0.5);
    const float shown = meanStaticParkedHours.load();
    if (mean != shown || std::isnan(mean) || std::isnan(shown)) {
      meanStaticParkedHours.store(mean);
      if (airportFileDisplay.showStaticAverageFit) airportFileDisplay.showStaticAverageFit(mean);
      gf_repaintAirportBand();
    }
  }
  return count;
}

namespace wdrx::testing {
void resetStandServices() {
  std::lock_guard lock(nearestStand.mutex);
  nearestStand.spots.clear();
  nearestStand.cacheValid = false;
  nearestStand.cachedName.clear();
}
}  // namespace wdrx::testing
