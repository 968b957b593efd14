// Removal rules the result handling and the lower layers need: near the user, removed by the
// simulator, blocked, and the parked live and static aircraft of the park airport.
#include "engine/removal_rules.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "parking/stand_services.hpp"
#include "records/record_texts.hpp"
#include "runstate/run_control.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/user_aircraft.hpp"

namespace {

struct NearUserLimits {
  double distanceNm;
  double altitudeFeet;
  double lineFeet;
};
constexpr NearUserLimits nearUserLimits[2] = {{4.0, 1000.0, 700.0}, {6.0, 3000.0, 4000.0}};

bool lf_parkedActive(const LiveAc& ac) {
  return ac.flightState == FlightState::parked && ac.simState == SimState::active;
}

std::int64_t lf_slotIndex(std::uint64_t weekSlot) {
  return (static_cast<std::int64_t>(gf_weekSlotDay(weekSlot)) - 1) * 48 + gf_weekSlotHalfHour(weekSlot);
}

}  // namespace

bool gf_removeIfNearUser(LiveAc& ac, int variant) {
  const NearUserLimits& limits = nearUserLimits[variant == 0 ? 0 : 1];
  const LatLon user{userPosition.latitude, userPosition.longitude};
  const LatLon at{ac.latitude, ac.longitude};
  const double d = gf_distanceNm(user, at);
  if (!(d <= limits.distanceNm) || !(std::fabs(ac.altitude - userPosition.altitude) < limits.altitudeFeet))
    return false;
  const double x = gf_normalizePi(ac.heading - gf_bearing(user, at));
  const double feet = d * 6076.11549;
  // Heading toward the user, or passing the user wide: the aircraft stays.
  if (std::cos(x) * feet <= 0.0 || std::fabs(std::sin(x)) * feet > limits.lineFeet) return false;
  removeAircraftFromSim(ac);
  return true;
}

void gf_removeFlightPlan(std::uint32_t objectId) {
  if (LiveAc* ac = gf_findLiveAcByObjectId(objectId)) {
    if (ac->simState == SimState::liveryrespawn) {
      // Ready to be created again with its new livery.
      ac->simState = SimState::buffer;
      ac->objectId = 0;
      ac->lastThrottle = 5;
      ac->lastFlaps = 4;
      ac->handOverCycle = 0;
      return;
    }
    if (ac->hasFlightPlan != 0) {
      std::error_code error;
      std::filesystem::remove(gf_flightPlanFileName(objectId), error);
      if (error) gf_log(wdrx::format("gf_removeFlightPlan: {}", error.message()));
    }
    // An object the simulator removed on its own leaves its stand too.
    if (ac->standId != 0 && ac->simState == SimState::active) gf_setStandOccupied(ac->standId, false);
    lf_eraseLiveAc(static_cast<std::size_t>(ac - liveAcTable.data()));
    return;
  }
  if (AcBase* st = gf_findStaticAcByObjectId(objectId))
    gf_eraseStaticAc(static_cast<std::size_t>(st - staticAcTable.data()));
}

void lf_removeBlocked(std::uint32_t hexid) {
  LiveAc* ac = gf_findLiveAc(hexid);
  if (ac == nullptr) return;
  if (ac->simState == SimState::buffer) {
    const std::string time = gf_timeOfDay();
    gf_log(wdrx::format("{} {} will be removed from buffer while blocked",
                        time.size() > 8 ? time.substr(time.size() - 8) : time, gf_acIdentText(*ac)));
    ac->remove = 1;
  } else if (ac->simState == SimState::active) {
    gf_log(wdrx::format("{} removed from simulator immediately while blocked", gf_acIdentText(*ac)));
    removeAircraftFromSim(*ac);
  }
}

void gf_removeAllStaticAc() {
  for (AcBase& st : staticAcTable) {
    if (st.simState == SimState::active) {
      removeAircraftFromSim(st);
    } else if (st.simState == SimState::adding2sim && st.removeWhenCreated == 0) {
      if (gf_dropQueuedCreation(staticAddQueue, st)) {
        st.removed = 1;
      } else {
        st.removeWhenCreated = 1;
      }
    }
  }
  gf_compactStaticAcTable();
}

void gf_removeAcAtStand(const std::string& standName) {
  if (standName.empty()) return;
  const auto stand = std::find_if(standTable.begin(), standTable.end(),
                                  [&standName](const Stand& s) { return s.name == standName; });
  if (stand == standTable.end()) return;
  const auto number = static_cast<std::int32_t>(stand->number);
  if (number == 0) return;
  for (AcBase& st : staticAcTable) {
    if (st.standId == number && st.simState == SimState::active) {
      removeAircraftFromSim(st);
      return;
    }
  }
  for (LiveAc& ac : liveAcTable) {
    if (ac.standId == number && lf_parkedActive(ac)) {
      removeAircraftFromSim(ac);
      return;
    }
  }
}

std::int32_t gf_countParkedLiveAc(bool withMean) {
  std::int32_t count = 0;
  std::int64_t slots = 0;
  std::int32_t timed = 0;
  const std::uint64_t now = currentWeekSlot.load();
  for (const LiveAc& ac : liveAcTable) {
    if (!lf_parkedActive(ac)) continue;
    ++count;
    if (!withMean || gf_weekSlotDay(ac.parkingStart) < 1) continue;
    // Half hours since the parking start, across the end of the week.
    std::int64_t elapsed = lf_slotIndex(now) - lf_slotIndex(ac.parkingStart);
    if (elapsed < 0) elapsed += 336;
    slots += elapsed;
    ++timed;
  }
  if (withMean) {
    const float mean = timed > 0 ? static_cast<float>(slots) / static_cast<float>(timed) : 0.0f;
    if (meanParkedSlots.exchange(mean) != mean && engineServices.invalidateAirportBand)
      engineServices.invalidateAirportBand();
  }
  return count;
}

void gf_listParkedLiveAc() {
  parkedLiveList.clear();
  const auto now = gf_clock().steadyNow().time_since_epoch().count();
  for (LiveAc& ac : liveAcTable) {
    if (!lf_parkedActive(ac)) continue;
    if (ac.stopTest != 0) {
      parkedLiveList.push_back({ac.callsign, ac.standId, 0});
      continue;
    }
    const auto minutes = static_cast<std::int32_t>((now - ac.parkedSince) / 60'000'000'000LL);
    const std::int32_t limit = ac.category == AcCategory::Heavy ? 180 : 90;
    if (INITIAL_LOAD_ONLY.value.load() || minutes <= limit) {
      parkedLiveList.push_back({ac.callsign, ac.standId, minutes});
    } else {
      removeAircraftFromSim(ac);
    }
  }
  std::stable_sort(parkedLiveList.begin(), parkedLiveList.end(),
                   [](const ParkedLiveEntry& a, const ParkedLiveEntry& b) { return a.minutes < b.minutes; });
}

std::vector<std::pair<std::uint32_t, std::int64_t>> lf_listParkedByAge() {
  std::vector<std::pair<std::uint32_t, std::int64_t>> list;
  const auto now = gf_clock().steadyNow().time_since_epoch().count();
  for (const LiveAc& ac : liveAcTable)
    if (lf_parkedActive(ac)) list.emplace_back(ac.hexid, (now - ac.parkedSince) / 10'000'000);
  std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  return list;
}

void gf_removeOldestParkedLive(std::size_t count) {
  const auto list = lf_listParkedByAge();
  for (std::size_t i = 0; i < count && i < list.size(); ++i) {
    LiveAc* ac = gf_findLiveAc(list[i].first);
    if (ac == nullptr) continue;
    gf_log(wdrx::format("live parked {} at {} removed", gf_acIdentText(*ac), lf_standName(ac->standId)));
    removeAircraftFromSim(*ac);
  }
}
