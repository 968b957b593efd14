#pragma once
// A fresh folder, a fake simulator on loopback and the registry stand-in pointing at it.
#include <gtest/gtest.h>

#include <string>

#include "fakesim/fakesim.hpp"
#include "simconnect/simconnect.hpp"
#include "support/temp_dir.hpp"

namespace simtest {

// registry.ini in the data folder with the simulator's SimConnect ports (empty: no value).
void writeRegistryPorts(const std::string& ipv4Port, const std::string& ipv6Port);
std::string registryFileText(const std::string& ipv4Port, const std::string& ipv6Port);

struct Received {
  std::uint32_t id = 0;
  std::vector<std::byte> bytes;
};
// CallDispatch until `count` packets were dispatched in total (or 5 s passed).
bool dispatchUntil(SimConnection* handle, std::vector<Received>& received, std::size_t count);

class SimFixture : public ::testing::Test {
 protected:
  explicit SimFixture(fakesim::Options options = defaultOptions());
  ~SimFixture() override;
  // Opens a connection to the fake over IPv4 loopback; fails the test when it does not open.
  SimConnection* open(const char* name = "Wendrix_P3D");

  static fakesim::Options defaultOptions();

  wdrx::testing::TempDir dir;
  fakesim::FakeSim fake;
  SimConnection* handle = nullptr;
};

}  // namespace simtest
