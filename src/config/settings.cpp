// The settings objects. Everything here is built in declaration order within this one
// translation unit: allowed-value tables, then the parameters, then the lists and derived values.
#include "config/settings.hpp"

#include "foundation/hooks.hpp"

namespace {
std::vector<int> lf_steps(int first, int last, int step) {
  std::vector<int> values;
  for (int v = first; v <= last; v += step) values.push_back(v);
  return values;
}

std::vector<int> lf_airpHeights() {
  auto values = lf_steps(2000, 18000, 2000);
  values.push_back(36000);
  values.push_back(48000);
  return values;
}

std::vector<float> lf_fitHours() {
  std::vector<float> values;
  for (int i = 1; i <= 10; ++i) values.push_back(0.5f * static_cast<float>(i));
  for (float v : {6.0f, 7.0f, 8.0f, 9.0f, 10.0f, 12.0f, 15.0f, 18.0f, 21.0f, 24.0f})
    values.push_back(v);
  return values;
}

const std::vector<int> selectionCounts{0, 10, 25, 50, 75, 100, 500};
}  // namespace

CheckBoxParameter ALWAYS_ON_TOP{"ALWAYS_ON_TOP", false, 32771, 147};
CheckBoxParameter NAV_LIGHTS_WHILE_PARKED{"NAV_LIGHTS_WHILE_PARKED", true, 32774, 175};
CheckBoxParameter AEROWINX{"AEROWINX", false, 32776, 203};
CheckBoxParameter GUID_CHANGES{"GUID_CHANGES", true, 32773, 203};
CheckBoxParameter SCAN_LIVERIES{"SCAN_LIVERIES", true, 32798, 147};
CheckBoxParameter LIG_PRIORITIZE{"LIG_PRIORITIZE", true, 32800, 147};
CheckBoxParameter SCAN_AIRPORTS{"SCAN_AIRPORTS", true, 32802, 175};
CheckBoxParameter LIGHT_AIRCRAFT{"LIGHT_AIRCRAFT", true, 32809, 203};
CheckBoxParameter HELICOPTERS{"HELICOPTERS", true, 32810, 203};
CheckBoxParameter HIGH_PERF_AIRCRAFT{"HIGH_PERF_AIRCRAFT", true, 32811, 203};
CheckBoxParameter AUTO_RANGE{"AUTO_RANGE", true, 32819, 231};
CheckBoxParameter AIRBORNE_ONLY{"AIRBORNE_ONLY", false, 32821, 231};
CheckBoxParameter COLLISION_USER_GND{"COLLISION_USER_GND", true, 32834, 287};
CheckBoxParameter COLLISION_USER_AIR{"COLLISION_USER_AIR", true, 32833, 287};
CheckBoxParameter COLLISION_LIVE_PARKED_GND{"COLLISION_LIVE_PARKED_GND", false, 32835, 287};
CheckBoxParameter STRAIGHT_PBS_ONLY{"STRAIGHT_PBS_ONLY", false, 32855, 315};
CheckBoxParameter INITIAL_LOAD_ONLY{"INITIAL_LOAD_ONLY", false, 32851, 371};
CheckBoxParameter WEEK{"WEEK", false, 32853, 371};
CheckBoxParameter PARK_SOFT{"PARK_SOFT", false, 32852, 371};

BoolParameter RANDOM{"RANDOM", true};

IntParameter MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};
IntParameter MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};
IntParameter LAST_EPOCH_TIME{"LAST_EPOCH_TIME:", 0, 0, 2147483647};
IntParameter CUSTOM_PARKING_PERCENTAGE{"CUSTOM_PARKING_PERCENTAGE", -1, -1, 100};
IntParameter HOLDING_THRESHOLD_METERS{"HOLDING_THRESHOLD_METERS", 250, 10, 4000};
IntParameter MAX_HOLDING_MINUTES{"MAX_HOLDING_MINUTES", 20, 1, 60};
IntParameter MAX_FIT{"MAX_FIT", 47, 0, 47};
IntParameter P3D_VERSION{"P3D_VERSION", 5, 5, 6};

ComboBoxParameter MATCHING_DEPTH{"MATCHING_DEPTH", 4, {1, 2, 3, 4}, 32808, 203};
ComboBoxParameter RANGE{"RANGE", 40,
                        {2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 50, 65, 80, 100},
                        32818, 231};
ComboBoxParameter AR_ABOVE_HEIGHT{"AR_ABOVE_HEIGHT", 48000, lf_steps(18000, 48000, 3000), 32820,
                                  231};
ComboBoxParameter MAX_PARK_SEL{"MAX_PARK_SEL", 500, selectionCounts, 32848, 315};
ComboBoxParameter MAX_LIVE_SEL{"MAX_LIVE_SEL", 500, selectionCounts, 32849, 315};
ComboBoxParameter AIRP_RANGE{"AIRP_RANGE", 20, {5, 10, 15, 20, 25, 30}, 32840, 343};
ComboBoxParameter AIRP_HEIGHT{"AIRP_HEIGHT", 18000, lf_airpHeights(), 32841, 343};

ComboBoxParameter parking_percentage{"parking_percentage", 30, lf_steps(0, 100, 5), 32850, 371};
FloatComboBoxParameter AMAX_FIT_FL{"AMAX_FIT_FL", 24.0f, lf_fitHours(), 32854, 371};

StringParameter PROGRAM_VERSION{"PROGRAM_VERSION", ""};
StringParameter SIM_INSTALL_PATH{"SIM_INSTALL_PATH", ""};
StringParameter PORT_NUMBER{"PORT_NUMBER", "10747"};
StringParameter lfolder0{"lfolder0", ""};
StringParameter lfolder1{"lfolder1", ""};
StringParameter lfolder2{"lfolder2", ""};
StringParameter lfolder3{"lfolder3", ""};
StringParameter lfolder4{"lfolder4", ""};
StringParameter lfolder5{"lfolder5", ""};
StringParameter lfolder6{"lfolder6", ""};
StringParameter lfolder7{"lfolder7", ""};
StringParameter lfolder8{"lfolder8", ""};
StringParameter lfolder9{"lfolder9", ""};
StringParameter afolder0{"afolder0", ""};
StringParameter afolder1{"afolder1", ""};
StringParameter afolder2{"afolder2", ""};
StringParameter afolder3{"afolder3", ""};
StringParameter afolder4{"afolder4", ""};
StringParameter afolder5{"afolder5", ""};
StringParameter afolder6{"afolder6", ""};
StringParameter afolder7{"afolder7", ""};
StringParameter afolder8{"afolder8", ""};
StringParameter afolder9{"afolder9", ""};
StringParameter AIG_VERSION{"AIG_VERSION", ""};
StringParameter DBASE_VERSION{"DBASE_VERSION", ""};
StringParameter AIRPORTS_VERSION{"AIRPORTS_VERSION", ""};
StringParameter LIV_SCAN_VERSION{"LIV_SCAN_VERSION", ""};
StringParameter ADDONS_SCAN_VERSION{"ADDONS_SCAN_VERSION", ""};
EditParameter DESTINATION{"DESTINATION", "", 32839, 343};

EditParameter BLOCK_CALLSIGN{"BLOCK_CALLSIGN", "", 32828, 259};
EditParameter ALL_INSTALL_PATH{"ALL_INSTALL_PATH", "", 32788, 119};

const std::shared_ptr<std::vector<std::string>> liveCallsigns =
    std::make_shared<std::vector<std::string>>();
std::mutex liveCallsignsMutex;
StringChoiceParameter CALLSIGN_2_OBJECTID{"CALLSIGN_2_OBJECTID", "", 32831, 259, liveCallsigns};

NamedControl tbloZipButton{"tblo.zip", 32804, 175};
NamedControl unblockButton{"Unblock", 32829, 257};
NamedControl csToOidButton{"cs->oid:", 32830, 257};
NamedControl blockButton{"Block", 32832, 257};
NamedControl nowButton{"Now", 32847, 313};
NamedControl rereadButton{"Re-read", 32838, 341};
NamedControl flushStaticButton{"Flush static", 32857, 369};

const std::vector<StringParameter*> liveryFolderParameters{
    &lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
    &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};
const std::vector<StringParameter*> airportFolderParameters{
    &afolder0, &afolder1, &afolder2, &afolder3, &afolder4,
    &afolder5, &afolder6, &afolder7, &afolder8, &afolder9};

std::atomic<double> rangeNm{static_cast<double>(RANGE.value.load())};
std::atomic<std::uint32_t> rangeMeters{static_cast<std::uint32_t>(RANGE.value.load()) * 1852u};

const std::vector<BoolParameter*> boolParameters{&RANDOM};
const std::vector<CheckBoxParameter*> checkBoxParameters{
    &ALWAYS_ON_TOP,      &NAV_LIGHTS_WHILE_PARKED, &AEROWINX,
    &GUID_CHANGES,       &SCAN_LIVERIES,           &LIG_PRIORITIZE,
    &SCAN_AIRPORTS,      &LIGHT_AIRCRAFT,          &HELICOPTERS,
    &HIGH_PERF_AIRCRAFT, &AUTO_RANGE,              &AIRBORNE_ONLY,
    &COLLISION_USER_GND, &COLLISION_USER_AIR,      &COLLISION_LIVE_PARKED_GND,
    &STRAIGHT_PBS_ONLY,  &INITIAL_LOAD_ONLY,       &WEEK,
    &PARK_SOFT};
const std::vector<IntParameter*> intParameters{
    &MAIN_WINDOW_X,       &MAIN_WINDOW_Y, &LAST_EPOCH_TIME,
    &CUSTOM_PARKING_PERCENTAGE, &HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES,
    &AIRP_HEIGHT,         &MAX_FIT,       &P3D_VERSION};
const std::vector<ComboBoxParameter*> comboBoxParameters{
    &MATCHING_DEPTH, &RANGE, &AR_ABOVE_HEIGHT, &MAX_PARK_SEL, &MAX_LIVE_SEL, &AIRP_RANGE,
    &AIRP_HEIGHT};
const std::vector<StringParameter*> stringParameters{
    &PROGRAM_VERSION, &SIM_INSTALL_PATH, &PORT_NUMBER,
    &lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
    &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9,
    &afolder0, &afolder1, &afolder2, &afolder3, &afolder4,
    &afolder5, &afolder6, &afolder7, &afolder8, &afolder9,
    &AIG_VERSION, &DBASE_VERSION, &AIRPORTS_VERSION, &LIV_SCAN_VERSION, &ADDONS_SCAN_VERSION,
    &DESTINATION};
const std::vector<EditParameter*> editParameters{&BLOCK_CALLSIGN};

namespace {
// The foundation's random choices follow RANDOM through its hook; registered whenever the
// settings are part of the program, before main runs.
const bool randomSwitchRegistered = [] {
  gf_setRandomSwitch([] { return RANDOM.value.load(); });
  return true;
}();
}  // namespace

namespace wdrx::testing {
void resetSettings() {
  for (BoolParameter* p : boolParameters) p->value.store(p->defaultValue);
  for (CheckBoxParameter* p : checkBoxParameters) p->value.store(p->defaultValue);
  for (IntParameter* p : intParameters) p->value.store(p->defaultValue);
  for (ComboBoxParameter* p : comboBoxParameters) p->value.store(p->defaultValue);
  PROGRAM_VERSION.defaultValue.clear();
  for (StringParameter* p : stringParameters) p->value.store(p->defaultValue);
  for (EditParameter* p : editParameters) p->value.store(p->defaultValue);
  parking_percentage.value.store(parking_percentage.defaultValue);
  AMAX_FIT_FL.value.store(AMAX_FIT_FL.defaultValue);
  ALL_INSTALL_PATH.value.store(ALL_INSTALL_PATH.defaultValue);
  CALLSIGN_2_OBJECTID.value.store(CALLSIGN_2_OBJECTID.defaultValue);
  rangeNm.store(static_cast<double>(RANGE.value.load()));
  rangeMeters.store(static_cast<std::uint32_t>(RANGE.value.load()) * 1852u);
}
}  // namespace wdrx::testing

float gf_fitStepValue(std::int32_t step) {
  if (step <= 0) return 0.5f;
  if (step <= 9) return 0.5f * static_cast<float>(step + 1);
  if (step <= 21) return static_cast<float>(6 + (step - 10) / 2);
  if (step <= 25) return 12.0f;
  if (step <= 31) return 15.0f;
  if (step <= 37) return 18.0f;
  if (step <= 43) return 21.0f;
  return 24.0f;
}
