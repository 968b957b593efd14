// The fake's answers: what each packet received does, the data answers of requests by object,
// by type and by period, and the packets it sends to the clients on its own.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "fakesim/internal.hpp"

namespace fakesim {

namespace {

// Whether the value differs from the one sent before by more than the datum's epsilon.
bool lf_changed(const Datum& datum, const Value& before, const Value& now) {
  const auto type = static_cast<DataType>(datum.type);
  if (type == DataType::Float32 || type == DataType::Float64) {
    return std::fabs(now.number - before.number) > datum.epsilon || std::isnan(now.number) != std::isnan(before.number);
  }
  if (type == DataType::Int32 || type == DataType::Int64) return std::round(now.number) != std::round(before.number);
  return now.text != before.text;
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

// An EXCEPTION packet: the exception's number, the send id of the packet refused and the index
// of its argument at fault.
std::vector<std::byte> lf_exceptionPacket(std::uint32_t number, std::uint32_t sendId, std::uint32_t index) {
  auto bytes = gf_packet(SimRecvId::Exception, 24, simProtocolVersion);
  gf_put<std::uint32_t>(bytes, 12, number);
  gf_put<std::uint32_t>(bytes, 16, sendId);
  gf_put<std::uint32_t>(bytes, 20, index);
  return bytes;
}

}  // namespace

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
    auto bytes = gf_eventPacket(SimRecvId::EventObjectAddRemove, 28, *eventId, objectId);
    gf_put<std::uint32_t>(bytes, 24, static_cast<std::uint32_t>(type));
    out.push_back({session, std::move(bytes)});
  }
}

std::vector<std::byte> FakeSim::dataPacket(SimRecvId id, const Session& session, Request& request,
                                           const SimObject& object, std::uint32_t entry, std::uint32_t outOf) const {
  auto bytes = gf_packet(id, simObjectDataOffset, simProtocolVersion);
  gf_put<std::uint32_t>(bytes, 12, request.requestId);
  gf_put<std::uint32_t>(bytes, 16, object.id);
  gf_put<std::uint32_t>(bytes, 20, request.defineId);
  gf_put<std::uint32_t>(bytes, 24, request.flags);
  gf_put<std::uint32_t>(bytes, 28, entry);
  gf_put<std::uint32_t>(bytes, 32, outOf);
  const auto definition = session.definitions.find(request.defineId);
  const std::vector<Datum> none;
  const std::vector<Datum>& data = definition == session.definitions.end() ? none : definition->second;
  const bool changedOnly = (request.flags & requestFlagChanged) != 0 && request.lastSent.size() == data.size();
  const bool tagged = (request.flags & requestFlagTagged) != 0;
  std::uint32_t values = 0;
  bool anyChanged = false;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const Datum& datum = data[i];
    const Value value = gf_valueOf(object, datum.name);
    const bool changed = !changedOnly || lf_changed(datum, request.lastSent[i], value);
    anyChanged = anyChanged || changed;
    // Untagged answers carry the whole definition; tagged ones of a CHANGED request only what changed.
    if (tagged && !changed) continue;
    if (tagged) gf_put<std::uint32_t>(bytes, bytes.size(), datum.datumId);
    gf_putValue(bytes, datum.type, value);
    ++values;
  }
  if (changedOnly && !anyChanged) return {};
  if (request.flags & requestFlagChanged) {
    request.lastSent.clear();
    for (const Datum& datum : data) request.lastSent.push_back(gf_valueOf(object, datum.name));
  }
  gf_put<std::uint32_t>(bytes, 36, values);
  bytes.resize((bytes.size() + 3) / 4 * 4);
  gf_put<std::uint32_t>(bytes, 0, static_cast<std::uint32_t>(bytes.size()));
  return bytes;
}

void FakeSim::handlePacket(const std::shared_ptr<Session>& session, Packet& packet, std::vector<Outgoing>& out) {
  if (packet.malformed && packet.bytes.size() < 16) return;
  const auto exception = [&](std::uint32_t number, std::uint32_t index) {
    out.push_back({session, lf_exceptionPacket(number, packet.sendId, index)});
  };
  // A packet whose size does not fit its function is refused (SetDataOnSimObject: its data does
  // not fit its count and unit, told below as a wrong data size).
  if (packet.malformed && gf_expectedSize(packet.function) != 0 && !packet.is(SimFunction::SetDataOnSimObject)) {
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
      auto bytes = gf_packet(SimRecvId::Open, simRecvOpenSize, simProtocolVersion);
      gf_putText(bytes, 12, 256, options_.applicationName);
      gf_put<std::uint32_t>(bytes, 268, static_cast<std::uint32_t>(options_.simVersion));
      gf_put<std::uint32_t>(bytes, 272, options_.versionMinor);
      gf_put<std::uint32_t>(bytes, 276, options_.buildMajor);
      gf_put<std::uint32_t>(bytes, 280, options_.buildMinor);
      gf_put<std::uint32_t>(bytes, 284, static_cast<std::uint32_t>(options_.simVersion));
      gf_put<std::uint32_t>(bytes, 288, options_.versionMinor);
      out.push_back({session, std::move(bytes)});
      break;
    }
    case SimFunction::SubscribeToSystemEvent:
      session->subscriptions[packet.eventId] = packet.name;
      if (options_.simRunningOnSubscribe && gf_upper(packet.name) == "SIM") {
        out.push_back({session, gf_eventPacket(SimRecvId::Event, 24, packet.eventId, 1)});
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
    case SimFunction::RequestDataOnSimObject:
      requestData(session, packet, out, exception);
      break;
    case SimFunction::RequestDataOnSimObjectType:
      requestDataByType(session, packet, out, exception);
      break;
    case SimFunction::SetDataOnSimObject:
      setData(session, packet, exception);
      break;
    case SimFunction::AICreateNonATCAircraft:
      createAircraft(session, packet, out, exception);
      break;
    case SimFunction::AIRemoveObject:
      if (!eraseObject(packet.objectId, out)) exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 1);
      break;
    case SimFunction::AISetAircraftFlightPlan:
      setFlightPlan(packet, exception);
      break;
    default:
      if (packet.function == functionRequestSystemState) answerSystemState(session, packet, out, exception);
      break;  // otherwise recorded only
  }
}

void FakeSim::requestData(const std::shared_ptr<Session>& session, const Packet& packet,
                          std::vector<Outgoing>& out, const Refuse& exception) {
  if (!session->definitions.contains(packet.defineId)) {
    exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 2);
    return;
  }
  if (findObject(packet.objectId) == nullptr) {
    exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 3);
    return;
  }
  if (packet.period > static_cast<std::uint32_t>(SimPeriod::Second)) {
    exception(static_cast<std::uint32_t>(Exception::InvalidEnum), 4);
    return;
  }
  session->periodic.erase(packet.requestId);
  if (packet.period == 0) return;  // never: the request ends
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
}

void FakeSim::requestDataByType(const std::shared_ptr<Session>& session, const Packet& packet,
                                std::vector<Outgoing>& out, const Refuse& exception) {
  if (!session->definitions.contains(packet.defineId)) {
    exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 2);
    return;
  }
  if (packet.radius > maxRequestRadius) {
    exception(static_cast<std::uint32_t>(Exception::OutOfBounds), 3);
    return;
  }
  if (packet.objectType > static_cast<std::uint32_t>(ObjectType::Ground)) {
    exception(static_cast<std::uint32_t>(Exception::InvalidEnum), 4);
    return;
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
}

void FakeSim::setData(const std::shared_ptr<Session>& session, const Packet& packet, const Refuse& exception) {
  SimObject* object = findObject(packet.objectId);
  const auto definition = session->definitions.find(packet.defineId);
  if (definition == session->definitions.end()) {
    exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 1);
    return;
  }
  if (object == nullptr) {
    exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 2);
    return;
  }
  const std::vector<Datum>& data = definition->second;
  std::vector<std::pair<const Datum*, Value>> values;
  std::size_t at = 0;
  bool fits = true;
  if (packet.flags & setFlagTagged) {
    // (datum id, value) pairs, in any order.
    while (fits && at < packet.payload.size()) {
      const auto datumId = gf_get<std::uint32_t>(packet.payload, at);
      at += 4;
      const auto datum = std::find_if(data.begin(), data.end(), [&](const Datum& d) { return d.datumId == datumId; });
      if (datum == data.end()) {
        exception(static_cast<std::uint32_t>(Exception::UnrecognizedId), 6);
        return;
      }
      Value value;
      fits = at <= packet.payload.size() && gf_readValue(packet.payload, at, datum->type, value);
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
      if (!fits || !gf_readValue(packet.payload, at, datum.type, value)) {
        fits = false;
        break;
      }
      values.emplace_back(&datum, std::move(value));
    }
  }
  if (!fits || packet.malformed) {
    exception(static_cast<std::uint32_t>(Exception::InvalidDataSize), 5);
    return;
  }
  bool moved = false;
  for (auto& [datum, value] : values) {
    const std::string name = gf_upper(datum->name);
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
}

void FakeSim::createAircraft(const std::shared_ptr<Session>& session, const Packet& packet,
                             std::vector<Outgoing>& out, const Refuse& exception) {
  if (std::find(failTitles_.begin(), failTitles_.end(), packet.name) != failTitles_.end()) {
    exception(static_cast<std::uint32_t>(SimException::CreateObjectFailed), 1);
    return;
  }
  if (!options_.autoCreate) {
    heldCreations_.emplace_back(session, packet);
    return;
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
  auto assigned = gf_packet(static_cast<SimRecvId>(recvAssignedObjectId), 20, simProtocolVersion);
  gf_put<std::uint32_t>(assigned, 12, packet.requestId);
  gf_put<std::uint32_t>(assigned, 16, id);
  out.push_back({session, std::move(assigned)});
}

void FakeSim::setFlightPlan(const Packet& packet, const Refuse& exception) {
  const auto found = objects_.find(packet.objectId);
  if (found == objects_.end()) {
    // The user aircraft takes no AI flight plan; an unknown object has none to take.
    exception(static_cast<std::uint32_t>(findObject(packet.objectId) != nullptr
                                             ? Exception::OperationInvalidForObjectType
                                             : Exception::UnrecognizedId),
              1);
    return;
  }
  if (!flightPlanLoads(packet.name)) {
    exception(static_cast<std::uint32_t>(Exception::LoadFlightPlanFailed), 2);
    return;
  }
  found->second.flightPlan = packet.name;
}

void FakeSim::answerSystemState(const std::shared_ptr<Session>& session, const Packet& packet,
                                std::vector<Outgoing>& out, const Refuse& exception) {
  auto bytes = gf_packet(static_cast<SimRecvId>(recvSystemState), recvSystemStateSize, simProtocolVersion);
  gf_put<std::uint32_t>(bytes, 12, packet.requestId);
  const std::string state = gf_upper(packet.name);
  if (state == "AIRCRAFTLOADED") {
    gf_putText(bytes, 24, simPathFieldLength, options_.aircraftLoaded);
  } else if (state == "FLIGHTLOADED") {
    gf_putText(bytes, 24, simPathFieldLength, options_.flightLoaded);
  } else if (state == "FLIGHTPLAN") {
    gf_putText(bytes, 24, simPathFieldLength, options_.flightPlanLoaded);
  } else if (state == "SIM") {
    gf_put<std::uint32_t>(bytes, 16, simRunning_ ? 1 : 0);
  } else if (state == "DIALOGMODE") {
    gf_put<std::uint32_t>(bytes, 16, 0);
  } else {
    exception(static_cast<std::uint32_t>(Exception::NameUnrecognized), 2);
    return;
  }
  out.push_back({session, std::move(bytes)});
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
        auto bytes = gf_eventPacket(SimRecvId::EventFrame, 32, *eventId, 0);
        gf_put<float>(bytes, 24, 30.0f);  // frame rate
        gf_put<float>(bytes, 28, 1.0f);   // simulation rate
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
    if (gf_upper(systemEvent) == "SIM") simRunning_ = data == 1;
    for (const auto& session : sessions_) {
      if (!session->open) continue;
      if (const auto eventId = session->subscribed(systemEvent)) {
        out.push_back({session, gf_eventPacket(SimRecvId::Event, 24, *eventId, data)});
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
      auto bytes = gf_eventPacket(SimRecvId::EventFilename, 288, session->subscribed("FlightLoaded").value_or(0), 0);
      gf_putText(bytes, 24, 260, fileName);
      out.push_back({session, std::move(bytes)});
    }
  }
  write(out);
}

void FakeSim::sendQuit() {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    out = toAll(gf_packet(SimRecvId::Quit, 12, simProtocolVersion));
  }
  write(out);
}

void FakeSim::sendException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index) {
  sendRaw(lf_exceptionPacket(exception, sendId, index));
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
  return gf_packet(id, size, simProtocolVersion);
}

}  // namespace fakesim
