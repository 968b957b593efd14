#pragma once
// trafficgen: writes a faketraffic scenario of an airport's traffic in the traffic service's
// 43-field line format (arrivals that land, taxi to a stand and park; departures that appear
// at a stand, push back, taxi and take off; overflights), and the airport file with the stands
// they use, so that the program parks them. The airport's runways and pier are built in.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace trafficgen {

struct Options {
  std::string airport = "EHAM";
  std::string landingRunway = "18C";
  std::string takeoffRunway = "24";
  int arrivals = 20;
  int departures = 20;
  int overflights = 12;
  int minutes = 60;                // flights are spread over this time
  std::uint32_t seed = 1;          // the same seed gives the same scenario
  double startTime = 1.7e9;        // the time stamp of second 0 (seconds since 1970)
  double reportSeconds = 4.0;      // one report per aircraft this often
};

// Reads the command line (see main.cpp); throws std::runtime_error for a bad one.
Options parseArguments(const std::vector<std::string>& arguments, std::string* airportFile);

// The scenario, lines in time order; throws std::runtime_error for an unknown airport or runway.
void writeScenario(const Options& options, std::ostream& out);
// The airport file of the stands the scenario uses (the program's XML airport file format).
void writeAirportFile(const Options& options, std::ostream& out);

int runMain(int argc, char** argv);

}  // namespace trafficgen
