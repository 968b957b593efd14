#include "liveries/livery_data.hpp"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

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

namespace {
// The place of each id's code text in the text order: 0 for the empty text (and an id beyond
// the table, whose text is empty), then 1, 2, ... by the texts.
std::vector<std::uint32_t> lf_textRanks(const CodeTable& table) {
  const std::size_t size = table.size();
  std::vector<std::pair<const std::string*, std::size_t>> texts;
  texts.reserve(size);
  for (std::size_t id = 0; id < size; ++id) texts.emplace_back(&table[id], id);
  std::sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) { return *a.first < *b.first; });
  std::vector<std::uint32_t> ranks(size, 0);
  std::uint32_t rank = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (texts[i].first->empty()) continue;
    if (i == 0 || *texts[i].first != *texts[i - 1].first) ++rank;
    ranks[texts[i].second] = rank;
  }
  return ranks;
}

std::uint32_t lf_rankOf(const std::vector<std::uint32_t>& ranks, std::size_t id) {
  return id < ranks.size() ? ranks[id] : 0;
}
}  // namespace

void lf_sortLiveries(std::list<LiveryData>& liveries) {
  const std::vector<std::uint32_t> airlineRanks = lf_textRanks(airlineCodes);
  const std::vector<std::uint32_t> modelRanks = lf_textRanks(modelCodes);
  struct Keyed {
    std::uint32_t airline;
    std::uint32_t operatorRank;
    std::uint32_t model;
    std::list<LiveryData>::iterator livery;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(liveries.size());
  for (auto it = liveries.begin(); it != liveries.end(); ++it) {
    keyed.push_back(Keyed{lf_rankOf(airlineRanks, it->codes.airlineId), lf_rankOf(airlineRanks, it->codes.operatorId),
                          lf_rankOf(modelRanks, it->codes.modelId), it});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.airline != b.airline) return a.airline < b.airline;
    if (a.operatorRank != b.operatorRank) return a.operatorRank < b.operatorRank;
    if (a.model != b.model) return a.model < b.model;
    return a.livery->title < b.livery->title;
  });
  std::list<LiveryData> sorted;
  for (const Keyed& k : keyed) sorted.splice(sorted.end(), liveries, k.livery);
  liveries.swap(sorted);
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
