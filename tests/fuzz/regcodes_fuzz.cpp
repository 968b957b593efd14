// Registration-code files: the decrypted AIG file (input/AIG-regcodes.xml) or, with the first
// byte odd, a user's file in input/my_regcodes, each read as at the start of a livery scan.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "aircraft/regcode_files.hpp"
#include "foundation/paths.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdrx::fuzz::workFolder();
  wdrx::fuzz::Input input(data, size);
  std::vector<RegcodeRecord> records;
  if (input.flag()) {
    std::error_code ec;
    std::filesystem::remove_all(paths::myRegcodesFolder, ec);
    wdrx::fuzz::writeFile(paths::myRegcodesFolder / "mine.txt", input.rest());
    gf_readRegcodeFiles(paths::myRegcodesFolder, records);
  } else {
    wdrx::fuzz::writeFile(paths::regcodesXml, input.rest());
    gf_readAigRegcodes(records);
  }
  return 0;
}
