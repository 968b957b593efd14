// The one way to remove an aircraft, taking a queued creation back, making room under the live
// limit, and the small services every part of the engine uses (stand names, curve points,
// callsign tests).
#include <algorithm>
#include <cctype>
#include <cmath>

#include "engine/engine.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "parking/stand_services.hpp"
#include "records/record_texts.hpp"
#include "simlink/user_aircraft.hpp"

namespace {
constexpr double twoPi = 6.283185307179586;
constexpr double metresPerDegree = 111132.95;

// Takes a spawned hexid back before its creation record was made.
bool lf_dropSpawned(std::uint32_t hexid) {
  const auto it = std::find(spawnStack.begin(), spawnStack.end(), hexid);
  if (it == spawnStack.end()) return false;
  spawnStack.erase(it);
  return true;
}

void lf_leaveTable(AcBase& ac) {
  if (ac.isStatic()) {
    ac.removed = 1;
  } else {
    ac.remove = 1;
  }
}
}  // namespace

void removeAircraftFromSim(AcBase& ac) {
  const bool live = !ac.isStatic();
  // A live aircraft gives its stand back whatever its state: it never stands there again.
  if (live && ac.standId != 0) gf_setStandOccupied(ac.standId, false);
  if (ac.simState == SimState::buffer) {
    lf_leaveTable(ac);
    return;
  }
  // Already waiting for its activation to be removed (the activation clears the byte first).
  if (ac.removeWhenCreated != 0) return;
  switch (ac.simState) {
    case SimState::buffer:
      return;
    case SimState::adding2sim:
      if ((live && (lf_dropSpawned(ac.hexid) || gf_dropQueuedCreation(liveAddQueue, ac))) ||
          gf_dropQueuedCreation(staticAddQueue, ac)) {
        ac.removed = 1;
      } else {
        // The creation is with the simulator link: the object goes once it is activated.
        ac.removeWhenCreated = 1;
      }
      return;
    case SimState::active:
    case SimState::liveryrespawn:
    case SimState::removingfromsim: {
      const SimState before = ac.simState;
      ac.simState = SimState::removingfromsim;
      if (ac.objectId == 0) {
        gf_log(wdrx::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim",
                            gf_acIdentText(ac)));
        lf_leaveTable(ac);  // nothing in the simulator to wait for
        return;
      }
      // A respawning object is already queued; a second request would remove nothing.
      if (before == SimState::active) {
        removeIdQueue.push_back(ac.objectId);
        ac.handOverCycle = 0;
      }
      return;
    }
  }
}

bool gf_dropQueuedCreation(std::deque<AiCreationRecord>& queue, const AcBase& ac) {
  const auto it = std::find_if(queue.begin(), queue.end(),
                               [&ac](const AiCreationRecord& r) { return r.hexid == ac.hexid; });
  if (it == queue.end()) return false;
  queue.erase(it);
  return true;
}

bool gf_removeFarthestAc(double distanceNm) {
  if (liveAcTable.empty()) return true;
  const LatLon user{userPosition.latitude, userPosition.longitude};
  LiveAc* pick = nullptr;
  double pickDistance = 0.0;
  for (LiveAc& ac : liveAcTable) {
    if (ac.simState != SimState::active) continue;
    const double d = gf_distanceNm(user, {ac.latitude, ac.longitude});
    if (distanceNm >= 0.0) {
      const double floor = pick == nullptr ? distanceNm : pickDistance;
      if (d > floor + 0.1) {
        pick = &ac;
        pickDistance = d;
      }
    } else if (pick == nullptr || d > pickDistance) {
      pick = &ac;
      pickDistance = d;
    }
  }
  if (pick == nullptr) return true;
  removeAircraftFromSim(*pick);
  return false;
}

std::string lf_standName(std::int32_t standId) {
  if (standId == 0) return "sid==0?";
  const Stand* stand = gf_findStandByNumber(standId);
  return stand != nullptr ? stand->name : "sid==?";
}

bool gf_curvePosition(const CurveSegment& curve, double t, double& latitude, double& longitude,
                      double& heading) {
  if (!curve.present() || !(t >= curve.t0 && t <= curve.t1)) return false;
  // A segment of no length in t is at its end point.
  const double u = curve.t1 == curve.t0 ? 1.0 : (t - curve.t0) / (curve.t1 - curve.t0);
  if (!(u >= 0.0 && u <= 1.0)) return false;
  const double w = 1.0 - u;
  const double east = 2.0 * w * u * curve.controlEast + u * u * curve.endEast;
  const double north = 2.0 * w * u * curve.controlNorth + u * u * curve.endNorth;
  double h = std::atan2(2.0 * u * (curve.endEast - curve.controlEast) + 2.0 * w * curve.controlEast,
                        2.0 * u * (curve.endNorth - curve.controlNorth) + 2.0 * w * curve.controlNorth);
  h = std::fmod(h, twoPi);
  if (h < 0.0) h += twoPi;
  heading = h;
  latitude = curve.originLatitude + north / metresPerDegree;
  longitude = curve.originLongitude + east / (std::cos(curve.originLatitude * degToRad) * metresPerDegree);
  return true;
}

bool gf_callsignUsable(const AcIdentity& ac) {
  return !ac.callsign.empty() && ac.callsign != "@@@@@@@@" && ac.callsign.size() <= 8;
}

std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign) {
  const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
  if (callsign.size() < 4 || !letter(callsign[0]) || !letter(callsign[1]) || !letter(callsign[2]) ||
      std::isdigit(static_cast<unsigned char>(callsign[3])) == 0)
    return std::nullopt;
  std::string airline(callsign.substr(0, 3));
  for (char& c : airline) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return airline;
}

double gf_normalizePi(double angle) {
  if (!std::isfinite(angle)) return 0.0;
  angle = std::fmod(angle, twoPi);
  if (angle > twoPi / 2) angle -= twoPi;
  if (angle < -twoPi / 2) angle += twoPi;
  return angle;
}
