#pragma once
// The steps of the live aircraft's movement that its files share (and tests call one by one):
// the sample advance and its re-timing, the airborne, ground-roll and ground steps, take-off,
// the end of a path and the stand rules. Run thread.
#include <cstdint>

#include "parking/stand.hpp"
#include "records/category_tables.hpp"
#include "records/records.hpp"

// --- airborne movement

// The rates of the leg from the front sample to the next one (the front leaves the queue).
void nextPos(LiveAc& ac);
void lf_timeNextSample(LiveAc& ac);
void lf_airborneStep(LiveAc& ac, std::int32_t cycles);
double lf_descentRate(const LiveAc& ac);
double lf_takeOffClimbRate(const LiveAc& ac, std::int32_t cycles);
bool lf_skipToAirborne(LiveAc& ac, std::size_t i);
// Re-times the next sample (index 1) to the current cycle + cycles, within its windows.
void lf_setNextDue(LiveAc& ac, std::int64_t cycles);
double lf_meanGroundSpeed(const LiveAc& ac);  // knots, at least 1 when both are 0
double lf_nextLegTurn(const LiveAc& ac);       // radians, -pi..pi
void lf_bankRate(LiveAc& ac, double turn, std::int32_t cycles);
void lf_lowLevelConfig(LiveAc& ac);
void lf_approachCheck(LiveAc& ac);

// --- take-off, flare and touchdown

void lf_groundRollStep(LiveAc& ac);
void lf_startTakeOff(LiveAc& ac);
bool lf_rotationSpeedReached(const LiveAc& ac);

// --- ground movement and parking

void nextPosGround(LiveAc& ac);
// True when it took a stand.
bool try2Park(LiveAc& ac, bool landed);
void drive2Stand(LiveAc& ac, const StandPosition& stand);
void lf_pullOut(LiveAc& ac);
void lf_startPushBack(LiveAc& ac);
void lf_buildCurve(LiveAc& ac);
void lf_checkSpeedChange(LiveAc& ac);
void lf_insertMidSample(LiveAc& ac);
void lf_groundTiming(LiveAc& ac);
void lf_removeAtAdjacentStand(std::int32_t neighbour, const LiveAc& ac, std::int32_t standId);

// --- end of path

// False: no more path, the aircraft is to be removed.
bool lf_endOfSamples(LiveAc& ac);
void lf_extendPath(LiveAc& ac, std::int32_t n);
void lf_arriveAtStand(LiveAc& ac);

// --- shared helpers

// The aircraft's half wing span for distance rules: an unknown span (0, or the reference
// data's error value) counts as the largest known one.
double lf_span(const AcBase& ac);
// The longitude brought to [-180, 180); the difference b - a the short way round the earth.
double lf_wrapLongitude(double longitude);
double lf_longitudeDelta(double from, double to);
// An angle brought to [0, 2 pi).
double lf_normalize2Pi(double angle);
// A rounded cycle count; a value that is no 32-bit integer (NaN included) throws
// gsl::narrowing_error.
std::int32_t lf_cycleCount(double value);
// Both windows shrink by 100 cycles, not below 1000.
void lf_shrinkWindows(LiveAc& ac);
// Turns the heading toward a target by at most the working turn rate, the short way round,
// only when they differ by more than half a degree.
void lf_turnToward(LiveAc& ac, double target);
// The park airport's file is read (its stands are known) and its field altitude in feet.
bool lf_parkAirportLoaded();
double lf_fieldAltitude();
// Lights of the aircraft's object; nothing without an object of its own.
void lf_lights(const AcBase& ac, std::uint32_t nav, std::uint32_t beacon, std::uint32_t landing,
               std::uint32_t taxi, std::uint32_t strobes, std::uint32_t logo, std::uint32_t cabin);
void lf_cabinLights(const AcBase& ac, std::uint32_t on);
