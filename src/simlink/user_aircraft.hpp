#pragma once
// What the simulator tells about the user aircraft: its state (definition 403), on-ground flag,
// title, model and half wing span, and the simulator's UTC. Written on the SimClient thread;
// other threads read copies or atomics.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

// The 112 bytes of data definition 403, in the order the simulator sends them.
struct UserAircraftState {
  double latitude = 0.0;             // degrees
  double longitude = 0.0;            // degrees
  double pitch = 0.0;                // radians
  double bank = 0.0;                 // radians
  double heading = 0.0;              // true, radians
  double altitude = 0.0;             // feet, never negative
  double indicatedAltitude = 0.0;    // feet
  double altitudeAboveGround = 0.0;  // feet
  double groundSpeed = 0.0;          // knots
  std::int64_t zuluTime = 0;         // seconds of the day
  std::int64_t zuluDayOfYear = 0;
  std::int64_t zuluYear = 0;
  std::int64_t lightStates = 0;      // mask
  double standardAtmTemperature = 0.0;  // Rankine
};
static_assert(sizeof(UserAircraftState) == 112, "definition 403 is 112 bytes");

// A position counts as known unless latitude and longitude are both within 0.0001 of 0.
bool gf_positionKnown(double latitude, double longitude);
inline bool gf_positionKnown(const UserAircraftState& state) {
  return gf_positionKnown(state.latitude, state.longitude);
}

// The run thread's copy of the user aircraft's state (refreshed by gf_requestUserAcPosition);
// read and written on the run thread only.
extern UserAircraftState userPosition;

struct UserOnGround {
  std::atomic<bool> onGround{false};
  std::atomic<bool> known{false};
};
extern UserOnGround userOnGround;

extern std::atomic<std::uint32_t> userObjectId;    // object id of the last state answer
extern std::atomic<std::uint64_t> simUtcSeconds;   // simulator UTC, seconds since 1970
extern std::atomic<double> userHalfWingSpan;       // nautical miles

// Consistent copies of what the SimClient thread last stored (taken under a short lock of
// their own; the SimClient thread never waits on the engine).
UserAircraftState gf_userAircraftState();
std::string gf_userAcTitle();
std::string gf_userNearestStand();

// Under simQueueMutex, unless the queues are blocked: asks for the user state once (request
// 109). Returns the last state received; the answer to this request comes later.
UserAircraftState gf_requestUserAcPosition();

// Under simQueueMutex, unless the queues are blocked: asks for the user aircraft's title (106)
// and model (107), once each.
void gf_requestUserAcTitleAndModel();

// Days since 1970-01-01 of a simulator zulu year and day of year (day 1 of 1970 gives 0).
std::int64_t gf_daysSince1970(std::int64_t zuluYear, std::int64_t zuluDayOfYear);
// The simulator's UTC in seconds since 1970 from the packet's zulu fields, or nothing when a
// field lies outside what a clock shows (year 1970..3000, day 1..366, 0..86399 s): a damaged
// packet would overflow the count.
std::optional<std::int64_t> gf_simUtcSeconds(std::int64_t zuluYear, std::int64_t zuluDayOfYear,
                                             std::int64_t zuluTime);

// Run reset: previous position for the jump test, on-ground "known" flag, title, model,
// stand and state emptied; userPosition zeroed.
void gf_resetUserAircraft();
