#pragma once
// Reading the park airport's file: header, stands, learned file, per-airport defaults, stand
// numbers and neighbours, and the summary in Log.txt. Run thread; standTable is cleared by the
// caller before (lf_clearStands).
#include <string>

// Empty on success, else the error text; tql::UserErrorException (a file the user must mend)
// passes to the caller. In every failure standTable keeps what was read so far.
std::string gf_readApf(const std::string& name);
