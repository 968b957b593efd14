#pragma once
// A program of the build started as a child process for the end-to-end test: its standard
// output and error go to a file, it runs in a folder of its own with extra environment
// variables, and it is killed when the object goes while it still runs.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

class ChildProcess {
 public:
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& folder, const std::map<std::string, std::string>& environment,
               const std::filesystem::path& output);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  void signal(int number);
  // The exit code (128 + the signal's number when a signal ended it), nothing after the time-out.
  std::optional<int> wait(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  std::optional<int> exitCode_;
};

// Waits until the condition holds, checking every 50 ms; false after the time-out.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// A port on 127.0.0.1 that nothing listens on right now (UDP or TCP).
std::uint16_t freePort(bool udp);

}  // namespace e2e
