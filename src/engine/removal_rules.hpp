#pragma once
// Removal rules the engine's result handling and the lower layers' hooks need: the near-user
// test, the bookkeeping of an object the simulator removed, blocked aircraft, and the parked
// live aircraft and static aircraft of the park airport. Run thread.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "records/records.hpp"

// Removes the aircraft and answers true when it is near the user aircraft's path
// (variant 0: 4 nm, 1000 ft, 700 ft off the line; variant 1: 6 nm, 3000 ft, 4000 ft).
bool gf_removeIfNearUser(LiveAc& ac, int variant);
// The simulator removed an object: a respawning aircraft goes back to buffer, any other record
// with that object id leaves its table (and its flight-plan file goes).
void gf_removeFlightPlan(std::uint32_t objectId);
// An aircraft created while its creation was blocked.
void lf_removeBlocked(std::uint32_t hexid);

void gf_removeAllStaticAc();
void gf_removeAcAtStand(const std::string& standName);
std::int32_t gf_countParkedLiveAc(bool withMean);
void gf_listParkedLiveAc();
void gf_removeOldestParkedLive(std::size_t count);
// {hexid, hundredths of a second parked} of the parked active live aircraft, longest first.
std::vector<std::pair<std::uint32_t, std::int64_t>> lf_listParkedByAge();
