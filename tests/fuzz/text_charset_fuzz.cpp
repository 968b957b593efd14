// Text files of any charset: detection, the line readers of every encoding, and the strict
// UTF-8/UTF-16 conversions.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/text.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& folder = wdrx::fuzz::workFolder();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const auto path = folder / "text.txt";
  wdrx::fuzz::writeFile(path, bytes);

  std::vector<std::string> lines;
  const TextEncoding detected = gf_detectCharset(path);
  gf_readLinesWithCharset(detected, path, lines);
  // Every reader on every file, whatever the detection said.
  for (int encoding = 0; encoding <= static_cast<int>(TextEncoding::none_found); ++encoding) {
    gf_readLinesWithCharset(static_cast<TextEncoding>(encoding), path, lines);
  }
  TextFile file{path, {}};
  gf_readTextFile(file, 16);

  try {
    utf8_to_wide(bytes);
  } catch (const std::runtime_error&) {
  }
  try {
    std::u16string wide(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    wide_to_utf8(wide);
  } catch (const std::runtime_error&) {
  }
  gf_ansiToUtf8(bytes);
  return 0;
}
