#include "support/bgl_writer.hpp"

#include <bit>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace wdrx::testing::bgl {

std::uint32_t packLatitude(double latitude) {
  return static_cast<std::uint32_t>(std::llround((90.0 - latitude) * 536870912.0 / 180.0));
}

std::uint32_t packLongitude(double longitude) {
  return static_cast<std::uint32_t>(std::llround((longitude + 180.0) * 805306368.0 / 360.0));
}

std::uint32_t packIdent(const std::string& code, std::uint32_t lowBits) {
  std::uint32_t value = 0;
  for (char c : code) {
    std::uint32_t digit = 0;
    if (c == ' ') digit = 0;
    else if (c == '?') digit = 1;
    else if (c >= '0' && c <= '9') digit = 2 + static_cast<std::uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'Z') digit = 12 + static_cast<std::uint32_t>(c - 'A');
    else throw std::invalid_argument("packIdent: " + code);
    value = value * 38 + digit;
  }
  return (value << 5) | (lowBits & 0x1F);
}

void putU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putF32(std::vector<std::uint8_t>& out, float value) { putU32(out, std::bit_cast<std::uint32_t>(value)); }

void setU32(std::vector<std::uint8_t>& out, std::size_t offset, std::uint32_t value) {
  if (out.size() < offset + 4) out.resize(offset + 4, 0);
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::size_t Record::size() const {
  std::size_t total = 6 + body.size();
  for (const Record& child : children) total += child.size();
  return total;
}

std::vector<std::uint8_t> Record::bytes() const {
  std::vector<std::uint8_t> out;
  out.reserve(size());
  putU16(out, id);
  putU32(out, sizeOverride.value_or(static_cast<std::uint32_t>(size())));
  out.insert(out.end(), body.begin(), body.end());
  for (const Record& child : children) {
    const std::vector<std::uint8_t> bytes = child.bytes();
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

Record nameRecord(const std::string& name) {
  Record record{0x19, {}, {}, {}};
  record.body.assign(name.begin(), name.end());
  while ((6 + record.body.size()) % 4 != 0) record.body.push_back(0);
  return record;
}

Record helipadRecord(const Helipad& helipad) {
  // Body bytes 6..35 of the 36-byte record: longitude at 12, latitude at 16, width at 28,
  // heading at 32.
  Record record{0x26, {}, {}, {}};
  std::vector<std::uint8_t> bytes(36, 0);
  setU32(bytes, 12, packLongitude(helipad.longitude));
  setU32(bytes, 16, packLatitude(helipad.latitude));
  setU32(bytes, 28, std::bit_cast<std::uint32_t>(helipad.width));
  setU32(bytes, 32, std::bit_cast<std::uint32_t>(helipad.heading));
  record.body.assign(bytes.begin() + 6, bytes.end());
  return record;
}

Record parkingListRecord(const std::vector<Parking>& parkings, bool longForm) {
  Record record{static_cast<std::uint16_t>(longForm ? 0xAD : 0x3D), {}, {}, {}};
  putU16(record.body, static_cast<std::uint16_t>(parkings.size()));
  for (const Parking& p : parkings) {
    putU32(record.body, (p.nameCode & 0x3F) | ((p.type & 0xF) << 8) | ((p.number & 0xFFF) << 12) |
                            ((p.airlineCodes & 0xFF) << 24));
    putF32(record.body, p.radius);
    putF32(record.body, p.heading);
    for (int i = 0; i < 4; ++i) putU32(record.body, 0);
    putU32(record.body, packLongitude(p.longitude));
    putU32(record.body, packLatitude(p.latitude));
    if (longForm) putU32(record.body, 0);
    for (std::uint32_t i = 0; i < p.airlineCodes; ++i) putU32(record.body, 0x4D4C4B);  // "KLM"
  }
  return record;
}

Record airportRecord(const std::string& code, std::int32_t altitudeMm, std::vector<Record> children,
                     bool longForm, std::uint32_t identLowBits) {
  Record record{static_cast<std::uint16_t>(longForm ? 0xAB : 0x3C), {}, std::move(children), {}};
  const std::size_t fixedBytes = longForm ? 60 : 56;
  std::vector<std::uint8_t> bytes(fixedBytes, 0);
  setU32(bytes, 20, static_cast<std::uint32_t>(altitudeMm));
  setU32(bytes, 40, packIdent(code, identLowBits));
  record.body.assign(bytes.begin() + 6, bytes.end());
  return record;
}

Record simpleAirport(const std::string& code, const std::string& name,
                     const std::vector<Parking>& parkings, const std::vector<Helipad>& helipads,
                     bool longForm, std::int32_t altitudeMm) {
  std::vector<Record> children{nameRecord(name)};
  for (const Helipad& h : helipads) children.push_back(helipadRecord(h));
  children.push_back(parkingListRecord(parkings, longForm));
  return airportRecord(code, altitudeMm, std::move(children), longForm);
}

std::vector<std::uint8_t> File::bytes() const {
  std::vector<std::uint8_t> out(56, 0);
  setU32(out, 0, 0x19920201);
  setU32(out, 4, headerSize);
  setU32(out, 20, sectionCountOverride.value_or(static_cast<std::uint32_t>(sections.size())));
  out.resize(56 + 20 * sections.size(), 0);

  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section& section = sections[i];
    const std::size_t entry = 56 + 20 * i;
    const std::size_t table = out.size();
    setU32(out, entry, section.type);
    setU32(out, entry + 4, section.flags);
    setU32(out, entry + 8, static_cast<std::uint32_t>(section.subsections.size()));
    setU32(out, entry + 12, section.tableOffsetOverride.value_or(static_cast<std::uint32_t>(table)));
    setU32(out, entry + 16, static_cast<std::uint32_t>(16 * section.subsections.size()));
    out.resize(table + 16 * section.subsections.size(), 0);
    for (std::size_t k = 0; k < section.subsections.size(); ++k) {
      const Subsection& sub = section.subsections[k];
      const std::size_t start = out.size();
      for (const Record& record : sub.records) {
        const std::vector<std::uint8_t> bytes = record.bytes();
        out.insert(out.end(), bytes.begin(), bytes.end());
      }
      const std::size_t subEntry = table + 16 * k;
      setU32(out, subEntry, 0);
      setU32(out, subEntry + 4, static_cast<std::uint32_t>(sub.records.size()));
      setU32(out, subEntry + 8, sub.offsetOverride.value_or(static_cast<std::uint32_t>(start)));
      setU32(out, subEntry + 12,
             sub.sizeOverride.value_or(static_cast<std::uint32_t>(out.size() - start)));
    }
  }
  return out;
}

void File::write(const std::filesystem::path& path) const {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  const std::vector<std::uint8_t> data = bytes();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("bgl::File::write failed: " + path.string());
}

File airportFile(std::vector<Record> airports) {
  File file;
  file.sections.push_back(Section{3, 0, {Subsection{std::move(airports), {}, {}}}, {}});
  return file;
}

}  // namespace wdrx::testing::bgl
