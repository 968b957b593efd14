#include "platform/program_instance.hpp"

#include <windows.h>
#include <shellapi.h>
#include <timeapi.h>

#include <atomic>
#include <mutex>

#include "platform/utf.hpp"

namespace platform {

InstanceLock createSingleInstanceMutex(const std::string& name) {
  const std::u16string wide = utf8ToUtf16(name).value_or(u"");
  // Never closed: the mutex lives as long as the process.
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(wide.c_str()));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) return InstanceLock::alreadyExists;
  return mutex != nullptr ? InstanceLock::created : InstanceLock::failed;
}

std::string singleInstanceLockPath(const std::string&) { return {}; }

std::vector<std::u16string> commandLineArguments(int, char**) {
  std::vector<std::u16string> arguments;
  int count = 0;
  LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (list == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(reinterpret_cast<const char16_t*>(list[i]));
  ::LocalFree(list);
  return arguments;
}

bool beginTimerPeriod() { return ::timeBeginPeriod(1) == TIMERR_NOERROR; }
void endTimerPeriod() { ::timeEndPeriod(1); }

namespace {
std::mutex watchMutex;
std::function<void()> watchCallback;

BOOL WINAPI lf_consoleHandler(DWORD) {
  std::function<void()> callback;
  {
    std::lock_guard lock(watchMutex);
    callback = watchCallback;
  }
  if (!callback) return FALSE;
  callback();
  return TRUE;
}
}  // namespace

struct CloseRequestWatch::Impl {
  bool started = false;
};

CloseRequestWatch::CloseRequestWatch() : impl_(std::make_unique<Impl>()) {}
CloseRequestWatch::~CloseRequestWatch() { stop(); }

bool CloseRequestWatch::start(std::function<void()> onRequest) {
  if (impl_->started) return false;
  {
    std::lock_guard lock(watchMutex);
    watchCallback = std::move(onRequest);
  }
  impl_->started = ::SetConsoleCtrlHandler(lf_consoleHandler, TRUE) != 0;
  return impl_->started;
}

void CloseRequestWatch::stop() {
  if (!impl_->started) return;
  ::SetConsoleCtrlHandler(lf_consoleHandler, FALSE);
  std::lock_guard lock(watchMutex);
  watchCallback = nullptr;
  impl_->started = false;
}

}  // namespace platform
