// The per-cycle update of each live aircraft and the intake of its reported samples.
#include <cmath>
#include <filesystem>

#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "parking/stand_learning.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "records/record_texts.hpp"
#include "simlink/ai_creation.hpp"
#include "simlink/sim_queues.hpp"
#include "traffic/traffic_decoder.hpp"

namespace {

constexpr double stopBand = 0.0458963282937365;        // 85 m
constexpr double stopStep = 0.0016198704103671706;     // 3 m
constexpr double parkedLeaveLimit = 0.10799136069114472;  // 200 m
constexpr double cutDistance = 0.011879049676025918;   // 22 m

LatLon lf_pos(const PositionSample& s) { return {s.latitude, s.longitude}; }
LatLon lf_current(const LiveAc& ac) { return {ac.latitude, ac.longitude}; }

double lf_turnDegrees(double from, double to) { return std::fabs(gf_normalizePi(to - from)) * radToDeg; }

std::uint8_t lf_leaves(const LiveAc& ac) { return static_cast<std::uint8_t>(ac.remove != 0 || ac.removed != 0); }

void lf_clearPathExtension(LiveAc& ac) {
  ac.pathExtensionCount = 0;
  ac.earlyWindow = 3000;
  ac.lateWindow = ac.climbOut != 0 ? 5000 : 3000;
}

// A creation or removal handed to the simulator link that was never answered.
void lf_expireHandOver(LiveAc& ac) {
  if (ac.handOverCycle == 0 || ac.remove != 0 || ac.removed != 0) return;
  const std::int64_t waited = engineCycle.load() - ac.handOverCycle;
  const bool creating = ac.simState == SimState::adding2sim;
  if (creating ? waited <= creationAnswerTimeout : waited <= removalAnswerTimeout) return;
  gf_log(wdrx::format("{} {} not confirmed by the sim after {} s, dropped", gf_acIdentText(ac),
                      creating ? "creation" : "removal", waited / 100));
  if (ac.standId != 0) gf_setStandOccupied(ac.standId, false);
  if (!creating && ac.hasFlightPlan != 0) {
    std::error_code error;
    std::filesystem::remove(gf_flightPlanFileName(ac.objectId), error);
  }
  ac.remove = 1;
}

}  // namespace

bool gf_samePosition(double lat1, double lon1, double lat2, double lon2) {
  return std::fabs(lat1 - lat2) < 1e-8 && std::fabs(lon1 - lon2) < 1e-8;
}

bool gf_nearPosition(double lat1, double lon1, double lat2, double lon2) {
  return std::fabs(lat1 - lat2) < 0.00015 && std::fabs(lon1 - lon2) < 0.00015;
}

bool updateLiveAc(LiveAc& ac) {
  try {
    switch (ac.simState) {
      case SimState::buffer:
        lf_handleBufferedAc(ac);
        return lf_leaves(ac);
      case SimState::adding2sim:
      case SimState::liveryrespawn:
      case SimState::removingfromsim:
        lf_expireHandOver(ac);
        return lf_leaves(ac);
      case SimState::active:
        break;
    }
    SampleQueue& q = ac.samples;
    if (q.empty()) {
      gf_log(wdrx::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                          "updateLiveAc", gf_acIdentText(ac), ac.hexid, ac.objectId, ac.altitude,
                          gf_formatLatLon(ac.latitude, ac.longitude), ac.trueAirspeed));
      removeAircraftFromSim(ac);
      return lf_leaves(ac);
    }
    if (engineCycle.load() >= q.front().dueCycle) {
      nextPosMain(ac);
      ac.verticalSpeed = ac.legVerticalSpeed / 60.0;
      ac.trueAirspeed = (!q.empty() && q.front().onGroundMark != 0) ? 0.0 : ac.legTrueAirspeed;
    }
    if (ac.simState != SimState::active) return lf_leaves(ac);
    if (!q.empty() && q.front().onGroundMark == 0) lf_followCurve(ac);
    if (ac.objectId != 0) {
      positionUpdateBuffers.fill().push_back(PositionUpdateRecord{
          ac.latitude, ac.longitude, ac.pitch, ac.bank, ac.heading, ac.altitude, ac.verticalSpeed,
          ac.trueAirspeed, ac.objectId});
    } else {
      gf_log(wdrx::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc", ac.hexid,
                          ac.callsign, ac.registration, gf_aimoText(ac.codes), q.size()));
      removeAircraftFromSim(ac);
    }
    return lf_leaves(ac);
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(), gf_acIdentText(ac),
                        ac.samples.size(), gf_flightStateName(ac.flightState), gf_simStateName(ac.simState)));
    // The aircraft goes, with its object; it is not moved again.
    try {
      removeAircraftFromSim(ac);
    } catch (const std::exception&) {
      ac.remove = 1;
    }
    if (ac.simState == SimState::active) ac.remove = 1;
    return lf_leaves(ac);
  }
}

void decodeExisting(LiveAc& ac, PositionSample sample) {
  try {
    SampleQueue& q = ac.samples;
    if (q.size() > 200) {
      removeAircraftFromSim(ac);
      return;
    }
    // A holding aircraft reported far away goes (its later reports make it anew); a report
    // nearby is taken as usual and may end the hold.
    if (ac.holding != 0 && !q.empty() &&
        gf_distanceNm(lf_pos(sample), lf_pos(q.front())) * 1852.0 > HOLDING_THRESHOLD_METERS.value.load()) {
      ac.holding = 0;
      ac.holdStart = 0;
      removeAircraftFromSim(ac);
      return;
    }
    if (ac.flightState == FlightState::birth) {
      if (q.empty() || !lf_checkStationary(ac, sample)) return;
      if (sample.dueCycle <= q.back().dueCycle) sample.dueCycle = q.back().dueCycle + 1;
      q.push_back(sample);
      return;
    }
    if (!checkExtendingSituations(ac, sample)) return;
    if (q.empty()) {
      q.push_back(sample);
      return;
    }
    if (sample.airborne == 0 && q.back().onGroundMark != 0) {
      if (sample.onGroundMark != 0) {
        bool allStill = q.size() > 1;
        for (const PositionSample& s : q) allStill = allStill && s.onGroundMark != 0;
        if (allStill) q.truncate(1);
      } else if (q.size() >= 3) {
        // The last moving sample among the five before the back.
        const std::size_t n = q.size();
        const std::size_t lowest = n >= 6 ? n - 6 : 0;
        for (std::size_t i = n - 1; i-- > lowest;) {
          if (q[i].onGroundMark != 0) continue;
          if (q.back().dueCycle - q[i].dueCycle < 1500 ||
              gf_distanceNm(lf_pos(q[i]), lf_pos(sample)) <= cutDistance)
            q.truncate(i + 1);
          break;
        }
      }
    }
    const PositionSample& back = q.back();
    if (sample.dueCycle <= back.dueCycle) sample.dueCycle = back.dueCycle + 1;
    if (ac.climbOut == 0 && ac.onGround != 0 && ac.simState == SimState::active) {
      if (ac.touchdown == 0) {
        if (ac.flightState == FlightState::taxi &&
            (sample.airborne != 0 || (sample.groundSpeed >= 43.0 && back.groundSpeed >= 43.0)))
          lf_takeOffConfig(ac);
      } else if (back.airborne != 0 && sample.airborne != 0) {
        // Going around from the runway.
        ac.flightState = FlightState::taxi;
        ac.climbOut = 1;
        gf_setThrottle(ac, 3);
        gf_setSpoilers(ac, 1);
        gf_setFlaps(ac, 1);
        ac.approach = 0;
        ac.touchdownSeen = 0;
        ac.goAround = 0;
        gf_queueLights(ac.objectId, LightsRecord{1, 1, 1, 1, 1, 1, 0});
        ac.lateWindow = 5000;
        ac.earlyWindow = 3000;
      }
    }
    q.push_back(sample);
    if (q.size() == 2 && q[0].onGroundMark != 0 && q[1].onGroundMark != 0) {
      q[0].dueCycle = engineCycle.load() + 1;
      q[0].groundSpeed = q[1].groundSpeed;
    }
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{} exception {}", "decodeExisting", e.what()));
    throw;
  }
}

bool lf_checkStationary(LiveAc& ac, PositionSample& sample) {
  // Nothing to compare with: a queue that ran dry takes no sample (the aircraft leaves).
  if (ac.samples.empty()) return false;
  const PositionSample& back = ac.samples.back();
  const bool same = gf_samePosition(sample.latitude, sample.longitude, back.latitude, back.longitude);
  sample.onGroundMark = same ? 1 : 0;
  if (ac.category == AcCategory::Rotorcraft) return true;
  const bool refuse = sample.airborne != 0 || (ac.simState == SimState::active && ac.onGround == 0);
  if (!same && gf_nearPosition(sample.latitude, sample.longitude, back.latitude, back.longitude)) {
    if (refuse || (ac.climbOut != 0 && sample.groundSpeed > 0.0 && back.groundSpeed >= 50.0)) return false;
    // Standing still: the last position again, due when this report is due.
    const std::int64_t due = sample.dueCycle;
    sample = back;
    sample.dueCycle = due;
    sample.groundSpeed = 0.0;
    sample.onGroundMark = 1;
    return true;
  }
  if (!same) {
    if (sample.groundSpeed != 0.0) return true;
    if (ac.climbOut == 0 && sample.airborne == 0) return true;
    return back.groundSpeed < 50.0;
  }
  if (refuse || (ac.climbOut != 0 && sample.groundSpeed > 0.0 && back.groundSpeed >= 30.0)) return false;
  if (sample.groundSpeed > 0.0) sample.groundSpeed = 0.0;
  return true;
}

namespace {

// A report while pushed back: the aircraft holds until the report lies far enough away, then
// taxis (true: the report is taken).
bool lf_pushedBackReport(LiveAc& ac, PositionSample& sample) {
  SampleQueue& q = ac.samples;
  const double d = gf_distanceNm(lf_current(ac), lf_pos(sample));
  if ((d <= 2.75 * ac.radius || d <= ac.lastPushedDistance) && d <= 6.0 * ac.radius) {
    if (ac.holding == 0) {
      ac.holding = 1;
      ac.holdStart = engineCycle.load();
    }
    ac.lastPushedDistance = d;
    return false;
  }
  sample.onGroundMark = 0;
  if (ac.pathExtensionCount > 0) {
    if (!q.empty()) q.front().dueCycle = engineCycle.load() + 1;
    lf_clearPathExtension(ac);
  }
  ac.pushBackDirection.reset();
  ac.pushBackPhase = 0;
  ac.setFlightState(FlightState::taxi);
  ac.standLatitude = ac.standLongitude = ac.standHeading = 0.0;
  ac.standId = 0;
  ac.cargoStand = 0;
  ac.holding = 0;
  ac.holdStart = 0;
  return true;
}

// A report while parking or parked: near the stand it tells whether the aircraft starts to
// move off (true: the report is taken); farther away it taxis on or, parked, leaves.
bool lf_parkedReport(LiveAc& ac, PositionSample& sample) {
  if (ac.simState == SimState::buffer || ac.simState == SimState::adding2sim) return false;
  const bool first = ac.stopTest == 0;
  ac.stopTest = 1;
  const double d = gf_distanceNm(lf_pos(sample), {ac.standLatitude, ac.standLongitude});
  const double band = ac.previousFlightState == FlightState::parking ? 2.0 * stopBand : stopBand;
  if (d <= band) {
    ac.parkedSince = gf_clock().steadyNow().time_since_epoch().count();
    if (first) {
      ac.stopStartDistance = d;
      ac.stopLargestDistance = d;
      ac.stopCounter = 0;
    } else if (d >= ac.stopLargestDistance + stopStep) {
      ac.stopLargestDistance = d;
      ++ac.stopCounter;
      if ((ac.stopCounter >= 3 && d >= ac.stopStartDistance + ac.radius / 2.0) ||
          d > ac.stopStartDistance + ac.radius) {
        lf_parkFromReport(ac, sample);
        return true;
      }
    } else if (d <= ac.stopLargestDistance - stopStep) {
      ac.stopCounter = 0;
    }
    ac.parkedReport = 0;
    return false;
  }
  if (ac.flightState == FlightState::parking) {
    ac.setFlightState(FlightState::taxi);
    sample.onGroundMark = 0;
    return true;
  }
  if (d > parkedLeaveLimit) {
    lf_addRealStandOption(ac.standId, ac, StandEvent::removed);
    removeAircraftFromSim(ac);
    ac.parkedReport = 0;
    return false;
  }
  lf_parkFromReport(ac, sample);
  return true;
}

}  // namespace

bool checkExtendingSituations(LiveAc& ac, PositionSample& sample) {
  SampleQueue& q = ac.samples;
  switch (ac.flightState) {
    case FlightState::pushing_back: {
      if (!STRAIGHT_PBS_ONLY.value.load() && ac.pushBackPhase == 2) {
        std::optional<double> target;
        if (sample.trueHeading) {
          target = *sample.trueHeading;
        } else if (sample.track != 0.0) {
          target = sample.track * degToRad;
        }
        if (target) ac.pushBackDirection = gf_normalizePi(*target - ac.heading) > 0.0;
      }
      return false;
    }
    case FlightState::pushed_back:
      return lf_pushedBackReport(ac, sample);
    case FlightState::parking:
    case FlightState::parked:
      return lf_parkedReport(ac, sample);
    default:
      break;
  }
  if (ac.approach != 0 || ac.touchdown != 0) return checkNewPosDuringLanding(ac, sample);
  if (q.empty()) {
    gf_logMarked(wdrx::format("{} empty sz?", "checkExtendingSituations"));
    return false;
  }
  const bool used = lf_checkStationary(ac, sample);
  if (!used || ac.pathExtensionCount <= 0) return used;
  // A path extension is pending: the new report ends it.
  if (ac.onGround == 0 &&
      lf_turnDegrees(ac.heading, gf_bearing(lf_pos(q.back()), lf_pos(sample))) >= 100.0)
    return false;
  lf_clearPathExtension(ac);
  q.front().dueCycle = engineCycle.load() + 1;
  ac.holding = 0;
  ac.holdStart = 0;
  return true;
}

bool checkNewPosDuringLanding(LiveAc& ac, PositionSample& sample) {
  SampleQueue& q = ac.samples;
  if (q.empty()) {
    gf_logMarked(wdrx::format("{} empty sz?", "checkNewPosDuringLanding"));
    return false;
  }
  if (gf_samePosition(sample.latitude, sample.longitude, q.back().latitude, q.back().longitude)) return false;
  if (q.size() == 1) {
    const double turn = lf_turnDegrees(ac.heading, gf_bearing(lf_pos(q.front()), lf_pos(sample)));
    if (ac.approach != 0) {
      if (turn >= 90.0) return false;
    } else if (turn >= 150.0) {
      if (ac.pathExtensionCount > 0) return false;
      PositionSample here = q.front();
      here.latitude = ac.latitude;
      here.longitude = ac.longitude;
      here.dueCycle = engineCycle.load() + 1;
      q.clear();
      q.push_back(here);
    }
  } else {
    if (lf_turnDegrees(ac.heading, gf_bearing(lf_pos(q.back()), lf_pos(sample))) >= 90.0) {
      q.pop_back();
      if (q.size() >= 2 &&
          lf_turnDegrees(ac.heading, gf_bearing(lf_pos(q.back()), lf_pos(sample))) >= 90.0)
        q.pop_back();
    }
  }
  if (ac.pathExtensionCount != 0) lf_clearPathExtension(ac);
  const PositionSample& back = q.back();
  if (gf_samePosition(sample.latitude, sample.longitude, back.latitude, back.longitude)) {
    sample.onGroundMark = 1;
    return true;
  }
  sample.onGroundMark = 0;
  if (sample.groundSpeed > back.groundSpeed && sample.groundSpeed > 40.0) sample.groundSpeed = back.groundSpeed;
  return true;
}

void lf_parkFromReport(LiveAc& ac, PositionSample& sample) {
  sample.onGroundMark = 0;
  ac.parkedReport = 1;
  if (ac.previousFlightState == FlightState::parked) return;
  if (ac.pathExtensionCount > 0) {
    if (ac.flightState == FlightState::parked && ac.touchdownSeen != 0) {
      std::int64_t limit = 0;
      if (ac.category == AcCategory::Heavy) limit = 360000;
      if (ac.category == AcCategory::Large) limit = 150000;
      if (ac.category == AcCategory::Buzjets) limit = 90000;
      const std::int64_t parkedCycles =
          ac.samples.empty() ? 0 : engineCycle.load() - ac.samples.front().dueCycle + 60480000;
      if (parkedCycles < limit) ac.shortTurnaround = 1;
      ac.touchdownSeen = 0;
    }
    if (!ac.samples.empty()) ac.samples.front().dueCycle = engineCycle.load() + 1;
    lf_clearPathExtension(ac);
  }
  lf_addRealStandOption(ac.standId, ac, StandEvent::leaving);
  gf_setStandOccupied(ac.standId, false);
  ac.setFlightState(FlightState::parked);
}
