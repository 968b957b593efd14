#pragma once
// A full disk for the test's lifetime: writes that take any file of the process beyond `bytes`
// fail (EFBIG) instead of raising SIGXFSZ. Restores the previous limit and signal handling.
// Windows has no such limit: tests that need one begin with WDRX_SKIP_WITHOUT_FILE_SIZE_LIMIT().
#ifdef _WIN32

#include <gtest/gtest.h>

#define WDRX_SKIP_WITHOUT_FILE_SIZE_LIMIT() \
  GTEST_SKIP() << "Windows has no per-process file size limit to fill the disk with"

using rlim_t = unsigned long long;

namespace wdrx::testing {
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t) {}
};
}  // namespace wdrx::testing

#else

#include <csignal>

#include <sys/resource.h>

#define WDRX_SKIP_WITHOUT_FILE_SIZE_LIMIT() static_cast<void>(0)

namespace wdrx::testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, previous_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = nullptr;
};

}  // namespace wdrx::testing

#endif
