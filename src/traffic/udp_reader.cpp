#include "traffic/udp_reader.hpp"

#include <cmath>
#include <exception>
#include <functional>
#include <limits>
#include <stdexcept>
#include <utility>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/time_text.hpp"
#include "runstate/run_control.hpp"
#include "traffic/link_state.hpp"
#include "traffic/qnh.hpp"
#include "traffic/traffic_decoder.hpp"

TrafficReader trafficReader;
QnhReader qnhReader;
std::atomic<bool> trafficLampLit{false};
std::atomic<bool> qnhLampLit{false};

namespace {


bool lf_stopping() { return runStopRequested.load() || closeRequested.load(); }

void lf_setLamp(std::atomic<std::int32_t>& lamp, std::int32_t value) {
  lamp.store(value);
  gf_invalidateCountersBand();
}

void lf_wsaStartup(UdpReader&) {
  if (const int rc = platform::gf_netStartup(); rc != 0)
    throw std::runtime_error(wdrx::format("WSA startup error: {}", rc));
}

void lf_createSocket(UdpReader& reader) {
  if (const int rc = reader.socket.open(); rc != 0)
    throw std::runtime_error(
        wdrx::format("failed to create the socket, error: {}", gf_wsaErrorText(rc)));
}

void lf_bindReader(UdpReader& reader, std::uint16_t port, bool localOnly) {
  if (const int rc = reader.socket.bind(port, localOnly); rc != 0)
    throw std::runtime_error(
        wdrx::format("bind to stream socket failed, error: {}", gf_wsaErrorText(rc)));
  reader.boundPort.store(reader.socket.localPort());
}

// Room for a burst of datagrams while the reader is busy; the reader works without it.
void lf_enlargeReceiveBuffer(UdpReader& reader) {
  if (const int rc = reader.socket.setReceiveBufferSize(trafficReceiveBufferBytes); rc != 0)
    gf_log(wdrx::format("{}: receive buffer of {} bytes refused: {}", reader.name,
                        trafficReceiveBufferBytes, gf_wsaErrorText(rc)));
}

void lf_logReaderConnected(const char* name) {
  gf_logIndented(wdrx::format("{} connected", name));
}

void lf_logReaderDisconnected(const char* name) {
  gf_logIndented(wdrx::format("{} disconnected", name));
}

// The body shared by both reader threads; trafficSide: the Traffic Reader drives both lamps.
void lf_runReader(UdpReader& reader, std::uint16_t port, bool localOnly, bool keepRepeats,
                  bool trafficSide) {
  // Each reader ends exactly the socket start-up it made: none when its start-up failed.
  bool netStarted = false;
  try {
    lf_wsaStartup(reader);
    netStarted = true;
    lf_createSocket(reader);
    lf_bindReader(reader, port, localOnly);
    if (trafficSide) lf_enlargeReceiveBuffer(reader);
    if (trafficSide) lf_setLamp(realTrafficDisplay.trafficLamp, lampReceiving);
    lf_setLamp(realTrafficDisplay.qnhLamp, lampReceiving);
    lf_logReaderConnected(reader.name);
    lf_receiveLoop(reader, keepRepeats);
  } catch (const std::exception& e) {
    try {
      gf_reportThreadStopped(reader.name, e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      gf_reportThreadStopped(reader.name, "Unknown exception");
    } catch (...) {
    }
  }
  // The reader guard: runs at every end and throws nothing.
  try {
    reader.socket.close();
    if (netStarted) platform::gf_netCleanup();
    if (trafficSide) lf_setLamp(realTrafficDisplay.trafficLamp, lampHidden);
    lf_setLamp(realTrafficDisplay.qnhLamp, lampHidden);
    lf_logReaderDisconnected(reader.name);
  } catch (...) {
  }
  reader.running.store(false);
}

void lf_startReader(UdpReader& reader, std::function<void()> body) {
  reader.stopAndJoin();  // a thread of an earlier run is gone before its flag is cleared
  reader.stopFlag.store(false);
  reader.boundPort.store(0);
  reader.running.store(true);
  reader.thread = std::thread(std::move(body));
}

void lf_checkLamp(UdpReader& reader, std::atomic<std::int32_t>& lamp, std::atomic<bool>& lit) {
  const std::uint32_t count = reader.datagramCount.load();
  if (count == reader.lampCount.load()) {
    lf_setLamp(lamp, lampSilent);
    lit.store(false);
  } else if (!lit.load()) {
    lit.store(true);
    lf_setLamp(lamp, lampReceiving);
  }
  reader.lampCount.store(count);
}

}  // namespace

// ---------------------------------------------------------------- reader objects

UdpReader::~UdpReader() { stopAndJoin(); }

void UdpReader::joinIfStopping() {
  if (thread.joinable() && (stopFlag.load() || !running.load())) thread.join();
}

void UdpReader::stopAndJoin() {
  if (!thread.joinable()) return;
  stopFlag.store(true);
  thread.join();
}

TrafficReader::TrafficReader()
    : UdpReader("Traffic Reader", trafficDropKind), fieldElevation_(std::numeric_limits<double>::quiet_NaN()) {
  fields.reserve(64);
}

LatLon TrafficReader::userLatLon() const {
  std::lock_guard lock(userLatLonMutex_);
  return userLatLon_;
}

void TrafficReader::setUserLatLon(const LatLon& position) {
  std::lock_guard lock(userLatLonMutex_);
  userLatLon_ = position;
}

std::optional<double> TrafficReader::fieldElevation() const {
  const double feet = fieldElevation_.load();
  if (std::isnan(feet)) return std::nullopt;
  return feet;
}

void TrafficReader::setFieldElevation(std::optional<double> feet) {
  fieldElevation_.store(feet ? *feet : std::numeric_limits<double>::quiet_NaN());
}

void TrafficReader::insertCallsign(std::string_view callsign) {
  std::lock_guard lock(callsignMutex_);
  callsignSet_.emplace(callsign);
}

void TrafficReader::clearCallsigns() {
  std::lock_guard lock(callsignMutex_);
  callsignSet_.clear();
}

void TrafficReader::startCallsignCollection() {
  clearCallsigns();
  collectCallsigns.store(true);
}

std::unordered_set<std::string> TrafficReader::takeCallsigns() {
  collectCallsigns.store(false);
  std::lock_guard lock(callsignMutex_);
  return std::exchange(callsignSet_, {});
}

std::size_t TrafficReader::callsignCount() const {
  std::lock_guard lock(callsignMutex_);
  return callsignSet_.size();
}

void TrafficReader::onStopped() {
  // lf_trafficReaderStopped
  gf_logTrafficDrops(*this);
  lf_setLamp(realTrafficDisplay.trafficLamp, lampHidden);
  gf_log("Traffic Reader has stopped");
}

void QnhReader::onStopped() {
  // lf_qnhReaderStopped
  gf_logQnhDrops(*this);
  gf_log("QNH Reader has stopped");
}

// ---------------------------------------------------------------- threads

void lf_trafficReader(std::uint16_t port, bool localOnly) {
  lf_runReader(trafficReader, port, localOnly, localOnly, true);
}

void lf_qnhReader(std::uint16_t port) {
  const bool localOnly = realTrafficDetected.load();
  lf_runReader(qnhReader, port, localOnly, localOnly, false);
}

void gf_startTrafficReader(std::uint16_t port, bool localOnly) {
  lf_startReader(trafficReader, [port, localOnly] { lf_trafficReader(port, localOnly); });
}

void gf_startQnhReader(std::uint16_t port) {
  lf_startReader(qnhReader, [port] { lf_qnhReader(port); });
}

void gf_stopReaders() {
  trafficReader.stopFlag.store(true);
  qnhReader.stopFlag.store(true);
  trafficReader.stopAndJoin();
  qnhReader.stopAndJoin();
}

void lf_receiveLoop(UdpReader& reader, bool keepRepeats) {
  int error = reader.socket.setReceiveTimeout(readerReceiveTimeout);
  while (error == 0 && !reader.stopFlag.load()) {
    const auto got = reader.socket.receive(reader.buffer.data(), readerBufferSize);
    if (got.error != 0) {
      if (got.error != platform::netError::interrupted &&
          got.error != platform::netError::wouldBlock &&
          got.error != platform::netError::timedOut)
        error = got.error;
    } else if (got.truncated || got.bytes >= static_cast<std::int64_t>(readerBufferSize)) {
      // Too long for the buffer: this datagram is lost, the reader goes on.
      if (!lf_stopping()) gf_dropOverrun(reader.drops, got.bytes);
    } else if (got.bytes > 0) {
      const auto n = static_cast<std::size_t>(got.bytes);
      reader.buffer[n] = 0;
      const std::string_view text(reader.buffer.data(), n);
      bool repeat = false;
      if (!keepRepeats) {
        repeat = text == reader.lastDatagram;
        if (!repeat) reader.lastDatagram.assign(text);
      }
      if (!repeat) {
        reader.datagram = text;
        reader.datagramCount.fetch_add(1);
        reader.onDatagram();
      }
    }
  }
  if (error != 0 && !reader.stopFlag.load())
    throw std::runtime_error(wdrx::format("receive error: {}", gf_wsaErrorText(error)));
  if (reader.socket.isOpen()) {
    reader.socket.shutdown();
    reader.socket.close();
  }
  reader.onStopped();
}

// ---------------------------------------------------------------- lamps and reset

void gf_checkReaderLamps() {
  if (!realTrafficDisplay.realTrafficLinked.load()) return;
  lf_checkLamp(qnhReader, realTrafficDisplay.qnhLamp, qnhLampLit);
  lf_checkLamp(trafficReader, realTrafficDisplay.trafficLamp, trafficLampLit);
}

void gf_resetReaders() {
  trafficReader.trafficQnh.exchange(1013);
  trafficSourceTime.store(0.0);
  trafficReader.clearCallsigns();
  // A thread still ending must be gone before its stop flag is cleared, or it would run on.
  trafficReader.joinIfStopping();
  trafficReader.stopFlag.store(false);
  trafficLampLit.store(true);
  qnhReader.lastQnh.store(1013);
  qnhReader.joinIfStopping();
  qnhReader.stopFlag.store(false);
  qnhReader.datagramCount.store(0);
  qnhReader.lampCount.store(0);
  qnhLampLit.store(true);
}
