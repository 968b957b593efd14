#pragma once
// Facts about the running process.
#include <cstdint>

namespace platform {

// True when the process runs with administrator rights (Windows: an elevated token;
// posix: effective user id 0). False when that cannot be determined.
bool processIsElevated();

// The calling thread's id as the system numbers it, cut to 32 bits.
std::uint32_t currentThreadId();

}  // namespace platform
