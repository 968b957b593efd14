#include "support/temp_dir.hpp"

#include "foundation/paths.hpp"
#include "support/env.hpp"
#include "support/registry_values.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace wdrx::testing {

TempDir::TempDir() {
  std::random_device rd;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("wdrx-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = std::filesystem::canonical(candidate);
      break;
    }
  }
  if (path_.empty()) throw std::runtime_error("TempDir: could not create a folder");
  previousCwd_ = std::filesystem::current_path();
  std::filesystem::current_path(path_);
  std::filesystem::create_directories(path_ / "home" / ".config");
  wdrx::testing::setEnvPath("HOME", path_ / "home");
  wdrx::testing::setEnvPath("XDG_CONFIG_HOME", path_ / "home" / ".config");
  wdrx::testing::setEnvPath("WDRX_DATA_DIR", path_ / "data");
  gf_initDataFolder();
#ifdef _WIN32
  writeRegistry("");  // an empty registry of the test's own, as a fresh data folder has no registry.ini
#endif
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::current_path(previousCwd_, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string shownPath(const std::filesystem::path& path) {
  std::string text = path.string();
  std::replace(text.begin(), text.end(), '/', static_cast<char>(std::filesystem::path::preferred_separator));
  return text;
}

}  // namespace wdrx::testing
