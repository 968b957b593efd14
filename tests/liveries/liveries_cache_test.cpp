// The cache LiveriesScanned.xml: what is written, what is read back, and when a scan is due.
#include <gtest/gtest.h>

#include <filesystem>

#include "aircraft/aircraft_codes.hpp"
#include "config/settings.hpp"
#include "foundation/user_error.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_data.hpp"
#include "liveries_fixture.hpp"
#include "runstate/run_control.hpp"

namespace fs = std::filesystem;
using wdrx::testing::readFile;
using wdrx::testing::shownPath;
using wdrx::testing::writeFile;
using livery_test::userError;

namespace {

LiveryData livery(const char* airline, const char* op, const char* model, const char* title,
                  const char* registration = "", bool cargo = false, std::uint16_t folder = 1) {
  return LiveryData{title, registration,
                    AircraftCodes{gf_airlineId(airline), gf_airlineId(op), gf_modelId(model),
                                  static_cast<std::uint8_t>(cargo ? 1 : 0), 0},
                    folder};
}

class LiveriesCache : public ::testing::Test, public livery_test::LiveryTest {};

// The body of the file without the meta block, which carries today's date.
std::string liveriesElement() {
  const std::string text = readFile(liveriesScannedFile);
  const auto start = text.find("  <liveries>");
  return start == std::string::npos ? text : text.substr(start);
}

}  // namespace

TEST_F(LiveriesCache, WritesOnlyTheAttributesThatHoldSomething) {
  metaSimNumber = 3;
  scannedLiveries = {livery("BAW", "", "A320", "BA A320"),
                     livery("DLH", "CLH", "A320", "CityLine & \"A320\"", "D-AIPA", true)};
  lf_writeLiveriesScanned();
  EXPECT_EQ(liveriesElement(),
            "  <liveries>\n"
            "    <l a=\"BAW\" m=\"A320\" t=\"BA A320\" />\n"
            "    <l a=\"DLH\" o=\"CLH\" m=\"A320\" c=\"true\" t=\"CityLine &amp; &quot;A320&quot;\" r=\"D-AIPA\" />\n"
            "  </liveries>\n"
            "</root>\n");
  const std::string text = readFile(liveriesScannedFile);
  EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <meta>"));
  EXPECT_NE(text.find("<info name=\"version\" value=\"12.5.4\" />"), std::string::npos);
  EXPECT_NE(text.find("<info name=\"sim\" value=\"3\" />"), std::string::npos);
  EXPECT_FALSE(fs::exists("output/LiveriesScanned.xml.tmp"));
  EXPECT_NE(log.text().find("2 liveries in " + shownPath("output/LiveriesScanned.xml") + "\n"), std::string::npos);
}

TEST_F(LiveriesCache, EmptyListWritesNothing) {
  lf_writeLiveriesScanned();
  EXPECT_FALSE(fs::exists(liveriesScannedFile));
}

TEST_F(LiveriesCache, RoundTripSortsAndDropsFolderNumbers) {
  scannedLiveries = {livery("KLM", "", "B738", "KLM 2"), livery("BAW", "", "A320", "BA"),
                     livery("", "", "C172", "Private"), livery("KLM", "", "B738", "KLM 1", "PH-BXA", true, 3)};
  lf_writeLiveriesScanned();
  scannedLiveries.clear();
  lf_readLiveriesScanned();
  std::vector<std::string> titles;
  for (const LiveryData& l : scannedLiveries) {
    titles.push_back(l.title);
    EXPECT_EQ(l.folderNumber, 0);
    EXPECT_EQ(l.codes.fromDbase, 0);
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"Private", "BA", "KLM 1", "KLM 2"}));
  const LiveryData& klm = *std::next(scannedLiveries.begin(), 2);
  EXPECT_EQ(klm.registration, "PH-BXA");
  EXPECT_EQ(klm.codes.cargo, 1);
  EXPECT_EQ(klm.codes.airlineId, gf_airlineId("KLM"));
  EXPECT_NE(log.text().find("    4 liveries read from " + shownPath("output/LiveriesScanned.xml") + "\n"), std::string::npos);
}

TEST_F(LiveriesCache, ReaderErrors) {
  struct Row {
    const char* content;  // nullptr: no file
    int code;
    std::string message;
  };
  const std::string head = "<?xml version=\"1.0\"?>\n<root>";
  const std::string file = shownPath("output/LiveriesScanned.xml");
  const Row rows[] = {
      {nullptr, 51, "51: File " + file + " not found"},
      {"<root><liveries><l a=\"BAW\" m=\"A320\" t=\"x\"/></liveries>", 51,
       "51: File " + file + " not found"},  // truncated
      {"<root><other/></root>", 52, "52: " + file + " does not contain a <liveries> section"},
      {"<root><liveries><l a=\"BAW\" m=\"A320\"/></liveries></root>", 999,
       "999: Missing required attribute 't' in <l>"},
      {"<root><liveries><x t=\"T\" m=\"A320\"/></liveries></root>", 999,
       "999: Missing required attribute 'a' in <x>"},
      {"<root><liveries><!-- none --></liveries></root>", 533,
       "533: " + file + " does not contain liveries"},
      {"<other/>", 533, "533: " + file + " does not contain liveries"},
  };
  for (const Row& row : rows) {
    fs::remove(liveriesScannedFile);
    if (row.content) writeFile(liveriesScannedFile, row.content);
    std::string message;
    EXPECT_EQ(userError(lf_readLiveriesScanned, message), 1) << row.message;
    EXPECT_EQ(message, row.message);
    EXPECT_FALSE(gf_liveriesCacheUsable()) << row.message;
  }
}

TEST_F(LiveriesCache, LenientAttributes) {
  writeFile(liveriesScannedFile,
            "<root><liveries><l a=\"\" m=\"C172\" t=\"Cessna\" c=\"yes\"/><any a=\"BAW\" m=\"A320\" t=\"\"/>"
            "</liveries></root>");
  EXPECT_TRUE(gf_liveriesCacheUsable());
  lf_readLiveriesScanned();
  ASSERT_EQ(scannedLiveries.size(), 2u);
  EXPECT_EQ(scannedLiveries.front().codes.airlineId, 0);
  EXPECT_EQ(scannedLiveries.front().codes.cargo, 1);
  EXPECT_EQ(scannedLiveries.back().title, "");
}

TEST_F(LiveriesCache, ScanDueWhenAskedOrWhenTheCacheIsUnusable) {
  SCAN_LIVERIES.value = false;
  EXPECT_TRUE(gf_liveryScanDue());  // missing
  writeFile(liveriesScannedFile, "<root><liveries><l a=\"BAW\" m=\"A320\" t=\"BA\"/></liveries></root>");
  EXPECT_FALSE(gf_liveryScanDue());
  SCAN_LIVERIES.value = true;
  EXPECT_TRUE(gf_liveryScanDue());
  SCAN_LIVERIES.value = false;
  const std::string whole = readFile(liveriesScannedFile);
  writeFile(liveriesScannedFile, whole.substr(0, whole.size() / 2));  // cut off by a crash
  EXPECT_TRUE(gf_liveryScanDue());
}

TEST_F(LiveriesCache, LiveryOrder) {
  // Airline text, operator text (none first), model text, title; bytewise.
  const LiveryData ordered[] = {livery("", "", "ZZZZ", "z"),       livery("BAW", "", "A320", "b"),
                                livery("BAW", "", "A320", "ba"),   livery("BAW", "", "A321", "a"),
                                livery("BAW", "CFE", "A319", "a"), livery("BAWX", "", "A319", "a"),
                                livery("DLH", "", "A320", "\xC3\xA9")};
  for (std::size_t i = 0; i + 1 < std::size(ordered); ++i) {
    EXPECT_TRUE(lf_liveryLess(ordered[i], ordered[i + 1])) << i;
    EXPECT_FALSE(lf_liveryLess(ordered[i + 1], ordered[i])) << i;
  }
  LiveryData cargo = ordered[1];
  cargo.codes.cargo = 1;
  cargo.registration = "G-XXXX";
  cargo.folderNumber = 7;
  EXPECT_FALSE(lf_liveryLess(cargo, ordered[1]));
  EXPECT_FALSE(lf_liveryLess(ordered[1], cargo));
}
