#include "aircraft/aircraft_codes.hpp"

#include <mutex>

#include "foundation/format.hpp"
#include "foundation/log.hpp"

CodeTable airlineCodes{"gf_airlineId"};
CodeTable modelCodes{"gf_modelId"};

std::set<std::string, std::less<>> knownModelCodes;
std::set<std::string, std::less<>> icaoAirlineCodes;
std::set<std::uint16_t> largeModels, heavyModels, buzjetModels, rotorcraftModels, highPerfModels;
std::map<std::string, std::string, std::less<>> modelCodeFixes;
std::atomic<bool> modelFixesActive{false};

CodeTable::CodeTable(const char* tag) : tag_(tag), slots_(new std::string[capacity]) {
  index_.reserve(4096);
}

bool CodeTable::find(std::string_view code, std::uint16_t& id) const {
  std::shared_lock lock(mutex_);
  auto it = index_.find(code);
  if (it == index_.end()) return false;
  id = it->second;
  return true;
}

std::uint16_t CodeTable::intern(std::string_view code, const std::string* alternative) {
  std::uint16_t id = 0;
  if (find(code, id)) return id;

  std::unique_lock lock(mutex_);
  // Another thread may have added it between the two locks.
  if (auto it = index_.find(code); it != index_.end()) return it->second;
  if (alternative) {
    if (auto it = index_.find(std::string_view(*alternative)); it != index_.end()) return it->second;
  }
  std::size_t next = count_.load(std::memory_order_relaxed);
  if (next >= capacity) {
    if (!fullLogged_) {
      fullLogged_ = true;
      lock.unlock();
      gf_logMarked(wdrx::format("{}: table full ({} codes), '{}' and every later new code get id 0",
                                tag_, capacity, code));
    }
    return 0;
  }
  slots_[next] = std::string(code);
  index_.emplace(std::string_view(slots_[next]), static_cast<std::uint16_t>(next));
  count_.store(next + 1, std::memory_order_release);
  return static_cast<std::uint16_t>(next);
}

void CodeTable::clear() {
  std::unique_lock lock(mutex_);
  index_.clear();
  const std::size_t count = count_.exchange(0);
  for (std::size_t i = 0; i < count; ++i) slots_[i] = std::string();
  fullLogged_ = false;
}

const std::string& CodeTable::operator[](std::size_t id) const {
  static const std::string none;
  return id < count_.load(std::memory_order_acquire) ? slots_[id] : none;
}

std::uint16_t gf_airlineId(std::string_view code) { return airlineCodes.intern(code); }

const std::string* lf_fixedModelCode(std::string_view wrongCode) {
  auto it = modelCodeFixes.find(wrongCode);
  return it == modelCodeFixes.end() ? nullptr : &it->second;
}

std::uint16_t gf_modelId(std::string_view code) {
  std::uint16_t id = 0;
  if (modelCodes.find(code, id)) return id;
  // The fixes are complete before any other thread interns model codes.
  const std::string* fix =
      modelFixesActive.load(std::memory_order_acquire) ? lf_fixedModelCode(code) : nullptr;
  // A wrong code is never added, so it comes here every time: find its fix without the
  // exclusive lock.
  if (fix && modelCodes.find(*fix, id)) return id;
  return modelCodes.intern(code, fix);
}

AcCategory gf_modelCategory(std::uint16_t modelId) {
  if (largeModels.contains(modelId)) return AcCategory::Large;
  if (heavyModels.contains(modelId)) return AcCategory::Heavy;
  if (buzjetModels.contains(modelId)) return AcCategory::Buzjets;
  if (rotorcraftModels.contains(modelId)) return AcCategory::Rotorcraft;
  if (highPerfModels.contains(modelId)) return AcCategory::HighPerf;
  return AcCategory::Light;
}

AcCategory gf_modelCodeCategory(std::string_view code) { return gf_modelCategory(gf_modelId(code)); }

bool gf_isKnownModel(std::string_view code) {
  return !code.empty() && knownModelCodes.contains(code);
}

bool lf_isIcaoAirline(std::string_view code) {
  return !code.empty() && icaoAirlineCodes.contains(code);
}

namespace wdrx::testing {
void resetCodeTables() {
  airlineCodes.clear();
  modelCodes.clear();
  modelFixesActive.store(false);
}
}  // namespace wdrx::testing
