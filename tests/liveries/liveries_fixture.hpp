#pragma once
// Fixtures of the livery-scan tests: a working folder with the log open, small reference data
// set directly in the tables, and writers of aircraft.cfg trees.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "liveries/livery_data.hpp"

#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace livery_test {

// Reference data of the tests: known models B738 (Large), A320 (Large), B744 (Heavy), C172,
// GLID, T154; airlines BAW, DLH, KLM, ZZZ, PVT-free; fix B73H -> B738; registrations
// D-AIPA (DLH A320), G-EUPA (BAW A319 as the record says), N123AB (cargo FDX B744).
void setReferenceData();

// Text of an aircraft.cfg: a [General] part with the model, then the sections given.
std::string cfgText(const std::string& atcModel, const std::vector<std::string>& sections);
// One [fltsim.N] section with the usual keys; extra lines are appended.
std::string section(int number, const std::string& title, const std::string& airline,
                    const std::string& extra = "");
// Writes an aircraft folder: the cfg text, folders model and texture (and those the
// sections name when given), and the flight-model file "Boeing.air".
void writeAircraft(const std::filesystem::path& folder, const std::string& cfg,
                   const std::string& fileName = "aircraft.cfg");

// Runs the scanner task of the file (the IVAO one when asked) and claims its liveries as the
// driver does; the report lines go to the shared lists.
std::vector<LiveryData> scanOne(const std::filesystem::path& file, std::uint32_t folderNumber = 1,
                                bool ivao = false);
// A copy of a shared report list.
template <typename List>
std::vector<std::string> linesOf(List& list) {
  return std::vector<std::string>(list.lines.begin(), list.lines.end());
}
// Replaces every "{folder}" and "{file}" of the text; "{folder}/" ends in the system's separator.
std::string expand(std::string text, const std::filesystem::path& file);
// The text of a livery's codes: "airline,operator model c" (c: cargo flag 0/1).
std::string codesText(const LiveryData& livery);

// Runs the call: 1 and the message when it throws tql::UserErrorException, else 0.
int userError(const std::function<void()>& call, std::string& message);

// Bytes of the text in UTF-16 (little or big endian, with byte-order mark) or Windows-1252.
std::string utf16(const std::string& utf8, bool bigEndian);
std::string windows1252(const std::string& utf8);

class LiveryTest {
 public:
  LiveryTest();
  ~LiveryTest();
  std::string logText() const { return log.text(); }

 protected:
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
};

}  // namespace livery_test
