#include "foundation/hooks.hpp"

#include <atomic>

#include "foundation/log.hpp"

namespace {
// Constant-initialised, so a hook registered during static initialisation is never lost.
std::atomic<StopQuery> stopQuery{nullptr};
std::atomic<StatusPoster> statusPoster{nullptr};
std::atomic<RandomSwitch> randomSwitch{nullptr};
}  // namespace

void gf_setStopQuery(StopQuery query) { stopQuery.store(query); }
void gf_setStatusPoster(StatusPoster poster) { statusPoster.store(poster); }
void gf_setRandomSwitch(RandomSwitch query) { randomSwitch.store(query); }

bool gf_stopRequested() {
  const StopQuery query = stopQuery.load();
  return query != nullptr && query();
}

void gf_hookPostStatus(const std::string& text, bool log) {
  if (const StatusPoster poster = statusPoster.load()) {
    poster(text, log);
  } else if (log && !text.empty()) {
    gf_log(text);
  }
}

bool gf_randomOn() {
  const RandomSwitch query = randomSwitch.load();
  return query == nullptr || query();
}
