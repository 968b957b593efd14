#pragma once
// The records of airport files: a stand (parking position) with its learned uses, one learned
// use of a stand, and what the airport-file writer is given. standTable holds the stands of the
// park airport; it belongs to the run thread.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "aircraft/aircraft_codes.hpp"
#include "foundation/fixed_code.hpp"
#include "parking/slot_sets.hpp"

inline constexpr double metresToNm = 0.0005399568034557236;
inline constexpr double nmToMetres = 1852.0;

// One learned use of a stand: this aircraft stood there on `day` in the slots of `hours`.
struct StandOption {
  AircraftCodes codes;  // fromDbase = 1: the codes came from the registration table
  std::string reg;
  std::string cs1;
  std::string cs2;
  HalfHourSet hours;
  std::uint32_t number = 0;  // 1..n within the stand in reading order; 0 = switched off
  std::uint32_t day = 0;     // 1 (Monday) .. 7
  std::uint32_t source = 0;  // 1 = from the airport file, 0 = learned
  std::uint32_t real = 1;    // 1 = seen in live traffic, 0 = soft
  std::uint8_t cpl = 0;      // the aircraft was seen leaving the stand
};

struct StandPosition {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double heading = 0.0;    // radians
};

struct Stand {
  Stand(std::vector<StandOption> standOptions, std::string standName, StandPosition position,
        double radiusMetres, std::uint16_t parkingType, bool isCargo, bool isRamp, bool isHeli);

  std::vector<StandOption> options;
  std::string name;
  std::vector<std::uint32_t> neighbours;  // stand numbers, reserved for 8
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double heading = 0.0;    // radians
  double radius = 0.0;     // nautical miles
  std::uint32_t number = 0;  // 1..n in table order once read; 0 = none
  std::uint16_t type = 0;    // scenery parking type 0..15
  std::uint8_t manual = 0;
  std::uint8_t radius_change = 0;
  std::uint8_t cargo_change = 0;
  std::uint8_t taken = 0;     // by a static aircraft of the current calculation
  std::uint8_t occupied = 0;  // by a live aircraft
  std::uint8_t reserved = 0;  // the user's stand
  std::uint8_t blocked = 0;   // neighbour of a taken stand
  std::uint8_t cargo = 0;
  std::uint8_t ramp = 0;
  std::uint8_t heli = 0;
};

// What the airport-file writer is given.
struct ApfData {
  IcaoCode icao;  // may be empty
  std::string airport_name;
  std::string BGLpath;
  std::string publisher;
  std::int32_t Qf_real = -1;  // negative = none
  std::int32_t Qf_soft = -1;
  std::int32_t altitude = 0;  // feet
  std::vector<Stand> stands;
};

// The stands of the park airport in file order, numbered 1..n and so sorted by number.
extern std::vector<Stand> standTable;

// The stand with that number (binary search on the sorted table); nullptr for 0 or none.
Stand* gf_findStandByNumber(std::int64_t number);
// The option of the stand with that number; nullptr for 0 or none.
StandOption* gf_findStandOption(Stand& stand, std::uint32_t number);

// File names of an airport code: "EHAM.xml", "EHAM.txt".
std::filesystem::path gf_apfFileName(const IcaoCode& code);
std::string gf_apfFileNameString(const IcaoCode& code);
std::filesystem::path gf_apfPointerFileName(const IcaoCode& code);
