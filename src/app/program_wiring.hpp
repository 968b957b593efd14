#pragma once
// Binds the subsystems together for the program: the shell's run services, the window's
// services and the hooks through which lower layers reach the window and the engine. Called
// once by main before the application starts.
#include <cstdint>
#include <string>

void gf_wireProgram();

// The per-second work on the engine's queues: one aircraft that parked or appeared on a stand
// learns its callsign forms from the stand's options (once per aircraft), and the static
// aircraft that look like it or like one aircraft on approach go.
void lf_takeQueuedAircraft(std::uint64_t weekSlot);
// The first active live aircraft with that callsign is removed.
void lf_removeBlockedCallsign(const std::string& callsign);
