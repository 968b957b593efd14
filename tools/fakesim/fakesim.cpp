#include "fakesim/fakesim.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include <pugixml.hpp>

#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "platform/sim_transport.hpp"

namespace fakesim {

namespace {

constexpr std::uint32_t maxPacket = 1u << 20;

std::string lf_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

template <typename T>
T lf_get(const std::vector<std::byte>& bytes, std::size_t offset) {
  T value{};
  if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

std::string lf_text(const std::vector<std::byte>& bytes, std::size_t offset, std::size_t length) {
  if (offset >= bytes.size()) return {};
  length = std::min(length, bytes.size() - offset);
  return std::string(simFieldText(reinterpret_cast<const char*>(bytes.data() + offset), length));
}

template <typename T>
void lf_put(std::vector<std::byte>& bytes, std::size_t offset, T value) {
  if (bytes.size() < offset + sizeof(T)) bytes.resize(offset + sizeof(T));
  std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

void lf_putText(std::vector<std::byte>& bytes, std::size_t offset, std::size_t length, std::string_view text) {
  if (bytes.size() < offset + length) bytes.resize(offset + length);
  std::memcpy(bytes.data() + offset, text.data(), std::min(text.size(), length - 1));
}

std::uint32_t lf_expectedSize(std::uint32_t function) {
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

Packet lf_decode(std::vector<std::byte> bytes) {
  Packet p;
  p.size = lf_get<std::uint32_t>(bytes, 0);
  p.version = lf_get<std::uint32_t>(bytes, 4);
  p.packetId = lf_get<std::uint32_t>(bytes, 8);
  p.sendId = lf_get<std::uint32_t>(bytes, 12);
  p.function = p.packetId & ~simSendPacketFlag;
  const std::uint32_t expected = lf_expectedSize(p.function);
  p.malformed = bytes.size() < 16 || (p.packetId & simSendPacketFlag) != simSendPacketFlag || expected == 0 ||
                (p.is(SimFunction::SetDataOnSimObject) ? bytes.size() < expected : bytes.size() != expected);
  const auto u32 = [&](std::size_t offset) { return lf_get<std::uint32_t>(bytes, offset); };
  switch (static_cast<SimFunction>(p.function)) {
    case SimFunction::Open: p.name = lf_text(bytes, 16, 256); break;
    case SimFunction::MapClientEventToSimEvent:
    case SimFunction::SubscribeToSystemEvent:
      p.eventId = u32(16);
      p.name = lf_text(bytes, 20, 256);
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
      p.name = lf_text(bytes, 20, 256);
      p.units = lf_text(bytes, 276, 256);
      p.dataType = u32(532);
      p.epsilon = lf_get<float>(bytes, 536);
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
      p.name = lf_text(bytes, 16, 256);
      p.units = lf_text(bytes, 272, 12);
      p.position.latitude = lf_get<double>(bytes, 284);
      p.position.longitude = lf_get<double>(bytes, 292);
      p.position.altitude = lf_get<double>(bytes, 300);
      p.position.pitch = lf_get<double>(bytes, 308);
      p.position.bank = lf_get<double>(bytes, 316);
      p.position.heading = lf_get<double>(bytes, 324);
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
      p.name = lf_text(bytes, 20, 260);
      p.requestId = u32(280);
      break;
  }
  if (p.function == functionRequestSystemState) {
    p.requestId = u32(16);
    p.name = lf_text(bytes, 20, 256);
  }
  p.bytes = std::move(bytes);
  return p;
}

// A value as the data type carries it, appended to the packet.
void lf_putValue(std::vector<std::byte>& bytes, std::uint32_t type, const Value& value) {
  const std::size_t at = bytes.size();
  const auto integer = [&](double low, double high) {
    return std::isnan(value.number) ? 0.0 : std::clamp(std::round(value.number), low, high);
  };
  switch (static_cast<DataType>(type)) {
    case DataType::Int32:
      lf_put<std::int32_t>(bytes, at, static_cast<std::int32_t>(integer(-2147483648.0, 2147483647.0)));
      return;
    case DataType::Int64:
      lf_put<std::int64_t>(bytes, at, static_cast<std::int64_t>(integer(-9223372036854775808.0, 9223372036854774784.0)));
      return;
    case DataType::Float32: lf_put<float>(bytes, at, static_cast<float>(value.number)); return;
    case DataType::Float64: lf_put<double>(bytes, at, value.number); return;
    case DataType::StringV:
      bytes.insert(bytes.end(), reinterpret_cast<const std::byte*>(value.text.data()),
                   reinterpret_cast<const std::byte*>(value.text.data() + value.text.size()));
      bytes.push_back(std::byte{0});
      return;
    default: break;
  }
  const std::size_t size = dataTypeSize(type).value_or(0);
  if (type >= static_cast<std::uint32_t>(DataType::String8) && type <= static_cast<std::uint32_t>(DataType::String260)) {
    lf_putText(bytes, at, size, value.text);
  } else {
    bytes.resize(at + size);  // structures: zeros
  }
}

// Reads a value of the type at `at` of the data and moves past it; false when the data ends
// first.
bool lf_readValue(const std::vector<std::byte>& data, std::size_t& at, std::uint32_t type, Value& value) {
  if (type == static_cast<std::uint32_t>(DataType::StringV)) {
    const auto from = data.begin() + static_cast<std::ptrdiff_t>(std::min(at, data.size()));
    const std::size_t end = static_cast<std::size_t>(std::find(from, data.end(), std::byte{0}) - data.begin());
    if (end >= data.size()) return false;
    value.text = lf_text(data, at, end - at + 1);
    at = end + 1;
    return true;
  }
  const std::size_t size = dataTypeSize(type).value_or(0);
  if (at + size > data.size()) return false;
  switch (static_cast<DataType>(type)) {
    case DataType::Int32: value.number = lf_get<std::int32_t>(data, at); break;
    case DataType::Int64: value.number = static_cast<double>(lf_get<std::int64_t>(data, at)); break;
    case DataType::Float32: value.number = lf_get<float>(data, at); break;
    case DataType::Float64: value.number = lf_get<double>(data, at); break;
    default:
      if (type >= static_cast<std::uint32_t>(DataType::String8) && type <= static_cast<std::uint32_t>(DataType::String260)) {
        value.text = lf_text(data, at, size);
      }
      break;
  }
  at += size;
  return true;
}

// Whether the value differs from the one sent before by more than the datum's epsilon.
bool lf_changed(const Datum& datum, const Value& before, const Value& now) {
  const auto type = static_cast<DataType>(datum.type);
  if (type == DataType::Float32 || type == DataType::Float64) {
    return std::fabs(now.number - before.number) > datum.epsilon || std::isnan(now.number) != std::isnan(before.number);
  }
  if (type == DataType::Int32 || type == DataType::Int64) return std::round(now.number) != std::round(before.number);
  return now.text != before.text;
}

// The simulator's clock runs on UTC: its zulu variables, unless a test has set them, tell the
// time of the answer.
std::optional<Value> lf_zuluValue(const std::string& upperName) {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto today = floor<days>(now);
  const year_month_day date{today};
  if (upperName == "ZULU TIME") return Value{static_cast<double>((now - today).count()), {}};
  if (upperName == "ZULU DAY OF YEAR") {
    const auto firstOfYear = sys_days{date.year() / January / 1};
    return Value{static_cast<double>((today - firstOfYear).count() + 1), {}};
  }
  if (upperName == "ZULU YEAR") return Value{static_cast<double>(static_cast<int>(date.year())), {}};
  return std::nullopt;
}

// The value of a variable of the object: as set, else the simulator's clock, else zero.
Value lf_valueOf(const SimObject& object, const std::string& name) {
  const std::string upperName = lf_upper(name);
  const auto variable = object.variables.find(upperName);
  if (variable != object.variables.end()) return variable->second;
  return lf_zuluValue(upperName).value_or(Value{});
}

std::vector<std::byte> lf_packet(SimRecvId id, std::size_t size, std::uint32_t version) {
  std::vector<std::byte> bytes(size);
  lf_put<std::uint32_t>(bytes, 0, static_cast<std::uint32_t>(size));
  lf_put<std::uint32_t>(bytes, 4, version);
  lf_put<std::uint32_t>(bytes, 8, static_cast<std::uint32_t>(id));
  return bytes;
}

std::vector<std::byte> lf_eventPacket(SimRecvId id, std::size_t size, std::uint32_t eventId, std::uint32_t data) {
  auto bytes = lf_packet(id, size, simProtocolVersion);
  lf_put<std::uint32_t>(bytes, 12, 0xFFFFFFFFu);  // group: none
  lf_put<std::uint32_t>(bytes, 16, eventId);
  lf_put<std::uint32_t>(bytes, 20, data);
  return bytes;
}

// The simulator keeps an aircraft on its ground: its height above the ground and its on-ground
// state follow the altitude a client sets (the terrain is flat, at `terrain` feet).
void lf_followTerrain(SimObject& object, double terrain) {
  auto& v = object.variables;
  const double height = v["PLANE ALTITUDE"].number - terrain;
  v["GROUND ALTITUDE"].number = terrain;
  v["PLANE ALT ABOVE GROUND"].number = std::max(height, 0.0);
  v["SIM ON GROUND"].number = height <= v["STATIC CG TO GROUND"].number + 0.5 ? 1.0 : 0.0;
}

}  // namespace

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

std::optional<Options> parseArguments(const std::vector<std::string>& arguments, std::string& error) {
  Options options;
  options.tcp4 = false;
  options.recordPackets = false;  // printed, not kept: the program runs until it is stopped
  options.frameInterval = std::chrono::milliseconds(33);
  bool portGiven = false;
  const auto number = [&](const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(value);
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    double value = 0.0;
    if (arg == "--port" && hasValue && number(arguments[i + 1], value) && value >= 0 && value <= 65535) {
      options.port = static_cast<std::uint16_t>(value);
      portGiven = true;
      ++i;
    } else if (arg == "--socket" && hasValue) {
      options.socketPath = arguments[++i];
    } else if (arg == "--ipv6") {
      options.tcp6 = true;
    } else if (arg == "--v6") {
      options.simVersion = 6;
    } else if (arg == "--frame-ms" && hasValue && number(arguments[i + 1], value) && value >= 0 && value <= 60000) {
      options.frameInterval = std::chrono::milliseconds(static_cast<long>(value));
      ++i;
    } else if (arg == "--position" && hasValue) {
      std::vector<double> values;
      std::string_view rest = arguments[++i];
      for (;;) {
        const std::size_t comma = rest.find(',');
        if (!number(std::string(rest.substr(0, comma)), value)) break;
        values.push_back(value);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
      const std::size_t pieces = static_cast<std::size_t>(std::count(arguments[i].begin(), arguments[i].end(), ',')) + 1;
      if (values.size() != pieces || pieces < 2 || pieces > 4 || std::fabs(values[0]) > 90.0 ||
          std::fabs(values[1]) > 180.0) {
        error = "--position wants LAT,LON[,ALT_FT[,HEADING_DEG]]: " + arguments[i];
        return std::nullopt;
      }
      options.userLatitude = values[0];
      options.userLongitude = values[1];
      if (values.size() > 2) options.userAltitude = values[2];
      if (values.size() > 3) options.userHeading = values[3];
    } else if (arg == "--on-ground" || arg == "--airborne") {
      options.userOnGround = arg == "--on-ground";
    } else {
      error = "unknown or incomplete argument: " + arg;
      return std::nullopt;
    }
  }
  options.tcp4 = portGiven || options.socketPath.empty();
  if (options.tcp6) options.port6 = options.port;
  return options;
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

// ---------------------------------------------------------------------------------------------
// FakeSim

struct FakeSim::Session {
  int number = 0;
  std::unique_ptr<platform::ByteStream> stream;
  std::mutex writeMutex;  // one packet write at a time
  bool open = true;
  std::vector<std::byte> batch;  // under FakeSim::mutex_
  std::map<std::uint32_t, std::string> subscriptions;  // client event id -> system event
  std::map<std::uint32_t, std::string> mapped;         // client event id -> simulator event
  std::map<std::uint32_t, std::vector<Datum>> definitions;
  std::map<std::uint32_t, Request> periodic;  // per-second and per-frame requests by request id

  std::optional<std::uint32_t> subscribed(std::string_view systemEvent) const {
    for (const auto& [id, name] : subscriptions) {
      if (lf_upper(name) == lf_upper(systemEvent)) return id;
    }
    return std::nullopt;
  }
};

FakeSim::FakeSim(Options options) : options_(std::move(options)), nextObjectId_(options_.firstAiObjectId) {
  if (options_.applicationName.empty()) {
    options_.applicationName = wdrx::format("Lockheed Martin\xAE Prepar3D\xAE v{}", options_.simVersion);
  }
  user_.id = options_.userObjectId;
  user_.title = "Fake User Aircraft";
  user_.atcId = "USER1";
  auto& v = user_.variables;
  v["TITLE"].text = user_.title;
  v["ATC ID"].text = user_.atcId;
  v["ATC MODEL"].text = "B738";
  v["PLANE LATITUDE"].number = options_.userLatitude;
  v["PLANE LONGITUDE"].number = options_.userLongitude;
  v["PLANE ALTITUDE"].number = options_.userAltitude;
  v["INDICATED ALTITUDE"].number = options_.userAltitude;
  v["PLANE HEADING DEGREES TRUE"].number = options_.userHeading * std::numbers::pi / 180.0;
  v["SIM ON GROUND"].number = options_.userOnGround ? 1.0 : 0.0;
  v["GROUND ALTITUDE"].number = options_.userOnGround ? options_.userAltitude : 0.0;
  v["PLANE ALT ABOVE GROUND"].number = options_.userOnGround ? 0.0 : options_.userAltitude;
  v["STANDARD ATM TEMPERATURE"].number = 518.67;
}

FakeSim::~FakeSim() { stop(); }

double FakeSim::terrainAltitude() const { return options_.userOnGround ? options_.userAltitude : 0.0; }

bool FakeSim::start(std::string* error) {
  std::string why;
  std::vector<std::unique_ptr<platform::StreamListener>> made;
  if (options_.tcp4) {
    auto listener = platform::listenTcp("127.0.0.1", options_.port, why);
    if (!listener) {
      if (error) *error = "127.0.0.1: " + why;
      return false;
    }
    port_ = listener->port();
    made.push_back(std::move(listener));
  }
  if (options_.tcp6) {
    auto listener = platform::listenTcp("::1", options_.port6, why);
    if (!listener) {
      if (error) *error = "::1: " + why;
      return false;
    }
    port6_ = listener->port();
    made.push_back(std::move(listener));
  }
  if (!options_.socketPath.empty()) {
    auto listener = platform::listenLocal(options_.socketPath, why);
    if (!listener) {
      if (error) *error = options_.socketPath.string() + ": " + why;
      return false;
    }
    made.push_back(std::move(listener));
  }
  std::lock_guard lock(mutex_);
  running_ = true;
  for (auto& listener : made) {
    acceptThreads_.emplace_back([this, raw = listener.get()] { acceptLoop(raw); });
    listeners_.push_back(std::move(listener));
  }
  ticker_ = std::thread([this] { tickLoop(); });
  return true;
}

void FakeSim::stop() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    running_ = false;
    changedCv_.notify_all();
  }
  for (auto& listener : listeners_) listener->shutdown();
  for (auto& thread : acceptThreads_) thread.join();
  acceptThreads_.clear();
  if (ticker_.joinable()) ticker_.join();
  std::vector<std::thread> readers;
  {
    std::lock_guard lock(mutex_);
    for (auto& session : sessions_) session->stream->shutdown();
    readers.swap(readerThreads_);
  }
  for (auto& thread : readers) thread.join();
  std::lock_guard lock(mutex_);
  sessions_.clear();
  listeners_.clear();
}

std::uint16_t FakeSim::port() const { return port_; }
std::uint16_t FakeSim::port6() const { return port6_; }

void FakeSim::changed() {
  ++generation_;
  changedCv_.notify_all();
}

void FakeSim::acceptLoop(platform::StreamListener* listener) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (!running_) return;
    }
    auto stream = listener->accept(100ms);
    if (!stream) continue;
    auto session = std::make_shared<Session>();
    session->stream = std::move(stream);
    std::lock_guard lock(mutex_);
    if (!running_) {
      session->stream->shutdown();
      return;
    }
    session->number = ++accepted_;
    sessions_.push_back(session);
    readerThreads_.emplace_back([this, session] { readLoop(session); });
    changed();
  }
}

void FakeSim::readLoop(std::shared_ptr<Session> session) {
  std::vector<std::byte> buffer;
  std::vector<std::byte> chunk(65536);
  for (;;) {
    const long n = session->stream->read(chunk.data(), chunk.size());
    if (n <= 0) break;
    buffer.insert(buffer.end(), chunk.begin(), chunk.begin() + n);
    std::size_t used = 0;
    bool broken = false;
    while (buffer.size() - used >= 4) {
      std::uint32_t size = 0;
      std::memcpy(&size, buffer.data() + used, 4);
      if (size < 4 || size > maxPacket) {
        broken = true;  // the stream cannot be followed any further
        break;
      }
      if (buffer.size() - used < size) break;
      Packet packet = lf_decode(std::vector<std::byte>(buffer.begin() + used, buffer.begin() + used + size));
      used += size;
      std::vector<Outgoing> out;
      std::function<void(const Packet&)> observer;
      {
        std::lock_guard lock(mutex_);
        packet.connection = session->number;
        packet.frame = frames_;
        handlePacket(session, packet, out);
        if (options_.recordPackets) packets_.push_back(packet);
        observer = observer_;
      }
      write(out);
      if (observer) observer(packet);
      std::lock_guard lock(mutex_);
      changed();
    }
    buffer.erase(buffer.begin(), buffer.begin() + used);
    if (broken) break;
  }
  session->stream->shutdown();
  std::lock_guard lock(mutex_);
  session->open = false;
  changed();
}

void FakeSim::tickLoop() {
  using clock = std::chrono::steady_clock;
  auto nextSecond = clock::now() + options_.secondInterval;
  auto nextFrame = clock::now() + options_.frameInterval;
  std::unique_lock lock(mutex_);
  while (running_) {
    auto due = clock::now() + 1h;
    if (options_.secondInterval.count() > 0) due = std::min(due, nextSecond);
    if (options_.frameInterval.count() > 0) due = std::min(due, nextFrame);
    changedCv_.wait_until(lock, due, [&] { return !running_ || clock::now() >= due; });
    if (!running_) return;
    const auto now = clock::now();
    const bool second = options_.secondInterval.count() > 0 && now >= nextSecond;
    const bool frame = options_.frameInterval.count() > 0 && now >= nextFrame;
    if (second) nextSecond = now + options_.secondInterval;
    if (frame) nextFrame = now + options_.frameInterval;
    lock.unlock();
    if (second) sendPeriodicAnswers();
    if (frame) sendFrame();
    lock.lock();
  }
}

void FakeSim::answerPeriod(std::uint32_t period, std::vector<Outgoing>& out) {
  for (const auto& session : sessions_) {
    if (!session->open) continue;
    for (auto it = session->periodic.begin(); it != session->periodic.end();) {
      if (it->second.period == period && !periodEvent(session, it->second, out)) {
        it = session->periodic.erase(it);
      } else {
        ++it;
      }
    }
  }
}

bool FakeSim::periodEvent(const std::shared_ptr<Session>& session, Request& request, std::vector<Outgoing>& out) {
  const std::uint64_t event = request.periods++;
  if (event < request.origin || (event - request.origin) % (static_cast<std::uint64_t>(request.interval) + 1) != 0) {
    return true;
  }
  const SimObject* object = findObject(request.objectId);
  if (object == nullptr) return false;  // the object has gone: so has the request
  auto bytes = dataPacket(SimRecvId::SimObjectData, *session, request, *object, 1, 1);
  if (bytes.empty()) return true;  // nothing changed
  out.push_back({session, std::move(bytes)});
  return request.limit == 0 || ++request.sent < request.limit;
}

std::vector<const SimObject*> FakeSim::objectsOfType(ObjectType type, std::uint32_t radius) const {
  std::vector<const SimObject*> listed;
  const bool userListed = type == ObjectType::User || radius == 0 ||
                          ((type == ObjectType::All || type == ObjectType::Aircraft) && options_.byTypeIncludesUser);
  if (userListed) listed.push_back(&user_);
  if (type == ObjectType::User || radius == 0) return listed;
  const auto position = [](const SimObject& object) {
    const auto lat = object.variables.find("PLANE LATITUDE");
    const auto lon = object.variables.find("PLANE LONGITUDE");
    return LatLon{lat == object.variables.end() ? 0.0 : lat->second.number,
                  lon == object.variables.end() ? 0.0 : lon->second.number};
  };
  const LatLon user = position(user_);
  for (const auto& [id, object] : objects_) {
    if (type != ObjectType::All && object.type != type) continue;
    if (gf_distanceNm(user, position(object)) * 1852.0 > radius) continue;
    listed.push_back(&object);
  }
  return listed;
}

bool FakeSim::flightPlanLoads(const std::string& path) const {
  // The simulator adds the extension when the path has none.
  std::filesystem::path file(path);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) file += ".pln";
  if (!std::filesystem::is_regular_file(file, ec)) return false;
  pugi::xml_document document;
  if (!document.load_file(file.c_str())) return false;
  return static_cast<bool>(document.child("SimBase.Document").child("FlightPlan.FlightPlan"));
}

SimObject* FakeSim::findObject(std::uint32_t objectId) {
  if (objectId == simUserObjectId || objectId == user_.id) return &user_;
  const auto found = objects_.find(objectId);
  return found == objects_.end() ? nullptr : &found->second;
}

std::vector<FakeSim::Outgoing> FakeSim::toAll(const std::vector<std::byte>& bytes) const {
  std::vector<Outgoing> out;
  for (const auto& session : sessions_) {
    if (session->open) out.push_back({session, bytes});
  }
  return out;
}

void FakeSim::announceObject(std::uint32_t objectId, ObjectType type, bool added, std::vector<Outgoing>& out) {
  for (const auto& session : sessions_) {
    if (!session->open) continue;
    const auto eventId = session->subscribed(added ? "ObjectAdded" : "ObjectRemoved");
    if (!eventId) continue;
    auto bytes = lf_eventPacket(SimRecvId::EventObjectAddRemove, 28, *eventId, objectId);
    lf_put<std::uint32_t>(bytes, 24, static_cast<std::uint32_t>(type));
    out.push_back({session, std::move(bytes)});
  }
}

std::vector<std::byte> FakeSim::dataPacket(SimRecvId id, const Session& session, Request& request,
                                           const SimObject& object, std::uint32_t entry, std::uint32_t outOf) const {
  auto bytes = lf_packet(id, simObjectDataOffset, simProtocolVersion);
  lf_put<std::uint32_t>(bytes, 12, request.requestId);
  lf_put<std::uint32_t>(bytes, 16, object.id);
  lf_put<std::uint32_t>(bytes, 20, request.defineId);
  lf_put<std::uint32_t>(bytes, 24, request.flags);
  lf_put<std::uint32_t>(bytes, 28, entry);
  lf_put<std::uint32_t>(bytes, 32, outOf);
  const auto definition = session.definitions.find(request.defineId);
  const std::vector<Datum> none;
  const std::vector<Datum>& data = definition == session.definitions.end() ? none : definition->second;
  const bool changedOnly = (request.flags & requestFlagChanged) != 0 && request.lastSent.size() == data.size();
  const bool tagged = (request.flags & requestFlagTagged) != 0;
  std::uint32_t values = 0;
  bool anyChanged = false;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const Datum& datum = data[i];
    const Value value = lf_valueOf(object, datum.name);
    const bool changed = !changedOnly || lf_changed(datum, request.lastSent[i], value);
    anyChanged = anyChanged || changed;
    // Untagged answers carry the whole definition; tagged ones of a CHANGED request only what changed.
    if (tagged && !changed) continue;
    if (tagged) lf_put<std::uint32_t>(bytes, bytes.size(), datum.datumId);
    lf_putValue(bytes, datum.type, value);
    ++values;
  }
  if (changedOnly && !anyChanged) return {};
  if (request.flags & requestFlagChanged) {
    request.lastSent.clear();
    for (const Datum& datum : data) request.lastSent.push_back(lf_valueOf(object, datum.name));
  }
  lf_put<std::uint32_t>(bytes, 36, values);
  bytes.resize((bytes.size() + 3) / 4 * 4);
  lf_put<std::uint32_t>(bytes, 0, static_cast<std::uint32_t>(bytes.size()));
  return bytes;
}

void FakeSim::handlePacket(const std::shared_ptr<Session>& session, Packet& packet, std::vector<Outgoing>& out) {
  if (packet.malformed && packet.bytes.size() < 16) return;
  const auto exception = [&](std::uint32_t number, std::uint32_t index) {
    auto bytes = lf_packet(SimRecvId::Exception, 24, simProtocolVersion);
    lf_put<std::uint32_t>(bytes, 12, number);
    lf_put<std::uint32_t>(bytes, 16, packet.sendId);
    lf_put<std::uint32_t>(bytes, 20, index);
    out.push_back({session, std::move(bytes)});
  };
  // A packet whose size does not fit its function is refused (SetDataOnSimObject: its data does
  // not fit its count and unit, told below as a wrong data size).
  if (packet.malformed && lf_expectedSize(packet.function) != 0 && !packet.is(SimFunction::SetDataOnSimObject)) {
    exception(static_cast<std::uint32_t>(Exception::SizeMismatch), 0);
    return;
  }
  const auto rule = std::find_if(failNext_.begin(), failNext_.end(),
                                 [&](const auto& entry) { return entry.first == packet.function; });
  if (rule != failNext_.end()) {
    exception(rule->second, 0);
    failNext_.erase(rule);
    return;
  }
  switch (static_cast<SimFunction>(packet.function)) {
    case SimFunction::Open: {
      if (!options_.answerOpen) break;
      auto bytes = lf_packet(SimRecvId::Open, simRecvOpenSize, simProtocolVersion);
      lf_putText(bytes, 12, 256, options_.applicationName);
      lf_put<std::uint32_t>(bytes, 268, static_cast<std::uint32_t>(options_.simVersion));
      lf_put<std::uint32_t>(bytes, 272, options_.versionMinor);
      lf_put<std::uint32_t>(bytes, 276, options_.buildMajor);
      lf_put<std::uint32_t>(bytes, 280, options_.buildMinor);
      lf_put<std::uint32_t>(bytes, 284, static_cast<std::uint32_t>(options_.simVersion));
      lf_put<std::uint32_t>(bytes, 288, options_.versionMinor);
      out.push_back({session, std::move(bytes)});
      break;
    }
    case SimFunction::SubscribeToSystemEvent:
      session->subscriptions[packet.eventId] = packet.name;
      if (options_.simRunningOnSubscribe && lf_upper(packet.name) == "SIM") {
        out.push_back({session, lf_eventPacket(SimRecvId::Event, 24, packet.eventId, 1)});
      }
      break;
    case SimFunction::MapClientEventToSimEvent: session->mapped[packet.eventId] = packet.name; break;
    case SimFunction::AddToDataDefinition:
      if (!dataTypeSize(packet.dataType)) {
        exception(static_cast<std::uint32_t>(Exception::InvalidDataType), 4);
        break;
      }
      session->definitions[packet.defineId].push_back(
          Datum{packet.name, packet.units, packet.dataType, packet.epsilon, packet.datumId});
      break;
    case SimFunction::RequestDataOnSimObject: {
      if (!session->definitions.contains(packet.defineId)) {
        exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 2);
        break;
      }
      if (findObject(packet.objectId) == nullptr) {
        exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 3);
        break;
      }
      if (packet.period > static_cast<std::uint32_t>(SimPeriod::Second)) {
        exception(static_cast<std::uint32_t>(Exception::InvalidEnum), 4);
        break;
      }
      session->periodic.erase(packet.requestId);
      if (packet.period == 0) break;  // never: the request ends
      Request request;
      request.requestId = packet.requestId;
      request.defineId = packet.defineId;
      request.objectId = packet.objectId;
      request.period = packet.period;
      request.flags = packet.flags;
      request.origin = packet.origin;
      request.interval = packet.interval;
      request.limit = packet.limit;
      // The request is period event 0; ONCE ends after its answer.
      const bool goesOn = periodEvent(session, request, out);
      if (goesOn && packet.period != static_cast<std::uint32_t>(SimPeriod::Once)) {
        session->periodic[packet.requestId] = std::move(request);
      }
      break;
    }
    case SimFunction::RequestDataOnSimObjectType: {
      if (!session->definitions.contains(packet.defineId)) {
        exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 2);
        break;
      }
      if (packet.radius > maxRequestRadius) {
        exception(static_cast<std::uint32_t>(Exception::OutOfBounds), 3);
        break;
      }
      if (packet.objectType > static_cast<std::uint32_t>(ObjectType::Ground)) {
        exception(static_cast<std::uint32_t>(Exception::InvalidEnum), 4);
        break;
      }
      Request request;
      request.requestId = packet.requestId;
      request.defineId = packet.defineId;
      const auto listed = objectsOfType(static_cast<ObjectType>(packet.objectType), packet.radius);
      std::uint32_t entry = 0;
      for (const SimObject* object : listed) {
        out.push_back({session, dataPacket(SimRecvId::SimObjectDataByType, *session, request, *object, ++entry,
                                           static_cast<std::uint32_t>(listed.size()))});
      }
      break;
    }
    case SimFunction::SetDataOnSimObject: {
      SimObject* object = findObject(packet.objectId);
      const auto definition = session->definitions.find(packet.defineId);
      if (definition == session->definitions.end()) {
        exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 1);
        break;
      }
      if (object == nullptr) {
        exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 2);
        break;
      }
      const std::vector<Datum>& data = definition->second;
      std::vector<std::pair<const Datum*, Value>> values;
      std::size_t at = 0;
      bool fits = true;
      if (packet.flags & setFlagTagged) {
        // (datum id, value) pairs, in any order.
        while (fits && at < packet.payload.size()) {
          const auto datumId = lf_get<std::uint32_t>(packet.payload, at);
          at += 4;
          const auto datum = std::find_if(data.begin(), data.end(), [&](const Datum& d) { return d.datumId == datumId; });
          if (datum == data.end()) {
            exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 6);
            return;
          }
          Value value;
          fits = at <= packet.payload.size() && lf_readValue(packet.payload, at, datum->type, value);
          values.emplace_back(&*datum, std::move(value));
        }
      } else {
        // Whole definitions: the unit must be the definition's size (a STRINGV has none).
        std::size_t unit = 0;
        bool fixed = true;
        for (const Datum& datum : data) {
          const std::size_t size = dataTypeSize(datum.type).value_or(0);
          fixed = fixed && size != 0;
          unit += size;
        }
        fits = !fixed || packet.unitSize == unit;
        for (const Datum& datum : data) {
          Value value;
          if (!fits || !lf_readValue(packet.payload, at, datum.type, value)) {
            fits = false;
            break;
          }
          values.emplace_back(&datum, std::move(value));
        }
      }
      if (!fits || packet.malformed) {
        exception(static_cast<std::uint32_t>(Exception::InvalidDataSize), 5);
        break;
      }
      bool moved = false;
      for (auto& [datum, value] : values) {
        const std::string name = lf_upper(datum->name);
        Value& stored = object->variables[name];
        if (datum->type >= static_cast<std::uint32_t>(DataType::String8) &&
            datum->type <= static_cast<std::uint32_t>(DataType::StringV)) {
          stored.text = std::move(value.text);
        } else {
          stored.number = value.number;
        }
        moved = moved || name == "PLANE ALTITUDE";
      }
      if (moved && object->createdByClient) lf_followTerrain(*object, terrainAltitude());
      break;
    }
    case SimFunction::AICreateNonATCAircraft: {
      if (std::find(failTitles_.begin(), failTitles_.end(), packet.name) != failTitles_.end()) {
        exception(static_cast<std::uint32_t>(SimException::CreateObjectFailed), 1);
        break;
      }
      if (!options_.autoCreate) {
        heldCreations_.emplace_back(session, packet);
        break;
      }
      SimObject object;
      object.id = nextObjectId_++;
      object.title = packet.name;
      object.atcId = packet.units;
      object.createdByClient = true;
      object.createSendId = packet.sendId;
      const double toRadians = std::numbers::pi / 180.0;
      auto& v = object.variables;
      v["TITLE"].text = object.title;
      v["ATC ID"].text = object.atcId;
      v["PLANE LATITUDE"].number = packet.position.latitude;
      v["PLANE LONGITUDE"].number = packet.position.longitude;
      v["PLANE ALTITUDE"].number = packet.position.altitude;
      v["PLANE PITCH DEGREES"].number = packet.position.pitch * toRadians;
      v["PLANE BANK DEGREES"].number = packet.position.bank * toRadians;
      v["PLANE HEADING DEGREES TRUE"].number = packet.position.heading * toRadians;
      v["AIRSPEED TRUE"].number = packet.position.airspeed;
      v["SIM ON GROUND"].number = packet.position.onGround;
      v["GROUND ALTITUDE"].number = terrainAltitude();
      v["PLANE ALT ABOVE GROUND"].number =
          packet.position.onGround != 0 ? 0.0 : std::max(packet.position.altitude - terrainAltitude(), 0.0);
      const std::uint32_t id = object.id;
      objects_[id] = std::move(object);
      announceObject(id, ObjectType::Aircraft, true, out);
      auto assigned = lf_packet(static_cast<SimRecvId>(recvAssignedObjectId), 20, simProtocolVersion);
      lf_put<std::uint32_t>(assigned, 12, packet.requestId);
      lf_put<std::uint32_t>(assigned, 16, id);
      out.push_back({session, std::move(assigned)});
      break;
    }
    case SimFunction::AIRemoveObject: {
      const auto found = objects_.find(packet.objectId);
      if (found == objects_.end()) {
        exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 1);
        break;
      }
      const ObjectType type = found->second.type;
      objects_.erase(found);
      announceObject(packet.objectId, type, false, out);
      break;
    }
    case SimFunction::AISetAircraftFlightPlan: {
      const auto found = objects_.find(packet.objectId);
      if (found == objects_.end()) {
        // The user aircraft takes no AI flight plan; an unknown object has none to take.
        exception(static_cast<std::uint32_t>(findObject(packet.objectId) != nullptr
                                                 ? Exception::OperationInvalidForObjectType
                                                 : Exception::UnrecognizedId),
                  1);
        break;
      }
      if (!flightPlanLoads(packet.name)) {
        exception(static_cast<std::uint32_t>(Exception::LoadFlightPlanFailed), 2);
        break;
      }
      found->second.flightPlan = packet.name;
      break;
    }
    default:
      if (packet.function == functionRequestSystemState) {
        auto bytes = lf_packet(static_cast<SimRecvId>(recvSystemState), recvSystemStateSize, simProtocolVersion);
        lf_put<std::uint32_t>(bytes, 12, packet.requestId);
        const std::string state = lf_upper(packet.name);
        if (state == "AIRCRAFTLOADED") {
          lf_putText(bytes, 24, simPathFieldLength, options_.aircraftLoaded);
        } else if (state == "FLIGHTLOADED") {
          lf_putText(bytes, 24, simPathFieldLength, options_.flightLoaded);
        } else if (state == "FLIGHTPLAN") {
          lf_putText(bytes, 24, simPathFieldLength, options_.flightPlanLoaded);
        } else if (state == "SIM") {
          lf_put<std::uint32_t>(bytes, 16, simRunning_ ? 1 : 0);
        } else if (state == "DIALOGMODE") {
          lf_put<std::uint32_t>(bytes, 16, 0);
        } else {
          exception(static_cast<std::uint32_t>(Exception::NameUnrecognized), 2);
          break;
        }
        out.push_back({session, std::move(bytes)});
      }
      break;  // otherwise recorded only
  }
}

void FakeSim::write(std::vector<Outgoing>& out) {
  std::size_t chunk = 0;
  {
    std::lock_guard lock(mutex_);
    if (batching_) {
      for (auto& item : out) item.session->batch.insert(item.session->batch.end(), item.bytes.begin(), item.bytes.end());
      return;
    }
    chunk = splitChunk_;
  }
  for (auto& item : out) {
    std::lock_guard lock(item.session->writeMutex);
    if (chunk == 0) {
      item.session->stream->writeAll(item.bytes.data(), item.bytes.size());
      continue;
    }
    for (std::size_t at = 0; at < item.bytes.size(); at += chunk) {
      item.session->stream->writeAll(item.bytes.data() + at, std::min(chunk, item.bytes.size() - at));
      std::this_thread::sleep_for(2ms);  // let the reader see each piece on its own
    }
  }
}

// --- observation

std::vector<Packet> FakeSim::packets() const {
  std::lock_guard lock(mutex_);
  return packets_;
}

std::vector<Packet> FakeSim::packets(SimFunction function) const {
  std::lock_guard lock(mutex_);
  std::vector<Packet> found;
  for (const auto& packet : packets_) {
    if (packet.is(function)) found.push_back(packet);
  }
  return found;
}

std::size_t FakeSim::count(SimFunction function) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(packets_.begin(), packets_.end(), [&](const Packet& p) { return p.is(function); }));
}

void FakeSim::clearPackets() {
  std::lock_guard lock(mutex_);
  packets_.clear();
}

int FakeSim::connectionsAccepted() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

int FakeSim::connectionsOpen() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(sessions_.begin(), sessions_.end(), [](const auto& s) { return s->open; }));
}

bool FakeSim::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::uint64_t seen = 0;
    {
      std::lock_guard lock(mutex_);
      seen = generation_;
    }
    if (condition()) return true;
    std::unique_lock lock(mutex_);
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Woken by any change; the short limit covers conditions on state outside the fake.
    changedCv_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + 20ms),
                          [&] { return generation_ != seen; });
  }
}

bool FakeSim::waitForCount(SimFunction function, std::size_t wanted, std::chrono::milliseconds timeout) const {
  return waitFor([&] { return count(function) >= wanted; }, timeout);
}

void FakeSim::setPacketObserver(std::function<void(const Packet&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

std::uint64_t FakeSim::framesSent() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

// --- simulator state

void FakeSim::setUserValue(std::string_view variable, double value) {
  std::lock_guard lock(mutex_);
  user_.variables[lf_upper(variable)].number = value;
}

void FakeSim::setUserText(std::string_view variable, std::string text) {
  std::lock_guard lock(mutex_);
  user_.variables[lf_upper(variable)].text = std::move(text);
}

std::uint32_t FakeSim::addObject(std::string title, std::string atcId, ObjectType type) {
  std::vector<Outgoing> out;
  std::uint32_t id = 0;
  {
    std::lock_guard lock(mutex_);
    SimObject object;
    object.id = id = nextObjectId_++;
    object.title = std::move(title);
    object.atcId = std::move(atcId);
    object.type = type;
    object.variables["TITLE"].text = object.title;
    object.variables["ATC ID"].text = object.atcId;
    for (const char* variable : {"PLANE LATITUDE", "PLANE LONGITUDE"}) {
      object.variables[variable].number = user_.variables[variable].number;
    }
    objects_[id] = std::move(object);
    announceObject(id, type, true, out);
  }
  write(out);
  return id;
}

void FakeSim::setObjectValue(std::uint32_t objectId, std::string_view variable, double value) {
  std::lock_guard lock(mutex_);
  if (SimObject* object = findObject(objectId)) object->variables[lf_upper(variable)].number = value;
}

void FakeSim::setObjectText(std::uint32_t objectId, std::string_view variable, std::string text) {
  std::lock_guard lock(mutex_);
  if (SimObject* object = findObject(objectId)) object->variables[lf_upper(variable)].text = std::move(text);
}

std::vector<SimObject> FakeSim::objects() const {
  std::lock_guard lock(mutex_);
  std::vector<SimObject> list;
  for (const auto& [id, object] : objects_) list.push_back(object);
  return list;
}

std::optional<SimObject> FakeSim::object(std::uint32_t objectId) const {
  std::lock_guard lock(mutex_);
  if (objectId == simUserObjectId || objectId == user_.id) return user_;
  const auto found = objects_.find(objectId);
  if (found == objects_.end()) return std::nullopt;
  return found->second;
}

bool FakeSim::removeObject(std::uint32_t objectId) {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    const auto found = objects_.find(objectId);
    if (found == objects_.end()) return false;
    const ObjectType type = found->second.type;
    objects_.erase(found);
    announceObject(objectId, type, false, out);
  }
  write(out);
  return true;
}

std::optional<std::uint32_t> FakeSim::subscription(std::string_view systemEvent) const {
  std::lock_guard lock(mutex_);
  for (auto session = sessions_.rbegin(); session != sessions_.rend(); ++session) {
    if ((*session)->open) return (*session)->subscribed(systemEvent);
  }
  return std::nullopt;
}

std::vector<Datum> FakeSim::definition(std::uint32_t defineId) const {
  std::lock_guard lock(mutex_);
  for (auto session = sessions_.rbegin(); session != sessions_.rend(); ++session) {
    const auto found = (*session)->definitions.find(defineId);
    if (found != (*session)->definitions.end()) return found->second;
  }
  return {};
}

std::map<std::uint32_t, std::string> FakeSim::mappedEvents() const {
  std::lock_guard lock(mutex_);
  return sessions_.empty() ? std::map<std::uint32_t, std::string>{} : sessions_.back()->mapped;
}

// --- packets to the clients

void FakeSim::sendFrame() {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    ++frames_;
    for (const auto& session : sessions_) {
      if (!session->open) continue;
      if (const auto eventId = session->subscribed("Frame")) {
        auto bytes = lf_eventPacket(SimRecvId::EventFrame, 32, *eventId, 0);
        lf_put<float>(bytes, 24, 30.0f);  // frame rate
        lf_put<float>(bytes, 28, 1.0f);   // simulation rate
        out.push_back({session, std::move(bytes)});
      }
    }
    // Visual and simulation frames come together here.
    answerPeriod(2, out);
    answerPeriod(3, out);
    changed();
  }
  write(out);
}

bool FakeSim::sendSystemEvent(std::string_view systemEvent, std::uint32_t data) {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    if (lf_upper(systemEvent) == "SIM") simRunning_ = data == 1;
    for (const auto& session : sessions_) {
      if (!session->open) continue;
      if (const auto eventId = session->subscribed(systemEvent)) {
        out.push_back({session, lf_eventPacket(SimRecvId::Event, 24, *eventId, data)});
      }
    }
  }
  write(out);
  return !out.empty();
}

void FakeSim::sendFilename(std::string_view fileName) {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    for (const auto& session : sessions_) {
      if (!session->open) continue;
      auto bytes = lf_eventPacket(SimRecvId::EventFilename, 288, session->subscribed("FlightLoaded").value_or(0), 0);
      lf_putText(bytes, 24, 260, fileName);
      out.push_back({session, std::move(bytes)});
    }
  }
  write(out);
}

void FakeSim::sendQuit() {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    out = toAll(lf_packet(SimRecvId::Quit, 12, simProtocolVersion));
  }
  write(out);
}

void FakeSim::sendException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index) {
  auto bytes = lf_packet(SimRecvId::Exception, 24, simProtocolVersion);
  lf_put<std::uint32_t>(bytes, 12, exception);
  lf_put<std::uint32_t>(bytes, 16, sendId);
  lf_put<std::uint32_t>(bytes, 20, index);
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    out = toAll(bytes);
  }
  write(out);
}

void FakeSim::sendPeriodicAnswers() {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    answerPeriod(static_cast<std::uint32_t>(SimPeriod::Second), out);
  }
  write(out);
}

void FakeSim::completeCreations() {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    auto held = std::move(heldCreations_);
    heldCreations_.clear();
    const bool autoCreate = options_.autoCreate;
    options_.autoCreate = true;
    for (auto& [session, packet] : held) handlePacket(session, packet, out);
    options_.autoCreate = autoCreate;
  }
  write(out);
}

void FakeSim::sendRaw(const std::vector<std::byte>& bytes) {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    out = toAll(bytes);
  }
  write(out);
}

std::vector<std::byte> FakeSim::makePacket(SimRecvId id, std::size_t size) {
  return lf_packet(id, size, simProtocolVersion);
}

// --- faults

void FakeSim::closeConnections() {
  std::lock_guard lock(mutex_);
  for (const auto& session : sessions_) session->stream->shutdown();
}

void FakeSim::failNext(SimFunction function, std::uint32_t exception) {
  std::lock_guard lock(mutex_);
  failNext_.emplace_back(static_cast<std::uint32_t>(function), exception);
}

void FakeSim::failCreationsOf(std::string title) {
  std::lock_guard lock(mutex_);
  failTitles_.push_back(std::move(title));
}

void FakeSim::setAutoCreate(bool on) {
  std::lock_guard lock(mutex_);
  options_.autoCreate = on;
}

void FakeSim::setSplitWrites(std::size_t chunk) {
  std::lock_guard lock(mutex_);
  splitChunk_ = chunk;
}

void FakeSim::beginBatch() {
  std::lock_guard lock(mutex_);
  batching_ = true;
}

void FakeSim::endBatch() {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    batching_ = false;
    for (const auto& session : sessions_) {
      if (!session->batch.empty()) out.push_back({session, std::move(session->batch)});
      session->batch.clear();
    }
  }
  for (auto& item : out) {
    std::lock_guard lock(item.session->writeMutex);
    item.session->stream->writeAll(item.bytes.data(), item.bytes.size());
  }
}

}  // namespace fakesim
