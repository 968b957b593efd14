#include "platform/shell.hpp"

#include <mutex>

#include "platform/shell_os.hpp"

namespace platform {
namespace {
std::mutex handlerMutex;
std::function<bool(const std::filesystem::path&)> shellOpenHandler;
std::function<void(const std::string&, const std::string&)> messageBoxHandler;

template <typename Handler>
Handler lf_copy(const Handler& handler) {
  std::lock_guard lock(handlerMutex);
  return handler;
}
}  // namespace

bool shellOpenFolder(const std::filesystem::path& folder) {
  const auto handler = lf_copy(shellOpenHandler);
  return handler ? handler(folder) : os::shellOpenFolder(folder);
}

void warningMessageBox(const std::string& text, const std::string& caption) {
  const auto handler = lf_copy(messageBoxHandler);
  if (handler) {
    handler(text, caption);
  } else {
    os::warningMessageBox(text, caption);
  }
}

void setShellOpenHandler(std::function<bool(const std::filesystem::path&)> handler) {
  std::lock_guard lock(handlerMutex);
  shellOpenHandler = std::move(handler);
}

void setMessageBoxHandler(std::function<void(const std::string&, const std::string&)> handler) {
  std::lock_guard lock(handlerMutex);
  messageBoxHandler = std::move(handler);
}

}  // namespace platform
