// The SimConnect API functions: each builds one whole packet and sends it.
#include <array>
#include <cstring>
#include <vector>

#include "simconnect/connection.hpp"
#include "simconnect/simconnect.hpp"

namespace {

// Fills a zeroed packet buffer field by field (little-endian, as the host).
class PacketBuilder {
 public:
  PacketBuilder(std::byte* data, std::uint32_t size, SimFunction function) : data_(data), size_(size) {
    std::memset(data_, 0, size_);
    u32(0, size);
    u32(4, simProtocolVersion);
    u32(8, simSendPacketFlag | static_cast<std::uint32_t>(function));
  }
  void u32(std::size_t offset, std::uint32_t value) { put(offset, value); }
  void f32(std::size_t offset, float value) { put(offset, value); }
  void f64(std::size_t offset, double value) { put(offset, value); }
  void bytes(std::size_t offset, const void* source, std::size_t count) {
    if (count != 0) std::memcpy(data_ + offset, source, count);
  }
  // A NUL-terminated text in a field of `length` bytes; false when it does not fit.
  bool text(std::size_t offset, std::size_t length, const char* value) {
    if (value == nullptr) return true;
    const std::size_t count = ::strnlen(value, length);
    if (count >= length) return false;
    bytes(offset, value, count);
    return true;
  }
  std::byte* data() { return data_; }
  std::uint32_t size() const { return size_; }

 private:
  template <typename T>
  void put(std::size_t offset, T value) {
    std::memcpy(data_ + offset, &value, sizeof value);
  }
  std::byte* data_;
  std::uint32_t size_;
};

template <std::uint32_t Size>
struct FixedPacket {
  explicit FixedPacket(SimFunction function) : builder(storage.data(), Size, function) {}
  std::array<std::byte, Size> storage;
  PacketBuilder builder;
};

SimConnectResult lf_send(SimConnection* handle, PacketBuilder& packet, std::uint32_t* sendId = nullptr) {
  if (handle == nullptr) return simFail;
  return handle->send(packet.data(), packet.size(), sendId);
}

// Packets with one id and one name field (subscribe, map event).
SimConnectResult lf_sendIdAndName(SimConnection* handle, SimFunction function, std::uint32_t id, const char* name) {
  if (handle == nullptr) return simFail;
  if (handle->failed()) return handle->failureCode();
  FixedPacket<simSubscribeSize> packet(function);
  packet.builder.u32(16, id);
  if (!packet.builder.text(20, simNameFieldLength, name)) return simStringTooLong;
  return lf_send(handle, packet.builder);
}

SimConnectResult lf_sendObjectAndRequest(SimConnection* handle, SimFunction function, std::uint32_t objectId,
                                         std::uint32_t requestId) {
  FixedPacket<simRemoveObjectSize> packet(function);
  packet.builder.u32(16, objectId);
  packet.builder.u32(20, requestId);
  return lf_send(handle, packet.builder);
}

static_assert(simSubscribeSize == simMapClientEventSize);
static_assert(simRemoveObjectSize == simReleaseControlSize);

}  // namespace

SimConnectResult SimConnect_Open(SimConnection** handle, const char* name, void* windowHandle,
                                 std::uint32_t userMessage, void* eventHandle, std::uint32_t configIndex) {
  if (handle == nullptr || name == nullptr) return simInvalidArg;
  *handle = nullptr;
  FixedPacket<simOpenSize> packet(SimFunction::Open);
  // The name is checked before anything connects: a name that does not fit sends nothing.
  if (!packet.builder.text(16, simNameFieldLength, name)) return simStringTooLong;
  packet.builder.u32(272, 0);
  packet.builder.u32(276, 0x50334400u);
  packet.builder.u32(280, 5);
  packet.builder.u32(284, 3);

  SimConnectConfig config;
  std::unique_ptr<platform::SimTransport> transport;
  const int opened = gf_openSimTransport(configIndex, config, transport);
  if (opened == 3) return simInvalidArg;
  if (opened != 0) return simFail;
  platform::SimTransport& started = *transport;
  auto connection = std::make_unique<SimConnection>(config, std::move(transport));
  connection->windowHandle = windowHandle;
  connection->userMessage = userMessage;
  connection->eventHandle = eventHandle;
  started.start(*connection);
  const SimConnectResult result = lf_send(connection.get(), packet.builder);
  if (simFailed(result)) {
    connection->close();
    return result;
  }
  *handle = connection.release();
  return simOk;
}

SimConnectResult SimConnect_Close(SimConnection* handle) {
  if (handle == nullptr) return simFail;
  handle->close();
  delete handle;
  return simOk;
}

SimConnectResult SimConnect_CallDispatch(SimConnection* handle, SimDispatchProc callback, void* context) {
  if (handle == nullptr) return simFail;
  return handle->dispatch(callback, context);
}

SimConnectResult SimConnect_GetLastSentPacketID(SimConnection* handle, std::uint32_t* sendId) {
  if (handle == nullptr || sendId == nullptr) return simFail;
  *sendId = handle->lastSendId();
  return simOk;
}

SimConnectResult SimConnect_SubscribeToSystemEvent(SimConnection* handle, std::uint32_t eventId,
                                                   const char* systemEventName) {
  return lf_sendIdAndName(handle, SimFunction::SubscribeToSystemEvent, eventId, systemEventName);
}

SimConnectResult SimConnect_MapClientEventToSimEvent(SimConnection* handle, std::uint32_t eventId,
                                                     const char* simEventName) {
  return lf_sendIdAndName(handle, SimFunction::MapClientEventToSimEvent, eventId, simEventName);
}

SimConnectResult SimConnect_AddClientEventToNotificationGroup(SimConnection* handle, std::uint32_t groupId,
                                                              std::uint32_t eventId, bool maskable) {
  FixedPacket<simAddClientEventToGroupSize> packet(SimFunction::AddClientEventToNotificationGroup);
  packet.builder.u32(16, groupId);
  packet.builder.u32(20, eventId);
  packet.builder.u32(24, maskable ? 1 : 0);
  return lf_send(handle, packet.builder);
}

SimConnectResult SimConnect_SetNotificationGroupPriority(SimConnection* handle, std::uint32_t groupId,
                                                         std::uint32_t priority) {
  FixedPacket<simSetGroupPrioritySize> packet(SimFunction::SetNotificationGroupPriority);
  packet.builder.u32(16, groupId);
  packet.builder.u32(20, priority);
  return lf_send(handle, packet.builder);
}

SimConnectResult SimConnect_AddToDataDefinition(SimConnection* handle, std::uint32_t defineId, const char* datumName,
                                                const char* unitsName, SimDataType dataType, float epsilon,
                                                std::uint32_t datumId) {
  if (handle == nullptr) return simFail;
  if (handle->failed()) return handle->failureCode();
  FixedPacket<simAddToDataDefinitionSize> packet(SimFunction::AddToDataDefinition);
  packet.builder.u32(16, defineId);
  if (!packet.builder.text(20, simNameFieldLength, datumName)) return simStringTooLong;
  if (!packet.builder.text(276, simNameFieldLength, unitsName)) return simStringTooLong;
  packet.builder.u32(532, static_cast<std::uint32_t>(dataType));
  packet.builder.f32(536, epsilon);
  packet.builder.u32(540, datumId);
  return lf_send(handle, packet.builder);
}

SimConnectResult SimConnect_RequestDataOnSimObject(SimConnection* handle, std::uint32_t requestId,
                                                   std::uint32_t defineId, std::uint32_t objectId, SimPeriod period,
                                                   std::uint32_t flags, std::uint32_t origin, std::uint32_t interval,
                                                   std::uint32_t limit) {
  FixedPacket<simRequestDataSize> packet(SimFunction::RequestDataOnSimObject);
  packet.builder.u32(16, requestId);
  packet.builder.u32(20, defineId);
  packet.builder.u32(24, objectId);
  packet.builder.u32(28, static_cast<std::uint32_t>(period));
  packet.builder.u32(32, flags);
  packet.builder.u32(36, origin);
  packet.builder.u32(40, interval);
  packet.builder.u32(44, limit);
  return lf_send(handle, packet.builder);
}

SimConnectResult SimConnect_RequestDataOnSimObjectType(SimConnection* handle, std::uint32_t requestId,
                                                       std::uint32_t defineId, std::uint32_t radiusMeters,
                                                       SimObjectType type) {
  FixedPacket<simRequestDataByTypeSize> packet(SimFunction::RequestDataOnSimObjectType);
  packet.builder.u32(16, requestId);
  packet.builder.u32(20, defineId);
  packet.builder.u32(24, radiusMeters);
  packet.builder.u32(28, static_cast<std::uint32_t>(type));
  return lf_send(handle, packet.builder);
}

SimConnectResult SimConnect_SetDataOnSimObject(SimConnection* handle, std::uint32_t defineId, std::uint32_t objectId,
                                               std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                               const void* data) {
  if (handle == nullptr) return simFail;
  if (handle->failed()) return handle->failureCode();
  const std::uint64_t count = arrayCount == 0 ? 1 : arrayCount;
  const std::uint64_t dataBytes = count * unitSize;
  if (simSetDataHeaderSize + dataBytes > simSendBufferSize || (dataBytes != 0 && data == nullptr)) return simFail;
  // Each thread builds in its own buffer, kept between calls: no allocation per packet.
  thread_local std::vector<std::byte> storage(simSendBufferSize);
  const auto size = static_cast<std::uint32_t>(simSetDataHeaderSize + dataBytes);
  PacketBuilder builder(storage.data(), size, SimFunction::SetDataOnSimObject);
  builder.u32(16, defineId);
  builder.u32(20, objectId);
  builder.u32(24, flags);
  builder.u32(28, static_cast<std::uint32_t>(count));
  builder.u32(32, unitSize);
  builder.bytes(36, data, static_cast<std::size_t>(dataBytes));
  return lf_send(handle, builder);
}

SimConnectResult SimConnect_TransmitClientEvent(SimConnection* handle, std::uint32_t objectId, std::uint32_t eventId,
                                                std::uint32_t data, std::uint32_t groupId, std::uint32_t flags) {
  FixedPacket<simTransmitClientEventSize> packet(SimFunction::TransmitClientEvent);
  packet.builder.u32(16, objectId);
  packet.builder.u32(20, eventId);
  packet.builder.u32(24, data);
  packet.builder.u32(28, groupId);
  packet.builder.u32(32, flags);
  return lf_send(handle, packet.builder);
}

SimConnectResult SimConnect_AICreateNonATCAircraft(SimConnection* handle, const char* containerTitle,
                                                   const char* tailNumber, const SimInitPosition& position,
                                                   std::uint32_t requestId, std::uint32_t* sendId) {
  if (handle == nullptr) return simFail;
  if (handle->failed()) return handle->failureCode();
  FixedPacket<simCreateAircraftSize> packet(SimFunction::AICreateNonATCAircraft);
  if (!packet.builder.text(16, simNameFieldLength, containerTitle) ||
      !packet.builder.text(272, simTailNumberLength, tailNumber)) {
    return simStringTooLong;
  }
  packet.builder.f64(284, position.latitude);
  packet.builder.f64(292, position.longitude);
  packet.builder.f64(300, position.altitude);
  packet.builder.f64(308, position.pitch);
  packet.builder.f64(316, position.bank);
  packet.builder.f64(324, position.heading);
  packet.builder.u32(332, position.onGround);
  packet.builder.u32(336, position.airspeed);
  packet.builder.u32(340, requestId);
  return lf_send(handle, packet.builder, sendId);
}

SimConnectResult SimConnect_AIReleaseControl(SimConnection* handle, std::uint32_t objectId, std::uint32_t requestId) {
  return lf_sendObjectAndRequest(handle, SimFunction::AIReleaseControl, objectId, requestId);
}

SimConnectResult SimConnect_AIRemoveObject(SimConnection* handle, std::uint32_t objectId, std::uint32_t requestId) {
  return lf_sendObjectAndRequest(handle, SimFunction::AIRemoveObject, objectId, requestId);
}

SimConnectResult SimConnect_AISetAircraftFlightPlan(SimConnection* handle, std::uint32_t objectId,
                                                    const char* flightPlanPath, std::uint32_t requestId) {
  if (handle == nullptr) return simFail;
  if (handle->failed()) return handle->failureCode();
  FixedPacket<simSetFlightPlanSize> packet(SimFunction::AISetAircraftFlightPlan);
  packet.builder.u32(16, objectId);
  if (!packet.builder.text(20, simPathFieldLength, flightPlanPath)) return simStringTooLong;
  packet.builder.u32(280, requestId);
  return lf_send(handle, packet.builder);
}
