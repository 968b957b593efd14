#include "liveries_fixture.hpp"

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/reference_db.hpp"
#include "aircraft/regcode_files.hpp"
#include "aircraft/registrations.hpp"
#include "config/settings.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "liveries/cfg_keys.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/ivao_files.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/scan_reports.hpp"
#include "platform/code_page.hpp"
#include "runstate/run_control.hpp"

namespace fs = std::filesystem;

namespace livery_test {

void setReferenceData() {
  wdrx::testing::resetReferenceData();
  gf_airlineId("");
  gf_modelId("");
  knownModelCodes = {"A319", "A320", "B738", "B744", "C172", "GLID", "T154", "EC35"};
  icaoAirlineCodes = {"BAW", "DLH", "KLM", "ZZZ", "FDX", "FBA", "BA_"};
  largeModels = {gf_modelId("A320"), gf_modelId("B738"), gf_modelId("A319")};
  heavyModels = {gf_modelId("B744")};
  rotorcraftModels = {gf_modelId("EC35")};
  modelCodeFixes = {{"B73H", "B738"}};
  modelFixesActive = true;
  dbaseRecords = {
      {"D-AIPA", AircraftCodes{gf_airlineId("DLH"), 0, gf_modelId("A321"), 0, 1}},
      {"G-EUPA", AircraftCodes{gf_airlineId("BAW"), 0, gf_modelId("A319"), 0, 1}},
      {"N123AB", AircraftCodes{gf_airlineId("FDX"), 0, gf_modelId("B744"), 1, 1}},
      {"PH-BXA", AircraftCodes{gf_airlineId("KLM"), gf_airlineId("KLC"), gf_modelId("B738"), 0, 1}},
      {"OOXYZ", AircraftCodes{0, 0, gf_modelId("C172"), 0, 1}},
  };
  lf_sortDbaseRecords();
}

std::string cfgText(const std::string& atcModel, const std::vector<std::string>& sections) {
  std::string text = "[General]\natc_type=BOEING\n";
  if (!atcModel.empty()) text += "atc_model=" + atcModel + "\n";
  text += "category=airplane\n\n";
  for (const std::string& s : sections) text += s + "\n";
  text += "[flaps.0]\ntype=1\nspan-outboard=0.5\n";
  return text;
}

std::string section(int number, const std::string& title, const std::string& airline, const std::string& extra) {
  std::string text = "[fltsim." + std::to_string(number) + "]\n";
  text += "title=" + title + "\nsim=Boeing\nmodel=\ntexture=\n";
  if (!airline.empty()) text += "atc_parking_codes=" + airline + "\n";
  text += "atc_parking_types=GATE\nui_manufacturer=Boeing\n";
  text += extra;
  return text;
}

void writeAircraft(const fs::path& folder, const std::string& cfg, const std::string& fileName) {
  wdrx::testing::writeFile(folder / fileName, cfg);
  fs::create_directories(folder / "model");
  fs::create_directories(folder / "texture");
  wdrx::testing::writeFile(folder / "Boeing.air", "air");
}

std::vector<LiveryData> scanOne(const fs::path& file, std::uint32_t folderNumber, bool ivao) {
  const auto inputs = lf_makeScanInputs();
  ScanTaskResult result = ivao ? lf_searchLiveriesinIVAOFile(folderNumber, file, *inputs)
                               : lf_searchLiveriesinFile(folderNumber, file, *inputs);
  std::list<LiveryData> claimed;
  lf_takeTaskResult(std::move(result), claimed);
  return {claimed.begin(), claimed.end()};
}

std::string expand(std::string text, const fs::path& file) {
  const std::string folder = file.parent_path().string();
  for (const auto& [mark, value] :
       {std::pair<std::string, std::string>{"{folder}/", folder + static_cast<char>(fs::path::preferred_separator)},
        std::pair<std::string, std::string>{"{folder}", folder},
        std::pair<std::string, std::string>{"{file}", file.string()}}) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
      text.replace(at, mark.size(), value);
  }
  return text;
}

std::string codesText(const LiveryData& livery) {
  return airlineCodes[livery.codes.airlineId] + "," + airlineCodes[livery.codes.operatorId] + " " +
         modelCodes[livery.codes.modelId] + " " + std::to_string(livery.codes.cargo);
}

int userError(const std::function<void()>& call, std::string& message) {
  try {
    call();
  } catch (const tql::UserErrorException& e) {
    message = e.what();
    return 1;
  }
  return 0;
}

std::string utf16(const std::string& utf8, bool bigEndian) {
  const std::u16string wide = utf8_to_wide(utf8);
  std::string bytes = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
  for (char16_t unit : wide) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

std::string windows1252(const std::string& utf8) {
  std::string bytes;
  for (char16_t unit : utf8_to_wide(utf8)) bytes += static_cast<char>(unit < 0x100 ? unit : '?');
  return bytes;
}

LiveryTest::LiveryTest() {
  setReferenceData();
  dontUseTitles.clear();
  lf_clearScanLists();
  modelFixes.lines.clear();
  scannedLiveries.clear();
  liveryCount = 0;
  runStopRequested = false;
  closeRequested = false;
  workerCount = 3;
  for (StringParameter* folder : liveryFolderParameters) folder->value.store("");
  SCAN_LIVERIES.value = true;
  LIG_PRIORITIZE.value = true;
  wdrx::testing::setScanTaskWait(std::chrono::seconds(10));
  wdrx::testing::setScanTaskHook({});
}

LiveryTest::~LiveryTest() {
  wdrx::testing::setScanTaskHook({});
  wdrx::testing::resetReferenceData();
}

}  // namespace livery_test
