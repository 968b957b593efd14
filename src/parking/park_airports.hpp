#pragma once
// The user's park airports (airports/my_park_airports.txt with a reserved stand per airport),
// the choice of the park airport from the user aircraft's position, and its change. Run
// thread; the simulator thread only stores the user's stand, through gf_storeParkAirportStand.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "airports/airport_db.hpp"
#include "foundation/fixed_code.hpp"
#include "foundation/geodesy.hpp"

struct ParkAirport {
  std::string reservedStand;  // empty = none
  double latitude = 0.0;      // degrees
  double longitude = 0.0;     // degrees
  double distance = 0.0;      // nm to the user aircraft at the last sort; 0 when added
  IcaoCode code;
};

// In the order of the file, then sorted by distance, nearest first. Every access holds
// parkAirportsMutex (taken before the status and log mutexes, never while they are held).
extern std::vector<ParkAirport> parkAirportList;
extern std::mutex parkAirportsMutex;

// A copy of the first entry, nothing for an empty list.
std::optional<ParkAirport> gf_firstParkAirport();

// Reads my_park_airports.txt into parkAirportList and adds the airports of my_thirdparty;
// false when a line was refused for its airport.
bool lf_readMyParkAirports();
// Records the first entry's reserved stand in my_park_airports.txt (sorted, no doubles).
void gf_writeMyParkAirports();
// The line of the first entry's airport becomes `newLine`; true when the line was its.
bool lf_updateReservedStand(const std::string& newLine, const IcaoCode& code, std::string& line);
// Re-reads the list; with checkStand a changed reserved stand of the park airport takes effect.
// False when a line was refused.
bool gf_recheckParkAirports(bool checkStand, std::string& message);
// A destination: put at the front of the list (and into the file when it is new).
void gf_addParkAirport(const IcaoCode& code, double latitude, double longitude);
// The simulator thread's record of the stand under the user aircraft: when the first entry
// is the park airport, it takes the name and the file is rewritten.
void gf_storeParkAirportStand(const std::string& standName);
// The park airport's entry goes to the front of the list; a non-empty stand name becomes its
// reserved stand. The file is rewritten when the entry is new or its stand changed.
void lf_recordParkAirportStand(const Airport& airport, const std::string& standName);

void lf_sortParkAirports(const LatLon& position);
// The airport within 5 nm nearest to the position (a neighbour whose stand is nearer wins).
std::optional<Airport> gf_closestAirport(const LatLon& position);
// Choosing a park airport while none is set: the airport where the user aircraft stands, or
// the first of the list when it is in sight.
void lf_userOnGroundAt(const LatLon& position, bool showStatus);
// Giving up the park airport when it is out of sight or a nearer listed one comes into sight.
void lf_parkAirportInSight(const LatLon& position);
bool lf_showParkAirport(const IcaoCode& code);

// Registers the stand services the simulator link calls (nearest stand, storing the user's
// stand); the shell calls it before the simulator thread starts.
void gf_registerParkingServices();

namespace wdrx::testing {
void resetParkAirports();
}  // namespace wdrx::testing
