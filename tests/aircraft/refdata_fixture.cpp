#include "refdata_fixture.hpp"

#include <algorithm>
#include <sstream>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/reference_db.hpp"
#include "aircraft/regcode_files.hpp"
#include "config/settings.hpp"
#include "encrypt/encrypt.hpp"
#include "foundation/log.hpp"
#include "support/fresh_state.hpp"

namespace refdata_test {

namespace {
const bool fresh = wdrx::testing::resetBeforeEachTest([] {
  wdrx::testing::resetSettings();
  wdrx::testing::resetCodeTables();
  wdrx::testing::resetReferenceData();
  dontUseTitles.clear();
});
}  // namespace

void writeEncrypted(const std::filesystem::path& path, const std::string& plain) {
  wdrx::testing::writeFile(path, wdrx::encrypt::encryptText(plain));
}

void openLog() { gf_openLog(); }

std::vector<std::string> logLines() {
  wdrx::testing::closeLog();
  std::istringstream in(wdrx::testing::readFile("Log.txt"));
  std::vector<std::string> lines;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

DbaseXml& DbaseXml::set(const std::string& name, const std::string& inner) {
  auto it = std::find_if(sections.begin(), sections.end(), [&](const auto& s) { return s.first == name; });
  if (it == sections.end())
    sections.emplace_back(name, inner);
  else
    it->second = inner;
  return *this;
}

DbaseXml& DbaseXml::remove(const std::string& name) {
  std::erase_if(sections, [&](const auto& s) { return s.first == name; });
  return *this;
}

std::string DbaseXml::text() const {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + rootName + ">\n";
  for (const auto& [name, inner] : sections) xml += "  <" + name + ">" + inner + "</" + name + ">\n";
  return xml + "</" + rootName + ">\n";
}

void DbaseXml::write() const { writeEncrypted("input/dbase.enc", text()); }

}  // namespace refdata_test
