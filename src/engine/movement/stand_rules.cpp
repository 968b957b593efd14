// Which aircraft goes when two would share a flight or a stand: ghosts, static look-alikes and
// twins of live aircraft, static aircraft in the way of taxiing traffic, stand claims of a
// newcomer, the adjacent-stand test and the max-park limit.
#include <algorithm>
#include <cmath>

#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "engine/movement/movement_steps.hpp"
#include "engine/removal_rules.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "parking/slot_sets.hpp"
#include "parking/stand_services.hpp"
#include "records/record_texts.hpp"
#include "runstate/main_window_state.hpp"

namespace {

bool lf_endsWithGhostMark(const std::string& callsign) { return !callsign.empty() && callsign.back() == '_'; }

std::string lf_withoutLast(const std::string& callsign) {
  return callsign.empty() ? callsign : callsign.substr(0, callsign.size() - 1);
}

bool lf_holdsStand(const LiveAc& ac) {
  return ac.simState == SimState::active &&
         (ac.flightState == FlightState::parked || ac.flightState == FlightState::pushing_back ||
          ac.flightState == FlightState::pushed_back);
}

// Removes and swallows what the removal throws: the rule ends there.
void lf_removeQuietly(AcBase& ac) {
  try {
    removeAircraftFromSim(ac);
  } catch (const std::exception&) {
  }
}

bool lf_staticActive(const AcBase& st) { return st.simState == SimState::active; }

}  // namespace

void lf_removeGhost(const std::string& callsign) {
  if (callsign.empty()) return;
  const std::string ghost = callsign + "_";
  for (LiveAc& ac : liveAcTable) {
    if (ac.simState == SimState::removingfromsim || ac.callsign != ghost) continue;
    if (ac.flightState == FlightState::parked) {
      gf_log(wdrx::format("{:8}: {:8} is a ghost and will be removed, continue with {}", lf_standName(ac.standId),
                          ac.callsign, callsign));
    } else {
      gf_log(wdrx::format("          {:8} is a ghost and will be removed, continue with {}", ac.callsign, callsign));
    }
    if (std::find(ghostCallsigns.begin(), ghostCallsigns.end(), ghost) == ghostCallsigns.end())
      ghostCallsigns.push_back(ghost);
    removeAircraftFromSim(ac);
    return;
  }
}

bool lf_isGhostOf(const std::string& callsign) {
  if (callsign.size() < 2) return false;
  const std::string real = lf_withoutLast(callsign);
  return std::any_of(liveAcTable.begin(), liveAcTable.end(), [&real](const LiveAc& ac) {
    return ac.simState != SimState::removingfromsim && ac.callsign == real;
  });
}

void gf_removeStaticLikeLive(const LiveAc& live) {
  if (live.callsign.empty()) return;
  const std::string plain = lf_endsWithGhostMark(live.callsign) ? lf_withoutLast(live.callsign) : std::string();
  const auto names = [&](const std::string& text) {
    return !text.empty() && (text == live.callsign || (!live.altCallsign.empty() && text == live.altCallsign) ||
                             (!plain.empty() && text == plain));
  };
  for (AcBase& st : staticAcTable) {
    if (!lf_staticActive(st)) continue;
    const bool sameRegistration = !live.registration.empty() && st.registration == live.registration;
    if (sameRegistration || names(st.liveCallsign) || names(st.altCallsign)) {
      lf_removeQuietly(st);
      return;
    }
  }
}

void gf_removeStaticInLivePaths() {
  if (staticAcTable.empty()) return;
  for (LiveAc& ac : liveAcTable) {
    if (ac.simState != SimState::active || ac.onGround == 0 ||
        (ac.flightState != FlightState::taxi && ac.flightState != FlightState::parking))
      continue;
    if (gf_samePosition(ac.latitude, ac.longitude, ac.overlapLatitude, ac.overlapLongitude)) continue;
    lf_removeOverlappingStatic(ac);
  }
}

void gf_removeStaticTwins() {
  for (const LiveAc& ac : liveAcTable) {
    if (ac.simState != SimState::active || ac.onGround == 0) continue;
    const std::string starred = ac.callsign + "*";
    for (AcBase& st : staticAcTable) {
      if (!lf_staticActive(st)) continue;
      if ((!ac.registration.empty() && st.registration == ac.registration) ||
          (!ac.callsign.empty() && st.callsign == starred)) {
        lf_removeQuietly(st);
        return;
      }
    }
  }
}

bool lf_claimStand(std::int32_t standId, const std::string& callsign) {
  LiveAc* holder = nullptr;
  for (LiveAc& ac : liveAcTable) {
    if (ac.standId == standId && lf_holdsStand(ac)) {
      holder = &ac;
      break;
    }
  }
  if (holder == nullptr) return true;
  const std::string name = lf_standName(standId);
  const std::string& held = holder->callsign;
  if (held == callsign) {
    gf_log(wdrx::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", name, held, callsign));
    lf_removeQuietly(*holder);
    return true;
  }
  if (!callsign.empty() && lf_withoutLast(callsign) == held) return false;  // the newcomer is its ghost
  if ((!held.empty() && lf_withoutLast(held) == callsign) ||
      (lf_endsWithGhostMark(held) && !lf_endsWithGhostMark(callsign))) {
    gf_log(wdrx::format("{:8}: {:8} ghost, replace by {}", name, held, callsign));
    lf_removeQuietly(*holder);
    return true;
  }
  if (lf_endsWithGhostMark(callsign)) return false;
  if (holder->stopTest != 0) return false;  // it stands still and reports: it stays
  gf_log(wdrx::format("{:8}: {:8} removed because another live {} wants the stand ...", name, held, callsign));
  lf_removeQuietly(*holder);
  return true;
}

bool lf_adjacentStandFree(std::int32_t neighbour, const LiveAc& ac, std::int32_t standId) {
  const LiveAc* holder = nullptr;
  for (const LiveAc& other : liveAcTable) {
    if (&other != &ac && other.standId == neighbour && other.simState == SimState::active &&
        (other.flightState == FlightState::parked || other.flightState == FlightState::pushing_back)) {
      holder = &other;
      break;
    }
  }
  if (holder == nullptr || holder->callsign == ac.callsign) return true;
  const Stand* near = gf_findStandByNumber(neighbour);
  const Stand* wanted = gf_findStandByNumber(standId);
  if (near == nullptr || wanted == nullptr) return true;
  return gf_distanceNm({near->latitude, near->longitude}, {wanted->latitude, wanted->longitude}) >
         1.1 * (lf_span(*holder) + lf_span(ac));
}

void lf_maxPark(std::int32_t extra) {
  const std::int32_t limit = mainWindow.maxParkCount.load();
  if (limit < 1) return;
  std::int32_t total = gf_countParkedLiveAc(false) + extra;
  if (!INITIAL_LOAD_ONLY.value.load() && total > limit) {
    const auto list = lf_listParkedByAge();
    if (!list.empty()) {
      if (LiveAc* oldest = gf_findLiveAc(list.front().first); oldest != nullptr) {
        gf_log(wdrx::format("{:8}: {} live max park exceeded, removed", lf_standName(oldest->standId),
                            oldest->callsign));
        removeAircraftFromSim(*oldest);
        --total;  // counted once: the static rule below sees the live one gone
      }
    }
  }
  if (staticAcTable.empty()) return;
  std::int32_t standing = 0;
  AcBase* earliest = nullptr;
  for (AcBase& st : staticAcTable) {
    if (st.simState == SimState::removingfromsim) ++standing;
    if (st.simState != SimState::active) continue;
    ++standing;
    if (earliest == nullptr ||
        WeekSlot::fromPacked(st.parkingStart).linear() < WeekSlot::fromPacked(earliest->parkingStart).linear())
      earliest = &st;
  }
  if (standing + total <= limit || earliest == nullptr) return;
  gf_log(wdrx::format("{:8}: {} static max park exceeded, removed", lf_standName(earliest->standId),
                      earliest->callsign));
  removeAircraftFromSim(*earliest);
}
