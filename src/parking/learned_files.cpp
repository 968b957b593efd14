// Reading and saving the park airport's learned file.
#include "parking/learned_files.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "airports/park_airport_state.hpp"
#include "config/parameters_store.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/time_text.hpp"
#include "foundation/version.hpp"
#include "foundation/xml_meta.hpp"
#include "parking/airport_settings.hpp"
#include "parking/apf_format.hpp"
#include "parking/apf_location.hpp"
#include "parking/apf_state.hpp"
#include "parking/quality.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "traffic/udp_reader.hpp"

namespace fs = std::filesystem;

std::unordered_set<std::string> calcCallsigns;

namespace {

// Learned stands of the park airport that could not be used (the airport file no longer has
// them, or a manual stand was refused): kept as they were read, so that a later save does not
// lose what was learned or made there.
pugi::xml_document unmatchedLearnedStands;

constexpr VersionData firstVersionWithCurrentOptions{11, 10, 0};

Stand* lf_standNamed(const std::string& name) {
  auto it = std::find_if(standTable.begin(), standTable.end(),
                         [&](const Stand& stand) { return stand.name == name; });
  return it == standTable.end() ? nullptr : &*it;
}

// A learned file this program cannot use is kept beside it as *0.xml before the next save
// replaces it.
void lf_keepUnusable(const fs::path& path, const std::string& why) {
  gf_save1GenerationOf(path);
  gf_logMarked(wdrx::format("{} found, but could not be loaded, saved as *.0.xml: {}",
                            gf_pathToUtf8(path), why));
}

// The handmade stands are read aside and replace the airport file's only when all of them
// could be read.
void lf_readHandmade(const pugi::xml_document& document, const fs::path& path) {
  std::vector<Stand> stands;
  try {
    gf_readParkPositions(document, stands);
  } catch (const std::exception& e) {
    lf_keepUnusable(path, e.what());
    return;
  }
  apfHandmade = true;
  lf_clearStands();
  for (Stand& stand : stands) standTable.push_back(std::move(stand));
  gf_logIndented(wdrx::format("{:24}: {}", "handmade",
                              gf_findXmlStringParameter(document, "handmade").value_or("")));
}

// False when the stand was refused.
bool lf_readManualStand(const pugi::xml_node& parkpos, const std::string& id, const fs::path& path,
                        bool old) {
  if (lf_standNamed(id)) {
    gf_logMarked(wdrx::format("manually created standid {} already exists in {}", id,
                              gf_pathToUtf8(path)));
    return false;
  }
  const double latitude = parkpos.attribute("latitude").as_double(0.0);
  const double longitude = parkpos.attribute("longitude").as_double(0.0);
  const double radius = parkpos.attribute("radius").as_double(0.0);
  if (id.empty() || (std::fabs(latitude) <= 0.0001 && std::fabs(longitude) <= 0.0001) ||
      radius == 0.0) {
    gf_logMarked(wdrx::format("manually created standid {} misses correct attributes in {}", id,
                              gf_pathToUtf8(path)));
    return false;
  }
  if (!gf_readStand(parkpos, id, 0)) return false;
  Stand& stand = standTable.back();
  stand.manual = 1;
  if (old) stand.options.clear();
  return true;
}

// A stand kept as it was read; the options of an old file are dropped here as everywhere.
void lf_keepStand(const pugi::xml_node& parkpos, bool old) {
  pugi::xml_node kept = unmatchedLearnedStands.append_copy(parkpos);
  while (old && kept.child("opt")) kept.remove_child("opt");
}

void lf_mergeStands(const pugi::xml_document& document, const fs::path& path, bool old) {
  const pugi::xml_node parkpositions = gf_apfSection(document, "parkpositions");
  if (!parkpositions) return;
  for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
    const std::string id = parkpos.attribute("id").as_string("");
    if (parkpos.attribute("manual").as_bool(false)) {
      if (!lf_readManualStand(parkpos, id, path, old)) lf_keepStand(parkpos, old);
    } else if (Stand* stand = lf_standNamed(id)) {
      lf_readLearnedStand(id, parkpos, old, *stand);
    } else {
      gf_log(wdrx::format("learned stand {} in {} not found?", id, gf_pathToUtf8(path)));
      lf_keepStand(parkpos, old);
    }
  }
}

void lf_readLearnedFile(const fs::path& path, const std::string& archivedAirportName) {
  pugi::xml_document document;
  const pugi::xml_parse_result loaded = document.load_file(path.c_str());
  if (!loaded) {
    lf_keepUnusable(path, loaded.description());
    return;
  }
  gf_logFlush(wdrx::format("Read from learned airport file: '{}'", gf_pathToUtf8(path)));
  const std::optional<XmlMetaInfo> meta = gf_readXmlMeta(document);
  if (!meta) {
    lf_keepUnusable(path, "no meta block");
    return;
  }
  const bool old = VersionData(meta->version) < firstVersionWithCurrentOptions;
  if (old) {
    gf_log("\nThis learned file was created with and older WDRX version than 11.10.0,\n"
           "All flights will be cleared, except for a handmade file\n");
  }
  const std::string learnedName = gf_findXmlStringParameter(document, "airport_name").value_or("");
  if (learnedName != archivedAirportName) {
    gf_postStatus(wdrx::format("Warning: learned file airport name: '{}' differs from archived "
                               "file airport name: '{}'",
                               learnedName, archivedAirportName),
                  true);
  }
  if (airportFileDisplay.disallowNowButton) airportFileDisplay.disallowNowButton();
  lf_applyLearnedSettings(document);
  if (gf_findXmlStringParameter(document, "handmade")) {
    lf_readHandmade(document, path);
    return;
  }
  apfHandmade = false;
  lf_mergeStands(document, path, old);
}

ApfData lf_learnedData() {
  ApfData data;
  data.icao = parkAirportCode.load();
  data.airport_name = apfHeader.airport_name;
  data.publisher = apfHeader.publisher;
  data.altitude = apfHeader.altitude;
  if (apfHandmade) {
    data.stands = standTable;
    const QualityPair quality = gf_airportQualityFactors();
    data.Qf_real = quality.real;
    data.Qf_soft = quality.soft;
    return data;
  }
  for (const Stand& stand : standTable) {
    Stand copy = stand;
    lf_dropFileOptions(copy);
    if (copy.manual || !copy.options.empty() || copy.radius_change || copy.cargo_change)
      data.stands.push_back(std::move(copy));
  }
  return data;
}

}  // namespace

void lf_forgetLearnedFile() { unmatchedLearnedStands.reset(); }

void lf_readLearned(const fs::path& path, const std::string& archivedAirportName) {
  lf_forgetLearnedFile();
  try {
    lf_readLearnedFile(path, archivedAirportName);
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{}: {}", "lf_readLearned", e.what()));
  }
}

std::size_t lf_dropFileOptions(Stand& stand) {
  const auto removed = std::erase_if(stand.options, [](const StandOption& o) { return o.source == 1; });
  return static_cast<std::size_t>(removed);
}

void lf_saveAirportFile() {
  const std::string time = gf_timeOfDay();
  fs::path path = apfLearnedPath;
  try {
    const ApfData data = lf_learnedData();
    if (path.empty()) path = gf_learnedFileLocation({}, data.publisher, data.icao);
    if (path.empty()) {
      gf_logMarked(wdrx::format("{} no place for the learned file of '{}'", time, data.icao));
    } else if (gf_saveApf(data, path, apfModeLearned, metaSimNumber.load(),
                          apfHandmade ? pugi::xml_node{} : unmatchedLearnedStands.root())) {
      const std::int32_t count = learnedUpdateCount.load();
      gf_log(wdrx::format("{}{} '{}' saved with {} update{}", time, apfHandmade ? " handmade" : "",
                          gf_pathToUtf8(path), count, gf_pluralInt(count)));
    } else {
      gf_log(wdrx::format("{} saving '{}' did not succeed", time, gf_pathToUtf8(path)));
    }
  } catch (const std::exception& e) {
    gf_log(wdrx::format("{} saving '{}' did not succeed", time, gf_pathToUtf8(path)));
    gf_logMarked(wdrx::format("{} exception: {}", "lf_saveAirportFile", e.what()));
  }
  gf_resetLearnedUpdateCount();
}

void lf_snapshotCallsigns() { calcCallsigns = trafficReader.takeCallsigns(); }
