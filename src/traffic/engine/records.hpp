#pragma once
// The head records of the live-traffic engine: the identity shared by reports and aircraft,
// one reported position, and one decoded traffic datagram.
#include <cstdint>
#include <optional>
#include <string>

#include "aircraft/aircraft_codes.hpp"
#include "foundation/fixed_code.hpp"

struct AcIdentity {
  AircraftCodes codes;     // replaced as one 8-byte value
  IataCode origin;         // empty = none
  IataCode destination;    // empty = none
  std::string callsign;    // a trailing "_" marks a ghost of another flight
  std::string liveCallsign;  // live: copy of the callsign; static: the real flight's callsign
  std::string altCallsign;   // empty for live aircraft; set by the static placement
  std::string registration;  // empty = none
};

struct PositionSample {
  double latitude = 0.0;       // degrees
  double longitude = 0.0;      // degrees
  double altitude = 0.0;       // feet
  double groundSpeed = 0.0;    // knots
  double track = 0.0;          // degrees
  double verticalSpeed = 0.0;  // feet per minute
  double trueAirspeed = 0.0;   // knots
  std::int32_t dueCycle = 0;   // engineCycle at which the aircraft is to be here
  std::uint8_t airborne = 0;
  std::uint8_t onGroundMark = 0;  // 0 in reports; the engine marks samples standing still
  std::uint8_t reportFlag = 0;    // the report gave its own heading
  std::optional<double> roll;         // radians
  std::optional<double> trueHeading;  // radians, (0, 2 pi]
};

struct LiveReport {
  AcIdentity identity;
  PositionSample sample;
  double timestamp = 0.0;  // seconds since 1970, as sent by the traffic source
  std::uint32_t hexid = 0;  // 24-bit address; values up to 10000 belong to static aircraft
};
