#include "fuzz_support.hpp"

#include <cstdlib>
#include <fstream>
#include <memory>

#include "support/temp_dir.hpp"

namespace wdrx::fuzz {

const std::filesystem::path& workFolder() {
  // Destroyed at exit, which removes the folder.
  static const auto folder = std::make_unique<wdrx::testing::TempDir>();
  return folder->path();
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace wdrx::fuzz
