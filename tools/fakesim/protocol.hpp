#pragma once
// The simulator protocol as the fake speaks it: the fields of a packet, the values of the data
// types, the heads of the packets it sends and the decoding of a packet it receives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fakesim/fakesim.hpp"

namespace fakesim {

// The text with its ASCII letters upper-cased (names of events, variables and states are
// compared so).
std::string gf_upper(std::string_view text);

template <typename T>
T gf_get(const std::vector<std::byte>& bytes, std::size_t offset) {
  T value{};
  if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

std::string gf_text(const std::vector<std::byte>& bytes, std::size_t offset, std::size_t length);

template <typename T>
void gf_put(std::vector<std::byte>& bytes, std::size_t offset, T value) {
  if (bytes.size() < offset + sizeof(T)) bytes.resize(offset + sizeof(T));
  std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

void gf_putText(std::vector<std::byte>& bytes, std::size_t offset, std::size_t length, std::string_view text);

// The size of a packet of the function (SetDataOnSimObject: its head); 0 for a function the
// fake does not know.
std::uint32_t gf_expectedSize(std::uint32_t function);

// A received packet, decoded by its function id.
Packet gf_decode(std::vector<std::byte> bytes);

// A value as the data type carries it, appended to the packet.
void gf_putValue(std::vector<std::byte>& bytes, std::uint32_t type, const Value& value);

// Reads a value of the type at `at` of the data and moves past it; false when the data ends
// first.
bool gf_readValue(const std::vector<std::byte>& data, std::size_t& at, std::uint32_t type, Value& value);

std::vector<std::byte> gf_packet(SimRecvId id, std::size_t size, std::uint32_t version);
std::vector<std::byte> gf_eventPacket(SimRecvId id, std::size_t size, std::uint32_t eventId, std::uint32_t data);

}  // namespace fakesim
