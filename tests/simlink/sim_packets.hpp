#pragma once
// Received packets built byte by byte, as the simulator sends them.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "simconnect/simconnect.hpp"
#include "simlink/user_aircraft.hpp"

namespace simtest {

class Packet {
 public:
  Packet(std::uint32_t receiveId, std::size_t size) : bytes_(size, 0) {
    put32(0, static_cast<std::uint32_t>(size));
    put32(4, 4);
    put32(8, receiveId);
  }
  Packet& put32(std::size_t offset, std::uint32_t value) { return put(offset, &value, 4); }
  Packet& put(std::size_t offset, const void* data, std::size_t n) {
    std::memcpy(bytes_.data() + offset, data, n);
    return *this;
  }
  const SimRecv* recv() const { return reinterpret_cast<const SimRecv*>(bytes_.data()); }
  std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }

 private:
  std::vector<unsigned char> bytes_;
};

inline Packet objectData(std::uint32_t receiveId, std::uint32_t requestId, std::uint32_t objectId,
                         const void* values, std::size_t n) {
  Packet p(receiveId, 40 + n);
  p.put32(12, requestId).put32(16, objectId).put(40, values, n);
  return p;
}

inline Packet userState(const UserAircraftState& state, std::uint32_t objectId = 1) {
  return objectData(8, 109, objectId, &state, sizeof state);
}

inline Packet text(std::uint32_t requestId, const std::string& value, std::size_t field) {
  std::vector<char> bytes(field, 0);
  std::memcpy(bytes.data(), value.data(), std::min(value.size(), field - 1));
  return objectData(8, requestId, 0, bytes.data(), field);
}

inline Packet inRange(std::uint32_t objectId, double agl, double groundAlt, std::int64_t onGround,
                      const std::string& atcId) {
  unsigned char values[56] = {};
  std::memcpy(values, &agl, 8);
  std::memcpy(values + 8, &groundAlt, 8);
  std::memcpy(values + 16, &onGround, 8);
  std::memcpy(values + 24, atcId.data(), std::min<std::size_t>(atcId.size(), 31));
  return objectData(9, 101, objectId, values, sizeof values);
}

inline Packet exception(std::uint32_t number, std::uint32_t sendId, std::uint32_t index = 0) {
  Packet p(1, 24);
  p.put32(12, number).put32(16, sendId).put32(20, index);
  return p;
}

inline Packet objectAddRemove(std::uint32_t eventId, std::uint32_t objectId, std::uint32_t type = 2) {
  Packet p(5, 28);
  p.put32(16, eventId).put32(20, objectId).put32(24, type);
  return p;
}

inline Packet event(std::uint32_t eventId, std::uint32_t data = 0) {
  Packet p(4, 24);
  p.put32(16, eventId).put32(20, data);
  return p;
}

}  // namespace simtest
