// The simulator protocol as the fake speaks it: field access, value encodings, packet heads,
// the decoding of received packets and their descriptions.
#include "fakesim/protocol.hpp"

#include <cmath>

#include "foundation/format.hpp"

namespace fakesim {

std::uint32_t gf_expectedSize(std::uint32_t function) {
  switch (static_cast<SimFunction>(function)) {
    case SimFunction::Open: return simOpenSize;
    case SimFunction::MapClientEventToSimEvent: return simMapClientEventSize;
    case SimFunction::TransmitClientEvent: return simTransmitClientEventSize;
    case SimFunction::AddClientEventToNotificationGroup: return simAddClientEventToGroupSize;
    case SimFunction::SetNotificationGroupPriority: return simSetGroupPrioritySize;
    case SimFunction::AddToDataDefinition: return simAddToDataDefinitionSize;
    case SimFunction::RequestDataOnSimObject: return simRequestDataSize;
    case SimFunction::RequestDataOnSimObjectType: return simRequestDataByTypeSize;
    case SimFunction::SetDataOnSimObject: return simSetDataHeaderSize;
    case SimFunction::SubscribeToSystemEvent: return simSubscribeSize;
    case SimFunction::AICreateNonATCAircraft: return simCreateAircraftSize;
    case SimFunction::AIReleaseControl: return simReleaseControlSize;
    case SimFunction::AIRemoveObject: return simRemoveObjectSize;
    case SimFunction::AISetAircraftFlightPlan: return simSetFlightPlanSize;
  }
  return function == functionRequestSystemState ? requestSystemStateSize : 0;
}

std::string gf_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string gf_text(const std::vector<std::byte>& bytes, std::size_t offset, std::size_t length) {
  if (offset >= bytes.size()) return {};
  length = std::min(length, bytes.size() - offset);
  return std::string(simFieldText(reinterpret_cast<const char*>(bytes.data() + offset), length));
}

void gf_putText(std::vector<std::byte>& bytes, std::size_t offset, std::size_t length, std::string_view text) {
  if (bytes.size() < offset + length) bytes.resize(offset + length);
  std::memcpy(bytes.data() + offset, text.data(), std::min(text.size(), length - 1));
}

Packet gf_decode(std::vector<std::byte> bytes) {
  Packet p;
  p.size = gf_get<std::uint32_t>(bytes, 0);
  p.version = gf_get<std::uint32_t>(bytes, 4);
  p.packetId = gf_get<std::uint32_t>(bytes, 8);
  p.sendId = gf_get<std::uint32_t>(bytes, 12);
  p.function = p.packetId & ~simSendPacketFlag;
  const std::uint32_t expected = gf_expectedSize(p.function);
  p.malformed = bytes.size() < 16 || (p.packetId & simSendPacketFlag) != simSendPacketFlag || expected == 0 ||
                (p.is(SimFunction::SetDataOnSimObject) ? bytes.size() < expected : bytes.size() != expected);
  const auto u32 = [&](std::size_t offset) { return gf_get<std::uint32_t>(bytes, offset); };
  switch (static_cast<SimFunction>(p.function)) {
    case SimFunction::Open: p.name = gf_text(bytes, 16, 256); break;
    case SimFunction::MapClientEventToSimEvent:
    case SimFunction::SubscribeToSystemEvent:
      p.eventId = u32(16);
      p.name = gf_text(bytes, 20, 256);
      break;
    case SimFunction::TransmitClientEvent:
      p.objectId = u32(16);
      p.eventId = u32(20);
      p.data = u32(24);
      p.groupId = u32(28);
      p.flags = u32(32);
      break;
    case SimFunction::AddClientEventToNotificationGroup:
      p.groupId = u32(16);
      p.eventId = u32(20);
      p.maskable = u32(24);
      break;
    case SimFunction::SetNotificationGroupPriority:
      p.groupId = u32(16);
      p.priority = u32(20);
      break;
    case SimFunction::AddToDataDefinition:
      p.defineId = u32(16);
      p.name = gf_text(bytes, 20, 256);
      p.units = gf_text(bytes, 276, 256);
      p.dataType = u32(532);
      p.epsilon = gf_get<float>(bytes, 536);
      p.datumId = u32(540);
      break;
    case SimFunction::RequestDataOnSimObject:
      p.requestId = u32(16);
      p.defineId = u32(20);
      p.objectId = u32(24);
      p.period = u32(28);
      p.flags = u32(32);
      p.origin = u32(36);
      p.interval = u32(40);
      p.limit = u32(44);
      break;
    case SimFunction::RequestDataOnSimObjectType:
      p.requestId = u32(16);
      p.defineId = u32(20);
      p.radius = u32(24);
      p.objectType = u32(28);
      break;
    case SimFunction::SetDataOnSimObject:
      p.defineId = u32(16);
      p.objectId = u32(20);
      p.flags = u32(24);
      p.arrayCount = u32(28);
      p.unitSize = u32(32);
      if (bytes.size() > 36) p.payload.assign(bytes.begin() + 36, bytes.end());
      if (static_cast<std::uint64_t>(std::max(p.arrayCount, 1u)) * p.unitSize != p.payload.size()) p.malformed = true;
      break;
    case SimFunction::AICreateNonATCAircraft:
      p.name = gf_text(bytes, 16, 256);
      p.units = gf_text(bytes, 272, 12);
      p.position.latitude = gf_get<double>(bytes, 284);
      p.position.longitude = gf_get<double>(bytes, 292);
      p.position.altitude = gf_get<double>(bytes, 300);
      p.position.pitch = gf_get<double>(bytes, 308);
      p.position.bank = gf_get<double>(bytes, 316);
      p.position.heading = gf_get<double>(bytes, 324);
      p.position.onGround = u32(332);
      p.position.airspeed = u32(336);
      p.requestId = u32(340);
      break;
    case SimFunction::AIReleaseControl:
    case SimFunction::AIRemoveObject:
      p.objectId = u32(16);
      p.requestId = u32(20);
      break;
    case SimFunction::AISetAircraftFlightPlan:
      p.objectId = u32(16);
      p.name = gf_text(bytes, 20, 260);
      p.requestId = u32(280);
      break;
  }
  if (p.function == functionRequestSystemState) {
    p.requestId = u32(16);
    p.name = gf_text(bytes, 20, 256);
  }
  p.bytes = std::move(bytes);
  return p;
}

void gf_putValue(std::vector<std::byte>& bytes, std::uint32_t type, const Value& value) {
  const std::size_t at = bytes.size();
  const auto integer = [&](double low, double high) {
    return std::isnan(value.number) ? 0.0 : std::clamp(std::round(value.number), low, high);
  };
  switch (static_cast<DataType>(type)) {
    case DataType::Int32:
      gf_put<std::int32_t>(bytes, at, static_cast<std::int32_t>(integer(-2147483648.0, 2147483647.0)));
      return;
    case DataType::Int64:
      gf_put<std::int64_t>(bytes, at, static_cast<std::int64_t>(integer(-9223372036854775808.0, 9223372036854774784.0)));
      return;
    case DataType::Float32: gf_put<float>(bytes, at, static_cast<float>(value.number)); return;
    case DataType::Float64: gf_put<double>(bytes, at, value.number); return;
    case DataType::StringV:
      bytes.insert(bytes.end(), reinterpret_cast<const std::byte*>(value.text.data()),
                   reinterpret_cast<const std::byte*>(value.text.data() + value.text.size()));
      bytes.push_back(std::byte{0});
      return;
    default: break;
  }
  const std::size_t size = dataTypeSize(type).value_or(0);
  if (type >= static_cast<std::uint32_t>(DataType::String8) && type <= static_cast<std::uint32_t>(DataType::String260)) {
    gf_putText(bytes, at, size, value.text);
  } else {
    bytes.resize(at + size);  // structures: zeros
  }
}

bool gf_readValue(const std::vector<std::byte>& data, std::size_t& at, std::uint32_t type, Value& value) {
  if (type == static_cast<std::uint32_t>(DataType::StringV)) {
    const auto from = data.begin() + static_cast<std::ptrdiff_t>(std::min(at, data.size()));
    const std::size_t end = static_cast<std::size_t>(std::find(from, data.end(), std::byte{0}) - data.begin());
    if (end >= data.size()) return false;
    value.text = gf_text(data, at, end - at + 1);
    at = end + 1;
    return true;
  }
  const std::size_t size = dataTypeSize(type).value_or(0);
  if (at + size > data.size()) return false;
  switch (static_cast<DataType>(type)) {
    case DataType::Int32: value.number = gf_get<std::int32_t>(data, at); break;
    case DataType::Int64: value.number = static_cast<double>(gf_get<std::int64_t>(data, at)); break;
    case DataType::Float32: value.number = gf_get<float>(data, at); break;
    case DataType::Float64: value.number = gf_get<double>(data, at); break;
    default:
      if (type >= static_cast<std::uint32_t>(DataType::String8) && type <= static_cast<std::uint32_t>(DataType::String260)) {
        value.text = gf_text(data, at, size);
      }
      break;
  }
  at += size;
  return true;
}

std::vector<std::byte> gf_packet(SimRecvId id, std::size_t size, std::uint32_t version) {
  std::vector<std::byte> bytes(size);
  gf_put<std::uint32_t>(bytes, 0, static_cast<std::uint32_t>(size));
  gf_put<std::uint32_t>(bytes, 4, version);
  gf_put<std::uint32_t>(bytes, 8, static_cast<std::uint32_t>(id));
  return bytes;
}

std::vector<std::byte> gf_eventPacket(SimRecvId id, std::size_t size, std::uint32_t eventId, std::uint32_t data) {
  auto bytes = gf_packet(id, size, simProtocolVersion);
  gf_put<std::uint32_t>(bytes, 12, 0xFFFFFFFFu);  // group: none
  gf_put<std::uint32_t>(bytes, 16, eventId);
  gf_put<std::uint32_t>(bytes, 20, data);
  return bytes;
}

std::optional<std::size_t> dataTypeSize(std::uint32_t type) {
  switch (static_cast<DataType>(type)) {
    case DataType::Int32:
    case DataType::Float32: return 4;
    case DataType::Int64:
    case DataType::Float64:
    case DataType::String8: return 8;
    case DataType::String32: return 32;
    case DataType::String64: return 64;
    case DataType::String128: return 128;
    case DataType::String256: return 256;
    case DataType::String260: return 260;
    case DataType::StringV: return 0;
    case DataType::InitPosition: return 56;
    case DataType::MarkerState: return 68;
    case DataType::Waypoint: return 44;
    case DataType::LatLonAlt:
    case DataType::Xyz: return 24;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Packet

std::string Packet::kind() const {
  switch (static_cast<SimFunction>(function)) {
    case SimFunction::Open: return "Open";
    case SimFunction::MapClientEventToSimEvent: return "MapClientEventToSimEvent";
    case SimFunction::TransmitClientEvent: return "TransmitClientEvent";
    case SimFunction::AddClientEventToNotificationGroup: return "AddClientEventToNotificationGroup";
    case SimFunction::SetNotificationGroupPriority: return "SetNotificationGroupPriority";
    case SimFunction::AddToDataDefinition: return "AddToDataDefinition";
    case SimFunction::RequestDataOnSimObject: return "RequestDataOnSimObject";
    case SimFunction::RequestDataOnSimObjectType: return "RequestDataOnSimObjectType";
    case SimFunction::SetDataOnSimObject: return "SetDataOnSimObject";
    case SimFunction::SubscribeToSystemEvent: return "SubscribeToSystemEvent";
    case SimFunction::AICreateNonATCAircraft: return "AICreateNonATCAircraft";
    case SimFunction::AIReleaseControl: return "AIReleaseControl";
    case SimFunction::AIRemoveObject: return "AIRemoveObject";
    case SimFunction::AISetAircraftFlightPlan: return "AISetAircraftFlightPlan";
  }
  if (function == functionRequestSystemState) return "RequestSystemState";
  return wdrx::format("Function 0x{:X}", function);
}

std::vector<double> Packet::doubles() const {
  std::vector<double> values(payload.size() / sizeof(double));
  if (!values.empty()) std::memcpy(values.data(), payload.data(), values.size() * sizeof(double));
  return values;
}

std::string Packet::describe() const {
  std::string line = wdrx::format("{} send={} size={}", kind(), sendId, size);
  switch (static_cast<SimFunction>(function)) {
    case SimFunction::Open: line += wdrx::format(" name='{}' version={}", name, version); break;
    case SimFunction::MapClientEventToSimEvent:
    case SimFunction::SubscribeToSystemEvent: line += wdrx::format(" event={} name='{}'", eventId, name); break;
    case SimFunction::TransmitClientEvent:
      line += wdrx::format(" object={} event={} data={} group={} flags={}", objectId, eventId, data, groupId, flags);
      break;
    case SimFunction::AddClientEventToNotificationGroup:
      line += wdrx::format(" group={} event={} maskable={}", groupId, eventId, maskable);
      break;
    case SimFunction::SetNotificationGroupPriority: line += wdrx::format(" group={} priority={}", groupId, priority); break;
    case SimFunction::AddToDataDefinition:
      line += wdrx::format(" define={} name='{}' units='{}' type={} epsilon={} datum={}", defineId, name, units,
                           dataType, epsilon, static_cast<std::int32_t>(datumId));
      break;
    case SimFunction::RequestDataOnSimObject:
      line += wdrx::format(" request={} define={} object={} period={} flags={}", requestId, defineId, objectId, period,
                           flags);
      break;
    case SimFunction::RequestDataOnSimObjectType:
      line += wdrx::format(" request={} define={} radius={} type={}", requestId, defineId, radius, objectType);
      break;
    case SimFunction::SetDataOnSimObject: {
      line += wdrx::format(" define={} object={} count={} unit={}", defineId, objectId, arrayCount, unitSize);
      std::string values;
      for (const double v : doubles()) values += wdrx::format("{}{:.6f}", values.empty() ? "" : ",", v);
      line += " values=[" + values + "]";
      break;
    }
    case SimFunction::AICreateNonATCAircraft:
      line += wdrx::format(" request={} title='{}' tail='{}' lat={:.6f} lon={:.6f} alt={:.1f} hdg={:.1f} ground={} speed={}",
                           requestId, name, units, position.latitude, position.longitude, position.altitude,
                           position.heading, position.onGround, position.airspeed);
      break;
    case SimFunction::AIReleaseControl:
    case SimFunction::AIRemoveObject: line += wdrx::format(" object={} request={}", objectId, requestId); break;
    case SimFunction::AISetAircraftFlightPlan:
      line += wdrx::format(" object={} path='{}' request={}", objectId, name, requestId);
      break;
  }
  if (function == functionRequestSystemState) line += wdrx::format(" request={} state='{}'", requestId, name);
  if (malformed) line += " MALFORMED";
  return line;
}

}  // namespace fakesim
