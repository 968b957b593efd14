#include "aircraft/regcode_files.hpp"

#include <algorithm>
#include <exception>
#include <string_view>

#include <pugixml.hpp>

#include "aircraft/remove_on_exit.hpp"
#include "foundation/data_files.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "foundation/xml_meta.hpp"

std::vector<std::string> dontUseTitles;

namespace {

constexpr std::size_t minLineBytes = 6;
constexpr std::size_t minRegcodeBytes = 3;
constexpr std::size_t maxRegcodeBytes = 12;

const char* lf_liveries(std::size_t count) { return count == 1 ? "livery" : "liveries"; }

bool lf_isTxtFile(const std::filesystem::directory_entry& entry) {
  if (!entry.is_regular_file()) return false;
  std::string extension = entry.path().extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), gf_toUpperChar);
  return extension == ".TXT";
}

// Regcodes cut at ",", trimmed, sorted, exact duplicates removed; an empty piece stays once.
std::vector<std::string> lf_splitRegcodes(std::string_view text) {
  std::vector<std::string> regcodes = gf_splitComma(text);
  std::sort(regcodes.begin(), regcodes.end());
  regcodes.erase(std::unique(regcodes.begin(), regcodes.end()), regcodes.end());
  return regcodes;
}

bool lf_validLength(const std::string& regcode) {
  return regcode.size() >= minRegcodeBytes && regcode.size() <= maxRegcodeBytes;
}

void lf_logWrongLength(const std::string& regcode, const std::string& path) {
  gf_logMarked(wdrx::format("wrong regcode length '{}' in {}", regcode, path));
}

// One line of a user's regcode file; false when a regcode had a wrong length.
bool lf_parseRegcodeLine(const std::string& line, const std::string& path,
                         std::vector<RegcodeRecord>& records) {
  if (line.size() < minLineBytes) return true;
  std::vector<std::string> fields;
  std::string_view rest(line);
  for (;;) {
    std::size_t semicolon = rest.find(';');
    std::string field = gf_trim(rest.substr(0, semicolon));
    if (!field.empty()) fields.push_back(std::move(field));
    if (semicolon == std::string_view::npos) break;
    rest.remove_prefix(semicolon + 1);
  }
  if (fields.empty() || fields.size() > 3) return true;
  if (fields.size() == 1) {
    records.push_back({std::move(fields[0]), {}, false});
    return true;
  }
  std::vector<std::string> regcodes = lf_splitRegcodes(fields[1]);
  if (regcodes.empty()) {
    records.push_back({std::move(fields[0]), {}, false});
    return true;
  }
  if (regcodes.size() == 1) {
    if (!lf_validLength(regcodes[0])) {
      lf_logWrongLength(regcodes[0], path);
      return false;
    }
    records.push_back({std::move(fields[0]), std::move(regcodes), true});
    return true;
  }
  bool ok = true;
  std::vector<std::string> kept;
  for (std::string& regcode : regcodes) {
    if (lf_validLength(regcode)) {
      kept.push_back(std::move(regcode));
    } else {
      lf_logWrongLength(regcode, path);
      ok = false;
    }
  }
  bool special = !kept.empty() && fields.size() == 3 && fields[2] == "#";
  records.push_back({std::move(fields[0]), std::move(kept), special});
  return ok;
}

std::size_t lf_appendDontUseTitles(const std::vector<RegcodeRecord>& records) {
  std::size_t added = 0;
  for (const RegcodeRecord& record : records) {
    if (record.regcodes.empty()) {
      dontUseTitles.push_back(record.title);
      ++added;
    }
  }
  return added;
}

}  // namespace

bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeRecord>& records) {
  bool result = true;
  try {
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder)) {
      if (!lf_isTxtFile(entry)) continue;
      std::string pathText = gf_pathToUtf8(entry.path());
      TextFile file{entry.path(), {}};
      gf_readTextFile(file, 1024);  // a file that does not open gives no lines
      std::size_t before = records.size();
      for (const std::string& line : file.lines) {
        if (!lf_parseRegcodeLine(line, pathText, records)) result = false;
      }
      std::size_t added = records.size() - before;
      gf_log(wdrx::format("{:5} {} read from {}", added, lf_liveries(added), pathText));
    }
  } catch (const std::exception& e) {
    gf_logMarked(
        wdrx::format("Error reading regcode files in {}, what: {}", gf_pathToUtf8(folder), e.what()));
    result = false;
  }
  return result;
}

bool gf_readAigRegcodes(std::vector<RegcodeRecord>& records) {
  const std::filesystem::path& path = paths::regcodesXml;
  pugi::xml_document document;
  if (!document.load_file(path.c_str())) {
    gf_logMarked(wdrx::format("Failed to load {}", gf_pathToUtf8(path)));
    if (std::filesystem::exists(path)) std::filesystem::remove(path);
    return false;
  }
  if (!gf_readXmlMeta(document, true)) return false;
  pugi::xml_node aig = document.child("root").child("aig");
  if (!aig) {
    gf_logMarked("No <aig> node found in XML.");
    return false;
  }
  bool result = true;
  std::string previousTitle;
  for (pugi::xml_node element : aig.children("l")) {
    std::string title = element.attribute("t").as_string("");
    if (title.empty()) continue;
    if (title == previousTitle) {
      gf_logMarked(wdrx::format("Duplicate title '{}' (same as previous)", title));
      result = false;
      continue;
    }
    previousTitle = title;
    pugi::xml_attribute regcodes = element.attribute("r");
    records.push_back({std::move(title),
                       regcodes ? lf_splitRegcodes(regcodes.as_string("")) : std::vector<std::string>{},
                       element.attribute("s").as_bool(false)});
  }
  gf_log(wdrx::format("{:5} {} read from {}", records.size(), lf_liveries(records.size()),
                      "AIG-regcodes.xml"));
  return result;
}

void lf_readDontUseTitlesFromFile() {
  std::vector<RegcodeRecord> records;
  records.reserve(7000);
  gf_readAigRegcodes(records);  // a false result still gives the records read
  std::size_t added = lf_appendDontUseTitles(records);
  gf_log(wdrx::format("{:5} don't use title{} read", added, gf_pluralSize(added)));
}

void lf_readDontUseTitlesFromFolder() {
  std::vector<RegcodeRecord> records;
  records.reserve(1000);
  gf_readRegcodeFiles(paths::myRegcodesFolder, records);
  std::size_t added = lf_appendDontUseTitles(records);
  gf_log(wdrx::format("{:5} don't use title{} read from files in {}", added, gf_pluralSize(added),
                      gf_pathToUtf8(paths::myRegcodesFolder)));
}

void lf_readDontUseTitles() {
  dontUseTitles.clear();
  try {
    if (gf_streamDecrypt(paths::regcodesEnc, paths::regcodesXml)) {
      RemoveOnExit removeXml(paths::regcodesXml, "lf_readDontUseTitles");
      lf_readDontUseTitlesFromFile();
    }
    std::error_code error;
    if (std::filesystem::is_directory(paths::myRegcodesFolder, error)) {
      bool anyFile = false;
      for (const auto& entry : std::filesystem::directory_iterator(paths::myRegcodesFolder)) {
        if (entry.is_regular_file()) {
          anyFile = true;
          break;
        }
      }
      if (anyFile) lf_readDontUseTitlesFromFolder();
    }
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("exception: {}", e.what()));
  }
}
