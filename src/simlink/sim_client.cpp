#include "simlink/sim_client.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>
#include <string>

#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "foundation/user_error.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/sim_handlers.hpp"
#include "simlink/sim_ids.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_results.hpp"
#include "simlink/sim_services.hpp"
#include "simlink/user_aircraft.hpp"

std::atomic<SimConnection*> simConnectHandle{nullptr};
std::atomic<bool> simRunning{false};
std::jthread simClientThread;
SimLinkServices simLinkServices;

namespace {
using namespace std::chrono_literals;

constexpr auto openRetryPeriod = 100ms;
constexpr auto dispatchPeriod = 1ms;

// An exception thrown by a handler inside SimConnect_CallDispatch is kept here and rethrown
// after the call, so that it never unwinds through the library; later packets of the same
// call are dropped. SimClient thread only.
std::exception_ptr dispatchError;

void lf_dispatchGuarded(const SimRecv* packet, std::uint32_t size, void* context) {
  if (dispatchError) return;
  try {
    lf_simDispatch(packet, size, context);
  } catch (...) {
    dispatchError = std::current_exception();
  }
}

void lf_rethrowDispatchError() {
  if (!dispatchError) return;
  std::exception_ptr error = dispatchError;
  dispatchError = nullptr;
  std::rethrow_exception(error);
}

// Sleeps until `until` on the program's steady clock (at most `limit`, so a fake clock that
// stands still cannot stall the thread).
void lf_sleepUntil(std::chrono::steady_clock::time_point until, std::chrono::nanoseconds limit) {
  const auto remaining = until - gf_clock().steadyNow();
  if (remaining > std::chrono::nanoseconds::zero()) std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(remaining, limit));
}

void lf_sleepStoppable(std::chrono::nanoseconds duration, const std::stop_token& stop) {
  const auto until = gf_clock().steadyNow() + duration;
  while (!stop.stop_requested() && gf_clock().steadyNow() < until) lf_sleepUntil(until, 100ms);
}

bool lf_startsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool lf_contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

std::string lf_expectedVersionDigit() {
  if (simLinkServices.checkP3dInstallPath) return simLinkServices.checkP3dInstallPath();
  return std::to_string(expectedP3dVersion.load());
}

void lf_newFlight() { gf_requestRunStop(ExitReason::NewFlight, 30); }

void lf_simClientGuard() {
  try {
    lf_storeUserStand();
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{} exception: {}", "lf_simClientGuard", e.what()));
  }
  if (simLinkServices.showSimConnected) simLinkServices.showSimConnected(false);
  // Without the thread no frame comes: the main loop stops running the engine. A user error
  // leaves the run going without the simulator and its error line showing.
  simRunning.store(false);
  // Requests of the run thread use the handle under simQueueMutex: after this no one does.
  std::lock_guard lock(simQueueMutex);
  simConnectHandle.store(nullptr);
}
}  // namespace

void gf_startSimClient() {
  gf_stopSimClient();
  dispatchError = nullptr;
  simClientThread = std::jthread(lf_simClient);
}

void gf_stopSimClient() {
  if (!simClientThread.joinable()) return;
  simClientThread.request_stop();
  simClientThread.join();
}

void gf_resetSimLink() {
  expectedP3dVersion.store(static_cast<std::uint32_t>(P3D_VERSION.value.load()));
  gf_resetSimQueues();
  gf_resetUserAircraft();
  simRunning.store(false);
  simConnectHandle.store(nullptr);
}

void lf_closeSimConnect(SimConnection*& handle) {
  if (handle == nullptr) return;
  if (simFailed(SimConnect_Close(handle))) {
    gf_logMarked("Closing SimConnect failed?!");
  } else {
    gf_log("SimConnect closed ok");
  }
  handle = nullptr;
}

void lf_simNoLongerConnected(std::atomic<bool>& once) {
  if (once.exchange(true)) return;
  simRunning.store(false);
  if (runStopRequested.load()) return;
  gf_log(wdrx::format("{} Flight Simulator no longer connected, {} will stop ...", gf_timeOfDay(),
                      simClientName));
  gf_requestRunStop(ExitReason::SimWasClosed, 0);
}

void lf_simClient(std::stop_token stop) {
  SimConnection* handle = nullptr;  // the thread's own connection, closed when it leaves
  std::atomic<bool> goneReported{false};
  try {
    bool first = true;
    while (!(runStopRequested.load() || closeRequested.load() || stop.stop_requested())) {
      if (first) {
        first = false;
        gf_log(" ");
        gf_postStatus(wdrx::format("Waiting for Prepar3Dv{} ...", lf_expectedVersionDigit()), true);
        std::lock_guard lock(logMutex);
        if (logStream.is_open()) logStream.flush();
      }
      lf_closeSimConnect(handle);
      const auto tried = gf_clock().steadyNow();
      SimConnection* opened = nullptr;
      if (simFailed(SimConnect_Open(&opened, simClientName, nullptr, 0, nullptr, 0))) {
        lf_sleepUntil(tried + openRetryPeriod, openRetryPeriod);
        continue;
      }
      handle = opened;
      simConnectHandle.store(handle);
      lf_defineSimData(handle);
      // The 1 ms timer resolution of the Windows build has no counterpart here.
      while (!stop.stop_requested()) {
        const SimConnectResult result = SimConnect_CallDispatch(handle, lf_dispatchGuarded, nullptr);
        const auto after = gf_clock().steadyNow();
        lf_rethrowDispatchError();
        if (simFailed(result)) {
          // The simulator closed the connection (or it broke): nothing more will arrive.
          gf_log(wdrx::format("lf_simClient: SimConnect_CallDispatch failed: {:#x}",
                              static_cast<std::uint32_t>(result)));
          lf_simNoLongerConnected(goneReported);
          break;
        }
        lf_sleepUntil(after + dispatchPeriod, dispatchPeriod);
      }
      break;
    }
  } catch (const tql::UserErrorException& e) {
    const std::string text = e.what();
    if (lf_startsWith(text, "2024")) {
      gf_log(wdrx::format("MSFS and {} do not match, restarting ...", simClientName));
      lf_simNoLongerConnected(goneReported);
    } else {
      gf_postError(text);
      if (lf_startsWith(text, "791")) {
        lf_sleepStoppable(10s, stop);
        lf_simNoLongerConnected(goneReported);
      }
    }
  } catch (const std::exception& e) {
    gf_postError(e.what());
    lf_simNoLongerConnected(goneReported);
  } catch (...) {
    gf_postError(wdrx::format("Exception in {}", "SimClient"));
    lf_simNoLongerConnected(goneReported);
  }
  lf_simClientGuard();
  try {
    lf_closeSimConnect(handle);
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{} exception: {}", "lf_simClient", e.what()));
  }
}

void lf_simDispatch(const SimRecv* packet, std::uint32_t size, void* /*context*/) {
  if (size < sizeof(SimRecv) || size < simRecvMinimumSize(packet->id)) {
    gf_log(wdrx::format("lf_simDispatch: packet {} of {} bytes is too short", packet->id, size));
    return;
  }
  switch (simRecvId(packet)) {
    case SimRecvId::Exception:
      lf_onSimException(*static_cast<const SimRecvException*>(packet));
      return;
    case SimRecvId::Open:
      lf_onSimOpen(*static_cast<const SimRecvOpen*>(packet));
      return;
    case SimRecvId::Quit:
      simRunning.store(false);
      return;
    case SimRecvId::Event: {
      const auto& event = *static_cast<const SimRecvEvent*>(packet);
      switch (event.eventId) {
        case simid::eventSim:
          simRunning.store(event.data == 1);
          if (simLinkServices.showSimRunning) simLinkServices.showSimRunning(event.data == 1);
          return;
        case simid::eventPositionChanged:
          gf_logMarked("User ac position changed");
          lf_newFlight();
          return;
        case simid::eventFlightLoaded:
          gf_log("SimConnect: flight loaded event");
          lf_storeUserStand();
          lf_newFlight();
          return;
        default:
          return;
      }
    }
    case SimRecvId::EventObjectAddRemove: {
      const auto& event = *static_cast<const SimRecvObjectAddRemove*>(packet);
      if (event.objectType != static_cast<std::uint32_t>(SimObjectType::Aircraft)) return;
      if (event.eventId == simid::eventObjectAdded) {
        if (event.objectId > userObjectId.load()) newSimObjects.push_back(event.objectId);
      } else if (event.eventId == simid::eventObjectRemoved) {
        // An object gone before any range answer named it would otherwise stay listed for ever.
        std::erase(newSimObjects, event.objectId);
        gf_pushSimResult(SimResult{event.objectId, 0, 0, SimResultKind::removed, 0.0, 0.0});
      }
      return;
    }
    case SimRecvId::EventFilename:
      gf_logMarked("SimConnect: New file event");
      lf_storeUserStand();
      lf_newFlight();
      return;
    case SimRecvId::EventFrame:
      lf_flushSimQueues();
      lf_expirePendingCreations();
      return;
    case SimRecvId::SimObjectData:
      lf_onUserAircraftData(*static_cast<const SimRecvSimObjectData*>(packet), size);
      return;
    case SimRecvId::SimObjectDataByType:
      lf_onAircraftByType(*static_cast<const SimRecvSimObjectData*>(packet), size);
      return;
    default:
      if (packet->id == 12 || packet->id == 16) return;
      gf_log(wdrx::format("! Unknown Dispatch dwID {}", packet->id));
      return;
  }
}

void lf_onSimOpen(const SimRecvOpen& packet) {
  std::string name;
  for (const char c : simFieldText(packet.applicationName)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 && (std::isalnum(byte) || std::isspace(byte))) name.push_back(c);
  }
  if (name.empty()) {
    gf_log("! Simulator name empty?");
    return;
  }
  if (simLinkServices.showSimConnected) simLinkServices.showSimConnected(true);
  if (name == "KittyHawk" || name == "SunRise") {
    throw tql::UserErrorException(78, name + ", (MSFS) not being P3D connects ... ?");
  }
  const std::string text = wdrx::format("{} ({}.{}.{}.{})", name, packet.versionMajor,
                                        packet.versionMinor, packet.buildMajor, packet.buildMinor);
  gf_log(wdrx::format("{} connected", text));
  if (simLinkServices.showSimulatorText) simLinkServices.showSimulatorText(text);

  const std::string installPath = SIM_INSTALL_PATH.value.load();
  const std::uint32_t expected = expectedP3dVersion.load();
  const bool v5 = lf_contains(text, "v5") &&
                  (lf_contains(installPath, "v5") || lf_contains(installPath, "V5") || expected == 5);
  const bool v6 = lf_contains(text, "v6") &&
                  (lf_contains(installPath, "v6") || lf_contains(installPath, "V6") || expected == 6);
  if (!v5 && !v6) {
    if (SettingsView* view = gf_settingsView()) view->enable(ALL_INSTALL_PATH, true);
    throw tql::UserErrorException(78, wdrx::format("wrong P3D version '{}' connects ... ?)", text));
  }
  gf_clearStatus();
}

void lf_onSimException(const SimRecvException& packet) {
  switch (static_cast<SimException>(packet.exception)) {
    case SimException::UnrecognizedId:
      if (!gf_positionKnown(gf_userAircraftState()) || runStopRequested.load() || closeRequested.load()) return;
      gf_logMarked("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
      return;
    case SimException::VersionMismatch:
      throw tql::UserErrorException(95, wdrx::format("SimConnect Version Mismatch, dwIndex: {}", packet.index));
    case SimException::TooManyObjects:
      gf_postStatus("SimConnect: too many objects (max 1000)", true);
      return;
    case SimException::InvalidDataSize:
      gf_log("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE");
      return;
    case SimException::CreateObjectFailed: {
      const auto it = std::find_if(pendingCreations.begin(), pendingCreations.end(),
                                   [&](const PendingCreation& p) { return p.sendId == packet.sendId; });
      if (it == pendingCreations.end()) return;
      const std::uint32_t hexid = it->hexid;
      if (it + 1 != pendingCreations.end()) *it = std::move(pendingCreations.back());
      pendingCreations.pop_back();
      if (hexid != 0) gf_pushSimResult(SimResult{0, hexid, 0, SimResultKind::creationFailed, 0.0, 0.0});
      return;
    }
    case SimException::LoadFlightPlanFailed:
      gf_logMarked("SimConnect exception: load flight plan failed");
      return;
    case SimException::OperationInvalidForObjectType:
      gf_log("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
      return;
    default:
      gf_logMarked(wdrx::format("SIMCONNECT_EXCEPTION #{}", packet.exception));
      return;
  }
}
