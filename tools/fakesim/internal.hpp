#pragma once
// What the fake's parts share beyond fakesim.hpp: a client connection's session and the values
// of the simulated world's variables.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fakesim/fakesim.hpp"
#include "fakesim/protocol.hpp"
#include "platform/sim_transport.hpp"

namespace fakesim {

struct FakeSim::Session {
  int number = 0;
  std::unique_ptr<platform::ByteStream> stream;
  std::mutex writeMutex;  // one packet write at a time
  bool open = true;
  std::vector<std::byte> batch;  // under FakeSim::mutex_
  std::map<std::uint32_t, std::string> subscriptions;  // client event id -> system event
  std::map<std::uint32_t, std::string> mapped;         // client event id -> simulator event
  std::map<std::uint32_t, std::vector<Datum>> definitions;
  std::map<std::uint32_t, Request> periodic;  // per-second and per-frame requests by request id

  std::optional<std::uint32_t> subscribed(std::string_view systemEvent) const {
    for (const auto& [id, name] : subscriptions) {
      if (gf_upper(name) == gf_upper(systemEvent)) return id;
    }
    return std::nullopt;
  }
};

// The value of a variable of the object: as set, else the simulator's clock, else zero.
Value gf_valueOf(const SimObject& object, const std::string& name);

}  // namespace fakesim
