#pragma once
// The fixed numbers under which the program defines its system events, data definitions,
// client events, notification group and requests on every connection.
#include <cstdint>

namespace simid {
// System events.
inline constexpr std::uint32_t eventSim = 201;
inline constexpr std::uint32_t eventObjectAdded = 202;
inline constexpr std::uint32_t eventObjectRemoved = 203;
inline constexpr std::uint32_t eventFrame = 204;
inline constexpr std::uint32_t eventPositionChanged = 205;
inline constexpr std::uint32_t eventFlightLoaded = 206;

// Data definitions.
inline constexpr std::uint32_t defSpoilersThrottle = 401;  // 3 x f64, 24 bytes
inline constexpr std::uint32_t defAiPosition = 402;        // 8 x f64, 64 bytes
inline constexpr std::uint32_t defUserState = 403;         // 112 bytes
inline constexpr std::uint32_t defInRange = 404;           // 56 bytes
inline constexpr std::uint32_t defStaticCg = 405;          // 2 x f64
inline constexpr std::uint32_t defLightOnStates = 406;     // never requested
inline constexpr std::uint32_t defTitle = 407;             // STRINGV
inline constexpr std::uint32_t defAtcModel = 408;          // STRING32
inline constexpr std::uint32_t defOnGround = 409;          // INT64

// Client events.
inline constexpr std::uint32_t beaconLights = 207;
inline constexpr std::uint32_t navLights = 208;
inline constexpr std::uint32_t taxiLights = 209;
inline constexpr std::uint32_t strobes = 210;
inline constexpr std::uint32_t landingLights = 211;
inline constexpr std::uint32_t cabinLights = 212;
inline constexpr std::uint32_t logoLights = 213;
inline constexpr std::uint32_t allLightsToggle = 214;
inline constexpr std::uint32_t freezeLatLon = 215;
inline constexpr std::uint32_t freezeAltitude = 216;
inline constexpr std::uint32_t freezeAttitude = 217;
inline constexpr std::uint32_t flapsSet = 218;
inline constexpr std::uint32_t spoilersSet = 219;
inline constexpr std::uint32_t gearSet = 220;
inline constexpr std::uint32_t engineAutoStart = 221;
inline constexpr std::uint32_t engineAutoShutdown = 222;
inline constexpr std::uint32_t throttleSet = 223;

inline constexpr std::uint32_t group = 301;  // every transmitted client event names it

// Requests.
inline constexpr std::uint32_t reqInRange = 101;
inline constexpr std::uint32_t reqStaticCg = 102;
inline constexpr std::uint32_t reqReleaseControl = 103;
inline constexpr std::uint32_t reqCreate = 104;
inline constexpr std::uint32_t reqRemove = 105;
inline constexpr std::uint32_t reqUserTitle = 106;
inline constexpr std::uint32_t reqUserModel = 107;
inline constexpr std::uint32_t reqUserOnGround = 108;
inline constexpr std::uint32_t reqUserState = 109;
inline constexpr std::uint32_t reqFlightPlan = 110;
}  // namespace simid
