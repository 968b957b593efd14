#include "platform/new_file.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

NewFile::NewFile(const std::filesystem::path& path) {
  // O_EXCL fails on anything at the path, a dangling symbolic link included; O_NOFOLLOW says so.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = std::strerror(errno);
    return;
  }
  handle_ = fd;
}

NewFile::~NewFile() { close(); }

bool NewFile::write(const void* data, std::size_t size) {
  if (!isOpen()) return false;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(static_cast<int>(handle_), bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = std::strerror(errno);
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool NewFile::close() {
  if (!isOpen()) return false;
  const int fd = static_cast<int>(handle_);
  handle_ = invalidHandle;
  if (::close(fd) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace platform
