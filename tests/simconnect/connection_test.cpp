// A connection to the fake simulator: answers through CallDispatch, faults and concurrency.
#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim_transport.hpp"
#include "sim_fixture.hpp"

namespace {

using simtest::dispatchUntil;
using simtest::Received;
using simtest::SimFixture;

template <typename Record>
const Record& as(const Received& packet) {
  return *reinterpret_cast<const Record*>(packet.bytes.data());
}

class SimConnectionTest : public SimFixture {};

TEST_F(SimConnectionTest, OpenRequestsAnswersAndCloseInOrder) {
  fake.setUserValue("Plane Latitude", 47.5);
  fake.setUserValue("SIM ON GROUND", 1);
  fake.setUserText("TITLE", "Fake Cessna");
  open();
  SimConnect_SubscribeToSystemEvent(handle, 201, "Sim");
  SimConnect_AddToDataDefinition(handle, 409, "SIM ON GROUND", "Bool", SimDataType::Int64);
  SimConnect_AddToDataDefinition(handle, 407, "TITLE", nullptr, SimDataType::StringV);
  SimConnect_AddToDataDefinition(handle, 402, "Plane Latitude", "degree", SimDataType::Float64);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 108, 409, 0, SimPeriod::Once), simOk);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 106, 407, 0, SimPeriod::Once), simOk);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 109, 402, 0, SimPeriod::Once), simOk);

  std::vector<Received> received;
  ASSERT_TRUE(dispatchUntil(handle, received, 5));
  ASSERT_EQ(received[0].id, 2u);
  const auto& openAnswer = as<SimRecvOpen>(received[0]);
  EXPECT_EQ(simFieldText(openAnswer.applicationName), "Lockheed Martin\xAE Prepar3D\xAE v5");
  EXPECT_EQ(openAnswer.versionMajor, 5u);
  ASSERT_EQ(received[1].id, 4u);
  EXPECT_EQ(as<SimRecvEvent>(received[1]).eventId, 201u);
  EXPECT_EQ(as<SimRecvEvent>(received[1]).data, 1u);

  std::int64_t onGround = 0;
  double latitude = 0;
  for (int i = 2; i < 5; ++i) {
    ASSERT_EQ(received[i].id, 8u);
    const auto& data = as<SimRecvSimObjectData>(received[i]);
    EXPECT_EQ(data.objectId, 1u);
    const std::byte* values = simObjectData(&data);
    const auto size = static_cast<std::uint32_t>(received[i].bytes.size());
    if (data.requestId == 108) std::memcpy(&onGround, values, 8);
    if (data.requestId == 109) std::memcpy(&latitude, values, 8);
    if (data.requestId == 106) {
      EXPECT_EQ(simFieldText(reinterpret_cast<const char*>(values), simObjectDataBytes(size)), "Fake Cessna");
    }
  }
  EXPECT_EQ(onGround, 1);
  EXPECT_EQ(latitude, 47.5);

  EXPECT_EQ(SimConnect_Close(handle), simOk);
  handle = nullptr;
  EXPECT_TRUE(fake.waitFor([&] { return fake.connectionsOpen() == 0; }));
  const auto packets = fake.packets();
  ASSERT_EQ(packets.size(), 8u);
  for (std::size_t i = 0; i < packets.size(); ++i) EXPECT_EQ(packets[i].sendId, i + 1);
}

// Close sends what is still queued before it disconnects: removals and the last positions of
// a closing run must reach the simulator.
TEST_F(SimConnectionTest, CloseWritesTheQueuedPacketsFirst) {
  open();
  constexpr std::uint32_t count = 3000;
  double values[8] = {};
  for (std::uint32_t i = 0; i < count; ++i) {
    values[0] = i;
    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 1000, 0, 0, 64, values), simOk);
  }
  EXPECT_EQ(SimConnect_Close(handle), simOk);
  handle = nullptr;
  ASSERT_TRUE(fake.waitFor([&] { return fake.connectionsOpen() == 0; }));
  const auto packets = fake.packets();
  ASSERT_EQ(packets.size(), 1u + count);
  EXPECT_EQ(packets.back().sendId, 1u + count);
  EXPECT_EQ(packets.back().doubles().front(), count - 1.0);
}

TEST_F(SimConnectionTest, AfterThePeerClosesEveryCallFails) {
  open();
  std::vector<Received> received;
  ASSERT_TRUE(dispatchUntil(handle, received, 1));
  fake.closeConnections();
  const auto start = std::chrono::steady_clock::now();
  SimConnectResult dispatch = simOk;
  while (dispatch == simOk && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    dispatch = SimConnect_CallDispatch(handle, nullptr, nullptr);
  }
  EXPECT_LT(dispatch, 0);
  const double data[8] = {};
  const SimConnectResult results[] = {
      SimConnect_SetDataOnSimObject(handle, 402, 1001, 0, 0, 64, data),
      SimConnect_AICreateNonATCAircraft(handle, "T", "C", SimInitPosition{}, 104),
      SimConnect_AICreateNonATCAircraft(handle, std::string(300, 'x').c_str(), "C", SimInitPosition{}, 104),
      SimConnect_AIRemoveObject(handle, 1001, 105),
      SimConnect_RequestDataOnSimObject(handle, 109, 403, 0, SimPeriod::Once),
      SimConnect_TransmitClientEvent(handle, 1001, 207, 1, 301, 0),
      SimConnect_CallDispatch(handle, nullptr, nullptr),
  };
  for (const SimConnectResult result : results) EXPECT_EQ(result, dispatch);
}

TEST_F(SimConnectionTest, ShortAndMalformedPacketsAreDroppedAndTheStreamGoesOn) {
  open();
  std::vector<Received> received;
  ASSERT_TRUE(dispatchUntil(handle, received, 1));
  fake.sendRaw(fakesim::FakeSim::makePacket(SimRecvId::Exception, 16));  // needs 24
  fake.sendRaw(fakesim::FakeSim::makePacket(SimRecvId::Open, 200));      // needs 284
  fake.sendRaw(fakesim::FakeSim::makePacket(SimRecvId::SimObjectData, 36));
  fake.sendRaw(fakesim::FakeSim::makePacket(SimRecvId::Null, 8));        // below 12 bytes
  // Zero padding, then a packet whose size is a multiple of 256.
  auto padded = std::vector<std::byte>(8, std::byte{0});
  auto data = fakesim::FakeSim::makePacket(SimRecvId::SimObjectData, 256);
  padded.insert(padded.end(), data.begin(), data.end());
  fake.sendRaw(padded);
  fake.sendQuit();
  ASSERT_TRUE(dispatchUntil(handle, received, 3));
  EXPECT_EQ(received[1].id, 8u);
  EXPECT_EQ(received[1].bytes.size(), 256u);
  EXPECT_EQ(received[2].id, 3u);
  EXPECT_EQ(SimConnect_CallDispatch(handle, nullptr, nullptr), simOk);
  EXPECT_EQ(received.size(), 3u);
}

TEST_F(SimConnectionTest, SplitAndBatchedWritesArriveWholeAndInOrder) {
  open();
  SimConnect_SubscribeToSystemEvent(handle, 204, "Frame");
  SimConnect_SubscribeToSystemEvent(handle, 202, "ObjectAdded");
  ASSERT_TRUE(fake.waitForCount(SimFunction::SubscribeToSystemEvent, 2));
  fake.setSplitWrites(5);
  fake.sendFrame();
  fake.setSplitWrites(0);
  fake.beginBatch();
  fake.sendFrame();
  fake.addObject("Some Airliner", "N123");
  fake.sendException(22, 17, 1);
  fake.endBatch();
  std::vector<Received> received;
  ASSERT_TRUE(dispatchUntil(handle, received, 5));
  EXPECT_EQ(received[1].id, 7u);
  EXPECT_EQ(received[2].id, 7u);
  ASSERT_EQ(received[3].id, 5u);
  EXPECT_EQ(as<SimRecvObjectAddRemove>(received[3]).eventId, 202u);
  EXPECT_EQ(as<SimRecvObjectAddRemove>(received[3]).objectId, 1000u);
  EXPECT_EQ(as<SimRecvObjectAddRemove>(received[3]).objectType, 2u);
  ASSERT_EQ(received[4].id, 1u);
  EXPECT_EQ(as<SimRecvException>(received[4]).exception, 22u);
  EXPECT_EQ(as<SimRecvException>(received[4]).sendId, 17u);
}

TEST_F(SimConnectionTest, APacketAboveTheMaximumFailsTheConnection) {
  open();
  auto huge = fakesim::FakeSim::makePacket(SimRecvId::Event, 24);
  const std::uint32_t size = 50000;
  std::memcpy(huge.data(), &size, 4);
  fake.sendRaw(huge);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  SimConnectResult result = simOk;
  while (result == simOk && std::chrono::steady_clock::now() < deadline) {
    result = SimConnect_CallDispatch(handle, nullptr, nullptr);
  }
  EXPECT_EQ(result, simAborted);
  EXPECT_EQ(SimConnect_AIRemoveObject(handle, 1, 105), simAborted);
  // A failed connection is disconnected at once: the simulator sees it go before any Close.
  EXPECT_TRUE(fake.waitFor([&] { return fake.connectionsOpen() == 0; }));
}

TEST_F(SimConnectionTest, ConcurrentCallersNeverInterleaveAndCreationsKnowTheirSendId) {
  open();
  constexpr int perThread = 300;
  std::atomic<bool> go{false};
  std::vector<std::vector<std::pair<std::string, std::uint32_t>>> created(2);
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      double values[8] = {};
      for (int i = 0; i < perThread; ++i) {
        values[0] = t * 1000 + i;
        SimConnect_SetDataOnSimObject(handle, 402, 1000 + t, 0, 0, 64, values);
        const std::string title = "T" + std::to_string(t) + "-" + std::to_string(i);
        std::uint32_t sendId = 0;
        ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, title.c_str(), "C", SimInitPosition{}, 104, &sendId), simOk);
        std::uint32_t last = 0;
        SimConnect_GetLastSentPacketID(handle, &last);
        EXPECT_EQ(last, sendId);
        created[t].emplace_back(title, sendId);
      }
    });
  }
  go = true;
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(fake.waitFor([&] { return fake.packets().size() == 1 + 4 * perThread; }, std::chrono::seconds(20)));
  std::set<std::uint32_t> ids;
  std::map<std::string, std::uint32_t> sentIds;
  for (const auto& packet : fake.packets()) {
    EXPECT_FALSE(packet.malformed) << packet.describe();
    ids.insert(packet.sendId);
    if (packet.is(SimFunction::AICreateNonATCAircraft)) sentIds[packet.name] = packet.sendId;
  }
  EXPECT_EQ(ids.size(), 1u + 4 * perThread);
  EXPECT_EQ(*ids.begin(), 1u);
  EXPECT_EQ(*ids.rbegin(), 1u + 4 * perThread);
  for (const auto& list : created) {
    for (const auto& [title, sendId] : list) EXPECT_EQ(sentIds[title], sendId) << title;
  }
}

// Closing waits for a simulator that takes the queue slowly but steadily, for longer than the
// second it would wait for one that takes nothing: the last packets of a run are not cut off,
// over TCP and over the pipe (whose buffer holds far less than the queue).
TEST(SimTransportClose, ASlowReaderGetsTheWholeQueue) {
  const wdrx::testing::TempDir dir;
  const std::string pipeName = "\\\\.\\pipe\\wdrx-slow-reader-" + dir.path().filename().string();
  for (const auto kind : {platform::SimTransportKind::tcp, platform::SimTransportKind::pipe}) {
    SCOPED_TRACE(kind == platform::SimTransportKind::tcp ? "tcp" : "pipe");
    const bool tcp = kind == platform::SimTransportKind::tcp;
    std::string why;
    const auto listener = tcp ? platform::listenTcp("127.0.0.1", 0, why)
                              : platform::listenLocal(platform::pipeSocketPath(pipeName, dir.path()), why);
    ASSERT_TRUE(listener) << why;
    auto attempt = tcp ? platform::connectSimTcp(platform::TcpFamily::ipv4, "127.0.0.1",
                                                 std::to_string(listener->port()), true)
                       : platform::connectSimPipe(pipeName, dir.path());
    ASSERT_TRUE(attempt.transport) << attempt.osError;
    const auto peer = listener->accept(std::chrono::seconds(10));
    ASSERT_TRUE(peer);
    struct Sink final : platform::SimTransportSink {
      std::byte space[4096];
      std::span<std::byte> receiveSpace() override { return space; }
      bool received(std::size_t) override { return true; }
      void disconnected(platform::DisconnectReason, int) override {}
    } sink;
    attempt.transport->start(sink);

    // More than the loopback buffers hold, read at about 2.5 MB a second.
    std::vector<std::byte> queued(8u << 20);
    for (std::size_t i = 0; i < queued.size(); ++i) queued[i] = static_cast<std::byte>(i % 251);
    ASSERT_TRUE(attempt.transport->write(queued.data(), queued.size()));
    std::vector<std::byte> got;
    std::thread reader([&] {
      std::vector<std::byte> chunk(128u << 10);
      for (long n; (n = peer->read(chunk.data(), chunk.size())) > 0;) {
        got.insert(got.end(), chunk.begin(), chunk.begin() + n);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the slow simulator's pace
      }
      peer->shutdown();  // as a simulator ends its side when ours has ended
    });
    attempt.transport->close();
    reader.join();
    EXPECT_EQ(got.size(), queued.size());
    EXPECT_TRUE(got == queued);
  }
}

}  // namespace
