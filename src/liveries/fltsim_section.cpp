#include "liveries/fltsim_section.hpp"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <type_traits>
#include <unordered_set>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/regcode_files.hpp"
#include "aircraft/registrations.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "liveries/cfg_keys.hpp"

namespace fs = std::filesystem;

namespace {
std::mutex claimedTitlesMutex;
std::unordered_set<std::string> claimedTitles;

constexpr std::size_t maxRegistrationLength = 12;
constexpr std::string_view pathSeparators = fs::path::preferred_separator == '/' ? "/" : "/\\";

// The listed type of a child named in cfg text; where the system's names are wide (Windows) the
// name is converted as a path made of it would be. A template, so that only the branch of this
// system's name type is compiled.
template <typename Text>
fs::file_type lf_listedType(const FolderEntries& listed, const Text& name) {
  if constexpr (std::is_same_v<typename Text::value_type, fs::path::value_type>) {
    return listed.typeOf(name);
  } else {
    return listed.typeOf(fs::path(name).native());
  }
}
}  // namespace

// ---------------------------------------------------------------- scan plumbing

std::shared_ptr<const ScanInputs> lf_makeScanInputs() {
  auto inputs = std::make_shared<ScanInputs>();
  inputs->dontUseTitles.reserve(dontUseTitles.size());
  inputs->dontUseTitles.insert(dontUseTitles.begin(), dontUseTitles.end());
  return inputs;
}

fs::file_type FolderEntries::typeOf(std::basic_string_view<Name::value_type> name) const {
  const auto it = std::lower_bound(sorted.begin(), sorted.end(), name,
                                   [](const auto& entry, const auto& wanted) { return entry.first < wanted; });
  return it != sorted.end() && it->first == name ? it->second : fs::file_type::none;
}

CfgFileScan::CfgFileScan(std::uint32_t number, fs::path file, const ScanInputs& scanInputs,
                         std::shared_ptr<const FolderEntries> listed)
    : folderNumber(number),
      path(std::move(file)),
      folder(path.parent_path()),
      pathText(lf_narrowPath(path)),
      folderText(lf_narrowPath(folder)),
      inputs(&scanInputs),
      listed_(std::move(listed)) {
  result.folderText = folderText;
}

bool CfgFileScan::isOfType(const fs::path& path, fs::file_type type) {
  const auto known = types_.find(path.native());
  if (known != types_.end()) return known->second == type;
  const fs::file_type found = fs::status(path).type();  // throws for errors other than "not found"
  types_.emplace(path.native(), found);
  return found == type;
}

bool CfgFileScan::hasChild(const std::string& name, fs::file_type type) {
  // A plain name that the walk listed needs neither a path nor a system call.
  if (listed_ && !name.empty() && name.find_first_of(pathSeparators) == std::string::npos) {
    const fs::file_type listedType = lf_listedType(*listed_, name);
    if (listedType != fs::file_type::none) return listedType == type;
  }
  return isOfType(folder / name, type);
}

bool lf_claimTitle(const std::string& title) {
  std::lock_guard lock(claimedTitlesMutex);
  return claimedTitles.insert(title).second;
}

void lf_clearClaimedTitles() {
  std::lock_guard lock(claimedTitlesMutex);
  claimedTitles.clear();
}

std::size_t lf_claimedTitleCount() {
  std::lock_guard lock(claimedTitlesMutex);
  return claimedTitles.size();
}

std::string ScanTaskResult::duplicateReport(const std::string& header, const std::string& title) const {
  return ivao ? folderText + " " + header + " title already exists: " + title
              : wdrx::format("{} {} title '{}' already exists", folderText, header, title);
}

void lf_takeTaskResult(ScanTaskResult&& result, std::list<LiveryData>& target) {
  auto header = result.headers.begin();
  for (auto it = result.liveries.begin(); it != result.liveries.end(); ++header) {
    if (lf_claimTitle(it->title)) {
      ++it;
      continue;
    }
    result.reports.incompleteSections.push_back(result.duplicateReport(*header, it->title));
    it = result.liveries.erase(it);
  }
  lf_mergeScanReports(std::move(result.reports));
  target.splice(target.end(), result.liveries);
}

bool lf_isDontUseTitle(const ScanInputs& inputs, const std::string& title) {
  return inputs.dontUseTitles.contains(title);
}

// ---------------------------------------------------------------- section helpers

void lf_dropTrailingLines(std::vector<std::string_view>& section) {
  while (!section.empty() && (section.back().empty() || section.back().starts_with("//")))
    section.pop_back();
}

std::string lf_subfolderName(std::string_view prefix, std::string_view value) {
  std::string name(prefix);
  name += value;
  while (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

std::optional<AircraftCodes> lf_foundRegistration(const std::string& registration, const std::string& model) {
  if (registration.empty()) return std::nullopt;
  std::optional<AircraftCodes> codes = gf_findRegistration(registration);
  if (!codes || codes->airlineId == 0) return std::nullopt;
  codes->modelId = gf_modelId(model);
  return codes;
}

std::string lf_modelFolderName(const SectionKeys& keys) { return lf_subfolderName("model.", keys.model); }
std::string lf_airFileName(const SectionKeys& keys) { return keys.sim + ".air"; }
std::string lf_textureFolderName(const SectionKeys& keys) { return lf_subfolderName("texture.", keys.texture); }

namespace {
KeyRule lf_refuse(CfgFileScan& scan, std::string_view header, const char* what) {
  lf_reportIncompleteSection(scan.result.reports, wdrx::format("{} {} {}", scan.folderText, header, what));
  return KeyRule::refused;
}
}  // namespace

KeyRule lf_titleRule(CfgFileScan& scan, std::string_view header, std::string_view line, SectionKeys& keys) {
  if (keys.title.empty()) return lf_readCfgKey(line, cfgKey::title, keys.title) ? KeyRule::taken : KeyRule::passed;
  if (!lf_cfgKeyValue(line, cfgKey::title).empty()) return lf_refuse(scan, header, "has more than one title key");
  return KeyRule::passed;
}

KeyRule lf_parkingTypesRule(CfgFileScan& scan, std::string_view header, std::string_view line, SectionKeys& keys) {
  if (keys.parkingTypes.empty()) {
    if (!lf_readCfgKey(line, cfgKey::atcParkingTypes, keys.parkingTypes)) return KeyRule::passed;
    gf_normaliseCommaList(keys.parkingTypes);
    std::transform(keys.parkingTypes.begin(), keys.parkingTypes.end(), keys.parkingTypes.begin(), gf_toUpperChar);
    return KeyRule::taken;
  }
  if (line.find("atc_parking_types") != std::string_view::npos)
    return lf_refuse(scan, header, "has more than one atc_parking_types key");
  return KeyRule::passed;
}

KeyRule lf_atcIdRule(CfgFileScan& scan, std::string_view header, std::string_view line, SectionKeys& keys,
                     bool ivao) {
  if (!keys.registration.empty()) {
    if (line.find("atc_id=") == std::string_view::npos) return KeyRule::passed;
    lf_reportIncompleteSection(scan.result.reports,
                               wdrx::format("{}, {}, has more than one atc_id key", scan.folderText, header));
    return KeyRule::refused;
  }
  std::string_view value = lf_cfgKeyValue(line, cfgKey::atcId);
  if (value.empty()) return KeyRule::passed;
  if (!ivao) value = value.substr(0, value.find(';'));
  std::vector<std::string> pieces = gf_collectSplitView(value);
  const bool invalid = pieces.empty() || std::any_of(pieces.begin(), pieces.end(), [](const std::string& p) {
                         return p.size() > maxRegistrationLength || p.find('*') != std::string::npos;
                       });
  if (invalid) {
    lf_reportIncompleteSection(scan.result.reports, ivao ? wdrx::format("invalid atc_id={} in {}", value, keys.title)
                                                         : wdrx::format("invalid atc_id={} in: {}", value, keys.title));
  } else if (pieces.size() == 1) {
    keys.registration = std::move(pieces.front());
  }
  return KeyRule::taken;
}

bool lf_mayBeKeyLine(std::string_view line) {
  // The key as the readers see it: from the first non-blank character to a blank or "=".
  const auto first = std::find_if_not(line.begin(), line.end(), lf_isCfgSpace);
  const auto end = std::find_if(first, line.end(), [](char c) { return c == '=' || lf_isCfgSpace(c); });
  const std::string_view key = line.substr(static_cast<std::size_t>(first - line.begin()),
                                           static_cast<std::size_t>(end - first));
  for (const std::string_view name : {cfgKey::title, cfgKey::atcParkingCodes, cfgKey::atcParkingTypes, cfgKey::atcId,
                                      cfgKey::model, cfgKey::sim, cfgKey::texture}) {
    if (key.size() == name.size() && std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
          return (a >= 'A' && a <= 'Z' ? static_cast<char>(a + 32) : a) == b;
        }))
      return true;
  }
  // The "more than one" tests look for these anywhere; "_" is rare outside key names.
  for (std::size_t at = line.find('_'); at != std::string_view::npos; at = line.find('_', at + 1)) {
    if (at < 3 || line.substr(at - 3, 3) != "atc") continue;
    const std::string_view rest = line.substr(at + 1);
    if (rest.starts_with("parking_codes") || rest.starts_with("parking_types") || rest.starts_with("id=")) return true;
  }
  return false;
}

void lf_folderKeyRules(std::string_view line, SectionKeys& keys) {
  if (keys.model.empty() && lf_readCfgKey(line, cfgKey::model, keys.model)) return;
  if (keys.sim.empty() && lf_readCfgKey(line, cfgKey::sim, keys.sim)) return;
  if (keys.texture.empty()) lf_readCfgKey(line, cfgKey::texture, keys.texture);
}

namespace {

bool lf_isHeavyModel(const std::string& model) { return gf_modelCodeCategory(model) == AcCategory::Heavy; }

enum class KeyLoopEnd { done, refused, dropped };

// The atc_parking_codes rule of ordinary files.
KeyRule lf_parkingCodesRule(CfgFileScan& scan, std::string_view header, std::string_view line, SectionKeys& keys,
                            bool& dropped) {
  if (!keys.airline.empty()) {
    if (line.find("atc_parking_codes") == std::string_view::npos) return KeyRule::passed;
    return lf_refuse(scan, header, "has more than one atc_parking_codes key");
  }
  const std::string_view value = lf_cfgKeyValue(line, cfgKey::atcParkingCodes);
  if (value.empty()) return KeyRule::passed;
  std::string code = gf_trim(value.substr(0, value.find(',')));
  if (code.size() == 4 && (code[3] == 'X' || code[3] == 'C')) code.resize(3);
  if (icaoAirlineCodes.contains(code)) {
    keys.airline = std::move(code);
  } else if (code == "RFO") {
    keys.airline = std::move(code);  // no "airline is missing" report either
    dropped = true;
    return KeyRule::refused;
  } else {
    lf_reportInvalidAirline(scan.result.reports, code, scan.pathText, std::string(header));
  }
  return KeyRule::taken;
}

KeyLoopEnd lf_sectionKeyLoop(CfgFileScan& scan, const std::vector<std::string_view>& section, SectionKeys& keys) {
  const std::string_view header = section.front();
  bool dropped = false;
  for (const std::string_view line : section) {
    if (!lf_mayBeKeyLine(line)) continue;
    KeyRule rule = lf_titleRule(scan, header, line, keys);
    if (rule == KeyRule::passed) rule = lf_parkingCodesRule(scan, header, line, keys, dropped);
    if (rule == KeyRule::passed) rule = lf_parkingTypesRule(scan, header, line, keys);
    if (rule == KeyRule::passed) rule = lf_atcIdRule(scan, header, line, keys, false);
    if (rule == KeyRule::refused) return dropped ? KeyLoopEnd::dropped : KeyLoopEnd::refused;
    if (rule == KeyRule::passed) lf_folderKeyRules(line, keys);
  }
  return KeyLoopEnd::done;
}

void lf_processSection(CfgFileScan& scan, std::vector<std::string_view>& section) {
  ScanReports& reports = scan.result.reports;
  lf_dropTrailingLines(section);
  const std::string_view header = section.front();
  SectionKeys keys;
  const KeyLoopEnd end = lf_sectionKeyLoop(scan, section, keys);
  if (keys.airline.empty()) {
    lf_reportIncompleteSection(
        reports, wdrx::format("{} {} icao_airline is missing, or it has invalid info ", scan.pathText, header));
  }
  if (end != KeyLoopEnd::done) return;

  // A status error other than "not found" throws.
  const std::string modelFolder = lf_modelFolderName(keys);
  if (!scan.hasChild(modelFolder, fs::file_type::directory) ||
      !scan.hasChild(lf_textureFolderName(keys), fs::file_type::directory) ||
      !scan.hasChild(lf_airFileName(keys), fs::file_type::regular)) {
    lf_reportIncompleteSection(reports, lf_narrowPath(scan.folder / modelFolder) +
                                            " or related path does not exist: " + std::string(header));
    return;
  }
  if (keys.title.empty()) {
    lf_reportIncompleteSection(reports, wdrx::format("{} {} misses title", scan.folderText, header));
    return;
  }
  if (keys.title.find("Fictional") != std::string::npos || lf_isDontUseTitle(*scan.inputs, keys.title)) return;

  if (keys.airline == "ZZZ") keys.registration.clear();
  std::optional<AircraftCodes> found = lf_foundRegistration(keys.registration, scan.model);
  if (keys.airline.empty()) {
    if (keys.registration.empty()) {
      if (lf_isHeavyModel(scan.model)) {
        lf_reportIncompleteSection(
            reports, wdrx::format("'{}' '{}' has no airline and no regcode info", scan.folderText, header));
        return;
      }
      keys.airline = "PVT";
      keys.registration = lf_registrationInText(keys.title).value_or(std::string{});
      found = lf_foundRegistration(keys.registration, scan.model);
    } else if (!found) {
      if (lf_isHeavyModel(scan.model)) {
        lf_reportIncompleteSection(
            reports, wdrx::format("'{}' '{}' has no airline and regcode not in dbase", scan.folderText, header));
        return;
      }
      keys.airline = "PVT";
    }
  }
  AircraftCodes codes;
  if (found) {
    codes = *found;
  } else {
    codes.airlineId = gf_airlineId(keys.airline);
    codes.modelId = gf_modelId(scan.model);
    codes.cargo = keys.parkingTypes.find("CARGO") != std::string::npos ? 1 : 0;
  }
  scan.result.add(LiveryData{std::move(keys.title), std::move(keys.registration), codes,
                             static_cast<std::uint16_t>(scan.folderNumber)},
                  header);
}

}  // namespace

void lf_procesFltSimSection(CfgFileScan& scan, std::vector<std::string_view>& section) {
  try {
    lf_processSection(scan, section);
  } catch (const std::exception& e) {
    // One section that cannot be read costs only that section.
    gf_log(wdrx::format("Exception in lf_procesFltSimSection: {}, file: {}", e.what(), scan.pathText));
  }
}
