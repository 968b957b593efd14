// Stand options learned from live aircraft.
#include "parking/stand_learning.hpp"

#include <algorithm>
#include <exception>
#include <optional>

#include "aircraft/registrations.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "parking/apf_state.hpp"
#include "runstate/run_control.hpp"

namespace {

std::string lf_withoutTrailingUnderscore(const std::string& text) {
  return text.ends_with('_') ? text.substr(0, text.size() - 1) : text;
}

bool lf_validNow(WeekSlot now) {
  return now.day >= 1 && now.day <= 7 && now.halfHour >= 0 &&
         now.halfHour < static_cast<std::int32_t>(slotsPerDay);
}

bool lf_isTodaysRealOption(const StandOption& option, WeekSlot now, const std::string& reg,
                           std::uint32_t source) {
  return option.number != 0 && option.day == static_cast<std::uint32_t>(now.day) &&
         option.reg == reg && option.real == 1 && option.source == source;
}

// The aircraft's learned option of today that this report continues: the one that holds now,
// else the one whose last half hour lies nearest before now (the first of equals). The first
// option alone would make every half hour of a second stay that day an option of its own.
std::vector<StandOption>::iterator lf_continuedOption(Stand& stand, WeekSlot now, const std::string& reg) {
  const auto slot = static_cast<std::uint32_t>(now.halfHour);
  auto best = stand.options.end();
  std::int32_t bestGap = slotsPerWeek + 1;  // options without a half hour come last
  for (auto it = stand.options.begin(); it != stand.options.end(); ++it) {
    if (!lf_isTodaysRealOption(*it, now, reg, 0)) continue;
    if (it->hours.test(slot)) return it;
    const std::int32_t gap =
        it->hours.none() ? slotsPerWeek
                         : gf_weekSlotsBetween({now.day, static_cast<std::int32_t>(it->hours.highest())}, now);
    if (gap < bestGap) {
      best = it;
      bestGap = gap;
    }
  }
  return best;
}

void lf_learn(std::int32_t standNumber, AcBase& aircraft, int event, WeekSlot now) {
  const std::string reg = lf_withoutTrailingUnderscore(aircraft.registration);
  if (reg.empty() || !lf_validNow(now)) return;
  const std::optional<AircraftCodes> found = gf_findRegistration(reg);
  if (!found) return;
  aircraft.codes = *found;
  Stand* stand = gf_findStandByNumber(standNumber);
  if (!stand) return;
  const bool leaving = event == StandEvent::leaving || event == StandEvent::removed;
  const std::uint32_t slot = static_cast<std::uint32_t>(now.halfHour);

  // The airport file places this aircraft here today at other times: nothing to learn.
  const bool fileElsewhere = std::any_of(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
    return lf_isTodaysRealOption(o, now, reg, 1) && !o.hours.test(slot);
  });
  if (fileElsewhere) return;

  auto it = lf_continuedOption(*stand, now, reg);
  auto addNew = [&] {
    lf_upsertStandOption(*stand, aircraft.codes, now, aircraft.callsign, reg, leaving);
  };
  if (it == stand->options.end() || (it->cpl && !it->hours.test(slot))) {
    addNew();
    return;
  }
  if (it->hours.test(slot)) {
    if (leaving) it->cpl = 1;
    return;
  }
  if (it->hours.none()) return;
  const std::uint32_t number = it->number;
  const WeekSlot last{static_cast<std::int32_t>(it->day), static_cast<std::int32_t>(it->hours.highest())};
  if (lf_learnStandOccupancy(now, *stand, number, last, aircraft, reg, leaving)) {
    gf_countLearnedUpdate();
  } else {
    addNew();  // may move the options: the option is looked up again below
  }
  if (leaving) {
    if (StandOption* option = gf_findStandOption(*stand, number)) option->cpl = 1;
  }
}

}  // namespace

void lf_addRealStandOption(std::int32_t standNumber, AcBase& aircraft, int event) {
  const WeekSlot now = WeekSlot::fromPacked(currentWeekSlot.load());
  try {
    lf_learn(standNumber, aircraft, event, now);
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{}: hh_now: {}, {}", "lf_addRealStandOption", now.halfHour, e.what()));
  }
}

bool lf_learnStandOccupancy(WeekSlot now, Stand& stand, std::uint32_t optionNumber, WeekSlot last,
                            const AcBase& aircraft, const std::string&, bool) {
  if (optionNumber == 0 || last == now) return true;
  const std::int32_t window = aircraft.codes.cargo                  ? 12
                              : aircraft.category == AcCategory::Heavy ? 8
                                                                       : 6;
  const std::int32_t elapsed = gf_weekSlotsBetween(last, now);
  if (elapsed < 1 || elapsed >= window) return false;
  if (updateOptions(stand, lf_lastHalfHours(now, static_cast<std::uint32_t>(elapsed)), optionNumber))
    lf_addOptionCallsign(stand, optionNumber, aircraft.callsign);
  return true;
}

UpsertResult lf_upsertStandOption(Stand& stand, AircraftCodes codes, WeekSlot now,
                                  const std::string& callsign, const std::string& reg, bool leaving) {
  if (reg.empty()) return {};
  const HalfHourSet hours = HalfHourSet::single(static_cast<std::uint32_t>(now.halfHour));
  // Numbers run 1..n; switched-off options keep theirs, so the next is beyond both.
  std::uint32_t number = static_cast<std::uint32_t>(stand.options.size()) + 1;
  for (const StandOption& option : stand.options) number = std::max(number, option.number + 1);
  if (!codes.fromDbase) {
    if (const auto found = gf_findRegistration(reg)) codes = *found;
  }
  const bool known = std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
    return o.reg == reg && o.day == static_cast<std::uint32_t>(now.day) && o.hours == hours;
  });
  if (known) return {};
  StandOption option;
  option.codes = codes;
  option.reg = reg;
  option.cs1 = lf_withoutTrailingUnderscore(callsign);
  option.hours = hours;
  option.number = number;
  option.day = static_cast<std::uint32_t>(now.day);
  option.source = 0;
  option.real = 1;
  option.cpl = leaving ? 1 : 0;
  stand.options.push_back(std::move(option));
  gf_countLearnedUpdate();
  return {number, true};
}

void lf_addOptionCallsign(Stand& stand, std::uint32_t optionNumber, const std::string& callsign) {
  const std::string cs = lf_withoutTrailingUnderscore(callsign);
  if (cs.empty()) return;
  StandOption* option = gf_findStandOption(stand, optionNumber);
  if (!option) return;
  if (option->cs1.empty()) {
    option->cs1 = cs;
  } else if (cs == option->cs1) {
    return;
  } else if (option->cs2.empty() || cs != option->cs2) {
    option->cs2 = cs;  // the newest callsign replaces the second one
  }
}

bool updateOptions(Stand& stand, std::vector<std::uint32_t> slots, std::uint32_t optionNumber) {
  StandOption* option = gf_findStandOption(stand, optionNumber);
  if (!option) return false;
  try {
    while (!slots.empty()) {
      option->hours.set(slots.back());
      slots.pop_back();
    }
  } catch (const std::out_of_range& e) {
    gf_logMarked(wdrx::format("{} exception:{}", "updateOptions", e.what()));
    return false;
  }
  return true;
}
