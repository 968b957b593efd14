// Byte layout of every packet the library sends, as the fake simulator receives it.
#include <bit>
#include <cstring>
#include <functional>

#include "sim_fixture.hpp"
#include "simconnect/connection.hpp"

namespace {

using simtest::SimFixture;

// The expected packet, written from the layout table (little-endian byte by byte).
struct Golden {
  std::vector<std::byte> bytes;
  Golden(std::uint32_t size, std::uint32_t function) : bytes(size) {
    u32(0, size).u32(4, 35).u32(8, 0xF0000000u | function);
  }
  Golden& u32(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::byte>(value >> (8 * i));
    return *this;
  }
  Golden& f32(std::size_t offset, float value) { return u32(offset, std::bit_cast<std::uint32_t>(value)); }
  Golden& f64(std::size_t offset, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return u32(offset, static_cast<std::uint32_t>(bits)).u32(offset + 4, static_cast<std::uint32_t>(bits >> 32));
  }
  Golden& text(std::size_t offset, const std::string& value) {
    for (std::size_t i = 0; i < value.size(); ++i) bytes.at(offset + i) = static_cast<std::byte>(value[i]);
    return *this;
  }
};

struct GoldenCase {
  const char* name;
  std::function<SimConnectResult(SimConnection*)> call;
  Golden expected;
};

const std::string name255(255, 'N');
const std::string tail11 = "ABCDEFGHIJK";
const std::string path259 = "/" + std::string(258, 'p');
const SimInitPosition position{47.25, -122.5, 1234.5, -2.5, 1.25, 359.75, 1, 140};
const double positionValues[8] = {47.1, -122.2, -0.05, 0.01, 3.1, 1500.0, 12.5, 250.0};
const double throttleValues[6] = {1, 2, 3, 4, 5, 6};

std::vector<GoldenCase> goldenCases() {
  std::vector<GoldenCase> cases;
  const auto add = [&](const char* name, auto call, Golden expected) {
    cases.push_back({name, call, std::move(expected)});
  };
  add("SubscribeToSystemEvent, name at its limit",
      [](SimConnection* h) { return SimConnect_SubscribeToSystemEvent(h, 204, name255.c_str()); },
      Golden(276, 0x17).u32(16, 204).text(20, name255));
  add("MapClientEventToSimEvent",
      [](SimConnection* h) { return SimConnect_MapClientEventToSimEvent(h, 207, "BEACON_LIGHTS_SET"); },
      Golden(276, 0x04).u32(16, 207).text(20, "BEACON_LIGHTS_SET"));
  add("TransmitClientEvent",
      [](SimConnection* h) { return SimConnect_TransmitClientEvent(h, 1001, 218, 0xDEADBEEF, 301, 7); },
      Golden(36, 0x05).u32(16, 1001).u32(20, 218).u32(24, 0xDEADBEEF).u32(28, 301).u32(32, 7));
  add("AddClientEventToNotificationGroup",
      [](SimConnection* h) { return SimConnect_AddClientEventToNotificationGroup(h, 301, 208, true); },
      Golden(28, 0x07).u32(16, 301).u32(20, 208).u32(24, 1));
  add("SetNotificationGroupPriority",
      [](SimConnection* h) { return SimConnect_SetNotificationGroupPriority(h, 301, 1); },
      Golden(24, 0x09).u32(16, 301).u32(20, 1));
  add("AddToDataDefinition",
      [](SimConnection* h) {
        return SimConnect_AddToDataDefinition(h, 402, "Plane Latitude", "degree", SimDataType::Float64, 0.5f,
                                              0xFFFFFFFFu);
      },
      Golden(544, 0x0C).u32(16, 402).text(20, "Plane Latitude").text(276, "degree").u32(532, 4).f32(536, 0.5f)
          .u32(540, 0xFFFFFFFFu));
  add("AddToDataDefinition without units",
      [](SimConnection* h) { return SimConnect_AddToDataDefinition(h, 407, "TITLE", nullptr, SimDataType::StringV); },
      Golden(544, 0x0C).u32(16, 407).text(20, "TITLE").u32(532, 11).u32(540, 0xFFFFFFFFu));
  add("RequestDataOnSimObject",
      [](SimConnection* h) { return SimConnect_RequestDataOnSimObject(h, 109, 403, 0, SimPeriod::Second, 5, 6, 7, 8); },
      Golden(48, 0x0E).u32(16, 109).u32(20, 403).u32(24, 0).u32(28, 4).u32(32, 5).u32(36, 6).u32(40, 7).u32(44, 8));
  add("RequestDataOnSimObjectType",
      [](SimConnection* h) { return SimConnect_RequestDataOnSimObjectType(h, 101, 404, 200000, SimObjectType::Aircraft); },
      Golden(32, 0x0F).u32(16, 101).u32(20, 404).u32(24, 200000).u32(28, 2));
  {
    Golden g(100, 0x10);
    g.u32(16, 402).u32(20, 1001).u32(24, 0).u32(28, 1).u32(32, 64);
    for (int i = 0; i < 8; ++i) g.f64(36 + 8 * i, positionValues[i]);
    add("SetDataOnSimObject, array count 0 written as 1",
        [](SimConnection* h) { return SimConnect_SetDataOnSimObject(h, 402, 1001, 0, 0, 64, positionValues); },
        std::move(g));
  }
  {
    Golden g(36 + 48, 0x10);
    g.u32(16, 401).u32(20, 1002).u32(24, 3).u32(28, 2).u32(32, 24);
    for (int i = 0; i < 6; ++i) g.f64(36 + 8 * i, throttleValues[i]);
    add("SetDataOnSimObject, two units",
        [](SimConnection* h) { return SimConnect_SetDataOnSimObject(h, 401, 1002, 3, 2, 24, throttleValues); },
        std::move(g));
  }
  add("AICreateNonATCAircraft, tail number at its limit",
      [](SimConnection* h) {
        return SimConnect_AICreateNonATCAircraft(h, "Boeing 737-800 Fake Air", tail11.c_str(), position, 104);
      },
      Golden(344, 0x29).text(16, "Boeing 737-800 Fake Air").text(272, tail11).f64(284, 47.25).f64(292, -122.5)
          .f64(300, 1234.5).f64(308, -2.5).f64(316, 1.25).f64(324, 359.75).u32(332, 1).u32(336, 140).u32(340, 104));
  add("AIReleaseControl", [](SimConnection* h) { return SimConnect_AIReleaseControl(h, 1001, 103); },
      Golden(24, 0x2B).u32(16, 1001).u32(20, 103));
  add("AIRemoveObject", [](SimConnection* h) { return SimConnect_AIRemoveObject(h, 1003, 105); },
      Golden(24, 0x2C).u32(16, 1003).u32(20, 105));
  add("AISetAircraftFlightPlan, path at its limit",
      [](SimConnection* h) { return SimConnect_AISetAircraftFlightPlan(h, 1001, path259.c_str(), 110); },
      Golden(284, 0x2D).u32(16, 1001).text(20, path259).u32(280, 110));
  return cases;
}

class GoldenBytes : public SimFixture {};

TEST_F(GoldenBytes, EveryPacketHasItsLayoutAndTheNextSendId) {
  open();
  auto cases = goldenCases();
  for (const auto& c : cases) ASSERT_EQ(c.call(handle), simOk) << c.name;
  ASSERT_TRUE(fake.waitFor([&] { return fake.packets().size() == cases.size() + 1; }));
  const auto packets = fake.packets();

  Golden open(296, 0x01);
  open.text(16, "Wendrix_P3D").u32(272, 0).u32(276, 0x50334400u).u32(280, 5).u32(284, 3);
  open.u32(12, 1);
  EXPECT_EQ(packets[0].bytes, open.bytes) << "Open";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    Golden expected = cases[i].expected;
    expected.u32(12, static_cast<std::uint32_t>(i + 2));
    EXPECT_EQ(packets[i + 1].bytes, expected.bytes) << cases[i].name;
  }
  std::uint32_t last = 0;
  ASSERT_EQ(SimConnect_GetLastSentPacketID(handle, &last), simOk);
  EXPECT_EQ(last, cases.size() + 1);
}

TEST_F(GoldenBytes, StringsLongerThanTheirFieldSendNothing) {
  open();
  const std::string name256(256, 'x');
  const std::string tail12 = "ABCDEFGHIJKL";
  const std::string path260(260, 'p');
  const std::vector<std::pair<const char*, std::function<SimConnectResult()>>> calls = {
      {"subscribe", [&] { return SimConnect_SubscribeToSystemEvent(handle, 1, name256.c_str()); }},
      {"map", [&] { return SimConnect_MapClientEventToSimEvent(handle, 1, name256.c_str()); }},
      {"variable", [&] { return SimConnect_AddToDataDefinition(handle, 1, name256.c_str(), "feet", SimDataType::Float64); }},
      {"units", [&] { return SimConnect_AddToDataDefinition(handle, 1, "A", name256.c_str(), SimDataType::Float64); }},
      {"title", [&] { return SimConnect_AICreateNonATCAircraft(handle, name256.c_str(), "T", position, 104); }},
      {"tail", [&] { return SimConnect_AICreateNonATCAircraft(handle, "T", tail12.c_str(), position, 104); }},
      {"path", [&] { return SimConnect_AISetAircraftFlightPlan(handle, 1, path260.c_str(), 110); }},
  };
  for (const auto& [what, call] : calls) EXPECT_EQ(call(), simStringTooLong) << what;
  ASSERT_EQ(SimConnect_AIRemoveObject(handle, 77, 105), simOk);
  ASSERT_TRUE(fake.waitForCount(SimFunction::AIRemoveObject, 1));
  const auto packets = fake.packets();
  ASSERT_EQ(packets.size(), 2u) << "only Open and the removal went out";
  EXPECT_EQ(packets[1].sendId, 2u);

  SimConnection* other = nullptr;
  EXPECT_EQ(SimConnect_Open(&other, name256.c_str(), nullptr, 0, nullptr, 0), simStringTooLong);
  EXPECT_EQ(other, nullptr);
}

TEST_F(GoldenBytes, SendIdSkipsZeroWhenItWraps) {
  open();
  handle->setSendCounter(0xFFFFFFFEu);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(SimConnect_AIReleaseControl(handle, 5, 103), simOk);
  ASSERT_TRUE(fake.waitForCount(SimFunction::AIReleaseControl, 3));
  const auto sent = fake.packets(SimFunction::AIReleaseControl);
  EXPECT_EQ(sent[0].sendId, 0xFFFFFFFFu);
  EXPECT_EQ(sent[1].sendId, 1u);
  EXPECT_EQ(sent[2].sendId, 2u);
  std::uint32_t last = 0;
  EXPECT_EQ(SimConnect_GetLastSentPacketID(handle, &last), simOk);
  EXPECT_EQ(last, 2u);
  EXPECT_EQ(SimConnect_GetLastSentPacketID(handle, nullptr), simFail);
  EXPECT_EQ(SimConnect_GetLastSentPacketID(nullptr, &last), simFail);
}

TEST(SimConnectArguments, OpenRejectsNullArgumentsAndCallsRejectNullHandles) {
  SimConnection* handle = nullptr;
  EXPECT_EQ(SimConnect_Open(nullptr, "x", nullptr, 0, nullptr, 0), simInvalidArg);
  EXPECT_EQ(SimConnect_Open(&handle, nullptr, nullptr, 0, nullptr, 0), simInvalidArg);
  EXPECT_EQ(SimConnect_Close(nullptr), simFail);
  EXPECT_EQ(SimConnect_CallDispatch(nullptr, nullptr, nullptr), simFail);
  EXPECT_EQ(SimConnect_AIRemoveObject(nullptr, 1, 2), simFail);
  EXPECT_EQ(SimConnect_SetDataOnSimObject(nullptr, 1, 2, 0, 0, 8, positionValues), simFail);
}

}  // namespace
