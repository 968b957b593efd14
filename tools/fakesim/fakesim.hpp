#pragma once
// A fake simulator: the server side of the SimConnect protocol over loopback TCP and the Unix
// socket that stands for the simulator's pipe. It answers Open, keeps data definitions, event
// mappings, subscriptions and requests per connection, keeps a user aircraft and AI objects
// with their variables, sends EVENT, OBJECT_ADDREMOVE, FRAME, SIMOBJECT_DATA and
// SIMOBJECT_DATA_BYTYPE packets, records every packet it receives (decoded) and injects
// faults on request. Every public member is thread-safe.
//
// It answers as the simulator does where the program's client does not look: values in the
// data type of their definition, requests by object type within their radius (the user
// aircraft among the aircraft), the CHANGED and TAGGED request flags with origin, interval and
// limit, system-state requests, the assigned object id of a creation, and the simulator's
// exceptions for unknown ids, wrong sizes, bad enumerations and flight plans it cannot load.
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

#include "simconnect/simconnect.hpp"

namespace platform {
class ByteStream;
class StreamListener;
}  // namespace platform

namespace fakesim {

using namespace std::chrono_literals;

// Parts of the protocol the program's client does not use (numbered as the simulator does).
inline constexpr std::uint32_t functionRequestSystemState = 0x35;  // u32 request, char[256] state
inline constexpr std::uint32_t requestSystemStateSize = 276;
inline constexpr std::uint32_t recvAssignedObjectId = 12;  // 12: u32 request id, 16: u32 object id
inline constexpr std::uint32_t recvSystemState = 15;  // 12: request, 16: int, 20: f32, 24: char[260]
inline constexpr std::uint32_t recvSystemStateSize = 284;

// Data types of a definition, with the bytes a value takes (STRINGV: NUL-terminated).
enum class DataType : std::uint32_t {
  Int32 = 1, Int64 = 2, Float32 = 3, Float64 = 4, String8 = 5, String32 = 6, String64 = 7,
  String128 = 8, String256 = 9, String260 = 10, StringV = 11, InitPosition = 12, MarkerState = 13,
  Waypoint = 14, LatLonAlt = 15, Xyz = 16,
};
// Bytes of a value of the type; 0 for STRINGV; nothing for a number that names no type.
std::optional<std::size_t> dataTypeSize(std::uint32_t type);

// Object types of requests by type and of ObjectAdded/ObjectRemoved.
enum class ObjectType : std::uint32_t { User = 0, All = 1, Aircraft = 2, Helicopter = 3, Boat = 4, Ground = 5 };
inline constexpr std::uint32_t maxRequestRadius = 200000;  // metres

// Flags of RequestDataOnSimObject and SetDataOnSimObject.
inline constexpr std::uint32_t requestFlagChanged = 1;  // send only when a value changed
inline constexpr std::uint32_t requestFlagTagged = 2;   // values as (datum id, value) pairs
inline constexpr std::uint32_t setFlagTagged = 1;

// Exception numbers the fake raises besides those the program tells apart (SimException).
enum class Exception : std::uint32_t {
  SizeMismatch = 2, UnrecognizedId = 3, NameUnrecognized = 7, InvalidDataType = 18,
  InvalidDataSize = 19, CreateObjectFailed = 22, LoadFlightPlanFailed = 23,
  OperationInvalidForObjectType = 24, InvalidEnum = 27, OutOfBounds = 31,
};

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
  std::uint32_t state = 0;        // RequestSystemState: the state's name is in name
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
  ObjectType type = ObjectType::Aircraft;
  std::map<std::string, Value> variables;  // keyed by upper-case variable name
  bool createdByClient = false;
  std::uint32_t createSendId = 0;  // send id of the AICreateNonATCAircraft packet
  std::string flightPlan;          // the file of the last flight plan loaded for it
};

struct Datum {
  std::string name;
  std::string units;
  std::uint32_t type = 0;
  float epsilon = 0.0f;             // a change up to this is no change (CHANGED flag)
  std::uint32_t datumId = 0xFFFFFFFFu;  // its tag in TAGGED answers
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
  bool byTypeIncludesUser = true;     // by-type answers for aircraft list the user aircraft first
  std::chrono::milliseconds secondInterval{1000};  // per-second answers (0: only on demand)
  std::chrono::milliseconds frameInterval{0};      // FRAME events (0: only on demand)
  // The user aircraft at the start: position (degrees, feet), true heading (degrees), on the
  // ground (parked at Frankfurt unless told otherwise).
  double userLatitude = 50.03, userLongitude = 8.57, userAltitude = 364.0, userHeading = 250.0;
  bool userOnGround = true;
  // The answers of the system states "AircraftLoaded", "FlightLoaded" and "FlightPlan".
  std::string aircraftLoaded = "SimObjects\\Airplanes\\Fake User Aircraft\\fake.air";
  std::string flightLoaded = "Flights\\Default.fxml";
  std::string flightPlanLoaded;
  bool recordPackets = true;  // off: answered and observed, not kept (benchmarks, the program)
};

// The standalone program's options from its command line (arguments after the program name):
//   --port N        listen on 127.0.0.1:N (0: a free port; default when no --socket is given)
//   --socket PATH   listen on this Unix socket (the simulator's pipe)
//   --ipv6          listen on ::1 as well (same port)
//   --v6            answer as Prepar3D v6
//   --frame-ms N    a FRAME event every N ms (default 33, about 30 a second; 0: none)
//   --position LAT,LON[,ALT_FT[,HEADING_DEG]]   where the user aircraft is
//   --on-ground | --airborne                    the user aircraft's on-ground state
// Nothing, with the reason in error, for an argument it does not know or a bad value.
std::optional<Options> parseArguments(const std::vector<std::string>& arguments, std::string& error);

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
  // An AI object the client did not create (its ATC ID is what by-type answers report), at the
  // user aircraft's position unless its PLANE LATITUDE/LONGITUDE are set.
  std::uint32_t addObject(std::string title, std::string atcId, ObjectType type = ObjectType::Aircraft);
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
  // A FRAME event, and the answers of the per-frame requests.
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
    std::uint32_t requestId = 0, defineId = 0, objectId = 0, period = 0, flags = 0, origin = 0,
                  interval = 0, limit = 0;
    std::uint64_t periods = 0;  // period events since the request (the request itself is 0)
    std::uint32_t sent = 0;
    std::vector<Value> lastSent;  // per datum, for the CHANGED flag (empty: nothing sent yet)
  };
  struct Outgoing {
    std::shared_ptr<Session> session;
    std::vector<std::byte> bytes;
  };

  void acceptLoop(platform::StreamListener* listener);
  void readLoop(std::shared_ptr<Session> session);
  void tickLoop();
  void handlePacket(const std::shared_ptr<Session>& session, Packet& packet, std::vector<Outgoing>& out);
  // How a step of handlePacket refuses the packet: an EXCEPTION with the number and the index
  // of the argument at fault.
  using Refuse = std::function<void(std::uint32_t number, std::uint32_t index)>;
  // The steps of handlePacket for the functions that take more than a few lines.
  void requestData(const std::shared_ptr<Session>& session, const Packet& packet,
                   std::vector<Outgoing>& out, const Refuse& exception);
  void requestDataByType(const std::shared_ptr<Session>& session, const Packet& packet,
                         std::vector<Outgoing>& out, const Refuse& exception);
  void setData(const std::shared_ptr<Session>& session, const Packet& packet, const Refuse& exception);
  void createAircraft(const std::shared_ptr<Session>& session, const Packet& packet,
                      std::vector<Outgoing>& out, const Refuse& exception);
  void setFlightPlan(const Packet& packet, const Refuse& exception);
  void answerSystemState(const std::shared_ptr<Session>& session, const Packet& packet,
                         std::vector<Outgoing>& out, const Refuse& exception);
  // One period event of the request (the request itself is event 0): answers when origin,
  // interval and the CHANGED flag let it. False when the request has ended (limit reached).
  bool periodEvent(const std::shared_ptr<Session>& session, Request& request, std::vector<Outgoing>& out);
  std::vector<std::byte> dataPacket(SimRecvId id, const Session& session, Request& request,
                                    const SimObject& object, std::uint32_t entry, std::uint32_t outOf) const;
  void answerPeriod(std::uint32_t period, std::vector<Outgoing>& out);
  std::vector<const SimObject*> objectsOfType(ObjectType type, std::uint32_t radius) const;
  bool flightPlanLoads(const std::string& path) const;
  SimObject* findObject(std::uint32_t objectId);
  // Removes the AI object and tells the clients subscribed to ObjectRemoved; false when there is
  // none of the id.
  bool eraseObject(std::uint32_t objectId, std::vector<Outgoing>& out);
  // The ground under every aircraft: where the user aircraft stands, else sea level.
  double terrainAltitude() const;
  void announceObject(std::uint32_t objectId, ObjectType type, bool added, std::vector<Outgoing>& out);
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
  bool simRunning_ = true;  // the "Sim" state
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
