#pragma once
// Decoding of one traffic datagram (one comma-separated line per aircraft) into a LiveReport,
// and the adding stack through which the Traffic Reader hands reports to the engine.
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "traffic/engine/records.hpp"
#include "traffic/udp_reader.hpp"

// The decoder reads fields 0 to 28; a shorter line is dropped with a log line.
inline constexpr std::size_t trafficFieldCount = 29;

extern std::mutex trafficMutex;            // guards addingStack and acceptTraffic
extern std::deque<LiveReport> addingStack;  // pushed at the back, taken from the front
extern bool acceptTraffic;                 // reports are pushed only while set

// onDatagram of the Traffic Reader: the datagram is in reader.datagram.
void lf_processTrafficLine(TrafficReader& reader);
void processLineSub(TrafficReader& reader);
// Field 4 into the sample's altitude, QNH-corrected and put on the ground where it belongs;
// false: drop the report. Throws on a bad field.
bool lf_checkAltitude(TrafficReader& reader, PositionSample& sample);
// Field 9 into the callsign; false: drop the report.
bool lf_checkCallsign(TrafficReader& reader, AcIdentity& identity);
std::string gf_formatLatLon(double latitude, double longitude);  // "{:.6f},{:.6f}"
