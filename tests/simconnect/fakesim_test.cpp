// The fake simulator as the program's own client sees it: values in the types of their
// definitions, requests by type within their radius, the request flags and periods, system
// states, assigned object ids, the simulator's exceptions, and the standalone program's options.
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "foundation/format.hpp"
#include "sim_fixture.hpp"
#include "simconnect/connection.hpp"

namespace {

using fakesim::DataType;
using fakesim::Exception;
using fakesim::FakeSim;
using fakesim::ObjectType;
using simtest::Received;
using simtest::SimFixture;

constexpr std::uint32_t markerRequest = 0xABC;

template <typename T>
T valueAt(const Received& packet, std::size_t offset) {
  T value{};
  EXPECT_LE(offset + sizeof(T), packet.bytes.size());
  if (offset + sizeof(T) <= packet.bytes.size()) std::memcpy(&value, packet.bytes.data() + offset, sizeof(T));
  return value;
}

std::string textAt(const Received& packet, std::size_t offset, std::size_t length) {
  if (offset >= packet.bytes.size()) return {};
  length = std::min(length, packet.bytes.size() - offset);
  return std::string(simFieldText(reinterpret_cast<const char*>(packet.bytes.data() + offset), length));
}

void lf_collect(const SimRecv* packet, std::uint32_t size, void* context) {
  const auto* bytes = reinterpret_cast<const std::byte*>(packet);
  static_cast<std::vector<Received>*>(context)->push_back({packet->id, std::vector<std::byte>(bytes, bytes + size)});
}

// The system-state request, which the client library has no function for, through its send path.
SimConnectResult requestSystemState(SimConnection* handle, std::uint32_t requestId, const std::string& state) {
  std::array<std::byte, fakesim::requestSystemStateSize> packet{};
  const std::uint32_t head[] = {fakesim::requestSystemStateSize, simProtocolVersion,
                                simSendPacketFlag | fakesim::functionRequestSystemState, 0, requestId};
  std::memcpy(packet.data(), head, sizeof head);
  std::memcpy(packet.data() + 20, state.data(), std::min<std::size_t>(state.size(), 255));
  return handle->send(packet.data(), fakesim::requestSystemStateSize, nullptr);
}

class FakeSimTest : public SimFixture {
 protected:
  explicit FakeSimTest(fakesim::Options options = defaultOptions()) : SimFixture(std::move(options)) {}

  // Everything received up to the answer to a marker request sent now: the fake answers a
  // connection's packets in order, so whatever an earlier request or frame caused came before.
  std::vector<Received> untilMarker() {
    EXPECT_EQ(requestSystemState(handle, markerRequest, "Sim"), simOk);
    std::vector<Received> got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
      SimConnect_CallDispatch(handle, lf_collect, &got);
      for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i].id == fakesim::recvSystemState && valueAt<std::uint32_t>(got[i], 12) == markerRequest) {
          got.erase(got.begin() + static_cast<std::ptrdiff_t>(i), got.end());
          return got;
        }
      }
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "no answer to the marker";
        return got;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Opens and reads past the OPEN answer.
  void openQuietly() {
    open();
    untilMarker();
  }

  static std::vector<Received> ofId(const std::vector<Received>& packets, std::uint32_t id) {
    std::vector<Received> found;
    for (const auto& p : packets)
      if (p.id == id) found.push_back(p);
    return found;
  }

  // The exception packets received: (exception, send id of the packet that caused it).
  static std::vector<std::pair<std::uint32_t, std::uint32_t>> exceptions(const std::vector<Received>& packets) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> found;
    for (const auto& p : ofId(packets, 1)) found.emplace_back(valueAt<std::uint32_t>(p, 12), valueAt<std::uint32_t>(p, 16));
    return found;
  }

  std::uint32_t lastSendId() {
    std::uint32_t id = 0;
    SimConnect_GetLastSentPacketID(handle, &id);
    return id;
  }

  void define(std::uint32_t defineId, const char* name, DataType type, float epsilon = 0.0f,
              std::uint32_t datumId = simUnusedId) {
    ASSERT_EQ(SimConnect_AddToDataDefinition(handle, defineId, name, nullptr, static_cast<SimDataType>(type), epsilon,
                                             datumId),
              simOk);
  }
};

TEST_F(FakeSimTest, ValuesComeInTheTypeOfTheirDefinition) {
  struct Field {
    const char* variable;
    DataType type;
    double number;
    std::string text;
    std::size_t size;  // bytes in the answer
  };
  const std::string longText(300, 'L');
  const Field fields[] = {
      {"V INT32", DataType::Int32, -123456.6, "", 4},
      {"V INT32 HIGH", DataType::Int32, 1e12, "", 4},  // clamped, not wrapped
      {"V INT64", DataType::Int64, 9007199254740993.0, "", 8},
      {"V FLOAT32", DataType::Float32, 1.5, "", 4},
      {"V FLOAT64", DataType::Float64, 0.1, "", 8},
      {"V STRING8", DataType::String8, 0, "ABCDEFGHIJ", 8},
      {"V STRING32", DataType::String32, 0, "KLM1234", 32},
      {"V STRING64", DataType::String64, 0, longText, 64},
      {"V STRING128", DataType::String128, 0, longText, 128},
      {"V STRING256", DataType::String256, 0, longText, 256},
      {"V STRING260", DataType::String260, 0, longText, 260},
      {"V STRINGV", DataType::StringV, 0, "Fake Cessna", 12},
      {"V LATLONALT", DataType::LatLonAlt, 0, "", 24},
  };
  openQuietly();
  for (const Field& f : fields) {
    if (f.text.empty()) {
      fake.setUserValue(f.variable, f.number);
    } else {
      fake.setUserText(f.variable, f.text);
    }
    define(500, f.variable, f.type);
  }
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 50, 500, simUserObjectId, SimPeriod::Once), simOk);
  const auto got = untilMarker();
  ASSERT_EQ(got.size(), 1u);
  const Received& data = got[0];
  ASSERT_EQ(data.id, 8u);
  EXPECT_EQ(valueAt<std::uint32_t>(data, 36), std::size(fields));  // values in the packet
  std::size_t at = simObjectDataOffset;
  for (const Field& f : fields) {
    SCOPED_TRACE(f.variable);
    switch (f.type) {
      case DataType::Int32:
        EXPECT_EQ(valueAt<std::int32_t>(data, at), f.number > 2147483647.0 ? 2147483647 : -123457);
        break;
      case DataType::Int64: EXPECT_EQ(valueAt<std::int64_t>(data, at), 9007199254740992); break;
      case DataType::Float32: EXPECT_EQ(valueAt<float>(data, at), 1.5f); break;
      case DataType::Float64: EXPECT_EQ(valueAt<double>(data, at), 0.1); break;
      case DataType::LatLonAlt: EXPECT_EQ(valueAt<double>(data, at + 16), 0.0); break;
      default: EXPECT_EQ(textAt(data, at, f.size), f.text.substr(0, f.size - 1)); break;
    }
    at += f.size;
  }
  EXPECT_EQ(data.bytes.size(), (at + 3) / 4 * 4);  // padded to whole words
}

TEST_F(FakeSimTest, TheZuluTimeIsTheUtcOfTheAnswerUnlessSet) {
  using namespace std::chrono;
  openQuietly();
  for (const char* variable : {"ZULU YEAR", "ZULU DAY OF YEAR", "ZULU TIME"}) define(501, variable, DataType::Int64);
  const auto epochSeconds = [](const Received& data) {
    const std::int64_t year = valueAt<std::int64_t>(data, 40);
    const std::int64_t day = valueAt<std::int64_t>(data, 48);
    const std::int64_t time = valueAt<std::int64_t>(data, 56);
    const sys_days firstOfYear{std::chrono::year{static_cast<int>(year)} / January / 1};
    return (firstOfYear.time_since_epoch().count() + day - 1) * 86400 + time;
  };
  const auto before = floor<seconds>(system_clock::now()).time_since_epoch().count();
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 51, 501, simUserObjectId, SimPeriod::Once), simOk);
  const auto answers = ofId(untilMarker(), 8);
  const auto after = floor<seconds>(system_clock::now()).time_since_epoch().count();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_GE(epochSeconds(answers[0]), before);
  EXPECT_LE(epochSeconds(answers[0]), after);

  fake.setUserValue("ZULU YEAR", 0);  // a test's own value stays
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 52, 501, simUserObjectId, SimPeriod::Once), simOk);
  const auto set = ofId(untilMarker(), 8);
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(valueAt<std::int64_t>(set[0], 40), 0);
}

TEST_F(FakeSimTest, RequestsByTypeHonourRadiusAndType) {
  openQuietly();
  // The user aircraft is parked at 50.03, 8.57; 0.1 degree of latitude is 11.1 km.
  const auto place = [&](std::uint32_t id, double latitude) {
    fake.setObjectValue(id, "PLANE LATITUDE", latitude);
    fake.setObjectValue(id, "PLANE LONGITUDE", 8.57);
  };
  const std::uint32_t near = fake.addObject("Near", "NEAR1");
  place(near, 50.13);
  const std::uint32_t far = fake.addObject("Far", "FAR1");
  place(far, 50.23);
  const std::uint32_t heli = fake.addObject("Heli", "HELI1", ObjectType::Helicopter);
  place(heli, 50.04);
  const std::uint32_t boat = fake.addObject("Boat", "BOAT1", ObjectType::Boat);
  define(404, "ATC ID", DataType::String32);

  struct Case {
    const char* name;
    std::uint32_t radius;
    ObjectType type;
    std::vector<std::uint32_t> objects;  // in answer order, the user aircraft (1) first
  };
  const Case cases[] = {
      {"aircraft 20 km", 20000, ObjectType::Aircraft, {1, near}},
      {"aircraft 11 km", 11000, ObjectType::Aircraft, {1}},
      {"aircraft 200 km", fakesim::maxRequestRadius, ObjectType::Aircraft, {1, near, far}},
      {"helicopters", 20000, ObjectType::Helicopter, {heli}},
      {"boats", 20000, ObjectType::Boat, {boat}},
      {"ground vehicles", 20000, ObjectType::Ground, {}},
      {"everything", 20000, ObjectType::All, {1, near, heli, boat}},
      {"user", 0, ObjectType::User, {1}},
      {"radius 0", 0, ObjectType::Helicopter, {1}},
  };
  std::uint32_t request = 60;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(handle, ++request, 404, c.radius, static_cast<SimObjectType>(c.type)),
              simOk);
    const auto got = untilMarker();
    std::vector<std::uint32_t> objects;
    for (const Received& p : got) {
      ASSERT_EQ(p.id, 9u);
      EXPECT_EQ(valueAt<std::uint32_t>(p, 12), request);
      EXPECT_EQ(valueAt<std::uint32_t>(p, 28), objects.size() + 1);  // entry number
      EXPECT_EQ(valueAt<std::uint32_t>(p, 32), c.objects.size());     // out of
      objects.push_back(valueAt<std::uint32_t>(p, 16));
    }
    EXPECT_EQ(objects, c.objects);
  }
}

TEST_F(FakeSimTest, WrongRequestsRaiseTheSimulatorsExceptions) {
  openQuietly();
  define(401, "SPOILERS HANDLE POSITION", DataType::Float64);
  define(401, "GENERAL ENG THROTTLE LEVER POSITION:1", DataType::Float64);
  define(410, "TITLE", DataType::StringV);
  const std::array<double, 3> three{1, 2, 3};
  struct Case {
    const char* name;
    std::function<SimConnectResult()> call;
    Exception expected;
  };
  const Case cases[] = {
      {"unit size below the definition",
       [&] { return SimConnect_SetDataOnSimObject(handle, 401, simUserObjectId, 0, 0, 8, three.data()); },
       Exception::InvalidDataSize},
      {"unit size above the definition",
       [&] { return SimConnect_SetDataOnSimObject(handle, 401, simUserObjectId, 0, 0, 24, three.data()); },
       Exception::InvalidDataSize},
      {"string without its end",
       [&] { return SimConnect_SetDataOnSimObject(handle, 410, simUserObjectId, 0, 0, 4, "ABCD"); },
       Exception::InvalidDataSize},
      {"unknown definition",
       [&] { return SimConnect_SetDataOnSimObject(handle, 499, simUserObjectId, 0, 0, 16, three.data()); },
       Exception::UnrecognizedId},
      {"unknown object", [&] { return SimConnect_SetDataOnSimObject(handle, 401, 4711, 0, 0, 16, three.data()); },
       Exception::UnrecognizedId},
      {"request of an unknown definition",
       [&] { return SimConnect_RequestDataOnSimObject(handle, 70, 499, simUserObjectId, SimPeriod::Once); },
       Exception::UnrecognizedId},
      {"unknown period",
       [&] { return SimConnect_RequestDataOnSimObject(handle, 71, 401, simUserObjectId, static_cast<SimPeriod>(5)); },
       Exception::InvalidEnum},
      {"radius beyond 200 km",
       [&] { return SimConnect_RequestDataOnSimObjectType(handle, 72, 401, 200001, SimObjectType::Aircraft); },
       Exception::OutOfBounds},
      {"unknown object type",
       [&] { return SimConnect_RequestDataOnSimObjectType(handle, 73, 401, 1000, static_cast<SimObjectType>(6)); },
       Exception::InvalidEnum},
      {"unknown data type",
       [&] { return SimConnect_AddToDataDefinition(handle, 402, "X", nullptr, static_cast<SimDataType>(17)); },
       Exception::InvalidDataType},
      {"removal of an unknown object", [&] { return SimConnect_AIRemoveObject(handle, 4711, 105); },
       Exception::UnrecognizedId},
      {"unknown system state", [&] { return requestSystemState(handle, 74, "NoSuchState"); },
       Exception::NameUnrecognized},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.call(), simOk);
    const std::uint32_t sendId = lastSendId();
    const auto got = untilMarker();
    ASSERT_EQ(exceptions(got).size(), 1u);
    EXPECT_EQ(exceptions(got)[0], std::make_pair(static_cast<std::uint32_t>(c.expected), sendId));
  }
  // A whole definition is taken as sent.
  const std::array<double, 2> two{0.25, 0.75};
  ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 401, simUserObjectId, 0, 0, 16, two.data()), simOk);
  EXPECT_TRUE(exceptions(untilMarker()).empty());
  EXPECT_EQ(fake.object(simUserObjectId)->variables.at("GENERAL ENG THROTTLE LEVER POSITION:1").number, 0.75);
}

TEST_F(FakeSimTest, FlightPlansLoadOnlyWhenTheFileCanBeRead) {
  openQuietly();
  const SimInitPosition position{50.03, 8.57, 364.0, 0, 0, 250.0, 1, 0};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Airbus A320", "DLH1", position, 104), simOk);
  ASSERT_TRUE(fake.waitFor([&] { return fake.objects().size() == 1; }));
  const std::uint32_t object = fake.objects()[0].id;
  const auto plan = dir.path() / "orig_dest" / wdrx::format("{}.pln", object);
  wdrx::testing::writeFile(plan,
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
                           "<FlightPlan.FlightPlan>\n<DepartureID>EDDF</DepartureID>\n</FlightPlan.FlightPlan>\n"
                           "</SimBase.Document>\n");
  wdrx::testing::writeFile(dir.path() / "broken.pln", "<SimBase.Document><FlightPlan.FlightPlan>");
  wdrx::testing::writeFile(dir.path() / "other.pln", "<root/>");
  const std::string withoutExtension = (plan.parent_path() / std::to_string(object)).string();
  struct Case {
    const char* name;
    std::uint32_t object;
    std::string path;
    std::optional<Exception> expected;
  };
  const Case cases[] = {
      {"missing file", object, (dir.path() / "missing").string(), Exception::LoadFlightPlanFailed},
      {"not XML", object, (dir.path() / "broken.pln").string(), Exception::LoadFlightPlanFailed},
      {"not a flight plan", object, (dir.path() / "other").string(), Exception::LoadFlightPlanFailed},
      {"the user aircraft", simUserObjectId, plan.string(), Exception::OperationInvalidForObjectType},
      {"unknown object", 4711, plan.string(), Exception::UnrecognizedId},
      {"with its extension", object, plan.string(), std::nullopt},
      {"without its extension", object, withoutExtension, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(handle, c.object, c.path.c_str(), 110), simOk);
    const std::uint32_t sendId = lastSendId();
    const auto got = exceptions(untilMarker());
    if (c.expected) {
      ASSERT_EQ(got.size(), 1u);
      EXPECT_EQ(got[0], std::make_pair(static_cast<std::uint32_t>(*c.expected), sendId));
    } else {
      EXPECT_TRUE(got.empty());
      EXPECT_EQ(fake.object(object)->flightPlan, c.path);
    }
  }
}

TEST_F(FakeSimTest, SystemStatesAndAssignedObjectIdsAreAnswered) {
  openQuietly();
  struct Case {
    const char* state;
    std::uint32_t integer;
    std::string text;
  };
  const Case cases[] = {{"Sim", 1, ""},
                        {"sim", 1, ""},
                        {"DialogMode", 0, ""},
                        {"AircraftLoaded", 0, "SimObjects\\Airplanes\\Fake User Aircraft\\fake.air"},
                        {"FlightLoaded", 0, "Flights\\Default.fxml"},
                        {"FlightPlan", 0, ""}};
  std::uint32_t request = 80;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    ASSERT_EQ(requestSystemState(handle, ++request, c.state), simOk);
    const auto got = untilMarker();
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].id, fakesim::recvSystemState);
    ASSERT_EQ(got[0].bytes.size(), fakesim::recvSystemStateSize);
    EXPECT_EQ(valueAt<std::uint32_t>(got[0], 12), request);
    EXPECT_EQ(valueAt<std::uint32_t>(got[0], 16), c.integer);
    EXPECT_EQ(textAt(got[0], 24, 260), c.text);
  }
  fake.sendSystemEvent("Sim", 0);
  ASSERT_EQ(requestSystemState(handle, 90, "Sim"), simOk);
  auto got = untilMarker();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(valueAt<std::uint32_t>(got[0], 16), 0u);

  // A creation is answered with the object id under the creation's request id.
  SimConnect_SubscribeToSystemEvent(handle, 202, "ObjectAdded");
  const SimInitPosition position{50.03, 8.57, 364.0, 0, 0, 250.0, 1, 0};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Airbus A320", "DLH1", position, 104), simOk);
  got = untilMarker();
  ASSERT_EQ(fake.objects().size(), 1u);
  const std::uint32_t object = fake.objects()[0].id;
  const auto assigned = ofId(got, fakesim::recvAssignedObjectId);
  ASSERT_EQ(assigned.size(), 1u);
  EXPECT_EQ(assigned[0].bytes.size(), 20u);
  EXPECT_EQ(valueAt<std::uint32_t>(assigned[0], 12), 104u);
  EXPECT_EQ(valueAt<std::uint32_t>(assigned[0], 16), object);
  const auto added = ofId(got, 5);
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(valueAt<std::uint32_t>(added[0], 20), object);
  EXPECT_EQ(valueAt<std::uint32_t>(added[0], 24), static_cast<std::uint32_t>(ObjectType::Aircraft));
}

TEST_F(FakeSimTest, AClientsAircraftFollowsTheGroundItIsSetOn) {
  openQuietly();
  // The user aircraft stands at 364 ft: the ground of every aircraft.
  const SimInitPosition position{50.03, 8.57, 1364.0, 0, 0, 250.0, 0, 0};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Airbus A320", "DLH1", position, 104), simOk);
  define(430, "PLANE ALTITUDE", DataType::Float64);
  untilMarker();
  ASSERT_EQ(fake.objects().size(), 1u);
  const std::uint32_t object = fake.objects()[0].id;
  for (const auto& [altitude, height, onGround] : {std::tuple{1364.0, 1000.0, 0.0}, std::tuple{364.3, 0.3, 1.0},
                                                    std::tuple{300.0, 0.0, 1.0}, std::tuple{400.0, 36.0, 0.0}}) {
    SCOPED_TRACE(altitude);
    if (altitude != 1364.0) {
      ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 430, object, 0, 0, 8, &altitude), simOk);
      untilMarker();
    }
    auto values = fake.objects()[0].variables;
    EXPECT_NEAR(values["PLANE ALT ABOVE GROUND"].number, height, 1e-9);
    EXPECT_EQ(values["SIM ON GROUND"].number, onGround);
    EXPECT_EQ(values["GROUND ALTITUDE"].number, 364.0);
  }
}

TEST_F(FakeSimTest, ChangedAndTaggedFlagsSendOnlyWhatChanged) {
  openQuietly();
  define(420, "PLANE ALTITUDE", DataType::Float64, 1.0f, 10);
  define(420, "SIM ON GROUND", DataType::Int64, 0.0f, 11);
  fake.setUserValue("PLANE ALTITUDE", 1000.0);
  fake.setUserValue("SIM ON GROUND", 0);
  constexpr std::uint32_t changed = fakesim::requestFlagChanged;
  constexpr std::uint32_t tagged = fakesim::requestFlagTagged;
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 91, 420, simUserObjectId, static_cast<SimPeriod>(3),
                                              changed | tagged),
            simOk);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 92, 420, simUserObjectId, static_cast<SimPeriod>(3), changed),
            simOk);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 93, 420, simUserObjectId, static_cast<SimPeriod>(3)), simOk);

  // (request, values) of each answer: tagged answers as datum id and value, untagged as values.
  const auto answers = [&] {
    std::vector<std::pair<std::uint32_t, std::vector<double>>> found;
    for (const auto& p : untilMarker()) {
      EXPECT_EQ(p.id, 8u);
      const auto request = valueAt<std::uint32_t>(p, 12);
      const auto count = valueAt<std::uint32_t>(p, 36);
      const bool isTagged = (valueAt<std::uint32_t>(p, 24) & tagged) != 0;
      std::vector<double> values;
      std::size_t at = simObjectDataOffset;
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t datum = isTagged ? valueAt<std::uint32_t>(p, at) : (i == 0 ? 10 : 11);
        if (isTagged) {
          values.push_back(datum);
          at += 4;
        }
        values.push_back(datum == 10 ? valueAt<double>(p, at) : static_cast<double>(valueAt<std::int64_t>(p, at)));
        at += 8;
      }
      found.emplace_back(request, values);
    }
    return found;
  };
  using Answers = std::vector<std::pair<std::uint32_t, std::vector<double>>>;
  // The first answer of each comes with the request.
  EXPECT_EQ(answers(), (Answers{{91, {10, 1000, 11, 0}}, {92, {1000, 0}}, {93, {1000, 0}}}));
  fake.sendFrame();
  EXPECT_EQ(answers(), (Answers{{93, {1000, 0}}}));
  fake.setUserValue("PLANE ALTITUDE", 1000.9);  // within the epsilon
  fake.sendFrame();
  EXPECT_EQ(answers(), (Answers{{93, {1000.9, 0}}}));
  fake.setUserValue("PLANE ALTITUDE", 1002.5);
  fake.sendFrame();
  EXPECT_EQ(answers(), (Answers{{91, {10, 1002.5}}, {92, {1002.5, 0}}, {93, {1002.5, 0}}}));
  fake.setUserValue("SIM ON GROUND", 1);
  fake.sendFrame();
  EXPECT_EQ(answers(), (Answers{{91, {11, 1}}, {92, {1002.5, 1}}, {93, {1002.5, 1}}}));
}

TEST_F(FakeSimTest, OriginIntervalAndLimitPaceAnswers) {
  openQuietly();
  define(430, "PLANE ALTITUDE", DataType::Float64);
  struct Case {
    const char* name;
    std::uint32_t origin, interval, limit;
    std::vector<int> answered;  // period events (0: the request) that brought an answer
  };
  const Case cases[] = {
      {"every frame", 0, 0, 0, {0, 1, 2, 3, 4, 5}},
      {"from the second frame", 2, 0, 0, {2, 3, 4, 5}},
      {"every third", 0, 2, 0, {0, 3}},
      {"origin, interval and limit", 1, 1, 2, {1, 3}},
      {"once by limit", 0, 0, 1, {0}},
  };
  std::uint32_t request = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++request;
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, request, 430, simUserObjectId, static_cast<SimPeriod>(3), 0,
                                                c.origin, c.interval, c.limit),
              simOk);
    std::vector<int> answered;
    for (int event = 0; event <= 5; ++event) {
      if (event > 0) fake.sendFrame();
      for (const auto& p : untilMarker())
        if (valueAt<std::uint32_t>(p, 12) == request) answered.push_back(event);
    }
    EXPECT_EQ(answered, c.answered);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, request, 430, simUserObjectId, static_cast<SimPeriod>(0)), simOk);
  }
}

TEST(FakeSimProgram, CommandLineOptions) {
  std::string error;
  const auto defaults = fakesim::parseArguments({}, error);
  ASSERT_TRUE(defaults);
  EXPECT_TRUE(defaults->tcp4);
  EXPECT_EQ(defaults->frameInterval, std::chrono::milliseconds(33));
  EXPECT_TRUE(defaults->userOnGround);

  const auto given = fakesim::parseArguments(
      {"--port", "4506", "--frame-ms", "0", "--position", "47.46,8.55,1400,280", "--airborne", "--v6"}, error);
  ASSERT_TRUE(given) << error;
  EXPECT_EQ(given->port, 4506);
  EXPECT_EQ(given->frameInterval, std::chrono::milliseconds(0));
  EXPECT_EQ(given->userLatitude, 47.46);
  EXPECT_EQ(given->userLongitude, 8.55);
  EXPECT_EQ(given->userAltitude, 1400.0);
  EXPECT_EQ(given->userHeading, 280.0);
  EXPECT_FALSE(given->userOnGround);
  EXPECT_EQ(given->simVersion, 6);

  const auto socketOnly = fakesim::parseArguments({"--socket", "/tmp/x", "--position", "-33.9,151.2"}, error);
  ASSERT_TRUE(socketOnly);
  EXPECT_FALSE(socketOnly->tcp4);
  EXPECT_EQ(socketOnly->userAltitude, 364.0);  // not given: the default stays

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--position", "91,0"}, {"--position", "50"}, {"--position", "50,8,1,2,3"},
        {"--position", "50,x"}, {"--position"}, {"--port", "65536"}, {"--frame-ms", "-1"}, {"--loud"}}) {
    EXPECT_FALSE(fakesim::parseArguments(bad, error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

fakesim::Options programOptions() {
  std::string error;
  auto options = fakesim::parseArguments({"--port", "0", "--position", "47.46,8.55,1400", "--airborne"}, error);
  options->secondInterval = std::chrono::milliseconds(0);
  options->recordPackets = true;  // the fixture waits for the recorded Open
  return *options;
}

class FakeSimProgramTest : public FakeSimTest {
 protected:
  FakeSimProgramTest() : FakeSimTest(programOptions()) {}
};

TEST_F(FakeSimProgramTest, SendsFramesByItselfAndTheUserAircraftOfItsCommandLine) {
  openQuietly();
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(handle, 204, "Frame"), simOk);
  std::vector<Received> got;
  std::size_t frames = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (frames < 3 && std::chrono::steady_clock::now() < deadline) {
    SimConnect_CallDispatch(handle, lf_collect, &got);
    frames = ofId(got, 7).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_GE(frames, 3u);

  define(440, "PLANE LATITUDE", DataType::Float64);
  define(440, "PLANE LONGITUDE", DataType::Float64);
  define(440, "PLANE ALTITUDE", DataType::Float64);
  define(440, "SIM ON GROUND", DataType::Int64);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 109, 440, simUserObjectId, SimPeriod::Once), simOk);
  const auto answers = ofId(untilMarker(), 8);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(valueAt<double>(answers[0], 40), 47.46);
  EXPECT_EQ(valueAt<double>(answers[0], 48), 8.55);
  EXPECT_EQ(valueAt<double>(answers[0], 56), 1400.0);
  EXPECT_EQ(valueAt<std::int64_t>(answers[0], 64), 0);
}

}  // namespace
