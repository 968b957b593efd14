#pragma once
// A fresh temporary folder that becomes the working folder for the test's lifetime, with
// WDRX_DATA_DIR, XDG_CONFIG_HOME and HOME pointing into it.
#include <filesystem>
#include <string>

namespace wdrx::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previousCwd_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);
// A path as the program shows it, in the system's separators: "lib/a/aircraft.cfg" of a test
// reads "lib\a\aircraft.cfg" on Windows.
std::string shownPath(const std::filesystem::path& path);

}  // namespace wdrx::testing
