#include "faketraffic/faketraffic.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "foundation/files.hpp"
#include "foundation/format.hpp"

namespace faketraffic {

// ---------------------------------------------------------------- datagrams

// Fields 0 to 28; the ones the program does not read stay empty, as RealTraffic often sends.
TrafficLine::TrafficLine()
    : fields_{"TFC", "4840123", "52.300000", "4.760000", "5000", "-640", "0",  // 0 to 6
              "90.5", "250", "KLM1234", "B738", "PH-BXA", "AMS", "LHR",      // 7 to 13
              "1700000000.25", "", "", "adsb_icao", "", "", "270",           // 14 to 20
              "", "", "0", "", "91.0", "", "",                               // 21 to 27
              "A3"} {}

// The same aircraft in the current format: the values the program reads as above, the others
// as the service fills them (source with a provider prefix, barometric and wind data, ...).
TrafficLine TrafficLine::rttfc() {
  return TrafficLine(std::vector<std::string>{
      "RTTFC", "4840123", "52.300000", "4.760000", "5000", "-640", "0",          // 0 to 6
      "90.5", "250", "KLM1234", "B738", "PH-BXA", "AMS", "LHR",                  // 7 to 13
      "1700000000.25", "X2", "KL1234", "X_adsb_icao", "5125", "236", "270",      // 14 to 20
      "0.412", "0.0", "0", "89.2", "91.0", "-704", "none", "A3",                 // 21 to 28
      "1013.0", "4000", "-1", "90.0", "autopilot|vnav|lnav|tcas", "0.1",         // 29 to 34
      "-20.5", "270", "15", "-5", "5", "1", "123456", "0"});                     // 35 to 42
}

TrafficLine& TrafficLine::set(std::size_t index, std::string value) {
  fields_.at(index) = std::move(value);
  return *this;
}

std::string TrafficLine::text() const {
  std::string line;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (i > 0) line += ',';
    line += fields_[i];
  }
  return line;
}

std::string qnhDatagram(int hpa) { return wdrx::format("{{\"QNH\":{}}}", hpa); }

UdpSender::UdpSender() {
  if (const int rc = socket_.open(); rc != 0)
    throw std::runtime_error("faketraffic: no UDP socket: " + gf_wsaErrorText(rc));
}

void UdpSender::send(std::uint16_t port, std::string_view datagram) {
  if (const int rc = socket_.sendToLoopback(port, datagram); rc != 0)
    throw std::runtime_error(
        wdrx::format("faketraffic: send to port {} failed: {}", port, gf_wsaErrorText(rc)));
}

// ---------------------------------------------------------------- scenarios

std::vector<ScenarioLine> parseScenario(std::istream& in) {
  std::vector<ScenarioLine> lines;
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text[first] == '#') continue;
    const auto fail = [&](const char* what) {
      return std::runtime_error(wdrx::format("scenario line {}: {}", number, what));
    };
    const std::size_t offsetEnd = text.find(' ', first);
    if (offsetEnd == std::string::npos) throw fail("expected '<seconds> traffic|qnh <payload>'");
    ScenarioLine line;
    const char* begin = text.data() + first;
    const char* end = text.data() + offsetEnd;
    const auto [last, ec] = std::from_chars(begin, end, line.offsetSeconds);
    if (ec != std::errc() || last != end || !std::isfinite(line.offsetSeconds) ||
        line.offsetSeconds < 0.0)
      throw fail("the offset is not a number of seconds");
    // Far offsets would not fit the clock's nanoseconds when played.
    if (line.offsetSeconds > maxScenarioOffsetSeconds)
      throw fail(
          wdrx::format("the offset is beyond a week ({} s)", maxScenarioOffsetSeconds).c_str());
    const std::size_t kindEnd = text.find(' ', offsetEnd + 1);
    const std::string kind = text.substr(offsetEnd + 1, kindEnd == std::string::npos
                                                            ? std::string::npos
                                                            : kindEnd - offsetEnd - 1);
    if (kind == "traffic") {
      line.kind = ScenarioLine::Kind::traffic;
    } else if (kind == "qnh") {
      line.kind = ScenarioLine::Kind::qnh;
    } else {
      throw fail("the kind is neither traffic nor qnh");
    }
    if (kindEnd != std::string::npos) line.payload = text.substr(kindEnd + 1);
    lines.push_back(std::move(line));
  }
  return lines;
}

void playScenario(const std::vector<ScenarioLine>& lines, std::uint16_t trafficPort,
                  std::uint16_t qnhPort, const std::atomic<bool>* stop) {
  for (const ScenarioLine& line : lines) {
    if (line.kind == ScenarioLine::Kind::traffic && trafficPort == 0)
      throw std::runtime_error("faketraffic: the scenario has traffic lines but no traffic port");
    if (line.kind == ScenarioLine::Kind::qnh && qnhPort == 0)
      throw std::runtime_error("faketraffic: the scenario has qnh lines but no qnh port");
  }
  UdpSender sender;
  const auto start = std::chrono::steady_clock::now();
  for (const ScenarioLine& line : lines) {
    const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(line.offsetSeconds));
    while (std::chrono::steady_clock::now() < due) {
      if (stop != nullptr && stop->load()) return;
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(due - std::chrono::steady_clock::now(),
                                                        std::chrono::milliseconds(20)));
    }
    if (stop != nullptr && stop->load()) return;
    sender.send(line.kind == ScenarioLine::Kind::traffic ? trafficPort : qnhPort, line.payload);
  }
}

// ---------------------------------------------------------------- PSX client

PsxClient::PsxClient() : PsxClient(Options{}) {}

PsxClient::PsxClient(Options options) : options_(std::move(options)) {}

PsxClient::~PsxClient() { disconnect(); }

bool PsxClient::connect(std::uint16_t port, std::chrono::milliseconds timeout) {
  disconnect();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto connected = platform::TcpStream::connectLoopback(port);
    if (connected.stream) {
      stream_ = std::move(connected.stream);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  {
    std::lock_guard lock(mutex_);
    closed_ = false;
  }
  stop_ = false;
  thread_ = std::thread([this] { readLoop(); });
  return true;
}

void PsxClient::disconnect() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (stream_) {
    stream_->shutdown();
    stream_.reset();
  }
}

void PsxClient::setReading(bool reading) { reading_ = reading; }

std::vector<std::string> PsxClient::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool PsxClient::closedByServer() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

bool PsxClient::waitForLine(std::string_view line, std::chrono::milliseconds timeout) const {
  const bool prefix = !line.empty() && line.back() == '=';
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    for (const std::string& received : lines_)
      if (prefix ? received.starts_with(line) : received == line) return true;
    return false;
  });
}

bool PsxClient::waitForClose(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return closed_; });
}

void PsxClient::sendAnswer() {
  const std::string answer =
      !options_.answerText.empty()
          ? options_.answerText
          : wdrx::format("{{\"level\":{},\"version\":\"{}\"}}\r\n", options_.level,
                         options_.version);
  const std::size_t pieces = static_cast<std::size_t>(std::max(1, options_.answerPieces));
  const std::size_t size = (answer.size() + pieces - 1) / pieces;
  for (std::size_t start = 0; start < answer.size(); start += size) {
    if (start > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stream_->sendAll(std::string_view(answer).substr(start, size), std::chrono::seconds(1));
  }
}

void PsxClient::readLoop() {
  std::string pending;
  std::array<char, 4096> buffer{};
  while (!stop_) {
    if (!reading_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    const auto got = stream_->receive(buffer.data(), buffer.size(), std::chrono::milliseconds(50));
    if (got.error == platform::netError::timedOut) continue;
    if (got.error != 0 || got.bytes == 0) break;
    pending.append(buffer.data(), static_cast<std::size_t>(got.bytes));
    for (std::size_t end; (end = pending.find("\r\n")) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 2);
      if (options_.onLine) options_.onLine(line);
      if (line == "Qs999=version" && options_.answerVersion) sendAnswer();
      std::lock_guard lock(mutex_);
      lines_.push_back(std::move(line));
      changed_.notify_all();
    }
  }
  std::lock_guard lock(mutex_);
  if (!stop_) closed_ = true;
  changed_.notify_all();
}

// ---------------------------------------------------------------- program

namespace {

std::uint16_t lf_port(const std::string& text) {
  unsigned value = 0;
  const auto [last, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || last != text.data() + text.size() || value == 0 || value > 65535)
    throw std::runtime_error("faketraffic: not a port number: " + text);
  return static_cast<std::uint16_t>(value);
}

}  // namespace

int runMain(int argc, char** argv) {
  try {
    std::uint16_t trafficPort = 0;
    std::uint16_t qnhPort = 0;
    std::uint16_t psxPort = 0;
    std::string scenarioPath;
    for (int i = 1; i < argc; ++i) {
      const std::string option = argv[i];
      if (i + 1 >= argc) throw std::runtime_error("faketraffic: " + option + " needs a value");
      const std::string value = argv[++i];
      if (option == "--traffic-port") {
        trafficPort = lf_port(value);
      } else if (option == "--qnh-port") {
        qnhPort = lf_port(value);
      } else if (option == "--psx-port") {
        psxPort = lf_port(value);
      } else if (option == "--scenario") {
        scenarioPath = value;
      } else {
        throw std::runtime_error("faketraffic: unknown option " + option);
      }
    }
    std::vector<ScenarioLine> scenario;
    if (!scenarioPath.empty()) {
      std::ifstream in(scenarioPath, std::ios::binary);
      if (!in) throw std::runtime_error("faketraffic: cannot read " + scenarioPath);
      scenario = parseScenario(in);
    }
    std::mutex outMutex;
    std::atomic<bool> exitSent{false};  // the program closes: the rest of the replay is not wanted
    PsxClient::Options options;
    options.onLine = [&outMutex, &exitSent](const std::string& line) {
      if (line == "exit") exitSent.store(true);
      std::lock_guard lock(outMutex);
      std::cout << line << std::endl;
    };
    PsxClient client(options);
    if (psxPort != 0 && !client.connect(psxPort, std::chrono::seconds(60))) {
      std::cerr << "faketraffic: no PSX-protocol server at port " << psxPort << '\n';
      return 1;
    }
    playScenario(scenario, trafficPort, qnhPort, &exitSent);
    if (psxPort != 0) {
      while (!client.waitForLine("exit", std::chrono::seconds(1)) && !client.closedByServer()) {
      }
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 2;
  }
}

}  // namespace faketraffic
