// Small helpers of the movement: safe spans, longitudes across the date line, headings,
// checked cycle counts, windows, turning toward a heading, the park airport and lights.
#include <cmath>
#include <limits>

#include <gsl/narrow>

#include "airports/park_airport_state.hpp"
#include "engine/engine.hpp"
#include "engine/movement/movement_steps.hpp"
#include "foundation/geodesy.hpp"
#include "parking/apf_state.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/user_aircraft.hpp"

namespace {
constexpr double twoPi = 6.283185307179586;
constexpr double halfDegree = 0.5 * degToRad;
// The span taken when the reference data know none at all (a large airliner's half span).
constexpr double fallbackSpanNm = 0.0216;
}  // namespace

double lf_span(const AcBase& ac) {
  const double largest = maxHalfWingSpan > 0.0 ? maxHalfWingSpan : fallbackSpanNm;
  return ac.radius > 0.0 && ac.radius <= largest ? ac.radius : largest;
}

double lf_wrapLongitude(double longitude) {
  if (longitude >= -180.0 && longitude < 180.0) return longitude;
  double l = std::fmod(longitude + 180.0, 360.0);
  if (l < 0.0) l += 360.0;
  return l - 180.0;
}

double lf_longitudeDelta(double from, double to) { return lf_wrapLongitude(to - from); }

double lf_normalize2Pi(double angle) {
  if (!std::isfinite(angle)) return 0.0;
  double a = std::fmod(angle, twoPi);
  if (a < 0.0) a += twoPi;
  return a >= twoPi ? 0.0 : a;
}

std::int32_t lf_cycleCount(double value) {
  const double r = std::round(value);
  // NaN fails both tests: it never reaches the conversion.
  if (!(r >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
        r <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
    throw gsl::narrowing_error();
  return gsl::narrow<std::int32_t>(r);
}

void lf_shrinkWindows(LiveAc& ac) {
  ac.earlyWindow = std::max(ac.earlyWindow - 100, 1000);
  ac.lateWindow = std::max(ac.lateWindow - 100, 1000);
}

void lf_turnToward(LiveAc& ac, double target) {
  const double diff = gf_normalizePi(target - ac.heading);
  if (std::fabs(diff) <= halfDegree) return;
  const double step = std::min(std::fabs(ac.turnRate), std::fabs(diff));
  ac.heading = lf_normalize2Pi(ac.heading + std::copysign(step, diff));
}

bool lf_parkAirportLoaded() { return !parkAirportCode.load().empty() && learnedDirty.load(); }

double lf_fieldAltitude() {
  if (parkAirportElevation) return *parkAirportElevation;
  return static_cast<double>(parkAirport.load().altitude);
}

void lf_lights(const AcBase& ac, std::uint32_t nav, std::uint32_t beacon, std::uint32_t landing,
               std::uint32_t taxi, std::uint32_t strobes, std::uint32_t logo, std::uint32_t cabin) {
  if (ac.objectId <= userObjectId.load()) return;
  gf_queueLights(ac.objectId, LightsRecord{nav, beacon, landing, taxi, strobes, logo, cabin});
}

void lf_cabinLights(const AcBase& ac, std::uint32_t on) {
  if (ac.objectId <= userObjectId.load()) return;
  gf_queueCabinLights(ac.objectId, on);
}
