// Reading and writing airport files.
#include "parking/apf_format.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "aircraft/registrations.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "foundation/version.hpp"
#include "foundation/xml_meta.hpp"
#include "parking/apf_state.hpp"
#include "records/record_texts.hpp"

namespace {

constexpr int missingIdCode = 93;
constexpr int duplicateIdCode = 94;
constexpr std::uint16_t highestParkingType = 15;

bool lf_isCargoType(int type) { return type == 5 || type == 6; }
bool lf_isRampType(int type) { return (type >= 1 && type <= 4) || type == 14; }

bool lf_validPosition(double latitude, double longitude) {
  if (!std::isfinite(latitude) || !std::isfinite(longitude)) return false;
  if (latitude < -90.0 || latitude > 90.0 || longitude < -180.0 || longitude > 180.0) return false;
  return !(latitude == 0.0 && longitude == 0.0);
}

// A radius in metres from a file: finite and not negative, else none.
std::optional<double> lf_radiusMetres(const pugi::xml_node& parkpos) {
  const double metres = parkpos.attribute("radius").as_double(0.0);
  if (!std::isfinite(metres) || metres < 0.0) return std::nullopt;
  return metres;
}

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

// One opt of a file read into an option; none when it is to be skipped.
struct OptRead {
  OptionIdentity identity;
  std::string reg;
  HalfHourSet hours;
  std::uint32_t day = 0;
  bool soft = false;
  bool cpl = false;
};

OptRead lf_readOpt(const pugi::xml_node& opt) {
  OptRead read;
  read.identity = lf_readOptionIdentity(opt);
  read.reg = opt.attribute("reg").as_string("");
  read.soft = opt.attribute("soft").as_bool(false);
  read.cpl = opt.attribute("cpl").as_bool(false);
  return read;
}

// Days outside 1..7 are logged; the opt is then skipped.
bool lf_validDay(const std::string& standName, const pugi::xml_node& opt, std::uint32_t& day) {
  const int value = opt.attribute("day").as_int(0);
  if (value >= 1 && value <= 7) {
    day = static_cast<std::uint32_t>(value);
    return true;
  }
  gf_logMarked(wdrx::format("stand {}: option with day '{}' skipped", standName,
                            opt.attribute("day").as_string("")));
  return false;
}

StandOption lf_makeOption(OptRead&& read, std::uint32_t number, std::uint32_t source) {
  StandOption option;
  option.codes = read.identity.codes;
  option.reg = std::move(read.reg);
  option.cs1 = std::move(read.identity.cs1);
  option.cs2 = std::move(read.identity.cs2);
  option.hours = read.hours;
  option.number = number;
  option.day = read.day;
  option.source = source;
  option.real = read.soft ? 0 : 1;
  option.cpl = read.cpl ? 1 : 0;
  return option;
}

bool lf_sameUse(const StandOption& a, const StandOption& b) {
  return a.day == b.day && a.real == b.real && a.reg == b.reg &&
         a.codes.airlineId == b.codes.airlineId && a.codes.operatorId == b.codes.operatorId &&
         a.codes.modelId == b.codes.modelId && a.hours.intersects(b.hours);
}

// ---------------------------------------------------------------- writing

bool lf_append(pugi::xml_node node, const char* name, const std::string& value) {
  return gf_appendAttribute(node, name, value);
}

bool lf_appendFullStand(pugi::xml_node parkpos, const Stand& stand) {
  bool ok = lf_append(parkpos, "latitude", wdrx::format("{:.6f}", stand.latitude));
  ok = lf_append(parkpos, "longitude", wdrx::format("{:.6f}", stand.longitude)) && ok;
  ok = lf_append(parkpos, "heading", wdrx::format("{:.1f}", stand.heading * radToDeg)) && ok;
  ok = lf_append(parkpos, "radius", wdrx::format("{:.1f}", stand.radius * nmToMetres)) && ok;
  ok = lf_append(parkpos, "type", wdrx::format("{}", stand.type)) && ok;
  ok = lf_append(parkpos, "cargo", lf_boolText(stand.cargo)) && ok;
  ok = lf_append(parkpos, "ramp", lf_boolText(stand.ramp)) && ok;
  if (stand.heli) ok = lf_append(parkpos, "heli", "true") && ok;
  if (stand.manual) ok = lf_append(parkpos, "manual", "true") && ok;
  return ok;
}

bool lf_appendStandChanges(pugi::xml_node parkpos, const Stand& stand) {
  bool ok = true;
  if (stand.radius_change) {
    ok = lf_append(parkpos, "radius_change", "true") && ok;
    ok = lf_append(parkpos, "radius", wdrx::format("{:.1f}", stand.radius * nmToMetres)) && ok;
  }
  if (stand.cargo_change) {
    ok = lf_append(parkpos, "cargo_change", "true") && ok;
    ok = lf_append(parkpos, "cargo", lf_boolText(stand.cargo)) && ok;
  }
  return ok;
}

// The hh text of an option: one run as "a" or "a:b", a set with gaps as its comma list, so
// that nothing learned is left out; none for the empty set.
std::optional<std::string> lf_hoursText(HalfHourSet hours) {
  if (auto run = gf_bitset2hours(hours)) return run;
  return gf_bitsetSlotList(hours);
}

bool lf_appendOption(pugi::xml_node parkpos, const StandOption& option) {
  const auto hours = lf_hoursText(option.hours);
  if (!hours) {
    gf_logMarked(wdrx::format("bit set problem: {} {} {}", option.reg, option.cs1,
                              gf_aimoText(option.codes)));
    return true;
  }
  // An option needs something that names its aircraft when it is read back.
  if (option.reg.empty() && (option.codes.fromDbase ||
                             (option.codes.airlineId == 0 && option.codes.modelId == 0))) {
    return true;
  }
  pugi::xml_node opt = parkpos.append_child("opt");
  if (!opt) return false;
  bool ok = lf_append(opt, "reg", option.reg);
  if (!option.codes.fromDbase) {
    ok = lf_append(opt, "airl", airlineCodes[option.codes.airlineId]) && ok;
    ok = lf_append(opt, "type", modelCodes[option.codes.modelId]) && ok;
  }
  if (!option.real) ok = lf_append(opt, "soft", "true") && ok;
  ok = lf_append(opt, "day", std::to_string(option.day)) && ok;
  ok = lf_append(opt, "hh", *hours) && ok;
  if (!option.cs1.empty() || !option.cs2.empty()) {
    ok = lf_append(opt, "cs", option.cs2.empty() ? option.cs1 : option.cs1 + ":" + option.cs2) && ok;
  }
  if (option.cpl) ok = lf_append(opt, "cpl", "true") && ok;
  return ok;
}

bool lf_appendStand(pugi::xml_node parkpositions, const Stand& stand, int mode) {
  pugi::xml_node parkpos = parkpositions.append_child("parkpos");
  if (!parkpos || !lf_append(parkpos, "id", stand.name)) return false;
  if (mode == apfModeGenerated) return lf_appendFullStand(parkpos, stand);
  bool ok = true;
  // A handmade file is read whole, so every stand of it carries its full set; a learned file
  // only what the airport file lacks.
  if (stand.manual || apfHandmade) {
    ok = lf_appendFullStand(parkpos, stand);
  } else if (stand.radius_change || stand.cargo_change) {
    ok = lf_appendStandChanges(parkpos, stand);
  }
  for (const StandOption& option : stand.options) ok = lf_appendOption(parkpos, option) && ok;
  return ok;
}

}  // namespace

// ---------------------------------------------------------------- reading

pugi::xml_node gf_apfSection(const pugi::xml_node& document, const char* name) {
  const pugi::xml_node root = document.child("root");
  return (root ? root : document).child(name);
}

void gf_readParkPositions(const pugi::xml_node& document, std::vector<Stand>& table) {
  const pugi::xml_node parkpositions = gf_apfSection(document, "parkpositions");
  if (!parkpositions) return;
  std::unordered_set<std::string> seen;
  seen.reserve(512);
  int count = 0;
  for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
    ++count;
    const pugi::xml_attribute id = parkpos.attribute("id");
    if (!id) {
      throw tql::UserErrorException(
          missingIdCode, wdrx::format("Parking position #{} has no '{}' attribute.", count, "id"));
    }
    std::string name = gf_trimSpaces(id.value());
    if (name.empty()) {
      throw tql::UserErrorException(
          missingIdCode, wdrx::format("Stand #{} has empty '{}' attribute.", count, "id"));
    }
    if (!seen.insert(name).second) {
      throw tql::UserErrorException(duplicateIdCode,
                                    wdrx::format("Stand '{}' appears more than once.", name));
    }
    gf_readStand(parkpos, std::move(name), 1, table);
  }
}

bool gf_readStand(const pugi::xml_node& parkpos, std::string name, std::uint32_t source,
                  std::vector<Stand>& table) {
  StandPosition position;
  position.latitude = parkpos.attribute("latitude").as_double(0.0);
  position.longitude = parkpos.attribute("longitude").as_double(0.0);
  if (!lf_validPosition(position.latitude, position.longitude)) {
    gf_logMarked(wdrx::format("stand {} has no valid lat/lon", name));
    return false;
  }
  const int type = parkpos.attribute("type").as_int(0);
  if (type < 0 || type > highestParkingType) {
    gf_logMarked(wdrx::format("stand {} has an invalid type {}, skipped", name, type));
    return false;
  }
  const std::optional<double> radius = lf_radiusMetres(parkpos);
  if (!radius) {
    gf_logMarked(wdrx::format("stand {} has an invalid radius '{}', skipped", name,
                              parkpos.attribute("radius").as_string("")));
    return false;
  }
  const double heading = parkpos.attribute("heading").as_double(0.0);
  position.heading = std::isfinite(heading) ? heading * degToRad : 0.0;
  const bool cargo = type == 0 ? parkpos.attribute("cargo").as_bool(false) : lf_isCargoType(type);
  const bool ramp = type == 0 ? parkpos.attribute("ramp").as_bool(false) : lf_isRampType(type);
  const bool heli = parkpos.attribute("heli").as_bool(false);

  std::vector<StandOption> options;
  options.reserve(static_cast<std::size_t>(
      std::distance(parkpos.children("opt").begin(), parkpos.children("opt").end())));
  std::uint32_t number = 1;
  for (const pugi::xml_node opt : parkpos.children("opt")) {
    const char* hh = opt.attribute("hh").as_string("");
    if (*hh == '\0') continue;
    OptRead read = lf_readOpt(opt);
    if (!lf_validDay(name, opt, read.day)) continue;
    read.hours = gf_hours2bitset(hh);
    options.push_back(lf_makeOption(std::move(read), number++, source));
  }
  options.shrink_to_fit();
  table.emplace_back(std::move(options), std::move(name), position, *radius,
                     static_cast<std::uint16_t>(type), cargo, ramp, heli);
  return true;
}

AircraftCodes lf_readOptionCodes(const pugi::xml_node& opt) {
  AircraftCodes codes;
  codes.airlineId = gf_airlineId(opt.attribute("airl").as_string(""));
  codes.modelId = gf_modelId(opt.attribute("type").as_string(""));
  return codes;
}

OptionIdentity lf_readOptionIdentity(const pugi::xml_node& opt) {
  OptionIdentity identity;
  try {
    const std::string_view cs = opt.attribute("cs").as_string("");
    const std::size_t colon = cs.find(':');
    identity.cs1 = std::string(cs.substr(0, colon));
    if (colon != cs.npos) identity.cs2 = std::string(cs.substr(colon + 1));
    const std::string_view reg = opt.attribute("reg").as_string("");
    std::optional<AircraftCodes> found;
    if (!reg.empty()) found = gf_findRegistration(reg);
    identity.codes = found ? *found : lf_readOptionCodes(opt);
  } catch (const std::exception&) {
    identity = OptionIdentity{};
  }
  return identity;
}

bool lf_readLearnedStand(const std::string& name, const pugi::xml_node& parkpos,
                         bool optionsDisabled, Stand& stand) {
  if (name != stand.name) return false;
  if (parkpos.attribute("radius_change").as_bool(false)) {
    if (const std::optional<double> radius = lf_radiusMetres(parkpos)) {
      stand.radius = *radius * metresToNm;
      stand.radius_change = 1;
    } else {
      gf_logMarked(wdrx::format("learned {}: invalid radius '{}' ignored", name,
                                parkpos.attribute("radius").as_string("")));
    }
  }
  if (parkpos.attribute("cargo_change").as_bool(false)) {
    stand.cargo = parkpos.attribute("cargo").as_bool(false) ? 1 : 0;
    stand.cargo_change = 1;
  }
  if (optionsDisabled) return true;

  std::uint32_t next = 1;
  for (const StandOption& option : stand.options) next = std::max(next, option.number + 1);
  for (const pugi::xml_node opt : parkpos.children("opt")) {
    OptRead read = lf_readOpt(opt);
    read.hours = gf_hours2bitset(opt.attribute("hh").as_string(""));
    if (read.hours.none()) {
      gf_logMarked("empty bit set");
      continue;
    }
    if (!lf_validDay(name, opt, read.day)) continue;
    StandOption candidate = lf_makeOption(std::move(read), 0, 0);
    const bool known = std::any_of(stand.options.begin(), stand.options.end(),
                                   [&](const StandOption& o) { return lf_sameUse(o, candidate); });
    if (known) {
      const auto slots = gf_bitsetSlotList(candidate.hours);
      gf_logMarked(wdrx::format("learned {}: day:{} {} {} cs:{} reg:{} already in airport file",
                                name, candidate.day, slots ? *slots : "'empty hrs'",
                                gf_aimoText(candidate.codes), candidate.cs1, candidate.reg));
      continue;
    }
    candidate.number = next++;
    stand.options.push_back(std::move(candidate));
  }
  return true;
}

// ---------------------------------------------------------------- writing

bool gf_writeApfHeader(pugi::xml_node root, const ApfData& data, int mode) {
  pugi::xml_node parameters = root.append_child("parameters");
  if (!parameters) return false;
  auto text = [&](const char* name, const std::string& value) {
    return gf_appendXmlStringParameter(parameters, name, value);
  };
  auto number = [&](const char* name, std::int64_t value) {
    return gf_appendXmlStringParameter(parameters, name, wdrx::format("{}", value));
  };
  bool ok = text("icao", data.icao.str());
  ok = ok && text("airport_name", data.airport_name);
  ok = ok && text("publisher", data.publisher);
  if (apfHandmade) ok = ok && text("handmade", "true");
  if (apfHandmade || mode == apfModeGenerated) ok = ok && number("altitude", data.altitude);
  if (mode == apfModeGenerated) ok = ok && number("num_parkpos", static_cast<std::int64_t>(data.stands.size()));
  if (apfHandmade && data.Qf_real >= 0) ok = ok && number("Qf_real", data.Qf_real);
  if (apfHandmade && data.Qf_soft >= 0) ok = ok && number("Qf_soft", data.Qf_soft);
  if (data.publisher.empty()) ok = ok && text("BGLpath", data.BGLpath);
  if (mode == apfModeLearned) {
    // MAX_FIT as the step it holds, so that a value read from a file is written back unchanged.
    ok = ok && gf_appendXmlIntParameter(parameters, RANGE.name, RANGE.value.load());
    ok = ok && gf_appendXmlBoolParameter(parameters, AUTO_RANGE.name, AUTO_RANGE.value.load());
    ok = ok && gf_appendXmlBoolParameter(parameters, WEEK.name, WEEK.value.load());
    ok = ok && gf_appendXmlBoolParameter(parameters, PARK_SOFT.name, PARK_SOFT.value.load());
    ok = ok && gf_appendXmlIntParameter(parameters, parking_percentage.name, parking_percentage.value.load());
    ok = ok && gf_appendXmlBoolParameter(parameters, INITIAL_LOAD_ONLY.name, INITIAL_LOAD_ONLY.value.load());
    ok = ok && gf_appendXmlIntParameter(parameters, MAX_FIT.name, MAX_FIT.value.load());
    ok = ok && gf_appendXmlIntParameter(parameters, MAX_LIVE_SEL.name, MAX_LIVE_SEL.value.load());
  }
  return ok;
}

bool gf_saveApf(const ApfData& data, const std::filesystem::path& path, int mode, int simNumber,
                const pugi::xml_node& keptStands) {
  try {
    pugi::xml_document document;
    XmlMetaInfo meta;
    meta.version = programVersion.text();
    meta.sim = simNumber;
    if (!gf_writeXmlMeta(document, meta)) return false;
    pugi::xml_node root = document.child("root");
    if (!root) root = document.append_child("root");
    if (!root || !gf_writeApfHeader(root, data, mode)) return false;
    pugi::xml_node parkpositions = root.append_child("parkpositions");
    if (!parkpositions) return false;
    for (const Stand& stand : data.stands)
      if (!lf_appendStand(parkpositions, stand, mode)) return false;
    for (const pugi::xml_node kept : keptStands.children("parkpos"))
      if (!parkpositions.append_copy(kept)) return false;
    if (path.has_parent_path()) {
      std::error_code ec;
      std::filesystem::create_directories(path.parent_path(), ec);
    }
    const FileWrite written = gf_replaceFile(path, [&document](const std::filesystem::path& temporary) {
      return gf_saveXmlWithDeclaration(document, temporary);
    });
    if (written.ok) return true;
    gf_logMarked(wdrx::format("{}: could not write {}: {}", "gf_saveApf", gf_pathToUtf8(path),
                              written.error));
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "gf_saveApf", e.what()));
  }
  return false;
}
