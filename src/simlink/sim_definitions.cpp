// Everything the program later uses by number, defined once per successful open. The results
// are not tested: a failed definition shows up as an exception packet.
#include "simlink/sim_client.hpp"
#include "simlink/sim_ids.hpp"

namespace {
struct Datum {
  std::uint32_t definition;
  const char* name;
  const char* units;
  SimDataType type;
};

constexpr SimDataType f64 = SimDataType::Float64;
constexpr SimDataType i64 = SimDataType::Int64;

// In the order of the calls: 407, 408, 409, 402, 403, 405, 406, 404, 401.
constexpr Datum dataDefinitions[] = {
    {simid::defTitle, "TITLE", nullptr, SimDataType::StringV},
    {simid::defAtcModel, "ATC MODEL", nullptr, SimDataType::String32},
    {simid::defOnGround, "SIM ON GROUND", "Bool", i64},
    {simid::defAiPosition, "Plane Latitude", "degree", f64},
    {simid::defAiPosition, "Plane Longitude", "degree", f64},
    {simid::defAiPosition, "Plane Pitch degrees", "radians", f64},
    {simid::defAiPosition, "Plane Bank degrees", "radians", f64},
    {simid::defAiPosition, "Plane Heading degrees true", "radians", f64},
    {simid::defAiPosition, "Plane Altitude", "feet", f64},
    {simid::defAiPosition, "Vertical Speed", "feet per second", f64},
    {simid::defAiPosition, "Airspeed True", "knots", f64},
    {simid::defUserState, "Plane Latitude", "degree", f64},
    {simid::defUserState, "Plane Longitude", "degree", f64},
    {simid::defUserState, "Plane Pitch degrees", "radians", f64},
    {simid::defUserState, "Plane Bank degrees", "radians", f64},
    {simid::defUserState, "Plane Heading degrees true", "radians", f64},
    {simid::defUserState, "Plane Altitude", "feet", f64},
    {simid::defUserState, "Indicated Altitude", "feet", f64},
    {simid::defUserState, "Plane Alt Above Ground", "feet", f64},
    {simid::defUserState, "Ground Velocity", "knots", f64},
    {simid::defUserState, "ZULU TIME", "Seconds", i64},
    {simid::defUserState, "ZULU DAY OF YEAR", "Number", i64},
    {simid::defUserState, "ZULU YEAR", "Number", i64},
    {simid::defUserState, "LIGHT STATES", "Mask", i64},
    {simid::defUserState, "STANDARD ATM TEMPERATURE", "Rankine", f64},
    {simid::defStaticCg, "Static CG to Ground", "feet", f64},
    {simid::defStaticCg, "Static Pitch", "radians", f64},
    {simid::defLightOnStates, "Light On States", "Mask", i64},
    {simid::defInRange, "Plane Alt Above Ground", "feet", f64},
    {simid::defInRange, "Ground Altitude", "feet", f64},
    {simid::defInRange, "SIM ON GROUND", "Bool", i64},
    {simid::defInRange, "ATC ID", nullptr, SimDataType::String32},
    {simid::defSpoilersThrottle, "SPOILERS HANDLE POSITION", "percent", f64},
    {simid::defSpoilersThrottle, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", f64},
    {simid::defSpoilersThrottle, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", f64},
};

struct NamedId {
  std::uint32_t id;
  const char* name;
};

constexpr NamedId systemEvents[] = {
    {simid::eventSim, "Sim"},
    {simid::eventObjectAdded, "ObjectAdded"},
    {simid::eventObjectRemoved, "ObjectRemoved"},
    {simid::eventPositionChanged, "PositionChanged"},
    {simid::eventFlightLoaded, "FlightLoaded"},
    {simid::eventFrame, "Frame"},
};

constexpr NamedId clientEvents[] = {
    {simid::gearSet, "GEAR_SET"},
    {simid::engineAutoStart, "ENGINE_AUTO_START"},
    {simid::engineAutoShutdown, "ENGINE_AUTO_SHUTDOWN"},
    {simid::throttleSet, "THROTTLE_SET"},
    {simid::flapsSet, "FLAPS_SET"},
    {simid::spoilersSet, "SPOILERS_SET"},
    {simid::navLights, "NAV_LIGHTS_SET"},
    {simid::beaconLights, "BEACON_LIGHTS_SET"},
    {simid::landingLights, "LANDING_LIGHTS_SET"},
    {simid::taxiLights, "TAXI_LIGHTS_SET"},
    {simid::strobes, "STROBES_SET"},
    {simid::logoLights, "LOGO_LIGHTS_SET"},
    {simid::cabinLights, "CABIN_LIGHTS_SET"},
    {simid::allLightsToggle, "ALL_LIGHTS_TOGGLE"},
    {simid::freezeLatLon, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {simid::freezeAltitude, "FREEZE_ALTITUDE_SET"},
    {simid::freezeAttitude, "FREEZE_ATTITUDE_SET"},
};

// ENGINE_AUTO_START is mapped but not in the group.
constexpr std::uint32_t groupEvents[] = {
    simid::navLights,    simid::beaconLights, simid::landingLights,      simid::taxiLights,
    simid::strobes,      simid::logoLights,   simid::cabinLights,        simid::allLightsToggle,
    simid::flapsSet,     simid::spoilersSet,  simid::gearSet,            simid::engineAutoShutdown,
    simid::throttleSet,  simid::freezeLatLon, simid::freezeAltitude,     simid::freezeAttitude,
};
}  // namespace

void lf_addToSimNotificationGroup(SimConnection* handle, std::uint32_t eventId) {
  SimConnect_AddClientEventToNotificationGroup(handle, simid::group, eventId, true);
}

void lf_defineSimData(SimConnection* handle) {
  for (const auto& event : systemEvents) SimConnect_SubscribeToSystemEvent(handle, event.id, event.name);
  for (const auto& datum : dataDefinitions) {
    SimConnect_AddToDataDefinition(handle, datum.definition, datum.name, datum.units, datum.type,
                                   0.0f, simUnusedId);
  }
  for (const auto& event : clientEvents) SimConnect_MapClientEventToSimEvent(handle, event.id, event.name);
  for (const std::uint32_t eventId : groupEvents) lf_addToSimNotificationGroup(handle, eventId);
  SimConnect_SetNotificationGroupPriority(handle, simid::group, simGroupPriorityHighest);
}
