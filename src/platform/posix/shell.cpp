#include "platform/shell_os.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string_view>

extern char** environ;

namespace platform::os {
namespace {

bool lf_onPath(std::string_view program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string_view rest{path};
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const auto dir = rest.substr(0, colon);
    const auto candidate = std::filesystem::path{dir.empty() ? "." : std::string{dir}} / program;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

}  // namespace

// xdg-open may wait for the file manager; a short-lived shell starts it in the background and
// is reaped at once, so the caller never blocks and no zombie is left.
bool shellOpenFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec) || !lf_onPath("xdg-open")) return false;
  const std::string script = "xdg-open \"$1\" >/dev/null 2>&1 </dev/null &";
  const std::string folderText = folder.string();
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                  const_cast<char*>(script.c_str()), const_cast<char*>("sh"),
                  const_cast<char*>(folderText.c_str()), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// No desktop dialog here: the text goes to the standard error stream.
void warningMessageBox(const std::string& text, const std::string& caption) {
  std::cerr << caption << ": " << text << std::endl;
}

}  // namespace platform::os
