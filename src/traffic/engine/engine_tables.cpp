// The engine's shared queues and lists and the hook table of its services.
#include "traffic/engine/engine_tables.hpp"

std::deque<AiCreationRecord> liveAddQueue;
std::deque<AiCreationRecord> staticAddQueue;
std::deque<std::uint32_t> parkedAcQueue;
std::vector<ParkedLiveEntry> parkedLiveList;
std::atomic<float> meanParkedSlots{0.0f};
std::uint32_t staticHexCounter = 0;
EngineServices engineServices;

std::uint32_t gf_nextStaticHexid() {
  for (std::uint32_t tries = 0; tries < maxStaticHexid; ++tries) {
    staticHexCounter = (staticHexCounter + 1) % maxStaticHexid;
    if (gf_findStaticAc(staticHexCounter) == nullptr) return staticHexCounter;
  }
  staticHexCounter = (staticHexCounter + 1) % maxStaticHexid;
  return staticHexCounter;
}
