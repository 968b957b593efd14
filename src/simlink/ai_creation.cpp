#include "simlink/ai_creation.hpp"

#include <fstream>
#include <system_error>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/user_error.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"

std::unordered_map<std::uint32_t, std::string_view, KeyFnv1aHash> creationRequests;
std::unordered_set<std::string, Fnv1aHash, std::equal_to<>> failedLiveries;
std::set<std::string, std::less<>> notCreatedTexts;
std::vector<std::string> unmatchedAircraft;
std::filesystem::path flightPlanFolder;

std::optional<std::string_view> gf_takeCreationRequest(std::uint32_t key) {
  const auto it = creationRequests.find(key);
  if (it == creationRequests.end()) return std::nullopt;
  if (failedLiveries.contains(it->second)) {
    creationRequests.erase(it);
    return std::nullopt;
  }
  return it->second;
}

void gf_handleCreationFailure(const std::string& callsign, std::string_view liveryTitle,
                              const std::optional<AircraftCodes>& codes) {
  if (!runStopRequested.load() && !closeRequested.load()) {
    gf_postStatus(wdrx::format("{} '{}' could not be created by your Sim!", callsign, liveryTitle),
                  true);
  }
  failedLiveries.emplace(liveryTitle);
  if (codes) notCreatedTexts.insert(wdrx::format("{} {}", modelCodes[codes->modelId], airlineCodes[codes->airlineId]));
  if (failedLiveries.size() >= failedLiveryLimit) {
    const std::string sentence = "There are too many liveries that could not be created!";
    gf_log(wdrx::format("\n{}Error 81, {}\n", "===> ", sentence));
    throw tql::UserErrorException(81, wdrx::format("{}, see Log.txt", sentence));
  }
}

std::filesystem::path gf_flightPlanFileName(std::uint32_t objectId) {
  return flightPlanFolder / wdrx::format("{}.pln", objectId);
}

bool gf_writeFlightPlan(const std::filesystem::path& path, AcCategory category,
                        std::string_view origin, std::string_view destination) {
  std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!out.is_open()) return false;
  const bool ifr = category == AcCategory::Buzjets || category == AcCategory::Large ||
                   category == AcCategory::Heavy;
  const auto code = [](std::string_view text) {
    return text.empty() ? std::string_view("   ") : text;
  };
  out << wdrx::format("{}\n{}\n{}\n{}{}{}\n{}{}{}\n{}{}{}\n{}\n{}\n",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                      "<SimBase.Document Type=\"AceXML\" version=\"4,3\">", "<FlightPlan.FlightPlan>",
                      "<FPType>", ifr ? "IFR" : "VFR", "</FPType>", "<DepartureID>", code(origin),
                      "</DepartureID>", "<DestinationID>", code(destination), "</DestinationID>",
                      "</FlightPlan.FlightPlan>", "</SimBase.Document>");
  out << "\n";
  out.flush();
  out.close();
  return true;
}

bool gf_createFlightPlanFolder() {
  flightPlanFolder = dataFolder / "orig_dest";
  std::error_code error;
  if (!std::filesystem::exists(flightPlanFolder, error)) {
    std::filesystem::create_directories(flightPlanFolder, error);
    if (error) gf_log(wdrx::format("gf_createFlightPlanFolder: {}", error.message()));
  }
  return std::filesystem::is_directory(flightPlanFolder, error);
}

void gf_logUnmatchedAircraft() {
  if (unmatchedAircraft.empty()) return;
  gf_log("\nNo match found for:");
  for (const auto& entry : unmatchedAircraft) gf_log(entry);
  gf_log("");
}
