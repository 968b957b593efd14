#pragma once
// Writes the program's encrypted data-file format: the 24-byte secret-stream header, then
// 4096-byte plain chunks as XChaCha20-Poly1305 secret-stream messages, the last tagged FINAL.
#include <filesystem>
#include <string>
#include <string_view>

#include "foundation/data_files.hpp"

namespace wdrx::encrypt {

struct Options {
  DataKey key = dataKey;
  // End with an extra empty FINAL chunk instead of tagging the last data chunk FINAL.
  bool emptyFinalChunk = false;
};

// The encrypted form of the plain text.
std::string encryptText(std::string_view plain, const Options& options = {});

// Encrypts a file, creating the output's folder; throws std::runtime_error when a file cannot be read or written.
void encryptFile(const std::filesystem::path& plain, const std::filesystem::path& encrypted,
                 const Options& options = {});

}  // namespace wdrx::encrypt
