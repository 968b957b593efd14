#pragma once
// Opens Log.txt in the test's working folder and reads it back.
#include <string>

#include "foundation/log.hpp"
#include "support/temp_dir.hpp"

namespace wdrx::testing {

class LogCapture {
 public:
  LogCapture() {
    std::lock_guard lock(logMutex);
    logStream.open("Log.txt", std::ios::out | std::ios::trunc | std::ios::binary);
  }
  ~LogCapture() { closeLog(); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() {
    {
      std::lock_guard lock(logMutex);
      logStream.flush();
    }
    return readFile("Log.txt");
  }
};

}  // namespace wdrx::testing
