// Lookups in the reference tables: registration records, wing spans, prefix groups and the
// publishers named in scenery paths.
#include <algorithm>
#include <unordered_set>

#include "aircraft/reference_db.hpp"
#include "aircraft/registrations.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"

std::vector<DbaseRecord> dbaseRecords;
std::array<double, halfWingSpanSlots> halfWingSpans{};
double maxHalfWingSpan = 0.0;
std::unordered_map<std::string, std::vector<std::string>> prefixGroups;
std::unordered_set<std::string, Fnv1aHash, std::equal_to<>> titleRegistrationIndex;

namespace {
constexpr const char* subscriptError = "invalid array<T, N> subscript";

char lf_asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool lf_registrationLess(const DbaseRecord& record, std::string_view registration) {
  return std::string_view(record.registration) < registration;
}

// The first eight bytes of a registration as one number, the first byte highest and missing
// bytes zero: texts in byte order have their keys in the same (not strictly) rising order.
std::uint64_t lf_registrationKey(std::string_view registration) {
  std::uint64_t key = 0;
  const std::size_t size = std::min<std::size_t>(registration.size(), 8);
  for (std::size_t i = 0; i < 8; ++i)
    key = (key << 8) | (i < size ? static_cast<unsigned char>(registration[i]) : 0u);
  return key;
}

// A hash index of dbaseRecords made by lf_sortDbaseRecords: a lookup tries up to three
// spellings, and a probe of this small table costs less than a binary search through texts
// spread over the records. Slots hold a record's key and its position + 1 (0: free), linear
// probing from the key's hash. Used only while dbaseRecords is the vector it was made of; a
// record found is always compared whole (keys are the first eight bytes only).
struct RegistrationSlot {
  std::uint64_t key = 0;
  std::uint32_t position = 0;
};
std::vector<RegistrationSlot> registrationSlots;  // a power of two, at least 1.5 x the records
const DbaseRecord* registrationSlotsOf = nullptr;
std::size_t registrationSlotsFor = 0;

std::size_t lf_slotOf(std::uint64_t key) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 32) & (registrationSlots.size() - 1);
}

void lf_indexRegistrations() {
  std::size_t size = 16;
  while (size < dbaseRecords.size() + dbaseRecords.size() / 2) size *= 2;
  registrationSlots.assign(size, RegistrationSlot{});
  for (std::size_t i = 0; i < dbaseRecords.size(); ++i) {
    const std::uint64_t key = lf_registrationKey(dbaseRecords[i].registration);
    std::size_t slot = lf_slotOf(key);
    while (registrationSlots[slot].position != 0) slot = (slot + 1) & (size - 1);
    registrationSlots[slot] = {key, static_cast<std::uint32_t>(i + 1)};
  }
  registrationSlotsOf = dbaseRecords.data();
  registrationSlotsFor = dbaseRecords.size();
}

const DbaseRecord* lf_findRecord(std::string_view registration) {
  if (registrationSlotsOf == dbaseRecords.data() && registrationSlotsFor == dbaseRecords.size() &&
      !registrationSlots.empty()) {
    const std::uint64_t key = lf_registrationKey(registration);
    for (std::size_t slot = lf_slotOf(key); registrationSlots[slot].position != 0;
         slot = (slot + 1) & (registrationSlots.size() - 1)) {
      if (registrationSlots[slot].key != key) continue;
      const DbaseRecord& record = dbaseRecords[registrationSlots[slot].position - 1];
      if (record.registration == registration) return &record;
    }
    return nullptr;
  }
  auto it = std::lower_bound(dbaseRecords.begin(), dbaseRecords.end(), registration, lf_registrationLess);
  return it != dbaseRecords.end() && it->registration == registration ? &*it : nullptr;
}

// Whether a registration is also tried with a hyphen after its first two, then its first
// character (DAIPA: DA-IPA, D-AIPA).
bool lf_triesHyphens(std::string_view registration) {
  return registration.size() >= 5 && registration.front() != 'N' &&
         registration.find('-') == std::string_view::npos;
}

bool lf_isAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Registrations looked for in livery titles are shorter than this many bytes plus one.
constexpr std::size_t maxTitleRegistration = 5;

// Whether a registration can name an aircraft in a livery title: 2 to 5 bytes with a letter.
// A single character or a number alone ("01") names no aircraft: titles are full of numbers.
bool lf_canNameInTitle(std::string_view registration) {
  return registration.size() >= 2 && registration.size() <= maxTitleRegistration &&
         std::any_of(registration.begin(), registration.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}
}  // namespace

void lf_sortDbaseRecords() {
  // Sorted through the records' keys, the texts compared only where the keys are equal, and
  // the records moved once into their places.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> order;
  order.reserve(dbaseRecords.size());
  for (std::size_t i = 0; i < dbaseRecords.size(); ++i)
    order.emplace_back(lf_registrationKey(dbaseRecords[i].registration), static_cast<std::uint32_t>(i));
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return dbaseRecords[a.second].registration < dbaseRecords[b.second].registration;
  });
  std::vector<DbaseRecord> sorted;
  sorted.reserve(dbaseRecords.size());
  for (const auto& [key, position] : order) sorted.push_back(std::move(dbaseRecords[position]));
  dbaseRecords.swap(sorted);
  auto last = std::unique(dbaseRecords.begin(), dbaseRecords.end(),
                          [](const DbaseRecord& a, const DbaseRecord& b) {
                            return a.registration == b.registration;
                          });
  dbaseRecords.erase(last, dbaseRecords.end());
  // Shrunk here, not after: the index below belongs to the vector as it then stays.
  dbaseRecords.shrink_to_fit();
  titleRegistrationIndex.clear();
  for (const DbaseRecord& record : dbaseRecords) {
    if (lf_canNameInTitle(record.registration)) titleRegistrationIndex.insert(record.registration);
  }
  lf_indexRegistrations();
}

std::vector<std::string> gf_registrationVariants(std::string_view registration) {
  std::vector<std::string> variants;
  if (lf_triesHyphens(registration)) {
    variants.reserve(3);
    variants.push_back(wdrx::format("{}-{}", registration.substr(0, 2), registration.substr(2)));
    variants.push_back(wdrx::format("{}-{}", registration.substr(0, 1), registration.substr(1)));
  }
  variants.emplace_back(registration);
  return variants;
}

std::optional<AircraftCodes> gf_findRegistration(std::string_view registration) {
  if (registration.empty()) return std::nullopt;
  if (lf_triesHyphens(registration)) {
    // The spellings of gf_registrationVariants, made in place of a short registration.
    std::array<char, 32> spelled;
    if (registration.size() >= spelled.size()) {
      for (const std::string& variant : gf_registrationVariants(registration))
        if (const DbaseRecord* record = lf_findRecord(variant)) return record->codes;
      return std::nullopt;
    }
    for (const std::size_t hyphenAt : {std::size_t{2}, std::size_t{1}}) {
      registration.copy(spelled.data(), hyphenAt);
      spelled[hyphenAt] = '-';
      registration.copy(spelled.data() + hyphenAt + 1, registration.size() - hyphenAt, hyphenAt);
      if (const DbaseRecord* record = lf_findRecord({spelled.data(), registration.size() + 1}))
        return record->codes;
    }
  }
  if (const DbaseRecord* record = lf_findRecord(registration)) return record->codes;
  return std::nullopt;
}

std::optional<std::string> lf_registrationInText(std::string_view text) {
  // Every piece of the text bounded by its ends or by characters that are not letters or
  // digits, up to the longest registration looked for; of several, the first in byte order.
  std::optional<std::string_view> best;
  for (std::size_t start = 0; start < text.size(); ++start) {
    if (start > 0 && lf_isAlnum(text[start - 1])) continue;
    for (std::size_t length = 2; length <= maxTitleRegistration && start + length <= text.size(); ++length) {
      const std::size_t end = start + length;
      if (end < text.size() && lf_isAlnum(text[end])) continue;
      const std::string_view piece = text.substr(start, length);
      if ((!best || piece < *best) && titleRegistrationIndex.contains(piece)) best = piece;
    }
  }
  if (!best) return std::nullopt;
  return std::string(*best);
}

void lf_fillWingspan(std::string_view modelCode, double halfSpan) {
  std::uint16_t id = gf_modelId(modelCode);
  if (id < halfWingSpanSlots) {
    halfWingSpans[id] = halfSpan;
  } else {
    gf_logMarked(wdrx::format("wsp fill what: {}", subscriptError));
  }
}

double hwsp(std::uint16_t modelId) {
  if (modelId < halfWingSpanSlots) return halfWingSpans[modelId];
  gf_logFlush(wdrx::format("hwsp: {} what: {}", modelId, subscriptError));
  return 0.0;
}

bool lf_containsNoCase(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  auto found = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                           [](char a, char b) { return lf_asciiLower(a) == lf_asciiLower(b); });
  return found != text.end();
}

bool lf_containsNoCase(const std::filesystem::path& path, std::string_view needle) {
  if (needle.empty()) return true;
  return lf_containsNoCase(std::string_view(gf_pathToUtf8(path)), needle);
}

std::optional<std::string> lf_publisherInPath(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (const std::vector<std::string>& entry : publisherNames) {
    for (const std::string& name : entry) {
      if (name.empty() || text.find(name) != std::string_view::npos || lf_containsNoCase(text, name))
        return entry.front();
    }
  }
  return std::nullopt;
}

void gf_publisherFromFilename(std::string_view bglPathText, std::string& publisher,
                              std::vector<std::string>& scanLog) {
  if (lf_containsNoCase(bglPathText, "ORBX")) {
    scanLog.push_back(wdrx::format("from filename => publisher {}", "simaddon"));
    publisher = "simaddon";
    return;
  }
  if (std::optional<std::string> found = lf_publisherInPath(bglPathText)) publisher = *found;
}
