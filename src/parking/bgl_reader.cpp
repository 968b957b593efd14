// Reads the airport records of BGL scenery files into ApfData records. The file is held as
// 32-bit words; every walk is bounded by the words of its enclosing structure and capped.
#include "parking/bgl_reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"

namespace bgl {

std::optional<RecordHeader> lf_recordHeader(Words words, std::uint64_t index, std::uint64_t end) {
  end = std::min<std::uint64_t>(end, words.size());
  if (index >= end || end - index < 2) return std::nullopt;
  const std::uint32_t first = words[index];
  const std::uint32_t second = words[index + 1];
  const std::uint32_t sizeBytes = (first >> 16) | ((second & 0xFFFFu) << 16);
  return RecordHeader{static_cast<std::uint16_t>(first & 0xFFFFu), sizeBytes / 4u};
}

LatLon lf_decodeLatLon(std::uint32_t latitudeWord, std::uint32_t longitudeWord) {
  return LatLon{90.0 - latitudeWord * 3.3527612686157227e-07,
                longitudeWord * 4.470348358154297e-07 - 180.0};
}

bool lf_isValidLatLon(const LatLon& p) {
  if (!(p.lat >= -90.0 && p.lat <= 90.0)) return false;
  if (!(p.lon >= -180.0 && p.lon <= 180.0)) return false;
  return !(std::fabs(p.lat) <= 0.0001 && std::fabs(p.lon) <= 0.0001);
}

std::optional<std::string> lf_decodeIdentText(std::uint32_t identWord) {
  std::uint32_t value = identWord >> 5;
  std::string reversed;
  do {
    const std::uint32_t digit = value % 38;
    value /= 38;
    if (digit < 2) return std::nullopt;  // blank or '?'
    reversed.push_back(digit < 12 ? static_cast<char>('0' + (digit - 2))
                                  : static_cast<char>('A' + (digit - 12)));
  } while (value != 0);
  return std::string(reversed.rbegin(), reversed.rend());
}

std::string lf_parkingName(std::uint32_t nameCode, std::uint32_t number) {
  static constexpr std::array<const char*, 12> prefixes{"",   "r",  "p",   "np", "ep", "sep",
                                                        "sp", "swp", "wp", "nwp", "g", ""};
  std::string prefix;
  if (nameCode < prefixes.size()) prefix = prefixes[nameCode];
  else if (nameCode <= 37) prefix = std::string(1, static_cast<char>('A' + (nameCode - 12)));
  return prefix + std::to_string(number);
}

}  // namespace bgl

using namespace bgl;

namespace {

float lf_wordFloat(std::uint32_t word) { return std::bit_cast<float>(word); }

std::string lf_latLonText(const LatLon& p) { return wdrx::format("{:.6f},{:.6f}", p.lat, p.lon); }

// The records of one airport section as word indices [first, end), or none when the section
// is not one this reader takes.
struct RecordRange {
  std::uint64_t first = 0;
  std::uint64_t end = 0;
};

std::optional<RecordRange> lf_airportSectionRecords(Words words, std::uint64_t entry) {
  const std::uint64_t n = words.size();
  if (entry + 3 >= n) return std::nullopt;
  if (words[entry] != airportSectionType) return std::nullopt;
  if ((words[entry + 1] & wideSubsectionFlag) != 0) return std::nullopt;
  // Only the first subsection is read: its record offset and the size of its records.
  const std::uint64_t table = words[entry + 3] / 4u;
  if (table >= n || n - table < 4) return std::nullopt;
  const std::uint64_t offset = words[table + 2];
  const std::uint64_t size = words[table + 3];
  RecordRange range{offset / 4, n};
  // A size of 0 gives no bound of its own; the file still bounds the walk.
  if (size != 0) range.end = std::min<std::uint64_t>(n, (offset + size + 3) / 4);
  return range;
}

}  // namespace

bool lf_hasAirportSection(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return in && lf_hasAirportSection(in);
}

bool lf_hasAirportSection(std::istream& in) {
  if (!in.seekg(0, std::ios::end)) return false;
  const std::streamoff end = in.tellg();
  if (end < 57) return false;
  const auto size = static_cast<std::uint64_t>(end);
  const auto readWordAt = [&in](std::uint64_t offset) -> std::optional<std::uint32_t> {
    std::array<unsigned char, 4> bytes{};
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), 4)) return std::nullopt;
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  };
  const std::optional<std::uint32_t> count = readWordAt(20);
  if (!count || *count == 0 || *count > (size - 56) / 20) return false;
  for (std::uint64_t i = 0; i < *count; ++i) {
    const std::uint64_t entry = 56 + 20 * i;
    if (entry + 4 > size) return false;
    const std::optional<std::uint32_t> type = readWordAt(entry);
    if (!type) return false;
    if (*type == airportSectionType) return true;
  }
  return false;
}

std::vector<std::uint32_t> lf_readFileWords(std::istream& in) {
  std::vector<char> bytes;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size > 0) {
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), size);
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  }
  std::vector<std::uint32_t> words((bytes.size() + 3) / 4, 0);
  if constexpr (std::endian::native == std::endian::little) {
    if (!bytes.empty()) std::memcpy(words.data(), bytes.data(), bytes.size());
  } else {
    for (std::size_t i = 0; i < bytes.size(); ++i)
      words[i / 4] |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * (i % 4));
  }
  return words;
}

void lf_processBGLfile(std::istream& in, const std::filesystem::path& path, BglAirportSink& sink) {
  try {
    in.clear();
    const std::vector<std::uint32_t> words = lf_readFileWords(in);
    lf_processBGLwords(words, path, sink);
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("Exception in lf_processBGLfile (std::ex): {} \x97 {}", gf_pathToUtf8(path),
                              e.what()));
    throw;
  } catch (...) {
    gf_logMarked(wdrx::format("Exception in lf_processBGLfile: {}", gf_pathToUtf8(path)));
    throw;
  }
}

void lf_processBGLwords(Words words, const std::filesystem::path& path, BglAirportSink& sink) {
  const std::uint64_t n = words.size();
  if (n < 15 || words[1] != headerSizeWord) return;
  const std::uint64_t count = words[5];
  if (count == 0 || n < 14 + 5 * count) return;

  for (std::uint64_t i = 0; i < count; ++i) {
    const std::optional<RecordRange> range = lf_airportSectionRecords(words, 14 + 5 * i);
    if (!range) continue;
    std::uint64_t p = range->first;
    std::uint64_t steps = 0;
    while (p < range->end) {
      if (steps >= maxWalkSteps) {
        gf_logMarked(wdrx::format(
            "Error: maximum loop iterations {} reached (2) \x97 possible corrupt BGL or malformed input in:\n'{}'",
            maxWalkSteps, gf_pathToUtf8(path)));
        break;
      }
      const std::optional<RecordHeader> header = lf_recordHeader(words, p, range->end);
      if (!header) break;
      const std::uint64_t s = header->sizeWords;
      if (header->id == airportId || header->id == airportLongId) {
        if (s == 0) {
          gf_logMarked(wdrx::format("   Warning: decodeSizeAtBoundary returned {} at o2 = {}", 0, p));
          break;
        }
        if (s > range->end - p) {
          gf_logMarked(wdrx::format("   Warning: airport record at o2 = {} of {} words runs past its section",
                                    p, s));
          break;
        }
        if (s > 10) {
          const IdentCheck ident = lf_decodeIcaoIdent(words[p + 10], sink);
          if (ident.valid)
            lf_processAirportRecord(p, words, header->id == airportLongId, s, IcaoCode(ident.text), path, sink);
        }
      }
      if (s == 0) break;
      p += s;
      ++steps;
    }
  }
}

IdentCheck lf_decodeIcaoIdent(std::uint32_t identWord, BglAirportSink& sink) {
  const std::optional<std::string> text = lf_decodeIdentText(identWord);
  if (!text) return IdentCheck{};
  return lf_isRealTrafficAirport(*text, sink);
}

IdentCheck lf_isRealTrafficAirport(std::string text, BglAirportSink& sink) {
  if (text.size() != 3 && text.size() != 4) return IdentCheck{text, false};
  for (char& c : text) c = gf_toUpperChar(c);
  if (text.size() == 3) return IdentCheck{text, false};
  bool supported = false;
  try {
    supported = sink.isSupportedAirport(IcaoCode(text));
  } catch (const std::invalid_argument&) {
    supported = false;  // not four letters or digits
  }
  if (!supported) sink.scanLogLine(wdrx::format("{} is not an airport supported by RealTraffic", text));
  return IdentCheck{text, supported};
}

AirportBasics lf_decodeAirportBasics(std::uint64_t record, Words words, bool isLong, std::uint64_t recordEnd) {
  AirportBasics basics;
  const auto altitudeMm = static_cast<std::int32_t>(words[record + 5]);
  const double feet = std::round(altitudeMm * 3.2808399 / 1000.0);
  if (feet >= -20.0 && feet <= 10000.0) basics.altitudeFeet = static_cast<std::int32_t>(feet);

  std::uint64_t q = record + (isLong ? 15 : 14);
  std::uint64_t steps = 0;
  while (q < recordEnd) {
    if (steps >= maxWalkSteps) {
      gf_logMarked(
          "Error: Maximum loop iterations reached (3) \x97 possible corrupt Airport Basic data or malformed input.");
      break;
    }
    const std::optional<RecordHeader> header = lf_recordHeader(words, q, recordEnd);
    if (!header) break;
    if (header->sizeWords == 0) {
      gf_logMarked(wdrx::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", q));
      break;
    }
    if (header->sizeWords > recordEnd - q) break;  // the subrecord walk reports it
    if (header->id == nameId) {
      const std::string text = lf_decodeAirportNAME(words, q, q + header->sizeWords);
      if (basics.name.empty()) basics.name = text;
      else if (text != basics.name) basics.name.clear();
    }
    q += header->sizeWords;
    ++steps;
  }
  return basics;
}

std::string lf_decodeAirportNAME(Words words, std::uint64_t subrecord, std::uint64_t subrecordEnd) {
  std::string name;
  try {
    subrecordEnd = std::min<std::uint64_t>(subrecordEnd, words.size());
    if (subrecord >= subrecordEnd) return name;
    const std::int64_t declared = static_cast<std::int64_t>(words[subrecord] >> 16) - 6;
    const std::uint64_t length = static_cast<std::uint64_t>(std::clamp<std::int64_t>(declared, 0, 45));
    if (length == 0) return name;
    const std::uint64_t subrecordBytes = 4 * (subrecordEnd - subrecord);
    const std::uint64_t availableBytes = subrecordBytes > 6 ? subrecordBytes - 6 : 0;
    std::uint64_t take = length;
    if (length > availableBytes) {
      const std::uint64_t availableWords = subrecordEnd - subrecord > 2 ? subrecordEnd - subrecord - 2 : 0;
      gf_logFlush(wdrx::format("! name blocks truncated at o3={}, available={}", subrecord, availableWords));
      take = availableBytes;
    }
    const std::uint64_t firstByte = 4 * subrecord + 6;
    name.reserve(take);
    for (std::uint64_t b = firstByte; b < firstByte + take; ++b)
      name.push_back(static_cast<char>((words[b / 4] >> (8 * (b % 4))) & 0xFFu));
    while (!name.empty() && name.back() == '\0') name.pop_back();
  } catch (...) {
    gf_logFlush("lf_decodeAirportNAME EXCEPTION");
  }
  return name;
}

void lf_processAirportRecord(std::uint64_t record, Words words, bool isLong, std::uint64_t sizeWords,
                             const IcaoCode& icao, const std::filesystem::path& path, BglAirportSink& sink) {
  const std::uint64_t end = std::min<std::uint64_t>(words.size(), record + sizeWords);
  ApfData airport;
  airport.icao = icao;
  airport.BGLpath = gf_pathToUtf8(path);
  airport.Qf_real = 0;
  airport.Qf_soft = 0;
  if (sink.linkArchivedAirport(airport)) return;

  const AirportBasics basics = lf_decodeAirportBasics(record, words, isLong, end);
  airport.altitude = basics.altitudeFeet;
  airport.airport_name = basics.name;

  std::set<std::string> usedIds;
  HelipadState helipads;
  const std::uint16_t listId = isLong ? parkingListLongId : parkingListId;
  std::uint64_t q = record + (isLong ? 15 : 14);
  std::uint64_t steps = 0;
  while (q < end) {
    if (steps >= maxWalkSteps) {
      gf_logMarked("Error: Maximum loop iterations reached (1) \x97 possible corrupt SIA or malformed input");
      break;
    }
    const std::optional<RecordHeader> header = lf_recordHeader(words, q, end);
    if (!header) {
      gf_logFlush(wdrx::format("   Error: o3={} exceeded data buffer size ({}), aborting.", q, end));
      break;
    }
    const std::uint64_t size = header->sizeWords;
    if (size > end - q) {
      gf_logFlush(wdrx::format("   Error: subrecord at o3={} of {} words runs past its airport record ({}), aborting.",
                               q, size, end));
      break;
    }
    if (header->id == listId) {
      lf_readBglParkings(q, q + size, words, airport, usedIds, isLong, path, sink);
      break;
    }
    if (header->id == helipadId) lf_readBglHelipad(q, q + size, words, airport, helipads, sink);
    if (size == 0) {
      const std::string warning = wdrx::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", q);
      if (header->id == nameId || header->id == helipadId) gf_logMarked(warning);
      else gf_logFlush(warning);
      break;
    }
    q += size;
    ++steps;
  }
  sink.writeGeneratedAirport(airport, helipads.counter - 1);
}

void lf_readBglHelipad(std::uint64_t subrecord, std::uint64_t subrecordEnd, Words words, ApfData& airport,
                       HelipadState& helipads, BglAirportSink& sink) {
  subrecordEnd = std::min<std::uint64_t>(subrecordEnd, words.size());
  if (subrecord >= subrecordEnd || subrecordEnd - subrecord < 9) return;
  const LatLon position = lf_decodeLatLon(words[subrecord + 4], words[subrecord + 3]);
  if (!lf_isValidLatLon(position)) {
    sink.scanLogLine("lat/lon helipad incorrect (skipped): " + lf_latLonText(position));
    return;
  }
  for (const LatLon& taken : helipads.positions) {
    if (std::fabs(taken.lat - position.lat) < 1e-8 &&
        std::fabs(taken.lon - position.lon) < 1e-8) {
      sink.scanLogLine("double helipad " + airport.airport_name + " (skipped) " + lf_latLonText(position));
      return;
    }
  }
  const float width = lf_wordFloat(words[subrecord + 7]);
  const float heading = lf_wordFloat(words[subrecord + 8]);
  if (!std::isfinite(width) || !std::isfinite(heading)) {
    sink.scanLogLine("width/heading helipad incorrect (skipped): " + lf_latLonText(position));
    return;
  }
  helipads.positions.push_back(position);
  const double radians = heading == 0.0f ? 0.0 : heading * degToRad;
  airport.stands.emplace_back(std::vector<StandOption>{}, wdrx::format("helipad{}", helipads.counter),
                              StandPosition{position.lat, position.lon, radians},
                              width * 0.5, std::uint16_t{0}, false, false, true);
  ++helipads.counter;
}

void lf_readBglParkings(std::uint64_t subrecord, std::uint64_t subrecordEnd, Words words, ApfData& airport,
                        std::set<std::string>& usedIds, bool isLong, const std::filesystem::path& path,
                        BglAirportSink& sink) {
  subrecordEnd = std::min<std::uint64_t>(subrecordEnd, words.size());
  if (subrecord >= subrecordEnd || subrecordEnd - subrecord < 2) return;
  const std::uint64_t count = words[subrecord + 1] >> 16;
  std::uint64_t entry = subrecord + 2;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (entry >= subrecordEnd || subrecordEnd - entry < 9) {
      sink.scanLogLine(wdrx::format("{}: parking list ends after {} of {} entries (truncated record)",
                                    airport.icao, i, count));
      return;
    }
    const std::uint32_t first = words[entry];
    const std::uint32_t nameCode = first & 0x3Fu;
    const auto type = static_cast<std::uint16_t>((first >> 8) & 0xFu);
    const std::uint32_t number = (first >> 12) & 0xFFFu;
    const std::uint64_t airlines = first >> 24;
    const std::uint64_t at = entry;
    entry += 9 + (isLong ? 1 : 0) + airlines;

    if (type == 0 || type == 13) continue;
    const LatLon position = lf_decodeLatLon(words[at + 8], words[at + 7]);
    if (!lf_isValidLatLon(position)) {
      sink.scanLogLine(wdrx::format("LatLon {} invalid (skipped)", lf_latLonText(position)));
      continue;
    }
    const float radius = lf_wordFloat(words[at + 1]);
    const float heading = lf_wordFloat(words[at + 2]);
    const std::string id = lf_parkingName(nameCode, number);
    if (!std::isfinite(radius) || !std::isfinite(heading)) {
      sink.scanLogLine(wdrx::format("{}: radius/heading of {} invalid (skipped)", airport.icao, id));
      continue;
    }
    std::optional<std::string> unique = lf_uniqueParkingId(id, usedIds, path, sink);
    if (!unique) continue;
    const double radians = heading == 0.0f ? parkedHeadingZero : heading * degToRad;
    airport.stands.emplace_back(std::vector<StandOption>{}, std::move(*unique),
                                StandPosition{position.lat, position.lon, radians},
                                static_cast<double>(radius), type, false, false, false);
  }
}

std::optional<std::string> lf_uniqueParkingId(const std::string& id, std::set<std::string>& usedIds,
                                              const std::filesystem::path& path, BglAirportSink& sink) {
  if (usedIds.insert(id).second) return id;
  for (char suffix = 'a'; suffix <= 'j'; ++suffix) {
    std::string candidate = id + suffix;
    if (usedIds.insert(candidate).second) return candidate;
  }
  sink.scanLogLine(wdrx::format("{}Warning: more than 10 duplicate IDs {} in {}", "===> ", id, gf_pathToUtf8(path)));
  return std::nullopt;
}
