#pragma once
// Keeping the user aircraft's spot free: once a second the shell asks to remove at most one AI
// aircraft standing where the user aircraft is (on the ground) or sitting on its flight path
// near the ground (in the air). Run thread.

// On the ground: a live aircraft overlapping the user aircraft, else, once the user aircraft
// has moved, a static aircraft where it now stands.
void gf_clearUserSpot();
// In the air: a live aircraft on the ground on the user's line below 500 ft, else one near the
// user aircraft by the engine's first set of limits.
void gf_clearUserPath();

namespace wdrx::testing {
void resetUserSpot();
}  // namespace wdrx::testing
