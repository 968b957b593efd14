// When a live aircraft runs out of samples: holding in place, dead reckoning for a few steps, a
// parked aircraft kept for a week, or the end; the arrival on a stand; and the respawn of an
// aircraft with another livery.
#include <algorithm>
#include <cmath>

#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "engine/movement/movement_steps.hpp"
#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "parking/stand_learning.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "records/record_texts.hpp"
#include "runstate/run_control.hpp"
#include "simlink/user_aircraft.hpp"

namespace {

constexpr double feetPerNm = 6076.11549;
constexpr double twoMetres = 0.0010799136069114472;
constexpr std::int64_t oneWeek = 60480000;  // cycles

LatLon lf_pos(const PositionSample& s) { return {s.latitude, s.longitude}; }

bool lf_categoryEnabled(AcCategory category) {
  switch (category) {
    case AcCategory::Light:
      return LIGHT_AIRCRAFT.value.load();
    case AcCategory::HighPerf:
      return HIGH_PERF_AIRCRAFT.value.load();
    case AcCategory::Rotorcraft:
      return HELICOPTERS.value.load();
    default:
      return true;
  }
}

// Another taxiing aircraft close enough to run into this one.
bool lf_taxiingTrafficNear(const LiveAc& ac) {
  for (const LiveAc& other : liveAcTable) {
    if (&other == &ac || other.onGround == 0 || other.flightState != FlightState::taxi ||
        other.simState != SimState::active || other.objectId == ac.objectId)
      continue;
    if (gf_distanceNm({ac.latitude, ac.longitude}, {other.latitude, other.longitude}) <=
        1.2 * (lf_span(other) + lf_span(ac)))
      return true;
  }
  return false;
}

// Ground speed and vertical speed of a dead-reckoned take-off run, by the last ground speed.
std::pair<double, double> lf_takeOffRunSpeed(double g) {
  if (g <= 30.0) return {40.0, 0.0};
  if (g <= 60.0) return {80.0, 0.0};
  if (g <= 100.0) return {110.0, 0.0};
  if (g <= 140.0) return {150.0, 600.0};
  if (g <= 160.0) return {170.0, 1200.0};
  return {180.0, 2400.0};
}

double lf_landingRollSpeed(double g) {
  if (g >= 140.0) return 100.0;
  if (g >= 100.0) return 80.0;
  if (g >= 80.0) return 60.0;
  if (g >= 60.0) return 30.0;
  return 20.0;
}

}  // namespace

bool lf_endOfSamples(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  if (q.empty()) return false;
  if (ac.flightState == FlightState::parking) {
    lf_arriveAtStand(ac);
  } else if (ac.flightState == FlightState::pushed_back ||
             (ac.flightState == FlightState::taxi && ac.climbOut == 0 && ac.landingRoll == 0)) {
    if (lf_taxiingTrafficNear(ac)) {
      ac.holding = 0;
      ac.holdStart = 0;
      return false;
    }
    const std::int64_t now = engineCycle.load();
    if (ac.holding != 0) {
      if (AIRBORNE_ONLY.value.load() || (now - ac.holdStart) / 6000 > MAX_HOLDING_MINUTES.value.load())
        return false;
    } else {
      ac.holdStart = now;
    }
    ac.holding = 1;
    PositionSample hold = q.front();
    hold.dueCycle += 300;
    hold.groundSpeed = 0.0;
    hold.trueAirspeed = 0.0;
    hold.verticalSpeed = 0.0;
    hold.onGroundMark = 1;
    q.push_back(hold);
    ac.pathExtensionCount = 1;
    return true;
  }

  if (ac.pathExtensionCount < 0) return false;
  if (ac.pathExtensionCount == 1) {
    ac.pathExtensionCount = -1;
    return false;
  }
  if (ac.pathExtensionCount >= 2) {
    lf_extendPath(ac, ac.pathExtensionCount - 1);
    return true;
  }
  // The first decision.
  if (!lf_categoryEnabled(ac.category)) return false;
  std::int32_t n = 0;
  if (ac.onGround == 0) {
    const bool userKnown = std::fabs(userPosition.latitude) > 0.0001 || std::fabs(userPosition.longitude) > 0.0001;
    if (userKnown && gf_distanceNm({userPosition.latitude, userPosition.longitude}, {ac.latitude, ac.longitude}) >=
                         rangeNm.load() - 0.5)
      return false;
    if (AIRBORNE_ONLY.value.load()) {
      const double field = lf_parkAirportLoaded() ? lf_fieldAltitude() : 0.0;
      if (std::fabs(ac.altitude - field) < 1000.0) return false;
    }
    n = 8;
  } else {
    n = ac.flightState == FlightState::parked ? 1 : 10;
  }
  lf_extendPath(ac, n);
  return true;
}

void lf_extendPath(LiveAc& ac, std::int32_t n) {
  ac.pathExtensionCount = n;
  SampleQueue& q = ac.samples;
  if (q.empty()) return;
  const PositionSample& front = q.front();
  PositionSample copy = front;
  const bool parked = ac.flightState == FlightState::parked;
  const int seconds = ac.onGround != 0 ? 3 : 8;
  if (front.onGroundMark != 0 || parked) {
    copy.onGroundMark = 1;
    copy.groundSpeed = 0.0;
    copy.trueAirspeed = 0.0;
  } else {
    double speed = front.groundSpeed;
    double verticalSpeed = front.verticalSpeed;
    bool still = false;
    if (ac.onGround == 0) {
      if (ac.approach == 0) {
        speed = std::max(front.groundSpeed * 0.95, 1.0);
      } else if (n >= 4) {
        speed = std::max(front.groundSpeed * 0.9, 1.0);
      }
    } else if (ac.climbOut != 0 && ac.landingRoll == 0) {
      std::tie(speed, verticalSpeed) = lf_takeOffRunSpeed(front.groundSpeed);
    } else if (ac.landingRoll != 0) {
      speed = lf_landingRollSpeed(front.groundSpeed);
      verticalSpeed = 0.0;
    } else {
      still = true;
    }
    if (still) {
      copy.groundSpeed = 0.0;
      copy.trueAirspeed = 0.0;
      copy.onGroundMark = 1;
    } else {
      copy.groundSpeed = speed;
      copy.trueAirspeed = speed;
      copy.verticalSpeed = verticalSpeed;
    }
    if (!still && speed > 0.0) {
      const LatLon to = gf_destinationPoint(lf_pos(front), ac.heading, speed * seconds * 100.0 * feetPerNm / 360000.0);
      copy.latitude = to.lat;
      copy.longitude = lf_wrapLongitude(to.lon);
      copy.onGroundMark =
          gf_samePosition(copy.latitude, copy.longitude, front.latitude, front.longitude) ? 1 : 0;
      if (ac.approach != 0 && ac.flareStage == 0) {
        copy.verticalSpeed = -667.0;
        copy.altitude -= seconds * 10.005;
      } else if (ac.flightState == FlightState::take_off) {
        copy.verticalSpeed = 1500.0;
        copy.altitude += 25.0 * seconds;
      } else if (ac.onGround == 0) {
        copy.verticalSpeed = 0.0;  // dead reckoning keeps the altitude
      }
      copy.airborne = copy.altitude > 0.0 ? 1 : 0;
      if (copy.airborne == 0) copy.altitude = 0.0;
    }
  }
  if (parked) {
    // Kept for a week; it stays on its stand (and keeps the stand taken).
    copy.dueCycle = front.dueCycle + oneWeek;
    ac.stopTest = 0;
  } else {
    copy.dueCycle = front.dueCycle + seconds * 100;
  }
  q.push_back(copy);
}

void lf_arriveAtStand(LiveAc& ac) {
  if (ac.standId != 0) {
    if (const Stand* stand = gf_findStandByNumber(ac.standId); stand != nullptr && stand->occupied != 0) {
      // Another live aircraft stands there: this one goes, and the stand stays taken.
      ac.pathExtensionCount = 1;
      ac.standId = 0;
      removeAircraftFromSim(ac);
      return;
    }
  }
  if (gf_distanceNm({ac.latitude, ac.longitude}, {ac.standLatitude, ac.standLongitude}) > twoMetres) {
    ac.setFlightState(FlightState::taxi);
    return;
  }
  ac.setFlightState(FlightState::parked);
  ac.parkingStart = currentWeekSlot.load();
  gf_setStandOccupied(ac.standId, true);
  if (ac.shortTurnaround != 0) gf_log(wdrx::format("          towed aircraft {} parks", gf_acIdentText(ac)));
  if (!ac.samples.empty()) ac.samples.front().onGroundMark = 1;
  ac.parkedSince = gf_clock().steadyNow().time_since_epoch().count();
  ac.parkingCounters[0] = ac.parkingCounters[1] = 0;
  gf_learnStandCargoChange(ac);
  lf_activateStaticAc(ac);
  gf_log(wdrx::format("{:8}: {:8} arrived at stand", lf_standName(ac.standId), ac.callsign));
  approachList.push_back(ac.hexid);
  parkedAcQueue.push_back(ac.hexid);
  lf_addRealStandOption(ac.standId, ac, StandEvent::standing);
  lf_maxPark(0);
}

void liveryRespawn(LiveAc& ac) {
  try {
    SampleQueue& q = ac.samples;
    PositionSample again;
    if (ac.flightState != FlightState::parked) {
      if (!q.empty()) again = q.front();
      again.latitude = ac.latitude;
      again.longitude = ac.longitude;
      again.altitude = ac.altitude;
      again.roll = ac.bank;
      if (!q.empty() && gf_samePosition(ac.latitude, ac.longitude, q.front().latitude, q.front().longitude))
        q.front().onGroundMark = 1;
    } else if (!q.empty()) {
      q.truncate(1);
      q.front().onGroundMark = 1;
      q.front().track = ac.heading * radToDeg;
      again = q.front();
    }
    again.dueCycle = engineCycle.load() + 1;
    q.push_front(again);
    ac.simState = SimState::liveryrespawn;
    ac.handOverCycle = 0;
    ac.keptHeading = ac.heading;
    ac.hasKeptHeading = 1;
    ac.keptAirborne = again.airborne;
    ac.keptOnGroundMark = again.onGroundMark;
    ac.keptReportFlag = again.reportFlag;
    if (ac.objectId != 0) {
      removeIdQueue.push_back(ac.objectId);
    } else {
      gf_logMarked(wdrx::format("{} removing act {} with objectid=0 ?", "liveryRespawn", gf_acIdentText(ac)));
    }
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{}: {}", "liveryRespawn", e.what()));
  }
}
