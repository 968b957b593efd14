#pragma once
// A small writer of BGL scenery files for tests, fuzz seeds and benchmarks: the file header, the
// section table, subsection tables, airport records with name, helipad and parking-list
// subrecords, and raw records of any id. Sizes are filled in unless a test overrides them.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wdrx::testing::bgl {

// The packed forms the scenery files use.
std::uint32_t packLatitude(double latitude);
std::uint32_t packLongitude(double longitude);
// The ident word of an airport code: base-38 digits (blank 0, '?' 1, '0'..'9' 2..11,
// 'A'..'Z' 12..37), shifted left by 5 bits; lowBits fills the 5 bits below.
std::uint32_t packIdent(const std::string& code, std::uint32_t lowBits = 0);

// One record or subrecord: a u16 id, a u32 size (of the whole record), a body and children.
struct Record {
  std::uint16_t id = 0;
  std::vector<std::uint8_t> body;  // the bytes after the 6-byte header, before the children
  std::vector<Record> children;
  std::optional<std::uint32_t> sizeOverride;  // written in place of the real size

  std::vector<std::uint8_t> bytes() const;
  std::size_t size() const;  // the real size in bytes
};

// Little-endian appends to a body.
void putU16(std::vector<std::uint8_t>& out, std::uint16_t value);
void putU32(std::vector<std::uint8_t>& out, std::uint32_t value);
void putF32(std::vector<std::uint8_t>& out, float value);
// Sets the u32 at a byte offset, growing the body with zeros when needed.
void setU32(std::vector<std::uint8_t>& out, std::size_t offset, std::uint32_t value);

struct Parking {
  std::uint32_t nameCode = 10;  // "g"
  std::uint32_t type = 4;       // a ramp gate
  std::uint32_t number = 1;
  float radius = 20.0f;  // metres
  float heading = 90.0f;  // degrees
  double latitude = 52.3;
  double longitude = 4.76;
  std::uint32_t airlineCodes = 0;
};

struct Helipad {
  double latitude = 52.31;
  double longitude = 4.77;
  float width = 20.0f;  // metres
  float heading = 45.0f;
};

Record nameRecord(const std::string& name);  // 0x19, padded with NULs to whole words
Record helipadRecord(const Helipad& helipad);  // 0x26, 9 words
// 0x3D (9-word entries) or, for the long form, 0xAD (10-word entries).
Record parkingListRecord(const std::vector<Parking>& parkings, bool longForm = false);
// An airport record, 0x3C or (longForm) 0xAB; altitude in millimetres; children as given.
Record airportRecord(const std::string& code, std::int32_t altitudeMm, std::vector<Record> children,
                     bool longForm = false, std::uint32_t identLowBits = 0);
// The usual airport: a name, the helipads, then one parking list.
Record simpleAirport(const std::string& code, const std::string& name,
                     const std::vector<Parking>& parkings,
                     const std::vector<Helipad>& helipads = {}, bool longForm = false,
                     std::int32_t altitudeMm = 1000000);

struct Subsection {
  std::vector<Record> records;
  std::optional<std::uint32_t> sizeOverride;    // of the records' bytes
  std::optional<std::uint32_t> offsetOverride;  // file offset of the records
};

struct Section {
  std::uint32_t type = 3;  // airport
  std::uint32_t flags = 0;  // bit 16 set: not the 16-byte subsection entries
  std::vector<Subsection> subsections;
  std::optional<std::uint32_t> tableOffsetOverride;
};

struct File {
  std::uint32_t headerSize = 0x38;
  std::vector<Section> sections;
  std::optional<std::uint32_t> sectionCountOverride;

  std::vector<std::uint8_t> bytes() const;
  void write(const std::filesystem::path& path) const;  // creates the folders
};

// A file of one airport section holding the given airport records (one subsection).
File airportFile(std::vector<Record> airports);

}  // namespace wdrx::testing::bgl
