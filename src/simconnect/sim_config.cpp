#include "simconnect/sim_config.hpp"

#include <cstdlib>

#include "foundation/format.hpp"
#include "platform/known_folders.hpp"
#include "platform/profile.hpp"
#include "platform/registry.hpp"

namespace {

constexpr std::size_t profileBufferChars = 2048;
constexpr std::size_t addressChars = 1023;
constexpr std::size_t portValueChars = 9;  // a 10-character buffer with its NUL

// The leading integer of a text, as the C library reads it (0 when none).
long long lf_integerValue(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

void lf_readCfgFile(const std::filesystem::path& file, const std::string& section, SimConnectConfig& config) {
  const auto read = [&](const char* key) {
    return platform::readProfileString(file, section, key, "", profileBufferChars);
  };
  const std::string protocol = read("Protocol");
  if (platform::profileNamesEqual(protocol, "Auto") || platform::profileNamesEqual(protocol, "Pipe")) {
    config.protocol = SimProtocol::pipe;
  } else if (platform::profileNamesEqual(protocol, "IPv4") || platform::profileNamesEqual(protocol, "IPv6")) {
    const bool v6 = platform::profileNamesEqual(protocol, "IPv6");
    config.protocol = v6 ? SimProtocol::ipv6 : SimProtocol::ipv4;
    // Without a port of its own the family's registry port is taken. A port from a "Port" key
    // stays; one that came from the registry for the other family is replaced (stacked files).
    if (config.port.empty() || config.portFromRegistry) {
      lf_readSimConnectPorts(v6 ? platform::TcpFamily::ipv6 : platform::TcpFamily::ipv4, config.port);
      config.portFromRegistry = !config.port.empty();
    }
  }
  if (const std::string address = read("Address"); !address.empty()) {
    config.address = address.substr(0, addressChars);
  }
  if (const std::string port = read("Port"); !port.empty()) {
    config.port = port;
    config.portFromRegistry = false;
  }
  if (const std::string size = read("MaxReceiveSize"); !size.empty()) {
    const long long value = lf_integerValue(size);
    if (value > static_cast<long long>(config.maxReceiveSize) && value <= 0xFFFFFFFFLL) {
      config.maxReceiveSize = static_cast<std::uint32_t>(value);
    }
  }
  if (const std::string nagle = read("DisableNagle"); !nagle.empty()) {
    config.disableNagle = lf_integerValue(nagle) != 0;
  }
}

}  // namespace

std::vector<std::filesystem::path> gf_simConnectCfgFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto folder : {platform::KnownFolder::PublicDocuments, platform::KnownFolder::Documents}) {
    if (const auto path = platform::knownFolder(folder)) files.push_back(*path / "SimConnect.cfg");
  }
  files.emplace_back("SimConnect.cfg");
  return files;
}

int gf_readSimConnectConfig(std::uint32_t index, const std::vector<std::filesystem::path>& files,
                            SimConnectConfig& config) {
  if (index == 0xFFFFFFFFu) return 0;
  const std::string section = index == 0 ? std::string("SimConnect") : wdrx::format("SimConnect.{}", index);
  if (index != 0) {
    bool found = false;
    for (const auto& file : files) found = found || platform::profileSectionExists(file, section);
    if (!found) return 3;
  }
  for (const auto& file : files) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec)) lf_readCfgFile(file, section, config);
  }
  return 0;
}

bool lf_readSimConnectPorts(platform::TcpFamily family, std::string& port) {
  port.clear();
  try {
    const RegistryKey key(platform::RegistryRoot::currentUser, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5");
    const std::u16string value =
        key.getStringValue(family == platform::TcpFamily::ipv6 ? u"SimConnect_Port_IPv6" : u"SimConnect_Port_IPv4");
    if (value.size() > portValueChars) return false;
    std::string text;
    for (const char16_t c : value) {
      if (c > 0x7F) return false;  // a port is plain digits; anything else cannot be one
      text.push_back(static_cast<char>(c));
    }
    port = text;
    return true;
  } catch (const winreg::RegException&) {
    return false;
  }
}

std::string gf_simPipePath(const std::string& server, const std::string& pipeName) {
  const std::string path = wdrx::format("\\\\{}\\pipe\\{}", server.empty() ? "." : server,
                                        pipeName.empty() ? simDefaultPipeName : pipeName);
  return path.size() <= 259 ? path : std::string{};
}
