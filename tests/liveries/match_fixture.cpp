#include "match_fixture.hpp"

#include <sstream>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/reference_db.hpp"
#include "aircraft/registrations.hpp"
#include "config/settings.hpp"
#include "encrypt/encrypt.hpp"
#include "foundation/paths.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/livery_tables.hpp"
#include "liveries/regcode_tables.hpp"
#include "simlink/ai_creation.hpp"

namespace match_test {

void setReferenceData() {
  wdrx::testing::resetReferenceData();
  gf_airlineId("");
  gf_modelId("");
  knownModelCodes = {"A319", "A320", "A321", "B738", "B744", "C172", "P28A", "C25A", "EC35", "E190", "CRJ9", "F16"};
  icaoAirlineCodes = {"BAW", "DLH", "CLH", "KLM", "ZZZ", "FDX", "UAL", "SKW"};
  largeModels = {gf_modelId("A319"), gf_modelId("A320"), gf_modelId("A321"), gf_modelId("B738"),
                 gf_modelId("E190"), gf_modelId("CRJ9")};
  heavyModels = {gf_modelId("B744")};
  buzjetModels = {gf_modelId("C25A")};
  rotorcraftModels = {gf_modelId("EC35")};
  highPerfModels = {gf_modelId("F16")};
  similarTypeGroups = {{"A319", "A320", "A321"}, {"C172", "P28A"}};
  prefixGroupLists = {{"D-", "G-", "OE-"}};
  lf_buildPrefixGroups();
  modelFixesActive = true;
}

LiveryData livery(const std::string& airline, const std::string& op, const std::string& model,
                  const std::string& title, const std::string& registration, bool cargo) {
  return LiveryData{title, registration,
                    AircraftCodes{gf_airlineId(airline), gf_airlineId(op), gf_modelId(model),
                                  static_cast<std::uint8_t>(cargo ? 1 : 0), 0},
                    1};
}

void processLiveries(std::vector<LiveryData> liveries) {
  scannedLiveries.assign(liveries.begin(), liveries.end());
  std::filesystem::create_directories("output/info");
  lf_writeLiveriesScanned();
  gf_clearLiveryTables();
  gf_processScannedLiveries();
}

LiveAc aircraft(const std::string& airline, const std::string& op, const std::string& model,
                const std::string& registration, bool cargo) {
  LiveAc ac;
  ac.codes = AircraftCodes{gf_airlineId(airline), gf_airlineId(op), gf_modelId(model),
                           static_cast<std::uint8_t>(cargo ? 1 : 0), 0};
  ac.registration = registration;
  ac.category = gf_modelCategory(ac.codes.modelId);
  ac.callsign = airline + "123";
  ac.hexid = 0x400000;
  return ac;
}

void writeAigRegcodes(const std::string& records) {
  const std::string xml =
      R"(<?xml version="1.0"?><root><meta><info name="author" value="Wendrix_P3D"/>)"
      R"(<info name="copyright" value="(c) test"/><info name="sim" value="3"/></meta><aig>)" +
      records + "</aig></root>";
  wdrx::testing::writeFile("input/AIG-regcodes.enc", wdrx::encrypt::encryptText(xml));
}

void writeUserRegcodes(const std::string& name, const std::string& lines) {
  wdrx::testing::writeFile(std::filesystem::path("input/my_regcodes") / name, lines);
}

MatchTest::MatchTest() {
  setReferenceData();
  liveriesProcessed = false;
  lf_emptyLiveryTables();
  scannedLiveries.clear();
  gf_clearAcTables();
  creationRequests.clear();
  failedLiveries.clear();
  notCreatedTexts.clear();
  matchesPerStep.fill(0);
  MATCHING_DEPTH.value = 4;
  RANDOM.value = false;
  LIGHT_AIRCRAFT.value = true;
  HIGH_PERF_AIRCRAFT.value = true;
  HELICOPTERS.value = true;
  std::filesystem::create_directories("input");
  std::filesystem::create_directories("output/info");
  std::filesystem::create_directories(dataFolder);
}

MatchTest::~MatchTest() {
  lf_emptyLiveryTables();
  liveriesProcessed = false;
  gf_clearAcTables();
  failedLiveries.clear();
  notCreatedTexts.clear();
  RANDOM.value = true;
  wdrx::testing::resetReferenceData();
}

std::vector<std::string> MatchTest::newLogLines() {
  std::istringstream in(log.text());
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  std::vector<std::string> fresh(lines.begin() + static_cast<std::ptrdiff_t>(std::min(logRead_, lines.size())),
                                 lines.end());
  logRead_ = lines.size();
  return fresh;
}

}  // namespace match_test
