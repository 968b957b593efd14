// Reading the reference database: sections, cuts, id order, counts, errors, clean-up.
#include <gtest/gtest.h>

#include <filesystem>

#include "aircraft/reference_db.hpp"
#include "foundation/user_error.hpp"
#include "refdata_fixture.hpp"

using namespace refdata_test;
using wdrx::testing::shownPath;
using Strings = std::vector<std::string>;

namespace {
class ReadDbaseTest : public RefdataTest, public ::testing::Test {
 protected:
  static bool plainLeft() { return std::filesystem::exists("input/dbase.xml"); }
};

const char* fullSections[][2] = {
    {"similar_types", R"(<similar types=" B738 , A320,,"/><similar types=""/>)"},
    {"prefixes", R"(<similar types="OE,D,F"/><similar types="HB, D"/>)"},
    {"publishers", R"(<pub names="Qwertal, QW"/><pub names="Qwertal, QW"/><pub names="Aero,"/>)"},
    {"wingspans", R"(<wingspan type="B738" meters="35.8"/><wingspan type="B738" meters="40"/>)"
                  R"(<wingspan type="ZZZZ" meters="10"/><wingspan type="A320"/>)"},
    // A repeated wrong code with an invalid correct one: the validity is checked first.
    {"fixes", R"(<fx wro="B73H" cor="B738"/><fx wro="B73H" cor="A320"/><fx wro="B73H" cor="NOPE"/>)"
              R"(<fx wro="X" cor="NOPE"/>)"},
    {"thirdpartiesP3D", R"(<thirdpartieP3D pub="FlyT" arpts="LOWI,,EDDM"/><thirdpartieP3D arpts=""/>)"},
    {"dbase", R"(<d r="PH-BXA" a="KLM" m="B738"/><d r="D-AIPA" a="DLH" o="CLH" m="A320" c="true"/>)"
              R"(<d r="PH-BXA" a="XXX" m="B744"/><d r="N1" a="FDX" m="B73H" c="0"/>)"},
};
}  // namespace

TEST_F(ReadDbaseTest, IdsAreGivenInReferenceOrder) {
  DbaseXml().write();
  ASSERT_TRUE(gf_readDbase());
  const Strings models{"", "A320", "B738", "B744", "C172", "EC35", "B74F", "C25A", "F16"};
  ASSERT_EQ(modelCodes.size(), models.size());
  for (std::size_t id = 0; id < models.size(); ++id) EXPECT_EQ(modelCodes[id], models[id]) << id;
  const Strings airlines{"", "DLH", "KLM", "FDX"};
  ASSERT_EQ(airlineCodes.size(), airlines.size());
  for (std::size_t id = 0; id < airlines.size(); ++id) EXPECT_EQ(airlineCodes[id], airlines[id]) << id;
  EXPECT_EQ(heavyModels, (std::set<std::uint16_t>{3}));
  EXPECT_EQ(largeModels, (std::set<std::uint16_t>{1, 2}));
  EXPECT_EQ(buzjetModels, (std::set<std::uint16_t>{7}));
  EXPECT_EQ(highPerfModels, (std::set<std::uint16_t>{8}));
  EXPECT_EQ(rotorcraftModels, (std::set<std::uint16_t>{5}));
  EXPECT_EQ(simaddonAirports, (std::set<std::string, std::less<>>{"EHAM", "LOWI"}));
  EXPECT_FALSE(plainLeft());
  EXPECT_EQ(logLines(), (Strings{"", "    5 ICAO model codes", "    0 prefixes", "    2 ICAO airline codes",
                                 "    2 cargo operators", "    0 publishers", "    0 dbase records read"}));
}

TEST_F(ReadDbaseTest, RequiredListsAreCutAtCommasWithoutTrimming) {
  DbaseXml().set("aircrafts", R"(<aircraft types="A320, B738"/><aircraft types="C172,,B744,"/>)").write();
  ASSERT_TRUE(gf_readDbase());
  EXPECT_EQ(knownModelCodes, (std::set<std::string, std::less<>>{" B738", "A320", "B744", "C172"}));
}

TEST_F(ReadDbaseTest, AllSectionsAreRead) {
  DbaseXml xml;
  for (const auto& section : fullSections) xml.set(section[0], section[1]);
  xml.write();
  ASSERT_TRUE(gf_readDbase());

  EXPECT_EQ(similarTypeGroups, (std::vector<Strings>{{"A320", "B738"}, {}}));
  EXPECT_EQ(prefixGroupLists, (std::vector<Strings>{{"D", "F", "OE"}, {"D", "HB"}}));
  EXPECT_EQ(publisherNames, (std::vector<Strings>{{"Aero", ""}, {"Qwertal", "QW"}}));
  ASSERT_EQ(thirdPartyAirports.size(), 2u);
  EXPECT_EQ(thirdPartyAirports[0].publisher, "FlyT");
  EXPECT_EQ(thirdPartyAirports[0].airports, (Strings{"LOWI", "", "EDDM"}));
  EXPECT_EQ(thirdPartyAirports[1].publisher, "");
  EXPECT_TRUE(thirdPartyAirports[1].airports.empty());

  // Wing spans: the first entry of a type is stored, the largest value sets the maximum.
  EXPECT_DOUBLE_EQ(hwsp(gf_modelId("B738")), 35.8 * 0.5 / 1852.0);
  EXPECT_DOUBLE_EQ(maxHalfWingSpan, 40.0 * 0.5 / 1852.0);
  EXPECT_EQ(hwsp(gf_modelId("A320")), 0.0);  // meters missing
  EXPECT_EQ(hwsp(gf_modelId("C172")), 0.0);  // no entry

  EXPECT_EQ(modelCodeFixes.size(), 1u);
  EXPECT_EQ(gf_modelId("B73H"), gf_modelId("B738"));

  // Records sorted by registration, one per registration.
  ASSERT_EQ(dbaseRecords.size(), 3u);
  EXPECT_EQ(dbaseRecords[0].registration, "D-AIPA");
  EXPECT_EQ(dbaseRecords[1].registration, "N1");
  EXPECT_EQ(dbaseRecords[2].registration, "PH-BXA");
  const AircraftCodes& dlh = dbaseRecords[0].codes;
  EXPECT_EQ(airlineCodes[dlh.airlineId], "DLH");
  EXPECT_EQ(airlineCodes[dlh.operatorId], "CLH");
  EXPECT_EQ(modelCodes[dlh.modelId], "A320");
  EXPECT_EQ(dlh.cargo, 1);
  EXPECT_EQ(dlh.fromDbase, 1);
  const AircraftCodes& fdx = dbaseRecords[1].codes;
  EXPECT_EQ(fdx.operatorId, 0);
  EXPECT_EQ(fdx.cargo, 0);
  EXPECT_EQ(modelCodes[fdx.modelId], "B738");  // through the fix

  EXPECT_FALSE(plainLeft());
  EXPECT_EQ(logLines(), (Strings{"", "    5 ICAO model codes", "    2 prefixes", "    2 ICAO airline codes",
                                 "    2 cargo operators", "    2 publishers",
                                 "==> wingspan model ZZZZ is not valid, skipped",
                                 "==> wrong part of fix: 'B73H', already exists, skipped",
                                 "==> wrong fix B73H -> NOPE, the latter is not valid",
                                 "==> wrong fix X -> NOPE, the latter is not valid", "    1 fixes",
                                 "    3 dbase records read"}));
}

TEST_F(ReadDbaseTest, BadRequiredSectionsThrowError61AndLeaveNoPlainFile) {
  struct Case {
    DbaseXml xml;
    std::string message;
  };
  std::vector<Case> cases;
  cases.push_back({DbaseXml(), "61: XML root missing: root"});
  cases.back().xml.rootName = "data";
  cases.push_back({DbaseXml().remove("cargo_operators"), "61: Missing section: cargo_operators"});
  cases.push_back({DbaseXml().remove("simaddonsP3D"), "61: Missing section: simaddonsP3D"});
  cases.push_back({DbaseXml().set("aircrafts", R"(<aircraft types=""/><aircraft/>)"),
                   "61: In XML file section [aircrafts], element [aircraft], attribute [types] is empty."});
  cases.push_back({DbaseXml().set("rotorcraft", ""),
                   "61: In XML file section [rotorcraft], element [rot], attribute [types] is empty."});
  cases.push_back({DbaseXml().set("ICAO_airlines", R"(<ICAO codes=",,"/>)"),
                   "61: In XML file section [ICAO_airlines], element [ICAO], attribute [codes] is empty."});
  for (const Case& c : cases) {
    wdrx::testing::resetReferenceData();
    c.xml.write();
    try {
      gf_readDbase();
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const tql::UserErrorException& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_FALSE(plainLeft()) << c.message;
  }
}

TEST_F(ReadDbaseTest, UnreadableInputFails) {
  auto error = [] {
    try {
      gf_readDbase();
    } catch (const std::runtime_error& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(error(), shownPath("input/dbase.enc") + ", " + shownPath("input/airports.enc") + ", " +
                         shownPath("input/AIG-regcodes.enc") + " not available");
  wdrx::testing::writeFile("input/airports.enc", "x");
  EXPECT_EQ(error(), shownPath("input/dbase.enc") + ", " + shownPath("input/AIG-regcodes.enc") + " not available");
  wdrx::testing::writeFile("input/dbase.enc", std::string(100, 'x'));
  EXPECT_EQ(error(), shownPath("input/dbase.enc") + " stream decrypt failed");
  EXPECT_FALSE(plainLeft());

  writeEncrypted("input/dbase.enc", "<root><aircrafts>");
  EXPECT_FALSE(gf_readDbase());
  EXPECT_FALSE(plainLeft());
  Strings lines = logLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("==> '" + shownPath("input/dbase.xml") + "' not read because of ", 0), 0u) << lines.back();
}
