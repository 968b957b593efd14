// The stand search of the static-parking calculation.
#include "parking/stand_search.hpp"

#include <algorithm>
#include <exception>

#include "config/settings.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "parking/learned_files.hpp"
#include "records/engine_tables.hpp"
#include "records/records.hpp"

namespace {

// The half wing span of the option's model, its code corrected like a reported one.
double lf_optionSpan(const StandOption& option) {
  return hwsp(gf_modelId(modelCodes[option.codes.modelId]));
}

bool lf_neighbourTooClose(const StandOption& option, const Stand& stand) {
  bool spanKnown = false;
  double span = 0.0;
  for (const std::uint32_t neighbour : stand.neighbours) {
    auto it = std::find_if(staticAcTable.begin(), staticAcTable.end(), [&](const AcBase& ac) {
      return ac.standId == static_cast<std::int32_t>(neighbour) && ac.simState == SimState::active;
    });
    if (it == staticAcTable.end()) continue;
    if (!spanKnown) {
      span = lf_optionSpan(option);
      spanKnown = true;
    }
    const double distance = gf_distanceNm({it->standLatitude, it->standLongitude},
                                          {stand.latitude, stand.longitude});
    if (it->radius + span > distance) return true;
  }
  return false;
}

bool lf_equalsNonEmpty(const std::string& a, const std::string& b) { return !a.empty() && a == b; }

bool lf_namesOption(const std::string& text, const StandOption& option) {
  return lf_equalsNonEmpty(text, option.cs1) || lf_equalsNonEmpty(text, option.cs2);
}

// The stay goes on into the half hour after now: the option's own slot, unless the next half
// hour is tomorrow or the option was found before midnight; then an option of the same aircraft
// type on the next half hour's day.
bool lf_continuesNextSlot(const StandOption& option, const Stand& stand, WeekSlot now, WeekSlot found) {
  if (option.cs2.empty()) return true;
  const WeekSlot next = gf_weekSlotShifted(now, 1);
  const auto slot = static_cast<std::uint32_t>(next.halfHour);
  if (next.day == now.day && found.day == now.day) return option.hours.test(slot);
  return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
    return o.number >= 1 && static_cast<std::int32_t>(o.day) == next.day &&
           gf_sameCodes(o.codes, option.codes) && o.hours.test(slot);
  });
}

// A candidate of the list shows the option's aircraft: its registration or its flight.
bool lf_isListed(const StandOption& option, const std::vector<StaticCandidate>& list) {
  return std::any_of(list.begin(), list.end(), [&](const StaticCandidate& c) {
    return lf_equalsNonEmpty(option.reg, c.registration) || lf_namesOption(c.callsign1, option);
  });
}

}  // namespace

bool gf_sameCodes(const AircraftCodes& a, const AircraftCodes& b) {
  return a.airlineId == b.airlineId && a.modelId == b.modelId && a.operatorId == b.operatorId;
}

void lf_markStandsChosen(Stand& stand) {
  stand.taken = 1;
  for (const std::uint32_t neighbour : stand.neighbours) {
    if (Stand* other = gf_findStandByNumber(neighbour)) other->blocked = 1;
  }
}

bool lf_isCandidateOption(const StandOption& option, int optionClass, bool dayMode,
                          std::int32_t day, std::uint32_t slot, const Stand& stand) {
  if (option.number == 0) return false;
  if (dayMode && static_cast<std::int32_t>(option.day) != day) return false;
  if (option.real != (optionClass == realClass ? 1u : 0u)) return false;
  if (!option.hours.test(slot)) return false;
  if (stand.heli && !HELICOPTERS.value.load()) return false;
  if (stand.blocked) return false;
  return !lf_neighbourTooClose(option, stand);
}

void lf_pickStandOption(std::vector<std::uint32_t>& optionNumbers, const Stand& stand) {
  if (optionNumbers.size() < 2 || !RANDOM.value.load()) return;
  for (const AcBase& ac : staticAcTable) {
    if (ac.standId != static_cast<std::int32_t>(stand.number)) continue;
    for (const StandOption& option : stand.options) {
      const bool named = (!option.cs1.empty() && ac.callsign == option.cs1 + "*") ||
                         (!option.cs2.empty() && ac.callsign == option.cs2 + "*");
      if (named && gf_sameCodes(ac.codes, option.codes)) {
        optionNumbers.front() = option.number;
        return;
      }
    }
  }
  std::shuffle(optionNumbers.begin(), optionNumbers.end(), randomEngine());
}

bool lf_isCollectedCallsign(const std::string& text) {
  return calcCallsigns.contains(text) || calcCallsigns.contains(text + "_");
}

bool lf_isOptionInUse(const StandOption& option) {
  const std::string& reg = option.reg;
  if (lf_isListed(option, staticCandidates)) return true;
  if ((!option.cs1.empty() && lf_isCollectedCallsign(option.cs1)) ||
      (!option.cs2.empty() && lf_isCollectedCallsign(option.cs2)))
    return true;
  if (std::any_of(staticAcTable.begin(), staticAcTable.end(), [&](const AcBase& ac) {
        return lf_namesOption(ac.liveCallsign, option) || lf_equalsNonEmpty(reg, ac.registration);
      }))
    return true;
  return std::any_of(parkedLiveList.begin(), parkedLiveList.end(),
                     [&](const ParkedLiveEntry& entry) { return lf_namesOption(entry.callsign, option); });
}

void lf_searchStands(WeekSlot now, int optionClass, bool dayMode, std::int32_t offset,
                     std::vector<StaticCandidate>& out) {
  try {
    const WeekSlot slot = gf_weekSlotShifted(now, -offset);
    const auto half = static_cast<std::uint32_t>(slot.halfHour);
    std::vector<std::uint32_t> numbers;
    numbers.reserve(256);
    for (Stand& stand : standTable) {
      if (stand.reserved || stand.taken) continue;
      numbers.clear();
      for (const StandOption& option : stand.options) {
        if (lf_isCandidateOption(option, optionClass, dayMode, slot.day, half, stand))
          numbers.push_back(option.number);
      }
      if (numbers.empty()) continue;
      lf_pickStandOption(numbers, stand);
      StandOption* chosen = gf_findStandOption(stand, numbers.front());
      if (!chosen) continue;
      // This pass's own candidates count too: in a week pass the same aircraft fits the same
      // half hour of several days, often on other stands.
      if (lf_isOptionInUse(*chosen) || lf_isListed(*chosen, out)) {
        chosen->number = 0;  // for as long as this stand table stays loaded
        continue;
      }
      out.push_back({static_cast<std::int32_t>(stand.number), offset, chosen->codes, chosen->cs1,
                     chosen->cs2, chosen->reg,
                     static_cast<std::uint8_t>(lf_continuesNextSlot(*chosen, stand, now, slot) ? 1 : 0)});
      lf_markStandsChosen(stand);
    }
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{}: day: [{},{}], offset {}: {}", "lf_searchStands", now.day,
                              now.halfHour, offset, e.what()));
  }
}

std::size_t gf_takenStandCount() {
  return static_cast<std::size_t>(
      std::count_if(standTable.begin(), standTable.end(), [](const Stand& s) { return s.taken != 0; }));
}
