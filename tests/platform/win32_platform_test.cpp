// The Windows services against a real system (Wine): the simulator's named pipe served by
// fakesim.exe in its own process, the registry, known folders and profile files of the prefix
// that scripts/test-windows.sh prepared, wide paths, the socket library's start-up count and
// the program's strings.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <pugixml.hpp>

#include "foundation/files.hpp"
#include "foundation/text.hpp"
#include "foundation/xml_meta.hpp"
#include "platform/file_replace.hpp"
#include "platform/known_folders.hpp"
#include "platform/net.hpp"
#include "platform/profile.hpp"
#include "platform/registry.hpp"
#include "platform/resources.hpp"
#include "platform/sim_transport.hpp"
#include "program_info.h"
#include "simconnect/p3d_registry.hpp"
#include "simconnect/sim_config.hpp"
#include "simconnect/sim_fixture.hpp"
#include "support/registry_values.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using wdrx::testing::readFile;
using wdrx::testing::TempDir;
using wdrx::testing::writeFile;

std::wstring envWide(const wchar_t* name) {
  const wchar_t* value = ::_wgetenv(name);
  return value ? value : L"";
}

// A child process ended (and its handles closed) when the object goes.
class Child {
 public:
  explicit Child(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started_ = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                nullptr, nullptr, &startup, &info_) != 0;
  }
  ~Child() { kill(); }
  bool started() const { return started_; }
  void kill() {
    if (!started_) return;
    ::TerminateProcess(info_.hProcess, 1);
    ::WaitForSingleObject(info_.hProcess, 5000);
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
    started_ = false;
  }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

bool waitForPipe(const std::wstring& name) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (::WaitNamedPipeW(name.c_str(), 100)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST(NamedPipe, FakeSimInItsOwnProcessAnswersAndItsEndIsNoticed) {
  const std::wstring fakesim = envWide(L"WDRX_FAKESIM_EXE");
  if (fakesim.empty()) GTEST_SKIP() << "WDRX_FAKESIM_EXE names no fakesim.exe";
  TempDir dir;
  const std::string pipeName = "Wendrix test " + std::to_string(::GetCurrentProcessId());
  const std::wstring pipePath = L"\\\\.\\pipe\\" + std::wstring(pipeName.begin(), pipeName.end());
  Child sim(L"\"" + fakesim + L"\" --socket \"" + pipePath + L"\" --frame-ms 20");
  ASSERT_TRUE(sim.started());
  ASSERT_TRUE(waitForPipe(pipePath));
  writeFile(dir / "SimConnect.cfg", "[SimConnect]\nProtocol=Pipe\nPort=" + pipeName + "\n");

  SimConnection* handle = nullptr;
  ASSERT_EQ(SimConnect_Open(&handle, "Pipe test", nullptr, 0, nullptr, 0), simOk);
  ASSERT_NE(handle, nullptr);
  SimConnect_AddToDataDefinition(handle, 402, "Plane Latitude", "degree", SimDataType::Float64);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 109, 402, 0, SimPeriod::Once), simOk);
  std::vector<simtest::Received> received;
  ASSERT_TRUE(simtest::dispatchUntil(handle, received, 2));
  EXPECT_EQ(received[0].id, 2u) << "the Open answer comes first";
  EXPECT_EQ(received[1].id, 8u) << "then the data asked for";

  // The simulator goes away: the broken pipe fails the connection.
  sim.kill();
  SimConnectResult result = simOk;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (result == simOk && std::chrono::steady_clock::now() < deadline) {
    result = SimConnect_CallDispatch(handle, [](const SimRecv*, std::uint32_t, void*) {}, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_NE(result, simOk);
  SimConnect_Close(handle);
}

TEST(Tcp, TheLinuxFakeSimAnswersOverLoopback) {
  const std::wstring port = envWide(L"WDRX_LINUX_FAKESIM_PORT");
  if (port.empty()) GTEST_SKIP() << "no Linux fakesim runs (WDRX_LINUX_FAKESIM_PORT)";
  TempDir dir;
  writeFile(dir / "SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" +
                                        std::string(port.begin(), port.end()) + "\n");
  SimConnection* handle = nullptr;
  ASSERT_EQ(SimConnect_Open(&handle, "TCP test", nullptr, 0, nullptr, 0), simOk);
  SimConnect_AddToDataDefinition(handle, 402, "Plane Latitude", "degree", SimDataType::Float64);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 109, 402, 0, SimPeriod::Once), simOk);
  std::vector<simtest::Received> received;
  ASSERT_TRUE(simtest::dispatchUntil(handle, received, 2));
  EXPECT_EQ(received[0].id, 2u) << "the Open answer comes first";
  EXPECT_EQ(received[1].id, 8u) << "then the data asked for";
  SimConnect_Close(handle);
}

TEST(NamedPipe, AllInstancesTakenWaitsForOneToComeFree) {
  TempDir dir;
  const std::string name = "\\\\.\\pipe\\Wendrix busy " + std::to_string(::GetCurrentProcessId());
  const std::wstring wide(name.begin(), name.end());
  // One instance only, taken by a first client: a second client waits until it comes free.
  HANDLE server = ::CreateNamedPipeW(wide.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                     4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  std::thread accept([&] { ::ConnectNamedPipe(server, nullptr); });
  auto first = platform::connectSimPipe(name, {});
  ASSERT_TRUE(first.transport);
  accept.join();
  std::atomic<bool> served{false};
  std::thread freeUp([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    first.transport->close();
    ::DisconnectNamedPipe(server);
    ::ConnectNamedPipe(server, nullptr);
    served = true;
  });
  const auto second = platform::connectSimPipe(name, {});
  EXPECT_TRUE(second.transport) << "error " << second.osError;
  // A client that gave up leaves the server waiting: one more ends its wait.
  while (!second.transport && !served) {
    HANDLE late = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (late != INVALID_HANDLE_VALUE) {
      ::CloseHandle(late);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  freeUp.join();
  ::CloseHandle(server);
}

TEST(Registry, ValuesTheScriptAddedToThePrefix) {
  if (envWide(L"WDRX_WINE_REGISTRY") != L"prepared") GTEST_SKIP() << "the prefix was not prepared";
  wdrx::testing::useSystemRegistry();  // the prefix's own registry answers, not a test's scratch
  EXPECT_FALSE(gf_isP3Dinstalled(5));
  EXPECT_TRUE(gf_isP3Dinstalled(6));
  EXPECT_EQ(gf_getP3DSetupPath(6), u"C:\\Program Files\\Lockheed Martin\\Prepar3D v6 \u00e9\\");
  std::string port;
  EXPECT_TRUE(lf_readSimConnectPorts(platform::TcpFamily::ipv4, port));
  EXPECT_EQ(port, "500");
  EXPECT_FALSE(lf_readSimConnectPorts(platform::TcpFamily::ipv6, port)) << "ten characters do not fit";
  const RegistryKey key(platform::RegistryRoot::currentUser, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5");
  try {
    key.getStringValue(u"Number");
    ADD_FAILURE() << "a number is not a text";
  } catch (const winreg::RegException& e) {
    EXPECT_NE(e.code().value(), 0);
  }
  EXPECT_THROW(RegistryKey(platform::RegistryRoot::localMachine, u"SOFTWARE\\No such key"), winreg::RegException);
}

TEST(KnownFolders, ThePrefixsFoldersAndTheDataFolder) {
  const auto roaming = platform::knownFolder(platform::KnownFolder::RoamingAppData);
  ASSERT_TRUE(roaming);
  EXPECT_EQ(*roaming, fs::path(envWide(L"APPDATA")));
  const auto documents = platform::knownFolder(platform::KnownFolder::Documents);
  ASSERT_TRUE(documents);
  EXPECT_TRUE(fs::is_directory(*documents));
  const auto programFiles = platform::knownFolder(platform::KnownFolder::ProgramFiles);
  ASSERT_TRUE(programFiles);
  EXPECT_EQ(*programFiles, fs::path(envWide(L"ProgramFiles")));
  EXPECT_TRUE(platform::knownFolder(platform::KnownFolder::PublicDocuments));
  EXPECT_EQ(gf_appDataPath(), *roaming);
}

TEST(WidePaths, FoldersAndFilesWithLettersBeyondTheCodePage) {
  TempDir dir;
  const fs::path folder = dir.path() / L"\u0416\u00e9\u4e2d data";
  fs::create_directories(folder);
  ::_wputenv_s(L"WDRX_DATA_DIR", folder.c_str());
  EXPECT_EQ(platform::programDataFolder({}), folder);
  const fs::path cfg = folder / L"Sim\u0416.cfg";
  writeFile(cfg, "[SimConnect]\nPort=\"4711\"\n");
  EXPECT_TRUE(platform::profileSectionExists(cfg, "simconnect"));
  EXPECT_EQ(platform::findProfileValue(cfg, "SimConnect", "port"), "4711");
  EXPECT_EQ(platform::readProfileString(cfg, "SimConnect", "Missing", "dflt", 16), "dflt");
  EXPECT_EQ(platform::readProfileString(cfg, "SimConnect", "Port", "", 3), "47") << "cut as a buffer of 3";
  std::vector<std::string> lines;
  writeFile(folder / L"\u00fcbung.txt", "eins\r\nzwei\r\n");
  const fs::path text = folder / L"\u00fcbung.txt";
  EXPECT_TRUE(gf_readLinesWithCharset(gf_detectCharset(text), text, lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"eins", "zwei"}));

  pugi::xml_document document;
  document.append_child("root").append_attribute("name").set_value("\xC3\xA9");
  EXPECT_TRUE(gf_saveXmlWithDeclaration(document, folder / L"\u0416.xml"));
  pugi::xml_document back;
  EXPECT_TRUE(back.load_file((folder / L"\u0416.xml").c_str()));
  EXPECT_STREQ(back.child("root").attribute("name").value(), "\xC3\xA9");
  EXPECT_NE(gf_newVersionNotice(folder).find("A new version is available"), std::string::npos)
      << "an install folder of any letters";
}

TEST(Profile, Utf16FilesAndMissingKeys) {
  TempDir dir;
  const auto file = dir / "p.ini";
  const std::u16string text = u"\uFEFF[S]\r\nK=\u00e9t\u00e9\r\nEmpty=\r\n";
  writeFile(file, std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
  EXPECT_EQ(platform::findProfileValue(file, "s", "k"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(platform::findProfileValue(file, "S", "Empty"), "") << "present but empty";
  EXPECT_FALSE(platform::findProfileValue(file, "S", "None"));
  EXPECT_FALSE(platform::findProfileValue(file, "T", "K"));
  EXPECT_FALSE(platform::profileSectionExists(dir / "missing.ini", "S"));
}

// This executable carries the program's resources too.
TEST(Resources, StringsFromTheExecutablesTable) {
  EXPECT_EQ(platform::loadResourceString(WDRX_TITLE_STRING_ID, 100), u"Wendrix_P3D");
  EXPECT_EQ(platform::loadResourceString(WDRX_TITLE_STRING_ID, 4), u"Wen") << "cut to the buffer";
  EXPECT_FALSE(platform::loadResourceString(WDRX_TITLE_STRING_ID + 1, 100));
}

TEST(Sockets, ACleanUpWithoutAStartUpEndsNothing) {
  const int before = platform::gf_netStartupCount();
  {
    platform::NetSession session;
    ASSERT_EQ(session.error(), 0);
    EXPECT_EQ(platform::gf_netStartupCount(), before + 1);
    platform::UdpSocket socket;
    ASSERT_EQ(socket.open(), 0);
    ASSERT_EQ(socket.bind(0, true), 0);
    EXPECT_NE(socket.localPort(), 0);
  }
  EXPECT_EQ(platform::gf_netStartupCount(), before);
  for (int i = 0; i < before + 2; ++i) platform::gf_netCleanup();  // strays: nothing to end
  EXPECT_EQ(platform::gf_netStartupCount(), 0);
  platform::NetSession again;
  EXPECT_EQ(platform::gf_netStartupCount(), 1);
}

// A reader that opened the file as the C runtime does, without sharing its deletion, holds
// off the replacement: the save waits for it instead of being lost. Copying over a file that
// is there works too (the C++ runtime's copy refuses it on Windows).
TEST(FileReplace, AReaderHoldsOffTheReplacementUntilItCloses) {
  TempDir dir;
  writeFile("settings.xml", "old");
  writeFile("settings.tmp", "new");
  auto reader = std::make_unique<std::ifstream>("settings.xml");
  ASSERT_TRUE(reader->is_open());
  std::error_code moved = std::make_error_code(std::errc::interrupted);
  std::thread mover([&moved] { moved = platform::moveFileOver("settings.tmp", "settings.xml"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the first attempts meet the reader
  reader.reset();
  mover.join();
  EXPECT_FALSE(moved) << moved.message();
  EXPECT_EQ(readFile("settings.xml"), "new");

  writeFile("copy.xml", "copied");
  EXPECT_FALSE(platform::copyFileOver("copy.xml", "settings.xml"));
  EXPECT_EQ(readFile("settings.xml"), "copied");
}

}  // namespace
