#pragma once
// UTF-8 <-> UTF-16 conversion, comma splitting and trimming, and the text-file layer
// (charset detection and line readers for UTF-8, UTF-16 and ANSI files).
#include <cstdint>
#include <filesystem>
#include <istream>
#include <list>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view blankChars = " \t\n\r";

// Strict conversions; throw std::runtime_error "wide_to_utf8: invalid UTF-16" /
// "utf8_to_wide: invalid UTF-8". UTF-16 code units are char16_t on every platform.
std::string wide_to_utf8(std::u16string_view text);
std::u16string utf8_to_wide(std::string_view text);
// A path's text as the user reads it: UTF-8, in the system's separators.
std::string gf_pathToUtf8(const std::filesystem::path& path);
// Text in the system ANSI code page (Windows-1252) to UTF-8; empty when nothing converts.
std::string gf_ansiToUtf8(const std::string& text);

std::string gf_trim(std::string_view text);
std::string lf_trimRange(const char* first, const char* last);
std::vector<std::string> gf_splitComma(std::string_view text);   // empty pieces kept
std::vector<std::string> gf_split(std::string_view text);        // empty pieces dropped
std::list<std::string> gf_splitToList(std::string_view text);    // empty pieces kept
std::vector<std::string> gf_collectSplitView(std::string_view text);  // empty pieces dropped
std::vector<std::string> gf_collectSplitView(std::string_view text, char separator);
void gf_normaliseCommaList(std::string& text);
bool gf_upperCaseEquals(const std::string& first, std::string& second);  // upper-cases second
char gf_toUpperChar(char c);
bool gf_equalsStarred(std::string_view first, std::string_view second);  // second == first + "*"

enum class TextEncoding : int {
  ANSI = 0,
  Unicode = 1,
  Unicode_big_endian = 2,
  UTF8_with_BOM = 3,
  UTF8_without_BOM = 4,
  none_found = 5,
};
const std::string& gf_encodingName(TextEncoding encoding);

// A missing file, a folder or a device is none_found.
TextEncoding gf_detectCharset(const std::filesystem::path& path);
// False when the file does not open; a folder or device, an unknown encoding or a conversion
// failure also posts "Read failed for '{}': {}" to the status line (logged).
bool gf_readLinesWithCharset(TextEncoding encoding, const std::filesystem::path& path,
                             std::vector<std::string>& lines);
// The same two steps on a file read once (gf_readFileContent: false when it is no regular file
// or cannot be read): the encoding of its first bytes, and its lines in an encoding.
bool gf_readFileContent(const std::filesystem::path& path, std::string& content);
TextEncoding gf_detectCharsetOf(std::string_view content);
// The content becomes UTF-8 where it is in another encoding; the lines view it.
bool gf_decodeLinesWithCharset(TextEncoding encoding, std::string& content, const std::filesystem::path& path,
                               std::vector<std::string_view>& lines);
void gf_readTextFileLines(std::istream& in, std::vector<std::string>& lines);
void gf_splitLines(std::string_view text, std::vector<std::string>& lines);
void gf_splitLineViews(std::string_view text, std::vector<std::string_view>& lines);
// A byte-order mark decides the byte order; without one the text is taken as little endian,
// or big endian when bigEndian is set (a file detected as Unicode_big_endian).
void gf_readUtf16TextLines(std::istream& in, std::vector<std::string>& lines,
                           bool bigEndian = false);

struct TextFile {
  std::filesystem::path path;
  std::vector<std::string> lines;
};
struct TextFileResult {
  bool ok = false;
  const std::string* first = nullptr;  // view of the record's lines
  std::size_t count = 0;
  std::string error;  // "open_failed", or "not_a_file" for a folder or device (logged)
};
TextFileResult gf_readTextFile(TextFile& file, std::size_t expectedLines);

// Whole or not at all (gf_replaceFile): false, logged, and the previous file kept on any failure.
bool gf_writeStringToFile(const std::string& text, const std::filesystem::path& path);
bool gf_writeLinesToFile(const std::vector<std::string>& lines, const std::filesystem::path& path);
