#pragma once
// The end of a run, on the run thread: the threads are stopped and joined, the run's files
// cleaned up, and then either a restart (a countdown, the reset of the run state and a new run
// thread) or the end of the program. Whoever ends a run only sets the run-control flags.
#include <chrono>

// The reasons that restart the program after a countdown.
bool gf_isRestartReason();

void lf_closingDown();
void lf_restartCountdown();
// Brings the run state back to its start values, the stop flags last; false when the user has
// asked to close meanwhile (the program then quits instead of restarting). A step that throws
// leaves the flags set.
bool lf_resetRunState();
