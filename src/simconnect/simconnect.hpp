#pragma once
// The program's own client library for the simulator's SimConnect protocol.
//
// Every function takes the connection first and returns a result code (negative = failure).
// Each call builds exactly one whole packet and queues it for writing before it returns; the
// transport (named pipe, TCP) lies behind src/platform. Received packets wait in a
// per-connection queue until SimConnect_CallDispatch hands them, one at a time and in arrival
// order, to the callback on the calling thread.
//
// Received packets are checked against the size their kind needs before the callback sees
// them (simRecvMinimumSize), so the callback may read every fixed field of the record type
// named by the receive id; the variable part of a SIMOBJECT_DATA packet must be checked by the
// reader (simObjectDataBytes). Strings read from a packet: use simFieldText, which never reads
// past its field.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// ---------------------------------------------------------------------------------------------
// Result codes (HRESULT-style, signed 32 bit)

using SimConnectResult = std::int32_t;

inline constexpr SimConnectResult simOk = 0;
// No packet could be sent: no connection, no send space, or the transport failed.
inline constexpr SimConnectResult simFail = static_cast<SimConnectResult>(0x80004005u);
// A string field too long for its packet field; nothing was sent.
inline constexpr SimConnectResult simStringTooLong = static_cast<SimConnectResult>(0x8007007Au);
// Bad arguments to SimConnect_Open, or an unusable configuration index.
inline constexpr SimConnectResult simInvalidArg = static_cast<SimConnectResult>(0x80070057u);
// Recorded failure codes of a connection that failed in the transport or the packet cutter.
inline constexpr SimConnectResult simAborted = static_cast<SimConnectResult>(0x800703E3u);
inline constexpr SimConnectResult simOutOfMemory = static_cast<SimConnectResult>(0x8007000Eu);

inline constexpr bool simFailed(SimConnectResult result) { return result < 0; }

// ---------------------------------------------------------------------------------------------
// Protocol constants

inline constexpr std::uint32_t simProtocolVersion = 35;      // carried by every sent packet
inline constexpr std::uint32_t simSendPacketFlag = 0xF0000000u;  // OR'd with the function id
inline constexpr std::uint32_t simSendBufferSize = 41088;    // the largest packet we send
inline constexpr std::uint32_t simDefaultMaxReceiveSize = 41088;
inline constexpr std::uint32_t simUnusedId = 0xFFFFFFFFu;     // datum id "none"
inline constexpr std::uint32_t simConfigIndexNone = 0xFFFFFFFFu;  // open without SimConnect.cfg
inline constexpr std::uint32_t simUserObjectId = 0;           // the user aircraft

// Function ids of the packets we send (packet id = simSendPacketFlag | id).
enum class SimFunction : std::uint32_t {
  Open = 0x01,
  MapClientEventToSimEvent = 0x04,
  TransmitClientEvent = 0x05,
  AddClientEventToNotificationGroup = 0x07,
  SetNotificationGroupPriority = 0x09,
  AddToDataDefinition = 0x0C,
  RequestDataOnSimObject = 0x0E,
  RequestDataOnSimObjectType = 0x0F,
  SetDataOnSimObject = 0x10,
  SubscribeToSystemEvent = 0x17,
  AICreateNonATCAircraft = 0x29,
  AIReleaseControl = 0x2B,
  AIRemoveObject = 0x2C,
  AISetAircraftFlightPlan = 0x2D,
};

// Sizes of the sent packets (SetDataOnSimObject: simSetDataHeaderSize + data bytes).
inline constexpr std::uint32_t simSendHeaderSize = 16;
inline constexpr std::uint32_t simOpenSize = 296;
inline constexpr std::uint32_t simMapClientEventSize = 276;
inline constexpr std::uint32_t simTransmitClientEventSize = 36;
inline constexpr std::uint32_t simAddClientEventToGroupSize = 28;
inline constexpr std::uint32_t simSetGroupPrioritySize = 24;
inline constexpr std::uint32_t simAddToDataDefinitionSize = 544;
inline constexpr std::uint32_t simRequestDataSize = 48;
inline constexpr std::uint32_t simRequestDataByTypeSize = 32;
inline constexpr std::uint32_t simSetDataHeaderSize = 36;
inline constexpr std::uint32_t simSubscribeSize = 276;
inline constexpr std::uint32_t simCreateAircraftSize = 344;
inline constexpr std::uint32_t simReleaseControlSize = 24;
inline constexpr std::uint32_t simRemoveObjectSize = 24;
inline constexpr std::uint32_t simSetFlightPlanSize = 284;

// Field lengths (bytes, NUL included).
inline constexpr std::size_t simNameFieldLength = 256;     // names, titles, event names
inline constexpr std::size_t simTailNumberLength = 12;
inline constexpr std::size_t simPathFieldLength = 260;     // flight-plan path

// Data types of SimConnect_AddToDataDefinition.
enum class SimDataType : std::uint32_t {
  Int64 = 2,     // 8 bytes
  Float64 = 4,   // 8 bytes
  String32 = 6,  // char[32]
  StringV = 11,  // NUL-terminated, variable length
};

// Request periods of SimConnect_RequestDataOnSimObject.
enum class SimPeriod : std::uint32_t {
  Once = 1,
  Second = 4,
};

// Object types of SimConnect_RequestDataOnSimObjectType and EVENT_OBJECT_ADDREMOVE.
enum class SimObjectType : std::uint32_t {
  Aircraft = 2,
};

// Exception numbers of the EXCEPTION packet that the program tells apart.
enum class SimException : std::uint32_t {
  UnrecognizedId = 3,
  VersionMismatch = 5,
  TooManyObjects = 11,
  InvalidDataSize = 19,
  CreateObjectFailed = 22,
  LoadFlightPlanFailed = 23,
  OperationInvalidForObjectType = 24,
};

// Notification group priority "highest".
inline constexpr std::uint32_t simGroupPriorityHighest = 1;

// Initial position of SimConnect_AICreateNonATCAircraft (56 bytes on the wire).
struct SimInitPosition {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double altitude = 0.0;   // feet
  double pitch = 0.0;      // degrees
  double bank = 0.0;       // degrees
  double heading = 0.0;    // degrees
  std::uint32_t onGround = 0;  // 0/1
  std::uint32_t airspeed = 0;  // knots
};
static_assert(sizeof(SimInitPosition) == 56);

// ---------------------------------------------------------------------------------------------
// Received packets

enum class SimRecvId : std::uint32_t {
  Null = 0,
  Exception = 1,
  Open = 2,
  Quit = 3,
  Event = 4,
  EventObjectAddRemove = 5,
  EventFilename = 6,
  EventFrame = 7,
  SimObjectData = 8,
  SimObjectDataByType = 9,
};

// The first 12 bytes of every received packet.
struct SimRecv {
  std::uint32_t size;     // whole packet, header included
  std::uint32_t version;  // protocol version of the server
  std::uint32_t id;       // receive id (SimRecvId)
};
static_assert(sizeof(SimRecv) == 12);

inline SimRecvId simRecvId(const SimRecv* packet) { return static_cast<SimRecvId>(packet->id); }

struct SimRecvException : SimRecv {
  std::uint32_t exception;  // 12: exception number (SimException)
  std::uint32_t sendId;     // 16: send id of the packet that caused it
  std::uint32_t index;      // 20: parameter index
};

struct SimRecvOpen : SimRecv {
  char applicationName[256];       // 12
  std::uint32_t versionMajor;      // 268
  std::uint32_t versionMinor;      // 272
  std::uint32_t buildMajor;        // 276
  std::uint32_t buildMinor;        // 280
};

struct SimRecvEvent : SimRecv {
  std::uint32_t groupId;  // 12 (not read by the program)
  std::uint32_t eventId;  // 16: client event id
  std::uint32_t data;     // 20
};

struct SimRecvObjectAddRemove : SimRecv {
  std::uint32_t groupId;     // 12 (not read by the program)
  std::uint32_t eventId;     // 16: client event id (ObjectAdded / ObjectRemoved)
  std::uint32_t objectId;    // 20
  std::uint32_t objectType;  // 24: SimObjectType (2 = aircraft)
};

// SIMOBJECT_DATA and SIMOBJECT_DATA_BYTYPE.
struct SimRecvSimObjectData : SimRecv {
  std::uint32_t requestId;    // 12
  std::uint32_t objectId;     // 16
  std::uint32_t reserved[5];  // 20..39 (not read by the program)
  // 40: the definition's values, packed in definition order
};

// All fields are u32 or char: the sizes pin the offsets given in the comments.
static_assert(sizeof(SimRecvException) == 24);
static_assert(sizeof(SimRecvOpen) == 284);
static_assert(sizeof(SimRecvEvent) == 24);
static_assert(sizeof(SimRecvObjectAddRemove) == 28);
static_assert(sizeof(SimRecvSimObjectData) == 40);

inline constexpr std::uint32_t simRecvOpenSize = 308;              // what the server sends
inline constexpr std::uint32_t simObjectDataOffset = 40;           // start of the values
inline constexpr std::uint32_t simString32Length = 32;

// The smallest size a received packet of this kind must have for its fixed fields to be read;
// shorter packets are dropped (and logged) before they reach the callback.
inline constexpr std::uint32_t simRecvMinimumSize(std::uint32_t receiveId) {
  switch (static_cast<SimRecvId>(receiveId)) {
    case SimRecvId::Exception: return 24;
    case SimRecvId::Open: return 284;
    case SimRecvId::Event: return 24;
    case SimRecvId::EventObjectAddRemove: return 28;
    case SimRecvId::SimObjectData:
    case SimRecvId::SimObjectDataByType: return simObjectDataOffset;
    default: return 12;
  }
}

// The value bytes of a SIMOBJECT_DATA packet of `size` bytes.
inline const std::byte* simObjectData(const SimRecvSimObjectData* packet) {
  return reinterpret_cast<const std::byte*>(packet) + simObjectDataOffset;
}
inline std::size_t simObjectDataBytes(std::uint32_t size) {
  return size > simObjectDataOffset ? size - simObjectDataOffset : 0;
}

// Text of a fixed char[N] field (or of a STRINGV value within `capacity` bytes): up to the
// first NUL, never beyond the field.
inline std::string_view simFieldText(const char* field, std::size_t capacity) {
  const void* nul = std::memchr(field, 0, capacity);
  return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : capacity};
}
template <std::size_t N>
inline std::string_view simFieldText(const char (&field)[N]) {
  return simFieldText(field, N);
}

// ---------------------------------------------------------------------------------------------
// API

struct SimConnection;  // one open connection (the handle)

// Called once per received packet of at least 12 bytes; the packet memory is valid only
// during the call.
using SimDispatchProc = void (*)(const SimRecv* packet, std::uint32_t size, void* context);

// Opens a connection (SimConnect.cfg section "SimConnect" for index 0, "SimConnect.<n>" else;
// simConfigIndexNone reads no file) and writes the Open packet. The simulator's OPEN answer
// comes later through SimConnect_CallDispatch. windowHandle, userMessage and eventHandle are
// kept for completeness; this program passes none.
SimConnectResult SimConnect_Open(SimConnection** handle, const char* name, void* windowHandle,
                                 std::uint32_t userMessage, void* eventHandle,
                                 std::uint32_t configIndex);
// Writes out what is pending and closes; the handle is invalid afterwards.
SimConnectResult SimConnect_Close(SimConnection* handle);
// Hands every queued packet to the callback; returns the recorded failure code when the
// connection has failed, else 0.
SimConnectResult SimConnect_CallDispatch(SimConnection* handle, SimDispatchProc callback,
                                         void* context);
// The send id stamped last by the calling thread on this connection (or, when this thread has
// sent nothing on it, by any thread).
SimConnectResult SimConnect_GetLastSentPacketID(SimConnection* handle, std::uint32_t* sendId);

SimConnectResult SimConnect_SubscribeToSystemEvent(SimConnection* handle, std::uint32_t eventId,
                                                   const char* systemEventName);
SimConnectResult SimConnect_MapClientEventToSimEvent(SimConnection* handle,
                                                     std::uint32_t eventId,
                                                     const char* simEventName);
SimConnectResult SimConnect_AddClientEventToNotificationGroup(SimConnection* handle,
                                                              std::uint32_t groupId,
                                                              std::uint32_t eventId,
                                                              bool maskable);
SimConnectResult SimConnect_SetNotificationGroupPriority(SimConnection* handle,
                                                         std::uint32_t groupId,
                                                         std::uint32_t priority);
// unitsName may be null (no units).
SimConnectResult SimConnect_AddToDataDefinition(SimConnection* handle, std::uint32_t defineId,
                                                const char* datumName, const char* unitsName,
                                                SimDataType dataType, float epsilon = 0.0f,
                                                std::uint32_t datumId = simUnusedId);
SimConnectResult SimConnect_RequestDataOnSimObject(SimConnection* handle,
                                                   std::uint32_t requestId,
                                                   std::uint32_t defineId,
                                                   std::uint32_t objectId, SimPeriod period,
                                                   std::uint32_t flags = 0,
                                                   std::uint32_t origin = 0,
                                                   std::uint32_t interval = 0,
                                                   std::uint32_t limit = 0);
SimConnectResult SimConnect_RequestDataOnSimObjectType(SimConnection* handle,
                                                       std::uint32_t requestId,
                                                       std::uint32_t defineId,
                                                       std::uint32_t radiusMeters,
                                                       SimObjectType type);
// Sends max(arrayCount, 1) units of unitSize bytes from data.
SimConnectResult SimConnect_SetDataOnSimObject(SimConnection* handle, std::uint32_t defineId,
                                               std::uint32_t objectId, std::uint32_t flags,
                                               std::uint32_t arrayCount,
                                               std::uint32_t unitSize, const void* data);
SimConnectResult SimConnect_TransmitClientEvent(SimConnection* handle, std::uint32_t objectId,
                                                std::uint32_t eventId, std::uint32_t data,
                                                std::uint32_t groupId, std::uint32_t flags);
// sendId (optional) receives the send id of this call's own packet, whatever other threads
// send on the same connection meanwhile.
SimConnectResult SimConnect_AICreateNonATCAircraft(SimConnection* handle,
                                                   const char* containerTitle,
                                                   const char* tailNumber,
                                                   const SimInitPosition& position,
                                                   std::uint32_t requestId,
                                                   std::uint32_t* sendId = nullptr);
SimConnectResult SimConnect_AIReleaseControl(SimConnection* handle, std::uint32_t objectId,
                                             std::uint32_t requestId);
SimConnectResult SimConnect_AIRemoveObject(SimConnection* handle, std::uint32_t objectId,
                                           std::uint32_t requestId);
SimConnectResult SimConnect_AISetAircraftFlightPlan(SimConnection* handle,
                                                    std::uint32_t objectId,
                                                    const char* flightPlanPath,
                                                    std::uint32_t requestId);
