#include "sim_fixture.hpp"

#include <chrono>
#include <thread>

#include "foundation/paths.hpp"
#include "support/registry_values.hpp"

namespace simtest {

std::string registryFileText(const std::string& ipv4Port, const std::string& ipv6Port) {
  std::string text = "[HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n";
  if (!ipv4Port.empty()) text += "SimConnect_Port_IPv4=" + ipv4Port + "\n";
  if (!ipv6Port.empty()) text += "SimConnect_Port_IPv6=" + ipv6Port + "\n";
  return text;
}

void writeRegistryPorts(const std::string& ipv4Port, const std::string& ipv6Port) {
  wdrx::testing::writeRegistry(registryFileText(ipv4Port, ipv6Port));
}

namespace {
void lf_collect(const SimRecv* packet, std::uint32_t size, void* context) {
  auto* received = static_cast<std::vector<Received>*>(context);
  const auto* bytes = reinterpret_cast<const std::byte*>(packet);
  received->push_back({packet->id, std::vector<std::byte>(bytes, bytes + size)});
}
}  // namespace

bool dispatchUntil(SimConnection* handle, std::vector<Received>& received, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (received.size() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    SimConnect_CallDispatch(handle, lf_collect, &received);
    if (received.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

fakesim::Options SimFixture::defaultOptions() {
  fakesim::Options options;
  options.secondInterval = std::chrono::milliseconds(0);
  return options;
}

SimFixture::SimFixture(fakesim::Options options) : fake(std::move(options)) {
  std::string error;
  if (!fake.start(&error)) ADD_FAILURE() << "fake simulator: " << error;
  writeRegistryPorts(std::to_string(fake.port()), "");
}

SimFixture::~SimFixture() {
  if (handle != nullptr) SimConnect_Close(handle);
  fake.stop();
}

SimConnection* SimFixture::open(const char* name) {
  const std::size_t opens = fake.count(SimFunction::Open);
  const SimConnectResult result = SimConnect_Open(&handle, name, nullptr, 0, nullptr, 0);
  EXPECT_EQ(result, simOk);
  EXPECT_NE(handle, nullptr);
  // The fake knows the connection once it has the Open packet: pushes reach it from then on.
  EXPECT_TRUE(fake.waitForCount(SimFunction::Open, opens + 1));
  return handle;
}

}  // namespace simtest
