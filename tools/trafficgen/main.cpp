// trafficgen: a scenario for faketraffic from a few parameters, on standard output.
//
//   trafficgen [--airport EHAM] [--runways LANDING[,TAKEOFF]] [--arrivals N] [--departures N]
//              [--overflights N] [--minutes N] [--seed N] [--start-time SECONDS]
//              [--airport-file FILE]
//
// Arrivals appear at the edge of the 20 nm range, fly the approach, land on the landing runway,
// taxi to a stand of the pier and park (they are reported for a few minutes more). Departures
// appear at a stand, push back, taxi to the takeoff runway, take off and leave the range.
// Overflights cross the range at cruise level. The flights are spread over --minutes (60);
// reports come every 4 s per aircraft, in the traffic service's 43-field format, with time
// stamps from --start-time (seconds since 1970; default: now); QNH 1013 every 30 s. Some flights
// are under way at second 0, so that aircraft appear at once. --airport-file writes the
// airport file of the pier's stands (for airports/my_thirdparty/<ICAO>.xml of the program
// folder): without it the program neither shows aircraft on the ground nor parks them.
// Defaults: EHAM, runways 18C,24, 20 arrivals, 20 departures, 12 overflights, seed 1.
#include "trafficgen/trafficgen.hpp"

int main(int argc, char** argv) { return trafficgen::runMain(argc, argv); }
