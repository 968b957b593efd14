// Removing AI aircraft from the user aircraft's spot and path.
#include "airports/parking/user_spot.hpp"

#include <cmath>
#include <exception>
#include <numbers>

#include "foundation/geodesy.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/engine/engine_tables.hpp"
#include "traffic/engine/records.hpp"

namespace {

constexpr double pathHeightFeet = 500.0;
constexpr double pathReachNm = 1.0;
constexpr double pathHalfWidthFeet = 50.0;
constexpr double feetPerNm = 6076.11549;
constexpr double sameSpot = 1e-8;  // degrees

LatLon lastStaticCheck;  // the user aircraft's position when static aircraft were last checked

bool lf_remove(AcBase& aircraft) {
  if (!engineServices.removeAircraftFromSim) return false;
  engineServices.removeAircraftFromSim(aircraft);
  return true;
}

// Feet between the aircraft and the line through the user aircraft along its heading (behind
// it as well as ahead).
double lf_offLineFeet(const LatLon& user, double headingRad, const LatLon& other, double distanceNm) {
  double difference = gf_bearing(user, other) - headingRad;
  if (difference > std::numbers::pi) difference -= 2.0 * std::numbers::pi;
  if (difference < -std::numbers::pi) difference += 2.0 * std::numbers::pi;
  return std::fabs(std::sin(difference)) * distanceNm * feetPerNm;
}

}  // namespace

void gf_clearUserPath() {
  const LatLon user{userPosition.latitude, userPosition.longitude};
  const bool low = userPosition.altitudeAboveGround < pathHeightFeet;
  for (LiveAc& ac : liveAcTable) {
    if (ac.simState != SimState::active) continue;
    if (low && ac.onGround) {
      const LatLon position{ac.latitude, ac.longitude};
      const double distance = gf_distanceNm(user, position);
      if (distance <= pathReachNm &&
          lf_offLineFeet(user, userPosition.heading, position, distance) <= pathHalfWidthFeet) {
        try {
          if (lf_remove(ac)) return;
        } catch (const std::exception&) {
          // the next rule still looks at this aircraft
        }
      }
    }
    if (engineServices.removeIfNearUser && engineServices.removeIfNearUser(ac, 0)) return;
  }
}

void gf_clearUserSpot() {
  const LatLon user{userPosition.latitude, userPosition.longitude};
  const double userSpan = userHalfWingSpan.load();
  for (LiveAc& ac : liveAcTable) {
    if (!ac.onGround || ac.simState != SimState::active) continue;
    if (gf_distanceNm(user, {ac.latitude, ac.longitude}) <= (userSpan + ac.radius) * 1.15) {
      lf_remove(ac);
      return;
    }
  }
  if (std::fabs(user.lat - lastStaticCheck.lat) < sameSpot &&
      std::fabs(user.lon - lastStaticCheck.lon) < sameSpot)
    return;
  lastStaticCheck = user;
  for (AcBase& ac : staticAcTable) {
    if (ac.simState != SimState::active) continue;
    if (gf_distanceNm(user, {ac.standLatitude, ac.standLongitude}) <= ac.radius * 1.1 + userSpan * 1.1) {
      try {
        lf_remove(ac);
      } catch (const std::exception&) {
        // one aircraft a second: the next call tries again
      }
      return;
    }
  }
}

namespace wdrx::testing {
void resetUserSpot() { lastStaticCheck = {}; }
}  // namespace wdrx::testing
