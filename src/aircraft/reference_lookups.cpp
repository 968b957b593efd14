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
  std::sort(dbaseRecords.begin(), dbaseRecords.end(),
            [](const DbaseRecord& a, const DbaseRecord& b) { return a.registration < b.registration; });
  auto last = std::unique(dbaseRecords.begin(), dbaseRecords.end(),
                          [](const DbaseRecord& a, const DbaseRecord& b) {
                            return a.registration == b.registration;
                          });
  dbaseRecords.erase(last, dbaseRecords.end());
  titleRegistrationIndex.clear();
  for (const DbaseRecord& record : dbaseRecords) {
    if (lf_canNameInTitle(record.registration)) titleRegistrationIndex.insert(record.registration);
  }
}

std::vector<std::string> gf_registrationVariants(std::string_view registration) {
  std::vector<std::string> variants;
  if (registration.size() >= 5 && registration.front() != 'N' &&
      registration.find('-') == std::string_view::npos) {
    variants.reserve(3);
    variants.push_back(wdrx::format("{}-{}", registration.substr(0, 2), registration.substr(2)));
    variants.push_back(wdrx::format("{}-{}", registration.substr(0, 1), registration.substr(1)));
  }
  variants.emplace_back(registration);
  return variants;
}

std::optional<AircraftCodes> gf_findRegistration(std::string_view registration) {
  if (registration.empty()) return std::nullopt;
  for (const std::string& variant : gf_registrationVariants(registration)) {
    auto it = std::lower_bound(dbaseRecords.begin(), dbaseRecords.end(), std::string_view(variant),
                               lf_registrationLess);
    if (it != dbaseRecords.end() && it->registration == variant) return it->codes;
  }
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
