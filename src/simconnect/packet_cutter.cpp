#include "simconnect/packet_cutter.hpp"

#include <algorithm>

PacketCutter::PacketCutter(std::uint32_t maxPacketSize)
    : buffer_(growStep), maxPacketSize_(maxPacketSize) {}

PacketCutter::Status PacketCutter::makeRoom() {
  if (read_ == fill_) {
    read_ = fill_ = 0;
    return Status::ok;
  }
  // A partial packet (or a partial size word) remains at read_.
  std::size_t needed = fill_ - read_ + 1;
  if (fill_ - read_ >= 4) needed = std::max<std::size_t>(needed, sizeAt(read_));
  if (read_ > 0 && buffer_.size() - fill_ < needed - (fill_ - read_)) {
    std::memmove(buffer_.data(), buffer_.data() + read_, fill_ - read_);
    fill_ -= read_;
    read_ = 0;
  }
  if (fill_ == buffer_.size()) {
    // The buffer holds one partial packet from its start: grow it to hold the whole packet.
    const std::size_t size = (needed + growStep - 1) / growStep * growStep;
    try {
      buffer_.resize(std::min(size, bufferLimit));
    } catch (const std::bad_alloc&) {
      return Status::noMemory;
    }
  }
  return Status::ok;
}
