#pragma once
// Airline and model codes interned as 16-bit ids, the packed codes of an aircraft or livery,
// the aircraft categories and the membership tests against the reference database.
#include <array>
#include <atomic>
#include <cstdint>
#include <bit>
#include <map>
#include <memory>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// The codes of one aircraft or livery, copied as one 8-byte value.
struct AircraftCodes {
  std::uint16_t airlineId = 0;   // 0 = no airline
  std::uint16_t operatorId = 0;  // 0 = no operator
  std::uint16_t modelId = 0;     // 0 = no model
  std::uint8_t cargo = 0;        // 0/1
  std::uint8_t fromDbase = 0;    // 1: taken from a registration record of the reference data

  friend bool operator==(const AircraftCodes&, const AircraftCodes&) = default;

  std::uint64_t packed() const { return std::bit_cast<std::uint64_t>(*this); }
  static AircraftCodes fromPacked(std::uint64_t value) { return std::bit_cast<AircraftCodes>(value); }
};
static_assert(sizeof(AircraftCodes) == 8);

enum class AcCategory : std::uint8_t { Light = 0, Buzjets = 1, Large = 2, Heavy = 3, HighPerf = 4, Rotorcraft = 5 };
inline constexpr std::array<std::string_view, 6> acCategoryNames{"Light",    "Buzjets",  "Large",
                                                                  "Heavy",    "HighPerf", "Rotorcraft"};
constexpr std::string_view gf_acCategoryName(AcCategory category) {
  return acCategoryNames[static_cast<std::size_t>(category) % acCategoryNames.size()];
}

// 64-bit FNV-1a over the bytes of a text.
struct Fnv1aHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) {
      h ^= c;
      h *= 0x100000001b3ULL;
    }
    return static_cast<std::size_t>(h);
  }
};

// A table of code texts indexed by id, with a hash map from text to id beside it. Ids run
// 0, 1, 2, ... in order of first use and are never removed or renumbered. Interning is safe
// from any thread; reading a text by id takes no lock (the slots never move, and a slot is
// complete before the size that covers it is published).
class CodeTable {
 public:
  static constexpr std::size_t capacity = 65536;  // ids are 16 bits wide

  explicit CodeTable(const char* tag);
  CodeTable(const CodeTable&) = delete;
  CodeTable& operator=(const CodeTable&) = delete;

  // The code's id; an unknown code is appended. `alternative`, when given, is tried before the
  // append (model-code fixes); a hit returns its id and the code itself is not added.
  // A full table gives id 0 for an unknown code and logs that once.
  std::uint16_t intern(std::string_view code, const std::string* alternative = nullptr);
  // The id of a code already in the table, without adding it.
  bool find(std::string_view code, std::uint16_t& id) const;

  // The text of an id; empty for an id beyond the table.
  const std::string& operator[](std::size_t id) const;
  const std::string& text(std::size_t id) const { return (*this)[id]; }
  std::size_t size() const { return count_.load(std::memory_order_acquire); }
  // Empties the table (tests and fuzzing: no other thread may use it meanwhile).
  void clear();

 private:
  const char* tag_;
  std::unique_ptr<std::string[]> slots_;
  std::atomic<std::size_t> count_{0};
  std::unordered_map<std::string_view, std::uint16_t, Fnv1aHash, std::equal_to<>> index_;
  mutable std::shared_mutex mutex_;
  bool fullLogged_ = false;
};

extern CodeTable airlineCodes;
extern CodeTable modelCodes;

// Reference sets, filled once by gf_readDbase and only read afterwards.
extern std::set<std::string, std::less<>> knownModelCodes;
extern std::set<std::string, std::less<>> icaoAirlineCodes;
extern std::set<std::uint16_t> largeModels, heavyModels, buzjetModels, rotorcraftModels, highPerfModels;
// Wrong model code -> correct model code.
extern std::map<std::string, std::string, std::less<>> modelCodeFixes;
// Set once the reference reader has interned the known model codes; stays set.
extern std::atomic<bool> modelFixesActive;

std::uint16_t gf_airlineId(std::string_view code);
std::uint16_t gf_modelId(std::string_view code);
AcCategory gf_modelCategory(std::uint16_t modelId);
AcCategory gf_modelCodeCategory(std::string_view code);  // interns the code
bool gf_isKnownModel(std::string_view code);               // false for ""
bool lf_isIcaoAirline(std::string_view code);              // false for ""
const std::string* lf_fixedModelCode(std::string_view wrongCode);  // nullptr: no fix

// Half wing span in nautical miles of a model id; 0.0 when unknown (callers treat 0.0 as
// unknown and may take maxHalfWingSpan instead).
double hwsp(std::uint16_t modelId);
extern double maxHalfWingSpan;  // the largest half span of the reference data, 0.0 when none

namespace wdrx::testing {
// Both code tables empty and the fixes inactive, as at process start.
void resetCodeTables();
}  // namespace wdrx::testing
