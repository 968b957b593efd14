#include "platform/new_file.hpp"

#include <windows.h>

namespace platform {
namespace {
std::string lf_lastErrorText() { return "system error " + std::to_string(::GetLastError()); }
}  // namespace

NewFile::NewFile(const std::filesystem::path& path) {
  // CREATE_NEW fails on anything at the path; FILE_FLAG_OPEN_REPARSE_POINT keeps a link unfollowed.
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error_ = lf_lastErrorText();
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(handle);
}

NewFile::~NewFile() { close(); }

bool NewFile::write(const void* data, std::size_t size) {
  if (!isOpen()) return false;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle_), bytes, chunk, &written, nullptr)) {
      error_ = lf_lastErrorText();
      return false;
    }
    bytes += written;
    size -= written;
  }
  return true;
}

bool NewFile::close() {
  if (!isOpen()) return false;
  HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  handle_ = invalidHandle;
  if (!::CloseHandle(handle)) {
    error_ = lf_lastErrorText();
    return false;
  }
  return true;
}

}  // namespace platform
