#pragma once
// A depth-first walk over a folder tree, one listing per folder, in directory order. A folder
// that cannot be listed, or whose listing fails part way, loses only itself: the error goes to
// the handler and the walk goes on with the rest of the tree.
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>
#include <vector>

class FolderWalk {
 public:
  using ErrorHandler = std::function<void(const std::filesystem::path& folder, const std::error_code& error)>;

  FolderWalk(const std::filesystem::path& root, std::filesystem::directory_options options, ErrorHandler onError);

  // The next entry of the tree, or none when the walk is done. Folders are only entered when
  // the caller asks for it with descend.
  std::optional<std::filesystem::directory_entry> next();
  // Lists the folder next, before the rest of the folder that holds it.
  void descend(const std::filesystem::path& folder);

 private:
  std::filesystem::directory_options options_;
  ErrorHandler onError_;
  std::vector<std::filesystem::directory_iterator> stack_;
};
