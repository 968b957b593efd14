#pragma once
// The records of the live-traffic engine: the identity shared by reports and aircraft, one
// reported position, one decoded traffic datagram, the record of an AI object (AcBase, static
// aircraft) and of a live aircraft (LiveAc), the states that drive them, and the two tables.
// Everything but LiveReport belongs to the run thread.
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aircraft/aircraft_codes.hpp"
#include "foundation/fixed_code.hpp"

struct AcIdentity {
  AircraftCodes codes;     // replaced as one 8-byte value
  IataCode origin;         // empty = none
  IataCode destination;    // empty = none
  std::string callsign;    // a trailing "_" marks a ghost of another flight
  std::string liveCallsign;  // live: copy of the callsign; static: the real flight's callsign
  std::string altCallsign;   // empty for live aircraft; set by the static placement
  std::string registration;  // empty = none
};

struct PositionSample {
  double latitude = 0.0;       // degrees
  double longitude = 0.0;      // degrees
  double altitude = 0.0;       // feet
  double groundSpeed = 0.0;    // knots
  double track = 0.0;          // degrees
  double verticalSpeed = 0.0;  // feet per minute
  double trueAirspeed = 0.0;   // knots
  std::int64_t dueCycle = 0;   // engineCycle at which the aircraft is to be here
  std::uint8_t airborne = 0;
  std::uint8_t onGroundMark = 0;  // 0 in reports; the engine marks samples standing still
  std::uint8_t reportFlag = 0;    // the report gave its own heading
  std::optional<double> roll;         // radians
  std::optional<double> trueHeading;  // radians, (0, 2 pi]
};

struct LiveReport {
  AcIdentity identity;
  PositionSample sample;
  double timestamp = 0.0;  // seconds since 1970, as sent by the traffic source
  std::uint32_t hexid = 0;  // 24-bit address; values up to 10000 belong to static aircraft
};

// Hexids up to this value are static aircraft; live aircraft have larger ones.
inline constexpr std::uint32_t maxStaticHexid = 10000;

enum class SimState : std::uint32_t {
  buffer = 0,           // known to the engine, no simulator object
  adding2sim = 1,       // creation requested
  active = 2,           // object exists and is driven
  liveryrespawn = 3,    // being replaced by an object with another livery
  removingfromsim = 4,  // removal requested
};

enum class FlightState : std::uint32_t {
  pushing_back = 0,
  pushed_back = 1,
  taxi = 2,
  take_off = 3,
  flying = 4,
  parking = 5,
  parked = 6,
  birth = 7,
};

std::string_view gf_simStateName(SimState state);        // "buffer" ..., "?" beyond the table
std::string_view gf_flightStateName(FlightState state);  // "pushing_back" ..., "?" beyond

// A quadratic curve from an origin through a control point to an end point: origin latitude
// and longitude (degrees), start parameter t0, end point north and east (metres from the
// origin), end parameter t1, control point east and north (metres). A NaN control point
// means no curve.
struct CurveSegment {
  double originLatitude = 0.0;
  double originLongitude = 0.0;
  double t0 = 0.0;
  double endNorth = 0.0;
  double endEast = 0.0;
  double t1 = 1.0;
  double controlEast = std::numeric_limits<double>::quiet_NaN();
  double controlNorth = std::numeric_limits<double>::quiet_NaN();

  bool present() const { return !std::isnan(controlEast) && !std::isnan(controlNorth); }
  void clear() {
    controlEast = std::numeric_limits<double>::quiet_NaN();
    controlNorth = std::numeric_limits<double>::quiet_NaN();
  }
};

// The samples of a live aircraft: the front is the sample it is heading for, the back the
// latest report. A vector with a start index: pushes at the back and pops at the front cost
// no allocation once the storage has grown to the aircraft's usual queue length.
class SampleQueue {
 public:
  using iterator = std::vector<PositionSample>::iterator;
  using const_iterator = std::vector<PositionSample>::const_iterator;

  bool empty() const { return head_ == buf_.size(); }
  std::size_t size() const { return buf_.size() - head_; }
  PositionSample& front() { return buf_[head_]; }
  const PositionSample& front() const { return buf_[head_]; }
  PositionSample& back() { return buf_.back(); }
  const PositionSample& back() const { return buf_.back(); }
  PositionSample& operator[](std::size_t i) { return buf_[head_ + i]; }
  const PositionSample& operator[](std::size_t i) const { return buf_[head_ + i]; }
  iterator begin() { return buf_.begin() + static_cast<std::ptrdiff_t>(head_); }
  iterator end() { return buf_.end(); }
  const_iterator begin() const { return buf_.begin() + static_cast<std::ptrdiff_t>(head_); }
  const_iterator end() const { return buf_.end(); }

  void push_back(const PositionSample& sample);
  void push_front(const PositionSample& sample);
  void pop_front();  // an emptied queue starts again at index 0
  void pop_back();
  iterator insert(iterator position, const PositionSample& sample);
  iterator erase(iterator first, iterator last);
  void truncate(std::size_t count);  // keeps the first count samples
  void clear();
  void reserve(std::size_t count) { buf_.reserve(head_ + count); }

 private:
  void compact();  // moves the samples to the start of the storage

  std::vector<PositionSample> buf_;
  std::size_t head_ = 0;
};

// An AI object of the simulator, live or static; the element type of staticAcTable.
struct AcBase : AcIdentity {
  double radius = 0.0;          // nautical miles, the model's half wing span
  double staticHeight = 0.0;    // feet, centre of gravity above the ground (0 until reported)
  double groundPitch = 0.0;     // radians, pitch at rest (0 until reported)
  double takeOffPitch = 0.0;    // radians
  double climbOutPitch = 0.0;   // radians
  double groundTurnRate = 0.0;  // radians per cycle
  double turnRate = 0.0;        // working turn rate, radians per cycle
  double climbLimit = 0.0;      // feet per cycle (live only)
  double groundSpeedStep = 0.0; // knots (live only)
  std::uint32_t hexid = 0;
  AcCategory category = AcCategory::Large;
  std::string_view liveryTitle;  // view of the livery data; empty = none chosen yet
  // The per-category cycle counts: flare pitch change, touchdown attitude change, rotation,
  // climb-out pitch change.
  std::int32_t flareCycles = 0;
  std::int32_t touchdownCycles = 0;
  std::int32_t rotationCycles = 0;
  std::int32_t climbOutCycles = 0;
  std::uint8_t fsltl = 0;  // the livery title contains "FSLTL_"
  std::uint32_t objectId = 0;  // 0 = no simulator object
  double standLatitude = 0.0;   // degrees
  double standLongitude = 0.0;  // degrees
  double standHeading = 0.0;    // radians
  std::uint64_t parkingStart = 0;  // week slot at which the stand was taken
  std::int32_t standId = 0;        // stand number of the park airport; 0 = none
  SimState simState = SimState::buffer;
  std::uint32_t lastThrottle = 5;  // 5 = none sent yet
  std::uint32_t lastFlaps = 4;     // 4 = none sent yet
  std::uint8_t cargoStand = 0;
  std::uint8_t removeWhenCreated = 0;  // the removal waits for the activation
  std::uint8_t remove = 0;             // leaves liveAcTable at the next compaction
  std::uint8_t removed = 0;            // taken off a creation queue; leaves its table
  // The engine cycle at which the record's creation or removal was handed to the simulator
  // link (0 = not yet); a hand-over the simulator never answers is given up after a time-out.
  std::int64_t handOverCycle = 0;

  bool isStatic() const { return hexid <= maxStaticHexid; }
};

// A live aircraft: an AcBase plus its movement state; the element type of liveAcTable.
struct LiveAc : AcBase {
  LiveAc() = default;
  // Takes over the record (object id 0, no stand, buffer/birth) and pushes the first sample.
  LiveAc(AcBase&& record, const PositionSample& firstSample, double timestamp);

  // Position and attitude as sent each cycle.
  double latitude = 0.0;       // degrees
  double longitude = 0.0;      // degrees
  double pitch = 0.0;          // radians, negative = nose up
  double bank = 0.0;           // radians
  double heading = 0.0;        // radians
  double altitude = 0.0;       // feet
  double verticalSpeed = 0.0;  // feet per second
  double trueAirspeed = 0.0;   // knots; 0 while the front sample is marked on-ground

  SampleQueue samples;
  double lastReportTime = 0.0;  // seconds, timestamp of the last report taken
  double overlapLatitude = 0.0;   // position last tested against static aircraft
  double overlapLongitude = 0.0;
  std::int64_t parkedSince = 0;   // steady-clock nanoseconds
  std::int32_t pathExtensionCount = 0;  // 0 none, n > 0 steps left, -1 finished
  std::int64_t holdStart = 0;           // engine cycle at which the aircraft began to hold
  FlightState flightState = FlightState::birth;
  FlightState previousFlightState = FlightState::birth;

  std::uint8_t stopTest = 0;     // a parking or parked aircraft is tested for standing still
  std::uint8_t onGround = 0;     // created on the ground, or reported on it after a landing
  std::uint8_t hasFlightPlan = 0;
  std::uint8_t heldForUser = 0;
  std::uint8_t holding = 0;

  double latitudeRate = 0.0;   // degrees per cycle
  double longitudeRate = 0.0;  // degrees per cycle
  double pitchRate = 0.0;      // radians per cycle (the pitch step set at touchdown)
  double bankRate = 0.0;       // radians per cycle (the bank step set at touchdown)
  double headingRate = 0.0;    // radians per cycle
  double groundHeading = 0.0;  // radians
  double altitudeRate = 0.0;   // feet per cycle
  double legVerticalSpeed = 0.0;  // feet per minute
  double legTrueAirspeed = 0.0;   // knots
  double legTrack = 0.0;          // radians, bearing from the front sample to the next

  CurveSegment curve;
  double curveT = 0.0;
  double curveStep = 0.0;
  double curveAngle = 0.0;      // degrees
  std::uint8_t alignToTrack = 0;
  double turnToTrackAngle = 0.0;  // degrees

  // Push-back and the drive to the stand.
  PositionSample pushBackSample;
  std::int32_t pushBackPhase = 0;
  double driveLatitude = 0.0;  // last position of the drive to the stand
  double driveLongitude = 0.0;
  double lastTry2ParkLatitude = 0.0;
  double lastTry2ParkLongitude = 0.0;
  double extensionThreshold = 0.0;
  std::int32_t parkingCounters[2] = {0, 0};

  std::int32_t earlyWindow = 1000;  // cycles
  std::int32_t lateWindow = 1000;   // cycles
  std::int32_t flareCounter = 1;
  std::int32_t stopCounter = 0;
  double routeChangeHeading = 0.0;  // radians, heading kept at a route change
  double heightAboveGround = 2500.0;  // feet, until the simulator reports it
  // Feet, the ground under the object as the simulator last reported it (NaN until then).
  double groundAltitude = std::numeric_limits<double>::quiet_NaN();
  double touchdownHeading = 0.0;      // radians
  double lastPushedDistance = 0.0;    // nautical miles
  double stopStartDistance = 0.0;     // nautical miles
  double stopLargestDistance = 0.0;   // nautical miles
  double keptHeading = 0.0;           // radians
  std::uint8_t hasKeptHeading = 0;
  std::uint8_t keptAirborne = 0;      // the kept attitude flags of a livery respawn
  std::uint8_t keptOnGroundMark = 0;
  std::uint8_t keptReportFlag = 0;
  std::optional<bool> pushBackDirection;  // true: the turn is positive
  std::optional<double> flareReferenceAltitude;  // feet
  double flareAltitude = 0.0;                    // feet above the reference

  std::uint8_t flareStage = 0;  // 0..4
  std::uint8_t approach = 0;
  std::uint8_t touchdownSeen = 0;
  std::uint8_t shortTurnaround = 0;
  std::uint8_t goAround = 0;
  std::uint8_t climbOut = 0;
  std::uint8_t cruiseConfig = 0;
  std::uint8_t lowLevelConfig = 0;
  std::uint8_t touchdown = 0;
  std::uint8_t landingRoll = 0;
  std::uint8_t parkedReport = 0;
  // This aircraft flares: while any aircraft does, the range request runs every 20 cycles.
  std::uint8_t flareMark = 0;
  // The stand option of today has been matched for this aircraft (once per aircraft).
  std::uint8_t standOptionMatched = 0;

  // Sets the flight state, keeping the previous one unless the value does not change.
  void setFlightState(FlightState state) {
    if (state != flightState) previousFlightState = flightState;
    flightState = state;
  }
};

// Filling a record from an identity: identity, radius, category and the per-category values
// (the two pitch values randomised). Throws "invalid unordered_map<K, T> key" for a category
// outside the tables.
AcBase gf_buildRecord(const AcIdentity& identity);

// A static aircraft on a stand: identity and category filled by gf_buildRecord.
AcBase gf_makeStaticAc(AcBase&& record, std::int32_t standId, double standLatitude,
                       double standLongitude, double standHeading, std::uint8_t cargoStand);

// Whether a stand of the given BGL parking type suits an aircraft category.
bool gf_standFitsCategory(std::int32_t standType, AcCategory category);

// ---------------------------------------------------------------------------------------------
// The tables. Other structures refer to records by hexid, object id or stand number, never
// by address: the tables move their elements when they compact.
//
// Records enter and leave through the functions below, which keep the indexes by hexid and
// by object id; a record whose object id changes is announced with gf_indexObjectId.

extern std::vector<LiveAc> liveAcTable;
extern std::vector<AcBase> staticAcTable;

LiveAc& gf_appendLiveAc(LiveAc&& record);
AcBase& gf_appendStaticAc(AcBase&& record);

// nullptr when none.
LiveAc* gf_findLiveAc(std::uint32_t hexid);
LiveAc* gf_findLiveAcByObjectId(std::uint32_t objectId);
AcBase* gf_findStaticAc(std::uint32_t hexid);
AcBase* gf_findStaticAcByObjectId(std::uint32_t objectId);

// After a record's object id was set.
void gf_indexObjectId(const AcBase& record);

// Live records with the remove or removed byte leave, static ones with the removed byte; the
// others keep their order.
void gf_compactLiveAcTable();
void gf_compactStaticAcTable();
// Erases one record, the last one taking its place.
void lf_eraseLiveAc(std::size_t index);
void gf_eraseStaticAc(std::size_t index);
// Both tables emptied (run reset).
void gf_clearAcTables();
