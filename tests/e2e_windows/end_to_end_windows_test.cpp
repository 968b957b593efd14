// The Windows program as a process under Wine, with fakesim.exe sending frames and
// faketraffic.exe replaying three aircraft near Schiphol: a second copy ends at once, the
// aircraft are created, moved and removed, the main window is captured as PNG (bands and lamps
// checked at known points) and the program closes cleanly when its window is closed. Its file
// carries the icon, the title string and the version information.
#include <gtest/gtest.h>

#include <windows.h>
#include <winver.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "encrypt/encrypt.hpp"
#include "platform/known_folders.hpp"
#include "platform/net.hpp"
#include "platform/utf.hpp"
#include "platform/window_system.hpp"
#include "program_info.h"
#include "support/env.hpp"
#include "support/simulator_record.hpp"
#include "support/temp_dir.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The build's paths are the build machine's ("/work/..."); Wine shows that root as drive Z:.
fs::path windowsPath(const std::string& path) {
  if (path.empty() || path.front() != '/') return fs::path(path);
  std::string converted = "Z:" + path;
  for (char& c : converted)
    if (c == '/') c = '\\';
  return fs::path(converted);
}

std::wstring wide(const std::string& utf8) {
  const auto text = platform::utf8ToUtf16(utf8).value_or(std::u16string{});
  return std::wstring(text.begin(), text.end());
}

std::string text(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string firstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// A program of the build as a child process, its output in a file; ended when the object goes.
class Child {
 public:
  Child(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder,
        const fs::path& output) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    for (const auto& argument : arguments) commandLine += L" \"" + wide(argument) + L"\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = nullptr;
    started_ = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                folder.c_str(), &startup, &info_) != 0;
    if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
  }
  ~Child() {
    if (!started_) return;
    if (!exitCode_) ::TerminateProcess(info_.hProcess, 1);
    ::WaitForSingleObject(info_.hProcess, 10000);
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return started_; }
  DWORD processId() const { return info_.dwProcessId; }
  std::optional<int> wait(std::chrono::milliseconds timeout) {
    if (!started_) return std::nullopt;
    if (::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
      return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(info_.hProcess, &code);
    exitCode_ = static_cast<int>(code);
    return exitCode_;
  }
  void kill() {
    if (started_ && !exitCode_) {
      ::TerminateProcess(info_.hProcess, 1);
      wait(10s);
    }
  }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
  std::optional<int> exitCode_;
};

using wdrx::testing::SimulatorRecord;

std::uint16_t freePort(bool udp) {
  if (udp) {
    platform::UdpSocket socket;
    if (socket.open() != 0 || socket.bind(0, true) != 0) return 0;
    return socket.localPort();
  }
  platform::TcpListener listener;
  if (listener.openLoopback("0").failedStep != platform::TcpListener::Step::none) return 0;
  return listener.localPort();
}

// The program folder as tools/demo/setup.sh makes it, with Windows paths.
void makeProgramFolder(const fs::path& folder, const std::string& simulatorPort, const std::string& psxPort) {
  const fs::path demo = windowsPath(WDRX_DEMO_FOLDER);
  fs::create_directories(folder / "docs");
  fs::create_directories(folder / "input");
  for (const char* name : {"dbase", "airports"}) {
    std::ofstream(folder / "input" / (std::string(name) + ".enc"), std::ios::binary)
        << wdrx::encrypt::encryptText(text(demo / (std::string(name) + ".xml")));
  }
  fs::copy(demo / "liveries", folder / "liveries", fs::copy_options::recursive);
  std::ofstream(folder / "SimConnect.cfg", std::ios::binary)
      << "[SimConnect]\r\nProtocol=IPv4\r\nAddress=127.0.0.1\r\nPort=" << simulatorPort << "\r\n";
  const fs::path data = platform::programDataFolder({});
  fs::create_directories(data);
  std::ofstream(data / "parameters.xml", std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n"
      << "    <parameter name=\"PROGRAM_VERSION\" value=\"12.5.4\"/>\n"
      << "    <parameter name=\"SIM_INSTALL_PATH\" value=\"" << (folder / "Prepar3D v5").string() << "\"/>\n"
      << "    <parameter name=\"PORT_NUMBER\" value=\"" << psxPort << "\"/>\n"
      << "    <parameter name=\"lfolder0\" value=\"" << (folder / "liveries").string() << "\"/>\n"
      << "    <parameter name=\"SCAN_LIVERIES\" value=\"true\"/>\n"
      << "    <parameter name=\"SCAN_AIRPORTS\" value=\"false\"/>\n"
      << "    <parameter name=\"AUTO_RANGE\" value=\"false\"/>\n"
      << "    <parameter name=\"RANGE\" value=\"20\"/>\n"
      << "  </parameters>\n</root>\n";
}

// RealTraffic counts as installed while the object lives (its mark in the roaming folder).
class RealTrafficMark {
 public:
  RealTrafficMark() {
    const auto roaming = platform::knownFolder(platform::KnownFolder::RoamingAppData);
    if (!roaming) return;
    file_ = *roaming / "InsideSystems" / "RealTraffic.jar";
    std::error_code ignored;
    existed_ = fs::exists(file_, ignored);
    fs::create_directories(file_.parent_path(), ignored);
    std::ofstream(file_, std::ios::app).flush();
  }
  ~RealTrafficMark() {
    std::error_code ignored;
    if (!file_.empty() && !existed_) fs::remove(file_, ignored);
  }

 private:
  fs::path file_;
  bool existed_ = false;
};

HWND mainWindowOf(DWORD processId) {
  HWND found = nullptr;
  for (HWND window = ::FindWindowW(L"Wendrix_P3D", nullptr); window != nullptr;
       window = ::FindWindowExW(nullptr, window, L"Wendrix_P3D", nullptr)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == processId) found = window;
  }
  return found;
}

TEST(EndToEndWindows, TheProgramFliesReportedAircraftShowsItAndClosesWithItsWindow) {
  const fs::path screenshot = fs::absolute(
      ::_wgetenv(L"WDRX_SCREENSHOT") != nullptr ? fs::path(::_wgetenv(L"WDRX_SCREENSHOT")) : fs::path("Wendrix_P3D_window.png"));
  wdrx::testing::TempDir dir;
  platform::NetSession net;
  const fs::path program = dir.path() / "program";
  const RealTrafficMark realTraffic;

  Child simulator(windowsPath(WDRX_FAKESIM_PROGRAM),
                  {"--port", "0", "--position", "52.3083,4.7639,-11,0", "--on-ground"}, dir.path(),
                  dir.path() / "fakesim.txt");
  ASSERT_TRUE(simulator.started());
  ASSERT_TRUE(waitFor([&] { return !firstLine(dir.path() / "fakesim.txt").empty(); }, 60s));
  const std::string simulatorPort = firstLine(dir.path() / "fakesim.txt");
  const std::string psxPort = std::to_string(freePort(false));
  const std::string trafficPort = std::to_string(freePort(true));
  const std::string qnhPort = std::to_string(freePort(true));
  makeProgramFolder(program, simulatorPort, psxPort);

  wdrx::testing::setEnv("WDRX_TRAFFIC_PORT", trafficPort);
  wdrx::testing::setEnv("WDRX_QNH_PORT", qnhPort);
  wdrx::testing::setEnv("WDRX_DOWNLOAD_BASE", "http://127.0.0.1:1/downloads/");  // nothing answers
  Child wendrix(windowsPath(WDRX_PROGRAM), {}, program, dir.path() / "program.txt");
  ASSERT_TRUE(wendrix.started());
  Child traffic(windowsPath(WDRX_FAKETRAFFIC_PROGRAM),
                {"--traffic-port", trafficPort, "--qnh-port", qnhPort, "--psx-port", psxPort, "--scenario",
                 windowsPath(WDRX_SCENARIO).string()},
                dir.path(), dir.path() / "faketraffic.txt");
  ASSERT_TRUE(traffic.started());

  {
    // Only once the first copy holds the single-instance lock (its window comes after it): on a
    // busy machine a second copy started at once may take the lock first.
    ASSERT_TRUE(waitFor([&] { return mainWindowOf(wendrix.processId()) != nullptr; }, 60s))
        << text(program / "Log.txt");
    Child second(windowsPath(WDRX_PROGRAM), {}, program, dir.path() / "second.txt");
    EXPECT_EQ(second.wait(60s), -1) << "a second copy ends at once";
  }

  // While the aircraft fly: the window with both links lit.
  SimulatorRecord record;
  ASSERT_TRUE(waitFor(
      [&] {
        record = SimulatorRecord::read(dir.path() / "fakesim.txt");
        return record.moving() >= 1;
      },
      180s))
      << text(program / "Log.txt");
  HWND window = mainWindowOf(wendrix.processId());
  ASSERT_NE(window, nullptr);
  wchar_t title[64] = {};
  ::GetWindowTextW(window, title, 64);
  EXPECT_EQ(std::wstring(title), L"Wendrix_P3D") << "the title string of the program's resources";
  const auto handle = reinterpret_cast<platform::gui::WindowHandle>(window);
  const auto lit = [&](std::int32_t x, std::int32_t y, platform::gui::Colour colour) {
    HDC dc = ::GetDC(window);
    const COLORREF got = ::GetPixel(dc, x, y);
    ::ReleaseDC(window, dc);
    return got == RGB(colour.r, colour.g, colour.b);
  };
  const platform::gui::Colour lime{50, 205, 50};
  const platform::gui::Colour lightBlue{153, 204, 255};
  const platform::gui::Colour white{255, 255, 255};
  // Painting follows the program's own pace: wait for the lamps, then take the picture.
  EXPECT_TRUE(waitFor([&] { return lit(410, 100, lime) && lit(440, 100, lime); }, 30s))
      << "simulator and RealTraffic lamps";
  EXPECT_TRUE(platform::gui::inspect::savePng(handle, screenshot, true)) << screenshot.string();
  EXPECT_TRUE(lit(300, 28, white)) << "line under the top band";
  EXPECT_TRUE(lit(300, 112, lightBlue)) << "frame of the options band";
  EXPECT_TRUE(lit(300, 2, platform::gui::Colour{0, 0, 0})) << "black top band";

  const bool flown = waitFor(
      [&] {
        record = SimulatorRecord::read(dir.path() / "fakesim.txt");
        return record.complete(3);
      },
      180s);
  EXPECT_TRUE(flown) << "created " << record.creations << ", moved " << record.positions.size() << ", removed "
                     << record.removed.size() << "\n"
                     << text(program / "Log.txt");
  EXPECT_EQ(record.creations, 3);

  ::PostMessageW(window, WM_CLOSE, 0, 0);  // the window's close button
  EXPECT_EQ(wendrix.wait(60s), 0) << text(dir.path() / "program.txt");
  EXPECT_EQ(traffic.wait(60s), 0) << "RealTraffic was told \"exit\"";
  simulator.kill();

  const std::string log = text(program / "Log.txt");
  for (const char* line : {"Wendrix_P3D version 12.5.4", "3 airports read", "RealTraffic detected at this PC",
                           "3 liveries in output", "Lockheed Martin", "RealTraffic connected",
                           "Traffic Reader connected", "Exiting: USER CLOSED SIM", "SimConnect closed ok",
                           "Traffic Reader has stopped", "QNH Reader has stopped"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
  EXPECT_EQ(log.find("\nError "), std::string::npos) << log;
  EXPECT_NE(text(dir.path() / "faketraffic.txt").find("exit"), std::string::npos);
}

// What Explorer and the task bar show of the file: icon 100, title string 101 and the version
// information with the project's version.
TEST(EndToEndWindows, TheProgramCarriesItsIconTitleAndVersion) {
  const std::wstring program = windowsPath(WDRX_PROGRAM).wstring();
  HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << ::GetLastError();

  wchar_t title[100] = {};
  EXPECT_EQ(::LoadStringW(module, WDRX_TITLE_STRING_ID, title, 100), 11);
  EXPECT_EQ(std::wstring(title), L"Wendrix_P3D");

  HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(WDRX_ICON_ID), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  auto* directory = static_cast<BYTE*>(::LockResource(::LoadResource(module, group)));
  const int iconId = ::LookupIconIdFromDirectoryEx(directory, TRUE, 32, 32, LR_DEFAULTCOLOR);
  EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(iconId), RT_ICON), nullptr) << "its 32-pixel picture";
  ::FreeLibrary(module);

  DWORD ignored = 0;
  std::vector<char> version(::GetFileVersionInfoSizeW(program.c_str(), &ignored));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(WDRX_VERSION_MINOR, WDRX_VERSION_MAJOR)));
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, WDRX_VERSION_PATCH)));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
    wchar_t* value = nullptr;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    ASSERT_TRUE(::VerQueryValueW(version.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) << key;
    EXPECT_EQ(std::wstring(value), L"" WDRX_VERSION_TEXT) << key;
  }
}

}  // namespace
