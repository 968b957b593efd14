#pragma once
// Fixtures of the stand, park-airport and static-parking tests: the airport-file fixture plus a
// double of the engine's removal services, a recording airport band, stands built in the test
// and aircraft records of the engine's tables. Every global of these parts is reset around
// each test.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/geodesy.hpp"
#include "parking/apf_fixture.hpp"
#include "parking/slot_sets.hpp"
#include "parking/stand.hpp"
#include "records/records.hpp"

namespace stands_test {

inline const LatLon base{52.3, 4.76};
// The point that many metres away from `from` along the bearing (degrees).
LatLon offset(const LatLon& from, double bearingDeg, double metres);

// What the engine was asked to do; removals put the record in removingfromsim.
struct EngineDouble {
  std::vector<std::uint32_t> removed;  // hexids, in order
  std::vector<std::string> removedAtStand;
  std::vector<std::size_t> oldestRemoved;
  std::vector<std::uint32_t> nearUserAsked;
  int removeAllCalls = 0;
  bool nearUserRemoves = false;  // the answer of removeIfNearUser
  bool dropFinds = true;         // the answer of dropQueuedCreation
};

// What the airport band was shown.
struct BandDouble {
  std::vector<std::pair<std::int32_t, std::int32_t>> wanted;
  std::vector<std::pair<bool, bool>> passMarks;
  std::vector<float> staticFit;
  std::string reservedStand;
  bool reservedFound = false;
  IcaoCode parkAirport;
  bool loaded = false;
  int disableCalls = 0;
  int destinationEnabled = 0;
};

class StandsTest : public apf_test::ApfTest {
 protected:
  StandsTest();
  ~StandsTest() override;

  Stand& addStand(const std::string& name, const LatLon& at, double radiusMetres = 20.0,
                  std::uint16_t type = 0);
  static void link(Stand& a, Stand& b);  // neighbours both ways
  StandOption& addOption(Stand& stand, const std::string& reg, const std::string& airline,
                         const std::string& model, std::uint32_t day, const std::string& hh,
                         const std::string& cs1 = "", const std::string& cs2 = "", std::uint32_t real = 1);
  LiveAc& addLive(const std::string& callsign, const LatLon& at, AcCategory category = AcCategory::Large,
                  double radiusMetres = 17.0);
  // An active static aircraft on the stand, parked since the week slot.
  AcBase& addStatic(const std::string& callsign, const Stand& stand, const AircraftCodes& codes,
                    WeekSlot parkedSince, double radiusMetres = 17.0);
  static void setNow(std::int32_t day, std::int32_t halfHour);
  static void userAt(const LatLon& at, bool onGround, double heightFeet = 0.0);
  static AircraftCodes codes(const std::string& airline, const std::string& model);

  EngineDouble engine;
  BandDouble band;
};

}  // namespace stands_test
