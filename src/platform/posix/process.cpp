#include "platform/process.hpp"

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

bool processIsElevated() { return ::geteuid() == 0; }

std::uint32_t currentThreadId() {
  return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

}  // namespace platform
