// The advance from one due sample to the next and the movement in the air: timing of the next
// sample, climb and descent rates, pitch, heading and bank steering, and the configuration
// below and above 10,000 ft with the approach toward the park airport.
#include <algorithm>
#include <cmath>

#include "airports/park_airport_state.hpp"
#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "engine/movement/movement_steps.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "records/engine_cycle.hpp"
#include "records/record_texts.hpp"
#include "traffic/qnh.hpp"

namespace {

LatLon lf_pos(const PositionSample& s) { return {s.latitude, s.longitude}; }

// An aircraft in the air takes no ground samples until the simulator reports it on the ground.
void lf_dropGroundSamples(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  while (q.size() >= 2 && ac.onGround == 0 && ac.category != AcCategory::Rotorcraft && q[1].onGroundMark != 0)
    q.erase(q.begin() + 1, q.begin() + 2);
}

std::int32_t lf_legCycles(const PositionSample& next) {
  const std::int64_t cycles = next.dueCycle - engineCycle.load();
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(cycles, 25, 0x7fffffff));
}

void lf_cruiseConfig(LiveAc& ac) {
  if (ac.cruiseConfig != 0) return;
  ac.cruiseConfig = 1;
  ac.lowLevelConfig = 0;
  lf_lights(ac, 1, 1, 0, 0, 0, 0, 1);
  gf_setThrottle(ac, ac.category == AcCategory::Rotorcraft ? 4 : 3);
  gf_setGear(ac, 0);
  gf_setFlaps(ac, 0);
}

}  // namespace

void nextPosMain(LiveAc& ac) {
  try {
    lf_dropGroundSamples(ac);
    // Each extension adds one sample; a path that keeps losing them ends after a few tries.
    for (int tries = 0; ac.samples.size() < 2; ++tries) {
      if (tries >= 4 || !lf_endOfSamples(ac)) {
        removeAircraftFromSim(ac);
        return;
      }
      lf_dropGroundSamples(ac);
    }
    nextPos(ac);
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(), gf_acIdentText(ac),
                              ac.samples.size(), gf_flightStateName(ac.flightState),
                              gf_simStateName(ac.simState)));
    throw;
  }
}

void nextPos(LiveAc& ac) {
  SampleQueue& q = ac.samples;
  ac.curve.clear();
  ac.curveT = 0.0;
  {
    const PositionSample& front = q[0];
    PositionSample& next = q[1];
    if (next.onGroundMark == 0 && gf_samePosition(front.latitude, front.longitude, next.latitude, next.longitude))
      next.onGroundMark = 1;
    if (next.onGroundMark == 0) ac.legTrack = gf_bearing(lf_pos(front), lf_pos(next));
  }
  if (ac.onGround != 0) {
    nextPosGround(ac);
  } else {
    lf_timeNextSample(ac);
  }
  // The ground step may have reshaped the queue: the samples are looked up again.
  if (q.size() >= 2) {
    const PositionSample& next = q[1];
    if (next.onGroundMark != 0) {
      ac.latitudeRate = 0.0;
      ac.longitudeRate = 0.0;
      if (ac.climbOut == 0 && ac.landingRoll == 0) lf_shrinkWindows(ac);
    } else {
      const std::int32_t cycles = lf_legCycles(next);
      ac.latitudeRate = (next.latitude - ac.latitude) / cycles;
      ac.longitudeRate = lf_longitudeDelta(ac.longitude, next.longitude) / cycles;
      if (ac.onGround != 0) {
        lf_groundRollStep(ac);
      } else {
        lf_airborneStep(ac, cycles);
      }
    }
  }
  q.pop_front();
}

void lf_timeNextSample(LiveAc& ac) {
  const SampleQueue& q = ac.samples;
  const PositionSample& front = q[0];
  const PositionSample& next = q[1];
  if (next.onGroundMark == 0) {
    double speed = 0.0;
    if (ac.approach != 0 && next.airborne == 0) {
      speed = front.groundSpeed > 0.0 ? front.groundSpeed : 100.0;
    } else {
      speed = lf_meanGroundSpeed(ac);
    }
    const std::int32_t cycles = lf_cycleCount(gf_distanceNm(lf_pos(front), lf_pos(next)) * 360000.0 / speed);
    lf_setNextDue(ac, std::max(cycles, 25));
  } else if (ac.category == AcCategory::Rotorcraft) {
    lf_groundTiming(ac);
  }
}

void lf_setNextDue(LiveAc& ac, std::int64_t cycles) {
  PositionSample& next = ac.samples[1];
  const std::int64_t now = engineCycle.load();
  std::int64_t t = now + cycles;
  if (ac.pathExtensionCount < 1) {
    t = std::min(t, next.dueCycle + ac.lateWindow);
    t = std::max(t, next.dueCycle - ac.earlyWindow);
  }
  next.dueCycle = std::max(t, now);
}

double lf_meanGroundSpeed(const LiveAc& ac) {
  const PositionSample& front = ac.samples[0];
  const PositionSample& next = ac.samples[1];
  const double mean = (front.groundSpeed + next.groundSpeed) / 2.0;
  if (mean > 0.0) return mean;
  // Both stand still: the speed that covers the leg in its reported time.
  const std::int64_t due = std::max<std::int64_t>(next.dueCycle - front.dueCycle, 25);
  return std::fmax(gf_distanceNm(lf_pos(front), lf_pos(next)) * 360000.0 / static_cast<double>(due), 1.0);
}

namespace {

// The leg goes at the vertical speed vs (feet per minute): the next sample takes it too.
void lf_setLegVerticalSpeed(LiveAc& ac, double vs) {
  ac.samples[1].verticalSpeed = vs;
  ac.legVerticalSpeed = vs;
  ac.altitudeRate = vs / 6000.0;
}

// The altitude rate of the leg by where its two samples are (on the ground or airborne) and
// whether the aircraft is on approach; descents and climbs from the ground set the gear.
void lf_legAltitudeRate(LiveAc& ac, std::int32_t cycles) {
  SampleQueue& q = ac.samples;
  const bool frontUp = q[0].airborne != 0;
  const bool nextUp = q[1].airborne != 0;
  if (!frontUp && nextUp) {
    ac.altitudeRate = lf_takeOffClimbRate(ac, cycles);
  } else if (!frontUp && !nextUp) {
    double sum = 0.0;
    for (const PositionSample& s : q) sum += s.verticalSpeed;
    bool skipped = false;
    if (ac.approach == 0 && sum > 100.0) {
      const std::size_t last = std::min<std::size_t>(q.size() - 1, 10);
      for (std::size_t i = 3; i <= last && !skipped; ++i) skipped = lf_skipToAirborne(ac, i);
      if (!skipped) {
        // Climbing away from ground samples.
        q[1].verticalSpeed = std::max(q[1].verticalSpeed, 601.0);
        ac.legVerticalSpeed = q[1].verticalSpeed;
        ac.altitudeRate = std::min(q[1].verticalSpeed / 6000.0, ac.climbLimit);
      }
    } else {
      lf_setLegVerticalSpeed(ac, lf_descentRate(ac));
    }
    gf_setGear(ac, 1);
  } else if (frontUp && !nextUp) {
    if (lf_parkAirportLoaded() && qnhHpa.load() <= 1013) {
      // Toward the field; from below it (an altimeter off the QNH) within the climb limit.
      ac.altitudeRate = std::min((lf_fieldAltitude() - ac.altitude) / cycles, ac.climbLimit);
    } else {
      lf_setLegVerticalSpeed(ac, qnhHpa.load() > 1013 ? lf_descentRate(ac) : -601.0);
    }
    gf_setGear(ac, 1);
  } else if (ac.approach == 0) {
    double rate = (q[1].altitude - ac.altitude) / cycles;
    if (ac.heightAboveGround > 1000.0) {
      rate = std::min(rate, ac.climbLimit);
    } else if (rate > 0.0 || ac.climbOut != 0) {
      // Near the ground a climb is at least 1200 feet per minute; a descent is left alone.
      rate = std::min(ac.climbLimit, std::max(rate, 0.2));
    }
    ac.altitudeRate = rate;
  } else if (q[0].altitude != q[1].altitude || ac.heightAboveGround > 1000.0 ||
             q[0].verticalSpeed + q[1].verticalSpeed > 100.0) {
    // On approach the reports lead; a climb (a missed approach) still keeps the climb limit.
    ac.altitudeRate = std::min((q[1].altitude - ac.altitude) / cycles, ac.climbLimit);
  } else {
    lf_setLegVerticalSpeed(ac, lf_descentRate(ac));
  }
}

}  // namespace

void lf_airborneStep(LiveAc& ac, std::int32_t cycles) {
  SampleQueue& q = ac.samples;
  const CategoryValues& cat = gf_categoryValues(ac.category);
  if (ac.flightState != FlightState::take_off && ac.flightState != FlightState::flying)
    ac.setFlightState(FlightState::flying);
  ac.legTrueAirspeed = q[1].trueAirspeed;
  ac.legVerticalSpeed = q[1].verticalSpeed;

  if (ac.flareStage == 0) lf_legAltitudeRate(ac, cycles);

  const PositionSample& next = q[1];
  if (ac.flareStage == 0 && ac.flightState != FlightState::take_off) {
    double v = std::clamp(next.verticalSpeed, -3000.0, 2400.0);
    if (v < 0.0) v /= 2.0;
    const double target = (-3.0 - v / 600.0 * 2.2) * degToRad;
    const double limit = cat.pitchRateLimitDeg * degToRad;
    ac.pitchRate = std::clamp((target - ac.pitch) / cycles, -limit, limit);
  }

  double turn = 0.0;
  const double headingHeight = ac.approach != 0 ? 2000.0 : 1000.0;
  if (next.reportFlag != 0 && next.roll && next.trueHeading && ac.heightAboveGround < headingHeight) {
    turn = *next.trueHeading - ac.heading;
  } else {
    turn = lf_nextLegTurn(ac);
  }
  turn = gf_normalizePi(turn);
  ac.headingRate = turn / cycles;

  if (next.roll) {
    ac.bankRate = (*next.roll - ac.bank) / cycles;
  } else {
    lf_bankRate(ac, turn, cycles);
  }

  if (q[0].altitude < 10000.0) {
    lf_lowLevelConfig(ac);
  } else {
    lf_cruiseConfig(ac);
  }
}

double lf_descentRate(const LiveAc& ac) {
  if (ac.heightAboveGround <= 100.0) return -600.0;
  const SampleQueue& q = ac.samples;
  const double mean = (q[0].verticalSpeed + q[1].verticalSpeed) / 2.0;
  return std::min(mean - (qnhHpa.load() - 1013.25) * 6.0, -601.0);
}

double lf_takeOffClimbRate(const LiveAc& ac, std::int32_t cycles) {
  const PositionSample& next = ac.samples[1];
  if (next.altitude <= ac.altitude) return 0.0;
  return std::min((next.altitude - ac.altitude) / cycles, ac.climbLimit);
}

bool lf_skipToAirborne(LiveAc& ac, std::size_t i) {
  SampleQueue& q = ac.samples;
  if (i < 2 || q.size() < i || q[i - 1].airborne == 0) return false;
  for (std::size_t removed = 0; removed < i - 2 && q.size() >= 3; ++removed) q.erase(q.begin() + 1, q.begin() + 2);
  const std::int32_t cycles = lf_cycleCount(gf_distanceNm(lf_pos(q[0]), lf_pos(q[1])) * 360000.0 / lf_meanGroundSpeed(ac));
  lf_setNextDue(ac, std::max(cycles, 25));
  ac.altitudeRate = lf_takeOffClimbRate(ac, lf_legCycles(q[1]));
  return true;
}

double lf_nextLegTurn(const LiveAc& ac) {
  const SampleQueue& q = ac.samples;
  if (q.size() < 3) return 0.0;
  return gf_normalizePi(gf_bearing(lf_pos(q[1]), lf_pos(q[2])) - ac.heading);
}

void lf_bankRate(LiveAc& ac, double turn, std::int32_t cycles) {
  const CategoryValues& cat = gf_categoryValues(ac.category);
  // The turn still to fly, in radians, is the bank asked for, up to the category's maximum.
  const double maxBank = cat.maxBankDeg * degToRad;
  const double target = -std::clamp(turn, -maxBank, maxBank);
  const double limit = cat.bankRateLimitDeg * degToRad;
  ac.bankRate = std::clamp((target - ac.bank) / cycles, -limit, limit);
}

void lf_lowLevelConfig(LiveAc& ac) {
  const PositionSample& front = ac.samples[0];
  const bool rotorcraft = ac.category == AcCategory::Rotorcraft;
  if (ac.lowLevelConfig == 0) {
    ac.lowLevelConfig = 1;
    ac.cruiseConfig = 0;
    lf_lights(ac, 1, 1, 1, 1, 1, 1, 1);
  }
  const bool jet = ac.category == AcCategory::Buzjets || ac.category == AcCategory::Large ||
                   ac.category == AcCategory::Heavy;
  if (ac.heightAboveGround <= (jet ? 2050.0 : 625.0)) {
    lf_approachCheck(ac);
    return;
  }
  lf_shrinkWindows(ac);
  lf_cabinLights(ac, 1);
  ac.climbOut = 0;
  ac.approach = 0;
  if (front.verticalSpeed <= -250.0 && ac.lastThrottle == 3) {
    gf_setThrottle(ac, rotorcraft ? 4 : 2);
  } else if (front.verticalSpeed > 400.0 && ac.lastThrottle == 4) {
    gf_setThrottle(ac, rotorcraft ? 4 : 3);
  }
  if (ac.heightAboveGround >= 2400.0) {
    gf_setGear(ac, 0);
    gf_setFlaps(ac, 0);
  } else if (front.verticalSpeed <= 100.0) {
    if (ac.heightAboveGround < 2000.0) {
      if (ac.lastFlaps == 0) {
        gf_setFlaps(ac, 1);
      } else if (ac.lastFlaps == 1) {
        gf_setFlaps(ac, 2);
      }
    } else if (ac.lastFlaps == 0) {
      gf_setFlaps(ac, 1);
    }
  }
}

void lf_approachCheck(LiveAc& ac) {
  const PositionSample& front = ac.samples[0];
  lf_cabinLights(ac, 0);
  bool near = false;
  if (lf_parkAirportLoaded()) {
    const Airport airport = parkAirport.load();
    near = gf_distanceNm({ac.latitude, ac.longitude}, {airport.latitude, airport.longitude}) <= 10.0;
  }
  const bool rotorcraft = ac.category == AcCategory::Rotorcraft;
  if (front.verticalSpeed > -250.0) {
    if (front.verticalSpeed <= 600.0 && (ac.approach == 0 || near)) return;
    if (ac.goAround != 0) return;
    lf_shrinkWindows(ac);
    gf_setThrottle(ac, 4);
    gf_setGear(ac, 0);
    gf_setFlaps(ac, 0);
    ac.goAround = 1;
    ac.flareStage = 0;
    ac.flareMark = 0;
    ac.approach = 0;
    return;
  }
  if (ac.approach != 0 || !near) return;
  gf_setThrottle(ac, rotorcraft ? 4 : 1);
  gf_setFlaps(ac, 3);
  gf_setGear(ac, 1);
  approachList.push_back(ac.hexid);
  ac.approach = 1;
  ac.goAround = 0;
  ac.standLatitude = ac.standLongitude = ac.standHeading = 0.0;
  ac.standId = 0;
  ac.cargoStand = 0;
  ac.flareCounter = 1;
  ac.lateWindow = ac.climbOut != 0 ? 5000 : 3000;
  ac.earlyWindow = 3000;
}
