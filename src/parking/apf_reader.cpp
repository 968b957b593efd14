// The park airport's file, read into standTable and the airport-file state.
#include "parking/apf_reader.hpp"

#include <cmath>
#include <exception>
#include <filesystem>
#include <optional>

#include <pugixml.hpp>

#include "airports/park_airport_state.hpp"
#include "config/parameters_store.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "foundation/xml_meta.hpp"
#include "parking/airport_settings.hpp"
#include "parking/apf_format.hpp"
#include "parking/apf_location.hpp"
#include "parking/apf_state.hpp"
#include "parking/learned_files.hpp"
#include "parking/quality.hpp"
#include "parking/stand.hpp"
#include "traffic/udp_reader.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int missingParameterCode = 65;

std::int32_t lf_percentFromFile(int value) { return value < 0 ? 0 : value > 100 ? 100 : value; }

void lf_numberStands() {
  std::uint32_t number = 0;
  for (Stand& stand : standTable) stand.number = ++number;
}

// t is a neighbour of s when their radii overlap the distance between them with 10 % to spare.
// No distance is shorter than the latitude difference (60 nm a degree, a hair less against
// rounding), which rules out most pairs without the great-circle formula.
void lf_linkNeighbours() {
  for (Stand& stand : standTable) {
    stand.neighbours.clear();
    for (const Stand& other : standTable) {
      if (&other == &stand) continue;
      const double radii = stand.radius + other.radius;
      if (1.1 * std::fabs(stand.latitude - other.latitude) * 59.9999 >= radii) continue;
      const double distance = gf_distanceNm({stand.latitude, stand.longitude},
                                            {other.latitude, other.longitude});
      if (radii > 1.1 * distance) stand.neighbours.push_back(other.number);
    }
    stand.neighbours.shrink_to_fit();
  }
}

struct HeaderExtras {
  std::optional<std::string> version;
  std::optional<bool> facilities;
};

HeaderExtras lf_readHeader(const pugi::xml_document& document) {
  HeaderExtras extras;
  rtTrafficWeek.store(std::max(0, gf_findXmlIntParameter(document, "RT_traffic_week").value_or(0)));
  apfHeader.publisher = gf_findXmlStringParameter(document, "publisher").value_or("");
  extras.version = gf_findXmlStringParameter(document, "version");
  extras.facilities = gf_findXmlBoolParameter(document, "Facilities");
  const std::optional<int> altitude = gf_findXmlIntParameter(document, "altitude");
  if (!altitude) {
    throw tql::UserErrorException(missingParameterCode,
                                  wdrx::format("Parameter {} not found", "altitude"));
  }
  apfHeader.altitude = *altitude;
  parkAirportAltitude = static_cast<float>(*altitude);
  apfHeader.airport_name = gf_findXmlStringParameter(document, "airport_name").value_or("");
  return extras;
}

void lf_logSummary(const std::string& name, const HeaderExtras& extras) {
  gf_log(wdrx::format("Airport file read from '{}' for {}",
                      apfHandmade ? gf_pathToUtf8(apfLearnedPath) : name, apfHeader.airport_name));
  airportBandPublisher.store(apfHeader.publisher);
  airportBandHandmade.store(apfHandmade);
  gf_repaintAirportBand();
  auto line = [](const char* label, const auto& value) {
    gf_logIndented(wdrx::format("{:24}: {}", label, value));
  };
  line("publisher", apfHeader.publisher);
  if (extras.version) line("version", *extras.version);
  gf_logIndented(wdrx::format("{:24}: {} ft", "altitude", apfHeader.altitude));
  line("num_parkpos", standTable.size());
  if (extras.facilities) line("Facilities", *extras.facilities);
  line("quality factor", gf_formatQuality());
  line("RT traffic week", rtTrafficWeek.load());
}

std::string lf_readApf(const std::string& name) {
  // Nothing of the airport read before stays in force while this one is read.
  apfLearnedPath.clear();
  lf_forgetLearnedFile();
  parkAirportElevation.reset();
  trafficReader.setFieldElevation(std::nullopt);
  const IcaoCode code = parkAirportCode.load();
  if (code.empty()) return wdrx::format("{}: no park airport set", "gf_readApf");

  fs::path file = gf_localApfPath(name);
  std::string fileText = name;
  if (file.empty()) {
    if (name.starts_with("airports")) return wdrx::format("{}: refused to load", name);
    if (std::string error = gf_downloadApf(name, parkAirportDownload); !error.empty()) return error;
    file = parkAirportDownload;
    fileText = gf_pathToUtf8(file);
  }

  apfHandmade = false;
  if (airportFileDisplay.disallowNowButton) airportFileDisplay.disallowNowButton();
  pugi::xml_document document;
  if (!document.load_file(file.c_str())) return wdrx::format("{}: could not load file: {}", name, fileText);
  if (!gf_readXmlMeta(document)) return wdrx::format("{}: refused to load", name);

  const HeaderExtras extras = lf_readHeader(document);
  gf_readParkPositions(document);

  // Factors come from this file (or its learned file), never from the airport read before.
  const auto real = gf_findXmlIntParameter(document, "Qf_real");
  const auto soft = gf_findXmlIntParameter(document, "Qf_soft");
  apfQuality = real && soft ? QualityPair{lf_percentFromFile(*real), lf_percentFromFile(*soft)}
                            : QualityPair{};

  gf_takeUserSettingsSnapshot();
  apfLearnedPath = gf_learnedFileLocation(name, apfHeader.publisher, code);
  std::error_code ec;
  if (apfLearnedPath.empty() || !fs::exists(apfLearnedPath, ec)) {
    gf_logFlush("learned does not exist");
    gf_applyAirportDefaults(apfQuality, code);
  } else {
    lf_readLearned(apfLearnedPath, apfHeader.airport_name);
    apfQuality = gf_airportQualityFactors();
    if (apfHandmade) gf_log("A handmade airport file overruled the archived file!");
  }

  standCount.store(static_cast<std::uint32_t>(standTable.size()));
  gf_repaintAirportBand();
  lf_numberStands();
  lf_linkNeighbours();
  lf_logSummary(name, extras);

  airportBandQuality.store(gf_formatQuality());
  gf_repaintAirportBand();
  learnedDirty.store(true);
  if (airportFileDisplay.enableFlushStatic) airportFileDisplay.enableFlushStatic(true);
  parkAirportElevation = static_cast<double>(parkAirportAltitude);
  trafficReader.setFieldElevation(parkAirportElevation);
  gf_repaintAirportBand();
  return standTable.empty() ? "no stands found" : "";
}

}  // namespace

std::string gf_readApf(const std::string& name) {
  if (name.empty()) return wdrx::format("{}: xml is empty", "gf_readApf");
  try {
    return lf_readApf(name);
  } catch (const tql::UserErrorException&) {
    throw;
  } catch (const std::exception& e) {
    return wdrx::format("{}: {}", "gf_readApf", e.what());
  }
}
