#pragma once
// A file that must be new, for data no one else may see or plant (decrypted reference data):
// nothing that exists at the path - a file, a folder, a symbolic link - is followed, truncated
// or replaced, and only the user may read the new file.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace platform {

class NewFile {
 public:
  // Creates the file; isOpen() says whether it worked, error() why not.
  explicit NewFile(const std::filesystem::path& path);
  ~NewFile();  // closes an open file
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  bool isOpen() const { return handle_ != invalidHandle; }
  const std::string& error() const { return error_; }
  // The whole block or false (error() set).
  bool write(const void* data, std::size_t size);
  // False when the file was not open or its final write-out failed.
  bool close();

 private:
  static constexpr std::intptr_t invalidHandle = -1;
  std::intptr_t handle_ = invalidHandle;
  std::string error_;
};

}  // namespace platform
