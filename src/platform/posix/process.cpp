#include "platform/process.hpp"

#include <cerrno>
#include <cstddef>

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

bool processIsElevated() { return ::geteuid() == 0; }

int usableProcessorCount() {
  // The set grows until it holds every processor the system numbers (more than 1024 is rare).
  for (int size = CPU_SETSIZE; size <= (1 << 16); size *= 2) {
    cpu_set_t* set = CPU_ALLOC(size);
    if (set == nullptr) return 0;
    const std::size_t bytes = CPU_ALLOC_SIZE(size);
    const int result = ::sched_getaffinity(0, bytes, set);
    const int count = result == 0 ? CPU_COUNT_S(bytes, set) : 0;
    CPU_FREE(set);
    if (result == 0) return count;
    if (errno != EINVAL) return 0;
  }
  return 0;
}

std::uint32_t currentThreadId() {
  return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

}  // namespace platform
