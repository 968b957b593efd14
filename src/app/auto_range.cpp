// The automatic range of the live traffic.
#include "app/auto_range.hpp"

#include <gsl/narrow>

#include <cmath>

#include "app/run_services.hpp"
#include "config/settings.hpp"
#include "simlink/user_aircraft.hpp"
#include "window/window_controls.hpp"

std::int32_t gf_autoRangeFor(bool onGround, double altitudeFeet, std::optional<double> distanceNm) {
  if (onGround) return 10;
  if (altitudeFeet > AR_ABOVE_HEIGHT.value.load()) return 100;
  if (altitudeFeet > AIRP_HEIGHT.value.load()) return 40;
  const double d = distanceNm.value_or(10000.0);
  if (d <= 7.0) return 10;
  if (d >= 37.0) return 40;
  const std::int32_t r = gsl::narrow<std::int32_t>(std::round(d));
  if (r >= 33) return 35;
  if (r >= 28) return 30;
  if (r >= 23) return 25;
  if (r >= 19) return 20;
  if (r >= 17) return 18;
  if (r >= 15) return 16;
  if (r >= 13) return 14;
  if (r >= 11) return 12;
  if (r >= 9) return 10;
  return 8;
}

void lf_autoRange() {
  std::optional<double> distance;
  if (const auto airport = gf_call(runServices.firstParkAirport))
    distance = gf_distanceNm({userPosition.latitude, userPosition.longitude}, *airport);
  gf_setRange(gf_autoRangeFor(userOnGround.onGround.load(), userPosition.altitude, distance));
}
