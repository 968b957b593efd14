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

std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

}  // namespace platform
