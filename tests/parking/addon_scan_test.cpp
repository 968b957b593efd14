// The add-on airport scan over temporary scenery trees: folders walked and passed over, pointer
// files, generated airport files, the scan log, tblo.zip, the SCAN_AIRPORTS switch, the
// afolder checks against the stock scenery, and problems that end only their file or folder.
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "aircraft/reference_db.hpp"
#include "airports/airport_db.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/files.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "parking/addon_scan.hpp"
#include "parking/apf_location.hpp"
#include "platform/shell.hpp"
#include "runstate/run_control.hpp"
#include "support/bgl_writer.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace fs = std::filesystem;
namespace bw = wdrx::testing::bgl;
using wdrx::testing::LogCapture;
using wdrx::testing::readFile;
using wdrx::testing::shownPath;
using wdrx::testing::TempDir;
using Strings = std::vector<std::string>;

namespace {

struct RecordingView : SettingsView {
  Strings calls;
  bool isWindow(const ParameterControl&) override { return true; }
  void setCheck(const ParameterControl& control, bool checked) override {
    calls.push_back(wdrx::format("check {} {}", dynamic_cast<const Parameter&>(control).name, checked));
  }
  void enable(const ParameterControl&, bool) override {}
  void resetComboBox(const ParameterControl&) override {}
  void addComboString(const ParameterControl&, const std::string&) override {}
  void selectComboIndex(const ParameterControl&, int) override {}
  void showText(const ParameterControl&, const std::string&) override {}
};

bw::Parking gate(std::uint32_t number, double latitude = 52.3) {
  bw::Parking p;
  p.number = number;
  p.latitude = latitude + number * 0.0002;
  return p;
}

// One airport in a BGL file at the path below the working folder.
void writeAirport(const fs::path& path, const std::string& code, std::vector<bw::Parking> parkings,
                  std::vector<bw::Helipad> helipads = {}) {
  bw::airportFile({bw::simpleAirport(code, code + " airport", parkings, helipads)}).write(path);
}

Strings zipEntries(const fs::path& path) {
  Strings names;
  int error = 0;
  zip_t* archive = zip_open(gf_pathToUtf8(path).c_str(), ZIP_RDONLY, &error);
  if (!archive) return names;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) names.emplace_back(zip_get_name(archive, i, 0));
  zip_discard(archive);
  std::sort(names.begin(), names.end());
  return names;
}

bool contains(const Strings& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

class AddonScanTest : public ::testing::Test {
 protected:
  TempDir dir;
  LogCapture log;
  RecordingView view;
  Strings shown;
  Strings opened;

  AddonScanTest() {
    for (StringParameter* folder : airportFolderParameters) folder->value.store("");
    SCAN_AIRPORTS.value.store(true);
    runStopRequested.store(false);
    closeRequested.store(false);
    stockAirportsPath = dir.path() / "P3D" / "Scenery";
    fs::create_directories(stockAirportsPath);
    fs::create_directories(parametersFile.parent_path());
    for (const char* code : {"EHAM", "LOWI", "EDDM", "KJFK", "EGKK", "EGLL", "LFPG"}) airportIndex.insert(IcaoCode(code));
    simaddonAirports = {"LOWI"};
    // KJFK is another publisher's: the scenery of Some Publisher does not link to it.
    thirdPartyAirports = {ThirdPartyAirports{"Some Publisher", {"EHAM", "EGKK"}},
                          ThirdPartyAirports{"Other Publisher", {"KJFK"}}};
    publisherNames = {{"Some Publisher", "SomePublisher"}};
    gf_setSettingsView(&view);
    addonScanDisplay.showSimaddonCount = [this](std::int64_t n) { shown.push_back(wdrx::format("simaddon {}", n)); };
    addonScanDisplay.showThirdpartyCount = [this](std::int64_t n) { shown.push_back(wdrx::format("thirdp {}", n)); };
    addonScanDisplay.showTbloZip = [this](std::uint64_t n) { shown.push_back(wdrx::format("tblo {}", n)); };
    platform::setShellOpenHandler([this](const fs::path& p) {
      opened.push_back(p.filename().string());
      return true;
    });
    tbloFileCount.store(0);
  }
  ~AddonScanTest() override {
    platform::setShellOpenHandler({});
    gf_setSettingsView(nullptr);
    addonScanDisplay = {};
    for (StringParameter* folder : airportFolderParameters) folder->value.store("");
    stockAirportsPath.clear();
    wdrx::testing::resetAirports();
    wdrx::testing::resetReferenceData();
    runStopRequested.store(false);
  }

  std::string scanLog() const { return fs::exists(airportsScanLogFile) ? readFile(airportsScanLogFile) : ""; }
  static std::string errorOf() {
    try {
      gf_scanAddonAirports();
    } catch (const tql::UserErrorException& e) {
      return e.what();
    }
    return "no error";
  }
};

}  // namespace

TEST_F(AddonScanTest, ScansFoldersLinksGeneratesAndZips) {
  // afolder0: an add-on tree. afolder2: the simulator's folder, whose stock Scenery is passed over.
  writeAirport("addons/SomePublisher/EHAM/scenery/AP_EHAM.bgl", "EHAM", {gate(1)});  // linked
  writeAirport("addons/ORBX/LOWI/AIRPORT.BGL", "LOWI", {gate(1)});                     // linked simaddon
  writeAirport("addons/ORBX/EDDM/eddm.bgl", "EDDM", {gate(3), gate(1), gate(2)});     // generated simaddon
  writeAirport("addons/SomePublisher/KJFK/kjfk.bgl", "KJFK", {gate(1)}, {bw::Helipad{}});  // generated
  writeAirport("addons/Other/statics/x.bgl", "LFPG", {gate(1)});                        // never opened
  writeAirport("addons/Other/_heliports.bgl", "LFPG", {gate(1)});
  writeAirport("addons/Other/lfpg.txt", "LFPG", {gate(1)});                             // not .bgl
  bw::airportFile({}).write("addons/Other/empty_airports.bgl");
  bw::File noAirport;
  noAirport.sections.push_back(bw::Section{0x65, 0, {}, {}});
  noAirport.write("addons/Other/terrain.bgl");
  wdrx::testing::writeFile("addons/Other/broken.bgl", std::string(80, '\x03'));
  writeAirport("P3D/Scenery/World/egll.bgl", "EGLL", {gate(1)});
  writeAirport("P3D/Addon Scenery/SomePublisher/egkk.bgl", "EGKK", {gate(1)});  // linked
  afolder0.value.store((dir.path() / "addons").string());
  afolder2.value.store((dir.path() / "P3D").string());
  afolder3.value.store((dir.path() / "nowhere").string());
  wdrx::testing::writeFile("a_file", "x");
  afolder4.value.store((dir.path() / "a_file").string());
  fs::create_directories("airports/my_thirdparty");
  wdrx::testing::writeFile("airports/my_thirdparty/OLD1.xml", "stale");  // each scan starts empty
  wdrx::testing::writeFile("input/ICAO_airports.txt", "EHAM,LOWI\nKJFK\n");

  gf_scanAddonAirports();

  EXPECT_EQ(readFile("airports/my_thirdparty/EHAM.txt"), "archive/thirdparty/Some%20Publisher/EHAM.xml\n");
  EXPECT_EQ(readFile("airports/my_thirdparty/EGKK.txt"), "archive/thirdparty/Some%20Publisher/EGKK.xml\n");
  EXPECT_EQ(readFile("airports/my_ORBX/LOWI.txt"), "archive/simaddon/LOWI.xml\n");
  EXPECT_FALSE(fs::exists("airports/my_ORBX/LOWI.xml"));
  EXPECT_FALSE(fs::exists("airports/my_thirdparty/EHAM.xml"));
  EXPECT_FALSE(fs::exists("airports/my_thirdparty/OLD1.xml"));
  EXPECT_FALSE(fs::exists("airports/my_thirdparty/EGLL.xml"));
  EXPECT_FALSE(fs::exists("airports/my_thirdparty/LFPG.xml"));

  // The generated simaddon file, stands sorted by name.
  pugi::xml_document eddm;
  ASSERT_TRUE(eddm.load_file("airports/my_ORBX/EDDM.xml"));
  Strings ids;
  for (pugi::xml_node pos : eddm.child("root").child("parkpositions").children("parkpos"))
    ids.push_back(pos.attribute("id").value());
  EXPECT_EQ(ids, (Strings{"g1", "g2", "g3"}));
  EXPECT_EQ(gf_findXmlStringParameter(eddm, "publisher"), "simaddon");
  EXPECT_EQ(gf_findXmlIntParameter(eddm, "num_parkpos"), 3);
  EXPECT_EQ(gf_findXmlIntParameter(eddm, "altitude"), 3281);
  EXPECT_EQ(gf_findXmlStringParameter(eddm, "airport_name"), "EDDM airport");

  // The generated third-party file of a known airport went to tblo.zip and left my_thirdparty
  // only when a pointer stands beside it; here it stays.
  EXPECT_TRUE(fs::exists("airports/my_thirdparty/KJFK.xml"));
  EXPECT_EQ(zipEntries("tblo/tblo.zip"), (Strings{"KJFK.xml"}));
  EXPECT_FALSE(fs::exists("tblo/KJFK.xml"));
  EXPECT_EQ(tbloFileCount.load(), 1u);

  const std::string scan = scanLog();
  for (const char* line : {"Scanning for addon  airports in:",
                           "from filename => publisher simaddon\n",
                           "simaddon airport LOWI linked to archive/simaddon/LOWI.xml\n\n",
                           "thirdparty airport EHAM linked to archive/thirdparty/Some%20Publisher/EHAM.xml\n\n",
                           "EDDM does not exist as simaddon\n",
                           "Generated EDDM.xml: 3 positions\n",
                           "thirdparty Some Publisher KJFK does not exist\n",
                           "Generated KJFK.xml: 2 positions of which 1 helipad\n"})
    EXPECT_NE(scan.find(line), std::string::npos) << line;
  EXPECT_EQ(scan.find("EGLL"), std::string::npos);
  EXPECT_EQ(scan.find("LFPG"), std::string::npos);

  const std::string text = log.text();
  for (const std::string& line :
       Strings{"airports scan manual  starts", "3 ICAO codes of airports read",
        "From parameter afolder0: " + (dir.path() / "addons").string(), "The scan will search 4 folders",
        (dir.path() / "nowhere").string() + " does not exist, skipped!",
        (dir.path() / "a_file").string() + " is not a folder name, skipped!",
        shownPath("output/info/AirportsScanLog.txt") + " written", std::string("[zip] Added 1 files"),
        "! Mail " + shownPath("tblo/tblo.zip") + " to " + std::string(tbloSupportAddress), std::string("SCAN_AIRPORTS=false"),
        std::string("-------------------------- airports scan ends    ----------------------------\n")})
    EXPECT_NE(text.find(line), std::string::npos) << line;

  EXPECT_FALSE(SCAN_AIRPORTS.value.load());
  EXPECT_NE(readFile(parametersFile).find(R"(name="SCAN_AIRPORTS" value="false")"), std::string::npos);
  EXPECT_EQ(view.calls, (Strings{"check SCAN_AIRPORTS false"}));
  EXPECT_TRUE(icaoAirportCodes.empty());
  EXPECT_TRUE(airportsScanLog.empty());
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), "simaddon 0");
  EXPECT_TRUE(contains(shown, "tblo 1"));
  EXPECT_EQ(shown.back(), "thirdp 3");  // EHAM.txt, EGKK.txt, KJFK.xml
  const auto zipped = std::find(shown.begin(), shown.end(), "tblo 1");  // counted while the scan writes
  EXPECT_NE(std::find(shown.begin(), zipped, "thirdp 3"), zipped);     // (EGKK, in a later afolder, last)
  EXPECT_TRUE(contains(shown, "simaddon 2"));

  // A second scan gives the same folders.
  SCAN_AIRPORTS.value.store(true);
  gf_scanAddonAirports();
  EXPECT_EQ(gf_countFolderEntries("airports/my_thirdparty"), 3);
  EXPECT_EQ(gf_countFolderEntries("airports/my_ORBX"), 2);
  EXPECT_EQ(zipEntries("tblo/tblo.zip"), (Strings{"KJFK.xml"}));

  // With EHAM's linked scenery removed, the pointer the last scans wrote is forgotten: EHAM's
  // file generated from other scenery has no pointer beside it and stays.
  fs::remove_all("addons/SomePublisher/EHAM");
  writeAirport("addons/Nobody/eham.bgl", "EHAM", {gate(1)});
  SCAN_AIRPORTS.value.store(true);
  gf_scanAddonAirports();
  EXPECT_FALSE(fs::exists("airports/my_thirdparty/EHAM.txt"));
  EXPECT_TRUE(fs::exists("airports/my_thirdparty/EHAM.xml"));
  EXPECT_EQ(zipEntries("tblo/tblo.zip"), (Strings{"EHAM.xml", "KJFK.xml"}));
}

TEST_F(AddonScanTest, NothingToLearnRemovesTblo) {
  writeAirport("addons/SomePublisher/eham.bgl", "EHAM", {gate(1)});
  writeAirport("addons/Nobody/none.bgl", "EDDM", {});  // no stands
  afolder5.value.store((dir.path() / "addons").string());
  fs::create_directories("tblo");
  wdrx::testing::writeFile("tblo/old.xml", "x");
  gf_scanAddonAirports();
  EXPECT_FALSE(fs::exists("tblo"));
  EXPECT_EQ(tbloFileCount.load(), 0u);
  EXPECT_NE(scanLog().find("EDDM has no stands"), std::string::npos);
  const std::string text = log.text();
  EXPECT_NE(text.find("All your simaddon and third party airports are recognised"), std::string::npos);
  EXPECT_EQ(text.find("! Mail"), std::string::npos);
  EXPECT_FALSE(contains(shown, "tblo"));
  // The missing ICAO list is no error.
  EXPECT_NE(text.find("ICAO_airports.txt' is missing?"), std::string::npos);
}

TEST_F(AddonScanTest, OnlySimaddonAirportsFoundIsNoWarning) {
  writeAirport("addons/ORBX/lowi.bgl", "LOWI", {gate(1)});
  afolder0.value.store((dir.path() / "addons").string());
  gf_scanAddonAirports();
  EXPECT_TRUE(fs::exists("airports/my_ORBX/LOWI.txt"));
  EXPECT_EQ(log.text().find("Scan has not found any add-on airports"), std::string::npos);

  SCAN_AIRPORTS.value.store(true);
  afolder0.value.store((dir.path() / "empty").string());
  fs::create_directories("empty");
  gf_scanAddonAirports();
  EXPECT_NE(log.text().find("Warning: Scan has not found any add-on airports"), std::string::npos);
  EXPECT_FALSE(SCAN_AIRPORTS.value.load());  // off also when nothing was found
}

TEST_F(AddonScanTest, AfolderChecks) {
  wdrx::testing::writeFile("docs/Manual.pdf", "manual");
  wdrx::testing::writeFile(parametersFile, "<root><parameters/></root>");
  EXPECT_EQ(errorOf(), "49: Exit Wendrix_P3D first!   Then set one or more afolder parameters to your add-on "
                       "airports, see Manual 6.2");
  EXPECT_EQ(opened, (Strings{"docs", parametersFile.parent_path().filename().string()}));

  struct Case {
    std::string value;
    bool stock;
  };
  const std::string stock = stockAirportsPath.string();
  const std::vector<Case> cases{
      {stock, true},
      {stock + "/World/scenery", true},
      {stock + "/", true},
      {dir.path().string() + "/p3d/SCENERY", true},  // letter case as on Windows
      {dir.path().string() + "/P3D/./Addon/../Scenery", true},
      {dir.path().string() + "/P3D", false},
      {dir.path().string() + "/P3D/Scenery2", false},
      {dir.path().string() + "/Addons/Scenery", false},
  };
  for (const Case& c : cases) {
    afolder7.value.store(c.value);
    SCAN_AIRPORTS.value.store(true);
    const std::string error = errorOf();
    if (c.stock)
      EXPECT_EQ(error, "42: parameter afolder7 points to stock airports instead of add-on airports!") << c.value;
    else
      EXPECT_EQ(error, "no error") << c.value;
  }
}

TEST_F(AddonScanTest, UnknownInstallPathSkipsNoSceneryFolder) {
  // With the install path unknown (empty, or "Scenery" alone) nothing counts as stock scenery.
  writeAirport("addons/Scenery/SomePublisher/eham.bgl", "EHAM", {gate(1)});
  afolder0.value.store((dir.path() / "addons" / "Scenery").string());
  for (const fs::path& unknown : {fs::path(), fs::path("Scenery")}) {
    stockAirportsPath = unknown;
    SCAN_AIRPORTS.value.store(true);
    EXPECT_EQ(errorOf(), "no error");
    EXPECT_TRUE(fs::exists("airports/my_thirdparty/EHAM.txt")) << unknown;
  }
}

TEST_F(AddonScanTest, PathsComparedAsWindowsDoes) {
  struct Case {
    std::string path;
    std::string base;
    bool below;
  };
  const std::vector<Case> cases{
      {R"(C:\P3D\Scenery)", "c:/p3d/scenery", true},
      {R"(C:\P3D\Scenery\World)", R"(C:\P3D\Scenery\)", true},
      {R"(C:\P3D\SceneryX)", R"(C:\P3D\Scenery)", false},
      {R"(C:\P3D)", R"(C:\P3D\Scenery)", false},
      {R"(D:\P3D\Scenery)", R"(C:\P3D\Scenery)", false},
      {R"(C:\P3D\Addon\..\Scenery\.)", R"(C:\P3D\Scenery)", true},
      {R"(\\server\share\Scenery\a)", R"(//SERVER/share/scenery)", true},
      {R"(C:\Scenery)", "", false},
      {"/games/p3d/Scenery/x", "/games/p3d/scenery", true},
      {R"(C:\P3D\Scenery\..)", R"(C:\P3D\Scenery)", false},
  };
  for (const Case& c : cases) EXPECT_EQ(gf_pathIsAtOrBelow(c.path, c.base), c.below) << c.path << " | " << c.base;
  EXPECT_EQ(gf_windowsPathKey(R"(C:\A\\B\)"), "c:/a/b");
  EXPECT_EQ(gf_windowsPathKey("../../a/./b"), "../../a/b");  // a relative path keeps its way up
}

TEST_F(AddonScanTest, ProblemsEndOnlyTheirFileOrFolder) {
  // my_ORBX is a file: writing EDDM there fails with an exception that ends only that file.
  writeAirport("addons/a/ORBX/eddm.bgl", "EDDM", {gate(1)});
  writeAirport("addons/b/kjfk.bgl", "KJFK", {gate(1)});
  writeAirport("more/lfpg.bgl", "LFPG", {gate(1)});
  afolder0.value.store((dir.path() / "addons").string());
  afolder1.value.store((dir.path() / "more").string());
  fs::create_directories("airports");
  wdrx::testing::writeFile("airports/my_ORBX", "not a folder");
  gf_scanAddonAirports();
  EXPECT_TRUE(fs::exists("airports/my_thirdparty/KJFK.xml"));
  EXPECT_TRUE(fs::exists("airports/my_thirdparty/LFPG.xml"));
  const std::string scan = scanLog();
  EXPECT_NE(scan.find("===> " + shownPath(dir.path() / "addons/a/ORBX/eddm.bgl") + " skipped, cause:"),
            std::string::npos);
  EXPECT_NE(log.text().find("Exception in lf_processBGLfile (std::ex): "), std::string::npos);
}

TEST_F(AddonScanTest, StopRequestEndsTheWalks) {
  writeAirport("addons/eham.bgl", "EDDM", {gate(1)});
  afolder0.value.store((dir.path() / "addons").string());
  runStopRequested.store(true);
  gf_scanAddonAirports();
  EXPECT_FALSE(fs::exists("airports/my_thirdparty/EDDM.xml"));
  EXPECT_FALSE(SCAN_AIRPORTS.value.load());  // the rest of the scan still runs
  EXPECT_TRUE(fs::exists(airportsScanLogFile));
}

TEST_F(AddonScanTest, IcaoListWithBadCodesIsReadAroundThem) {
  wdrx::testing::writeFile("input/ICAO_airports.txt", "\xEF\xBB\xBF" "EHAM, lowi,,\r\nXX\n\nKJFK,EHAM\n");
  lf_readIcaoAirportsList();
  EXPECT_EQ(icaoAirportCodes.size(), 3u);
  EXPECT_TRUE(icaoAirportCodes.contains(IcaoCode("LOWI")));
  EXPECT_NE(log.text().find("3 ICAO codes of airports read"), std::string::npos);
  EXPECT_NE(log.text().find("'XX' FixedCode"), std::string::npos);
}

TEST_F(AddonScanTest, GeneratedFileBesideAPointerLeavesForTblo) {
  // The same airport linked from one scenery and generated from another.
  writeAirport("addons/SomePublisher/eham.bgl", "EHAM", {gate(1)});
  writeAirport("addons/Nobody/eham.bgl", "EHAM", {gate(1), gate(2)});
  afolder0.value.store((dir.path() / "addons").string());
  gf_scanAddonAirports();
  EXPECT_TRUE(fs::exists("airports/my_thirdparty/EHAM.txt"));
  EXPECT_FALSE(fs::exists("airports/my_thirdparty/EHAM.xml"));
  EXPECT_EQ(zipEntries("tblo/tblo.zip"), (Strings{"EHAM.xml"}));
  EXPECT_EQ(tbloFileCount.load(), 1u);
}

TEST_F(AddonScanTest, AZipThatCannotBeMadeKeepsTheCopiesToSend) {
  // The old zip cannot be removed (on Windows: still open in a mail program).
  writeAirport("addons/Nobody/kjfk.bgl", "KJFK", {gate(1)});
  afolder0.value.store((dir.path() / "addons").string());
  wdrx::testing::writeFile("tblo/tblo.zip/open", "x");
  EXPECT_EQ(errorOf(), "no error");
  EXPECT_TRUE(fs::exists("tblo/KJFK.xml"));
  EXPECT_EQ(tbloFileCount.load(), 2u);
  EXPECT_FALSE(SCAN_AIRPORTS.value.load());
  const std::string text = log.text();
  for (const char* line : {"[zip] Could not remove old zip ", "==> Zippen TBLO folder failed",
                           "! Mail tblo to "})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}
