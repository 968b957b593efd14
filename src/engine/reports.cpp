// What a traffic report becomes: a new live aircraft, a further sample of a known one, a change
// of a known aircraft's identity (which may choose its livery again), or nothing.
#include <algorithm>
#include <cmath>

#include "aircraft/registrations.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "engine/engine.hpp"
#include "engine/movement.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "parking/stand_learning.hpp"
#include "records/category_tables.hpp"
#include "records/record_texts.hpp"
#include "simlink/ai_creation.hpp"

namespace {

// A report near the ground close to the park airport's elevation is a vehicle or a glitch.
bool lf_lowAltitudeReject(const PositionSample& sample) {
  const double reference = parkAirportCode.load().empty() ? -1000.0
                                                          : static_cast<double>(parkAirport.load().altitude);
  return sample.altitude > 0.0 && sample.altitude < 10000.0 &&
         std::fabs(sample.altitude - reference) <= 108.0;
}

bool lf_sameModelCodes(const AircraftCodes& a, const AircraftCodes& b) {
  return a.airlineId == b.airlineId && a.operatorId == b.operatorId && a.modelId == b.modelId;
}

// A report too soon after the last one, or with an implausible speed jump, adds nothing.
bool lf_reportTooSoonOrJumps(const LiveAc& ac, const LiveReport& report) {
  const double dt = report.timestamp - ac.lastReportTime;
  if (dt <= 1.0) return true;
  const PositionSample& back = ac.samples.back();
  const double before = back.groundSpeed;
  const double now = report.sample.groundSpeed;
  if (before > 5.0 && now >= 10.0 * before) return true;
  if (now > 5.0 && before >= 10.0 * now) return true;
  if ((before <= 5.0 && now >= 80.0) || (now <= 5.0 && before >= 80.0)) return true;
  if (ac.pathExtensionCount < 1) {
    const double trackDifference = std::fabs(report.sample.track - back.track);
    if (report.sample.airborne != 0 && now > 120.0 && trackDifference <= 1.0) {
      // Straight and fast: one sample per 450 m is enough.
      if (dt <= 0.2429805615550756 / now * 3600.0) return true;
    } else if (report.sample.airborne == 0 && now <= 30.0 && trackDifference <= 2.0) {
      const double limit = now <= 0.0 ? 15.0 : std::min(0.010799136069114472 / now * 3600.0, 15.0);
      if (dt <= limit) return true;
    }
  }
  return false;
}

}  // namespace

void lf_takeReport(LiveReport& report) {
  LiveAc* ac = gf_findLiveAc(report.hexid);
  if (ac == nullptr) {
    const AcIdentity& id = report.identity;
    if (!id.callsign.empty() && !liveAcTable.empty()) {
      // A second address for a flight already shown.
      const bool known = std::any_of(liveAcTable.begin(), liveAcTable.end(), [&id](const LiveAc& other) {
        return other.codes.modelId == id.codes.modelId && other.callsign == id.callsign;
      });
      if (known) return;
    }
    lf_acceptNewAircraft(report);
    return;
  }
  if (ac->simState == SimState::liveryrespawn || ac->simState == SimState::removingfromsim) return;
  if (!ac->samples.empty() && lf_reportTooSoonOrJumps(*ac, report)) return;
  if (ac->simState == SimState::buffer && lf_lowAltitudeReject(report.sample)) return;
  if (!lf_checkIdentity(*ac, report)) return;
  ac->lastReportTime = report.timestamp;
  decodeExisting(*ac, report.sample);
}

void lf_acceptNewAircraft(LiveReport& report) {
  if (const auto codes = gf_findRegistration(report.identity.registration)) report.identity.codes = *codes;
  if (!gf_isKnownModel(modelCodes[report.identity.codes.modelId])) return;
  lf_newLiveAc(report);
}

void lf_newLiveAc(LiveReport& report) {
  const AcCategory category = gf_modelCategory(report.identity.codes.modelId);
  if (static_cast<std::uint32_t>(category) > 5) return;
  if ((category == AcCategory::Light && !LIGHT_AIRCRAFT.value.load()) ||
      (category == AcCategory::HighPerf && !HIGH_PERF_AIRCRAFT.value.load()) ||
      (category == AcCategory::Rotorcraft && !HELICOPTERS.value.load()))
    return;
  if (lf_lowAltitudeReject(report.sample)) return;
  report.identity.liveCallsign = report.identity.callsign;
  report.identity.altCallsign.clear();
  AcBase record = gf_buildRecord(report.identity);
  record.hexid = report.hexid;
  record.turnRate = record.groundTurnRate;
  const CategoryValues& values = gf_categoryValues(record.category);
  record.climbLimit = values.climbLimit;
  record.groundSpeedStep = values.groundSpeedStep;
  gf_appendLiveAc(LiveAc(std::move(record), report.sample, report.timestamp));
}

bool lf_checkIdentity(LiveAc& ac, LiveReport& report) {
  if (ac.approach != 0 || ac.climbOut != 0) return true;
  if (ac.simState == SimState::buffer) {
    lf_updateBufferedIdentity(ac, report);
    return true;
  }
  if (ac.simState != SimState::active || ac.flightState == FlightState::pushing_back ||
      ac.pathExtensionCount >= 1)
    return true;

  const bool routeChange = !lf_routeChanged(ac, report);
  const bool registrationSame = lf_checkRegistration(ac, report);
  const std::string& callsign = report.identity.callsign;
  if (!callsign.empty() && callsign != ac.callsign && callsign != ac.registration) {
    if (callsign.back() == '_') {
      if (lf_isGhostOf(callsign)) return false;
    } else {
      lf_removeGhost(callsign);
    }
    ac.callsign = callsign;
    ac.liveCallsign = callsign;
    ac.altCallsign.clear();
  } else if (registrationSame && !routeChange) {
    return true;
  }
  if (!GUID_CHANGES.value.load()) return true;
  gf_log(wdrx::format("          {} respawns", gf_acRouteText(ac)));
  liveryRespawn(ac);
  return false;
}

void lf_updateBufferedIdentity(LiveAc& ac, const LiveReport& report) {
  const AcIdentity& id = report.identity;
  if (!id.destination.empty() && id.destination != ac.destination) ac.destination = id.destination;
  if (!id.origin.empty() && id.origin != ac.origin) ac.origin = id.origin;
  if (!id.callsign.empty() && id.callsign != ac.callsign) {
    ac.callsign = id.callsign;
    ac.liveCallsign = id.callsign;
    ac.altCallsign.clear();
  }
  if (!id.registration.empty() && id.registration != ac.registration) ac.registration = id.registration;
}

bool lf_routeChanged(LiveAc& ac, const LiveReport& report) {
  const AcIdentity& id = report.identity;
  bool filled = false;
  if (ac.destination.empty() && !id.destination.empty()) {
    ac.destination = id.destination;
    filled = true;
  }
  if (ac.origin.empty() && !id.origin.empty()) {
    ac.origin = id.origin;
    filled = true;
  }
  const bool allSet = !ac.origin.empty() && !ac.destination.empty() && !id.origin.empty() &&
                      !id.destination.empty();
  if (!allSet || ac.origin == id.origin || ac.destination == id.destination) return !filled;
  // A return flight from the park airport keeps its route.
  if (!parkAirportCode.load().empty() && ac.origin == parkAirport.load().iata &&
      id.destination == ac.origin)
    return !filled;
  ac.origin = id.origin;
  ac.destination = id.destination;
  if (ac.onGround != 0 && ac.flightState != FlightState::parking && ac.flightState != FlightState::parked) {
    ac.setFlightState(FlightState::taxi);
    ac.routeChangeHeading = ac.heading;
  }
  return false;
}

bool lf_checkRegistration(LiveAc& ac, LiveReport& report) {
  const std::string& registration = report.identity.registration;
  if (registration.empty()) return true;
  bool result = true;
  if (ac.registration.empty() || (ac.registration == ac.callsign && registration != ac.registration)) {
    result = !lf_registrationChanged(ac, report);
  } else if (registration != ac.registration) {
    if (const auto found = gf_findRegistration(registration)) {
      if (lf_sameModelCodes(*found, ac.codes)) {
        ac.registration = registration;
        return true;
      }
      const auto airline = gf_airlineFromCallsign(report.identity.callsign);
      report.identity.codes.airlineId = gf_airlineId(airline.value_or(std::string()));
      const std::uint16_t airlineId = report.identity.codes.airlineId;
      if (airlineId != 0 && (airlineId == found->airlineId || airlineId == found->operatorId)) {
        ac.codes = *found;
        if (ac.flightState == FlightState::parked && ac.standId != 0)
          lf_addRealStandOption(ac.standId, ac, StandEvent::standing);
        lf_forgetLivery(ac);
        result = false;
      }
    }
  }
  ac.registration = registration;
  return result;
}

bool lf_registrationChanged(LiveAc& ac, const LiveReport& report) {
  const std::string& registration = report.identity.registration;
  const auto title = regcodeTitles.find(registration);
  if (title != regcodeTitles.end() && !title->second.empty()) {
    if (title->second == ac.liveryTitle) return false;
    if (const auto found = gf_findRegistration(registration)) ac.codes = *found;
    lf_forgetLivery(ac);
    return true;
  }
  if (registration == ac.registration) return false;
  const auto found = gf_findRegistration(registration);
  if (!found || lf_sameModelCodes(*found, ac.codes)) return false;
  ac.codes = *found;
  lf_forgetLivery(ac);
  return true;
}

void lf_forgetLivery(LiveAc& ac) {
  // Without respawns the aircraft keeps its object, and so its livery.
  if (!GUID_CHANGES.value.load()) return;
  creationRequests.erase(ac.hexid);
  ac.liveryTitle = {};
  ac.fsltl = 0;
  ac.setFlightState(FlightState::birth);
}
