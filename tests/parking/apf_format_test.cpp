// The airport-file format: reading stands and options, merging learned stands, writing files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include <pugixml.hpp>

#include "config/settings.hpp"
#include "foundation/user_error.hpp"
#include "parking/apf_fixture.hpp"
#include "parking/apf_format.hpp"
#include "parking/apf_state.hpp"

using namespace apf_test;
namespace fs = std::filesystem;

namespace {

class ApfFormatTest : public ApfTest {
 protected:
  static pugi::xml_document parse(const std::string& text) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(text.c_str())) << text;
    return document;
  }
  static void read(const std::string& parkpositions) {
    gf_readParkPositions(parse(apfXml({{"altitude", "10"}}, parkpositions)));
  }
  static std::string userError(const std::string& parkpositions) {
    try {
      read(parkpositions);
    } catch (const tql::UserErrorException& e) {
      return e.what();
    }
    return "no error";
  }
  static StandOption option(const std::string& reg, std::uint32_t day, const std::string& hh,
                            std::uint32_t number, AircraftCodes codes = {}) {
    StandOption o = makeOption(reg, day, hh, number);
    o.codes = codes;
    return o;
  }
  static Stand stand(const std::string& name, double lat, double lon, double radiusMetres = 20.0) {
    return Stand({}, name, {lat, lon, 0.5}, radiusMetres, 0, false, false, false);
  }
};

}  // namespace

TEST_F(ApfFormatTest, ReadsStandsWithEveryAttribute) {
  const AircraftCodes klm = addRegistration("PH-BXA", "KLM", "B738");
  read(parkpos(" A1\t", 52.3, 4.76, R"(heading="90" radius="30" type="5" cargo="false" ramp="true")",
               R"(<opt reg="PH-BXA" airl="DLH" type="A320" day="2" hh="10:12" cs="KLM123:KLM9X" cpl="true"/>)"
               R"(<opt reg="" airl="DLH" type="A320" day="8" hh="3"/>)"
               R"(<opt reg="D-AIAB" airl="DLH" type="A320" day="0" hh="3"/>)"
               R"(<opt reg="D-AIAC" airl="DLH" type="A320" day="3"/>)"
               R"(<opt reg="D-AIAD" airl="DLH" type="A321" soft="true" day="7" hh="4,6" cs="DLH4"/>)") +
       parkpos("B2", 52.31, 4.77, R"(type="14" cargo="true")") +
       parkpos("C3", 52.32, 4.78, R"(type="0" cargo="true" ramp="false" heli="true")"));
  ASSERT_EQ(standTable.size(), 3u);
  const Stand& a1 = standTable[0];
  EXPECT_EQ(a1.name, "A1");
  EXPECT_DOUBLE_EQ(a1.latitude, 52.3);
  EXPECT_DOUBLE_EQ(a1.longitude, 4.76);
  EXPECT_NEAR(a1.heading, 1.5707963267948966, 1e-12);
  EXPECT_NEAR(a1.radius, 0.0161987041, 1e-9);
  EXPECT_EQ(a1.type, 5);
  EXPECT_EQ(a1.cargo, 1);  // type 5 whatever cargo says
  EXPECT_EQ(a1.ramp, 0);
  EXPECT_EQ(a1.number, 0u);
  ASSERT_EQ(a1.options.size(), 2u);
  const StandOption& first = a1.options[0];
  EXPECT_EQ(first.codes, klm);  // the registration wins over airl and type
  EXPECT_EQ(first.reg, "PH-BXA");
  EXPECT_EQ(first.cs1, "KLM123");
  EXPECT_EQ(first.cs2, "KLM9X");
  EXPECT_EQ(first.hours, gf_hours2bitset("10:12"));
  EXPECT_EQ(first.day, 2u);
  EXPECT_EQ(first.number, 1u);
  EXPECT_EQ(first.source, 1u);
  EXPECT_EQ(first.real, 1u);
  EXPECT_EQ(first.cpl, 1);
  const StandOption& second = a1.options[1];  // skipped opts take no number
  EXPECT_EQ(second.number, 2u);
  EXPECT_EQ(second.codes.airlineId, gf_airlineId("DLH"));
  EXPECT_EQ(second.codes.modelId, gf_modelId("A321"));
  EXPECT_EQ(second.codes.fromDbase, 0);
  EXPECT_EQ(second.real, 0u);
  EXPECT_EQ(second.cs1, "DLH4");
  EXPECT_EQ(second.cs2, "");
  EXPECT_EQ(second.hours, gf_hours2bitset("4,6"));
  EXPECT_EQ(standTable[1].ramp, 1);
  EXPECT_EQ(standTable[1].cargo, 0);
  EXPECT_EQ(standTable[2].cargo, 1);
  EXPECT_EQ(standTable[2].heli, 1);
  EXPECT_EQ(logLinesWith("option with day").size(), 2u);
}

TEST_F(ApfFormatTest, TypeCodesDecideCargoAndRamp) {
  // Type 0 takes both from its attributes, every other type ignores them.
  std::string stands;
  for (int type = 0; type <= 15; ++type)
    stands += parkpos("T" + std::to_string(type), 52, 4, wdrx::format(R"(type="{}" cargo="true" ramp="true")", type));
  read(stands);
  ASSERT_EQ(standTable.size(), 16u);
  for (int type = 0; type <= 15; ++type) {
    const Stand& s = standTable[static_cast<std::size_t>(type)];
    EXPECT_EQ(s.cargo, type == 0 || type == 5 || type == 6) << type;
    EXPECT_EQ(s.ramp, type == 0 || (type >= 1 && type <= 4) || type == 14) << type;
  }
}

TEST_F(ApfFormatTest, StructuralErrorsAreUserErrorsAndKeepWhatWasRead) {
  const std::string good = parkpos("A1", 1, 1);
  EXPECT_EQ(userError(good + R"(<parkpos latitude="1" longitude="1"/>)"),
            "93: Parking position #2 has no 'id' attribute.");
  EXPECT_EQ(standTable.size(), 1u);
  standTable.clear();
  EXPECT_EQ(userError(good + parkpos(" \t\v", 1, 1)), "93: Stand #2 has empty 'id' attribute.");
  standTable.clear();
  EXPECT_EQ(userError(good + parkpos("A1 ", 2, 2)), "94: Stand 'A1' appears more than once.");
  EXPECT_EQ(standTable.size(), 1u);
}

TEST_F(ApfFormatTest, StandsWithImpossibleValuesAreLoggedAndSkipped) {
  read(parkpos("zero", 0, 0) + parkpos("north", 95, 4) + parkpos("type", 52, 4, R"(type="16")") +
       parkpos("negative", 52, 4, R"(type="-1")") + parkpos("radius", 52, 4, R"(radius="-3")") +
       parkpos("nan", 52, 4, R"(radius="nan")") + R"(<parkpos id="missing"/>)" +
       parkpos("fine", 52, 4, R"(type="15" radius="0")"));
  ASSERT_EQ(standTable.size(), 1u);
  EXPECT_EQ(standTable[0].name, "fine");
  EXPECT_EQ(logLinesWith("has no valid lat/lon").size(), 3u);
  EXPECT_EQ(logLinesWith("==> stand type has an invalid type 16, skipped").size(), 1u);
  EXPECT_EQ(logLinesWith("==> stand negative has an invalid type -1, skipped").size(), 1u);
  EXPECT_EQ(logLinesWith("invalid radius").size(), 2u);
}

TEST_F(ApfFormatTest, GeneratedFileReadsBackAndRewritesByteForByte) {
  ApfData data;
  data.icao = IcaoCode("EHAM");
  data.airport_name = "Schiphol";
  data.BGLpath = "C:/Scenery/EHAM.bgl";
  data.altitude = -11;
  Stand a = stand("A1", 52.308612, 4.761235, 30.0);
  a.heading = 90.0 * 0.017453292519943295;
  a.type = 14;
  a.ramp = 1;
  Stand h = stand("helipad1", 52.30001, 4.7601, 12.5);
  h.heli = 1;
  Stand c = stand("C7", 52.31, 4.762, 45.0);
  c.type = 0;
  c.cargo = 1;
  data.stands = {a, h, c};
  ASSERT_TRUE(gf_saveApf(data, "out/EHAM.xml", apfModeGenerated, 3));
  const std::string written = wdrx::testing::readFile("out/EHAM.xml");
  EXPECT_NE(written.find(R"(<parameter name="num_parkpos" value="3" />)"), std::string::npos);
  EXPECT_NE(written.find(R"(<parameter name="BGLpath" value="C:/Scenery/EHAM.bgl" />)"), std::string::npos);
  EXPECT_NE(written.find(R"(<parameter name="altitude" value="-11" />)"), std::string::npos);
  EXPECT_NE(written.find(R"(<parkpos id="A1" latitude="52.308612" longitude="4.761235" heading="90.0" radius="30.0" type="14" cargo="false" ramp="true" />)"),
            std::string::npos);
  EXPECT_NE(written.find(R"(radius="12.5" type="0" cargo="false" ramp="false" heli="true" />)"), std::string::npos);
  EXPECT_EQ(written.find("RANGE"), std::string::npos);  // settings only in learned files
  EXPECT_FALSE(fs::exists("out/EHAM.xml.tmp"));

  pugi::xml_document document;
  ASSERT_TRUE(document.load_file("out/EHAM.xml"));
  gf_readParkPositions(document);
  ASSERT_EQ(standTable.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(standTable[i].name, data.stands[i].name);
    EXPECT_NEAR(standTable[i].latitude, data.stands[i].latitude, 1e-6);
    EXPECT_NEAR(standTable[i].heading, data.stands[i].heading, 1e-3);
    EXPECT_NEAR(standTable[i].radius * 1852.0, data.stands[i].radius * 1852.0, 0.05);
    EXPECT_EQ(standTable[i].type, data.stands[i].type);
    EXPECT_EQ(standTable[i].cargo, data.stands[i].cargo);
    EXPECT_EQ(standTable[i].ramp, data.stands[i].ramp);
    EXPECT_EQ(standTable[i].heli, data.stands[i].heli);
  }
  ApfData again = data;
  again.stands = standTable;
  ASSERT_TRUE(gf_saveApf(again, "out/EHAM2.xml", apfModeGenerated, 3));
  EXPECT_EQ(wdrx::testing::readFile("out/EHAM2.xml"), written);
}

TEST_F(ApfFormatTest, LearnedFileWritesOnlyWhatTheAirportFileLacks) {
  const AircraftCodes klm = addRegistration("PH-BXA", "KLM", "B738");
  AircraftCodes dlh;
  dlh.airlineId = gf_airlineId("DLH");
  dlh.modelId = gf_modelId("A320");
  ApfData data;
  data.icao = IcaoCode("EHAM");
  data.publisher = "stock";
  Stand plain = stand("A1", 52.3, 4.7);
  StandOption learned = option("PH-BXA", 2, "10:12", 1, klm);
  learned.cs1 = "KLM1";
  learned.cs2 = "KLM2";
  learned.cpl = 1;
  StandOption off = option("D-AIAB", 3, "5", 0, dlh);  // switched off by a search, still learned
  off.real = 0;
  StandOption gaps = option("D-AIAC", 4, "1,3,5", 3, dlh);
  gaps.cs2 = "DLH7";
  StandOption noReg = option("", 5, "7", 4);
  StandOption empty = option("D-AIAE", 6, "", 5, dlh);
  plain.options = {learned, off, gaps, noReg, empty};
  Stand changed = stand("B2", 52.31, 4.71, 25.0);
  changed.radius_change = 1;
  changed.cargo_change = 1;
  changed.cargo = 1;
  Stand manual = stand("M1", 52.32, 4.72);
  manual.manual = 1;
  manual.radius_change = 1;
  data.stands = {plain, changed, manual};
  MAX_FIT.value.store(10);  // 6 hours: written back as the step, not as 2 x 6 - 1
  ASSERT_TRUE(gf_saveApf(data, "learned/EHAM.xml", apfModeLearned, 3));
  const std::string text = wdrx::testing::readFile("learned/EHAM.xml");
  const char* expected =
      R"(    <parameter name="icao" value="EHAM" />
    <parameter name="airport_name" value="" />
    <parameter name="publisher" value="stock" />
    <parameter name="RANGE" value="40" />
    <parameter name="AUTO_RANGE" value="true" />
    <parameter name="WEEK" value="false" />
    <parameter name="PARK_SOFT" value="false" />
    <parameter name="parking_percentage" value="30" />
    <parameter name="INITIAL_LOAD_ONLY" value="false" />
    <parameter name="MAX_FIT" value="10" />
    <parameter name="MAX_LIVE_SEL" value="500" />
  </parameters>
  <parkpositions>
    <parkpos id="A1">
      <opt reg="PH-BXA" day="2" hh="10:12" cs="KLM1:KLM2" cpl="true" />
      <opt reg="D-AIAB" airl="DLH" type="A320" soft="true" day="3" hh="5" />
      <opt reg="D-AIAC" airl="DLH" type="A320" day="4" hh="1,3,5" cs=":DLH7" />
    </parkpos>
    <parkpos id="B2" radius_change="true" radius="25.0" cargo_change="true" cargo="true" />
    <parkpos id="M1" latitude="52.320000" longitude="4.720000" heading="28.6" radius="20.0" type="0" cargo="false" ramp="false" manual="true" />
  </parkpositions>
</root>
)";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
  EXPECT_EQ(logLinesWith("==> bit set problem: D-AIAE").size(), 1u);

  // Read back as a learned merge onto the airport file's stands, then written again unchanged.
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file("learned/EHAM.xml"));
  std::vector<Stand> stands{stand("A1", 52.3, 4.7), stand("B2", 52.31, 4.71)};
  const pugi::xml_node parkpositions = gf_apfSection(document, "parkpositions");
  for (auto node : parkpositions.children("parkpos")) {
    for (Stand& s : stands) lf_readLearnedStand(node.attribute("id").value(), node, false, s);
  }
  ASSERT_EQ(stands[0].options.size(), 3u);
  EXPECT_EQ(stands[0].options[0].codes, klm);
  EXPECT_EQ(stands[0].options[1].number, 2u);
  EXPECT_EQ(stands[0].options[2].cs1, "");
  EXPECT_EQ(stands[0].options[2].cs2, "DLH7");
  EXPECT_EQ(stands[1].radius_change, 1);
  EXPECT_NEAR(stands[1].radius * 1852.0, 25.0, 1e-9);
  EXPECT_EQ(stands[1].cargo, 1);
  ApfData again = data;
  Stand manualAgain = manual;
  again.stands = {stands[0], stands[1], manualAgain};
  ASSERT_TRUE(gf_saveApf(again, "learned/EHAM2.xml", apfModeLearned, 3));
  EXPECT_EQ(wdrx::testing::readFile("learned/EHAM2.xml"), text);
}

TEST_F(ApfFormatTest, HandmadeHeaderAndFullStands) {
  apfHandmade = true;
  ApfData data;
  data.icao = IcaoCode("LOWI");
  data.publisher = "";
  data.BGLpath = "x.bgl";
  data.altitude = 1906;
  data.Qf_real = 44;
  data.Qf_soft = -1;
  Stand changed = stand("A1", 47.26, 11.34);
  changed.radius_change = 1;  // handmade files are read whole: the full set, not only the change
  data.stands = {changed};
  ASSERT_TRUE(gf_saveApf(data, "h.xml", apfModeLearned, 3));
  const std::string text = wdrx::testing::readFile("h.xml");
  for (const char* part : {R"(<parameter name="icao" value="LOWI" />)",
                           R"(<parameter name="handmade" value="true" />)",
                           R"(<parameter name="altitude" value="1906" />)",
                           R"(<parameter name="Qf_real" value="44" />)",
                           R"(<parameter name="BGLpath" value="x.bgl" />)",
                           R"(<parkpos id="A1" latitude="47.260000" longitude="11.340000" heading)"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(text.find("Qf_soft"), std::string::npos);
  EXPECT_EQ(text.find("num_parkpos"), std::string::npos);
  apfHandmade = false;
  data.icao = IcaoCode();
  ASSERT_TRUE(gf_saveApf(data, "n.xml", apfModeLearned, 3));
  const std::string plain = wdrx::testing::readFile("n.xml");
  EXPECT_NE(plain.find(R"(<parameter name="icao" value="    " />)"), std::string::npos);
  EXPECT_EQ(plain.find("altitude"), std::string::npos);
  EXPECT_EQ(plain.find("Qf_real"), std::string::npos);
}

TEST_F(ApfFormatTest, FailedSaveKeepsTheOldFile) {
  ApfData data;
  data.icao = IcaoCode("EHAM");
  data.stands = {stand("A1", 1, 1)};
  ASSERT_TRUE(gf_saveApf(data, "EHAM.xml", apfModeGenerated, 3));
  const std::string before = wdrx::testing::readFile("EHAM.xml");
  fs::permissions("EHAM.xml", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  data.stands.push_back(stand("B2", 2, 2));
  EXPECT_FALSE(gf_saveApf(data, "EHAM.xml", apfModeGenerated, 3));
  EXPECT_EQ(wdrx::testing::readFile("EHAM.xml"), before);
  EXPECT_EQ(logLinesWith("==> gf_saveApf: could not write EHAM.xml: the file is read-only").size(), 1u);
  for (const auto& entry : fs::directory_iterator(".")) {
    EXPECT_NE(entry.path().extension(), ".part") << entry.path();  // no temporary left
  }
}

TEST_F(ApfFormatTest, LearnedStandMergesChangesAndNewOptionsOnly) {
  const AircraftCodes klm = addRegistration("PH-BXA", "KLM", "B738");
  Stand target = stand("A1", 1, 1);
  target.options = {option("PH-BXA", 2, "10:12", 1, klm), option("PH-BXB", 3, "4", 2)};
  target.options[1].source = 1;
  const std::string learned =
      parkpos("A1", 0, 0, R"(radius_change="true" radius="40" cargo_change="true" cargo="true")",
              R"(<opt reg="PH-BXA" day="2" hh="12:14"/>)"    // shares slot 12: already there
              R"(<opt reg="PH-BXA" day="2" hh="13:14"/>)"    // no common slot: added
              R"(<opt reg="PH-BXA" day="2" hh="12" soft="true"/>)"  // soft differs: added
              R"(<opt reg="PH-BXC" day="2" hh="8:5"/>)"      // empty set
              R"(<opt reg="PH-BXD" day="9" hh="5"/>)"        // no such day
              R"(<opt reg="PH-BXE" day="1" hh="5" cs="X1"/>)");
  const auto document = parse("<root><parkpositions>" + learned + "</parkpositions></root>");
  const pugi::xml_node node = document.child("root").child("parkpositions").child("parkpos");
  EXPECT_FALSE(lf_readLearnedStand("B2", node, false, target));
  ASSERT_TRUE(lf_readLearnedStand("A1", node, false, target));
  EXPECT_NEAR(target.radius * 1852.0, 40.0, 1e-9);
  EXPECT_EQ(target.radius_change, 1);
  EXPECT_EQ(target.cargo, 1);
  EXPECT_EQ(target.cargo_change, 1);
  ASSERT_EQ(target.options.size(), 5u);
  EXPECT_EQ(target.options[2].hours, gf_hours2bitset("13:14"));
  EXPECT_EQ(target.options[2].number, 3u);
  EXPECT_EQ(target.options[2].source, 0u);
  EXPECT_EQ(target.options[3].real, 0u);
  EXPECT_EQ(target.options[3].number, 4u);
  EXPECT_EQ(target.options[4].reg, "PH-BXE");
  EXPECT_EQ(target.options[4].number, 5u);
  EXPECT_EQ(logLinesWith("==> learned A1: day:2 12,13,14 KLM     B738.    cs: reg:PH-BXA already in airport file").size(), 1u);
  EXPECT_EQ(logLinesWith("already in airport file").size(), 1u);
  EXPECT_EQ(logLinesWith("==> empty bit set").size(), 1u);
  EXPECT_EQ(logLinesWith("option with day '9' skipped").size(), 1u);

  Stand old = stand("A1", 1, 1);
  ASSERT_TRUE(lf_readLearnedStand("A1", node, true, old));  // options of an old file stay out
  EXPECT_TRUE(old.options.empty());
  EXPECT_EQ(old.radius_change, 1);
}
