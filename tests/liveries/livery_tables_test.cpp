// The installed-livery tables built from the cache: airline keys, pax and cargo tables, model
// sets, similar models, category report and options, generic liveries, once per process.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "aircraft/reference_db.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/paths.hpp"
#include "foundation/user_error.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_tables.hpp"
#include "liveries/regcode_tables.hpp"
#include "match_fixture.hpp"
#include "simlink/ai_creation.hpp"

using match_test::aircraft;
using match_test::livery;
using match_test::processLiveries;
using Strings = std::vector<std::string>;

namespace {

class LiveryTables : public match_test::MatchTest {};

Strings titles(const TitleList* list) {
  Strings out;
  if (list) out.assign(list->begin(), list->end());
  return out;
}

const TitleList* tableTitles(std::size_t table, const std::string& key, const std::string& model) {
  const auto k = liveryTables[table].find(gf_airlineId(key));
  if (k == liveryTables[table].end()) return nullptr;
  const auto m = k->second.find(gf_modelId(model));
  return m == k->second.end() ? nullptr : &m->second;
}

Strings sorted(Strings list) {
  std::sort(list.begin(), list.end());
  return list;
}

std::vector<std::uint16_t> ids(const Strings& models) {
  std::vector<std::uint16_t> out;
  for (const std::string& m : models) out.push_back(gf_modelId(m));
  return out;
}

// Records the control updates the category report makes.
struct ViewDouble : SettingsView {
  std::vector<std::pair<std::uint16_t, bool>> enabled;
  std::vector<std::pair<std::uint16_t, bool>> checked;
  bool isWindow(const ParameterControl&) override { return true; }
  void setCheck(const ParameterControl& c, bool on) override { checked.emplace_back(c.controlId, on); }
  void enable(const ParameterControl& c, bool on) override { enabled.emplace_back(c.controlId, on); }
  void resetComboBox(const ParameterControl&) override {}
  void addComboString(const ParameterControl&, const std::string&) override {}
  void selectComboIndex(const ParameterControl&, int) override {}
  void showText(const ParameterControl&, const std::string&) override {}
};

}  // namespace

TEST_F(LiveryTables, FilesLiveriesByAirlineKeyModelAndCargo) {
  processLiveries({livery("DLH", "", "A320", "Lufthansa A320 b"), livery("DLH", "", "A320", "Lufthansa A320 a"),
                   livery("DLH", "", "A320", "Lufthansa Cargo A320", "", true),
                   livery("DLH", "CLH", "E190", "CityLine E190"), livery("FDX", "", "B744", "FedEx", "", true)});
  // Titles of one model keep the byte order of the sorted cache.
  EXPECT_EQ(titles(tableTitles(paxTable, "DLH", "A320")), (Strings{"Lufthansa A320 a", "Lufthansa A320 b"}));
  EXPECT_EQ(titles(tableTitles(cargoTable, "DLH", "A320")), (Strings{"Lufthansa Cargo A320"}));
  // An operator's livery is filed under airline + operator, not under the airline.
  EXPECT_EQ(titles(tableTitles(paxTable, "DLHCLH", "E190")), (Strings{"CityLine E190"}));
  EXPECT_FALSE(lf_hasLivery(gf_airlineId("DLH"), gf_modelId("E190")));
  EXPECT_TRUE(lf_hasLivery(gf_airlineId("DLHCLH"), gf_modelId("E190")));
  // A key enters a table only with models there.
  EXPECT_FALSE(liveryTables[paxTable].contains(gf_airlineId("FDX")));
  EXPECT_EQ(titles(tableTitles(cargoTable, "FDX", "B744")), (Strings{"FedEx"}));
  EXPECT_EQ(installedLiveries.size(), 3u);

  EXPECT_EQ(sorted(titles(&paxModelLiveries[gf_modelId("A320")])), (Strings{"Lufthansa A320 a", "Lufthansa A320 b"}));
  EXPECT_EQ(titles(&cargoModelLiveries[gf_modelId("A320")]), (Strings{"Lufthansa Cargo A320"}));
  EXPECT_FALSE(paxModelLiveries.contains(gf_modelId("B744")));

  EXPECT_EQ(lf_findLiveryTitle("CityLine E190"), "CityLine E190");
  EXPECT_TRUE(lf_findLiveryTitle("cityline e190").empty());  // exact
  EXPECT_TRUE(lf_findLiveryTitle("").empty());
  // The found title is the table's own text, not a copy.
  EXPECT_EQ(lf_findLiveryTitle("FedEx").data(), tableTitles(cargoTable, "FDX", "B744")->front().data());
  const Strings lines = newLogLines();
  for (const char* line : {"    3 airlines, 2 pax aircraft models and 2 cargo aircraft models", "No generic liveries"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
  EXPECT_EQ(liveryCount.load(), 5);
  EXPECT_TRUE(liveriesProcessed.load());
  EXPECT_TRUE(scannedLiveries.empty());
}

TEST_F(LiveryTables, SimilarModelsOnlyThoseWithLiveries) {
  similarTypeGroups = {{"A319", "A320", "A321"}, {"A320", "B738"}};
  processLiveries({livery("DLH", "", "A320", "DLH A320"), livery("KLM", "", "A321", "KLM A321"),
                   livery("BAW", "", "B738", "BAW B738"), livery("CLH", "", "A320", "CLH A320"),
                   livery("CLH", "", "A321", "CLH A321")});
  const auto similar = [](const std::string& model) {
    const auto found = similarInstalledModels.find(gf_modelId(model));
    return found == similarInstalledModels.end() ? std::vector<std::uint16_t>{} : found->second;
  };
  // A model without liveries of its own (A319) still gets its similar models.
  EXPECT_EQ(similar("A319"), ids({"A320", "A321"}));
  // A320 stands in two groups: "A320,A321" sorts before "A320,B738" and wins.
  EXPECT_EQ(similar("A320"), ids({"A321"}));
  EXPECT_EQ(similar("A321"), ids({"A320"}));
  EXPECT_EQ(similar("B738"), ids({"A320"}));
  EXPECT_EQ(similarInstalledModels.size(), 4u);
  // By airline: only models the airline lacks, with the similar models it has.
  const auto& dlh = similarModelsByAirline.at(gf_airlineId("DLH"));
  EXPECT_EQ(dlh.size(), 3u);
  EXPECT_EQ(dlh.at(gf_modelId("A319")), ids({"A320"}));
  EXPECT_EQ(dlh.at(gf_modelId("A321")), ids({"A320"}));
  EXPECT_EQ(dlh.at(gf_modelId("B738")), ids({"A320"}));
  const auto& klm = similarModelsByAirline.at(gf_airlineId("KLM"));
  EXPECT_EQ(klm.size(), 2u);
  EXPECT_EQ(klm.at(gf_modelId("A320")), ids({"A321"}));
  EXPECT_FALSE(similarModelsByAirline.contains(gf_airlineId("BAW")));
  // A model the airline has gets no entry, though it has a similar one too.
  const auto& clh = similarModelsByAirline.at(gf_airlineId("CLH"));
  EXPECT_EQ(clh.size(), 2u);
  EXPECT_EQ(clh.at(gf_modelId("A319")), ids({"A320", "A321"}));
  const Strings lines = newLogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "    4 similar model definitions"), lines.end());
}

TEST_F(LiveryTables, CategoryReportDefaultModelsAndOptions) {
  ViewDouble view;
  gf_setSettingsView(&view);
  HIGH_PERF_AIRCRAFT.value = false;
  std::vector<LiveryData> liveries{livery("DLH", "", "A320", "DLH A320"), livery("ZZZ", "", "C172", "Cessna"),
                                   livery("ZZZ", "", "P28A", "Piper"), livery("ZZZ", "", "P28A", "Piper 2"),
                                   livery("FDX", "", "P28A", "Piper cargo", "", true)};
  processLiveries(liveries);
  gf_setSettingsView(nullptr);
  const Strings lines = newLogLines();
  const auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
  EXPECT_TRUE(has("Category Light: 3 pax liveries and 1 cargo liverie"));
  // Model codes in the order of their ids.
  const bool c172First = gf_modelId("C172") < gf_modelId("P28A");
  const Strings light = c172First ? Strings{"C172", "P28A"} : Strings{"P28A", "C172"};
  EXPECT_TRUE(has("  " + light[0] + "," + light[1]));
  EXPECT_TRUE(has("Category Large: 1 pax liverie"));
  EXPECT_TRUE(has("Category Heavy: No livery found"));
  EXPECT_TRUE(has("Category HighPerf: No livery found"));
  EXPECT_TRUE(has("Category Rotorcraft: No livery found"));
  EXPECT_TRUE(has("HELICOPTERS temporarily switched off because you do not have Helicopters installed"));
  // HIGH_PERF_AIRCRAFT was off already: no line, but its box is disabled all the same.
  EXPECT_FALSE(has("HIGH_PERF_AIRCRAFT temporarily switched off because you do not have High Perf aircraft installed"));
  EXPECT_TRUE(has("Category Buzjets: No livery found"));
  EXPECT_TRUE(has("2 models have a generic livery"));
  EXPECT_FALSE(has("No generic liveries"));
  EXPECT_FALSE(HELICOPTERS.value.load());
  EXPECT_TRUE(LIGHT_AIRCRAFT.value.load());
  EXPECT_EQ(defaultLightModels, ids(light));
  EXPECT_TRUE(defaultBuzjetModels.empty());
  const std::vector<std::pair<std::uint16_t, bool>> enabled{
      {LIGHT_AIRCRAFT.controlId, true}, {HIGH_PERF_AIRCRAFT.controlId, false}, {HELICOPTERS.controlId, false}};
  EXPECT_EQ(view.enabled, enabled);
  EXPECT_EQ(view.checked, (std::vector<std::pair<std::uint16_t, bool>>{{HELICOPTERS.controlId, false}}));
  // Saved at once.
  EXPECT_NE(wdrx::testing::readFile(parametersFile).find("HELICOPTERS"), std::string::npos);
}

TEST_F(LiveryTables, CodeListsTwentyToALine) {
  for (int count : {40, 45}) {
    std::vector<LiveryData> liveries;
    largeModels.clear();
    for (int i = 0; i < count; ++i) {
      const std::string model = "M" + std::to_string(100 + i);
      largeModels.insert(gf_modelId(model));
      liveries.push_back(livery("DLH", "", model, "DLH " + model));
    }
    newLogLines();
    processLiveries(liveries);
    Strings lists;
    for (const std::string& line : newLogLines())
      if (line.starts_with("  M")) lists.push_back(line);
    ASSERT_EQ(lists.size(), count == 40 ? 2u : 3u);
    EXPECT_EQ(lists[0].substr(0, 12), "  M100,M101,");
    EXPECT_EQ(std::count(lists[0].begin(), lists[0].end(), ','), 19);  // no trailing comma
    EXPECT_EQ(lists.back().back(), count == 40 ? '9' : '4');
  }
}

TEST_F(LiveryTables, ProcessedOncePerProcessUntilReset) {
  processLiveries({livery("DLH", "", "A320", "DLH A320")});
  newLogLines();
  scannedLiveries = {livery("KLM", "", "B738", "KLM B738")};
  gf_processScannedLiveries();
  EXPECT_EQ(newLogLines(), Strings{"Processing scanned liveries skipped; already done in previous start-up"});
  EXPECT_TRUE(scannedLiveries.empty());
  EXPECT_EQ(lf_findLiveryTitle("DLH A320"), "DLH A320");

  // The check box with no aircraft about: emptied at once, built again at the next start-up.
  gf_clearLiveryTables();
  EXPECT_FALSE(liveriesProcessed.load());
  EXPECT_TRUE(installedLiveries.empty());
  EXPECT_TRUE(lf_findLiveryTitle("DLH A320").empty());
  processLiveries({livery("KLM", "", "B738", "KLM B738")});
  EXPECT_EQ(lf_findLiveryTitle("KLM B738"), "KLM B738");
  EXPECT_TRUE(lf_findLiveryTitle("DLH A320").empty());
}

// The tables are emptied only while no aircraft holds a title from them: an aircraft that
// exists keeps its title valid until the next start-up builds the tables anew.
TEST_F(LiveryTables, ResetWaitsWhileAircraftHoldTitles) {
  processLiveries({livery("DLH", "", "A320", "DLH A320")});
  LiveAc& ac = gf_appendLiveAc(aircraft("DLH", "", "A320"));
  ac.liveryTitle = lf_findLiveryTitle("DLH A320");
  gf_clearLiveryTables();
  EXPECT_FALSE(liveriesProcessed.load());
  EXPECT_EQ(ac.liveryTitle, "DLH A320");  // still a valid view (ASan would see a freed one)
  EXPECT_FALSE(installedLiveries.empty());

  gf_clearAcTables();
  creationRequests[0x400001] = lf_findLiveryTitle("DLH A320");  // a creation still pending
  gf_clearLiveryTables();
  ASSERT_FALSE(installedLiveries.empty());
  EXPECT_EQ(creationRequests[0x400001], "DLH A320");
  creationRequests.clear();

  AcBase parked = aircraft("DLH", "", "A320");
  gf_appendStaticAc(std::move(parked)).liveryTitle = lf_findLiveryTitle("DLH A320");
  gf_clearLiveryTables();
  ASSERT_FALSE(installedLiveries.empty());
  EXPECT_EQ(staticAcTable.front().liveryTitle, "DLH A320");
  gf_clearAcTables();

  // The next start-up empties the old tables before it builds.
  scannedLiveries = {livery("KLM", "", "B738", "KLM B738")};
  lf_writeLiveriesScanned();
  gf_processScannedLiveries();
  EXPECT_TRUE(lf_findLiveryTitle("DLH A320").empty());
  EXPECT_EQ(lf_findLiveryTitle("KLM B738"), "KLM B738");
}

// failedLiveries owns its texts: a title refused before a rescan stays refused and readable
// after the tables that held it are gone.
TEST_F(LiveryTables, FailedTitlesOutliveTheTables) {
  processLiveries({livery("DLH", "", "A320", "DLH A320 long enough title beyond small buffers"),
                   livery("DLH", "", "A321", "Short")});
  gf_handleCreationFailure("DLH1", lf_findLiveryTitle("DLH A320 long enough title beyond small buffers"),
                           AircraftCodes{gf_airlineId("DLH"), 0, gf_modelId("A320"), 0, 0});
  gf_handleCreationFailure("DLH2", lf_findLiveryTitle("Short"));
  gf_clearLiveryTables();
  ASSERT_TRUE(installedLiveries.empty());
  EXPECT_TRUE(failedLiveries.contains("DLH A320 long enough title beyond small buffers"));
  EXPECT_TRUE(failedLiveries.contains("Short"));
  EXPECT_EQ(notCreatedTexts, (std::set<std::string, std::less<>>{"A320 DLH"}));
}

TEST_F(LiveryTables, UnreadableCacheLeavesTheProcessingUndone) {
  std::filesystem::remove("output/LiveriesScanned.xml");
  EXPECT_THROW(gf_processScannedLiveries(), tql::UserErrorException);
  EXPECT_FALSE(liveriesProcessed.load());
}
