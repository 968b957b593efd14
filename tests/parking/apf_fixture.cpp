#include "parking/apf_fixture.hpp"

#include <algorithm>
#include <sstream>

#include "aircraft/registrations.hpp"
#include "airports/airport_db.hpp"
#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "parking/apf_state.hpp"
#include "parking/learned_files.hpp"
#include "parking/slot_sets.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"

namespace apf_test {

std::string metaXml(const std::string& version) {
  return wdrx::format(R"x(<meta><info name="author" value="Wendrix_P3D"/><info name="version" value="{}"/>)x"
                      R"x(<info name="copyright" value="(c)"/><info name="sim" value="3"/></meta>)x",
                      version);
}

std::string apfXml(const std::vector<std::pair<std::string, std::string>>& parameters,
                   const std::string& parkpositions, const std::string& version) {
  std::string text = "<?xml version=\"1.0\"?>\n<root>" + metaXml(version) + "<parameters>";
  for (const auto& [name, value] : parameters)
    text += wdrx::format(R"(<parameter name="{}" value="{}"/>)", name, value);
  return text + "</parameters><parkpositions>" + parkpositions + "</parkpositions></root>\n";
}

std::string parkpos(const std::string& id, double latitude, double longitude,
                    const std::string& attributes, const std::string& children) {
  return wdrx::format(R"(<parkpos id="{}" latitude="{}" longitude="{}" {}>{}</parkpos>)", id,
                      latitude, longitude, attributes, children);
}

StandOption makeOption(const std::string& reg, std::uint32_t day, const std::string& hh,
                       std::uint32_t number) {
  StandOption option;
  option.reg = reg;
  option.day = day;
  option.hours = gf_hours2bitset(hh);
  option.number = number;
  return option;
}

void addAirport(const std::string& icao, double latitude, double longitude, int stands) {
  Airport airport;
  airport.icao = IcaoCode(icao);
  airport.iata = noIataCode;
  airport.latitude = latitude;
  airport.longitude = longitude;
  airport.stands = stands;
  airportTable.push_back(airport);
  std::sort(airportTable.begin(), airportTable.end(),
            [](const Airport& a, const Airport& b) { return a.icao < b.icao; });
  airportIndex.insert(airport.icao);
}

AircraftCodes addRegistration(const std::string& registration, const std::string& airline,
                              const std::string& model, bool cargo) {
  AircraftCodes codes;
  codes.airlineId = gf_airlineId(airline);
  codes.modelId = gf_modelId(model);
  codes.cargo = cargo ? 1 : 0;
  codes.fromDbase = 1;
  dbaseRecords.push_back({registration, codes});
  lf_sortDbaseRecords();
  return codes;
}

void setParkAirport(const std::string& icao) { parkAirportCode.store(IcaoCode(icao)); }

void resetAll() {
  airportFileDisplay = {};
  standTable.clear();
  apfHeader = {};
  apfHandmade = false;
  apfQuality = {};
  rtTrafficWeek.store(0);
  parkAirportAltitude = 0.0f;
  parkAirportElevation.reset();
  standCount.store(0);
  apfLearnedPath.clear();
  learnedUpdateCount.store(0);
  gf_resetLearnedUpdateCount();
  learnedDirty.store(false);
  airportBandPublisher.store("");
  airportBandQuality.store("");
  airportBandHandmade.store(false);
  calcCallsigns.clear();
  lf_forgetLearnedFile();
  parkAirportCode.store(IcaoCode{});
  currentWeekSlot.store(0);
  airportTable.clear();
  airportIndex.clear();
  dbaseRecords.clear();
  for (CheckBoxParameter* p : {&AUTO_RANGE, &WEEK, &PARK_SOFT, &INITIAL_LOAD_ONLY})
    p->value.store(p->defaultValue);
  for (IntParameter* p : std::initializer_list<IntParameter*>{&MAX_LIVE_SEL, &MAX_FIT, &RANGE, &parking_percentage})
    p->value.store(p->defaultValue);
  AMAX_FIT_FL.value.store(AMAX_FIT_FL.defaultValue);
  gf_clearError();
}

ApfTest::ApfTest() {
  resetAll();
  gf_setSettingsView(&view);
  gf_setSettingsFollowUps(&view);
}

ApfTest::~ApfTest() {
  gf_setSettingsView(nullptr);
  gf_setSettingsFollowUps(nullptr);
  resetAll();
}

std::vector<std::string> ApfTest::logLinesWith(const std::string& text) const {
  std::vector<std::string> lines;
  std::istringstream in(log.text());
  for (std::string line; std::getline(in, line);)
    if (line.find(text) != std::string::npos) lines.push_back(line);
  return lines;
}

}  // namespace apf_test
