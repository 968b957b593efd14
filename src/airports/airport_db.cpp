#include "airports/airport_db.hpp"

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>

#include <pugixml.hpp>

#include "aircraft/remove_on_exit.hpp"
#include "foundation/data_files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"

std::vector<Airport> airportTable;
std::unordered_set<IcaoCode> airportIndex;
std::atomic<bool> airportsRead{false};

namespace {

constexpr int airportsErrorCode = 88;
constexpr std::size_t expectedAirports = 15000;

bool lf_icaoLess(const Airport& a, const Airport& b) { return a.icao < b.icao; }

void lf_storeAirport(pugi::xml_node element, const IcaoCode& icao) {
  if (!element.attribute("la") || !element.attribute("lo")) {
    gf_logMarked(wdrx::format("Missing latLons for airport '{}'", icao));
    return;
  }
  if (!element.attribute("a")) {
    gf_logMarked(wdrx::format("Missing alt for airport '{}'", icao));
    return;
  }
  pugi::xml_attribute stands = element.attribute("s");
  if (!stands) gf_logMarked(wdrx::format("Missing stands for airport '{}'", icao));
  pugi::xml_attribute iata = element.attribute("i");
  try {
    Airport airport;
    airport.icao = icao;
    airport.stands = stands.as_int(0);
    airport.altitude = element.attribute("a").as_float(0.0f);
    airport.latitude = element.attribute("la").as_double(0.0);
    airport.longitude = element.attribute("lo").as_double(0.0);
    airport.iata = iata ? IataCode(iata.as_string("")) : noIataCode;
    airportTable.push_back(airport);
    airportIndex.insert(icao);
  } catch (const std::exception& e) {
    gf_log(wdrx::format("Error storing airport '{}' '{}': {}", icao, iata.as_string(""), e.what()));
  }
}

// `name` names the XML in the errors: the file's path, or a text's description.
void lf_readAirportsDocument(const pugi::xml_document& document, pugi::xml_parse_result parsed,
                             const std::string& name) {
  if (!parsed) throw std::runtime_error(wdrx::format("{} not loaded: {}", name, parsed.description()));
  pugi::xml_node airports = document.child("root").child("airports");
  if (!airports) throw std::runtime_error(wdrx::format("Missing <airports> root in: {}", name));
  for (pugi::xml_node element : airports.children("ap")) {
    // A code the table cannot hold costs that airport, not the database.
    const char* code = element.attribute("c").as_string("");
    std::optional<IcaoCode> icao;
    try {
      icao.emplace(code);
    } catch (const std::exception& e) {
      gf_log(wdrx::format("Error storing airport '{}' '{}': {}", code,
                          element.attribute("i").as_string(""), e.what()));
      continue;
    }
    lf_storeAirport(element, *icao);
  }
  std::sort(airportTable.begin(), airportTable.end(), lf_icaoLess);
  gf_log(wdrx::format("{:5} airports read", airportTable.size()));
}

// A failed read leaves nothing half-filled behind, so that a later run can try again.
void lf_clearAirports() {
  airportTable.clear();
  airportIndex.clear();
}

// Fills the table from the loaded XML; a failure leaves it empty and throws user error 88.
bool lf_fillAirportTable(const pugi::xml_document& document, pugi::xml_parse_result parsed,
                         const std::string& name) {
  if (airportTable.capacity() < expectedAirports) airportTable.reserve(expectedAirports);
  try {
    lf_readAirportsDocument(document, parsed, name);
  } catch (const std::exception& e) {
    lf_clearAirports();
    throw tql::UserErrorException(airportsErrorCode, e.what());
  }
  airportTable.shrink_to_fit();
  airportsRead.store(true);
  return !airportTable.empty();
}

}  // namespace

bool gf_readAirports() {
  if (airportsRead.load()) return !airportTable.empty();
  const std::filesystem::path& encPath = paths::airportsEnc;
  const std::filesystem::path& xmlPath = paths::airportsXml;
  RemoveOnExit removeXml(xmlPath, "gf_readAirports");
  try {
    gf_streamDecrypt(encPath, xmlPath);  // a failure leaves no XML file, and loading it fails
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception : {}", "gf_readAirports", e.what()));
    throw;
  }
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(xmlPath.c_str());
  return lf_fillAirportTable(document, parsed, gf_pathToUtf8(xmlPath));  // removeXml removes the XML
}

bool gf_readAirportsText(std::string_view xml) {
  lf_clearAirports();
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size());
  return lf_fillAirportTable(document, parsed, "airports text");
}

bool gf_isKnownAirport(const IcaoCode& code) { return airportIndex.contains(code); }

std::string gf_airportDisplayName(const IcaoCode& icao, const IataCode& iata) {
  std::string text = icao.empty() ? std::string("?") : icao.str();
  if (!iata.empty() && iata != noIataCode) text += wdrx::format(" ({})", iata);
  return text;
}

const Airport* gf_findAirport(const IcaoCode& code) {
  Airport key;
  key.icao = code;
  auto it = std::lower_bound(airportTable.begin(), airportTable.end(), key, lf_icaoLess);
  return it != airportTable.end() && it->icao == code ? &*it : nullptr;
}

namespace wdrx::testing {
void resetAirports() {
  airportTable = {};
  airportIndex.clear();
  airportsRead.store(false);
}
}  // namespace wdrx::testing
