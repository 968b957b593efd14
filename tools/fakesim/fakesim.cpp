#include "fakesim/fakesim.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "foundation/format.hpp"
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
  return 0;
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
  p.bytes = std::move(bytes);
  return p;
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

}  // namespace

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
      line += wdrx::format(" request={} define={} object={} period={}", requestId, defineId, objectId, period);
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
  user_.variables["TITLE"].text = user_.title;
  user_.variables["ATC ID"].text = user_.atcId;
  user_.variables["ATC MODEL"].text = "B738";
}

FakeSim::~FakeSim() { stop(); }

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

void FakeSim::announceObject(std::uint32_t objectId, bool added, std::vector<Outgoing>& out) {
  for (const auto& session : sessions_) {
    if (!session->open) continue;
    const auto eventId = session->subscribed(added ? "ObjectAdded" : "ObjectRemoved");
    if (!eventId) continue;
    auto bytes = lf_eventPacket(SimRecvId::EventObjectAddRemove, 28, *eventId, objectId);
    lf_put<std::uint32_t>(bytes, 24, static_cast<std::uint32_t>(SimObjectType::Aircraft));
    out.push_back({session, std::move(bytes)});
  }
}

std::vector<std::byte> FakeSim::dataPacket(SimRecvId id, const Session& session, const Request& request,
                                           const SimObject& object, std::uint32_t entry, std::uint32_t outOf) const {
  auto bytes = lf_packet(id, simObjectDataOffset, simProtocolVersion);
  lf_put<std::uint32_t>(bytes, 12, request.requestId);
  lf_put<std::uint32_t>(bytes, 16, object.id);
  lf_put<std::uint32_t>(bytes, 20, request.defineId);
  lf_put<std::uint32_t>(bytes, 28, entry);
  lf_put<std::uint32_t>(bytes, 32, outOf);
  const auto definition = session.definitions.find(request.defineId);
  std::uint32_t values = 0;
  if (definition != session.definitions.end()) {
    for (const Datum& datum : definition->second) {
      const auto variable = object.variables.find(lf_upper(datum.name));
      const Value value = variable == object.variables.end() ? Value{} : variable->second;
      const std::size_t at = bytes.size();
      switch (static_cast<SimDataType>(datum.type)) {
        case SimDataType::Int64: lf_put<std::int64_t>(bytes, at, static_cast<std::int64_t>(std::llround(value.number))); break;
        case SimDataType::String32: lf_putText(bytes, at, simString32Length, value.text); break;
        case SimDataType::StringV:
          bytes.insert(bytes.end(), reinterpret_cast<const std::byte*>(value.text.data()),
                       reinterpret_cast<const std::byte*>(value.text.data() + value.text.size()));
          bytes.push_back(std::byte{0});
          break;
        default: lf_put<double>(bytes, at, value.number); break;
      }
      ++values;
    }
  }
  lf_put<std::uint32_t>(bytes, 36, values);
  bytes.resize((bytes.size() + 3) / 4 * 4);
  lf_put<std::uint32_t>(bytes, 0, static_cast<std::uint32_t>(bytes.size()));
  return bytes;
}

void FakeSim::answerRequest(const std::shared_ptr<Session>& session, const Request& request, std::vector<Outgoing>& out) {
  const SimObject* object = findObject(request.objectId);
  if (object == nullptr) return;
  out.push_back({session, dataPacket(SimRecvId::SimObjectData, *session, request, *object, 1, 1)});
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
      session->definitions[packet.defineId].push_back(Datum{packet.name, packet.units, packet.dataType});
      break;
    case SimFunction::RequestDataOnSimObject: {
      const Request request{packet.requestId, packet.defineId, packet.objectId, packet.period};
      if (findObject(packet.objectId) == nullptr) {
        exception(static_cast<std::uint32_t>(SimException::UnrecognizedId), 3);
        break;
      }
      session->periodic.erase(packet.requestId);
      if (packet.period == 0) break;  // never: the request ends
      if (packet.period != static_cast<std::uint32_t>(SimPeriod::Once)) session->periodic[packet.requestId] = request;
      answerRequest(session, request, out);
      break;
    }
    case SimFunction::RequestDataOnSimObjectType: {
      const Request request{packet.requestId, packet.defineId, 0, 0};
      std::vector<const SimObject*> listed;
      if (options_.byTypeIncludesUser) listed.push_back(&user_);
      for (const auto& [id, object] : objects_) listed.push_back(&object);
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
      if (object == nullptr) {
        exception(static_cast<std::uint32_t>(SimException::UnrecognizedId), 2);
        break;
      }
      if (definition == session->definitions.end()) break;
      std::size_t at = 0;
      for (const Datum& datum : definition->second) {
        Value& value = object->variables[lf_upper(datum.name)];
        if (datum.type == static_cast<std::uint32_t>(SimDataType::String32)) {
          if (at + simString32Length > packet.payload.size()) break;
          value.text = lf_text(packet.payload, at, simString32Length);
          at += simString32Length;
        } else if (datum.type == static_cast<std::uint32_t>(SimDataType::Int64)) {
          if (at + 8 > packet.payload.size()) break;
          value.number = static_cast<double>(lf_get<std::int64_t>(packet.payload, at));
          at += 8;
        } else {
          if (at + 8 > packet.payload.size()) break;
          value.number = lf_get<double>(packet.payload, at);
          at += 8;
        }
      }
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
      v["PLANE ALT ABOVE GROUND"].number = packet.position.onGround != 0 ? 0.0 : packet.position.altitude;
      const std::uint32_t id = object.id;
      objects_[id] = std::move(object);
      announceObject(id, true, out);
      break;
    }
    case SimFunction::AIRemoveObject:
      if (objects_.erase(packet.objectId) == 0) {
        exception(static_cast<std::uint32_t>(SimException::UnrecognizedId), 1);
        break;
      }
      announceObject(packet.objectId, false, out);
      break;
    default: break;  // recorded only
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

std::uint32_t FakeSim::addObject(std::string title, std::string atcId) {
  std::vector<Outgoing> out;
  std::uint32_t id = 0;
  {
    std::lock_guard lock(mutex_);
    SimObject object;
    object.id = id = nextObjectId_++;
    object.title = std::move(title);
    object.atcId = std::move(atcId);
    object.variables["TITLE"].text = object.title;
    object.variables["ATC ID"].text = object.atcId;
    objects_[id] = std::move(object);
    announceObject(id, true, out);
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
    if (objects_.erase(objectId) == 0) return false;
    announceObject(objectId, false, out);
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
      for (const auto& [id, request] : session->periodic) {
        if (request.period == 2 || request.period == 3) answerRequest(session, request, out);
      }
    }
    changed();
  }
  write(out);
}

bool FakeSim::sendSystemEvent(std::string_view systemEvent, std::uint32_t data) {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
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
    for (const auto& session : sessions_) {
      if (!session->open) continue;
      for (const auto& [id, request] : session->periodic) {
        if (request.period == static_cast<std::uint32_t>(SimPeriod::Second)) answerRequest(session, request, out);
      }
    }
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
