#pragma once
// A fake simulator: the server side of the SimConnect protocol over loopback TCP and the Unix
// socket that stands for the simulator's pipe. It answers Open, keeps data definitions, event
// mappings, subscriptions and requests per connection, keeps a user aircraft and AI objects
// with their variables, sends EVENT, OBJECT_ADDREMOVE, FRAME, SIMOBJECT_DATA and
// SIMOBJECT_DATA_BYTYPE packets, records every packet it receives (decoded) and injects
// faults on request. Every public member is thread-safe.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "simlink/simconnect/simconnect.hpp"

namespace platform {
class ByteStream;
class StreamListener;
}  // namespace platform

namespace fakesim {

using namespace std::chrono_literals;

// One packet received from a client, decoded by its function id. Fields that the function does
// not carry stay zero or empty.
struct Packet {
  int connection = 0;       // 1 for the first client connection, 2 for the next ...
  std::uint64_t frame = 0;  // FRAME events sent before the packet arrived
  std::uint32_t size = 0;
  std::uint32_t version = 0;
  std::uint32_t packetId = 0;
  std::uint32_t sendId = 0;
  std::uint32_t function = 0;  // packetId without 0xF0000000
  bool malformed = false;      // the size does not fit the function's layout
  std::vector<std::byte> bytes;  // the whole packet as received

  std::string name;   // application, event, variable name; container title; flight-plan path
  std::string units;  // units name; tail number of a creation
  std::uint32_t eventId = 0, groupId = 0, objectId = 0, requestId = 0, defineId = 0, data = 0,
                flags = 0, priority = 0, maskable = 0, dataType = 0, datumId = 0, period = 0,
                origin = 0, interval = 0, limit = 0, radius = 0, objectType = 0, arrayCount = 0,
                unitSize = 0;
  float epsilon = 0.0f;
  SimInitPosition position{};     // AICreateNonATCAircraft
  std::vector<std::byte> payload;  // SetDataOnSimObject: the data after the 36-byte head

  bool is(SimFunction f) const { return function == static_cast<std::uint32_t>(f); }
  std::string kind() const;      // "Open", "SetDataOnSimObject", ... or "Function 0x.."
  std::string describe() const;  // one line: kind and main fields
  std::vector<double> doubles() const;  // the payload as f64 values
};

// A variable of the user aircraft or an AI object.
struct Value {
  double number = 0.0;
  std::string text;
};

struct SimObject {
  std::uint32_t id = 0;
  std::string title;
  std::string atcId;
  std::map<std::string, Value> variables;  // keyed by upper-case variable name
  bool createdByClient = false;
  std::uint32_t createSendId = 0;  // send id of the AICreateNonATCAircraft packet
};

struct Datum {
  std::string name;
  std::string units;
  std::uint32_t type = 0;
};

struct Options {
  bool tcp4 = true;           // listen on 127.0.0.1
  std::uint16_t port = 0;     // 0: a free port
  bool tcp6 = false;          // listen on ::1 as well
  std::uint16_t port6 = 0;
  std::filesystem::path socketPath;  // listen on this Unix socket too (empty: not)
  int simVersion = 5;                // the OPEN answer names Prepar3D v5 or v6
  std::string applicationName;       // empty: "Lockheed Martin\xAE Prepar3D\xAE v<version>"
  std::uint32_t versionMinor = 5, buildMajor = 23, buildMinor = 41357;
  bool answerOpen = true;
  std::uint32_t userObjectId = 1;      // object id of the user aircraft in answers
  std::uint32_t firstAiObjectId = 1000;
  bool autoCreate = true;         // answer creations at once with ObjectAdded
  bool simRunningOnSubscribe = true;  // a subscription to "Sim" is answered with EVENT data 1
  bool byTypeIncludesUser = false;    // by-type answers list the user aircraft first
  std::chrono::milliseconds secondInterval{1000};  // per-second answers (0: only on demand)
  std::chrono::milliseconds frameInterval{0};      // FRAME events (0: only on demand)
  bool recordPackets = true;  // off: answered and observed, not kept (benchmarks, the program)
};

class FakeSim {
 public:
  explicit FakeSim(Options options = {});
  ~FakeSim();
  FakeSim(const FakeSim&) = delete;
  FakeSim& operator=(const FakeSim&) = delete;

  // Starts listening; false with the reason in error when a listener could not be made.
  bool start(std::string* error = nullptr);
  void stop();
  std::uint16_t port() const;   // IPv4 port
  std::uint16_t port6() const;  // IPv6 port
  const std::filesystem::path& socketPath() const { return options_.socketPath; }

  // --- observation
  std::vector<Packet> packets() const;
  std::vector<Packet> packets(SimFunction function) const;
  std::size_t count(SimFunction function) const;
  void clearPackets();
  int connectionsAccepted() const;
  int connectionsOpen() const;
  // Polls the condition until it holds or the time is up (re-checked on every change).
  bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5000ms) const;
  bool waitForCount(SimFunction function, std::size_t count,
                    std::chrono::milliseconds timeout = 5000ms) const;
  // Called on a reader thread for every packet received, after it was recorded and answered.
  void setPacketObserver(std::function<void(const Packet&)> observer);
  std::uint64_t framesSent() const;

  // --- simulator state
  void setUserValue(std::string_view variable, double value);
  void setUserText(std::string_view variable, std::string text);
  // An AI object the client did not create (its ATC ID is what by-type answers report).
  std::uint32_t addObject(std::string title, std::string atcId);
  void setObjectValue(std::uint32_t objectId, std::string_view variable, double value);
  void setObjectText(std::uint32_t objectId, std::string_view variable, std::string text);
  std::vector<SimObject> objects() const;
  std::optional<SimObject> object(std::uint32_t objectId) const;
  // Removes an object and tells the clients (ObjectRemoved).
  bool removeObject(std::uint32_t objectId);
  // The client event id the last connection subscribed to a system event ("Frame", ...).
  std::optional<std::uint32_t> subscription(std::string_view systemEvent) const;
  std::vector<Datum> definition(std::uint32_t defineId) const;
  std::map<std::uint32_t, std::string> mappedEvents() const;

  // --- packets to the clients (every open connection)
  void sendFrame();
  // EVENT to the subscribers of the system event; false when nobody subscribed.
  bool sendSystemEvent(std::string_view systemEvent, std::uint32_t data);
  void sendFilename(std::string_view fileName);
  void sendQuit();
  void sendException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index = 0);
  // The answers of all per-second requests.
  void sendPeriodicAnswers();
  // Creations held back (autoCreate off) are answered now.
  void completeCreations();
  void sendRaw(const std::vector<std::byte>& bytes);

  // --- faults
  void closeConnections();
  // The next packet of the function is answered with this exception (its send id) instead
  // of being acted on.
  void failNext(SimFunction function, std::uint32_t exception);
  // Creations of this container title fail with exception 22.
  void failCreationsOf(std::string title);
  void setAutoCreate(bool on);
  // Every packet written in pieces of `chunk` bytes, one write each (0: whole packets).
  void setSplitWrites(std::size_t chunk);
  // Packets sent between begin and end go out in one write per connection.
  void beginBatch();
  void endBatch();

  // Packet builders (for malformed or hand-made packets).
  static std::vector<std::byte> makePacket(SimRecvId id, std::size_t size);

 private:
  struct Session;
  struct Request {
    std::uint32_t requestId = 0, defineId = 0, objectId = 0, period = 0;
  };
  struct Outgoing {
    std::shared_ptr<Session> session;
    std::vector<std::byte> bytes;
  };

  void acceptLoop(platform::StreamListener* listener);
  void readLoop(std::shared_ptr<Session> session);
  void tickLoop();
  void handlePacket(const std::shared_ptr<Session>& session, Packet& packet, std::vector<Outgoing>& out);
  void answerRequest(const std::shared_ptr<Session>& session, const Request& request,
                     std::vector<Outgoing>& out);
  std::vector<std::byte> dataPacket(SimRecvId id, const Session& session, const Request& request,
                                    const SimObject& object, std::uint32_t entry, std::uint32_t outOf) const;
  SimObject* findObject(std::uint32_t objectId);
  void announceObject(std::uint32_t objectId, bool added, std::vector<Outgoing>& out);
  std::vector<Outgoing> toAll(const std::vector<std::byte>& bytes) const;
  void write(std::vector<Outgoing>& out);
  void changed();

  Options options_;
  mutable std::mutex mutex_;  // everything below
  mutable std::condition_variable changedCv_;
  std::uint64_t generation_ = 0;
  bool running_ = false;
  std::vector<std::unique_ptr<platform::StreamListener>> listeners_;
  std::vector<std::thread> acceptThreads_;
  std::vector<std::thread> readerThreads_;
  std::thread ticker_;
  std::list<std::shared_ptr<Session>> sessions_;
  int accepted_ = 0;
  std::vector<Packet> packets_;
  std::function<void(const Packet&)> observer_;
  std::uint64_t frames_ = 0;
  SimObject user_;
  std::map<std::uint32_t, SimObject> objects_;
  std::uint32_t nextObjectId_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> failNext_;  // function, exception
  std::vector<std::string> failTitles_;
  std::vector<std::pair<std::shared_ptr<Session>, Packet>> heldCreations_;
  std::size_t splitChunk_ = 0;
  bool batching_ = false;
  std::uint16_t port_ = 0;
  std::uint16_t port6_ = 0;
};

}  // namespace fakesim
