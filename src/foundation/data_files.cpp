#include "foundation/data_files.hpp"

#include <sodium.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "platform/new_file.hpp"

#ifndef WDRX_DATA_KEY_HEX
#error "WDRX_DATA_KEY_HEX must be defined by the build (src/foundation/CMakeLists.txt)"
#endif

namespace {

constexpr int lf_hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr bool lf_isKeyText(const char* hex) {
  std::size_t length = 0;
  for (; hex[length] != '\0'; ++length) {
    if (lf_hexDigit(hex[length]) < 0) return false;
  }
  return length == 2 * dataKeyBytes;
}

constexpr DataKey lf_keyFromHex(const char* hex) {
  DataKey key{};
  for (std::size_t i = 0; i < key.size(); ++i) {
    key[i] = static_cast<unsigned char>(lf_hexDigit(hex[2 * i]) * 16 + lf_hexDigit(hex[2 * i + 1]));
  }
  return key;
}

static_assert(lf_isKeyText(WDRX_DATA_KEY_HEX), "WDRX_DATA_KEY_HEX must be 64 hexadecimal digits");
static_assert(crypto_secretstream_xchacha20poly1305_HEADERBYTES == dataHeaderBytes);
static_assert(crypto_secretstream_xchacha20poly1305_KEYBYTES == dataKeyBytes);
static_assert(crypto_secretstream_xchacha20poly1305_ABYTES == dataCipherChunkBytes - dataPlainChunkBytes);

// Wipes key material and stream state on every way out.
class Wiper {
 public:
  Wiper(void* data, std::size_t size) : data_(data), size_(size) {}
  ~Wiper() { sodium_memzero(data_, size_); }
  Wiper(const Wiper&) = delete;
  Wiper& operator=(const Wiper&) = delete;

 private:
  void* data_;
  std::size_t size_;
};

void lf_initSodium() {
  // sodium_init is thread-safe and idempotent.
  if (sodium_init() < 0) throw std::runtime_error("libsodium could not be initialised");
}

}  // namespace

constinit const DataKey dataKey = lf_keyFromHex(WDRX_DATA_KEY_HEX);

void lf_streamDecrypt(const DataKey& key, const std::filesystem::path& encrypted,
                      const std::filesystem::path& plain) {
  lf_initSodium();
  std::ifstream in(encrypted, std::ios::binary);
  if (!in) throw std::runtime_error("Could not open input file: " + gf_pathToUtf8(encrypted));
  // The plain text goes only into a file of our own making: whatever is at the path (a file
  // left by a crash, a planted link) is removed, never written through.
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(plain, ec))) {
    std::filesystem::remove(plain, ec);
  }
  platform::NewFile out(plain);
  if (!out.isOpen()) {
    throw std::runtime_error("Could not open output file: " + gf_pathToUtf8(plain));
  }

  // A shorter header cannot be valid, yet the pull initialisation would accept it.
  std::array<char, dataHeaderBytes> header{};
  in.read(header.data(), static_cast<std::streamsize>(header.size()));
  if (static_cast<std::size_t>(in.gcount()) != header.size()) {
    throw std::runtime_error("Incomplete header: " + gf_pathToUtf8(encrypted));
  }
  crypto_secretstream_xchacha20poly1305_state state{};
  const Wiper stateWiper(&state, sizeof state);
  if (crypto_secretstream_xchacha20poly1305_init_pull(
          &state, reinterpret_cast<const unsigned char*>(header.data()), key.data()) != 0) {
    throw std::runtime_error("Invalid header or key");
  }

  std::array<char, dataCipherChunkBytes> cipher{};
  std::array<char, dataPlainChunkBytes> clear{};
  const Wiper clearWiper(clear.data(), clear.size());
  bool finalSeen = false;
  while (!finalSeen) {
    in.read(cipher.data(), static_cast<std::streamsize>(cipher.size()));
    const auto length = static_cast<std::size_t>(in.gcount());
    if (length == 0) break;
    unsigned long long clearLength = 0;
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(
            &state, reinterpret_cast<unsigned char*>(clear.data()), &clearLength, &tag,
            reinterpret_cast<const unsigned char*>(cipher.data()), length, nullptr, 0) != 0) {
      throw std::runtime_error("Decryption failed");
    }
    if (!out.write(clear.data(), static_cast<std::size_t>(clearLength))) {
      throw std::runtime_error(wdrx::format("Could not write output file: {} ({})", gf_pathToUtf8(plain),
                                            out.error()));
    }
    finalSeen = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
  }
  if (in.bad()) throw std::runtime_error("Could not read input file: " + gf_pathToUtf8(encrypted));
  // A stream cut before its FINAL chunk, or with anything after it, is not the file that was shipped.
  if (!finalSeen) throw std::runtime_error("Incomplete stream: no final chunk");
  if (in.peek() != std::ifstream::traits_type::eof()) {
    throw std::runtime_error("Unexpected data after the final chunk");
  }
  if (!out.close()) {
    throw std::runtime_error(wdrx::format("Could not write output file: {} ({})", gf_pathToUtf8(plain),
                                          out.error()));
  }
}

bool gf_streamDecrypt(const std::filesystem::path& encrypted, const std::filesystem::path& plain) {
  try {
    DataKey key = dataKey;
    const Wiper keyWiper(key.data(), key.size());
    lf_streamDecrypt(key, encrypted, plain);
    return true;
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{} exception: {}", "gf_streamDecrypt", e.what()));
    gf_removeFile(plain);
    return false;
  }
}
