// The fake simulator's server: its options from the command line, listening, reading and
// writing the client connections, the frame and second ticks, observation and faults.
#include "fakesim/fakesim.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "fakesim/internal.hpp"
#include "foundation/format.hpp"
#include "platform/sim_transport.hpp"

namespace fakesim {

namespace {

constexpr std::uint32_t maxPacket = 1u << 20;

}  // namespace

std::optional<Options> parseArguments(const std::vector<std::string>& arguments, std::string& error) {
  Options options;
  options.tcp4 = false;
  options.recordPackets = false;  // printed, not kept: the program runs until it is stopped
  options.frameInterval = std::chrono::milliseconds(33);
  bool portGiven = false;
  const auto number = [&](const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(value);
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    double value = 0.0;
    if (arg == "--port" && hasValue && number(arguments[i + 1], value) && value >= 0 && value <= 65535) {
      options.port = static_cast<std::uint16_t>(value);
      portGiven = true;
      ++i;
    } else if (arg == "--socket" && hasValue) {
      options.socketPath = arguments[++i];
    } else if (arg == "--ipv6") {
      options.tcp6 = true;
    } else if (arg == "--v6") {
      options.simVersion = 6;
    } else if (arg == "--frame-ms" && hasValue && number(arguments[i + 1], value) && value >= 0 && value <= 60000) {
      options.frameInterval = std::chrono::milliseconds(static_cast<long>(value));
      ++i;
    } else if (arg == "--position" && hasValue) {
      std::vector<double> values;
      std::string_view rest = arguments[++i];
      for (;;) {
        const std::size_t comma = rest.find(',');
        if (!number(std::string(rest.substr(0, comma)), value)) break;
        values.push_back(value);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
      const std::size_t pieces = static_cast<std::size_t>(std::count(arguments[i].begin(), arguments[i].end(), ',')) + 1;
      if (values.size() != pieces || pieces < 2 || pieces > 4 || std::fabs(values[0]) > 90.0 ||
          std::fabs(values[1]) > 180.0) {
        error = "--position wants LAT,LON[,ALT_FT[,HEADING_DEG]]: " + arguments[i];
        return std::nullopt;
      }
      options.userLatitude = values[0];
      options.userLongitude = values[1];
      if (values.size() > 2) options.userAltitude = values[2];
      if (values.size() > 3) options.userHeading = values[3];
    } else if (arg == "--on-ground" || arg == "--airborne") {
      options.userOnGround = arg == "--on-ground";
    } else {
      error = "unknown or incomplete argument: " + arg;
      return std::nullopt;
    }
  }
  options.tcp4 = portGiven || options.socketPath.empty();
  if (options.tcp6) options.port6 = options.port;
  return options;
}

// ---------------------------------------------------------------------------------------------
// FakeSim

FakeSim::FakeSim(Options options) : options_(std::move(options)), nextObjectId_(options_.firstAiObjectId) {
  if (options_.applicationName.empty()) {
    options_.applicationName = wdrx::format("Lockheed Martin\xAE Prepar3D\xAE v{}", options_.simVersion);
  }
  user_.id = options_.userObjectId;
  user_.title = "Fake User Aircraft";
  user_.atcId = "USER1";
  auto& v = user_.variables;
  v["TITLE"].text = user_.title;
  v["ATC ID"].text = user_.atcId;
  v["ATC MODEL"].text = "B738";
  v["PLANE LATITUDE"].number = options_.userLatitude;
  v["PLANE LONGITUDE"].number = options_.userLongitude;
  v["PLANE ALTITUDE"].number = options_.userAltitude;
  v["INDICATED ALTITUDE"].number = options_.userAltitude;
  v["PLANE HEADING DEGREES TRUE"].number = options_.userHeading * std::numbers::pi / 180.0;
  v["SIM ON GROUND"].number = options_.userOnGround ? 1.0 : 0.0;
  v["GROUND ALTITUDE"].number = terrainAltitude();
  v["PLANE ALT ABOVE GROUND"].number = options_.userOnGround ? 0.0 : options_.userAltitude;
  v["STANDARD ATM TEMPERATURE"].number = 518.67;
}

FakeSim::~FakeSim() { stop(); }

bool FakeSim::start(std::string* error) {
  std::string why;
  std::vector<std::unique_ptr<platform::StreamListener>> made;
  if (options_.tcp4) {
    auto listener = platform::listenTcp("127.0.0.1", options_.port, why);
    if (!listener) {
      if (error) *error = "127.0.0.1: " + why;
      return false;
    }
    port_ = listener->port();
    made.push_back(std::move(listener));
  }
  if (options_.tcp6) {
    auto listener = platform::listenTcp("::1", options_.port6, why);
    if (!listener) {
      if (error) *error = "::1: " + why;
      return false;
    }
    port6_ = listener->port();
    made.push_back(std::move(listener));
  }
  if (!options_.socketPath.empty()) {
    auto listener = platform::listenLocal(options_.socketPath, why);
    if (!listener) {
      if (error) *error = options_.socketPath.string() + ": " + why;
      return false;
    }
    made.push_back(std::move(listener));
  }
  std::lock_guard lock(mutex_);
  running_ = true;
  for (auto& listener : made) {
    acceptThreads_.emplace_back([this, raw = listener.get()] { acceptLoop(raw); });
    listeners_.push_back(std::move(listener));
  }
  ticker_ = std::thread([this] { tickLoop(); });
  return true;
}

void FakeSim::stop() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    running_ = false;
    changedCv_.notify_all();
  }
  for (auto& listener : listeners_) listener->shutdown();
  for (auto& thread : acceptThreads_) thread.join();
  acceptThreads_.clear();
  if (ticker_.joinable()) ticker_.join();
  std::vector<std::thread> readers;
  {
    std::lock_guard lock(mutex_);
    for (auto& session : sessions_) session->stream->shutdown();
    readers.swap(readerThreads_);
  }
  for (auto& thread : readers) thread.join();
  std::lock_guard lock(mutex_);
  sessions_.clear();
  listeners_.clear();
}

std::uint16_t FakeSim::port() const { return port_; }
std::uint16_t FakeSim::port6() const { return port6_; }

void FakeSim::changed() {
  ++generation_;
  changedCv_.notify_all();
}

void FakeSim::acceptLoop(platform::StreamListener* listener) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (!running_) return;
    }
    auto stream = listener->accept(100ms);
    if (!stream) continue;
    auto session = std::make_shared<Session>();
    session->stream = std::move(stream);
    std::lock_guard lock(mutex_);
    if (!running_) {
      session->stream->shutdown();
      return;
    }
    session->number = ++accepted_;
    sessions_.push_back(session);
    readerThreads_.emplace_back([this, session] { readLoop(session); });
    changed();
  }
}

void FakeSim::readLoop(std::shared_ptr<Session> session) {
  std::vector<std::byte> buffer;
  std::vector<std::byte> chunk(65536);
  for (;;) {
    const long n = session->stream->read(chunk.data(), chunk.size());
    if (n <= 0) break;
    buffer.insert(buffer.end(), chunk.begin(), chunk.begin() + n);
    std::size_t used = 0;
    bool broken = false;
    while (buffer.size() - used >= 4) {
      std::uint32_t size = 0;
      std::memcpy(&size, buffer.data() + used, 4);
      if (size < 4 || size > maxPacket) {
        broken = true;  // the stream cannot be followed any further
        break;
      }
      if (buffer.size() - used < size) break;
      Packet packet = gf_decode(std::vector<std::byte>(buffer.begin() + used, buffer.begin() + used + size));
      used += size;
      std::vector<Outgoing> out;
      std::function<void(const Packet&)> observer;
      {
        std::lock_guard lock(mutex_);
        packet.connection = session->number;
        packet.frame = frames_;
        handlePacket(session, packet, out);
        if (options_.recordPackets) packets_.push_back(packet);
        observer = observer_;
      }
      write(out);
      if (observer) observer(packet);
      std::lock_guard lock(mutex_);
      changed();
    }
    buffer.erase(buffer.begin(), buffer.begin() + used);
    if (broken) break;
  }
  session->stream->shutdown();
  std::lock_guard lock(mutex_);
  session->open = false;
  changed();
}

void FakeSim::tickLoop() {
  using clock = std::chrono::steady_clock;
  auto nextSecond = clock::now() + options_.secondInterval;
  auto nextFrame = clock::now() + options_.frameInterval;
  std::unique_lock lock(mutex_);
  while (running_) {
    auto due = clock::now() + 1h;
    if (options_.secondInterval.count() > 0) due = std::min(due, nextSecond);
    if (options_.frameInterval.count() > 0) due = std::min(due, nextFrame);
    changedCv_.wait_until(lock, due, [&] { return !running_ || clock::now() >= due; });
    if (!running_) return;
    const auto now = clock::now();
    const bool second = options_.secondInterval.count() > 0 && now >= nextSecond;
    const bool frame = options_.frameInterval.count() > 0 && now >= nextFrame;
    if (second) nextSecond = now + options_.secondInterval;
    if (frame) nextFrame = now + options_.frameInterval;
    lock.unlock();
    if (second) sendPeriodicAnswers();
    if (frame) sendFrame();
    lock.lock();
  }
}

void FakeSim::write(std::vector<Outgoing>& out) {
  std::size_t chunk = 0;
  {
    std::lock_guard lock(mutex_);
    if (batching_) {
      for (auto& item : out) item.session->batch.insert(item.session->batch.end(), item.bytes.begin(), item.bytes.end());
      return;
    }
    chunk = splitChunk_;
  }
  for (auto& item : out) {
    std::lock_guard lock(item.session->writeMutex);
    if (chunk == 0) {
      item.session->stream->writeAll(item.bytes.data(), item.bytes.size());
      continue;
    }
    for (std::size_t at = 0; at < item.bytes.size(); at += chunk) {
      item.session->stream->writeAll(item.bytes.data() + at, std::min(chunk, item.bytes.size() - at));
      std::this_thread::sleep_for(2ms);  // let the reader see each piece on its own
    }
  }
}

// --- observation

std::vector<Packet> FakeSim::packets() const {
  std::lock_guard lock(mutex_);
  return packets_;
}

std::vector<Packet> FakeSim::packets(SimFunction function) const {
  std::lock_guard lock(mutex_);
  std::vector<Packet> found;
  for (const auto& packet : packets_) {
    if (packet.is(function)) found.push_back(packet);
  }
  return found;
}

std::size_t FakeSim::count(SimFunction function) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(packets_.begin(), packets_.end(), [&](const Packet& p) { return p.is(function); }));
}

void FakeSim::clearPackets() {
  std::lock_guard lock(mutex_);
  packets_.clear();
}

int FakeSim::connectionsAccepted() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

int FakeSim::connectionsOpen() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(sessions_.begin(), sessions_.end(), [](const auto& s) { return s->open; }));
}

bool FakeSim::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::uint64_t seen = 0;
    {
      std::lock_guard lock(mutex_);
      seen = generation_;
    }
    if (condition()) return true;
    std::unique_lock lock(mutex_);
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Woken by any change; the short limit covers conditions on state outside the fake.
    changedCv_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + 20ms),
                          [&] { return generation_ != seen; });
  }
}

bool FakeSim::waitForCount(SimFunction function, std::size_t wanted, std::chrono::milliseconds timeout) const {
  return waitFor([&] { return count(function) >= wanted; }, timeout);
}

void FakeSim::setPacketObserver(std::function<void(const Packet&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

std::uint64_t FakeSim::framesSent() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

// --- faults

void FakeSim::closeConnections() {
  std::lock_guard lock(mutex_);
  for (const auto& session : sessions_) session->stream->shutdown();
}

void FakeSim::failNext(SimFunction function, std::uint32_t exception) {
  std::lock_guard lock(mutex_);
  failNext_.emplace_back(static_cast<std::uint32_t>(function), exception);
}

void FakeSim::failCreationsOf(std::string title) {
  std::lock_guard lock(mutex_);
  failTitles_.push_back(std::move(title));
}

void FakeSim::setAutoCreate(bool on) {
  std::lock_guard lock(mutex_);
  options_.autoCreate = on;
}

void FakeSim::setSplitWrites(std::size_t chunk) {
  std::lock_guard lock(mutex_);
  splitChunk_ = chunk;
}

void FakeSim::beginBatch() {
  std::lock_guard lock(mutex_);
  batching_ = true;
}

void FakeSim::endBatch() {
  std::vector<Outgoing> out;
  {
    std::lock_guard lock(mutex_);
    batching_ = false;
    for (const auto& session : sessions_) {
      if (!session->batch.empty()) out.push_back({session, std::move(session->batch)});
      session->batch.clear();
    }
  }
  for (auto& item : out) {
    std::lock_guard lock(item.session->writeMutex);
    item.session->stream->writeAll(item.bytes.data(), item.bytes.size());
  }
}

}  // namespace fakesim
