#pragma once
// Reader of the airport records in BGL scenery files: the quick airport-section test, and the
// decoding of each usable airport record (name, altitude, parking spots, helipads) into an
// ApfData record handed to the add-on airport scan. Every count and size read from a file is
// checked against the enclosing subrecord, record, section and file before it is used.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "foundation/fixed_code.hpp"
#include "foundation/geodesy.hpp"
#include "parking/stand.hpp"

namespace bgl {
inline constexpr std::uint32_t headerSizeWord = 0x38;
inline constexpr std::uint32_t airportSectionType = 3;
inline constexpr std::uint32_t wideSubsectionFlag = 1u << 16;
inline constexpr std::uint16_t airportId = 0x3C;
inline constexpr std::uint16_t airportLongId = 0xAB;
inline constexpr std::uint16_t nameId = 0x19;
inline constexpr std::uint16_t helipadId = 0x26;
inline constexpr std::uint16_t parkingListId = 0x3D;
inline constexpr std::uint16_t parkingListLongId = 0xAD;
inline constexpr std::uint64_t maxWalkSteps = 9000;
inline constexpr double parkedHeadingZero = 6.283185307179586;  // a stored 0 means due north

using Words = std::span<const std::uint32_t>;

struct RecordHeader {
  std::uint16_t id = 0;
  std::uint64_t sizeWords = 0;  // the size field / 4, rounded down
};
// The header of the record at word index, when both of its words lie below end.
std::optional<RecordHeader> lf_recordHeader(Words words, std::uint64_t index, std::uint64_t end);

LatLon lf_decodeLatLon(std::uint32_t latitudeWord, std::uint32_t longitudeWord);
bool lf_isValidLatLon(const LatLon& position);

// The base-38 text of an ident word; none when a digit is blank or '?'.
std::optional<std::string> lf_decodeIdentText(std::uint32_t identWord);
// The stand name of a parking entry: its name-code text followed by its number.
std::string lf_parkingName(std::uint32_t nameCode, std::uint32_t number);
}  // namespace bgl

// What the reader hands its results to: the add-on airport scan, or a test double.
class BglAirportSink {
 public:
  virtual ~BglAirportSink() = default;
  virtual void scanLogLine(std::string line) = 0;  // one line of AirportsScanLog.txt
  virtual bool isSupportedAirport(const IcaoCode& code) = 0;
  // True when the airport was linked to an archived airport file; its stands are not read.
  virtual bool linkArchivedAirport(ApfData& airport) = 0;
  virtual void writeGeneratedAirport(ApfData& airport, int helipads) = 0;
};

// Whether the file has an airport section; reads only the header and the section types.
bool lf_hasAirportSection(const std::filesystem::path& path);
// The same on a file open in binary; the scan then reads it from the same stream.
bool lf_hasAirportSection(std::istream& in);

// The whole stream as little-endian words; a last partial word is padded with zero bytes.
std::vector<std::uint32_t> lf_readFileWords(std::istream& in);

// Reads one file, open in binary (from its start), and hands each usable airport record to the
// sink. A file that is no BGL file is passed over silently; an exception is logged and passed on.
void lf_processBGLfile(std::istream& in, const std::filesystem::path& path, BglAirportSink& sink);
// The same on words already in memory (the fuzz target and the benchmarks enter here).
void lf_processBGLwords(bgl::Words words, const std::filesystem::path& path, BglAirportSink& sink);

struct IdentCheck {
  std::string text;
  bool valid = false;
};
IdentCheck lf_decodeIcaoIdent(std::uint32_t identWord, BglAirportSink& sink);
IdentCheck lf_isRealTrafficAirport(std::string text, BglAirportSink& sink);

struct AirportBasics {
  std::string name;
  std::int32_t altitudeFeet = 0;
};
// The record's altitude and name; recordEnd bounds the walk over its subrecords.
AirportBasics lf_decodeAirportBasics(std::uint64_t record, bgl::Words words, bool isLong,
                                     std::uint64_t recordEnd);
std::string lf_decodeAirportNAME(bgl::Words words, std::uint64_t subrecord, std::uint64_t subrecordEnd);

// One airport record of sizeWords words at word index record (it lies within words).
void lf_processAirportRecord(std::uint64_t record, bgl::Words words, bool isLong,
                             std::uint64_t sizeWords, const IcaoCode& icao,
                             const std::filesystem::path& path, BglAirportSink& sink);

struct HelipadState {
  std::vector<LatLon> positions;
  int counter = 1;
};
void lf_readBglHelipad(std::uint64_t subrecord, std::uint64_t subrecordEnd, bgl::Words words,
                       ApfData& airport, HelipadState& helipads, BglAirportSink& sink);
void lf_readBglParkings(std::uint64_t subrecord, std::uint64_t subrecordEnd, bgl::Words words,
                        ApfData& airport, std::set<std::string>& usedIds, bool isLong,
                        const std::filesystem::path& path, BglAirportSink& sink);
std::optional<std::string> lf_uniqueParkingId(const std::string& id, std::set<std::string>& usedIds,
                                              const std::filesystem::path& path,
                                              BglAirportSink& sink);
