// The packet cutter on recorded streams fed in random pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>

#include "simconnect/packet_cutter.hpp"

namespace {

using Bytes = std::vector<std::byte>;

Bytes packetOf(std::uint32_t size, std::uint32_t id, std::uint8_t fill) {
  Bytes bytes(size, static_cast<std::byte>(fill));
  std::memcpy(bytes.data(), &size, 4);
  if (size >= 12) std::memcpy(bytes.data() + 8, &id, 4);
  return bytes;
}

struct Cut {
  std::vector<Bytes> packets;
  PacketCutter::Status status = PacketCutter::Status::ok;
};

// Feeds the stream through the cutter in pieces of random length (1..maxPiece bytes, never more
// than the free space offered).
Cut feed(const Bytes& stream, std::uint32_t maxSize, std::mt19937& random, std::size_t maxPiece) {
  PacketCutter cutter(maxSize);
  Cut cut;
  std::size_t at = 0;
  while (at < stream.size() && cut.status == PacketCutter::Status::ok) {
    const auto space = cutter.freeSpace();
    EXPECT_FALSE(space.empty());
    std::size_t piece = std::uniform_int_distribution<std::size_t>(1, maxPiece)(random);
    piece = std::min({piece, space.size(), stream.size() - at});
    std::memcpy(space.data(), stream.data() + at, piece);
    at += piece;
    cut.status = cutter.filled(piece, [&](const std::byte* packet, std::uint32_t size) {
      cut.packets.emplace_back(packet, packet + size);
    });
  }
  return cut;
}

TEST(PacketCutter, RecordedStreamSurvivesAnyChunking) {
  // Sizes around the buffer step and multiples of 256 (whose first byte is zero), zero padding
  // words between some packets, a packet below 12 bytes, one that needs a larger buffer.
  const std::vector<std::uint32_t> sizes = {12, 24, 256, 512, 308, 4, 8, 2048, 2049, 4096, 40, 1024, 40000, 28, 768};
  Bytes stream;
  std::vector<Bytes> expected;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if ((i > 0 && i % 2 == 0) || i == 3 || i == 11) stream.insert(stream.end(), 4 * (i % 4 + 1), std::byte{0});
    expected.push_back(packetOf(sizes[i], static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(0x40 + i)));
    stream.insert(stream.end(), expected.back().begin(), expected.back().end());
  }
  stream.insert(stream.end(), 8, std::byte{0});  // trailing padding is consumed too
  for (const std::size_t maxPiece : {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{300}, std::size_t{5000},
                                     stream.size()}) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
      std::mt19937 random(seed);
      const Cut cut = feed(stream, 41088, random, maxPiece);
      ASSERT_EQ(cut.status, PacketCutter::Status::ok) << "piece " << maxPiece << " seed " << seed;
      ASSERT_EQ(cut.packets, expected) << "piece " << maxPiece << " seed " << seed;
    }
  }
}

TEST(PacketCutter, BadSizesFailTheStream) {
  struct Case {
    const char* name;
    Bytes stream;
    std::uint32_t maxSize;
    PacketCutter::Status status;
    std::size_t deliveredBefore;
  };
  Bytes good = packetOf(16, 3, 1);
  const auto after = [&](Bytes tail) {
    Bytes stream = good;
    // Appended, not inserted as a range: GCC 12 checks vector::insert's in-place branch, which
    // a copy without spare capacity never takes, and warns of a write past its 16 bytes.
    std::copy(tail.begin(), tail.end(), std::back_inserter(stream));
    return stream;
  };
  Bytes tooLarge = packetOf(16, 3, 2);
  const std::uint32_t big = 41089;
  std::memcpy(tooLarge.data(), &big, 4);
  Bytes huge = packetOf(16, 3, 2);
  const std::uint32_t beyondBuffer = PacketCutter::bufferLimit + 4;
  std::memcpy(huge.data(), &beyondBuffer, 4);
  const std::vector<Case> cases = {
      {"size 1", after({std::byte{1}, std::byte{0}, std::byte{0}, std::byte{0}}), 41088, PacketCutter::Status::badSize, 1},
      {"size 3", after({std::byte{3}, std::byte{0}, std::byte{0}, std::byte{0}}), 41088, PacketCutter::Status::badSize, 1},
      {"above the maximum", after(tooLarge), 41088, PacketCutter::Status::tooLarge, 1},
      {"above the buffer limit with a raised maximum", after(huge), 0xFFFFFFFFu, PacketCutter::Status::tooLarge, 1},
  };
  for (const auto& c : cases) {
    std::mt19937 random(7);
    const Cut cut = feed(c.stream, c.maxSize, random, 5);
    EXPECT_EQ(cut.status, c.status) << c.name;
    EXPECT_EQ(cut.packets.size(), c.deliveredBefore) << c.name;
  }
}

TEST(PacketCutter, ARaisedMaximumGrowsTheBufferForLargePackets) {
  const Bytes large = packetOf(300000, 8, 9);
  std::mt19937 random(3);
  const Cut cut = feed(large, 500000, random, 70000);
  ASSERT_EQ(cut.status, PacketCutter::Status::ok);
  ASSERT_EQ(cut.packets.size(), 1u);
  EXPECT_EQ(cut.packets[0], large);
}

}  // namespace
