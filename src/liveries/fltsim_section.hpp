#pragma once
// One [fltsim.N] section of an aircraft.cfg or sim.cfg file turned into a LiveryData (or
// refused, with the reason in a report list), and the titles claimed during a scan.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery_data.hpp"
#include "liveries/scan_task.hpp"

// Under the mutex of claimedTitles: true when the title was not claimed before in this scan
// (it is claimed now).
bool lf_claimTitle(const std::string& title);
void lf_clearClaimedTitles();
std::size_t lf_claimedTitleCount();

bool lf_isDontUseTitle(const ScanInputs& inputs, const std::string& title);

// Removes trailing empty lines and trailing lines beginning with "//".
void lf_dropTrailingLines(std::vector<std::string_view>& section);
// The folder inside `folder` named prefix + value, a trailing "." ignored ("model." + "" = "model").
std::string lf_subfolderName(std::string_view prefix, std::string_view value);

// The keys of a section as its key loop reads them.
struct SectionKeys {
  std::string title;
  std::string airline;
  std::string parkingTypes;  // upper case, no blanks or empty items
  std::string registration;
  std::string model;  // the values of the model, sim and texture keys
  std::string sim;
  std::string texture;
};

// The key rules both kinds of file share. Each tells whether it took the line, or refused the
// section (the reason is reported); `passed` hands the line on to the next rule.
enum class KeyRule { passed, taken, refused };
KeyRule lf_titleRule(CfgFileScan& scan, std::string_view header, std::string_view line, SectionKeys& keys);
KeyRule lf_parkingTypesRule(CfgFileScan& scan, std::string_view header, std::string_view line, SectionKeys& keys);
// The IVAO files keep a ";" in the value, the ordinary ones cut it off with what follows.
KeyRule lf_atcIdRule(CfgFileScan& scan, std::string_view header, std::string_view line, SectionKeys& keys,
                     bool ivao);
void lf_folderKeyRules(std::string_view line, SectionKeys& keys);
// False for a line that every key rule passes: it is no line of a key the rules read (title,
// atc_parking_codes, atc_parking_types, atc_id, model, sim, texture) and holds none of the
// texts that the "more than one" tests look for. Most lines of a section are such lines.
bool lf_mayBeKeyLine(std::string_view line);

// The names, inside the cfg file's folder, of the model folder, the flight-model file and the
// texture folder that the keys name.
std::string lf_modelFolderName(const SectionKeys& keys);
std::string lf_airFileName(const SectionKeys& keys);
std::string lf_textureFolderName(const SectionKeys& keys);

// The codes of a registration of the reference data (airline set), with the file's validated
// model in place of the record's: the record may name another type for the registration.
std::optional<AircraftCodes> lf_foundRegistration(const std::string& registration, const std::string& model);

// The section's first line is its header. Adds at most one livery to scan.result; refusals
// go to the report lists. A file-system error loses this section only.
void lf_procesFltSimSection(CfgFileScan& scan, std::vector<std::string_view>& section);
