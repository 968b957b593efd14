// The registration-prefix groups: for every prefix, the other prefixes of its group. A prefix in
// several groups keeps the group whose text "prefix,other,other..." sorts first (byte order).
// Built without forming those texts, and a prefix's list is made when it is first asked for:
// forming them all took time and memory quadratic in the group size.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "aircraft/reference_db.hpp"
#include "config/settings.hpp"
#include "foundation/random.hpp"

namespace {

using Group = std::vector<std::string>;

// The bytes of a group's members without the one at `skip`, joined by "," - read one at a time.
class JoinedWithout {
 public:
  JoinedWithout(const Group& members, std::size_t skip) : members_(members), skip_(skip) {}
  int next() {  // -1 at the end
    for (;;) {
      if (element_ == skip_) ++element_;
      if (element_ >= members_.size()) return -1;
      if (commaDue_) {
        commaDue_ = false;
        return ',';
      }
      const std::string& text = members_[element_];
      if (position_ < text.size()) return static_cast<unsigned char>(text[position_++]);
      ++element_;
      position_ = 0;
      commaDue_ = true;  // written only when another member follows
    }
  }

 private:
  const Group& members_;
  std::size_t skip_;
  std::size_t element_ = 0;
  std::size_t position_ = 0;
  bool commaDue_ = false;
};

// The exact byte comparison of the two texts; its cost is their common length.
int lf_compareJoined(const Group& a, std::size_t skipA, const Group& b, std::size_t skipB) {
  JoinedWithout x(a, skipA), y(b, skipB);
  for (;;) {
    const int cx = x.next();
    const int cy = y.next();
    if (cx != cy) return cx < cy ? -1 : 1;
    if (cx < 0) return 0;
  }
}

// A group's member at index i of the list without `skip`; null beyond its end.
const std::string* lf_memberWithout(const Group& group, std::size_t skip, std::size_t i) {
  const std::size_t index = i < skip ? i : i + 1;
  return index < group.size() ? &group[index] : nullptr;
}

// Element-level longest common prefixes of any two groups in O(1): the groups in sorted order,
// the common prefix of neighbours, and a sparse table of their minima.
class GroupPrefixes {
 public:
  explicit GroupPrefixes(const std::vector<const Group*>& groups) : groups_(groups) {
    std::vector<std::size_t> order(groups.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t l, std::size_t r) { return *groups[l] < *groups[r]; });
    rank_.resize(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) rank_[order[i]] = i;
    std::vector<std::size_t> neighbours(order.size(), 0);
    for (std::size_t i = 1; i < order.size(); ++i) {
      const Group& l = *groups[order[i - 1]];
      const Group& r = *groups[order[i]];
      std::size_t n = 0;
      while (n < l.size() && n < r.size() && l[n] == r[n]) ++n;
      neighbours[i] = n;
    }
    table_.push_back(std::move(neighbours));
    for (std::size_t width = 1; 2 * width <= order.size(); width *= 2) {
      const auto& last = table_.back();
      std::vector<std::size_t> level(order.size() - 2 * width + 1);
      for (std::size_t i = 0; i < level.size(); ++i) level[i] = std::min(last[i], last[i + width]);
      table_.push_back(std::move(level));
    }
  }

  // Members the two groups share at their start.
  std::size_t common(std::size_t g, std::size_t h) const {
    if (g == h) return groups_[g]->size();
    std::size_t first = std::min(rank_[g], rank_[h]) + 1;
    const std::size_t last = std::max(rank_[g], rank_[h]) + 1;  // range [first, last)
    std::size_t level = 0;
    while ((std::size_t{2} << level) <= last - first) ++level;
    return std::min(table_[level][first], table_[level][last - (std::size_t{1} << level)]);
  }

 private:
  const std::vector<const Group*>& groups_;
  std::vector<std::size_t> rank_;
  std::vector<std::vector<std::size_t>> table_;
};

struct Choice {
  std::size_t group = 0;  // index into the list of groups with two or more members
  std::size_t skip = 0;   // first index of the prefix in that group
};

// The group each prefix of prefixGroups takes its list from, until the list is made.
struct PendingList {
  std::shared_ptr<const Group> group;
  std::size_t skip = 0;
};
std::unordered_map<std::string, PendingList> pendingLists;

const std::vector<std::string> noPrefixes;

// Compares the texts of one prefix in two sorted groups (skips at the prefix's first index). The
// lists without the prefix agree up to a member that follows from the groups' common start c
// and the two skips: c itself when both skips lie beyond it; c - 1 when the skips are equal (the
// prefix is among the common members); else the smaller skip, where the group with the later
// skip holds a member below the prefix and the other one at least the prefix. That one member
// pair decides; a "," inside a member (never read from the file) takes the byte comparison.
int lf_compareChoices(const std::vector<const Group*>& groups, const GroupPrefixes& prefixes,
                      const Choice& a, const Choice& b) {
  const Group& g = *groups[a.group];
  const Group& h = *groups[b.group];
  const std::size_t c = prefixes.common(a.group, b.group);
  const std::size_t q = std::min(a.skip, b.skip);
  std::size_t at = 0;  // index in the lists without the prefix where they first differ
  if (c < q) {
    at = c;
  } else if (a.skip == b.skip) {
    at = c == 0 ? 0 : c - 1;
  } else {
    at = q;
  }
  const std::string* x = lf_memberWithout(g, a.skip, at);
  const std::string* y = lf_memberWithout(h, b.skip, at);
  if (x == nullptr || y == nullptr) {
    if (x == y) return 0;
    return x == nullptr ? -1 : 1;  // a text that ends sorts before a longer one
  }
  const std::size_t shorter = std::min(x->size(), y->size());
  const auto mismatch = std::mismatch(x->begin(), x->begin() + static_cast<std::ptrdiff_t>(shorter), y->begin());
  if (mismatch.first != x->begin() + static_cast<std::ptrdiff_t>(shorter)) {
    return static_cast<unsigned char>(*mismatch.first) < static_cast<unsigned char>(*mismatch.second) ? -1 : 1;
  }
  if (x->size() == y->size() || x->find(',') != std::string::npos || y->find(',') != std::string::npos) {
    return lf_compareJoined(g, a.skip, h, b.skip);
  }
  // One member is a start of the other: its text goes on with "," or ends there.
  const bool xShort = x->size() < y->size();
  const std::string& longer = xShort ? *y : *x;
  const bool shortEnds = xShort ? lf_memberWithout(g, a.skip, at + 1) == nullptr
                                : lf_memberWithout(h, b.skip, at + 1) == nullptr;
  const int shortByte = shortEnds ? -1 : ',';
  const int longByte = static_cast<unsigned char>(longer[shorter]);
  const int result = shortByte < longByte ? -1 : 1;
  return xShort ? result : -result;
}

}  // namespace

void lf_buildPrefixGroups() {
  std::vector<const Group*> groups;
  for (const Group& group : prefixGroupLists) {
    if (group.size() >= 2) groups.push_back(&group);  // a single prefix has no others
  }
  const GroupPrefixes prefixes(groups);
  bool sorted = true;
  for (const Group* group : groups) sorted = sorted && std::is_sorted(group->begin(), group->end());

  std::unordered_map<std::string_view, Choice> chosen;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const Group& group = *groups[g];
    for (std::size_t i = 0; i < group.size(); ++i) {
      // Without either of two equal neighbours the list is the same; the first stands for both.
      if (i > 0 && group[i] == group[i - 1]) continue;
      const Choice candidate{g, i};
      auto [it, inserted] = chosen.try_emplace(group[i], candidate);
      if (inserted) continue;
      const int order = sorted ? lf_compareChoices(groups, prefixes, candidate, it->second)
                               : lf_compareJoined(group, i, *groups[it->second.group], it->second.skip);
      if (order < 0) it->second = candidate;
    }
  }
  std::vector<std::shared_ptr<const Group>> shared(groups.size());
  for (const auto& [prefix, choice] : chosen) {
    // An empty list stands for one not made yet (a group of two or more has others).
    const auto [it, inserted] = prefixGroups.try_emplace(std::string(prefix));
    if (!inserted) continue;
    auto& group = shared[choice.group];
    if (!group) group = std::make_shared<const Group>(*groups[choice.group]);
    pendingLists.insert_or_assign(it->first, PendingList{group, choice.skip});
  }
}

const std::vector<std::string>& gf_similarPrefixes(std::string_view prefix) {
  auto it = prefixGroups.find(std::string(prefix));
  if (it == prefixGroups.end()) return noPrefixes;
  std::vector<std::string>& others = it->second;
  if (others.empty()) {
    const auto pending = pendingLists.find(it->first);
    if (pending == pendingLists.end()) return noPrefixes;
    const Group& group = *pending->second.group;
    others.reserve(group.size() - 1);
    for (std::size_t i = 0; i < group.size(); ++i)
      if (i != pending->second.skip) others.push_back(group[i]);
    pendingLists.erase(pending);
  }
  if (RANDOM.value.load() && others.size() >= 2) std::shuffle(others.begin(), others.end(), randomEngine());
  return others;
}
