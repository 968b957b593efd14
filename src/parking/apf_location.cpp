// Locating, fetching and pointing to airport files; the learned file of an airport file.
#include "parking/apf_location.hpp"

#include <algorithm>
#include <cctype>
#include <exception>
#include <system_error>
#include <vector>

#include <pugixml.hpp>

#include "aircraft/remove_on_exit.hpp"
#include "airports/airport_db.hpp"
#include "foundation/download.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "parking/apf_format.hpp"
#include "parking/stand.hpp"

namespace fs = std::filesystem;

namespace {

// One folder or file name taken from a file or a name: never empty, never "." or ".." (nor any
// other run of dots and blanks, which Windows reduces to them), never a drive or stream mark.
bool lf_isSafeComponent(std::string_view name) {
  if (name.find_first_not_of(". ") == name.npos) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == ':' || c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
  });
}

std::vector<std::string> lf_splitBackslash(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\\', start);
    parts.emplace_back(text.substr(start, end == text.npos ? text.npos : end - start));
    if (end == text.npos) return parts;
    start = end + 1;
  }
}

// The components of a relative name below a folder; empty components are dropped, any unsafe
// one refuses the whole name.
bool lf_appendComponents(fs::path& path, std::string_view relative) {
  bool any = false;
  for (const std::string& part : lf_splitBackslash(relative)) {
    if (part.empty()) continue;
    if (!lf_isSafeComponent(part)) return false;
    path /= part;
    any = true;
  }
  return any;
}

// A publisher or archive folder as a folder name: separators become blanks, blanks trimmed;
// empty when nothing safe is left.
std::string lf_folderName(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '/' || c == '\\'; }, ' ');
  text = lf_trimBlanks(text);
  return lf_isSafeComponent(text) ? text : std::string();
}

std::string lf_lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return text;
}

bool lf_pointerIn(const fs::path& folder, const IcaoCode& code, std::string& name) {
  const fs::path pointer = folder / gf_apfPointerFileName(code);
  std::error_code ec;
  return fs::exists(pointer, ec) && gf_readApfPointer(pointer, name);
}

bool lf_fileExists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

bool lf_inDownloadArea(const IcaoCode& code) {
  const Airport* airport = gf_findAirport(code);
  return airport != nullptr && airport->stands >= 1;
}

void lf_replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != text.npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

std::string lf_trimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == text.npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

void lf_clearStands() { standTable.clear(); }

bool gf_readApfPointer(const fs::path& pointer, std::string& name) {
  TextFile file{pointer, {}};
  const TextFileResult read = gf_readTextFile(file, 1);
  if (!read.ok || read.count == 0) return false;
  std::string line = file.lines.front();
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  if (line.size() < 4 || lf_lower(line.substr(line.size() - 4)) != ".xml") return false;
  std::string relative = line;
  std::replace(relative.begin(), relative.end(), '/', '\\');
  fs::path probe;
  if (!lf_appendComponents(probe, relative) || relative.starts_with('\\')) {
    gf_logMarked(wdrx::format("{}: '{}' in {} refused", "gf_readApfPointer", line,
                              gf_pathToUtf8(pointer)));
    return false;
  }
  name = line;
  return true;
}

std::string gf_findApfFile(const IcaoCode& code) {
  std::string name;
  for (const fs::path* folder : {&myThirdpartyFolder, &myOrbxFolder}) {
    if (lf_pointerIn(*folder, code, name)) return name;
    const fs::path file = *folder / gf_apfFileName(code);
    if (lf_fileExists(file)) return fs::path(file).make_preferred().string();
  }
  if (lf_inDownloadArea(code)) return "archive/stock/" + gf_apfFileNameString(code);
  return {};
}

bool gf_apfExists(const IcaoCode& code) {
  for (const fs::path* folder : {&myThirdpartyFolder, &myOrbxFolder}) {
    if (lf_fileExists(*folder / gf_apfFileName(code))) return true;
    if (lf_fileExists(*folder / gf_apfPointerFileName(code))) return true;
  }
  return lf_inDownloadArea(code);
}

fs::path gf_localApfPath(const std::string& name) {
  if (!name.starts_with("airports")) return {};
  std::string relative = name;
  std::replace(relative.begin(), relative.end(), '/', '\\');
  fs::path path;
  return lf_appendComponents(path, relative) ? path : fs::path{};
}

std::string gf_downloadApf(const std::string& name, const fs::path& localPath) {
  const std::string url = gf_airportFileUrl(name);
  if (localPath.has_parent_path()) {
    std::error_code ec;
    fs::create_directories(localPath.parent_path(), ec);
  }
  Downloader downloader;
  if (downloader.download(url, localPath, false)) return {};
  // A file left from an earlier download must not pass for this airport's.
  if (fs::exists(localPath)) fs::remove(localPath);
  std::string error = wdrx::format("failed to download: '{}'", url);
  gf_log(error);
  return error;
}

fs::path gf_chooseApfOrigin(const std::string& name, const std::string& publisher) {
  if (name.empty()) return {};
  std::string text = name;
  std::replace(text.begin(), text.end(), '/', '\\');
  const std::size_t slash = text.rfind('\\');
  const std::string fileName = slash == text.npos ? text : text.substr(slash + 1);
  const std::size_t dot = fileName.rfind('.');
  if (dot == fileName.npos || lf_lower(fileName.substr(dot)) != ".xml") return {};
  if (!lf_isSafeComponent(fileName)) return {};

  if (text.starts_with("archive\\stock\\")) return learnedStockFolder / fileName;
  if (text.starts_with("archive\\simaddon\\")) return learnedSimaddonFolder / fileName;
  constexpr std::string_view thirdparty = "archive\\thirdparty\\";
  if (const std::size_t at = text.find(thirdparty); at != text.npos) {
    const std::size_t start = at + thirdparty.size();
    const std::size_t end = text.find('\\', start);
    if (end == text.npos) return {};
    std::string folder = text.substr(start, end - start);
    lf_replaceAll(folder, "%20", " ");
    folder = lf_folderName(std::move(folder));
    if (folder.empty()) return {};
    return learnedThirdpartyFolder / folder / fileName;
  }
  if (text.starts_with("airports\\")) {
    const std::string rest = text.substr(9);
    if (rest.starts_with("my_thirdparty2024\\") || rest.starts_with("my_thirdparty\\")) {
      const std::string folder = lf_folderName(publisher);
      if (folder.empty()) return {};
      return learnedThirdpartyFolder / folder / fileName;
    }
    fs::path path = learnedFolder;
    return lf_appendComponents(path, rest) ? path : fs::path{};
  }
  return {};
}

fs::path gf_learnedFileLocation(const std::string& name, const std::string& publisher,
                                const IcaoCode& code) {
  if (fs::path origin = gf_chooseApfOrigin(name, publisher); !origin.empty()) return origin;
  if (code.empty()) return {};
  if (publisher == paths::stockFolderName) return learnedStockFolder / gf_apfFileName(code);
  if (publisher == paths::simaddonFolderName) return learnedSimaddonFolder / gf_apfFileName(code);
  const std::string folder = lf_folderName(publisher);
  return (folder.empty() ? learnedThirdpartyFolder : learnedThirdpartyFolder / folder) /
         gf_apfFileName(code);
}

double gf_readDestApfForClosestStand(const IcaoCode& code, const LatLon& position,
                                     std::string& standName) {
  standName.clear();
  try {
    const std::string name = gf_findApfFile(code);
    if (name.empty()) return 0.0;
    RemoveOnExit removeDownload(otherAirportDownload, "gf_readDestApfForClosestStand");
    fs::path file = gf_localApfPath(name);
    if (file.empty()) {
      if (!gf_downloadApf(name, otherAirportDownload).empty()) return 0.0;
      file = otherAirportDownload;
    }
    pugi::xml_document document;
    if (!document.load_file(file.c_str())) return 0.0;
    const pugi::xml_node parkpositions = gf_apfSection(document, "parkpositions");
    if (!parkpositions) return 0.0;
    double best = 100.0;
    for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
      const LatLon stand{parkpos.attribute("latitude").as_double(0.0),
                         parkpos.attribute("longitude").as_double(0.0)};
      const double distance = gf_distanceNm(position, stand);
      if (distance < best) {
        best = distance;
        standName = parkpos.attribute("id").as_string("");
      }
    }
    return best;
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{}: {}", "gf_readDestApfForClosestStand", e.what()));
    standName.clear();
    return 0.0;
  }
}
