#pragma once
// Every setting of the program: one global object per key of parameters.xml, and the six
// registration lists that the store walks (in this order: boolParameters, checkBoxParameters,
// intParameters, comboBoxParameters, stringParameters, editParameters).
//
// Read values directly: RANGE.value.load(), BLOCK_CALLSIGN.value.load(); write with store()
// and save with the gf_save...Parameter functions of parameters_store.hpp.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/parameters.hpp"

// Check boxes (checkBoxParameters, in list order).
extern CheckBoxParameter ALWAYS_ON_TOP;
extern CheckBoxParameter NAV_LIGHTS_WHILE_PARKED;
extern CheckBoxParameter AEROWINX;
extern CheckBoxParameter GUID_CHANGES;
extern CheckBoxParameter SCAN_LIVERIES;
extern CheckBoxParameter LIG_PRIORITIZE;
extern CheckBoxParameter SCAN_AIRPORTS;
extern CheckBoxParameter LIGHT_AIRCRAFT;
extern CheckBoxParameter HELICOPTERS;
extern CheckBoxParameter HIGH_PERF_AIRCRAFT;
extern CheckBoxParameter AUTO_RANGE;
extern CheckBoxParameter AIRBORNE_ONLY;
extern CheckBoxParameter COLLISION_USER_GND;
extern CheckBoxParameter COLLISION_USER_AIR;
extern CheckBoxParameter COLLISION_LIVE_PARKED_GND;
extern CheckBoxParameter STRAIGHT_PBS_ONLY;
extern CheckBoxParameter INITIAL_LOAD_ONLY;
extern CheckBoxParameter WEEK;
extern CheckBoxParameter PARK_SOFT;

// Plain bool (boolParameters).
extern BoolParameter RANDOM;

// Integers (intParameters, in list order; AIRP_HEIGHT, a combo box, stands in this list too).
extern IntParameter MAIN_WINDOW_X;
extern IntParameter MAIN_WINDOW_Y;
extern IntParameter LAST_EPOCH_TIME;  // key "LAST_EPOCH_TIME:" (with the colon)
extern IntParameter CUSTOM_PARKING_PERCENTAGE;
extern IntParameter HOLDING_THRESHOLD_METERS;
extern IntParameter MAX_HOLDING_MINUTES;
extern IntParameter MAX_FIT;
extern IntParameter P3D_VERSION;

// Combo boxes (comboBoxParameters, in list order).
extern ComboBoxParameter MATCHING_DEPTH;
extern ComboBoxParameter RANGE;
extern ComboBoxParameter AR_ABOVE_HEIGHT;
extern ComboBoxParameter MAX_PARK_SEL;
extern ComboBoxParameter MAX_LIVE_SEL;
extern ComboBoxParameter AIRP_RANGE;
extern ComboBoxParameter AIRP_HEIGHT;

// Combo boxes in no list: per-airport values of airport files. parking_percentage is written
// into parameters.xml by single saves only and never read back from it.
extern ComboBoxParameter parking_percentage;
extern FloatComboBoxParameter AMAX_FIT_FL;

// Texts (stringParameters, in list order; DESTINATION is an edit box registered here).
extern StringParameter PROGRAM_VERSION;
extern StringParameter SIM_INSTALL_PATH;
extern StringParameter PORT_NUMBER;
extern StringParameter lfolder0;
extern StringParameter lfolder1;
extern StringParameter lfolder2;
extern StringParameter lfolder3;
extern StringParameter lfolder4;
extern StringParameter lfolder5;
extern StringParameter lfolder6;
extern StringParameter lfolder7;
extern StringParameter lfolder8;
extern StringParameter lfolder9;
extern StringParameter afolder0;
extern StringParameter afolder1;
extern StringParameter afolder2;
extern StringParameter afolder3;
extern StringParameter afolder4;
extern StringParameter afolder5;
extern StringParameter afolder6;
extern StringParameter afolder7;
extern StringParameter afolder8;
extern StringParameter afolder9;
extern StringParameter AIG_VERSION;
extern StringParameter DBASE_VERSION;
extern StringParameter AIRPORTS_VERSION;
extern StringParameter LIV_SCAN_VERSION;
extern StringParameter ADDONS_SCAN_VERSION;
extern EditParameter DESTINATION;

// Edit boxes.
extern EditParameter BLOCK_CALLSIGN;        // editParameters
extern EditParameter ALL_INSTALL_PATH;      // in no list
extern StringChoiceParameter CALLSIGN_2_OBJECTID;  // in no list; its choices are liveCallsigns

// The buttons of the main window: a caption, a control id and a row, no value.
extern NamedControl tbloZipButton;      // "tblo.zip"
extern NamedControl unblockButton;      // "Unblock"
extern NamedControl csToOidButton;      // "cs->oid:"
extern NamedControl blockButton;        // "Block"
extern NamedControl nowButton;          // "Now"
extern NamedControl rereadButton;       // "Re-read"
extern NamedControl flushStaticButton;  // "Flush static"

// The ten livery folders and the ten add-on airport folders, in order (lfolder0.., afolder0..).
extern const std::vector<StringParameter*> liveryFolderParameters;
extern const std::vector<StringParameter*> airportFolderParameters;

// The AMAX_FIT_FL hours of a MAX_FIT step: 0.5 for 0 and below, 1.0 to 5.0 by 0.5 for 1 to 9,
// 6 to 11 (one per two steps) for 10 to 21, then 12, 15, 18, 21 and 24 for 44 and above.
float gf_fitStepValue(std::int32_t step);

// Derived from RANGE: the live-traffic radius in nautical miles and in metres (nm x 1852).
extern std::atomic<double> rangeNm;
extern std::atomic<std::uint32_t> rangeMeters;

// The sorted callsigns of the live aircraft in the simulator, shared with CALLSIGN_2_OBJECTID.
// Filled and emptied by the window code on the GUI and run threads under liveCallsignsMutex.
extern const std::shared_ptr<std::vector<std::string>> liveCallsigns;
extern std::mutex liveCallsignsMutex;

// Registration lists: non-owning, filled once at static initialisation, never changed.
extern const std::vector<BoolParameter*> boolParameters;
extern const std::vector<CheckBoxParameter*> checkBoxParameters;
extern const std::vector<IntParameter*> intParameters;
extern const std::vector<ComboBoxParameter*> comboBoxParameters;
extern const std::vector<StringParameter*> stringParameters;
extern const std::vector<EditParameter*> editParameters;

namespace wdrx::testing {
// Every setting back to its default (PROGRAM_VERSION's default too), the derived range values
// with them, as at process start.
void resetSettings();
}  // namespace wdrx::testing
