#pragma once
// Walking a folder tree: a folder is opened once, its entries are listed with their types in
// one pass, and its subfolders and files are opened through it (posix: relative to it, so the
// system does not walk the whole path again for every entry of a large tree).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

enum class EntryType : std::uint8_t { folder, file, other };

struct FolderEntry {
  std::filesystem::path::string_type name;
  EntryType type = EntryType::other;
};

class Folder {
 public:
  using Name = std::filesystem::path::string_type;

  // Opens the folder at `path` (the system's characters), or with a parent its entry `path`.
  // Null with `error` set when it cannot be opened.
  static std::unique_ptr<Folder> open(const Name& path, std::error_code& error, const Folder* parent = nullptr);
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // Appends the entries (not "." and "..") in the order the system lists them; once per open
  // folder. A link counts as what it points at; a broken link, a device or a pipe is `other`.
  // False with `error` set when the listing breaks off; the entries read until then stay.
  bool list(std::vector<FolderEntry>& entries, std::error_code& error);

  // The whole content of the folder's file `name`. False with `error` set when it is missing
  // (no_such_file_or_directory), no regular file or cannot be read.
  bool readFile(const Name& name, std::string& content, std::error_code& error) const;

 private:
#ifdef _WIN32
  explicit Folder(Name path) : path_(std::move(path)) {}
  Name path_;
#else
  explicit Folder(int fd) : fd_(fd) {}
  int fd_;
#endif
};

}  // namespace platform
