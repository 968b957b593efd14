#pragma once
// Log.txt of one test: opened in the working folder (make the TempDir first) for the object's
// lifetime, and read back without its header line.
#include <algorithm>
#include <string>

#include "foundation/log.hpp"
#include "support/temp_dir.hpp"

namespace wdrx::testing {

class LogCapture {
 public:
  LogCapture() { gf_openLog(); }
  ~LogCapture() { closeLog(); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Everything written after the header line so far.
  std::string text() const {
    {
      std::lock_guard lock(logMutex);
      logStream.flush();
    }
    const std::string log = readFile("Log.txt");
    return log.substr(std::min(log.size(), log.find('\n') + 1));
  }
};

}  // namespace wdrx::testing
