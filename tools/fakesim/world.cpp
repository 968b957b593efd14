// The simulated world: the user aircraft and the AI objects with their variables, the
// simulator's clock, which objects a request by type lists and whether a flight plan loads.
#include <chrono>
#include <filesystem>

#include <pugixml.hpp>

#include "fakesim/internal.hpp"
#include "foundation/geodesy.hpp"

namespace fakesim {

namespace {

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

}  // namespace

Value gf_valueOf(const SimObject& object, const std::string& name) {
  const std::string upperName = gf_upper(name);
  const auto variable = object.variables.find(upperName);
  if (variable != object.variables.end()) return variable->second;
  return lf_zuluValue(upperName).value_or(Value{});
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

double FakeSim::terrainAltitude() const { return options_.userOnGround ? options_.userAltitude : 0.0; }

SimObject* FakeSim::findObject(std::uint32_t objectId) {
  if (objectId == simUserObjectId || objectId == user_.id) return &user_;
  const auto found = objects_.find(objectId);
  return found == objects_.end() ? nullptr : &found->second;
}

// --- simulator state

void FakeSim::setUserValue(std::string_view variable, double value) {
  std::lock_guard lock(mutex_);
  user_.variables[gf_upper(variable)].number = value;
}

void FakeSim::setUserText(std::string_view variable, std::string text) {
  std::lock_guard lock(mutex_);
  user_.variables[gf_upper(variable)].text = std::move(text);
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
  if (SimObject* object = findObject(objectId)) object->variables[gf_upper(variable)].number = value;
}

void FakeSim::setObjectText(std::uint32_t objectId, std::string_view variable, std::string text) {
  std::lock_guard lock(mutex_);
  if (SimObject* object = findObject(objectId)) object->variables[gf_upper(variable)].text = std::move(text);
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

bool FakeSim::eraseObject(std::uint32_t objectId, std::vector<Outgoing>& out) {
  const auto found = objects_.find(objectId);
  if (found == objects_.end()) return false;
  const ObjectType type = found->second.type;
  objects_.erase(found);
  announceObject(objectId, type, false, out);
  return true;
}

bool FakeSim::removeObject(std::uint32_t objectId) {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    if (!eraseObject(objectId, out)) return false;
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

}  // namespace fakesim
