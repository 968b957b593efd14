#pragma once
// Shared by the fuzz targets: the process's working folder, and reading a fuzz input as a few
// option bytes followed by the data under test.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace wdrx::fuzz {

// Once per process: a fresh temporary folder becomes the working folder, with the data folder
// (WDRX_DATA_DIR), HOME and XDG_CONFIG_HOME inside it; removed when the process ends. The log
// stays closed, so the readers' log lines cost nothing. libFuzzer runs an empty input before it
// reads its corpus folders: give it absolute paths (scripts/fuzz.sh does).
const std::filesystem::path& workFolder();

// Writes the bytes as the whole file (folders created).
void writeFile(const std::filesystem::path& path, std::string_view bytes);

// A fuzz input taken from the front: option bytes first (0 once the input is used up), then
// the rest as the data.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return value;
  }
  bool flag() { return (byte() & 1) != 0; }
  // Up to `count` bytes (fewer at the end of the input).
  std::string_view take(std::size_t count) {
    const std::string_view piece = rest_.substr(0, count);
    rest_.remove_prefix(piece.size());
    return piece;
  }
  // The text up to the next '\n' (not included), or the rest.
  std::string_view line() {
    const std::size_t end = rest_.find('\n');
    const std::string_view piece = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    return piece;
  }
  std::string_view rest() const { return rest_; }
  bool empty() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

}  // namespace wdrx::fuzz
