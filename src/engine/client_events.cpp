// The configuration commands to an aircraft's simulator object (spoilers, flaps, gear,
// throttle) and the parked configuration of a static or arrived aircraft.
#include <array>

#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "simlink/sim_ids.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/user_aircraft.hpp"

namespace {
constexpr std::array<std::uint32_t, 5> throttleValues{0, 4914, 8191, 11468, 16383};
constexpr std::array<std::uint32_t, 5> flapsValues{0, 3072, 10240, 16383, 0};

// An aircraft without its own object gets no event: object ids at or below the user's are the
// user aircraft's.
bool lf_hasObject(const AcBase& ac) { return ac.objectId > userObjectId.load(); }
}  // namespace

void gf_setSpoilers(AcBase& ac, std::uint32_t on) {
  if (ac.category == AcCategory::Rotorcraft || !lf_hasObject(ac)) return;
  gf_queueClientEvent(ac.objectId, simid::spoilersSet, on > 0 ? 16383u : 0u);
}

void gf_setFlaps(AcBase& ac, std::uint32_t index) {
  if (index == ac.lastFlaps || ac.category == AcCategory::Rotorcraft || !lf_hasObject(ac)) return;
  if (index < flapsValues.size()) {
    gf_queueClientEvent(ac.objectId, simid::flapsSet, flapsValues[index]);
  } else {
    gf_log("gf_setFlaps: invalid flaps index");
  }
  ac.lastFlaps = index;
}

void gf_setGear(AcBase& ac, std::uint8_t value) {
  if (ac.category == AcCategory::Rotorcraft || !lf_hasObject(ac)) return;
  gf_queueClientEvent(ac.objectId, simid::gearSet, value);
}

void gf_setThrottle(AcBase& ac, std::uint32_t index) {
  if (index == ac.lastThrottle || !lf_hasObject(ac)) return;
  if (index < throttleValues.size()) gf_queueClientEvent(ac.objectId, simid::throttleSet, throttleValues[index]);
  ac.lastThrottle = index;
}

void lf_activateStaticAc(AcBase& ac) {
  gf_setThrottle(ac, 0);
  gf_setFlaps(ac, 0);
  if (!lf_hasObject(ac)) return;
  gf_queueEngineShutdown(ac.objectId);
  LightsRecord lights;
  lights.nav = NAV_LIGHTS_WHILE_PARKED.value.load() ? 1 : 0;
  lights.logo = 1;
  if (ac.cargoStand != 0) {
    lights.cabin = 0;
  } else {
    // With RANDOM on, 9 of 10 parked aircraft show a lit cabin.
    lights.cabin = gf_randomIndex(10) < 9 ? 1 : 0;
  }
  gf_queueLights(ac.objectId, lights);
}
