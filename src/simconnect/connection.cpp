#include "simconnect/connection.hpp"

#include <cstring>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"

namespace {

constexpr std::size_t maxSpareBlocks = 64;

std::atomic<std::uint32_t> connectionCounter{0};

// The last send id stamped by this thread, and on which connection: a thread that sends and
// then asks for its id is not disturbed by other threads sending on the same connection.
thread_local std::uint32_t threadLastConnection = 0;
thread_local std::uint32_t threadLastSendId = 0;

std::uint32_t lf_nextConnectionId() {
  for (;;) {
    const std::uint32_t id = ++connectionCounter;
    if (id != 0) return id;
  }
}

SimConnectResult lf_failureCodeOf(platform::DisconnectReason reason) {
  switch (reason) {
    case platform::DisconnectReason::packetTooLarge:
    case platform::DisconnectReason::badPacketSize: return simAborted;
    case platform::DisconnectReason::noMemory: return simOutOfMemory;
    default: return simFail;
  }
}

const char* lf_reasonText(platform::DisconnectReason reason) {
  switch (reason) {
    case platform::DisconnectReason::packetTooLarge: return "packet too large";
    case platform::DisconnectReason::badPacketSize: return "bad packet size";
    case platform::DisconnectReason::noMemory: return "no memory";
    case platform::DisconnectReason::peerClosed: return "closed by the simulator";
    case platform::DisconnectReason::pipeBroken: return "connection broken";
    case platform::DisconnectReason::cancelled: return "cancelled";
    default: return "transport error";
  }
}

platform::SimConnectAttempt lf_tryPipe(const std::string& server, const std::string& pipeName) {
  const std::string path = gf_simPipePath(server, pipeName);
  if (path.empty()) return {};
  return platform::connectSimPipe(path, dataFolder);
}

}  // namespace

SimConnection::SimConnection(const SimConnectConfig& config,
                             std::unique_ptr<platform::SimTransport> transport)
    : id(lf_nextConnectionId()),
      config_(config),
      transport_(std::move(transport)),
      cutter_(config.maxReceiveSize) {}

SimConnection::~SimConnection() { close(); }

std::uint32_t SimConnection::lastSendId() const {
  return threadLastConnection == id ? threadLastSendId : lastSendId_.load();
}

void SimConnection::setSendCounter(std::uint32_t value) {
  std::lock_guard lock(sendMutex_);
  sendCounter_ = value;
}

SimConnectResult SimConnection::send(std::byte* packet, std::uint32_t size, std::uint32_t* sendId) {
  std::lock_guard lock(sendMutex_);
  if (failed_) return failureCode_.load();
  if (!transport_ || size > simSendBufferSize) return simFail;
  std::uint32_t stamped = ++sendCounter_;
  if (stamped == 0) stamped = sendCounter_ = 1;
  std::memcpy(packet + 12, &stamped, sizeof stamped);
  if (!transport_->write(packet, size)) return failed_ ? failureCode_.load() : simFail;
  lastSendId_ = stamped;
  threadLastConnection = id;
  threadLastSendId = stamped;
  if (sendId != nullptr) *sendId = stamped;
  return simOk;
}

SimConnectResult SimConnection::dispatch(SimDispatchProc callback, void* context) {
  if (callback == nullptr) {
    callback = storedCallback;
    context = storedContext;
  }
  std::vector<std::byte> packet;
  bool holding = false;
  for (;;) {
    {
      std::lock_guard lock(receiveMutex_);
      if (holding && spareBlocks_.size() < maxSpareBlocks) spareBlocks_.push_back(std::move(packet));
      holding = !receiveQueue_.empty();
      if (!holding) break;
      packet = std::move(receiveQueue_.front());
      receiveQueue_.pop_front();
    }
    if (callback != nullptr) {
      callback(reinterpret_cast<const SimRecv*>(packet.data()), static_cast<std::uint32_t>(packet.size()),
               context);
    }
  }
  return failed_ ? failureCode_.load() : simOk;
}

void SimConnection::close() {
  if (transport_) transport_->close();
  std::lock_guard lock(receiveMutex_);
  receiveQueue_.clear();
  spareBlocks_.clear();
}

std::span<std::byte> SimConnection::receiveSpace() { return cutter_.freeSpace(); }

bool SimConnection::received(std::size_t bytes) {
  const PacketCutter::Status status =
      cutter_.filled(bytes, [this](const std::byte* packet, std::uint32_t size) { queuePacket(packet, size); });
  switch (status) {
    case PacketCutter::Status::ok: return true;
    case PacketCutter::Status::tooLarge: fail(platform::DisconnectReason::packetTooLarge, 0); break;
    case PacketCutter::Status::badSize: fail(platform::DisconnectReason::badPacketSize, 0); break;
    case PacketCutter::Status::noMemory: fail(platform::DisconnectReason::noMemory, 0); break;
  }
  return false;
}

void SimConnection::disconnected(platform::DisconnectReason reason, int osError) { fail(reason, osError); }

void SimConnection::fail(platform::DisconnectReason reason, int osError) {
  if (failed_) return;
  failureReason_ = static_cast<int>(reason);
  failureOsError_ = osError;
  failureCode_ = lf_failureCodeOf(reason);
  failed_ = true;
  gf_logUnlessStopping(wdrx::format("SimConnection::fail: connection {} {} (reason {}, error {})", id,
                                    lf_reasonText(reason), static_cast<int>(reason), osError));
}

void SimConnection::queuePacket(const std::byte* packet, std::uint32_t size) {
  std::uint32_t receiveId = 0;
  if (size >= 12) std::memcpy(&receiveId, packet + 8, sizeof receiveId);
  if (size < 12 || size < simRecvMinimumSize(receiveId)) {
    gf_logUnlessStopping(wdrx::format("SimConnection::queuePacket: dropped a short packet, id {}, {} bytes",
                                      receiveId, size));
    return;
  }
  std::lock_guard lock(receiveMutex_);
  std::vector<std::byte> block;
  if (!spareBlocks_.empty()) {
    block = std::move(spareBlocks_.back());
    spareBlocks_.pop_back();
  }
  block.assign(packet, packet + size);
  receiveQueue_.push_back(std::move(block));
}

int gf_openSimTransport(std::uint32_t configIndex, SimConnectConfig& config,
                        std::unique_ptr<platform::SimTransport>& transport) {
  if (gf_readSimConnectConfig(configIndex, gf_simConnectCfgFiles(), config) != 0) return 3;
  std::string address = config.address;
  std::string port = config.port;
  SimProtocol step = config.protocol;
  const auto opened = [&](platform::SimConnectAttempt attempt) {
    transport = std::move(attempt.transport);
    return transport != nullptr;
  };
  if (step == SimProtocol::pipe) {
    if (opened(lf_tryPipe(address, port))) return 0;
    if (!address.empty() && address != ".") return 1;
    address = "::1";
    lf_readSimConnectPorts(platform::TcpFamily::ipv6, port);
    step = SimProtocol::ipv6;
  }
  if (step == SimProtocol::ipv6) {
    if (!port.empty() && (address != "::1" || platform::ipv6LoopbackResolves()) &&
        opened(platform::connectSimTcp(platform::TcpFamily::ipv6, address, port, config.disableNagle))) {
      return 0;
    }
    if (address != "::1") return 1;
    address = "127.0.0.1";
    lf_readSimConnectPorts(platform::TcpFamily::ipv4, port);
    step = SimProtocol::ipv4;
  }
  if (!port.empty() && opened(platform::connectSimTcp(platform::TcpFamily::ipv4, address, port, config.disableNagle))) {
    return 0;
  }
  if (address != "127.0.0.1") return 1;
  return opened(lf_tryPipe(".", "")) ? 0 : 1;
}
