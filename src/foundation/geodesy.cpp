#include "foundation/geodesy.hpp"

#include <algorithm>
#include <cmath>

namespace {
constexpr double nmPerHalfAngleRadian = 6875.493541569878;  // twice the earth radius in nm
constexpr double radiansPerFoot = 4.787404208238998e-8;     // 1 / earth radius in feet
constexpr double twoPi = 6.283185307179586;
}  // namespace

double gf_distanceNm(const LatLon& a, const LatLon& b) {
  const double latA = a.lat * degToRad;
  const double latB = b.lat * degToRad;
  const double sinHalfLat = std::sin((latB - latA) / 2.0);
  const double sinHalfLon = std::sin((b.lon - a.lon) * degToRad / 2.0);
  // Rounding can push h of (nearly) antipodal points just above 1, and sqrt(1 - h) would be NaN.
  const double h = std::min(
      1.0, sinHalfLat * sinHalfLat + std::cos(latB) * std::cos(latA) * sinHalfLon * sinHalfLon);
  return std::atan2(std::sqrt(h), std::sqrt(1.0 - h)) * nmPerHalfAngleRadian;
}

double gf_bearing(const LatLon& from, const LatLon& to) {
  const double phi1 = from.lat * degToRad;
  const double phi2 = to.lat * degToRad;
  const double dl = (to.lon - from.lon) * degToRad;
  double theta = std::atan2(std::sin(dl) * std::cos(phi2),
                            std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dl));
  if (theta < 0.0) theta += twoPi;
  return theta;
}

LatLon gf_destinationPoint(const LatLon& start, double bearingRad, double distanceFeet) {
  const double d = distanceFeet * radiansPerFoot;
  const double phi1 = start.lat * degToRad;
  const double phi2 = std::asin(std::sin(phi1) * std::cos(d) +
                                std::cos(phi1) * std::sin(d) * std::cos(bearingRad));
  const double dLon = std::atan2(std::sin(bearingRad) * std::sin(d) * std::cos(phi1),
                                 std::cos(d) - std::sin(phi1) * std::sin(phi2));
  const double lon = std::remainder(dLon + start.lon * degToRad, twoPi);
  return LatLon{phi2 * radToDeg, lon * radToDeg};
}
