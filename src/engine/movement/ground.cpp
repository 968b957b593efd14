// Movement on the ground per due sample: leaving a stand (pulling out or pushing back), taxi
// curves and intermediate samples, the timing of turns, and taking a stand at the end of a
// taxi path and driving onto it.
#include <algorithm>
#include <cmath>

#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "engine/movement/movement_steps.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "parking/stand_services.hpp"
#include "records/engine_cycle.hpp"
#include "records/record_texts.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/user_aircraft.hpp"

namespace {

constexpr double pi = 3.141592653589793;
constexpr double feetPerNm = 6076.11549;
constexpr double metresPerDegree = 111132.95;
constexpr double parkReach = 0.018898488120950324;  // 35 m

LatLon lf_pos(const PositionSample& s) { return {s.latitude, s.longitude}; }
LatLon lf_current(const LiveAc& ac) { return {ac.latitude, ac.longitude}; }

double lf_speedStep(const LiveAc& ac) {
  return ac.groundSpeedStep > 0.0 ? ac.groundSpeedStep : gf_categoryValues(ac.category).groundSpeedStep;
}

// Cycles to cover a distance at a speed, at least 25.
std::int32_t lf_driveCycles(double distanceNm, double knots) {
  return std::max(lf_cycleCount(distanceNm * 360000.0 / knots), 25);
}

// A sample for the ground movement: a copy of the front's identity flags at a new position.
PositionSample lf_groundSample(const PositionSample& from, LatLon at, double knots, std::int64_t due) {
  PositionSample s = from;
  s.latitude = at.lat;
  s.longitude = at.lon;
  s.groundSpeed = knots;
  s.trueAirspeed = knots;
  s.verticalSpeed = 0.0;
  s.dueCycle = due;
  s.airborne = 0;
  s.onGroundMark = 0;
  s.reportFlag = 0;
  s.roll.reset();
  s.trueHeading.reset();
  return s;
}

// The length of the aircraft's curve in nautical miles (a quadratic curve from its origin).
double lf_curveLengthNm(const CurveSegment& c) {
  double length = 0.0, east = 0.0, north = 0.0;
  for (int i = 1; i <= 8; ++i) {
    const double u = i / 8.0;
    const double w = 1.0 - u;
    const double e = 2.0 * w * u * c.controlEast + u * u * c.endEast;
    const double n = 2.0 * w * u * c.controlNorth + u * u * c.endNorth;
    length += std::hypot(e - east, n - north);
    east = e;
    north = n;
  }
  return length / 1852.0;
}

bool lf_movesOnStand(const LiveAc& other) {
  return other.simState == SimState::active &&
         (other.flightState == FlightState::parked || other.flightState == FlightState::pushing_back);
}

// The next sample of a push-back: the tail swings or goes straight back, and at the end the
// aircraft stands pushed back. True when the sample has been timed already.
bool lf_pushBackSample(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  --ac.pushBackPhase;
  if (ac.pushBackPhase == 1) {
    if (ac.pushBackDirection) {
      // The tail swings from straight back toward the side of the reported turn: the
      // turning point is the curve's control point and the side point its end.
      if (*ac.pushBackDirection && q.size() >= 3) q.back() = ac.pushBackSample;
      lf_buildCurve(ac);
      // Turning 90 degrees at the working turn rate (degrees over degrees per cycle).
      ac.curveStep = 1.0 / std::max(lf_cycleCount(90.0 / (ac.turnRate * radToDeg)), 1);
      ac.curveAngle = 90.0;
      lf_groundTiming(ac);
      return true;
    }
    // Without a known direction the push goes straight back to the turning point.
    if (q.size() >= 3) q.truncate(q.size() - 1);
  } else if (ac.pushBackPhase <= 0) {
    ac.legTrack = ac.heading;
    gf_queueEngineStart(ac.objectId);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    ac.setFlightState(FlightState::pushed_back);
    ac.pushBackPhase = 1;
    ac.extensionThreshold = 900.0;
    ac.pathExtensionCount = 0;
    ac.parkedReport = 0;
  }
  return false;
}

// The next sample of a taxi: the turn ahead decides between a curve, a sample halfway and a
// change of speed; without a curve the aircraft aligns with its leg.
void lf_taxiSample(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  if (q[1].onGroundMark != 0) return;
  if (q.size() >= 3 && q[2].onGroundMark == 0) {
    const double turn = std::fabs(lf_nextLegTurn(ac)) * radToDeg;
    // A sharp turn ahead on a long slow leg waits for a sample halfway; turning back (above
    // 160 degrees) takes no curve.
    if (turn <= 3.0) {
      lf_checkSpeedChange(ac);
    } else if (turn > 45.0 && gf_distanceNm(lf_pos(q[0]), lf_pos(q[1])) > 0.02699784017278618 &&
               q[0].groundSpeed <= 43.0 && q[1].dueCycle - q[0].dueCycle >= 600) {
      lf_insertMidSample(ac);
    } else if (turn <= 160.0 && !gf_samePosition(q[0].latitude, q[0].longitude, q[2].latitude, q[2].longitude)) {
      lf_buildCurve(ac);
      ac.curveAngle = turn;
    } else {
      lf_checkSpeedChange(ac);
    }
  } else if (q.size() >= 3 || ac.pathExtensionCount < 1) {
    lf_checkSpeedChange(ac);
  }
  if (ac.curve.present()) {
    ac.alignToTrack = 0;
  } else {
    ac.turnToTrackAngle = std::fabs(gf_normalizePi(ac.legTrack - ac.heading)) * radToDeg;
    ac.alignToTrack = ac.turnToTrackAngle > 3.0 ? 1 : 0;
  }
}

// At the end of a taxi path the aircraft tries to take a stand; true when it drives onto one
// (the drive has its own timing).
bool lf_parkAtPathEnd(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  bool stillTimed = false;
  if (ac.flightState == FlightState::taxi && q.back().onGroundMark != 0 && lf_parkAirportLoaded()) {
    const FlightState before = ac.previousFlightState;
    const bool leftStand = before == FlightState::parked || before == FlightState::pushing_back ||
                           before == FlightState::pushed_back;
    if (ac.shortTurnaround != 0 || !leftStand) {
      if (ac.pathExtensionCount < 1) {
        if (q.size() >= 2 && q[1].groundSpeed <= 5.0 &&
            gf_distanceNm(lf_current(ac), lf_pos(q.back())) <= parkReach)
          stillTimed = try2Park(ac, false);
      } else {
        stillTimed = try2Park(ac, ac.touchdownSeen != 0);
      }
    }
  }
  return stillTimed;
}

}  // namespace

void nextPosGround(LiveAc& ac) {
  try {
    SampleQueue& q = ac.samples;
    switch (ac.flightState) {
      case FlightState::pushing_back:
        if (lf_pushBackSample(ac)) return;
        break;
      case FlightState::parked: {
        ac.lateWindow = ac.climbOut != 0 ? 5000 : 3000;
        ac.earlyWindow = 3000;
        if (ac.parkedReport != 0) {
          const double off = std::round(
              gf_normalizePi(gf_bearing({ac.standLatitude, ac.standLongitude}, lf_pos(q.back())) - ac.standHeading) *
              radToDeg);
          if (std::fabs(off) < 90.0) {
            lf_pullOut(ac);
          } else {
            lf_startPushBack(ac);
          }
        }
        break;
      }
      default:
        lf_taxiSample(ac);
        break;
    }
    if (!lf_parkAtPathEnd(ac)) lf_groundTiming(ac);
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{}: {}, {}, sz:{}", "nextPosGround", e.what(), gf_acIdentText(ac), ac.samples.size()));
    throw;
  }
}

void lf_groundTiming(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  if (q.size() < 2) return;
  const std::int64_t now = engineCycle.load();
  if (q[1].onGroundMark != 0) {
    const std::int64_t span = std::max<std::int64_t>(q[1].dueCycle - q[0].dueCycle, 25);
    std::int64_t t = now + std::max<std::int64_t>(q[0].dueCycle - now + span, 25);
    if (ac.pathExtensionCount < 1) {
      t = std::min(t, q[1].dueCycle + ac.lateWindow);
      t = std::max(t, q[1].dueCycle - ac.earlyWindow);
    }
    q[1].dueCycle = std::max(t, now);
    return;
  }
  ac.turnRate = ac.groundTurnRate;
  const double distance =
      ac.curve.present() ? lf_curveLengthNm(ac.curve) : gf_distanceNm(lf_pos(q[0]), lf_pos(q[1]));
  std::int32_t c = std::max(lf_cycleCount(distance * 360000.0 / lf_meanGroundSpeed(ac)), 25);
  if (ac.curve.present() || ac.alignToTrack != 0) {
    const double angle = ac.alignToTrack != 0 ? ac.turnToTrackAngle : ac.curveAngle;
    // The cycles the category needs for the turn: degrees over degrees per cycle. A turn is
    // never flown faster than that: the leg is stretched to it.
    const std::int32_t n = std::max(lf_cycleCount(angle / (ac.groundTurnRate * radToDeg)), 1);
    c = std::max(c, n);
    const double k = static_cast<double>(c) / n;
    if (angle > 0.0 && distance > 0.0) {
      double factor = 1.0;
      if (angle <= 45.0) {
        if (k >= 1.2) {
          // A small turn is flown within the first 30 m, or a part of the leg for turns above
          // 10 degrees, or the whole leg.
          const double m = std::min({k, k * 10.0 / angle, k * 30.0 * 0.0005399568034557236 / distance});
          if (m > 0.0) factor = 1.0 / m;
        } else if (k > 0.0) {
          factor = 1.0 / k;
        }
      } else {
        factor = std::min(k, std::min(angle, 90.0) / 30.0);
        if (angle >= 90.0) {
          ac.earlyWindow = std::max(ac.earlyWindow, 2000);
          ac.lateWindow = std::max(ac.lateWindow, 2000);
        }
      }
      ac.turnRate = ac.groundTurnRate * std::min(factor, 1.0);
    }
  }
  lf_setNextDue(ac, c);
}

void lf_buildCurve(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  if (q.size() < 3) return;
  if (q[2].groundSpeed == 0.0) q[2].groundSpeed = (q[0].groundSpeed + q[1].groundSpeed) / 2.0;
  CurveSegment& c = ac.curve;
  c.originLatitude = ac.latitude;
  c.originLongitude = lf_wrapLongitude(ac.longitude);
  c.t0 = 0.0;
  c.t1 = 1.0;
  const double eastScale = std::cos(ac.latitude * degToRad) * metresPerDegree;
  c.controlNorth = (q[1].latitude - ac.latitude) * metresPerDegree;
  c.controlEast = lf_longitudeDelta(ac.longitude, q[1].longitude) * eastScale;
  c.endNorth = (q[2].latitude - ac.latitude) * metresPerDegree;
  c.endEast = lf_longitudeDelta(ac.longitude, q[2].longitude) * eastScale;
  ac.curveT = 0.0;
  q.erase(q.begin() + 1, q.begin() + 2);
}

void lf_checkSpeedChange(LiveAc& ac) {
  const SampleQueue& q = ac.samples;
  if (q.size() < 2) return;
  const PositionSample& front = q[0];
  const PositionSample& next = q[1];
  if ((front.groundSpeed > 0.0 || next.groundSpeed > 0.0) && std::fabs(front.groundSpeed - next.groundSpeed) > 5.0 &&
      gf_distanceNm(lf_pos(front), lf_pos(next)) * 1852.0 >= 100.0)
    lf_insertMidSample(ac);
}

void lf_insertMidSample(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  if (q.size() < 2) return;
  const PositionSample front = q[0];
  PositionSample mid = q[1];
  mid.latitude = (front.latitude + mid.latitude) / 2.0;
  mid.longitude = lf_wrapLongitude(front.longitude + lf_longitudeDelta(front.longitude, mid.longitude) / 2.0);
  mid.groundSpeed = (front.groundSpeed + mid.groundSpeed) / 2.0;
  mid.trueAirspeed = (front.trueAirspeed + mid.trueAirspeed) / 2.0;
  mid.altitude = (front.altitude + mid.altitude) / 2.0;
  mid.dueCycle = front.dueCycle + (mid.dueCycle - front.dueCycle) / 2;
  mid.airborne = mid.altitude > 0.0 ? 1 : 0;
  if (mid.airborne == 0) mid.altitude = 0.0;
  mid.onGroundMark = 0;
  mid.reportFlag = 0;
  mid.roll.reset();
  mid.trueHeading.reset();
  q.insert(q.begin() + 1, mid);
}

void lf_pullOut(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  ac.parkedReport = 0;
  ac.pathExtensionCount = 0;
  const double speed = lf_speedStep(ac);
  const LatLon target =
      gf_destinationPoint({ac.standLatitude, ac.standLongitude}, ac.standHeading, 2.0 * lf_span(ac) * feetPerNm);
  q.front().groundSpeed = speed;
  PositionSample out = lf_groundSample(q.front(), target, speed,
                                       engineCycle.load() + lf_driveCycles(gf_distanceNm(lf_current(ac), target), speed));
  out.track = ac.standHeading * radToDeg;
  q.truncate(1);
  q.push_back(out);
  ac.setFlightState(FlightState::taxi);
  ac.legTrack = ac.heading;
  lf_lights(ac, 1, 1, 0, 1, 0, 1, 0);
  gf_queueEngineStart(ac.objectId);
  gf_setThrottle(ac, 0);
  gf_setFlaps(ac, 1);
  gf_log(wdrx::format("{:8}: {:8} pulling out", lf_standName(ac.standId), ac.callsign));
}

void lf_startPushBack(LiveAc& ac) {
  ac.pathExtensionCount = 0;
  const Stand* stand = ac.standId != 0 ? gf_findStandByNumber(ac.standId) : nullptr;
  if (stand == nullptr) return;
  SampleQueue& q = ac.samples;
  const double reverse = ac.standHeading + pi;
  const double speed = lf_speedStep(ac);
  const double span = lf_span(ac);
  // A stand without a radius is pushed off by two spans.
  const double pushNm = stand->radius > 0.0 ? 2.5 * stand->radius : 2.0 * span;
  const std::int64_t now = engineCycle.load();
  const LatLon p1 = gf_destinationPoint(lf_current(ac), reverse, pushNm * feetPerNm);
  q.front().groundSpeed = speed;
  const std::int32_t c1 = lf_driveCycles(gf_distanceNm(lf_current(ac), p1), speed);
  PositionSample turningPoint = lf_groundSample(q.front(), p1, speed, now + c1);
  turningPoint.track = reverse * radToDeg;
  q.truncate(1);
  q.push_back(turningPoint);
  lf_insertMidSample(ac);
  const LatLon p2 = gf_destinationPoint(p1, reverse + pi / 2.0, span * feetPerNm);
  const LatLon p3 = gf_destinationPoint(p1, reverse - pi / 2.0, span * feetPerNm);
  const std::int64_t sideDue =
      std::max(now + c1 / 2 + lf_driveCycles(gf_distanceNm(lf_pos(q[1]), p2), speed), turningPoint.dueCycle + 25);
  ac.pushBackSample = lf_groundSample(turningPoint, p2, speed, sideDue);
  q.push_back(lf_groundSample(turningPoint, p3, speed, sideDue));
  lf_lights(ac, 1, 1, 0, 1, 0, 1, 0);
  ac.setFlightState(FlightState::pushing_back);
  ac.pushBackPhase = 2;
}

bool try2Park(LiveAc& ac, bool landed) {
  SampleQueue& q = ac.samples;
  if (q.empty()) {
    gf_logMarked(wdrx::format("{} empty sz?", "try2Park"));
    return false;
  }
  const PositionSample last = q.back();
  if (gf_samePosition(last.latitude, last.longitude, ac.lastTry2ParkLatitude, ac.lastTry2ParkLongitude)) return false;
  ac.lastTry2ParkLatitude = last.latitude;
  ac.lastTry2ParkLongitude = last.longitude;
  const Stand* found = gf_findStandForAircraft(ac, last.latitude, last.longitude,
                                               landed ? standSearchRadiusWide : standSearchRadiusNarrow, landed);
  if (found == nullptr) return false;
  // Copied: the rules below change flags of the stand table.
  const std::string name = found->name;
  const std::int32_t number = static_cast<std::int32_t>(found->number);
  const StandPosition at{found->latitude, found->longitude, found->heading};
  const std::uint8_t cargo = found->cargo;
  const std::vector<std::uint32_t> neighbours = found->neighbours;
  if (!reservedStandName.empty() && name == reservedStandName) return false;
  const std::string userStand = gf_nearestStandName(userPosition.latitude, userPosition.longitude);
  if (!userStand.empty() && name == userStand) return false;

  for (LiveAc& other : liveAcTable) {
    if (&other == &ac || other.standId != number || other.flightState != FlightState::parked ||
        other.simState != SimState::active)
      continue;
    gf_log(wdrx::format("{:8}: {:8} removed, {} wants to park there", name, other.callsign, ac.callsign));
    removeAircraftFromSim(other);
    break;
  }
  for (std::uint32_t neighbour : neighbours) lf_removeAtAdjacentStand(static_cast<std::int32_t>(neighbour), ac, number);
  SpawnStand spawnStand;
  spawnStand.latitude = at.latitude;
  spawnStand.longitude = at.longitude;
  spawnStand.heading = at.heading;
  spawnStand.standId = number;
  spawnStand.cargo = cargo;
  spawnStand.valid = 1;
  lf_makeWayForLive(ac, spawnStand);

  ac.standLatitude = at.latitude;
  ac.standLongitude = at.longitude;
  ac.standHeading = at.heading;
  ac.standId = number;
  ac.cargoStand = cargo;
  q.truncate(1);
  ac.setFlightState(FlightState::parking);
  drive2Stand(ac, at);
  return true;
}

void lf_removeAtAdjacentStand(std::int32_t neighbour, const LiveAc& ac, std::int32_t standId) {
  for (LiveAc& other : liveAcTable) {
    if (&other == &ac || other.standId != neighbour) continue;
    if (!lf_movesOnStand(other)) return;
    const Stand* near = neighbour != 0 ? gf_findStandByNumber(neighbour) : nullptr;
    const Stand* wanted = gf_findStandByNumber(standId);
    if (near == nullptr || wanted == nullptr) return;
    const double apart = gf_distanceNm({near->latitude, near->longitude}, {wanted->latitude, wanted->longitude});
    if ((lf_span(other) + lf_span(ac)) * 1.1 < apart) return;
    gf_log(wdrx::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}", near->name,
                        other.callsign, ac.callsign, wanted->name));
    removeAircraftFromSim(other);
    return;
  }
}

void drive2Stand(LiveAc& ac, const StandPosition& stand) {
  SampleQueue& q = ac.samples;
  if (q.empty()) {
    gf_logMarked(wdrx::format("{} empty sz?", "drive2Stand"));
    return;
  }
  const double speed = lf_speedStep(ac);
  const LatLon at{stand.latitude, stand.longitude};
  PositionSample& last = q.back();
  // At the stand entry speed, at least a second, and not before the heading has turned onto
  // the stand's at the category's turn rate.
  ac.turnRate = ac.groundTurnRate;
  const double turnCycles = std::fabs(gf_normalizePi(stand.heading - ac.heading)) / ac.groundTurnRate;
  const std::int32_t n = std::max({lf_cycleCount(gf_distanceNm(lf_pos(last), at) * 360000.0 / speed), 100,
                                   lf_cycleCount(turnCycles)});
  last.groundSpeed = speed;
  const bool there = gf_samePosition(last.latitude, last.longitude, at.lat, at.lon);
  // The drive starts now even when the front sample fell due some time ago.
  const std::int64_t start = std::max(q.front().dueCycle, engineCycle.load());
  PositionSample entry = lf_groundSample(last, at, speed, start + n);
  entry.altitude = ac.altitude;
  entry.track = stand.heading * radToDeg;
  entry.onGroundMark = there ? 1 : 0;
  entry.roll = ac.bank;
  PositionSample still = entry;
  still.groundSpeed = 0.0;
  still.trueAirspeed = 0.0;
  still.onGroundMark = 1;
  still.dueCycle = start + 50 + n;
  q.push_back(entry);
  q.push_back(still);
  ac.legTrack = stand.heading;
  if (ac.pathExtensionCount >= 1) {
    ac.pathExtensionCount = 0;
    ac.lateWindow = ac.climbOut != 0 ? 5000 : 3000;
    ac.earlyWindow = 3000;
  }
}
