#pragma once
// What the program entry needs of the system: the single-instance guard, the command line, the
// 1 ms timer resolution of the main loop, and a request to close that comes from outside the
// window (posix: SIGINT, SIGTERM or SIGHUP; Windows: the console's close events).
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class InstanceLock { created, alreadyExists, failed };

// Creates the named mutex, unowned, for the rest of the process (never released). Windows:
// CreateMutexW in the session's namespace ("Local\..."). Posix: an exclusive lock on a file
// named after the mutex in the runtime folder ($XDG_RUNTIME_DIR, else the temporary folder).
InstanceLock createSingleInstanceMutex(const std::string& name);
// The lock file that stands in for the mutex on posix (empty on Windows).
std::string singleInstanceLockPath(const std::string& name);

// The arguments after the program name, as the system splits the command line (Windows:
// CommandLineToArgvW of the process's command line; posix: argv, UTF-8 to UTF-16, an argument
// that is not UTF-8 gives an empty text).
std::vector<std::u16string> commandLineArguments(int argc, char** argv);

// timeBeginPeriod(1) / timeEndPeriod(1); nothing to do elsewhere (true).
bool beginTimerPeriod();
void endTimerPeriod();

// Calls onRequest (on a thread of its own) each time the system asks the program to close.
// Posix: the three signals are blocked in the calling thread and every thread it starts
// afterwards, and taken by a waiting thread: start it first thing in main.
class CloseRequestWatch {
 public:
  CloseRequestWatch();
  ~CloseRequestWatch();  // stops the watch
  CloseRequestWatch(const CloseRequestWatch&) = delete;
  CloseRequestWatch& operator=(const CloseRequestWatch&) = delete;

  bool start(std::function<void()> onRequest);
  void stop();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
