#pragma once
// The encrypted reference data files (dbase.enc, airports.enc, AIG-regcodes.enc): libsodium
// secret streams (XChaCha20-Poly1305) of 4096-byte plain chunks, the last one tagged FINAL,
// behind a 24-byte header. Readers decrypt one to a plain temporary, parse it and remove it.
#include <array>
#include <cstddef>
#include <filesystem>

inline constexpr std::size_t dataKeyBytes = 32;
inline constexpr std::size_t dataHeaderBytes = 24;       // secret-stream header
inline constexpr std::size_t dataPlainChunkBytes = 4096;  // plain text per chunk
inline constexpr std::size_t dataCipherChunkBytes = dataPlainChunkBytes + 17;  // + tag and MAC

using DataKey = std::array<unsigned char, dataKeyBytes>;

// The build's key of the data files (build option WDRX_DATA_KEY_HEX).
extern const DataKey dataKey;

// Decrypts with dataKey. False on any failure, after the log line
// "gf_streamDecrypt exception: {}"; the plain output is then removed.
bool gf_streamDecrypt(const std::filesystem::path& encrypted, const std::filesystem::path& plain);

// Throws std::runtime_error on every failure: a file that cannot be opened, a short header, a
// chunk that does not authenticate, a stream without FINAL chunk or with data after it.
void lf_streamDecrypt(const DataKey& key, const std::filesystem::path& encrypted,
                      const std::filesystem::path& plain);
