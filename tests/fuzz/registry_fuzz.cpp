// The registry stand-in (registry.ini in the data folder): the simulator's SimConnect ports
// and the Prepar3D install keys and setup paths, as the program reads them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/paths.hpp"
#include "fuzz_support.hpp"
#include "simconnect/p3d_registry.hpp"
#include "simconnect/sim_config.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  wdrx::fuzz::writeFile(dataFolder / "registry.ini",
                        std::string_view(reinterpret_cast<const char*>(data), size));
  std::string port;
  lf_readSimConnectPorts(platform::TcpFamily::ipv4, port);
  lf_readSimConnectPorts(platform::TcpFamily::ipv6, port);
  for (const int major : {5, 6}) {
    gf_isP3Dinstalled(major);
    gf_getP3DSetupPath(major);
  }
  return 0;
}
