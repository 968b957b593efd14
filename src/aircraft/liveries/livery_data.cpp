#include "aircraft/liveries/livery_data.hpp"

#include <mutex>
#include <utility>

std::list<LiveryData> scannedLiveries;
std::atomic<std::int32_t> liveryCount{0};

namespace {
std::mutex optionsNotifierMutex;
std::function<void()> optionsBandNotifier;
}  // namespace

bool lf_isIncompleteLivery(const LiveryData& livery) {
  return livery.codes.airlineId == 0 || livery.codes.modelId == 0;
}

bool lf_liveryLess(const LiveryData& a, const LiveryData& b) {
  if (a.codes.airlineId != b.codes.airlineId) {
    if (int c = airlineCodes[a.codes.airlineId].compare(airlineCodes[b.codes.airlineId]); c != 0)
      return c < 0;
  }
  if (a.codes.operatorId != b.codes.operatorId) {
    if (int c = airlineCodes[a.codes.operatorId].compare(airlineCodes[b.codes.operatorId]); c != 0)
      return c < 0;
  }
  if (a.codes.modelId != b.codes.modelId) {
    if (int c = modelCodes[a.codes.modelId].compare(modelCodes[b.codes.modelId]); c != 0) return c < 0;
  }
  return a.title < b.title;
}

void gf_setOptionsBandNotifier(std::function<void()> notifier) {
  std::lock_guard lock(optionsNotifierMutex);
  optionsBandNotifier = std::move(notifier);
}

void gf_invalidateOptionsBand() {
  std::function<void()> notifier;
  {
    std::lock_guard lock(optionsNotifierMutex);
    notifier = optionsBandNotifier;
  }
  if (notifier) notifier();
}
