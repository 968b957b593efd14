#include "config/parameters_store.hpp"

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "foundation/version.hpp"
#include "foundation/xml_meta.hpp"
#include "platform/shell.hpp"

UserSettingsSnapshot userSettingsSnapshot;

namespace {

// Serialises every read and write of parameters.xml. Never held while a control is updated:
// on Windows that sends a message to the GUI thread, which may be waiting here to save.
std::mutex storeMutex;
// Set once the settings in memory came from the file (or were written to a new one); until
// then a rewrite of an old file keeps the file's values rather than the defaults in memory.
bool parametersLoaded = false;
// A damaged file that could not be moved aside has been shown to the user: later saves that
// fail on it only log.
bool damagedFileShown = false;

// Control updates collected under the lock and run after it is released.
using ControlUpdates = std::vector<std::function<void()>>;

void lf_runUpdates(const ControlUpdates& updates) {
  for (const auto& update : updates) update();
}

void lf_queueCheck(ControlUpdates& updates, CheckBoxParameter& parameter) {
  updates.emplace_back([&parameter] {
    if (auto* view = gf_settingsView()) view->setCheck(parameter, parameter.value.load());
  });
}

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

// root/parameters, or parameters at the top level of an old file.
pugi::xml_node lf_parametersNode(const pugi::xml_node& document) {
  const pugi::xml_node root = document.child("root");
  return (root ? root : document).child("parameters");
}

enum class Loaded {
  usable,    // parsed, and holds a parameters element (with or without root)
  missing,   // no file: a new one may be written
  damaged,   // something is there that cannot be used: it must not be written over
  notAFile,  // a folder or another non-file: not parsed, left where it is
};

Loaded lf_loadParameters(pugi::xml_document& document, std::string& why) {
  // The parser would take a folder's size for the size of a file to read (2^63 bytes).
  using std::filesystem::file_type;
  std::error_code statusError;
  const file_type type = std::filesystem::status(parametersFile, statusError).type();
  if (type != file_type::regular && type != file_type::not_found && type != file_type::none) {
    why = type == file_type::directory ? "it is a folder" : "it is not a file";
    return Loaded::notAFile;
  }
  const pugi::xml_parse_result parsed =
      document.load_file(parametersFile.c_str(), pugi::parse_default, pugi::encoding_auto);
  if (parsed && lf_parametersNode(document)) return Loaded::usable;
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(parametersFile, ec);
  if (status.type() == std::filesystem::file_type::not_found) return Loaded::missing;
  why = parsed ? "it holds no parameters" : parsed.description();
  return Loaded::damaged;
}

// A parameters.xml that exists but cannot be used still holds the user's settings, perhaps
// recoverable by hand: it is moved aside (logged, and a warning box), never written over; a
// folder or another non-file is left where it is. True when the path is free for a new file.
bool lf_moveDamagedAside(Loaded loaded, const std::string& why) {
  if (loaded == Loaded::usable || loaded == Loaded::missing) return true;
  std::string error;
  const auto aside = loaded == Loaded::damaged
                         ? gf_moveAside(parametersFile, "unreadable", error)
                         : std::nullopt;
  std::string text;
  if (loaded == Loaded::notAFile) {
    text = wdrx::format("{} could not be read ({}): {} runs with default settings and saves none "
                        "until it is removed.",
                        gf_pathToUtf8(parametersFile), why, "Wendrix_P3D");
  } else if (aside) {
    text = wdrx::format("{} could not be read ({}). It was renamed to '{}'; {} starts with default "
                        "settings.",
                        gf_pathToUtf8(parametersFile), why, gf_pathToUtf8(aside->filename()),
                        "Wendrix_P3D");
  } else {
    text = wdrx::format("{} could not be read ({}) nor renamed ({}): the settings are not saved "
                        "until it is repaired or removed.",
                        gf_pathToUtf8(parametersFile), why, error);
  }
  gf_logMarked(text);
  if (aside || !damagedFileShown) platform::warningMessageBox(text, "WDRX");
  damagedFileShown = !aside;
  return aside.has_value();
}

// Writes through a temporary file renamed over parameters.xml, so that no reader ever sees a
// half-written file and a failure leaves the previous one in place; a read-only file stays.
FileWrite lf_saveDocument(pugi::xml_document& document) {
  return gf_replaceFile(parametersFile, [&document](const std::filesystem::path& temporary) {
    return gf_saveXmlWithDeclaration(document, temporary);
  });
}

void lf_logSaveFailure(const FileWrite& written) {
  gf_logMarked(wdrx::format("saving: {} failed", gf_pathToUtf8(parametersFile)));
  gf_logIndented(written.error);
}

void lf_closingBanner() {
  const std::string banner = gf_starLine(70, 10, false, true, "");
  std::lock_guard lock(logMutex);
  if (logStream.is_open()) logStream << banner << '\n';
}

void lf_logAppendFailure(const std::string& name, const std::string& valueText) {
  gf_logUnlessStopping(wdrx::format("{}adding xml parameter {} with {} failed!", "===> ", name,
                                    valueText));
}

bool lf_appendXmlStringParameter(pugi::xml_node node, const std::string& name,
                                 const std::string& value) {
  pugi::xml_node element = node.append_child("parameter");
  if (!element) return false;
  return gf_appendAttribute(element, "name", name) && gf_appendAttribute(element, "value", value);
}

// Walks the six lists in their order; after an entry a check box gets its check state, a
// combo box and an edit box their text (queued, run once the lock is released).
template <typename OnBool, typename OnInt, typename OnString>
void lf_walkLists(ControlUpdates& updates, OnBool onBool, OnInt onInt, OnString onString) {
  for (auto* p : boolParameters)
    if (p) onBool(*p);
  for (auto* p : checkBoxParameters) {
    if (!p) continue;
    onBool(*p);
    lf_queueCheck(updates, *p);
  }
  for (auto* p : intParameters)
    if (p) onInt(*p);
  for (auto* p : comboBoxParameters) {
    if (!p) continue;
    onInt(*p);
    updates.emplace_back([p] { gf_showIntParameter(*p); });
  }
  for (auto* p : stringParameters)
    if (p) onString(*p);
  for (auto* p : editParameters) {
    if (!p) continue;
    onString(*p);
    updates.emplace_back([p] { gf_showStringParameter(*p); });
  }
}

// --- writing all -----------------------------------------------------------------------------

// The value a full write stores: the default, the value in memory, or - while the settings
// were never loaded - the value the old file holds.
template <typename T, typename Find>
T lf_valueToWrite(bool writeDefaults, const T& defaultValue, const T& current,
                  const pugi::xml_node& oldDocument, const std::string& name, Find find) {
  if (writeDefaults) return defaultValue;
  if (!parametersLoaded && oldDocument) {
    if (auto stored = find(oldDocument, name)) return *stored;
  }
  return current;
}

void lf_writeBoolParameter(pugi::xml_node parameters, BoolParameter& parameter, bool value) {
  if (!gf_appendXmlBoolParameter(parameters, parameter.name, value))
    lf_logAppendFailure(parameter.name, lf_boolText(parameter.value.load()));
  gf_logBoolParameter(parameter);
}

void lf_writeIntParameter(pugi::xml_node parameters, IntParameter& parameter, int value) {
  if (!gf_appendXmlIntParameter(parameters, parameter.name, value))
    lf_logAppendFailure(parameter.name, std::to_string(parameter.value.load()));
  gf_logIntParameter(parameter);
}

void lf_writeStringParameter(pugi::xml_node parameters, StringParameter& parameter,
                             const std::string& value) {
  if (!lf_appendXmlStringParameter(parameters, parameter.name, value))
    lf_logAppendFailure(parameter.name, parameter.value.load());
  gf_logStringParameter(parameter);
}

void lf_writeAllLocked(bool writeDefaults, const pugi::xml_node& oldDocument,
                       ControlUpdates& updates) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  if (writeDefaults) {
    PROGRAM_VERSION.defaultValue = programVersion.text();
  }
  pugi::xml_node parameters = root.append_child("parameters");
  if (!parameters) {
    lf_closingBanner();
    return;
  }
  auto boolValue = [&](BoolParameter& p) {
    return lf_valueToWrite(writeDefaults, p.defaultValue, p.value.load(), oldDocument, p.name,
                           gf_findXmlBoolParameter);
  };
  auto intValue = [&](IntParameter& p) {
    return lf_valueToWrite(writeDefaults, p.defaultValue, p.value.load(), oldDocument, p.name,
                           gf_findXmlIntParameter);
  };
  auto stringValue = [&](StringParameter& p) {
    return lf_valueToWrite(writeDefaults, p.defaultValue, p.value.load(), oldDocument, p.name,
                           gf_findXmlStringParameter);
  };

  lf_walkLists(
      updates, [&](BoolParameter& p) { lf_writeBoolParameter(parameters, p, boolValue(p)); },
      [&](IntParameter& p) { lf_writeIntParameter(parameters, p, intValue(p)); },
      [&](StringParameter& p) { lf_writeStringParameter(parameters, p, stringValue(p)); });

  if (const FileWrite written = lf_saveDocument(document); !written.ok) lf_logSaveFailure(written);
  lf_closingBanner();
}

// --- reading all -----------------------------------------------------------------------------

template <typename T, typename Find, typename Append>
T lf_readOrAppend(pugi::xml_document& document, pugi::xml_node parameters,
                  const std::string& name, const T& defaultValue, Find find, Append append) {
  if (auto stored = find(document, name)) return *stored;
  append(parameters, name, defaultValue);
  return defaultValue;
}

bool lf_readAllLocked(ControlUpdates& updates) {
  gf_log(gf_starLine(70, 0, true, false, "parameters"));
  pugi::xml_document document;
  std::string why;
  const Loaded loaded = lf_loadParameters(document, why);
  if (loaded != Loaded::usable) {
    parametersLoaded = true;
    // A damaged file that cannot be moved aside (or a folder) is left alone: the run goes on
    // with the settings in memory and every save fails (logged) until the user repairs or
    // removes it.
    if (!lf_moveDamagedAside(loaded, why)) return true;
    gf_log(wdrx::format("{} not found, creating new with default values:",
                        gf_pathToUtf8(parametersFile)));
    lf_writeAllLocked(true, pugi::xml_node{}, updates);
    return true;
  }
  gf_log(wdrx::format("from '{}'", gf_pathToUtf8(parametersFile)));
  const pugi::xml_node parameters = lf_parametersNode(document);

  auto readBool = [&](BoolParameter& p) {
    p.value.store(lf_readOrAppend(document, parameters, p.name, p.defaultValue,
                                  gf_findXmlBoolParameter, gf_appendXmlBoolParameter));
    gf_logBoolParameter(p);
  };
  auto readInt = [&](IntParameter& p) {
    if (auto stored = gf_findXmlIntParameter(document, p.name)) {
      p.value.store(p.bounded(*stored));
    } else {
      p.value.store(p.defaultValue);
      gf_appendXmlIntParameter(parameters, p.name, p.defaultValue);
    }
    gf_logIntParameter(p);
  };
  auto readString = [&](StringParameter& p) {
    p.value.store(lf_readOrAppend(document, parameters, p.name, p.defaultValue,
                                  gf_findXmlStringParameter, lf_appendXmlStringParameter));
    gf_logStringParameter(p);
  };

  lf_walkLists(updates, readBool, readInt, readString);
  parametersLoaded = true;

  if (const FileWrite written = lf_saveDocument(document); !written.ok) lf_logSaveFailure(written);
  lf_closingBanner();
  return false;
}

// --- single saves ----------------------------------------------------------------------------

void lf_placeRootLevelLocked(const pugi::xml_node& oldDocument, ControlUpdates& updates) {
  gf_log("\nPlacing a root level around a new parameters.xml to make it 100% xml compliance\n");
  // The full write renames over the old file, so it is not removed first.
  lf_writeAllLocked(false, oldDocument, updates);
}

// The value line says the value is in the file: only after a successful save.
void lf_logSaved(const FileWrite& written, const Parameter& parameter, const std::string& valueText,
                 const std::function<void()>& logValue) {
  if (written.ok) {
    logValue();
  } else {
    lf_logSaveFailure({false, wdrx::format("{}: {}={} not saved", written.error, parameter.name, valueText)});
  }
}

// The value is taken under the lock, so that of two threads saving the same setting the file
// ends with the value that memory holds.
void lf_saveParameter(const Parameter& parameter, const std::function<std::string()>& currentText,
                      const std::function<void()>& logValue) {
  ControlUpdates updates;
  {
    std::lock_guard lock(storeMutex);
    const std::string valueText = currentText();
    pugi::xml_document document;
    std::string why;
    const Loaded loaded = lf_loadParameters(document, why);
    if (!lf_moveDamagedAside(loaded, why)) {
      lf_logSaveFailure({false, wdrx::format("{}={} not saved", parameter.name, valueText)});
      return;
    }
    if (loaded != Loaded::usable) {
      pugi::xml_document fresh;
      pugi::xml_node parameters = fresh.append_child("root").append_child("parameters");
      lf_appendXmlStringParameter(parameters, parameter.name, valueText);
      lf_logSaved(lf_saveDocument(fresh), parameter, valueText, logValue);
      return;
    }
    pugi::xml_node root = document.child("root");
    pugi::xml_node parameters = lf_parametersNode(document);

    bool matched = false;
    for (pugi::xml_node element : parameters.children("parameter")) {
      if (parameter.name == element.attribute("name").value()) {
        lf_setOrAppendAttribute(element, "value", valueText);
        matched = true;
      }
    }
    if (!matched) lf_appendXmlStringParameter(parameters, parameter.name, valueText);

    if (root) {
      lf_logSaved(lf_saveDocument(document), parameter, valueText, logValue);
    } else {
      logValue();
      lf_placeRootLevelLocked(document, updates);
    }
  }
  lf_runUpdates(updates);
}

}  // namespace

// --- find, append and log operations ----------------------------------------------------------

namespace {
pugi::xml_node lf_findParameterElement(const pugi::xml_node& document, const std::string& name) {
  for (pugi::xml_node element : lf_parametersNode(document).children("parameter")) {
    if (name == element.attribute("name").value()) return element;
  }
  return {};
}
}  // namespace

std::optional<bool> gf_findXmlBoolParameter(const pugi::xml_node& document,
                                            const std::string& name) {
  const pugi::xml_node element = lf_findParameterElement(document, name);
  if (!element) return std::nullopt;
  return element.attribute("value").as_bool(false);
}

std::optional<int> gf_findXmlIntParameter(const pugi::xml_node& document,
                                          const std::string& name) {
  const pugi::xml_node element = lf_findParameterElement(document, name);
  if (!element) return std::nullopt;
  return element.attribute("value").as_int(0);
}

std::optional<std::string> gf_findXmlStringParameter(const pugi::xml_node& document,
                                                     const std::string& name) {
  const pugi::xml_node element = lf_findParameterElement(document, name);
  if (!element) return std::nullopt;
  return std::string(element.attribute("value").as_string(""));
}

bool gf_appendAttribute(pugi::xml_node node, const char* attributeName, const std::string& text) {
  pugi::xml_attribute attribute = node.append_attribute(attributeName);
  return attribute && attribute.set_value(text.c_str());
}

bool lf_setOrAppendAttribute(pugi::xml_node node, const char* attributeName,
                             const std::string& text) {
  pugi::xml_attribute attribute = node.attribute(attributeName);
  if (!attribute) attribute = node.append_attribute(attributeName);
  return attribute && attribute.set_value(text.c_str());
}

bool gf_appendXmlBoolParameter(pugi::xml_node node, const std::string& name, bool value) {
  return lf_appendXmlStringParameter(node, name, lf_boolText(value));
}

bool gf_appendXmlIntParameter(pugi::xml_node node, const std::string& name, int value) {
  return lf_appendXmlStringParameter(node, name, std::to_string(value));
}

bool gf_appendXmlStringParameter(pugi::xml_node node, const std::string& name, const std::string& value) {
  return lf_appendXmlStringParameter(node, name, value);
}

void gf_logBoolParameter(const BoolParameter& parameter) {
  gf_logUnlessStopping(wdrx::format("{}={}", parameter.name, lf_boolText(parameter.value.load())));
}

void gf_logIntParameter(const IntParameter& parameter) {
  gf_logUnlessStopping(wdrx::format("{}={}", parameter.name, parameter.value.load()));
}

void gf_logStringParameter(const StringParameter& parameter) {
  gf_logUnlessStopping(wdrx::format("{}=\"{}\"", parameter.name, parameter.value.load()));
}

// --- whole-file operations --------------------------------------------------------------------

bool gf_readParameters() {
  ControlUpdates updates;
  bool created = false;
  {
    std::lock_guard lock(storeMutex);
    created = lf_readAllLocked(updates);
  }
  lf_runUpdates(updates);
  return created;
}

void gf_writeParameters(bool writeDefaults) {
  ControlUpdates updates;
  {
    std::lock_guard lock(storeMutex);
    pugi::xml_document old;
    std::string why;
    if (!lf_moveDamagedAside(lf_loadParameters(old, why), why)) return;
    lf_writeAllLocked(writeDefaults, pugi::xml_node{}, updates);
  }
  lf_runUpdates(updates);
}

void gf_placeRootLevelInParameters() {
  ControlUpdates updates;
  {
    std::lock_guard lock(storeMutex);
    pugi::xml_document old;
    std::string why;
    const Loaded loaded = lf_loadParameters(old, why);
    if (!lf_moveDamagedAside(loaded, why)) return;
    lf_placeRootLevelLocked(loaded == Loaded::usable ? static_cast<pugi::xml_node>(old) : pugi::xml_node{},
                            updates);
  }
  lf_runUpdates(updates);
}

void gf_saveBoolParameter(BoolParameter& parameter) {
  lf_saveParameter(parameter, [&parameter] { return std::string(lf_boolText(parameter.value.load())); },
                   [&parameter] { gf_logBoolParameter(parameter); });
}

void gf_saveIntParameter(IntParameter& parameter) {
  lf_saveParameter(parameter, [&parameter] { return std::to_string(parameter.value.load()); },
                   [&parameter] { gf_logIntParameter(parameter); });
}

void gf_saveStringParameter(StringParameter& parameter) {
  lf_saveParameter(parameter, [&parameter] { return parameter.value.load(); },
                   [&parameter] { gf_logStringParameter(parameter); });
}

void gf_setStringParameter(StringParameter& parameter, const std::string& text) {
  parameter.value.store(text);
  gf_saveStringParameter(parameter);
}

// --- per-airport settings ---------------------------------------------------------------------

void gf_takeUserSettingsSnapshot() {
  userSettingsSnapshot.MAX_LIVE_SEL = MAX_LIVE_SEL.value.load();
  userSettingsSnapshot.MAX_FIT = MAX_FIT.value.load();
  userSettingsSnapshot.RANGE = RANGE.value.load();
  userSettingsSnapshot.parking_percentage = parking_percentage.value.load();
  userSettingsSnapshot.AUTO_RANGE = AUTO_RANGE.value.load();
  userSettingsSnapshot.INITIAL_LOAD_ONLY = INITIAL_LOAD_ONLY.value.load();
  userSettingsSnapshot.PARK_SOFT = PARK_SOFT.value.load();
  userSettingsSnapshot.WEEK = WEEK.value.load();
}

namespace {
// Sets and saves an int setting from the snapshot; false when it already held that value.
bool lf_restoreInt(IntParameter& parameter, std::int32_t stored) {
  if (parameter.value.load() == stored) return false;
  parameter.value.store(parameter.bounded(stored));
  gf_saveIntParameter(parameter);
  return true;
}

void lf_selectAllowed(ComboBoxParameter& parameter, SettingsView* view) {
  const int index = parameter.indexOf(parameter.value.load());
  if (view && index >= 0) view->selectComboIndex(parameter, index);
}

bool lf_restoreBool(CheckBoxParameter& parameter, bool stored, SettingsView* view) {
  if (parameter.value.load() == stored) return false;
  parameter.value.store(stored);
  gf_saveBoolParameter(parameter);
  if (view) view->setCheck(parameter, stored);
  return true;
}
}  // namespace

void gf_restoreUserSettings() {
  const UserSettingsSnapshot snapshot = userSettingsSnapshot;
  SettingsView* view = gf_settingsView();
  SettingsFollowUps* followUps = gf_settingsFollowUps();

  if (lf_restoreInt(MAX_LIVE_SEL, snapshot.MAX_LIVE_SEL)) lf_selectAllowed(MAX_LIVE_SEL, view);
  if (lf_restoreInt(MAX_FIT, snapshot.MAX_FIT) && followUps) followUps->syncMaxFitCombo();
  if (lf_restoreInt(RANGE, snapshot.RANGE)) {
    if (followUps) {
      followUps->setRange(snapshot.RANGE);
    } else {
      // Without a window the copies follow the value RANGE now holds (bounded).
      const std::int32_t nm = RANGE.value.load();
      rangeNm.store(static_cast<double>(nm));
      rangeMeters.store(static_cast<std::uint32_t>(nm) * 1852u);
    }
  }
  if (lf_restoreInt(parking_percentage, snapshot.parking_percentage))
    lf_selectAllowed(parking_percentage, view);
  if (lf_restoreBool(AUTO_RANGE, snapshot.AUTO_RANGE, view) && view) {
    view->enable(RANGE, !snapshot.AUTO_RANGE);
    view->enable(AR_ABOVE_HEIGHT, snapshot.AUTO_RANGE);
  }
  lf_restoreBool(INITIAL_LOAD_ONLY, snapshot.INITIAL_LOAD_ONLY, view);
  lf_restoreBool(PARK_SOFT, snapshot.PARK_SOFT, view);
  lf_restoreBool(WEEK, snapshot.WEEK, view);
}

// --- start-up loading and version conversion -------------------------------------------------

namespace {

// Removes a file (or a folder with all its contents) when it exists. The errors name the failed
// step ("exists" or "remove") and the path, whatever the standard library would call them.
void lf_removeIfExists(const std::filesystem::path& path, bool withContents = false) {
  std::error_code ec;
  const bool exists = std::filesystem::exists(path, ec);
  if (ec) throw std::filesystem::filesystem_error("exists", path, ec);
  if (!exists) return;
  if (withContents) {
    std::filesystem::remove_all(path, ec);
  } else {
    std::filesystem::remove(path, ec);
  }
  if (ec) throw std::filesystem::filesystem_error("remove", path, ec);
}

// PROGRAM_VERSION := the program's version, saved at once.
void lf_stampProgramVersion() {
  PROGRAM_VERSION.value.store(programVersion.text());
  gf_saveStringParameter(PROGRAM_VERSION);
}

}  // namespace

bool gf_checkParametersVersion() {
  const std::string stored = PROGRAM_VERSION.value.load();
  std::string defaultText;
  {
    std::lock_guard lock(storeMutex);
    defaultText = PROGRAM_VERSION.defaultValue;
  }
  if (stored == defaultText) {
    lf_stampProgramVersion();
    return false;
  }
  const VersionData storedVersion{stored};
  if (storedVersion == VersionData{}) {
    // No version text: nothing says the file is old, so its settings and the data files stay.
    gf_log(wdrx::format("{}: PROGRAM_VERSION \"{}\" is not a version, taken as {}",
                        "gf_checkParametersVersion", stored, programVersion.text()));
    lf_stampProgramVersion();
    return false;
  }
  if (storedVersion != programVersion) lf_stampProgramVersion();
  if (!(programVersion > storedVersion)) return false;

  gf_log(wdrx::format("This is a version update from {} -> {}", storedVersion.text(),
                      programVersion.text()));
  if (storedVersion < VersionData{12, 0, 0}) {
    lf_removeIfExists(paths::airportsEnc);
    lf_removeIfExists(paths::regcodesEnc);
    lf_removeIfExists(paths::dbaseEnc);
  }
  if (storedVersion < VersionData{11, 0, 2}) return true;
  lf_removeIfExists("new_version", true);
  return false;
}

void gf_initParameters() {
  if (gf_readParameters()) {
    for (CheckBoxParameter* scan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
      scan->value.store(true);
      gf_saveBoolParameter(*scan);
      if (auto* view = gf_settingsView()) view->setCheck(*scan, true);
    }
    return;
  }
  if (gf_checkParametersVersion()) {
    gf_log("\nYour previous version was too old to convert the old text box parameters to the "
           "newdropbox values.");
    gf_log(wdrx::format("{} re-starts with default parameter values ...\n", "Wendrix_P3D"));
    // The full write renames over the old file, so it is not removed first.
    gf_writeParameters(true);
  }
}

namespace wdrx::testing {
void resetParametersStore() {
  std::lock_guard lock(storeMutex);
  parametersLoaded = false;
  damagedFileShown = false;
  userSettingsSnapshot = {};
}
}  // namespace wdrx::testing
