#pragma once
// Decoding of one traffic datagram (one comma-separated line per aircraft) into a LiveReport,
// and the adding stack through which the Traffic Reader hands reports to the engine.
//
// The line is the traffic service's: field 0 a record name, 1 the address (decimal), 2/3
// latitude/longitude, 4 altitude, 5 vertical speed, 6 ground flag, 7 track, 8 ground speed,
// 9 callsign, 10 type, 11 registration, 12/13 origin/destination, 14 time stamp, 17 source,
// 20 true airspeed, 23 roll, 25 true heading, 28 emitter category; a current line has 43
// fields. Missing values come as "null", as empty fields or as -1.
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "records/records.hpp"
#include "simconnect/simconnect.hpp"
#include "traffic/drop_tally.hpp"
#include "traffic/udp_reader.hpp"

// The decoder reads fields 0 to 28; a shorter line is dropped.
inline constexpr std::size_t trafficFieldCount = 29;
// Longest texts kept of a datagram: the callsign becomes the simulator's tail number.
inline constexpr std::size_t maxCallsignLength = simTailNumberLength - 1;
inline constexpr std::size_t maxRegistrationLength = 12;  // a longer one drops the report

extern std::mutex trafficMutex;            // guards addingStack and acceptTraffic
extern std::deque<LiveReport> addingStack;  // pushed at the back, taken from the front
extern bool acceptTraffic;                 // reports are pushed only while set

// onDatagram of the Traffic Reader: the datagram is in reader.datagram. Counts what it drops
// and writes the drop summary when a minute has passed.
void lf_processTrafficLine(TrafficReader& reader);
// The same for a datagram in any buffer (valid during the call): what fuzzers and tools call.
void gf_processTrafficDatagram(TrafficReader& reader, std::string_view datagram);
void processLineSub(TrafficReader& reader);
// Field 4 into the sample's altitude, QNH-corrected and put on the ground where it belongs.
// A bad field is counted as dropped here and gives badField (no throw: a broken feed sends
// many, and unwinding costs more than a whole good line).
enum class AltitudeCheck { keep, belowAirborneOnly, badField };
AltitudeCheck lf_checkAltitude(TrafficReader& reader, PositionSample& sample);
// Field 9 into the callsign; false: drop the report.
bool lf_checkCallsign(TrafficReader& reader, AcIdentity& identity);
std::string gf_formatLatLon(double latitude, double longitude);  // "{:.6f},{:.6f}"
// Writes the drop summary now when anything was dropped (the reader does so when it stops).
void gf_logTrafficDrops(TrafficReader& reader);
