// The engine's shared queues and lists and the hook table of its services.
#include "records/engine_tables.hpp"

std::deque<AiCreationRecord> liveAddQueue;
std::deque<AiCreationRecord> staticAddQueue;
std::deque<std::uint32_t> parkedAcQueue;
std::vector<ParkedLiveEntry> parkedLiveList;
std::atomic<float> meanParkedSlots{0.0f};
std::uint32_t staticHexCounter = 0;
EngineServices engineServices;

namespace {
constexpr std::uint32_t staticHexidCount = maxStaticHexid - 1;  // 1 to 9999

void lf_advanceStaticHexCounter() { staticHexCounter = staticHexCounter % staticHexidCount + 1; }
}  // namespace

std::uint32_t gf_nextStaticHexid() {
  for (std::uint32_t tries = 0; tries < staticHexidCount; ++tries) {
    lf_advanceStaticHexCounter();
    if (gf_findStaticAc(staticHexCounter) == nullptr) return staticHexCounter;
  }
  lf_advanceStaticHexCounter();
  return staticHexCounter;
}
