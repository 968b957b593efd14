// SimConnect.cfg, the registry stand-in and the order in which the library opens a connection.
#include <gtest/gtest.h>

#include "fakesim/fakesim.hpp"
#include "foundation/format.hpp"
#include "foundation/paths.hpp"
#include "platform/profile.hpp"
#include "platform/sim_transport.hpp"
#include "sim_fixture.hpp"
#include "simconnect/p3d_registry.hpp"
#include "simconnect/sim_config.hpp"
#include "support/registry_values.hpp"
#include "support/temp_dir.hpp"

namespace {

using wdrx::testing::TempDir;
using wdrx::testing::writeFile;

struct CfgFolders {
  std::filesystem::path publicDocs, documents, current;
};

CfgFolders cfgFiles(const TempDir& dir) {
  return {dir / "home/Public/SimConnect.cfg", dir / "home/SimConnect.cfg", dir / "SimConnect.cfg"};
}

// The files in the order of gf_simConnectCfgFiles (the posix known folders under HOME).
SimConnectConfig readConfig(const CfgFolders& files, std::uint32_t index, int* status = nullptr) {
  SimConnectConfig config;
  const int result = gf_readSimConnectConfig(index, {files.publicDocs, files.documents, files.current}, config);
  if (status) *status = result;
  return config;
}

TEST(SimConnectCfg, KnownFoldersThenTheCurrentFolder) {
  TempDir dir;
  const auto files = cfgFiles(dir);
  EXPECT_EQ(gf_simConnectCfgFiles(),
            (std::vector<std::filesystem::path>{files.publicDocs, files.documents, "SimConnect.cfg"}));
}

TEST(SimConnectCfg, FilesAreReadPublicThenDocumentsThenCurrentFolder) {
  TempDir dir;
  const auto files = cfgFiles(dir);
  writeFile(files.publicDocs,
            "[SimConnect]\nProtocol=IPv4\nAddress=10.0.0.1\nPort=1111\nMaxReceiveSize=50000\n");
  writeFile(files.documents, "; user settings\n[simconnect]\nport = 2222\nmaxreceivesize=45000\n");
  writeFile(files.current, "[SimConnect]\nAddress=\"127.0.0.1\"\nDisableNagle=1\n[SimConnect.1]\nPort=9\n");
  int status = -1;
  const SimConnectConfig config = readConfig(files, 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(config.protocol, SimProtocol::ipv4);
  EXPECT_EQ(config.address, "127.0.0.1");
  EXPECT_EQ(config.port, "2222");
  EXPECT_EQ(config.maxReceiveSize, 50000u) << "MaxReceiveSize is only raised";
  EXPECT_TRUE(config.disableNagle);
}

TEST(SimConnectCfg, IndexesPickSectionsAndMissingOnesFail) {
  TempDir dir;
  const auto files = cfgFiles(dir);
  writeFile(files.documents, "[SimConnect]\nProtocol=IPv6\nPort=1\n[SimConnect.2]\nProtocol=IPv4\nPort=2\nMaxReceiveSize=100\n");
  int status = -1;
  SimConnectConfig config = readConfig(files, 2, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(config.protocol, SimProtocol::ipv4);
  EXPECT_EQ(config.port, "2");
  EXPECT_EQ(config.maxReceiveSize, 41088u);
  readConfig(files, 3, &status);
  EXPECT_EQ(status, 3);
  config = readConfig(files, simConfigIndexNone, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(config.protocol, SimProtocol::pipe) << "index -1 reads no file";
  EXPECT_TRUE(config.port.empty());
}

TEST(SimConnectCfg, ProtocolWithoutPortTakesTheRegistryPortAndAHeldPortStays) {
  TempDir dir;
  simtest::writeRegistryPorts("5001", "5002");
  const auto files = cfgFiles(dir);
  writeFile(files.current, "[SimConnect]\nProtocol=IPv6\n");
  EXPECT_EQ(readConfig(files, 0).port, "5002");
  writeFile(files.current, "[SimConnect]\nProtocol=IPv4\n");
  EXPECT_EQ(readConfig(files, 0).port, "5001");
  writeFile(files.documents, "[SimConnect]\nProtocol=IPv6\n");
  EXPECT_EQ(readConfig(files, 0).port, "5001") << "a later file's family takes its own registry port";
  writeFile(files.documents, "[SimConnect]\nPort=7000\n");
  EXPECT_EQ(readConfig(files, 0).port, "7000");
  writeFile(files.current, "[SimConnect]\nProtocol=Something\n");
  EXPECT_EQ(readConfig(files, 0).protocol, SimProtocol::pipe) << "unknown protocols change nothing";
}

TEST(SimConnectRegistry, PortsAndInstallationsComeFromRegistryIni) {
  TempDir dir;
  std::string port;
  EXPECT_FALSE(lf_readSimConnectPorts(platform::TcpFamily::ipv4, port)) << "no registry.ini";
  EXPECT_FALSE(gf_isP3Dinstalled(5));
  EXPECT_TRUE(gf_getP3DSetupPath(6).empty());

  wdrx::testing::writeRegistry(
            simtest::registryFileText("500", "1234567890") +
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\nSetupPath=C:\\Sims\\P3D v6\\\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5\\Other]\nSetupPath=x\n");
  EXPECT_TRUE(lf_readSimConnectPorts(platform::TcpFamily::ipv4, port));
  EXPECT_EQ(port, "500");
  port = "stale";
  EXPECT_FALSE(lf_readSimConnectPorts(platform::TcpFamily::ipv6, port)) << "ten characters do not fit";
  EXPECT_TRUE(port.empty());
#ifndef _WIN32
  // The stand-in only: in the real registry a subkey's parent exists.
  EXPECT_FALSE(gf_isP3Dinstalled(5)) << "a subkey is not the key";
#endif
  EXPECT_TRUE(gf_isP3Dinstalled(6));
  EXPECT_EQ(gf_getP3DSetupPath(6), u"C:\\Sims\\P3D v6\\");

  wdrx::testing::writeRegistry(
            "[hkey_local_machine\\software\\lockheed martin\\prepar3d v5]\nSetupPath=dword:00000005\n");
  EXPECT_TRUE(gf_isP3Dinstalled(5)) << "key paths compare without regard to case";
  EXPECT_TRUE(gf_getP3DSetupPath(5).empty()) << "a number is not a path";
}

TEST(ProfileReader, ReadsAsThePrivateProfileFunctions) {
  TempDir dir;
  const auto file = dir / "a.ini";
  // UTF-16LE with BOM, a value with an unpaired surrogate, a second section of the same name.
  const std::u16string text =
      u"[S]\r\nK= \u00e9 x \r\n;K=comment\r\nL=" + std::u16string(1, char16_t{0xD800}) + u"z\r\n[S]\r\nK=second\r\n";
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  writeFile(file, bytes);
  EXPECT_EQ(platform::readProfileString(file, "s", "k", "d", 2048), "\xC3\xA9 x");
  EXPECT_EQ(platform::readProfileString(file, "S", "L", "d", 2048), "\xEF\xBF\xBDz") << "unpaired surrogate";
  EXPECT_EQ(platform::readProfileString(file, "S", "missing", "d", 2048), "d");
  EXPECT_EQ(platform::readProfileString(file, "S", "K", "d", 3), "\xC3\xA9 ") << "cut to the buffer";
  EXPECT_EQ(platform::readProfileString(dir / "none.ini", "S", "K", "d", 10), "d");
  EXPECT_TRUE(platform::profileSectionExists(file, "S"));
  EXPECT_FALSE(platform::profileSectionExists(file, "T"));
}

// --- opening order against fake simulators

fakesim::Options fakeOptions(bool tcp4, bool tcp6, std::filesystem::path socket = {}) {
  fakesim::Options options;
  options.tcp4 = tcp4;
  options.tcp6 = tcp6;
  options.socketPath = std::move(socket);
  options.secondInterval = std::chrono::milliseconds(0);
  return options;
}

std::filesystem::path pipeSocket(const std::string& pipeName = simDefaultPipeName) {
  return platform::pipeSocketPath(gf_simPipePath(".", pipeName), dataFolder);
}

// Opens, checks which fake got the Open packet, closes.
void expectOpenReaches(fakesim::FakeSim& target, std::uint32_t index = 0) {
  SimConnection* handle = nullptr;
  ASSERT_EQ(SimConnect_Open(&handle, "Order", nullptr, 0, nullptr, index), simOk);
  EXPECT_TRUE(target.waitForCount(SimFunction::Open, 1));
  SimConnect_Close(handle);
}

std::uint16_t closedPort() {
  fakesim::FakeSim gone(fakeOptions(true, false));
  gone.start();
  const auto port = gone.port();
  gone.stop();
  return port;
}

TEST(SimConnectOpen, PipeComesFirstThenIPv6ThenIPv4) {
  TempDir dir;
  fakesim::FakeSim pipe(fakeOptions(false, false, pipeSocket()));
  fakesim::FakeSim v6(fakeOptions(false, true));
  fakesim::FakeSim v4(fakeOptions(true, false));
  ASSERT_TRUE(v6.start());
  ASSERT_TRUE(v4.start());
  simtest::writeRegistryPorts(std::to_string(v4.port()), std::to_string(v6.port6()));
  ASSERT_TRUE(pipe.start());
  expectOpenReaches(pipe);
  pipe.stop();
  expectOpenReaches(v6);
  v6.stop();
  expectOpenReaches(v4);
  EXPECT_EQ(pipe.count(SimFunction::Open) + v6.count(SimFunction::Open), 2u);
  v4.stop();
  SimConnection* handle = nullptr;
  EXPECT_EQ(SimConnect_Open(&handle, "Order", nullptr, 0, nullptr, 0), simFail) << "nobody listens";
  EXPECT_EQ(handle, nullptr);
}

TEST(SimConnectOpen, CfgTcpFailureOnLoopbackFallsBackToThePipe) {
  TempDir dir;
  fakesim::FakeSim pipe(fakeOptions(false, false, pipeSocket()));
  writeFile(dir / "SimConnect.cfg",
            wdrx::format("[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort={}\n", closedPort()));
  ASSERT_TRUE(pipe.start());
  expectOpenReaches(pipe);
}

TEST(SimConnectOpen, CfgSectionsChooseProtocolNamedPipeAndRegistryPort) {
  TempDir dir;
  fakesim::FakeSim v4(fakeOptions(true, false));
  fakesim::FakeSim named(fakeOptions(false, false, pipeSocket("My Sim\\Pipe")));
  ASSERT_TRUE(v4.start());
  ASSERT_TRUE(named.start());
  simtest::writeRegistryPorts(std::to_string(v4.port()), "");
  writeFile(dir / "SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\n[SimConnect.1]\nProtocol=Pipe\nPort=My Sim\\Pipe\n");
  expectOpenReaches(v4, 0);  // a protocol without a port still connects, on the registry port
  expectOpenReaches(named, 1);
  SimConnection* handle = nullptr;
  EXPECT_EQ(SimConnect_Open(&handle, "x", nullptr, 0, nullptr, 4), simInvalidArg);
}

}  // namespace
