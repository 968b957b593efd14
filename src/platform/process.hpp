#pragma once
// Facts about the running process.
#include <cstdint>

namespace platform {

// True when the process runs with administrator rights (Windows: an elevated token;
// posix: effective user id 0). False when that cannot be determined.
bool processIsElevated();

// The processors the process may run on (an affinity mask set by the user counts, not only the
// processors of the machine); 0 when the system does not say.
int usableProcessorCount();

// The calling thread's id as the system numbers it, cut to 32 bits.
std::uint32_t currentThreadId();

}  // namespace platform
