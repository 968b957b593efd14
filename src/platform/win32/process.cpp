#include "platform/process.hpp"

#include <windows.h>

namespace platform {

bool processIsElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool ok = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  ::CloseHandle(token);
  return ok && elevation.TokenIsElevated != 0;
}

int usableProcessorCount() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
    int count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count;
  }
  // A process spread over several processor groups has no single mask: all of them.
  return static_cast<int>(::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
}

std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

}  // namespace platform
