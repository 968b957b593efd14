#pragma once
// Removes a decrypted data file when the reader leaves, by return or by exception, so that no
// plain reference data stays on disk.
#include <exception>
#include <filesystem>
#include <string>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

class RemoveOnExit {
 public:
  RemoveOnExit(std::filesystem::path path, const char* owner) : path_(std::move(path)), owner_(owner) {}
  ~RemoveOnExit() {
    try {
      gf_removeFile(path_);
    } catch (const std::exception& e) {
      gf_logMarked(wdrx::format("{} exception: {}", owner_, e.what()));
    }
  }
  RemoveOnExit(const RemoveOnExit&) = delete;
  RemoveOnExit& operator=(const RemoveOnExit&) = delete;

 private:
  std::filesystem::path path_;
  const char* owner_;
};
