#include "foundation/text.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <unordered_map>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/hooks.hpp"
#include "foundation/log.hpp"
#include "platform/code_page.hpp"
#include "platform/utf.hpp"

// ---------------------------------------------------------------- conversions

std::string wide_to_utf8(std::u16string_view text) {
  auto converted = platform::utf16ToUtf8(text);
  if (!converted) throw std::runtime_error("wide_to_utf8: invalid UTF-16");
  return std::move(*converted);
}

std::u16string utf8_to_wide(std::string_view text) {
  auto converted = platform::utf8ToUtf16(text);
  if (!converted) throw std::runtime_error("utf8_to_wide: invalid UTF-8");
  return std::move(*converted);
}

// Paths are UTF-8 on posix systems; on Windows the path's wide text goes through wide_to_utf8.
std::string gf_pathToUtf8(const std::filesystem::path& path) {
#ifdef _WIN32
  // A path joined from a '/' constant and a found name keeps both separators; the user sees
  // the system's own.
  return wide_to_utf8(std::filesystem::path(path).make_preferred().u16string());
#else
  return path.string();
#endif
}

std::string gf_ansiToUtf8(const std::string& text) {
  if (text.empty()) return {};
  // The strict pass only tells whether every byte is defined; the text is converted leniently
  // either way, so that an undefined byte does not lose the line.
  auto wide = platform::ansiToUtf16(text, true);
  if (!wide) wide = platform::ansiToUtf16(text, false);
  if (!wide || wide->empty()) return {};
  try {
    return wide_to_utf8(*wide);
  } catch (const std::exception&) {
    return {};
  }
}

// ---------------------------------------------------------------- splitting and trimming

std::string lf_trimRange(const char* first, const char* last) {
  while (first < last && blankChars.find(*first) != std::string_view::npos) ++first;
  while (last > first && blankChars.find(*(last - 1)) != std::string_view::npos) --last;
  return std::string(first, last);
}

std::string gf_trim(std::string_view text) {
  return lf_trimRange(text.data(), text.data() + text.size());
}

namespace {
// Calls piece(trimmed text) for each ','-separated piece; an empty text has no pieces.
template <typename Piece>
void lf_forEachPiece(std::string_view text, char separator, Piece&& piece) {
  if (text.empty()) return;
  std::size_t start = 0;
  while (true) {
    const auto end = text.find(separator, start);
    const auto part = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
    piece(gf_trim(part));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}
}  // namespace

std::vector<std::string> gf_splitComma(std::string_view text) {
  std::vector<std::string> pieces;
  lf_forEachPiece(text, ',', [&](std::string&& p) { pieces.push_back(std::move(p)); });
  return pieces;
}

std::vector<std::string> gf_split(std::string_view text) { return gf_collectSplitView(text, ','); }

std::list<std::string> gf_splitToList(std::string_view text) {
  std::list<std::string> pieces;
  lf_forEachPiece(text, ',', [&](std::string&& p) { pieces.push_back(std::move(p)); });
  return pieces;
}

std::vector<std::string> gf_collectSplitView(std::string_view text) {
  return gf_collectSplitView(text, ',');
}

std::vector<std::string> gf_collectSplitView(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  lf_forEachPiece(text, separator, [&](std::string&& p) {
    if (!p.empty()) pieces.push_back(std::move(p));
  });
  return pieces;
}

void gf_normaliseCommaList(std::string& text) {
  if (text.find_first_of(blankChars) == std::string::npos) return;
  std::string joined;
  for (const auto& piece : gf_split(text)) {
    if (!joined.empty()) joined += ',';
    joined += piece;
  }
  text = std::move(joined);
}

char gf_toUpperChar(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool gf_upperCaseEquals(const std::string& first, std::string& second) {
  std::transform(second.begin(), second.end(), second.begin(), gf_toUpperChar);
  return first == second;
}

bool gf_equalsStarred(std::string_view first, std::string_view second) {
  return second.size() == first.size() + 1 && second.back() == '*' &&
         second.substr(0, first.size()) == first;
}

// ---------------------------------------------------------------- text files

const std::string& gf_encodingName(TextEncoding encoding) {
  static const std::unordered_map<int, std::string> names{
      {0, "ANSI"},          {1, "Unicode"},          {2, "Unicode_big_endian"},
      {3, "UTF8_with_BOM"}, {4, "UTF8_without_BOM"}, {5, "none_found"},
  };
  return names.at(static_cast<int>(encoding));
}

namespace {
constexpr std::size_t sampleLimit = 4096;

// Validates UTF-8 in the first `limit` bytes of data. A sequence that starts inside the limit
// may use bytes past it (the caller reads a few more), so only the real end of the data cuts it.
bool lf_isValidUtf8Sample(const unsigned char* data, std::size_t size, std::size_t limit) {
  const std::size_t end = std::min(size, limit);
  constexpr std::uint64_t highBits = 0x8080808080808080ULL;
  for (std::size_t i = 0; i < end;) {
    // Plain ASCII eight bytes at a time: most cfg text has no other byte.
    std::uint64_t word = 0;
    while (i + sizeof word <= end) {
      std::memcpy(&word, data + i, sizeof word);
      if ((word & highBits) != 0) break;
      i += sizeof word;
    }
    if (i >= end) break;
    const unsigned char lead = data[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t extra = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
    } else {
      return false;
    }
    if (i + extra >= size) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((data[i + k] & 0xC0) != 0x80) return false;
    }
    if (lead == 0xE0 && data[i + 1] < 0xA0) return false;
    if (lead == 0xF0 && data[i + 1] < 0x90) return false;
    if (lead == 0xF4 && data[i + 1] > 0x8F) return false;
    i += extra + 1;
  }
  return true;
}
}  // namespace

namespace {
// A folder, device or pipe where a text file is expected: reading it fails, or never ends.
bool lf_isNonFile(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}
}  // namespace

TextEncoding gf_detectCharset(const std::filesystem::path& path) {
  if (lf_isNonFile(path)) return TextEncoding::none_found;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return TextEncoding::none_found;
  // The sample plus up to three bytes that complete a sequence begun at its last positions.
  std::string buffer(sampleLimit + 3, '\0');
  in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  buffer.resize(static_cast<std::size_t>(in.gcount()));
  return gf_detectCharsetOf(buffer);
}

TextEncoding gf_detectCharsetOf(std::string_view content) {
  const std::string_view buffer = content.substr(0, sampleLimit + 3);
  const auto* b = reinterpret_cast<const unsigned char*>(buffer.data());
  const std::size_t n = std::min<std::size_t>(buffer.size(), 4);

  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return TextEncoding::UTF8_with_BOM;
  if (n >= 2) {
    const bool feff = b[0] == 0xFE && b[1] == 0xFF;
    if (b[0] == 0xFF && b[1] == 0xFE) return TextEncoding::Unicode;
    if (!feff && b[1] == 0 && (n < 4 || b[3] == 0)) return TextEncoding::Unicode;
    if (feff) return TextEncoding::Unicode_big_endian;
    if (b[0] == 0 && (n < 4 || b[2] == 0)) return TextEncoding::Unicode_big_endian;
  }
  if (buffer.empty()) return TextEncoding::UTF8_without_BOM;
  return lf_isValidUtf8Sample(b, buffer.size(), sampleLimit) ? TextEncoding::UTF8_without_BOM
                                                             : TextEncoding::ANSI;
}

namespace {
// The rest of the stream from its current position, in one read when the size is known.
std::string lf_readRest(std::istream& in) {
  std::string content;
  const auto start = in.tellg();
  if (start != std::streampos(-1) && in.seekg(0, std::ios::end)) {
    const auto end = in.tellg();
    in.seekg(start);
    if (end == std::streampos(-1) || end <= start) {
      in.clear();
      in.seekg(start);
      return content;
    }
    content.resize(static_cast<std::size_t>(end - start));
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    return content;
  }
  in.clear();
  content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return content;
}
}  // namespace

void gf_readTextFileLines(std::istream& in, std::vector<std::string>& lines) {
  if (!in.good()) return;
  const std::string content = lf_readRest(in);
  gf_splitLines(content, lines);
}

void gf_splitLineViews(std::string_view text, std::vector<std::string_view>& lines) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.empty()) return;
  std::size_t pos = 0;
  while (true) {
    const auto lf = text.find('\n', pos);
    auto line = text.substr(pos, lf == std::string_view::npos ? text.npos : lf - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (lf == std::string_view::npos) break;
    pos = lf + 1;
    if (pos >= text.size()) break;
  }
}

void gf_splitLines(std::string_view text, std::vector<std::string>& lines) {
  std::vector<std::string_view> views;
  gf_splitLineViews(text, views);
  lines.insert(lines.end(), views.begin(), views.end());
}

namespace {
std::string lf_utf16ToUtf8(std::string_view content, bool bigEndian) {
  if (content.size() <= 1) return {};
  const auto* b = reinterpret_cast<const unsigned char*>(content.data());
  std::size_t pos = 0;
  if (b[0] == 0xFF && b[1] == 0xFE) {
    bigEndian = false;
    pos = 2;
  } else if (b[0] == 0xFE && b[1] == 0xFF) {
    bigEndian = true;
    pos = 2;
  }
  // An odd byte count loses only its last byte.
  const std::size_t end = content.size() - (content.size() - pos) % 2;
  std::u16string wide;
  wide.reserve((end - pos) / 2);
  for (; pos < end; pos += 2) {
    const auto first = static_cast<char16_t>(b[pos]);
    const auto second = static_cast<char16_t>(b[pos + 1]);
    wide.push_back(bigEndian ? static_cast<char16_t>((first << 8) | second)
                             : static_cast<char16_t>((second << 8) | first));
  }
  return wide_to_utf8(wide);
}
}  // namespace

void gf_readUtf16TextLines(std::istream& in, std::vector<std::string>& lines, bool bigEndian) {
  if (!in.good()) return;
  gf_splitLines(lf_utf16ToUtf8(lf_readRest(in), bigEndian), lines);
}

namespace {
// The content made UTF-8 in its place and cut into lines that view it; throws when it cannot be
// converted. An ANSI text is cut first (a UTF-8 mark at its start goes), then converted: its
// line ends are the same bytes in both encodings.
void lf_decodeLineViews(TextEncoding encoding, std::string& content, const std::filesystem::path& path,
                        std::vector<std::string_view>& lines) {
  switch (encoding) {
    case TextEncoding::Unicode:
    case TextEncoding::Unicode_big_endian:
      content = lf_utf16ToUtf8(content, encoding == TextEncoding::Unicode_big_endian);
      gf_splitLineViews(content, lines);
      return;
    case TextEncoding::UTF8_with_BOM:
      gf_splitLineViews(content, lines);
      if (!lines.empty() && lines.front().starts_with("\xEF\xBB\xBF")) lines.front().remove_prefix(3);
      return;
    case TextEncoding::UTF8_without_BOM:
      gf_splitLineViews(content, lines);
      return;
    case TextEncoding::ANSI:
      if (content.starts_with("\xEF\xBB\xBF")) content.erase(0, 3);
      content = gf_ansiToUtf8(content);
      gf_splitLineViews(content, lines);
      return;
    default:
      throw std::runtime_error(
          wdrx::format("file {} has unknown charset: {}", gf_pathToUtf8(path), gf_encodingName(encoding)));
  }
}

void lf_decodeLines(TextEncoding encoding, std::string content, const std::filesystem::path& path,
                    std::vector<std::string>& lines) {
  std::vector<std::string_view> views;
  lf_decodeLineViews(encoding, content, path, views);
  lines.assign(views.begin(), views.end());
}

void lf_postReadFailure(const std::filesystem::path& path, const std::exception& e) {
  gf_hookPostStatus(wdrx::format("Read failed for '{}': {}", gf_pathToUtf8(path), e.what()), true);
}
}  // namespace

bool gf_readLinesWithCharset(TextEncoding encoding, const std::filesystem::path& path,
                             std::vector<std::string>& lines) {
  lines.clear();
  try {
    if (lf_isNonFile(path)) throw std::runtime_error("not a file");
    std::ifstream in(path, std::ios::binary);
    const bool known = encoding >= TextEncoding::ANSI && encoding < TextEncoding::none_found;
    if (known && !in.is_open()) return false;  // an unknown encoding throws below
    lf_decodeLines(encoding, in.good() ? lf_readRest(in) : std::string(), path, lines);
    return true;
  } catch (const std::exception& e) {
    lf_postReadFailure(path, e);
    return false;
  }
}

bool gf_readFileContent(const std::filesystem::path& path, std::string& content) {
  content.clear();
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);  // none for a folder or device
  if (ec) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return false;
  // The size found first, then in small chunks what the file grew by since (nothing, mostly):
  // a buffer filled ahead of the read costs more than the read of a small file.
  std::size_t chunk = static_cast<std::size_t>(size);
  for (;;) {
    const std::size_t had = content.size();
    content.resize(had + chunk);
    in.read(content.data() + had, static_cast<std::streamsize>(chunk));
    content.resize(had + static_cast<std::size_t>(in.gcount()));
    if (!in) return in.eof();
    chunk = 4096;
  }
}

bool gf_decodeLinesWithCharset(TextEncoding encoding, std::string& content, const std::filesystem::path& path,
                               std::vector<std::string_view>& lines) {
  lines.clear();
  try {
    lf_decodeLineViews(encoding, content, path, lines);
    return true;
  } catch (const std::exception& e) {
    lines.clear();
    lf_postReadFailure(path, e);
    return false;
  }
}

TextFileResult gf_readTextFile(TextFile& file, std::size_t expectedLines) {
  file.lines.clear();
  if (lf_isNonFile(file.path)) {
    gf_logMarked(wdrx::format("gf_readTextFile: '{}' is not a file", gf_pathToUtf8(file.path)));
    return TextFileResult{false, nullptr, 0, "not_a_file"};
  }
  std::ifstream in(file.path, std::ios::binary);
  if (!in.is_open()) return TextFileResult{false, nullptr, 0, "open_failed"};
  if (expectedLines > file.lines.capacity()) file.lines.reserve(expectedLines);
  gf_readTextFileLines(in, file.lines);
  return TextFileResult{true, file.lines.data(), file.lines.size(), {}};
}

namespace {
bool lf_writeFile(const char* caller, const std::filesystem::path& path,
                  const std::function<void(std::ostream&)>& write) {
  const FileWrite written = gf_replaceFileWith(path, write);
  if (!written.ok) {
    gf_logMarked(wdrx::format("{}: '{}' not written: {}", caller, gf_pathToUtf8(path), written.error));
  }
  return written.ok;
}
}  // namespace

bool gf_writeStringToFile(const std::string& text, const std::filesystem::path& path) {
  return lf_writeFile("gf_writeStringToFile", path, [&](std::ostream& out) { out << text << '\n'; });
}

bool gf_writeLinesToFile(const std::vector<std::string>& lines, const std::filesystem::path& path) {
  return lf_writeFile("gf_writeLinesToFile", path, [&](std::ostream& out) {
    for (const auto& line : lines) out << line << '\n';
  });
}
