#pragma once
// Cuts the received byte stream of a connection into packets. One reader uses it: the
// transport's I/O thread reads into freeSpace() and hands the count to filled().
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <vector>

class PacketCutter {
 public:
  enum class Status { ok, tooLarge, badSize, noMemory };

  static constexpr std::size_t growStep = 2048;
  // The receive buffer never grows beyond this; a packet that would need more fails the
  // connection (as one above the configured maximum does) rather than being skipped.
  static constexpr std::size_t bufferLimit = 1048576;

  explicit PacketCutter(std::uint32_t maxPacketSize);

  // The free end of the receive buffer; never empty after construction or an ok filled().
  std::span<std::byte> freeSpace() { return {buffer_.data() + fill_, buffer_.size() - fill_}; }

  // `bytes` were written at freeSpace(): every complete packet goes to
  // deliver(const std::byte* packet, std::uint32_t size), in stream order. Zero padding
  // between packets is skipped a 32-bit word at a time. A status other than ok leaves the
  // stream unusable: the caller fails the connection.
  template <typename Deliver>
  Status filled(std::size_t bytes, Deliver&& deliver) {
    fill_ += bytes;
    while (fill_ - read_ >= 4) {
      const std::uint32_t size = sizeAt(read_);
      if (size == 0) {
        read_ += 4;
        continue;
      }
      if (size < 4) return Status::badSize;
      if (size > maxPacketSize_ || size > bufferLimit) return Status::tooLarge;
      if (fill_ - read_ < size) break;
      deliver(buffer_.data() + read_, size);
      read_ += size;
    }
    return makeRoom();
  }

  std::size_t bufferSize() const { return buffer_.size(); }

 private:
  std::uint32_t sizeAt(std::size_t position) const {
    std::uint32_t size;
    std::memcpy(&size, buffer_.data() + position, sizeof size);
    return size;
  }
  Status makeRoom();

  std::vector<std::byte> buffer_;
  std::size_t read_ = 0;
  std::size_t fill_ = 0;
  std::uint32_t maxPacketSize_;
};
