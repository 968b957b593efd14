#pragma once
// How long closing a simulator transport waits for its queued bytes: as long as the peer keeps
// taking them, and a second more once it takes nothing (a simulator that stopped reading must
// not hold the program's close for ever; a slow one still gets the last packets).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace platform {

inline constexpr auto closeWriteLimit = std::chrono::milliseconds(1000);
// The queue goes out in writes of at most this size: the wait below sees the peer taking a long
// queue only as writes that complete.
inline constexpr std::size_t sendSlice = 64 * 1024;
// After our direction has ended, how long the peer may take to read what is still on its way
// and end its own: closing earlier would reset the connection under our last packets.
inline constexpr auto closePeerLimit = std::chrono::milliseconds(5000);

// Waits under `lock` until done() holds, or until `sentBytes` has not grown for closeWriteLimit.
template <typename Done>
void gf_waitWhileSending(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                         const std::atomic<std::uint64_t>& sentBytes, Done done) {
  for (std::uint64_t seen = sentBytes.load(); !changed.wait_for(lock, closeWriteLimit, done);) {
    const std::uint64_t now = sentBytes.load();
    if (now == seen) return;
    seen = now;
  }
}

}  // namespace platform
