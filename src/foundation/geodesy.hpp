#pragma once
// Distances, bearings and dead-reckoned points on one spherical earth.

struct LatLon {
  double lat = 0.0;  // degrees, north positive
  double lon = 0.0;  // degrees, east positive
};

inline constexpr double degToRad = 0.017453292519943295;
inline constexpr double radToDeg = 57.29577951308232;

double gf_distanceNm(const LatLon& a, const LatLon& b);
double gf_bearing(const LatLon& from, const LatLon& to);  // radians in [0, 2 pi)
LatLon gf_destinationPoint(const LatLon& start, double bearingRad, double distanceFeet);
