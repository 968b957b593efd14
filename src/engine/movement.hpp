#pragma once
// The movement of live aircraft and the rules that settle conflicts between aircraft, as the
// engine's cycle, spawning and sample intake call them: the due-sample advance, the per-cycle
// step, the take-off configuration, the livery respawn, ghosts, stand claims and static
// placement. Run thread.
#include <cstdint>
#include <string>

#include "records/records.hpp"

// The front sample has fallen due: the queue advances and the rates of the new leg are set;
// may remove the aircraft. Throws what the movement throws (logged by the caller).
void nextPosMain(LiveAc& ac);
// Every cycle of an active aircraft whose front sample is not marked on-ground.
void lf_followCurve(LiveAc& ac);
// The take-off configuration (climb-out flag, throttle, flaps, lights, windows).
void lf_takeOffConfig(LiveAc& ac);
// Replaces the aircraft's object by one with another livery (sim state liveryrespawn).
void liveryRespawn(LiveAc& ac);

// Removes the live aircraft named callsign + "_" (a ghost of this flight).
void lf_removeGhost(const std::string& callsign);
// True when a live aircraft (not removingfromsim) is named callsign without its last character.
bool lf_isGhostOf(const std::string& callsign);
// Clears the stand for a newcomer with this callsign; false when it must not take it.
bool lf_claimStand(std::int32_t standId, const std::string& callsign);
// False when the aircraft at the neighbour stand is too close to the wanted stand.
bool lf_adjacentStandFree(std::int32_t neighbour, const LiveAc& ac, std::int32_t standId);
// Enforces the park airport's max-park limit with `extra` aircraft about to park.
void lf_maxPark(std::int32_t extra);
// Places one static candidate (called once per engine cycle).
void lf_detcs();
// The callsign of a static aircraft from a text: trailing "_" removed (from the text too) and
// "*" appended unless it ends in one.
std::string lf_staticCallsign(std::string& text);

// Jobs of the shell: the first active static aircraft that looks like the live one (same
// registration or callsign) goes; static aircraft in the way of taxiing live aircraft go; the
// first static twin ("*" callsign or same registration) of a live aircraft on the ground goes.
void gf_removeStaticLikeLive(const LiveAc& live);
void gf_removeStaticInLivePaths();
void gf_removeStaticTwins();
