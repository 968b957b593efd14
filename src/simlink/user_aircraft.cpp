#include "simlink/user_aircraft.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include "aircraft/aircraft_codes.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "foundation/user_error.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_handlers.hpp"
#include "simlink/sim_ids.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_results.hpp"
#include "simlink/sim_services.hpp"

UserAircraftState userPosition;
UserOnGround userOnGround;
std::atomic<std::uint32_t> userObjectId{0};
std::atomic<std::uint64_t> simUtcSeconds{0};
std::atomic<double> userHalfWingSpan{0.0};

namespace {
// Written on the SimClient thread; readers copy under the lock (a leaf: nothing else is taken
// while it is held, so the SimClient thread never waits on the engine).
std::mutex userStateMutex;
UserAircraftState userAircraftState;
std::string userAcTitle;
std::string userNearestStand;

LatLon previousPosition;  // SimClient thread; cleared by the run reset

constexpr std::size_t titleLength = 48;       // characters kept of the title
constexpr double jumpDistanceNm = 10.0;       // farther in one answer: a new flight
constexpr std::uint32_t staticHexidLimit = 10000;

struct ByTypeValues {  // definition 404
  double altitudeAboveGround;
  double groundAltitude;
  std::int64_t onGround;
  char atcId[simString32Length];
};
static_assert(sizeof(ByTypeValues) == 56);

// The first `count` characters of a UTF-8 text (never ending inside a character).
std::string lf_firstCharacters(std::string_view text, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t characters = 0; end < text.size(); ++characters) {
    if (characters == count) break;
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return std::string(text.substr(0, end));
}

bool lf_shortPacket(const char* what, std::uint32_t requestId, std::size_t have, std::size_t need) {
  if (have >= need) return false;
  gf_log(wdrx::format("{}: answer to request {} has {} data bytes, {} expected", what, requestId,
                      have, need));
  return true;
}

void lf_show(const std::function<void(const std::string&)>& hook, const std::string& text) {
  if (hook) hook(text);
}
void lf_showFlag(const std::function<void(bool)>& hook, bool flag) {
  if (hook) hook(flag);
}

std::string lf_nearestStandName(double latitude, double longitude) {
  return simLinkServices.nearestStandName ? simLinkServices.nearestStandName(latitude, longitude)
                                          : std::string();
}

// The half wing span of a model code; 0.0 from the reference data means unknown.
double lf_modelSpan(std::string_view model) { return hwsp(gf_modelId(model)); }

void lf_onUserState(const SimRecvSimObjectData& packet, const std::byte* data) {
  UserAircraftState state;
  std::memcpy(&state, data, sizeof state);
  if (state.altitude < 0.0) state.altitude = 0.0;
  {
    std::lock_guard lock(userStateMutex);
    userAircraftState = state;
  }

  const LatLon position{state.latitude, state.longitude};
  if (gf_positionKnown(previousPosition.lat, previousPosition.lon) && gf_positionKnown(state) &&
      gf_distanceNm(previousPosition, position) > jumpDistanceNm) {
    gf_log("Teleport");
    gf_requestRunStop(ExitReason::NewFlight, 30);
  }
  previousPosition = position;

  const std::string stand = lf_nearestStandName(state.latitude, state.longitude);
  bool changed = false;
  {
    std::lock_guard lock(userStateMutex);
    changed = stand != userNearestStand;
    userNearestStand = stand;
  }
  if (changed) lf_show(simLinkServices.showUserStandName, stand);

  if (rtProfessional.load()) {
    // An implausible time keeps the last good one; logged once until a good one comes again.
    static bool implausibleLogged = false;
    if (const auto utc = gf_simUtcSeconds(state.zuluYear, state.zuluDayOfYear, state.zuluTime)) {
      simUtcSeconds.store(static_cast<std::uint64_t>(*utc));
      implausibleLogged = false;
    } else if (!std::exchange(implausibleLogged, true)) {
      gf_logMarked(wdrx::format("lf_onUserState: implausible simulator time (year {}, day {}, {} s) ignored",
                                state.zuluYear, state.zuluDayOfYear, state.zuluTime));
    }
  }
  userObjectId.store(packet.objectId);
}
}  // namespace

bool gf_positionKnown(double latitude, double longitude) {
  return !(std::fabs(latitude) <= 0.0001 && std::fabs(longitude) <= 0.0001);
}

std::int64_t gf_daysSince1970(std::int64_t zuluYear, std::int64_t zuluDayOfYear) {
  const std::int64_t y = zuluYear - 1;
  return zuluDayOfYear + 365 * y + y / 4 - y / 100 + y / 400 - 719163;
}

std::optional<std::int64_t> gf_simUtcSeconds(std::int64_t zuluYear, std::int64_t zuluDayOfYear,
                                             std::int64_t zuluTime) {
  if (zuluYear < 1970 || zuluYear > 3000) return std::nullopt;
  if (zuluDayOfYear < 1 || zuluDayOfYear > 366) return std::nullopt;
  if (zuluTime < 0 || zuluTime >= 86400) return std::nullopt;
  return gf_daysSince1970(zuluYear, zuluDayOfYear) * 86400 + zuluTime;
}

UserAircraftState gf_userAircraftState() {
  std::lock_guard lock(userStateMutex);
  return userAircraftState;
}

std::string gf_userAcTitle() {
  std::lock_guard lock(userStateMutex);
  return userAcTitle;
}

std::string gf_userNearestStand() {
  std::lock_guard lock(userStateMutex);
  return userNearestStand;
}

UserAircraftState gf_requestUserAcPosition() {
  {
    std::lock_guard lock(simQueueMutex);
    SimConnection* handle = gf_simRequestHandle();
    if (handle != nullptr &&
        simFailed(SimConnect_RequestDataOnSimObject(handle, simid::reqUserState, simid::defUserState,
                                                    simUserObjectId, SimPeriod::Once))) {
      gf_logMarked("SimConnect request user ac position fails");
      gf_reportSimRequestError();
    }
  }
  return gf_userAircraftState();
}

void gf_requestUserAcTitleAndModel() {
  std::lock_guard lock(simQueueMutex);
  SimConnection* handle = gf_simRequestHandle();
  if (handle == nullptr) return;
  if (simFailed(SimConnect_RequestDataOnSimObject(handle, simid::reqUserTitle, simid::defTitle,
                                                  simUserObjectId, SimPeriod::Once))) {
    gf_logMarked("SimConnect request user ac title fails");
    gf_reportSimRequestError();
  }
  if (simFailed(SimConnect_RequestDataOnSimObject(handle, simid::reqUserModel, simid::defAtcModel,
                                                  simUserObjectId, SimPeriod::Once))) {
    gf_logMarked("SimConnect reques user ac model fails");
    gf_reportSimRequestError();
  }
}

void gf_resetUserAircraft() {
  {
    std::lock_guard lock(userStateMutex);
    userAircraftState = UserAircraftState{};
    userAcTitle.clear();
    userNearestStand.clear();
  }
  previousPosition = LatLon{};
  userOnGround.known.store(false);
  userPosition = UserAircraftState{};
}

void lf_onUserAircraftData(const SimRecvSimObjectData& packet, std::uint32_t size) {
  const std::byte* data = simObjectData(&packet);
  const std::size_t bytes = simObjectDataBytes(size);
  switch (packet.requestId) {
    case simid::reqStaticCg: {
      double values[2];
      if (lf_shortPacket("lf_onUserAircraftData", packet.requestId, bytes, sizeof values)) return;
      std::memcpy(values, data, sizeof values);
      gf_pushSimResult(SimResult{packet.objectId, 0, 0, SimResultKind::staticCg, values[0], values[1]});
      return;
    }
    case simid::reqUserTitle:
      lf_onUserAcTitle(simFieldText(reinterpret_cast<const char*>(data), bytes));
      return;
    case simid::reqUserModel:
      lf_onUserAcModel(simFieldText(reinterpret_cast<const char*>(data),
                                    std::min<std::size_t>(bytes, simString32Length)));
      return;
    case simid::reqUserOnGround: {
      std::int64_t onGround = 0;
      if (lf_shortPacket("lf_onUserAircraftData", packet.requestId, bytes, sizeof onGround)) return;
      std::memcpy(&onGround, data, sizeof onGround);
      if (gf_positionKnown(gf_userAircraftState())) {
        userOnGround.onGround.store(onGround != 0);
        userOnGround.known.store(true);
      }
      secondTick.exchange(true);
      return;
    }
    case simid::reqUserState:
      if (lf_shortPacket("lf_onUserAircraftData", packet.requestId, bytes, sizeof(UserAircraftState))) return;
      lf_onUserState(packet, data);
      return;
    default:
      return;
  }
}

void lf_onUserAcTitle(std::string_view title) {
  if (title.empty()) {
    gf_log("! Title of your aircraft is empty?");
    return;
  }
  const std::string kept = lf_firstCharacters(title, titleLength);
  {
    std::lock_guard lock(userStateMutex);
    if (kept == userAcTitle) return;
    userAcTitle = kept;
  }
  lf_show(simLinkServices.showAircraftText, kept);
  gf_logIndented("SimConnect: User aircraft title: " + kept);
}

void lf_onUserAcModel(std::string_view rawModel) {
  if (rawModel.empty()) {
    throw tql::UserErrorException(
        71, "atc_model= in [General] section of your aircraft.cfg is empty or missing");
  }
  try {
    std::string model(rawModel);
    gf_logIndented(wdrx::format("model raw: {}", model));
    std::string line = "SimConnect: User aircraft model: " + model;

    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
      const double span = lf_modelSpan("E190");
      userHalfWingSpan.store(span != 0.0 ? span : maxHalfWingSpan);
      lf_showFlag(simLinkServices.showWingSpanKnown, span != 0.0);
      gf_logIndented(line);
      return;
    }

    double span = model.size() < 5 ? lf_modelSpan(model) : 0.0;
    if (span == 0.0) {
      const std::string title = gf_userAcTitle();
      for (const char* deduced : {"A319", "A320", "A321"}) {
        if (title.size() >= 13 && title.compare(0, 13, std::string("Aerosoft ") + deduced) == 0) {
          model = deduced;
          line = "SimConnect: User aircraft model deduced from title: " + model;
          span = lf_modelSpan(model);
          break;
        }
      }
    }
    const std::string category(gf_acCategoryName(gf_modelCategory(gf_modelId(model))));
    if (span != 0.0) {
      userHalfWingSpan.store(span);
      lf_showFlag(simLinkServices.showWingSpanKnown, true);
      line += wdrx::format(", half wing span: {:.1F} meter", span * 1852.0);
    } else {
      userHalfWingSpan.store(maxHalfWingSpan);
      lf_showFlag(simLinkServices.showWingSpanKnown, false);
      gf_postStatus("User aircraft wing span unknown, max is taken instead, please report in my Forum!",
                    true);
    }
    line += wdrx::format(", category: {}", category);
    gf_logIndented(line);
  } catch (const tql::UserErrorException&) {
    throw;
  } catch (const std::exception&) {
    throw tql::UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
  }
}

void lf_onAircraftByType(const SimRecvSimObjectData& packet, std::uint32_t size) {
  if (packet.requestId != simid::reqInRange || packet.objectId <= userObjectId.load()) return;
  ByTypeValues values;
  if (lf_shortPacket("lf_onAircraftByType", packet.requestId, simObjectDataBytes(size), sizeof values)) return;
  std::memcpy(&values, simObjectData(&packet), sizeof values);
  const std::string_view atcId = simFieldText(values.atcId);
  const std::uint32_t objectId = packet.objectId;

  const auto added = std::find(newSimObjects.begin(), newSimObjects.end(), objectId);
  if (added == newSimObjects.end()) {
    if (values.altitudeAboveGround > 2500.0 || atcId.empty() || atcId.back() == '*') return;
    gf_pushSimResult(SimResult{objectId, static_cast<std::uint32_t>(values.onGround), 0,
                               SimResultKind::inRange, values.groundAltitude,
                               values.altitudeAboveGround});
    return;
  }
  *added = newSimObjects.back();
  newSimObjects.pop_back();

  const auto pending =
      atcId.empty() ? pendingCreations.end()
                    : std::find_if(pendingCreations.begin(), pendingCreations.end(),
                                   [&](const PendingCreation& p) { return p.callsign == atcId; });
  if (pending == pendingCreations.end()) {
    if (lf_removeLateCreation(objectId, atcId)) return;
    gf_log(wdrx::format(
        "just spawned, but not by {}, oid: {}, callsign '{}', altaboveGnd:{:.0f} ft, onground:{}, gnd_alt:{:.0f} ft",
        simClientName, objectId, atcId, values.altitudeAboveGround, values.onGround,
        values.groundAltitude));
    return;
  }
  const std::uint32_t hexid = pending->hexid;
  if (pending + 1 != pendingCreations.end()) *pending = std::move(pendingCreations.back());
  pendingCreations.pop_back();

  {
    std::lock_guard lock(simQueueMutex);
    SimConnect_AIReleaseControl(simConnectHandle.load(), objectId, simid::reqReleaseControl);
    clientEventQueue.push_back(ClientEventRecord{objectId, simid::freezeLatLon, 1});
    clientEventQueue.push_back(ClientEventRecord{objectId, simid::freezeAltitude, 1});
    clientEventQueue.push_back(ClientEventRecord{objectId, simid::freezeAttitude, 1});
  }
  const bool isStatic = hexid <= staticHexidLimit;
  gf_pushSimResult(SimResult{objectId, hexid, 0,
                             isStatic ? SimResultKind::staticCreated : SimResultKind::liveCreated, 0.0,
                             isStatic ? 0.0 : values.altitudeAboveGround});
}

void lf_storeUserStand() {
  if (!userOnGround.known.load()) return;
  const UserAircraftState state = gf_userAircraftState();
  if (state.groundSpeed > 2.0) return;
  const std::string name = lf_nearestStandName(state.latitude, state.longitude);
  if (!name.empty() && simLinkServices.storeParkAirportStand) simLinkServices.storeParkAirportStand(name);
}
