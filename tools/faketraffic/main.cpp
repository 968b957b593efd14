// faketraffic: stands in for RealTraffic on this PC, on the loopback address only.
//
//   faketraffic [--traffic-port N] [--qnh-port N] [--psx-port N] [--scenario FILE]
//
// --psx-port: connects to the PSX-protocol server at that port (retrying for up to 60 s),
//   answers "Qs999=version" with {"level":2,"version":"9.0.1"} and prints every line the
//   server sends (without CR LF); the program then runs until the server sends "exit" or
//   closes the connection. An "exit" ends the replay too, wherever it stands.
// --scenario: replays FILE, sending each line at its time to the traffic or QNH port.
//
// Scenario file, one datagram per line:
//   <seconds> traffic <datagram text>
//   <seconds> qnh <datagram text>
// <seconds> is the offset from the start of the replay (decimal, fractions allowed); lines are
// sent in file order, a line whose time has passed at once. The datagram text is the rest of
// the line after one blank, sent byte for byte (a trailing CR is dropped). Blank lines and
// lines whose first non-blank character is '#' are comments. Example:
//   # a QNH, then one aircraft twice, ten seconds apart
//   0 qnh {"QNH":1013}
//   0.5 traffic TFC,4840123,52.3,4.76,5000,-640,0,90,250,KLM1234,B738,PH-BXA,AMS,LHR,1700000000,,,adsb_icao,,,270,,,0,,91,,,A3
//   10.5 traffic TFC,4840123,52.3,4.80,4800,-640,0,90,250,KLM1234,B738,PH-BXA,AMS,LHR,1700000010,,,adsb_icao,,,270,,,0,,91,,,A3
// tools/faketraffic/scenarios/demo.txt holds lines in the service's current 43-field format.
// Fields by number (0 first): 1 address (decimal), 2/3 latitude/longitude, 4 altitude ft,
// 5 vertical speed ft/min, 6 ground flag (1: on the ground), 7 track, 8 ground speed kt,
// 9 callsign, 10 type, 11 registration, 12/13 origin/destination, 14 time stamp (s since
// 1970), 17 source, 20 true airspeed kt, 23 roll, 25 true heading, 28 emitter category.
#include "faketraffic/faketraffic.hpp"

int main(int argc, char** argv) { return faketraffic::runMain(argc, argv); }
