#pragma once
// Static parked aircraft at the park airport: the driver the main loop calls, the reading of
// the park airport's file, the full calculation of the candidates from the stands' learned
// options for the current half hour of the week, the periodic adjustment of the aircraft
// already placed, and the flush when the park airport is left. Run thread.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "aircraft/aircraft_codes.hpp"
#include "parking/slot_sets.hpp"
#include "parking/stand_services.hpp"
#include "records/records.hpp"

// An active static aircraft that an adjustment keeps.
struct KeptStatic {
  std::string callsign;
  std::string callsign1;
  std::string callsign2;
  std::string registration;
  AircraftCodes codes;
  std::uint64_t parkingStart = 0;  // week slot
  std::int32_t standNumber = 0;
  std::uint8_t optionEnds = 0;  // its option is not in use in the next half hour
};
struct StaticRemoval {
  std::string callsign;
  std::int32_t standNumber = 0;
};

extern std::vector<KeptStatic> keptStaticList;
extern std::vector<StaticRemoval> staticRemovalList;

// The wanted number of static and parked live aircraft (read by the engine's max-park rule;
// below 1: no limit) and its share of the stands in percent.
extern std::atomic<std::int32_t> wantedStaticCount;
extern std::atomic<std::int32_t> wantedStaticPercent;
// Offsets of the last fill; softFitOffset -1 = no soft pass.
extern std::int32_t realFitOffset;
extern std::int32_t softFitOffset;
extern bool softPassUsed;
extern bool weekPassUsed;  // also keeps gf_countStaticAc from showing a mean
extern bool staticRecalcRequested;

// The main loop's driver: with status once at its start, without every 16 running seconds.
void gf_staticParkingTick(bool showStatus);
void lf_beginStaticCalc(bool showStatus);
// Empty on success, else the error text.
std::string lf_readParkedFile();
void lf_calcStaticParking();
WeekSlot lf_logCalcHeader();
void lf_markReservedStands();
std::int32_t lf_wantedStaticCount();
void lf_fillCandidates(WeekSlot now, std::int32_t wanted, std::int32_t extra);
void lf_collectCandidates(WeekSlot now, std::int32_t wanted, std::int32_t extra, int optionClass,
                          bool dayMode);
bool lf_fitStands(WeekSlot now, int optionClass, bool dayMode, std::int32_t wanted,
                  std::vector<StaticCandidate>& list);
void lf_trimCandidates(std::int32_t surplus, std::vector<StaticCandidate>& list);

// Keeps the static aircraft that still fit, replaces what no longer does, adds what is missing.
void gf_parkingAdjustments();
void lf_matchExistingStatic(WeekSlot now);
// Keeps the aircraft (and drops the candidate) when it has stood there at least as long as the
// candidate's option fits; otherwise the aircraft goes.
void lf_keepOrReplaceStatic(const AcBase& aircraft, std::size_t candidateIndex);
bool lf_optionStillFits(WeekSlot now, std::int32_t standNumber, const AcBase& aircraft);

// Removes every static aircraft and the live ones bound to a stand, saves what was learned and
// leaves the park airport.
void gf_flushStaticParking();
void lf_leaveParkAirport();

namespace wdrx::testing {
void resetStaticParking();
}  // namespace wdrx::testing
