// Static parked aircraft placed on the park airport's stands: one planner candidate per call
// is checked against the live and static aircraft on and next to its stand, named, given a
// livery and queued for creation.
#include <algorithm>

#include "aircraft/aircraft_codes.hpp"
#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "liveries/livery_matching.hpp"
#include "parking/slot_sets.hpp"
#include "parking/stand_services.hpp"
#include "runstate/run_control.hpp"

namespace {

bool lf_isNeighbour(const std::vector<std::uint32_t>& neighbours, std::int32_t standId) {
  return standId > 0 &&
         std::find(neighbours.begin(), neighbours.end(), static_cast<std::uint32_t>(standId)) != neighbours.end();
}

// The week slot of the candidate: now, less its half-hour offset (back across midnight, day 1
// going to day 7).
std::uint64_t lf_parkingStart(std::int32_t offset) {
  WeekSlot slot = WeekSlot::fromPacked(currentWeekSlot.load());
  slot.halfHour -= offset;
  while (slot.halfHour < 0) {
    slot.halfHour += 48;
    slot.day = slot.day <= 1 ? 7 : slot.day - 1;
  }
  while (slot.halfHour > 47) {
    slot.halfHour -= 48;
    slot.day = slot.day >= 7 ? 1 : slot.day + 1;
  }
  return slot.packed();
}

// Whether anything on or next to the stand keeps the candidate off it (logged).
bool lf_standBlocked(const StaticCandidate& c, const std::string& standName,
                     const std::vector<std::uint32_t>& neighbours) {
  for (const LiveAc& ac : liveAcTable) {
    if (ac.flightState != FlightState::parking && ac.flightState != FlightState::parked) continue;
    if (ac.standId == c.standNumber) {
      gf_log(wdrx::format("{:8}: no static parking for {}, live aircraft {} standing here", standName, c.callsign1,
                          ac.callsign));
      return true;
    }
    if (lf_isNeighbour(neighbours, ac.standId)) {
      gf_log(wdrx::format("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                          standName, c.callsign1, ac.callsign, lf_standName(ac.standId)));
      return true;
    }
  }
  for (const AcBase& st : staticAcTable) {
    if (st.removed != 0) continue;
    if (st.standId == c.standNumber || lf_isNeighbour(neighbours, st.standId)) {
      gf_log(wdrx::format("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding",
                          standName, c.callsign1, st.callsign, lf_standName(st.standId)));
      return true;
    }
  }
  return false;
}

}  // namespace

std::string lf_staticCallsign(std::string& text) {
  while (!text.empty() && text.back() == '_') text.pop_back();
  if (!text.empty() && text.back() == '*') return text;
  return text + "*";
}

void lf_detcs() {
  if (staticCandidates.empty() || standTable.empty()) return;
  StaticCandidate candidate = std::move(staticCandidates.back());
  staticCandidates.pop_back();

  const Stand* stand = gf_findStandByNumber(candidate.standNumber);
  const std::string standName = lf_standName(candidate.standNumber);
  const std::vector<std::uint32_t> neighbours = stand != nullptr ? stand->neighbours : std::vector<std::uint32_t>{};
  if (lf_standBlocked(candidate, standName, neighbours)) return;
  if (stand == nullptr) {
    gf_logMarked(wdrx::format("stand with id {} not found", standName));
    return;
  }
  if (stand->occupied != 0) {
    gf_log(wdrx::format("{:8}: no static parking for {}, live aircraft occupies the stand", standName,
                        candidate.callsign1));
    return;
  }

  const std::uint32_t hexid = gf_nextStaticHexid();
  const AircraftCodes codes = candidate.codes;
  AcIdentity identity;
  identity.codes = codes;
  if (candidate.callsign1.empty()) {
    const std::string airline = codes.airlineId < airlineCodes.size() ? airlineCodes[codes.airlineId] : std::string();
    identity.callsign = wdrx::format("{}{}{}", airline, hexid, "*");
  } else {
    std::string& chosen = candidate.continuesNextSlot != 0 ? candidate.callsign1 : candidate.callsign2;
    std::string& other = candidate.continuesNextSlot != 0 ? candidate.callsign2 : candidate.callsign1;
    if (!chosen.empty()) {
      identity.callsign = lf_staticCallsign(chosen);
    } else if (!other.empty()) {
      identity.callsign = lf_staticCallsign(other);
    } else {
      gf_logMarked(wdrx::format("{} callsign is empty..", "lf_detcs"));
    }
  }
  identity.liveCallsign = candidate.callsign1;
  identity.altCallsign = candidate.callsign2;
  identity.registration = candidate.registration;

  AcBase record = gf_makeStaticAc(gf_buildRecord(identity), candidate.standNumber, stand->latitude, stand->longitude,
                                  stand->heading, stand->cargo);
  record.hexid = hexid;
  AcBase& placed = gf_appendStaticAc(std::move(record));
  if (!gf_matchStaticLivery(placed, *stand)) {
    gf_eraseStaticAc(static_cast<std::size_t>(&placed - staticAcTable.data()));
    return;
  }
  placed.parkingStart = lf_parkingStart(candidate.fitOffset);
  placed.simState = SimState::adding2sim;
  AiCreationRecord creation;
  creation.position.latitude = stand->latitude;
  creation.position.longitude = stand->longitude;
  creation.position.altitude = 0.0;
  creation.position.pitch = 0.0;
  creation.position.bank = 0.0;
  creation.position.heading = stand->heading * radToDeg;
  creation.position.onGround = 1;
  creation.position.airspeed = 0;
  creation.callsign = placed.callsign;
  creation.liveryTitle = placed.liveryTitle;
  creation.hexid = hexid;
  staticAddQueue.push_back(std::move(creation));
}
