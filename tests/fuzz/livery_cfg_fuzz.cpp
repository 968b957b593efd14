// The livery scan's reader of aircraft.cfg and sim.cfg files: charset, key lines, [fltsim.N]
// sections and their folders, and the IVAO model-matching files. The first byte picks the
// kind of file and its folder; the rest is the file, scanned as one scanner task would.
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <list>
#include <string>

#include "aircraft/aircraft_codes.hpp"
#include "aircraft/registrations.hpp"
#include "fuzz_support.hpp"
#include "liveries/cfg_keys.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/ivao_files.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries/scan_task.hpp"

namespace fs = std::filesystem;

namespace {

// Small reference data: the models and airlines the seeds name, a model fix, registrations.
void lf_setReferenceData() {
  knownModelCodes = {"A320", "B738", "B744", "C172", "GLID", "T154", "EC35"};
  icaoAirlineCodes = {"BAW", "DLH", "KLM", "ZZZ", "FDX"};
  modelCodeFixes = {{"B73H", "B738"}};
  modelFixesActive = true;
  dbaseRecords = {
      {"D-AIPA", AircraftCodes{gf_airlineId("DLH"), 0, gf_modelId("A320"), 0, 1}},
      {"N123AB", AircraftCodes{gf_airlineId("FDX"), 0, gf_modelId("B744"), 1, 1}},
      {"OOXYZ", AircraftCodes{0, 0, gf_modelId("C172"), 0, 1}},
  };
  lf_sortDbaseRecords();
}

// An aircraft folder as the simulator has it: model and texture folders, a flight-model file.
fs::path lf_aircraftFolder(const fs::path& folder) {
  fs::create_directories(folder / "model");
  fs::create_directories(folder / "texture");
  fs::create_directories(folder / "model.ba");
  fs::create_directories(folder / "texture.ba");
  wdrx::fuzz::writeFile(folder / "Boeing.air", "air");
  return folder;
}

struct Folders {
  fs::path plain;
  std::array<fs::path, 4> ivao;  // a known model, a shortened variant, a fixed one, an unknown one
};

const Folders& lf_folders() {
  static const Folders folders = [] {
    lf_setReferenceData();
    const fs::path root = wdrx::fuzz::workFolder() / "SimObjects" / "Airplanes";
    return Folders{lf_aircraftFolder(root / "ac"),
                   {lf_aircraftFolder(root / "IVAO_MTL" / "IVAO_B738"),
                    lf_aircraftFolder(root / "IVAO_MTL" / "IVAO_B744F"),
                    lf_aircraftFolder(root / "IVAO_MTL" / "IVAO_B73H"),
                    lf_aircraftFolder(root / "IVAO_MTL" / "IVAO_XXXX")}};
  }();
  return folders;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Folders& folders = lf_folders();
  wdrx::fuzz::Input input(data, size);
  const std::uint8_t options = input.byte();
  const bool ivao = (options & 1) != 0;
  const fs::path folder = ivao ? folders.ivao[(options >> 2) & 3] : folders.plain;
  const fs::path file = folder / ((options & 2) != 0 && !ivao ? "sim.cfg" : "aircraft.cfg");
  wdrx::fuzz::writeFile(file, input.rest());

  const ScanInputs inputs;
  std::list<LiveryData> liveries;
  try {
    ScanTaskResult result = ivao ? lf_searchLiveriesinIVAOFile(1, file, inputs) : lf_searchLiveriesinFile(1, file, inputs);
    lf_takeTaskResult(std::move(result), liveries);
  } catch (const std::exception&) {
    // The scan's driver logs it and loses this file only.
  }
  // Each input is a scan of its own.
  lf_clearClaimedTitles();
  lf_clearScanLists();
  modelFixes.lines.clear();
  fs::remove(file);
  return 0;
}
