#pragma once
// faketraffic: a stand-in for RealTraffic on the loopback address. It sends traffic and QNH
// datagrams over UDP, plays the client side of the PSX-protocol server, and replays scenario
// files of timed datagram lines (format: see main.cpp). Usable in-process from tests.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/net.hpp"

namespace faketraffic {

// Field numbers of a traffic line that the program reads.
namespace field {
inline constexpr std::size_t hexid = 1;
inline constexpr std::size_t latitude = 2;
inline constexpr std::size_t longitude = 3;
inline constexpr std::size_t altitude = 4;
inline constexpr std::size_t verticalSpeed = 5;
inline constexpr std::size_t groundFlag = 6;  // 1: on the ground
inline constexpr std::size_t track = 7;
inline constexpr std::size_t groundSpeed = 8;
inline constexpr std::size_t callsign = 9;
inline constexpr std::size_t type = 10;
inline constexpr std::size_t registration = 11;
inline constexpr std::size_t origin = 12;
inline constexpr std::size_t destination = 13;
inline constexpr std::size_t timestamp = 14;
inline constexpr std::size_t source = 17;
inline constexpr std::size_t trueAirspeed = 20;
inline constexpr std::size_t roll = 23;
inline constexpr std::size_t trueHeading = 25;
inline constexpr std::size_t category = 28;
inline constexpr std::size_t count = 29;        // fields the program reads (0 to 28)
inline constexpr std::size_t rttfcCount = 43;   // fields of the service's current format
}  // namespace field

// One traffic datagram, by default an airliner in cruise-descent near Amsterdam (52.3, 4.76)
// that the decoder accepts: 29 comma-separated fields, or with rttfc() the 43 fields of the
// service's current "RTTFC" format (empty fields and -1 for values it does not have).
class TrafficLine {
 public:
  TrafficLine();
  static TrafficLine rttfc();
  TrafficLine& set(std::size_t index, std::string value);  // throws beyond the last field
  const std::string& get(std::size_t index) const { return fields_.at(index); }
  std::size_t size() const { return fields_.size(); }
  std::string text() const;

 private:
  explicit TrafficLine(std::vector<std::string> fields) : fields_(std::move(fields)) {}
  std::vector<std::string> fields_;
};

std::string qnhDatagram(int hpa);  // {"QNH":1013}

class UdpSender {
 public:
  UdpSender();  // throws std::runtime_error when no socket can be opened
  // Sends one datagram to 127.0.0.1:port; throws on failure.
  void send(std::uint16_t port, std::string_view datagram);

 private:
  platform::NetSession net_;  // before the socket: it goes after it
  platform::UdpSocket socket_;
};

struct ScenarioLine {
  enum class Kind { traffic, qnh };
  double offsetSeconds = 0.0;
  Kind kind = Kind::traffic;
  std::string payload;
};
inline constexpr double maxScenarioOffsetSeconds = 7 * 24 * 3600;
// Throws std::runtime_error "scenario line {}: {}" for a line it cannot read (an offset beyond
// maxScenarioOffsetSeconds included).
std::vector<ScenarioLine> parseScenario(std::istream& in);
// Sends the lines in file order, each at its offset after the call (a late one at once).
// A port of 0 for a kind that occurs throws before anything is sent. Returns early when
// `stop` becomes true.
void playScenario(const std::vector<ScenarioLine>& lines, std::uint16_t trafficPort,
                  std::uint16_t qnhPort, const std::atomic<bool>* stop = nullptr);

// The client side of the PSX-protocol server: answers "Qs999=version" and records every line.
class PsxClient {
 public:
  struct Options {
    int level = 2;                   // 2: professional edition
    std::string version = "9.0.1";
    bool answerVersion = true;
    std::function<void(const std::string&)> onLine;  // called on the client's thread
    std::string answerText = {};  // sent as it is instead of the answer built from level/version
    int answerPieces = 1;     // the answer in this many sends, 20 ms apart (split TCP segments)
  };
  PsxClient();
  explicit PsxClient(Options options);
  ~PsxClient();
  PsxClient(const PsxClient&) = delete;
  PsxClient& operator=(const PsxClient&) = delete;

  // Connects to 127.0.0.1:port, retrying until the server listens or the time is up.
  bool connect(std::uint16_t port, std::chrono::milliseconds timeout);
  void disconnect();            // as if RealTraffic were killed
  void setReading(bool reading);  // false: a client that stops reading its socket

  std::vector<std::string> lines() const;  // without CR LF
  bool closedByServer() const;
  // Waits until a received line equals `line` (or, for a prefix ending in '=', starts with it).
  bool waitForLine(std::string_view line, std::chrono::milliseconds timeout) const;
  bool waitForClose(std::chrono::milliseconds timeout) const;

 private:
  void readLoop();
  void sendAnswer();

  Options options_;
  platform::NetSession net_;
  std::shared_ptr<platform::TcpStream> stream_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> reading_{true};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool closed_ = false;
};

// The standalone program: faketraffic [--traffic-port N] [--qnh-port N] [--psx-port N]
// [--scenario FILE]. Returns the process exit code.
int runMain(int argc, char** argv);

}  // namespace faketraffic
