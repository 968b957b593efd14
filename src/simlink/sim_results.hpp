#pragma once
// Reports of the simulator link's thread to the engine: created, removed and nearby objects.
// The SimClient thread pushes; the run thread drains the queue in gf_handleSimResults.
// Lock order: simResultMutex before simQueueMutex, never the reverse.
#include <cstdint>
#include <mutex>
#include <vector>

struct SimResult {
  std::uint32_t objectId = 0;
  std::uint32_t key = 0;         // hexid (kinds 0, 1, 5, 6, 7); on-ground flag (kind 3)
  std::uint32_t activation = 0;  // 0 when pushed; simResultDone once handled
  std::uint32_t kind = 0;        // SimResultKind
  double first = 0.0;
  double second = 0.0;
};

namespace SimResultKind {
inline constexpr std::uint32_t liveCreated = 0;          // second: height above ground, feet
inline constexpr std::uint32_t staticCreated = 1;
inline constexpr std::uint32_t removed = 2;
inline constexpr std::uint32_t inRange = 3;              // first: ground alt; second: height agl
inline constexpr std::uint32_t staticCg = 4;             // first: static height; second: pitch
inline constexpr std::uint32_t createdWhileBlocked = 5;
inline constexpr std::uint32_t creationFailed = 6;       // the simulator refused: livery failed
// No answer from the simulator within creationTimeout: the record is retired like kind 6, but
// the livery is not marked failed (gf_handleCreationFailure is not called) and does not count
// towards the failed-livery error; a slow or paused simulator says nothing about the livery.
inline constexpr std::uint32_t creationTimedOut = 7;
}  // namespace SimResultKind

inline constexpr std::uint32_t simResultDone = 0xFFFFFFFFu;  // the activation counter's -1

extern std::mutex simResultMutex;
extern std::vector<SimResult> simResultQueue;  // guarded by simResultMutex

// Appends one result under simResultMutex. Must not be called while simQueueMutex is held.
void gf_pushSimResult(const SimResult& result);
