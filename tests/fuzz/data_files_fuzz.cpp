// Encrypted data files: any bytes given as dbase.enc, and well-formed streams of the fixture
// encryptor with one byte changed or the end cut off. A failed decryption leaves no plain file;
// an untouched stream gives back exactly its plain text, a changed one never decrypts.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "encrypt/encrypt.hpp"
#include "foundation/data_files.hpp"
#include "fuzz_support.hpp"
#include "support/temp_dir.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& folder = wdrx::fuzz::workFolder();
  wdrx::fuzz::Input input(data, size);
  const std::uint8_t mode = input.byte();
  const auto encrypted = folder / "data.enc";
  const auto plain = folder / "data.xml";

  std::string stream;
  std::string expected;
  bool intact = false;
  if (mode % 2 == 0) {
    stream = std::string(input.rest());
  } else {
    // Options: where to change a byte (or, with mode bit 1, where to cut), and the change.
    const std::size_t high = input.byte();
    const std::size_t at = high << 8 | input.byte();
    const auto change = static_cast<char>(input.byte());
    wdrx::encrypt::Options options;
    expected = std::string(input.rest());
    // An empty FINAL chunk follows whole chunks only: a short chunk is always the last.
    options.emptyFinalChunk = (mode & 4) != 0;
    if (options.emptyFinalChunk) {
      expected.resize((expected.size() + dataPlainChunkBytes - 1) / dataPlainChunkBytes * dataPlainChunkBytes, 'x');
    }
    stream = wdrx::encrypt::encryptText(expected, options);
    if (mode & 2) {
      intact = at >= stream.size();
      if (!intact) stream.resize(at);
    } else {
      intact = at >= stream.size() || change == 0;
      if (!intact) stream[at] = static_cast<char>(stream[at] ^ change);
    }
  }
  wdrx::fuzz::writeFile(encrypted, stream);
  const bool ok = gf_streamDecrypt(encrypted, plain);
  std::error_code ec;
  if (!ok && std::filesystem::exists(plain, ec)) __builtin_trap();  // a failure leaves no plain file
  if (ok && mode % 2 == 1 && wdrx::testing::readFile(plain) != expected) __builtin_trap();
  // Authenticated: a changed or cut stream never decrypts, an intact one always does.
  if (mode % 2 == 1 && ok != intact) __builtin_trap();
  std::filesystem::remove(plain, ec);
  return 0;
}
