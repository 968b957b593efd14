// Removing AI aircraft from the user aircraft's spot and path.
#include "parking/user_spot.hpp"

#include <cmath>
#include <exception>
#include <limits>
#include <numbers>

#include "foundation/geodesy.hpp"
#include "records/engine_tables.hpp"
#include "records/records.hpp"
#include "simlink/user_aircraft.hpp"

namespace {

constexpr double pathHeightFeet = 500.0;
constexpr double pathReachNm = 1.0;
constexpr double pathHalfWidthFeet = 50.0;
constexpr double feetPerNm = 6076.11549;
constexpr double sameSpot = 1e-8;  // degrees

LatLon lastStaticCheck;  // the user aircraft's position when static aircraft were last checked

void lf_remove(AcBase& aircraft) {
  if (engineServices.removeAircraftFromSim) engineServices.removeAircraftFromSim(aircraft);
}

// Feet between the aircraft and the line through the user aircraft along its heading (behind
// it as well as ahead).
double lf_offLineFeet(const LatLon& user, double headingRad, const LatLon& other, double distanceNm) {
  double difference = gf_bearing(user, other) - headingRad;
  if (difference > std::numbers::pi) difference -= 2.0 * std::numbers::pi;
  if (difference < -std::numbers::pi) difference += 2.0 * std::numbers::pi;
  return std::fabs(std::sin(difference)) * distanceNm * feetPerNm;
}

// The nearest record of the table within its own reach (nm) of the user aircraft, if any: the
// one most in the way goes first.
template <typename Table, typename Position, typename Reach>
typename Table::value_type* lf_nearest(Table& table, const LatLon& user, Position position, Reach reach) {
  typename Table::value_type* nearest = nullptr;
  double best = std::numeric_limits<double>::infinity();
  for (auto& aircraft : table) {
    const double limit = reach(aircraft);
    if (limit < 0.0) continue;
    const double distance = gf_distanceNm(user, position(aircraft));
    if (distance <= limit && distance < best) {
      best = distance;
      nearest = &aircraft;
    }
  }
  return nearest;
}

}  // namespace

void gf_clearUserPath() {
  const LatLon user{userPosition.latitude, userPosition.longitude};
  if (userPosition.altitudeAboveGround < pathHeightFeet) {
    auto position = [](const LiveAc& ac) { return LatLon{ac.latitude, ac.longitude}; };
    auto reach = [&](const LiveAc& ac) {
      if (ac.simState != SimState::active || !ac.onGround) return -1.0;
      const double distance = gf_distanceNm(user, position(ac));
      return distance <= pathReachNm &&
                     lf_offLineFeet(user, userPosition.heading, position(ac), distance) <= pathHalfWidthFeet
                 ? pathReachNm
                 : -1.0;
    };
    if (LiveAc* onLine = lf_nearest(liveAcTable, user, position, reach)) {
      try {
        lf_remove(*onLine);
        return;
      } catch (const std::exception&) {
        // the near-user rule below still looks at every aircraft
      }
    }
  }
  if (!engineServices.removeIfNearUser) return;
  for (LiveAc& ac : liveAcTable) {
    if (ac.simState == SimState::active && engineServices.removeIfNearUser(ac, 0)) return;
  }
}

void gf_clearUserSpot() {
  const LatLon user{userPosition.latitude, userPosition.longitude};
  const double userSpan = userHalfWingSpan.load();
  LiveAc* live = lf_nearest(
      liveAcTable, user, [](const LiveAc& ac) { return LatLon{ac.latitude, ac.longitude}; },
      [&](const LiveAc& ac) {
        return ac.onGround && ac.simState == SimState::active ? (userSpan + ac.radius) * 1.15 : -1.0;
      });
  if (live) {
    lf_remove(*live);
    return;
  }
  if (std::fabs(user.lat - lastStaticCheck.lat) < sameSpot &&
      std::fabs(user.lon - lastStaticCheck.lon) < sameSpot)
    return;
  lastStaticCheck = user;
  AcBase* parked = lf_nearest(
      staticAcTable, user, [](const AcBase& ac) { return LatLon{ac.standLatitude, ac.standLongitude}; },
      [&](const AcBase& ac) {
        return ac.simState == SimState::active ? ac.radius * 1.1 + userSpan * 1.1 : -1.0;
      });
  if (!parked) return;
  try {
    lf_remove(*parked);
  } catch (const std::exception&) {
    // one aircraft a second: the next call tries again
  }
}

namespace wdrx::testing {
void resetUserSpot() { lastStaticCheck = {}; }
}  // namespace wdrx::testing
