#pragma once
// parameters.xml: reading all settings, writing all, saving one at once, the per-airport
// user-settings snapshot, and the find/append operations shared with the airport files.
//
// Layout: <root><parameters><parameter name="KEY" value="..."/>...</parameters></root>.
// One lock serialises every read and write of the file (the GUI thread and the run thread
// both save), and every write goes to a temporary file that is renamed over parameters.xml,
// so the file is never seen half written.
#include <cstdint>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "config/parameters.hpp"

// The user's own values of the per-airport settings, taken by the airport-file reader before
// an airport file overrides them. Written and read on the run thread.
struct UserSettingsSnapshot {
  std::int32_t MAX_LIVE_SEL = 0;
  std::int32_t MAX_FIT = 0;
  std::int32_t RANGE = 0;
  std::int32_t parking_percentage = 0;
  bool AUTO_RANGE = false;
  bool INITIAL_LOAD_ONLY = false;
  bool PARK_SOFT = false;
  bool WEEK = false;
};
extern UserSettingsSnapshot userSettingsSnapshot;

// Copies the current values of the eight per-airport settings into userSettingsSnapshot.
void gf_takeUserSettingsSnapshot();
// Puts the snapshot back: each setting that differs is set, saved and shown.
void gf_restoreUserSettings();

// True when a new file with default values was written (missing, unreadable or no parameters).
bool gf_readParameters();
void gf_writeParameters(bool writeDefaults);
void gf_saveBoolParameter(BoolParameter& parameter);
void gf_saveIntParameter(IntParameter& parameter);
void gf_saveStringParameter(StringParameter& parameter);
void gf_setStringParameter(StringParameter& parameter, const std::string& text);
// Replaces a file without root by a full write of the current values (of the old file's values
// while the settings were never loaded); the new file is renamed over the old one.
void gf_placeRootLevelInParameters();

// Start-up: read the file, switch the scans on for a new file, convert an older file. Throws
// std::filesystem::filesystem_error ("exists" or "remove") when a data file cannot be removed.
void gf_initParameters();
// True when the file comes from a version too old to convert (older than 11.0.2).
bool gf_checkParametersVersion();

// Find operations on any document of the parameters layout (root optional): the first
// <parameter> whose name equals `name` exactly; without a value attribute false, 0 or "".
std::optional<bool> gf_findXmlBoolParameter(const pugi::xml_node& document, const std::string& name);
std::optional<int> gf_findXmlIntParameter(const pugi::xml_node& document, const std::string& name);
std::optional<std::string> gf_findXmlStringParameter(const pugi::xml_node& document,
                                                     const std::string& name);
// Append a <parameter name= value=> element to `node`; false when it could not be added.
bool gf_appendXmlBoolParameter(pugi::xml_node node, const std::string& name, bool value);
bool gf_appendXmlIntParameter(pugi::xml_node node, const std::string& name, int value);
bool gf_appendXmlStringParameter(pugi::xml_node node, const std::string& name, const std::string& value);
bool gf_appendAttribute(pugi::xml_node node, const char* attributeName, const std::string& text);
bool lf_setOrAppendAttribute(pugi::xml_node node, const char* attributeName, const std::string& text);

// Value log lines ("NAME=true", "NAME=12", "NAME=\"text\""), silent while a run stops.
void gf_logBoolParameter(const BoolParameter& parameter);
void gf_logIntParameter(const IntParameter& parameter);
void gf_logStringParameter(const StringParameter& parameter);

namespace wdrx::testing {
// The store as at process start: settings never loaded, no damaged file shown, empty snapshot.
void resetParametersStore();
}  // namespace wdrx::testing
