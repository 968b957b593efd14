#include "platform/folder_listing.hpp"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
// The type of an entry that the listing does not tell (a link, or a file system without types).
EntryType lf_statType(int folder, const char* name) {
  struct stat status {};
  if (::fstatat(folder, name, &status, 0) != 0) return EntryType::other;  // a broken link
  if (S_ISDIR(status.st_mode)) return EntryType::folder;
  return S_ISREG(status.st_mode) ? EntryType::file : EntryType::other;
}

std::error_code lf_lastError() { return {errno, std::generic_category()}; }
}  // namespace

std::unique_ptr<Folder> Folder::open(const Name& path, std::error_code& error, const Folder* parent) {
  error.clear();
  const int fd = ::openat(parent != nullptr ? parent->fd_ : AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = lf_lastError();
    return nullptr;
  }
  return std::unique_ptr<Folder>(new Folder(fd));
}

Folder::~Folder() { ::close(fd_); }

bool Folder::list(std::vector<FolderEntry>& entries, std::error_code& error) {
  error.clear();
  // The entries come in blocks straight from the system, each with its type: no stream and no
  // status query per entry.
  alignas(dirent64) char block[16384];
  for (;;) {
    const ssize_t size = ::getdents64(fd_, block, sizeof block);
    if (size == 0) break;
    if (size < 0) {
      if (errno == EINTR) continue;
      error = lf_lastError();
      break;
    }
    for (ssize_t at = 0; at < size;) {
      const auto* entry = reinterpret_cast<const dirent64*>(block + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      EntryType type = EntryType::other;
      if (entry->d_type == DT_DIR) {
        type = EntryType::folder;
      } else if (entry->d_type == DT_REG) {
        type = EntryType::file;
      } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
        type = lf_statType(fd_, name);
      }
      entries.push_back(FolderEntry{name, type});
    }
  }
  return !error;
}

bool Folder::readFile(const Name& name, std::string& content, std::error_code& error) const {
  error.clear();
  content.clear();
  // Not blocking: a pipe in the place of the file is refused below, not waited on.
  const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = lf_lastError();
    return false;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    error = lf_lastError();
  } else if (!S_ISREG(status.st_mode)) {
    error = std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
  } else {
    // The size found and one byte more, so that the read that meets the end has room; then in
    // small steps what the file grew by since (nothing, mostly).
    content.resize(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t have = 0;
    for (;;) {
      if (have == content.size()) content.resize(have + 4096);
      const ssize_t got = ::read(fd, content.data() + have, content.size() - have);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        error = lf_lastError();
        break;
      }
      if (got == 0) break;
      have += static_cast<std::size_t>(got);
    }
    content.resize(have);
  }
  ::close(fd);
  if (error) content.clear();
  return !error;
}

}  // namespace platform
