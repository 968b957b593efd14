#include "foundation/folder_walk.hpp"

#include <utility>

namespace fs = std::filesystem;

FolderWalk::FolderWalk(const fs::path& root, fs::directory_options options, ErrorHandler onError)
    : options_(options), onError_(std::move(onError)) {
  descend(root);
}

void FolderWalk::descend(const fs::path& folder) {
  std::error_code ec;
  fs::directory_iterator it(folder, options_, ec);
  if (ec) {
    if (onError_) onError_(folder, ec);
    return;
  }
  stack_.push_back(std::move(it));
}

std::optional<fs::directory_entry> FolderWalk::next() {
  while (!stack_.empty()) {
    fs::directory_iterator& it = stack_.back();
    if (it == fs::directory_iterator()) {
      stack_.pop_back();
      continue;
    }
    fs::directory_entry entry = *it;
    std::error_code ec;
    it.increment(ec);
    if (ec) {
      if (onError_) onError_(entry.path().parent_path(), ec);
      stack_.pop_back();
    }
    return entry;
  }
  return std::nullopt;
}
