#include "traffic/psx_server.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/clock.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/drop_tally.hpp"
#include "traffic/link_state.hpp"
#include "traffic/udp_reader.hpp"

PsxServer psxServer;

namespace {

constexpr std::size_t psxReceiveChunk = 4096;
constexpr std::size_t psxVersionTextLimit = 40;  // of the edition line in the window

std::mutex abortMutex;
std::function<void()> abortLiveTraffic;

bool lf_stopping() { return runStopRequested.load() || closeRequested.load(); }

std::string lf_startError(platform::TcpListener::Step step, int error,
                          const std::string& portText) {
  using Step = platform::TcpListener::Step;
  switch (step) {
    case Step::resolve: return wdrx::format("getaddrinfo failed with error {}", error);
    case Step::socket: return "socket failed with error " + gf_wsaErrorText(error);
    case Step::mode: return "ioctlsocket failed with error " + gf_wsaErrorText(error);
    case Step::reuseAddress: return "setsockopt(SO_REUSEADDR) failed";
    case Step::bind:
      return "Bind failed at port " + portText + " with error " + gf_wsaErrorText(error);
    case Step::listen:
    case Step::none: break;
  }
  return "listen failed with error " + gf_wsaErrorText(error);
}

// One send of the whole line under socketMutex; a failure drops the client.
bool lf_sendLocked(std::string_view line) {
  const auto& client = psxServer.psxClientSocket;
  const int rc = client ? client->sendAll(line, psxSendTimeout) : platform::netError::notSocket;
  if (rc == 0) return true;
  const bool quiet = lf_stopping();
  if (!quiet) gf_log(wdrx::format("sendDataPacket to RealTraffic failed: {}", gf_wsaErrorText(rc)));
  psxServer.psxConnected.exchange(false);
  if (client) client->shutdown();  // wakes a receive waiting on it; closed with its last owner
  psxServer.psxClientSocket.reset();
  if (!quiet) gf_log("RealTraffic client socket closed");
  return false;
}

void lf_abortLiveTraffic() {
  std::function<void()> abort;
  {
    std::lock_guard lock(abortMutex);
    abort = abortLiveTraffic;
  }
  if (abort) abort();
}

// "level" of the version answer: an integer within 32 bits, else an error.
int lf_versionLevel(const nlohmann::json& level) {
  using Type = nlohmann::json::value_t;
  std::int64_t value = 0;
  bool integer = false;
  if (level.type() == Type::number_unsigned) {
    const auto unsignedValue = level.get<std::uint64_t>();
    integer = unsignedValue <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    value = integer ? static_cast<std::int64_t>(unsignedValue) : 0;
  } else if (level.type() == Type::number_integer) {
    integer = true;
    value = level.get<std::int64_t>();
  }
  if (!integer || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max())
    throw std::invalid_argument(
        wdrx::format("level {} is not a 32-bit integer", gf_logSafeText(level.dump(), 40)));
  return static_cast<int>(value);
}

// Of a connection and the ones queued behind it, the newest whose peer is still there; the
// others are closed. None when every one has gone.
std::shared_ptr<platform::TcpStream> lf_newestLiveClient(
    std::shared_ptr<platform::TcpStream> first, platform::TcpListener& listener) {
  std::vector<std::shared_ptr<platform::TcpStream>> queued{std::move(first)};
  for (;;) {
    auto more = listener.accept(std::chrono::milliseconds(0));
    if (!more.stream) break;
    queued.push_back(std::move(more.stream));
  }
  std::shared_ptr<platform::TcpStream> kept;
  for (auto it = queued.rbegin(); it != queued.rend() && !kept; ++it)
    if (!(*it)->peerClosed()) kept = *it;
  const std::size_t dropped = queued.size() - (kept ? 1 : 0);
  for (auto& stream : queued)
    if (stream != kept) stream->shutdown();
  if (dropped > 0)
    gf_logUnlessStopping(wdrx::format("waitForClient: {} stale RealTraffic connection{} dropped",
                                      dropped, gf_pluralSize(dropped)));
  return kept;
}

}  // namespace

bool PsxLineBuffer::append(std::string_view bytes) {
  pending_.append(bytes);
  if (pending_.find('\n', scanned_) != std::string::npos) return true;
  scanned_ = pending_.size();
  return pending_.size() < psxLineLimit;
}

std::optional<std::string> PsxLineBuffer::nextLine() {
  const std::size_t end = pending_.find('\n');
  if (end == std::string::npos) {
    scanned_ = pending_.size();
    return std::nullopt;
  }
  std::string line = pending_.substr(0, end);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  pending_.erase(0, end + 1);
  scanned_ = 0;
  return line;
}

std::string PsxLineBuffer::takePending() {
  scanned_ = 0;
  return std::exchange(pending_, {});
}

void PsxLineBuffer::clear() {
  pending_.clear();
  scanned_ = 0;
}

void gf_setAbortLiveTraffic(std::function<void()> abort) {
  std::lock_guard lock(abortMutex);
  abortLiveTraffic = std::move(abort);
}

void gf_startPsxServer(const std::string& portText) {
  if (const int rc = platform::gf_netStartup(); rc != 0)
    throw std::runtime_error(wdrx::format("WSAStartup failed with error {}", rc));
  auto listener = std::make_shared<platform::TcpListener>();
  const auto opened = listener->openLoopback(portText);
  if (opened.failedStep != platform::TcpListener::Step::none) {
    platform::gf_netCleanup();
    throw std::runtime_error(lf_startError(opened.failedStep, opened.error, portText));
  }
  std::lock_guard lock(psxServer.socketMutex);
  psxServer.psxListenSocket = std::move(listener);
}

std::uint16_t gf_psxServerPort() {
  std::lock_guard lock(psxServer.socketMutex);
  return psxServer.psxListenSocket ? psxServer.psxListenSocket->localPort() : 0;
}

bool waitForClient() {
  if (psxServer.psxConnected.load()) return false;
  std::shared_ptr<platform::TcpStream> client;
  std::shared_ptr<platform::TcpListener> listener;
  while (!client) {
    {
      std::lock_guard lock(psxServer.socketMutex);
      listener = psxServer.psxListenSocket;
    }
    if (!listener || lf_stopping()) return false;
    auto accepted = listener->accept(psxWaitSlice);
    if (accepted.stream) {
      client = lf_newestLiveClient(std::move(accepted.stream), *listener);
    } else if (accepted.error != platform::netError::timedOut) {
      return false;
    }
  }
  const int noDelay = client->setNoDelay();
  // Published under the lock, so that a close that came meanwhile is never undone.
  std::lock_guard lock(psxServer.socketMutex);
  if (psxServer.psxListenSocket != listener) return false;  // closed meanwhile
  psxServer.psxClientSocket = client;
  psxServer.psxInput.clear();
  if (noDelay != 0) {
    gf_logUnlessStopping(wdrx::format("waitForClient interrupted: {}",
                                      wdrx::format("{} setsockopt failed with error {}",
                                                   gf_timeOfDay(), gf_wsaErrorText(noDelay))));
    return false;
  }
  psxServer.psxConnected.exchange(true);
  return true;
}

bool sendDataPacket(std::string_view line) {
  std::lock_guard lock(psxServer.socketMutex);
  return lf_sendLocked(line);
}

std::string lf_receivePsxLine() {
  std::shared_ptr<platform::TcpStream> client;
  {
    std::lock_guard lock(psxServer.socketMutex);
    client = psxServer.psxClientSocket;
  }
  if (!client) {
    gf_logUnlessStopping(
        wdrx::format("receive: {}", gf_wsaErrorText(platform::netError::notSocket)));
    return {};
  }
  PsxLineBuffer& input = psxServer.psxInput;
  std::array<char, psxReceiveChunk> chunk{};
  const auto deadline = gf_clock().steadyNow() + psxAnswerTimeout;
  for (;;) {
    if (auto line = input.nextLine()) return std::move(*line);
    if (lf_stopping()) return {};
    const auto got = client->receive(chunk.data(), chunk.size(), psxWaitSlice);
    if (got.error == platform::netError::timedOut && gf_clock().steadyNow() < deadline) continue;
    if (got.error != 0) {
      gf_logUnlessStopping(wdrx::format("receive: {}", gf_wsaErrorText(got.error)));
      input.clear();
      return {};
    }
    if (got.bytes == 0) return input.takePending();  // closed: what came without a line end
    if (!input.append(std::string_view(chunk.data(), static_cast<std::size_t>(got.bytes)))) {
      gf_logUnlessStopping(wdrx::format("receive: buffer overrun: {}", input.pendingSize()));
      input.clear();
      return {};
    }
  }
}

void lf_processRTVersion(const std::string& answer) {
  if (answer.empty()) {
    gf_postError("No RealTraffic version received?");
    rtProfessional.store(false);
    return;
  }
  try {
    const auto json = nlohmann::json::parse(answer);
    if (json.is_object()) {
      const auto found = json.find("level");
      const int level = found == json.end() ? 0 : lf_versionLevel(*found);
      const std::string version = json.value("version", std::string{});
      rtProfessional.store(level == 2);
      realTrafficDisplay.setRealTrafficText(
          wdrx::format("RT {} edition: {}", level == 2 ? "prof" : "stnd",
                       gf_logSafeText(version, psxVersionTextLimit)));
    } else {
      rtProfessional.store(false);
      realTrafficDisplay.setRealTrafficText({});
    }
    gf_invalidateCountersBand();
  } catch (const std::exception& e) {
    rtProfessional.store(false);
    realTrafficDisplay.setRealTrafficText({});
    gf_invalidateCountersBand();
    gf_log(wdrx::format("{}: JSON parse failed: {}", "lf_processRTVersion",
                        gf_logSafeText(e.what())));
  }
}

void gf_waitForRealTraffic() {
  if (!realTrafficDetected.load()) return;
  gf_postStatus(wdrx::format("Waiting for RealTraffic to connect to {} ...", "Wendrix_P3D"), true);
  gf_flushLog();
  gf_resetReaders();
  if (waitForClient()) {
    sendDataPacket("Qs999=version\r\n");
    lf_processRTVersion(lf_receivePsxLine());
    realTrafficDisplay.realTrafficLinked.store(true);
    gf_invalidateCountersBand();
    awaitingRealTraffic.exchange(false);
    gf_log("RealTraffic connected");
  }
  gf_clearStatus();
}

std::string gf_userPositionLine() {
  const UserAircraftState& user = userPosition;
  return wdrx::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{:.0f};{:.6f};{:.6f}\r\n",
                      user.pitch * -100000.0, user.bank * 100000.0, user.heading,
                      user.indicatedAltitude * 1000.0, user.groundSpeed * 1000.0,
                      user.latitude * degToRad, user.longitude * degToRad);
}

void gf_sendUserPosition() {
  if (!realTrafficDetected.load()) return;
  if (!(std::fabs(userPosition.latitude) > 0.0001 || std::fabs(userPosition.longitude) > 0.0001))
    return;
  if (psxServer.psxConnected.load()) {
    if (sendDataPacket(gf_userPositionLine())) return;
    // RealTraffic has gone.
    realTrafficDisplay.realTrafficLinked.store(false);
    gf_invalidateCountersBand();
    if (!closeRequested.load()) lf_abortLiveTraffic();
    gf_resetReaders();
    gf_postStatus(
        wdrx::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", gf_timeOfDay()),
        true);
  } else if (exitReason.load() == ExitReason::NotYetSet) {
    if (waitForClient()) {
      realTrafficDisplay.realTrafficLinked.store(true);
      gf_invalidateCountersBand();
      gf_postStatus(wdrx::format("{} RealTraffic re-connected", gf_timeOfDay()), true);
      gf_clearStatus();
    }
  }
}

void gf_sendSimTime(std::int64_t secondsSince1970) {
  if (!psxServer.psxConnected.load() || secondsSince1970 < 1) return;
  sendDataPacket(wdrx::format("Qs123={}\r\n", secondsSince1970 * 1000));
}

void gf_closePsxServer() {
  std::shared_ptr<platform::TcpListener> listener;
  std::shared_ptr<platform::TcpStream> client;
  {
    std::lock_guard lock(psxServer.socketMutex);
    if (psxServer.psxConnected.exchange(false)) lf_sendLocked("exit\r\n");
    listener = std::move(psxServer.psxListenSocket);
    client = std::move(psxServer.psxClientSocket);
  }
  // A thread waiting on either socket wakes; each socket closes with its last owner, once.
  if (client) client->shutdown();
  if (listener) {
    listener->shutdown();
    platform::gf_netCleanup();
  }
}
