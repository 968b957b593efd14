#include "encrypt/encrypt.hpp"

#include <sodium.h>

#include <array>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace wdrx::encrypt {

std::string encryptText(std::string_view plain, const Options& options) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium could not be initialised");
  std::string out(dataHeaderBytes, '\0');
  crypto_secretstream_xchacha20poly1305_state state{};
  crypto_secretstream_xchacha20poly1305_init_push(
      &state, reinterpret_cast<unsigned char*>(out.data()), options.key.data());

  auto push = [&](std::string_view chunk, unsigned char tag) {
    std::array<unsigned char, dataCipherChunkBytes> cipher{};
    unsigned long long length = 0;
    crypto_secretstream_xchacha20poly1305_push(
        &state, cipher.data(), &length, reinterpret_cast<const unsigned char*>(chunk.data()),
        chunk.size(), nullptr, 0, tag);
    out.append(reinterpret_cast<const char*>(cipher.data()), static_cast<std::size_t>(length));
  };

  std::size_t offset = 0;
  while (offset < plain.size()) {
    const std::string_view chunk = plain.substr(offset, dataPlainChunkBytes);
    offset += chunk.size();
    const bool last = offset == plain.size() && !options.emptyFinalChunk;
    push(chunk, last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                     : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
  }
  if (plain.empty() || options.emptyFinalChunk) push({}, crypto_secretstream_xchacha20poly1305_TAG_FINAL);
  sodium_memzero(&state, sizeof state);
  return out;
}

void encryptFile(const std::filesystem::path& plain, const std::filesystem::path& encrypted,
                 const Options& options) {
  std::ifstream in(plain, std::ios::binary);
  if (!in) throw std::runtime_error("Could not open input file: " + plain.string());
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw std::runtime_error("Could not read input file: " + plain.string());
  const std::string cipher = encryptText(text, options);
  if (encrypted.has_parent_path()) std::filesystem::create_directories(encrypted.parent_path());
  std::ofstream out(encrypted, std::ios::binary | std::ios::trunc);
  out.write(cipher.data(), static_cast<std::streamsize>(cipher.size()));
  out.close();
  if (!out) throw std::runtime_error("Could not write output file: " + encrypted.string());
}

}  // namespace wdrx::encrypt
