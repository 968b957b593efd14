#include <algorithm>
#include <set>

#include "aircraft/reference_db.hpp"
#include "aircraft/registrations.hpp"
#include "config/settings.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "foundation/text.hpp"

std::vector<DbaseRecord> dbaseRecords;
std::array<double, halfWingSpanSlots> halfWingSpans{};
double maxHalfWingSpan = 0.0;
std::unordered_map<std::string, std::vector<std::string>> prefixGroups;

namespace {
constexpr const char* subscriptError = "invalid array<T, N> subscript";
const std::vector<std::string> noPrefixes;

char lf_asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool lf_registrationLess(const DbaseRecord& record, std::string_view registration) {
  return std::string_view(record.registration) < registration;
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
  for (const DbaseRecord& record : dbaseRecords) {
    // An empty registration would occur in every text.
    if (record.registration.empty() || record.registration.size() >= 6) continue;
    if (text.find(record.registration) != std::string_view::npos) return record.registration;
  }
  return std::nullopt;
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

void lf_buildPrefixGroups() {
  std::set<std::string> texts;
  for (const std::vector<std::string>& group : prefixGroupLists) {
    if (group.size() < 2) continue;  // no text of a single prefix holds a ","
    for (std::size_t i = 0; i < group.size(); ++i) {
      std::string text = group[i];
      for (std::size_t j = 0; j < group.size(); ++j) {
        if (j == i) continue;
        text += ',';
        text += group[j];
      }
      texts.insert(std::move(text));
    }
  }
  for (const std::string& text : texts) {
    std::vector<std::string> pieces = gf_splitComma(text);
    std::string key = std::move(pieces.front());
    pieces.erase(pieces.begin());
    prefixGroups.try_emplace(std::move(key), std::move(pieces));
  }
}

const std::vector<std::string>& gf_similarPrefixes(std::string_view prefix) {
  auto it = prefixGroups.find(std::string(prefix));
  if (it == prefixGroups.end()) return noPrefixes;
  if (RANDOM.value.load() && it->second.size() >= 2)
    std::shuffle(it->second.begin(), it->second.end(), randomEngine());
  return it->second;
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
