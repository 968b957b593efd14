#include "platform/program_instance.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/utf.hpp"

namespace platform {

namespace {

std::filesystem::path lf_runtimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0' && std::filesystem::path(runtime).is_absolute())
    return runtime;
  std::error_code error;
  std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
  return error ? std::filesystem::path("/tmp") : temporary;
}

}  // namespace

std::string singleInstanceLockPath(const std::string& name) {
  std::string file;
  for (char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    file.push_back(plain ? c : '_');
  }
  // Without a runtime folder of the user's own, the user's id keeps users apart.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') file += "-" + std::to_string(::geteuid());
  return (lf_runtimeFolder() / (file + ".lock")).string();
}

InstanceLock createSingleInstanceMutex(const std::string& name) {
  const std::string path = singleInstanceLockPath(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return InstanceLock::failed;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? InstanceLock::alreadyExists : InstanceLock::failed;
  }
  return InstanceLock::created;  // fd stays open: the lock lives as long as the process
}

std::vector<std::u16string> commandLineArguments(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(utf8ToUtf16(argv[i]).value_or(u""));
  return arguments;
}

bool beginTimerPeriod() { return true; }
void endTimerPeriod() {}

struct CloseRequestWatch::Impl {
  std::thread waiter;
  std::atomic<bool> stopping{false};
  sigset_t signals{};
};

CloseRequestWatch::CloseRequestWatch() : impl_(std::make_unique<Impl>()) {}
CloseRequestWatch::~CloseRequestWatch() { stop(); }

bool CloseRequestWatch::start(std::function<void()> onRequest) {
  if (impl_->waiter.joinable()) return false;
  sigemptyset(&impl_->signals);
  sigaddset(&impl_->signals, SIGINT);
  sigaddset(&impl_->signals, SIGTERM);
  sigaddset(&impl_->signals, SIGHUP);
  if (::pthread_sigmask(SIG_BLOCK, &impl_->signals, nullptr) != 0) return false;
  impl_->stopping.store(false);
  Impl* impl = impl_.get();
  impl_->waiter = std::thread([impl, onRequest = std::move(onRequest)] {
    for (;;) {
      int signal = 0;
      if (::sigwait(&impl->signals, &signal) != 0) continue;
      if (impl->stopping.load()) return;
      if (onRequest) onRequest();
    }
  });
  return true;
}

void CloseRequestWatch::stop() {
  if (!impl_->waiter.joinable()) return;
  impl_->stopping.store(true);
  ::pthread_kill(impl_->waiter.native_handle(), SIGTERM);  // blocked there: sigwait takes it
  impl_->waiter.join();
}

}  // namespace platform
