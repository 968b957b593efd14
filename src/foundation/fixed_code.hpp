#pragma once
// An airport code of exactly N upper-case letters or digits (ICAO: 4, IATA: 3), held inline.
// All bytes zero is the empty code, shown and hashed as N blanks.
#include <array>
#include <compare>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "foundation/format.hpp"

template <std::size_t N>
class FixedCode {
 public:
  constexpr FixedCode() = default;
  explicit FixedCode(std::string_view text) {
    std::array<char, N> bytes{};
    bool ok = text.size() == N;
    for (std::size_t i = 0; ok && i < N; ++i) {
      char c = text[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      bytes[i] = c;
    }
    if (!ok) {
      throw std::invalid_argument(
          wdrx::format("'{}' FixedCode: invalid string (length/charset)", text));
    }
    bytes_ = bytes;
  }

  constexpr bool empty() const {
    for (char c : bytes_)
      if (c != 0) return false;
    return true;
  }
  std::string str() const {
    return empty() ? std::string(N, ' ') : std::string(bytes_.data(), N);
  }
  std::uint64_t hash() const {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (char c : bytes_) {
      h ^= static_cast<unsigned char>(c == 0 ? ' ' : c);
      h *= 0x100000001b3ULL;
    }
    return h;
  }
  const std::array<char, N>& bytes() const { return bytes_; }

  friend constexpr bool operator==(const FixedCode&, const FixedCode&) = default;
  friend constexpr auto operator<=>(const FixedCode&, const FixedCode&) = default;

 private:
  std::array<char, N> bytes_{};
};

using IcaoCode = FixedCode<4>;
using IataCode = FixedCode<3>;

// "XXX" stands for "no IATA code".
inline const IataCode noIataCode{"XXX"};

template <std::size_t N>
struct std::hash<FixedCode<N>> {
  std::size_t operator()(const FixedCode<N>& code) const noexcept {
    return static_cast<std::size_t>(code.hash());
  }
};

template <std::size_t N>
struct fmt::formatter<FixedCode<N>> : fmt::formatter<std::string> {
  auto format(const FixedCode<N>& code, fmt::format_context& ctx) const {
    return fmt::formatter<std::string>::format(code.str(), ctx);
  }
};
