// The movement between due samples, cycle by cycle (curves, rates, the flare and the nose
// lowering after touchdown, rotation and climb-out), the ground-roll step of a moving sample
// with its throttle and the take-off decision.
#include <algorithm>
#include <cmath>

#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "engine/movement/movement_steps.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "records/engine_cycle.hpp"
#include "records/record_texts.hpp"

namespace {

constexpr double pi = 3.141592653589793;
// Pitch limits of any aircraft: 20 degrees nose up (30 for rotorcraft), 5 degrees nose down.
constexpr double maxNoseUp = 20.0 * degToRad;
constexpr double maxNoseUpRotorcraft = 30.0 * degToRad;
constexpr double maxNoseDown = 5.0 * degToRad;
constexpr double flarePitch = -4.0 * degToRad;

double lf_clampPi(double angle) { return std::clamp(angle, -pi, pi); }

void lf_flare(LiveAc& ac) {
  const double height = ac.heightAboveGround;
  const double s = ac.staticHeight;
  switch (ac.flareStage) {
    case 0: {
      if (!ac.flareReferenceAltitude && lf_parkAirportLoaded()) ac.flareReferenceAltitude = lf_fieldAltitude();
      ac.flareAltitude = ac.flareReferenceAltitude ? ac.altitude - *ac.flareReferenceAltitude : height;
      if (std::min(height, ac.flareAltitude) > s + 30.0) return;
      ac.pitchRate = (flarePitch - ac.pitch) / std::max(ac.flareCycles, 1);
      ac.altitudeRate = -0.1;
      if (!ac.samples.empty()) ac.samples.front().verticalSpeed = -601.0;
      ac.flareStage = 1;
      ac.flareMark = 1;
      flareActive = 1;
      break;
    }
    case 1:
      if (height > s + 20.0) return;
      ac.altitudeRate = -0.075;
      if (!ac.samples.empty()) ac.samples.front().verticalSpeed = -450.0;
      ac.flareStage = 2;
      break;
    case 2:
      if (height > s + 10.0) return;
      gf_setThrottle(ac, 0);
      ac.altitudeRate = -0.05;
      if (!ac.samples.empty()) ac.samples.front().verticalSpeed = -300.0;
      ac.flareStage = 3;
      break;
    case 3:
      if (height > s + 3.0) return;
      ac.altitudeRate = -0.025;
      if (!ac.samples.empty()) ac.samples.front().verticalSpeed = -150.0;
      ac.flareStage = 4;
      break;
    default:
      return;
  }
  // The sink rate shown follows the stage.
  ac.legVerticalSpeed = ac.altitudeRate * 6000.0;
  ac.verticalSpeed = ac.legVerticalSpeed / 60.0;
  ac.flareReferenceAltitude.reset();
}

void lf_takeOffStep(LiveAc& ac) {
  ac.flareCounter = std::max(ac.flareCounter - 1, -1000);
  const std::int32_t counter = ac.flareCounter;
  if (counter >= 1) {
    // Rotation on the runway.
    ac.onGround = 0;
    if (ac.pitch > ac.takeOffPitch) ac.pitch = std::max(ac.pitch + ac.pitchRate, ac.takeOffPitch);
    return;
  }
  ac.bank = lf_clampPi(ac.bank + ac.bankRate);
  if (ac.pitch > ac.climbOutPitch) {
    const double step = (ac.climbOutPitch - ac.takeOffPitch) / std::max(ac.climbOutCycles, 1);
    ac.pitch = std::max(ac.pitch + step, ac.climbOutPitch);
  }
  if (counter == 0) return;
  if (counter >= -99) {
    ac.altitude += 0.1 * ac.altitudeRate;
  } else if (counter >= -199) {
    ac.altitude += 0.2 * ac.altitudeRate;
  } else if (counter >= -299) {
    ac.altitude += 0.5 * ac.altitudeRate;
  } else if (counter == -300) {
    ac.altitude += ac.altitudeRate;
    gf_setGear(ac, 0);
  } else {
    ac.altitude += ac.altitudeRate;
    if (ac.pitch <= ac.climbOutPitch) {
      ac.pitchRate = 0.0;
      if (ac.heightAboveGround >= 800.0) {
        gf_setThrottle(ac, ac.category == AcCategory::Rotorcraft ? 4 : 3);
        ac.setFlightState(FlightState::flying);
        ac.flareCounter = 1;
      }
    }
  }
}

void lf_verticalStep(LiveAc& ac) {
  if (ac.heightAboveGround <= 400.0 && ac.approach != 0 && ac.onGround == 0) lf_flare(ac);
  if (ac.touchdown != 0) {
    // The nose comes down to its attitude at rest.
    ac.pitch += ac.pitchRate;
    if (ac.pitch >= ac.groundPitch) {
      ac.pitch = ac.groundPitch;
      ac.pitchRate = 0.0;
      ac.bank = 0.0;
      ac.bankRate = 0.0;
      ac.touchdown = 0;
      ac.flareStage = 0;
    }
    ac.bank += ac.bankRate;
  } else if (ac.flareStage > 0) {
    ac.bank = lf_clampPi(ac.bank + ac.bankRate);
    ac.pitch = std::max(ac.pitch + ac.pitchRate, flarePitch);
    ac.altitude += ac.altitudeRate;
  } else if (ac.onGround != 0) {
    ac.pitch = ac.groundPitch;
    ac.bank = 0.0;
  } else {
    ac.bank += ac.bankRate;
    ac.pitch += ac.pitchRate;
    ac.altitude += ac.altitudeRate;
  }
}

}  // namespace

void lf_followCurve(LiveAc& ac) {
  // Horizontal.
  if (ac.curve.present()) {
    ac.curveT = std::clamp(ac.curveT + ac.curveStep, 0.0, 0.999999);
    double latitude = 0.0, longitude = 0.0, heading = 0.0;
    if (gf_curvePosition(ac.curve, ac.curveT, latitude, longitude, heading)) {
      ac.latitude = latitude;
      ac.longitude = longitude;
      if (ac.flightState == FlightState::pushing_back) heading += pi;  // tail first
      lf_turnToward(ac, heading);
    } else {
      gf_log(wdrx::format("{} error in curve at index: {:.2F}", ac.callsign, ac.curveT));
    }
  } else {
    switch (ac.flightState) {
      case FlightState::take_off:
      case FlightState::flying:
      case FlightState::parked:
      case FlightState::birth:
        if (ac.alignToTrack == 0) {
          double rate = ac.headingRate;
          // On the ground no heading changes faster than the category can turn.
          if (ac.onGround != 0) rate = std::clamp(rate, -ac.groundTurnRate, ac.groundTurnRate);
          ac.heading = lf_normalize2Pi(ac.heading + rate);
          break;
        }
        [[fallthrough]];
      case FlightState::parking:
        lf_turnToward(ac, ac.legTrack);
        break;
      default:
        if (ac.alignToTrack != 0) lf_turnToward(ac, ac.legTrack);
        break;
    }
    if (ac.flightState != FlightState::pushed_back) {
      ac.latitude += ac.latitudeRate;
      ac.longitude += ac.longitudeRate;
    }
  }

  // Vertical.
  if (ac.flightState == FlightState::take_off) {
    lf_takeOffStep(ac);
  } else {
    lf_verticalStep(ac);
  }
  // While the simulator has not yet put it on the ground, the aircraft never sinks into it.
  if (ac.onGround == 0 && std::isfinite(ac.groundAltitude))
    ac.altitude = std::max(ac.altitude, ac.groundAltitude + ac.staticHeight);
  const double noseUp = ac.category == AcCategory::Rotorcraft ? maxNoseUpRotorcraft : maxNoseUp;
  ac.pitch = std::clamp(ac.pitch, -noseUp, maxNoseDown);

  ac.longitude = lf_wrapLongitude(ac.longitude);
  if (ac.latitude > 90.0 || ac.latitude < -90.0) {
    // Across a pole: back on the other meridian.
    ac.latitude = ac.latitude > 90.0 ? 180.0 - ac.latitude : -180.0 - ac.latitude;
    ac.longitude = lf_wrapLongitude(ac.longitude + 180.0);
  }
}

void lf_groundRollStep(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  const PositionSample& front = q[0];
  const PositionSample& next = q[1];
  const bool rotorcraft = ac.category == AcCategory::Rotorcraft;
  if (ac.flightState == FlightState::flying || ac.flightState == FlightState::parked) {
    ac.setFlightState(FlightState::taxi);
  } else if (ac.climbOut != 0) {
    // Take-off roll.
    std::uint32_t throttle = 0;
    if (rotorcraft || front.groundSpeed >= 25.0 || next.groundSpeed >= 30.0) {
      throttle = 4;
    } else if (front.groundSpeed >= 20.0 || next.groundSpeed >= 25.0) {
      throttle = 2;
    } else if (front.groundSpeed >= 15.0 || next.groundSpeed >= 20.0) {
      throttle = 1;
    }
    gf_setThrottle(ac, throttle);
  } else if (ac.landingRoll != 0) {
    const double turn = std::fabs(gf_normalizePi(ac.heading - ac.touchdownHeading)) * radToDeg;
    if (turn >= 15.0) {
      // Off the runway.
      gf_setFlaps(ac, 0);
      ac.landingRoll = 0;
      ac.touchdownHeading = 0.0;
      gf_setThrottle(ac, rotorcraft ? 4 : 0);
      gf_setSpoilers(ac, 0);
      if (ac.category != AcCategory::Light) lf_setSpoilerAndThrottleLevers(ac, 0.0, 0.0);
      lf_lights(ac, 1, 1, 0, 1, 0, 1, 1);
    } else if (front.groundSpeed <= 90.0) {
      gf_setSpoilers(ac, 0);
      if (ac.category != AcCategory::Light) lf_setSpoilerAndThrottleLevers(ac, 0.0, 0.0);
      gf_setFlaps(ac, 1);
    }
  } else {
    gf_setThrottle(ac, rotorcraft ? 4 : 0);
  }
  if (ac.landingRoll == 0 && ac.climbOut == 0) lf_shrinkWindows(ac);
  // The nose still coming down after touchdown belongs to the flare.
  if (ac.flareStage == 0 && ac.touchdown == 0 && ac.flightState != FlightState::take_off) {
    ac.pitch = ac.groundPitch;
    ac.bank = 0.0;
    ac.pitchRate = 0.0;
    ac.bankRate = 0.0;
    ac.headingRate = 0.0;  // on the ground the heading follows curves and tracks only
  }
  const std::int64_t due = next.dueCycle - engineCycle.load();
  const double cycles = static_cast<double>(std::clamp<std::int64_t>(due, 25, 0x7fffffff));
  if (ac.curve.present()) ac.curveStep = 1.0 / cycles;
  ac.legTrueAirspeed = ac.flightState == FlightState::pushing_back ? -next.groundSpeed : next.groundSpeed;

  // The take-off decision.
  if (ac.climbOut == 0 || ac.flightState == FlightState::take_off || front.groundSpeed < 43.0) return;
  bool slow = false;
  bool allAirborne = true;
  for (std::size_t i = 1; i < q.size(); ++i) {
    slow = slow || q[i].verticalSpeed <= 256.0;
    allAirborne = allAirborne && q[i].airborne != 0;
  }
  if (slow) {
    if (!lf_rotationSpeedReached(ac) || !allAirborne) return;
    ac.altitudeRate = ac.climbLimit;
  } else if (!allAirborne) {
    ac.altitudeRate = ac.climbLimit;
  } else {
    ac.altitudeRate = std::min(std::max(next.altitude - ac.altitude, 0.1) / cycles, ac.climbLimit);
  }
  lf_startTakeOff(ac);
}

bool lf_rotationSpeedReached(const LiveAc& ac) {
  const double speed = gf_categoryValues(ac.category).rotationSpeed;
  const SampleQueue& q = ac.samples;
  for (std::size_t i = 1; i < q.size(); ++i)
    if (q[i].groundSpeed < speed) return false;
  return true;
}

void lf_startTakeOff(LiveAc& ac) {
  const std::int32_t n = std::max(ac.rotationCycles, 1);
  ac.pitchRate = (ac.takeOffPitch - ac.pitch) / n;
  ac.bank = 0.0;
  ac.bankRate = 0.0;
  ac.flareCounter = n;
  if (ac.climbOut == 0) lf_takeOffConfig(ac);
  ac.setFlightState(FlightState::take_off);
  ac.headingRate = 0.0;
  ac.curve.clear();
  // A landing not finished yet (the nose still coming down) is over.
  ac.touchdown = 0;
  ac.flareStage = 0;
  if (ac.landingRoll != 0) {
    // A take-off from the landing roll: spoilers in, reversers off, full power.
    ac.landingRoll = 0;
    ac.approach = 0;
    ac.touchdownSeen = 0;
    if (ac.category != AcCategory::Light) lf_setSpoilerAndThrottleLevers(ac, 0.0, 0.0);
    gf_setThrottle(ac, 4);
    gf_setSpoilers(ac, 0);
    gf_setFlaps(ac, 1);
  }
}

void lf_takeOffConfig(LiveAc& ac) {
  if (ac.shortTurnaround != 0) gf_log(wdrx::format("towed aircraft takes-off? {}", gf_acIdentText(ac)));
  ac.climbOut = 1;
  gf_setThrottle(ac, 0);
  gf_setSpoilers(ac, 0);
  gf_setFlaps(ac, 1);
  ac.approach = 0;
  ac.touchdownSeen = 0;
  ac.goAround = 0;
  lf_lights(ac, 1, 1, 1, 1, 1, 1, 0);
  ac.lateWindow = 5000;
  ac.earlyWindow = 3000;
}
