#pragma once
// Where the SimConnect library finds the simulator: SimConnect.cfg and the registry ports.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim_transport.hpp"

enum class SimProtocol { pipe, ipv4, ipv6 };

struct SimConnectConfig {
  SimProtocol protocol = SimProtocol::pipe;
  std::string address;
  std::string port;  // TCP port, or the pipe name for the pipe
  bool portFromRegistry = false;  // port is a family's registry port, not a "Port" key
  std::uint32_t maxReceiveSize = 41088;
  bool disableNagle = false;
};

inline constexpr const char* simDefaultPipeName = "Lockheed Martin Prepar3D v5\\SimConnect";

// The SimConnect.cfg files in reading order: public documents, the user's documents, the
// current folder (later files override earlier ones).
std::vector<std::filesystem::path> gf_simConnectCfgFiles();

// Reads the section of configuration index `index` ("SimConnect", "SimConnect.<n>") from the
// files into config. Returns 0, or 3 when an index other than 0 and -1 names a section that
// none of the files has. Index -1 (simConfigIndexNone) reads nothing.
int gf_readSimConnectConfig(std::uint32_t index, const std::vector<std::filesystem::path>& files,
                            SimConnectConfig& config);

// The simulator's SimConnect port of the family from the registry (HKEY_CURRENT_USER); false
// with an empty port when the key or value is missing or longer than nine characters.
bool lf_readSimConnectPorts(platform::TcpFamily family, std::string& port);

// The pipe path of the server ("." when empty) and pipe name (the default pipe when empty);
// empty when it would exceed 259 characters.
std::string gf_simPipePath(const std::string& server, const std::string& pipeName);
