#include "platform/folder_listing.hpp"

#include <windows.h>

#include <cwchar>

namespace platform {

namespace {
// The codes a caller tells apart as portable conditions; the others as the system's own.
std::error_code lf_error(DWORD code) {
  switch (code) {
    case ERROR_ACCESS_DENIED:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_DIRECTORY:
      return std::make_error_code(std::errc::not_a_directory);
    default:
      return {static_cast<int>(code), std::system_category()};
  }
}

// The path of a folder's entry, joined as a path object joins it.
std::wstring lf_join(const std::wstring& folder, const std::wstring& name) {
  std::wstring joined = folder;
  const bool separated = !joined.empty() && (joined.back() == L'\\' || joined.back() == L'/');
  const bool driveOnly = joined.size() == 2 && joined[1] == L':';
  if (!joined.empty() && !separated && !driveOnly) joined += L'\\';
  return joined + name;
}

// What a link or junction points at.
EntryType lf_targetType(const std::wstring& path) {
  std::error_code ignored;
  const std::filesystem::file_status status = std::filesystem::status(path, ignored);
  if (std::filesystem::is_directory(status)) return EntryType::folder;
  return std::filesystem::is_regular_file(status) ? EntryType::file : EntryType::other;
}
}  // namespace

std::unique_ptr<Folder> Folder::open(const Name& path, std::error_code& error, const Folder* parent) {
  error.clear();
  Name full = parent != nullptr ? lf_join(parent->path_, path) : path;
  const DWORD attributes = ::GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = lf_error(::GetLastError());
    return nullptr;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    error = std::make_error_code(std::errc::not_a_directory);
    return nullptr;
  }
  return std::unique_ptr<Folder>(new Folder(std::move(full)));
}

Folder::~Folder() = default;

bool Folder::list(std::vector<FolderEntry>& entries, std::error_code& error) {
  error.clear();
  const std::wstring pattern = lf_join(path_, L"*");
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    error = lf_error(::GetLastError());
    return false;
  }
  do {
    const wchar_t* name = data.cFileName;
    if (std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0) continue;
    EntryType type = EntryType::other;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      type = lf_targetType(lf_join(path_, name));
    } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      type = EntryType::folder;
    } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0) {
      type = EntryType::file;
    }
    entries.push_back(FolderEntry{name, type});
  } while (::FindNextFileW(find, &data));
  const DWORD last = ::GetLastError();
  ::FindClose(find);
  if (last != ERROR_NO_MORE_FILES) error = lf_error(last);
  return !error;
}

bool Folder::readFile(const Name& name, std::string& content, std::error_code& error) const {
  error.clear();
  content.clear();
  const std::wstring path = lf_join(path_, name);
  // A folder does not open without backup semantics: access denied, as for the C runtime.
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = lf_error(::GetLastError());
    return false;
  }
  LARGE_INTEGER size{};
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
    error = std::make_error_code(std::errc::invalid_argument);
  } else {
    // The size found and one byte more, so that the read that meets the end has room; then in
    // small steps what the file grew by since (nothing, mostly).
    content.resize(static_cast<std::size_t>(size.QuadPart) + 1);
    std::size_t have = 0;
    for (;;) {
      if (have == content.size()) content.resize(have + 4096);
      const std::size_t room = content.size() - have;
      DWORD got = 0;
      const DWORD wanted = room > 0x40000000 ? 0x40000000 : static_cast<DWORD>(room);
      if (!::ReadFile(file, content.data() + have, wanted, &got, nullptr)) {
        error = lf_error(::GetLastError());
        break;
      }
      if (got == 0) break;
      have += got;
    }
    content.resize(have);
  }
  ::CloseHandle(file);
  if (error) content.clear();
  return !error;
}

}  // namespace platform
