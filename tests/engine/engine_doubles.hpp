#pragma once
// Test doubles of what the engine calls in the livery and parking layers: they record their
// calls so that engine tests can see what the engine asked for.
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "parking/stand.hpp"
#include "records/records.hpp"

namespace wdrx::testing {

struct StandOptionCall {
  std::int32_t stand = 0;
  std::string callsign;
  int event = 0;
  friend bool operator==(const StandOptionCall&, const StandOptionCall&) = default;
};

struct EngineDoubles {
  // gf_matchLivery: the title for an aircraft; empty = no match. Default: "Livery <model>".
  std::function<std::string(const LiveAc&)> liveryFor;
  int matchLiveryCalls = 0;

  // gf_matchStaticLivery: the title for a static aircraft; empty = no match. Default:
  // "Static <model>".
  std::function<std::string(const AcBase&)> staticLiveryFor;
  int matchStaticLiveryCalls = 0;

  std::vector<StandOptionCall> standOptions;              // lf_addRealStandOption
  std::vector<std::pair<std::int32_t, bool>> occupiedCalls;  // gf_setStandOccupied
  std::function<void(std::int32_t, bool)> occupiedHook;   // called first by gf_setStandOccupied
  int cargoChangeCalls = 0;                               // gf_learnStandCargoChange

  // Titles handed out; views into them live as long as the process.
  std::deque<std::string> titles;

  std::string_view keepTitle(std::string title);
  void reset();
};
extern EngineDoubles engineDoubles;

// A stand of the park airport for tests (numbered in order of adding).
Stand& addStand(const std::string& name, double latitude, double longitude, double headingRad,
                std::uint16_t type = 12, std::vector<std::uint32_t> neighbours = {});

}  // namespace wdrx::testing
