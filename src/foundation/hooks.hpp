#pragma once
// What the foundation asks of the layers above it (run control, status line, settings), handed
// in as plain function pointers at start-up so that the foundation links to nothing above it.
// Until one is registered: nothing ever asks to stop, random choices are on (the setting's
// default) and status texts only go to the log when asked to.
#include <string>

using StopQuery = bool (*)();                                  // a run stop or a close is asked
using StatusPoster = void (*)(const std::string& text, bool log);  // the window's status line
using RandomSwitch = bool (*)();                               // the setting RANDOM

// Each replaces the registered hook; null restores the default. Safe from any thread.
void gf_setStopQuery(StopQuery query);
void gf_setStatusPoster(StatusPoster poster);
void gf_setRandomSwitch(RandomSwitch randomSwitch);

// The foundation's calls through the hooks.
bool gf_stopRequested();
void gf_hookPostStatus(const std::string& text, bool log);
bool gf_randomOn();
