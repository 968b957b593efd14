// The BGL reader on files made by the test writer: sections, airport records, names, altitude,
// parking lists, helipads, idents, and damaged files that must stay within their bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "parking/bgl_reader.hpp"
#include "support/bgl_writer.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace bw = wdrx::testing::bgl;
using wdrx::testing::LogCapture;
using wdrx::testing::shownPath;
using wdrx::testing::TempDir;

namespace {

struct RecordingSink : BglAirportSink {
  std::vector<std::string> lines;
  std::set<std::string> linked;       // codes linked to an archived file
  std::set<std::string> unsupported;  // every other 4-character code is supported
  std::vector<ApfData> written;
  std::vector<int> helipadCounts;
  int linkCalls = 0;

  void scanLogLine(std::string line) override { lines.push_back(std::move(line)); }
  bool isSupportedAirport(const IcaoCode& code) override { return !unsupported.contains(code.str()); }
  bool linkArchivedAirport(ApfData& airport) override {
    ++linkCalls;
    return linked.contains(airport.icao.str());
  }
  void writeGeneratedAirport(ApfData& airport, int helipads) override {
    written.push_back(airport);
    helipadCounts.push_back(helipads);
  }
  bool logged(const std::string& part) const {
    for (const std::string& line : lines)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }
};

std::vector<std::uint32_t> toWords(const std::vector<std::uint8_t>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  std::istringstream in(text);
  return lf_readFileWords(in);
}

RecordingSink readBytes(const std::vector<std::uint8_t>& bytes) {
  RecordingSink sink;
  const std::vector<std::uint32_t> words = toWords(bytes);
  lf_processBGLwords(words, "scenery/test.bgl", sink);
  return sink;
}

RecordingSink readFile(const bw::File& file) { return readBytes(file.bytes()); }

std::vector<std::string> standNames(const ApfData& airport) {
  std::vector<std::string> names;
  for (const Stand& stand : airport.stands) names.push_back(stand.name);
  return names;
}

bw::Parking gate(std::uint32_t number, std::uint32_t nameCode = 10, std::uint32_t type = 4) {
  bw::Parking p;
  p.number = number;
  p.nameCode = nameCode;
  p.type = type;
  p.latitude = 52.30 + number * 0.0001;
  return p;
}

}  // namespace

TEST(BglReader, DecodesAirportsOfBothFormsWithTheirStands) {
  bw::Parking g12 = gate(12);
  g12.radius = 30.0f;
  g12.heading = 90.0f;
  g12.latitude = 52.308;
  g12.longitude = 4.762;
  bw::Parking a5 = gate(5, 12, 5);
  a5.heading = 0.0f;
  a5.airlineCodes = 3;  // their words are stepped over
  bw::Parking plain = gate(7, 0, 12);
  bw::Helipad pad;
  pad.width = 20.0f;
  pad.heading = 0.0f;
  bw::Helipad pad2 = pad;
  pad2.latitude += 0.001;
  pad2.heading = 180.0f;

  bw::File file = bw::airportFile({bw::simpleAirport("EHAM", "Schiphol", {g12, a5, plain}, {pad, pad2}),
                                   bw::simpleAirport("LOWI", "Innsbruck", {gate(1, 2, 1), gate(2, 2, 1), gate(4095, 37, 2)}, {}, true, 581000)});
  // A record of another id between the airports is stepped over.
  file.sections[0].subsections[0].records.insert(file.sections[0].subsections[0].records.begin() + 1,
                                                  bw::Record{0x99, std::vector<std::uint8_t>(10, 7), {}, {}});
  const RecordingSink sink = readFile(file);

  ASSERT_EQ(sink.written.size(), 2u);
  EXPECT_EQ(sink.linkCalls, 2);
  const ApfData& eham = sink.written[0];
  EXPECT_EQ(eham.icao, IcaoCode("EHAM"));
  EXPECT_EQ(eham.airport_name, "Schiphol");
  EXPECT_EQ(eham.altitude, 3281);  // 1,000,000 mm
  EXPECT_EQ(eham.BGLpath, shownPath("scenery/test.bgl"));
  EXPECT_EQ(eham.Qf_real, 0);
  EXPECT_EQ(eham.Qf_soft, 0);
  EXPECT_TRUE(eham.publisher.empty());
  EXPECT_EQ(standNames(eham), (std::vector<std::string>{"helipad1", "helipad2", "g12", "A5", "7"}));
  EXPECT_EQ(sink.helipadCounts[0], 2);

  const Stand& h1 = eham.stands[0];
  EXPECT_TRUE(h1.heli);
  EXPECT_EQ(h1.type, 0);
  EXPECT_DOUBLE_EQ(h1.heading, 0.0);
  EXPECT_NEAR(h1.radius, 10.0 * metresToNm, 1e-12);
  EXPECT_NEAR(eham.stands[1].heading, 180.0 * degToRad, 1e-9);

  const Stand& s12 = eham.stands[2];
  EXPECT_EQ(s12.type, 4);
  EXPECT_FALSE(s12.heli);
  EXPECT_FALSE(s12.cargo);
  EXPECT_FALSE(s12.ramp);
  EXPECT_EQ(s12.number, 0u);
  EXPECT_NEAR(s12.radius, 30.0 * metresToNm, 1e-12);
  EXPECT_NEAR(s12.heading, 90.0 * degToRad, 1e-9);
  EXPECT_NEAR(s12.latitude, 52.308, 1e-6);
  EXPECT_NEAR(s12.longitude, 4.762, 1e-6);
  EXPECT_DOUBLE_EQ(eham.stands[3].heading, bgl::parkedHeadingZero);
  EXPECT_EQ(eham.stands[3].type, 5);
  EXPECT_EQ(eham.stands[4].type, 12);

  const ApfData& lowi = sink.written[1];
  EXPECT_EQ(lowi.icao, IcaoCode("LOWI"));
  EXPECT_EQ(lowi.airport_name, "Innsbruck");
  EXPECT_EQ(lowi.altitude, 1906);
  EXPECT_EQ(standNames(lowi), (std::vector<std::string>{"p1", "p2", "Z4095"}));
  EXPECT_NEAR(lowi.stands[1].latitude, 52.3002, 1e-6);
}

TEST(BglReader, NamePrefixesOfEveryCode) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases{
      {0, "7"},   {1, "r7"},  {2, "p7"},   {3, "np7"}, {4, "ep7"}, {5, "sep7"}, {6, "sp7"},
      {7, "swp7"}, {8, "wp7"}, {9, "nwp7"}, {10, "g7"}, {11, "7"},  {12, "A7"},  {37, "Z7"},
      {38, "7"},  {63, "7"}};
  for (const auto& [code, name] : cases) EXPECT_EQ(bgl::lf_parkingName(code, 7), name) << code;
  EXPECT_EQ(bgl::lf_parkingName(10, 4095), "g4095");
}

TEST(BglReader, IdentsAreDecodedAndChecked) {
  RecordingSink sink;
  sink.unsupported = {"ZZZZ"};
  struct Case {
    std::uint32_t word;
    std::string text;
    bool valid;
  };
  const std::uint32_t abcd = ((12u * 38 + 13) * 38 + 14) * 38 + 15;
  const std::vector<Case> cases{
      {abcd << 5, "ABCD", true},
      {(abcd << 5) | 0x1F, "ABCD", true},             // the low 5 bits do not matter
      {(12u * 38 + 13) << 5, "AB", false},            // 2 characters
      {((12u * 38 + 13) * 38 + 14) << 5, "ABC", false},  // 3 characters: no message
      {bw::packIdent("ZZZZ"), "ZZZZ", false},         // unsupported: a scan-log line
      {bw::packIdent("E0A9"), "E0A9", true},
      {bw::packIdent("AAAAA"), "AAAAA", false},
  };
  for (const Case& c : cases) {
    const IdentCheck check = lf_decodeIcaoIdent(c.word, sink);
    EXPECT_EQ(check.text, c.text);
    EXPECT_EQ(check.valid, c.valid) << c.text;
  }
  EXPECT_FALSE(bgl::lf_decodeIdentText(((12u * 38 + 1) * 38 + 14) << 5));  // '?' in it
  EXPECT_FALSE(bgl::lf_decodeIdentText(0));
  EXPECT_FALSE(bgl::lf_decodeIdentText(((12u * 38 + 0) * 38 + 14) << 5));  // a blank in it
  EXPECT_EQ(sink.lines, (std::vector<std::string>{"ZZZZ is not an airport supported by RealTraffic"}));
}

TEST(BglReader, AltitudeInFeetWithinItsRange) {
  const std::vector<std::pair<std::int32_t, std::int32_t>> cases{
      {1000000, 3281}, {0, 0}, {-3353, -11}, {-6096, -20}, {-6401, 0},  // -21 ft
      {3048000, 10000}, {3048200, 0}, {-2000000000, 0}, {2000000000, 0}};
  for (const auto& [mm, feet] : cases) {
    const RecordingSink sink = readFile(bw::airportFile({bw::simpleAirport("EHAM", "X", {gate(1)}, {}, false, mm)}));
    ASSERT_EQ(sink.written.size(), 1u);
    EXPECT_EQ(sink.written[0].altitude, feet) << mm;
  }
}

TEST(BglReader, AirportNames) {
  const auto nameOf = [](std::vector<bw::Record> subrecords) {
    subrecords.push_back(bw::parkingListRecord({gate(1)}));
    const RecordingSink sink = readFile(bw::airportFile({bw::airportRecord("EHAM", 0, std::move(subrecords))}));
    return sink.written.empty() ? std::string("<none>") : sink.written[0].airport_name;
  };
  EXPECT_EQ(nameOf({bw::nameRecord(std::string(94, 'x'))}), std::string(45, 'x'));  // size 100
  EXPECT_EQ(nameOf({bw::nameRecord("")}), "");
  EXPECT_EQ(nameOf({bw::nameRecord("Amsterdam")}), "Amsterdam");  // NUL padding removed
  EXPECT_EQ(nameOf({bw::nameRecord("One"), bw::nameRecord("Two")}), "");
  EXPECT_EQ(nameOf({bw::nameRecord("One"), bw::nameRecord("One")}), "One");
  EXPECT_EQ(nameOf({bw::nameRecord("One"), bw::nameRecord("Two"), bw::nameRecord("Three")}), "Three");
  EXPECT_EQ(nameOf({bw::nameRecord("Caf\xc3\xa9")}), "Caf\xc3\xa9");  // bytes, not converted
}

TEST(BglReader, DuplicateParkingIdsGetLetters) {
  std::vector<bw::Parking> parkings;
  for (int i = 0; i < 12; ++i) parkings.push_back(gate(12));
  const RecordingSink sink = readFile(bw::airportFile({bw::simpleAirport("EHAM", "X", parkings)}));
  ASSERT_EQ(sink.written.size(), 1u);
  EXPECT_EQ(standNames(sink.written[0]),
            (std::vector<std::string>{"g12", "g12a", "g12b", "g12c", "g12d", "g12e", "g12f", "g12g", "g12h",
                                      "g12i", "g12j"}));
  EXPECT_EQ(sink.lines, (std::vector<std::string>{"===> Warning: more than 10 duplicate IDs g12 in " + shownPath("scenery/test.bgl")}));
}

TEST(BglReader, StandsThatAreNotTaken) {
  bw::Parking origin = gate(1);
  origin.latitude = 0.00005;
  origin.longitude = -0.00005;
  bw::Parking equator = gate(2);
  equator.latitude = 0.0;
  equator.longitude = 10.0;
  bw::Parking vehicle = gate(3, 10, 0);
  bw::Parking fuel = gate(4, 10, 13);
  bw::Parking any = gate(5, 10, 12);
  bw::Parking broken = gate(6);
  broken.radius = std::nanf("");
  bw::Helipad pad;
  bw::Helipad again = pad;
  bw::Helipad nowhere;
  nowhere.latitude = 0.0;
  nowhere.longitude = 0.0;
  const RecordingSink sink = readFile(bw::airportFile(
      {bw::simpleAirport("EHAM", "Schiphol", {origin, equator, vehicle, fuel, any, broken}, {pad, again, nowhere})}));
  ASSERT_EQ(sink.written.size(), 1u);
  EXPECT_EQ(standNames(sink.written[0]), (std::vector<std::string>{"helipad1", "g2", "g5"}));
  EXPECT_EQ(sink.helipadCounts[0], 1);
  EXPECT_TRUE(sink.logged("LatLon 0.000050,-0.000050 invalid (skipped)"));
  EXPECT_TRUE(sink.logged("double helipad Schiphol (skipped) 52.310000,4.770000"));
  EXPECT_TRUE(sink.logged("lat/lon helipad incorrect (skipped): 0.000000,0.000000"));
  EXPECT_TRUE(sink.logged("radius/heading of g6 invalid"));
}

TEST(BglReader, LongAirportReadsOnlyItsOwnListForm) {
  // A 0x3D list inside a 0xAB airport is stepped over; the 0xAD list after it is read.
  bw::Record airport = bw::airportRecord(
      "LOWI", 0, {bw::nameRecord("I"), bw::parkingListRecord({gate(1)}, false), bw::parkingListRecord({gate(2)}, true)},
      true);
  RecordingSink sink = readFile(bw::airportFile({airport}));
  ASSERT_EQ(sink.written.size(), 1u);
  EXPECT_EQ(standNames(sink.written[0]), (std::vector<std::string>{"g2"}));
  // And a 0xAD list inside a 0x3C airport.
  bw::Record shortForm =
      bw::airportRecord("LOWI", 0, {bw::parkingListRecord({gate(1)}, true), bw::parkingListRecord({gate(3)})});
  sink = readFile(bw::airportFile({shortForm}));
  ASSERT_EQ(sink.written.size(), 1u);
  EXPECT_EQ(standNames(sink.written[0]), (std::vector<std::string>{"g3"}));
}

TEST(BglReader, LinkedAirportIsNotRead) {
  RecordingSink sink;
  sink.linked = {"EHAM"};
  const std::vector<std::uint32_t> words = toWords(
      bw::airportFile({bw::simpleAirport("EHAM", "A", {gate(1)}), bw::simpleAirport("LOWI", "B", {gate(1)})}).bytes());
  lf_processBGLwords(words, "x.bgl", sink);
  ASSERT_EQ(sink.written.size(), 1u);
  EXPECT_EQ(sink.written[0].icao, IcaoCode("LOWI"));
  EXPECT_EQ(sink.linkCalls, 2);
}

TEST(BglReader, SectionsThatAreNotRead) {
  const bw::Record airport = bw::simpleAirport("EHAM", "A", {gate(1)});
  bw::File file = bw::airportFile({airport});
  file.sections[0].flags = 0x10000;
  EXPECT_TRUE(readFile(file).written.empty());

  file = bw::airportFile({airport});
  file.headerSize = 0x3C;
  EXPECT_TRUE(readFile(file).written.empty());

  // Only the first subsection of an airport section is read; other section types are not.
  file = bw::airportFile({airport});
  file.sections[0].subsections.push_back(bw::Subsection{{bw::simpleAirport("LOWI", "B", {gate(1)})}, {}, {}});
  file.sections.insert(file.sections.begin(), bw::Section{0x65, 0, {bw::Subsection{{airport}, {}, {}}}, {}});
  file.sections.push_back(bw::Section{3, 0, {bw::Subsection{{bw::simpleAirport("EDDM", "C", {gate(1)})}, {}, {}}}, {}});
  const RecordingSink sink = readFile(file);
  ASSERT_EQ(sink.written.size(), 2u);
  EXPECT_EQ(sink.written[0].icao, IcaoCode("EHAM"));
  EXPECT_EQ(sink.written[1].icao, IcaoCode("EDDM"));
}

TEST(BglReader, QuickAirportSectionTest) {
  TempDir dir;
  const auto quick = [&](const std::vector<std::uint8_t>& bytes) {
    wdrx::testing::writeFile(dir / "q.bgl", std::string(bytes.begin(), bytes.end()));
    return lf_hasAirportSection(dir / "q.bgl");
  };
  bw::File file = bw::airportFile({bw::simpleAirport("EHAM", "A", {gate(1)})});
  EXPECT_TRUE(quick(file.bytes()));
  file.headerSize = 0x3C;  // not checked here
  EXPECT_TRUE(quick(file.bytes()));

  std::vector<std::uint8_t> header(56, 0);
  bw::setU32(header, 20, 1);
  EXPECT_FALSE(quick(header));  // 56 bytes
  header.push_back(3);
  EXPECT_FALSE(quick(header));  // 57 bytes, no room for one entry
  header.resize(76, 0);
  EXPECT_TRUE(quick(header));
  bw::setU32(header, 20, 2);
  EXPECT_FALSE(quick(header));  // two sections, room for one
  bw::setU32(header, 20, 0);
  EXPECT_FALSE(quick(header));

  bw::File other;
  other.sections.push_back(bw::Section{0x65, 0, {}, {}});
  other.sections.push_back(bw::Section{3, 0, {}, {}});
  EXPECT_TRUE(quick(other.bytes()));
  other.sections.pop_back();
  EXPECT_FALSE(quick(other.bytes()));
  EXPECT_FALSE(lf_hasAirportSection(dir / "missing.bgl"));
}

TEST(BglReader, ZeroSizedSubrecordKeepsTheStandsFoundBefore) {
  TempDir dir;
  LogCapture log;
  bw::Record broken{0x77, {0, 0}, {}, 0u};
  bw::Record airport = bw::airportRecord(
      "EHAM", 0, {bw::nameRecord("A"), bw::helipadRecord({}), broken, bw::parkingListRecord({gate(1)})});
  const RecordingSink sink = readFile(bw::airportFile({airport}));
  ASSERT_EQ(sink.written.size(), 1u);
  EXPECT_EQ(standNames(sink.written[0]), (std::vector<std::string>{"helipad1"}));
  EXPECT_NE(log.text().find("   Warning: decodeSizeAtBoundary returned 0 at o3 = "), std::string::npos);
}

TEST(BglReader, ReadingStaysWithinEachEnclosingStructure) {
  TempDir dir;
  LogCapture log;
  // A parking list claiming more entries than its record holds: the entries after the list
  // (here the helipad and the next airport) are never read as parkings.
  bw::Record list = bw::parkingListRecord({gate(1), gate(2)});
  list.body[0] = 0xFF;
  list.body[1] = 0x00;  // 255 entries
  bw::Record first = bw::airportRecord("EHAM", 0, {bw::nameRecord("A"), list});
  const RecordingSink sink = readFile(bw::airportFile({first, bw::simpleAirport("LOWI", "B", {gate(9)})}));
  ASSERT_EQ(sink.written.size(), 2u);
  EXPECT_EQ(standNames(sink.written[0]), (std::vector<std::string>{"g1", "g2"}));
  EXPECT_TRUE(sink.logged("EHAM: parking list ends after 2 of 255 entries"));
  EXPECT_EQ(standNames(sink.written[1]), (std::vector<std::string>{"g9"}));

  // An entry needs all of its nine words inside the list's record: eight are not enough.
  bw::Record padded = bw::parkingListRecord({gate(1), gate(2)});
  padded.body[0] = 3;
  padded.body.insert(padded.body.end(), 32, 0);
  const RecordingSink eight = readFile(bw::airportFile(
      {bw::airportRecord("EHAM", 0, {padded}), bw::simpleAirport("LOWI", "B", {gate(9)})}));
  ASSERT_EQ(eight.written.size(), 2u);
  EXPECT_EQ(standNames(eight.written[0]), (std::vector<std::string>{"g1", "g2"}));
  EXPECT_TRUE(eight.logged("EHAM: parking list ends after 2 of 3 entries"));

  // The name walk takes no name from behind the end of its airport record.
  bw::Record shortRecord = bw::airportRecord("EHAM", 0, {bw::parkingListRecord({gate(1)}), bw::nameRecord("Behind")});
  shortRecord.sizeOverride = static_cast<std::uint32_t>(shortRecord.size() - shortRecord.children[1].size());
  const RecordingSink names = readFile(bw::airportFile({shortRecord, bw::simpleAirport("LOWI", "B", {gate(9)})}));
  ASSERT_EQ(names.written.size(), 2u);
  EXPECT_EQ(names.written[0].airport_name, "");
  EXPECT_EQ(standNames(names.written[0]), (std::vector<std::string>{"g1"}));
  EXPECT_EQ(names.written[1].airport_name, "B");

  // A subrecord larger than its airport record ends that record's walk; the next airport is read.
  bw::Record oversized = bw::nameRecord("A");
  oversized.sizeOverride = 4000;
  const RecordingSink over = readFile(bw::airportFile(
      {bw::airportRecord("EHAM", 0, {bw::helipadRecord({}), oversized, bw::parkingListRecord({gate(1)})}),
       bw::simpleAirport("LOWI", "B", {gate(9)})}));
  ASSERT_EQ(over.written.size(), 2u);
  EXPECT_EQ(standNames(over.written[0]), (std::vector<std::string>{"helipad1"}));
  EXPECT_NE(log.text().find("runs past its airport record"), std::string::npos);

  // An airport record larger than its section is not read at all.
  bw::Record huge = bw::simpleAirport("EHAM", "A", {gate(1)});
  huge.sizeOverride = 0x7FFFFFF0;
  EXPECT_TRUE(readFile(bw::airportFile({huge})).written.empty());
  EXPECT_NE(log.text().find("runs past its section"), std::string::npos);

  // Records after the subsection's declared size are not read.
  bw::File file = bw::airportFile({bw::simpleAirport("EHAM", "A", {gate(1)}), bw::simpleAirport("LOWI", "B", {gate(1)})});
  file.sections[0].subsections[0].sizeOverride = static_cast<std::uint32_t>(file.sections[0].subsections[0].records[0].size());
  const RecordingSink bounded = readFile(file);
  ASSERT_EQ(bounded.written.size(), 1u);
  EXPECT_EQ(bounded.written[0].icao, IcaoCode("EHAM"));
}

TEST(BglReader, AdjacentHelipadsAreBothTaken) {
  bw::Helipad second;
  second.longitude += 0.01;
  const RecordingSink sink = readFile(bw::airportFile({bw::simpleAirport("EHAM", "A", {}, {bw::Helipad{}, second})}));
  ASSERT_EQ(sink.written.size(), 1u);
  EXPECT_EQ(standNames(sink.written[0]), (std::vector<std::string>{"helipad1", "helipad2"}));
  EXPECT_EQ(sink.helipadCounts[0], 2);
}

TEST(BglReader, OffsetsAndCountsOutsideTheFileAreIgnored) {
  bw::File file = bw::airportFile({bw::simpleAirport("EHAM", "A", {gate(1)})});
  file.sections[0].tableOffsetOverride = 0xFFFFFFF0;
  EXPECT_TRUE(readFile(file).written.empty());
  file = bw::airportFile({bw::simpleAirport("EHAM", "A", {gate(1)})});
  file.sections[0].subsections[0].offsetOverride = 0xFFFFFFFC;
  EXPECT_TRUE(readFile(file).written.empty());
  file = bw::airportFile({bw::simpleAirport("EHAM", "A", {gate(1)})});
  file.sectionCountOverride = 0xFFFFFFFF;
  EXPECT_TRUE(readFile(file).written.empty());
  // A file whose size is not a multiple of 4 keeps its last bytes.
  std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5, 6};
  const std::vector<std::uint32_t> words = toWords(bytes);
  EXPECT_EQ(words, (std::vector<std::uint32_t>{0x04030201, 0x0605}));
}

TEST(BglReader, DamagedFilesNeverReadOutsideTheirData) {
  // Random byte changes of a valid file: under the sanitizers any read outside the words fails.
  TempDir dir;
  LogCapture log;
  std::vector<bw::Parking> parkings{gate(1), gate(2), gate(2), gate(3, 12, 5)};
  const std::vector<std::uint8_t> good =
      bw::airportFile({bw::simpleAirport("EHAM", "Schiphol", parkings, {bw::Helipad{}}),
                       bw::simpleAirport("LOWI", "Innsbruck", parkings, {}, true)})
          .bytes();
  std::mt19937 random(16);
  std::uniform_int_distribution<std::size_t> position(0, good.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::size_t written = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes = good;
    const int changes = 1 + round % 4;
    for (int c = 0; c < changes; ++c) bytes[position(random)] = static_cast<std::uint8_t>(byte(random));
    if (round % 5 == 0) bytes.resize(position(random));
    written += readBytes(bytes).written.size();
  }
  EXPECT_GT(written, 0u);
}
