// Static parked aircraft at the park airport: driver, calculation, adjustment and flush.
#include "parking/static_parking.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>

#include "airports/park_airport_state.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/random.hpp"
#include "foundation/time_text.hpp"
#include "parking/apf_location.hpp"
#include "parking/apf_reader.hpp"
#include "parking/apf_state.hpp"
#include "parking/learned_files.hpp"
#include "parking/park_airports.hpp"
#include "parking/stand_search.hpp"
#include "records/engine_tables.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "simlink/user_aircraft.hpp"
#include "traffic/udp_reader.hpp"

namespace {

// A list with room reserved once per process, so that an adjustment does not grow it.
template <typename T>
std::vector<T> lf_withRoom(std::size_t count) {
  std::vector<T> list;
  list.reserve(count);
  return list;
}

}  // namespace

std::vector<KeptStatic> keptStaticList = lf_withRoom<KeptStatic>(256);
std::vector<StaticRemoval> staticRemovalList = lf_withRoom<StaticRemoval>(256);
std::atomic<std::int32_t> wantedStaticCount{0};
std::atomic<std::int32_t> wantedStaticPercent{0};
std::int32_t realFitOffset = 0;
std::int32_t softFitOffset = -1;
bool softPassUsed = false;
bool weekPassUsed = false;
bool staticRecalcRequested = false;

namespace {

void lf_disableOptionControls() {
  parkingUpdateBusy.store(true);
  if (airportFileDisplay.disableOptionControls) airportFileDisplay.disableOptionControls();
}

void lf_enableOptionControls() {
  parkingUpdateBusy.store(false);
  if (airportFileDisplay.enableOptionControls) airportFileDisplay.enableOptionControls();
}

void lf_showPassMarks() {
  if (airportFileDisplay.showPassMarks) airportFileDisplay.showPassMarks(softPassUsed, weekPassUsed);
  gf_repaintAirportBand();
}

void lf_setPassMarks(bool soft, bool week) {
  softPassUsed = soft;
  weekPassUsed = week;
  lf_showPassMarks();
}

void lf_showMeansUnknown() {
  meanStaticParkedHours.store(-1.0f);
  if (airportFileDisplay.showStaticAverageFit) airportFileDisplay.showStaticAverageFit(-1.0f);
  if (airportFileDisplay.showLiveAverageFit) airportFileDisplay.showLiveAverageFit(-1.0f);
  gf_repaintAirportBand();
}

void lf_showWanted(std::int32_t count, std::int32_t percent) {
  wantedStaticCount.store(count);
  wantedStaticPercent.store(percent);
  if (airportFileDisplay.showWantedStatic) airportFileDisplay.showWantedStatic(count, percent);
  gf_repaintAirportBand();
}

void lf_showReservedStand(const std::string& name, bool found) {
  if (airportFileDisplay.showReservedStand) airportFileDisplay.showReservedStand(name, found);
  gf_repaintAirportBand();
}

void lf_remove(AcBase& aircraft) {
  if (engineServices.removeAircraftFromSim) engineServices.removeAircraftFromSim(aircraft);
}

// Half hours since the week slot, a whole week for one that is not a week slot.
std::int32_t lf_age(std::uint64_t start, WeekSlot now) {
  const WeekSlot from = WeekSlot::fromPacked(start);
  return from.valid() && now.valid() ? gf_weekSlotsBetween(from, now) : slotsPerWeek;
}

std::int32_t lf_maxFit() { return std::clamp(MAX_FIT.value.load(), 0, 47); }

const char* lf_passLabel(int optionClass, bool dayMode) {
  if (dayMode) return optionClass == realClass ? "real" : "soft";
  return optionClass == realClass ? "week/real" : "week/soft";
}

bool lf_byOffsetAscending(const StaticCandidate& a, const StaticCandidate& b) {
  return a.fitOffset < b.fitOffset;
}
bool lf_byOffsetDescending(const StaticCandidate& a, const StaticCandidate& b) {
  return a.fitOffset > b.fitOffset;
}

void lf_truncate(std::vector<StaticCandidate>& list, std::int32_t count) {
  if (count >= 0 && list.size() > static_cast<std::size_t>(count)) list.resize(static_cast<std::size_t>(count));
}

void lf_clearCalcFlags() {
  for (Stand& stand : standTable) stand.reserved = stand.taken = stand.blocked = 0;
}

KeptStatic lf_kept(const AcBase& aircraft) {
  return {aircraft.callsign, aircraft.liveCallsign, aircraft.altCallsign, aircraft.registration,
          aircraft.codes, aircraft.parkingStart, aircraft.standId, 0};
}

void lf_markOptionEnds(KeptStatic& kept, WeekSlot now) {
  if (kept.callsign2.empty() || kept.callsign.find(kept.callsign1) == std::string::npos) return;
  const Stand* stand = gf_findStandByNumber(kept.standNumber);
  if (!stand) return;
  std::string base = kept.callsign;
  if (base.ends_with('*')) base.pop_back();
  // Switched-off options count: the search switches off the option of the aircraft standing
  // there, because it is there.
  auto option = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
    return static_cast<std::int32_t>(o.day) == now.day && o.cs1 == base && gf_sameCodes(o.codes, kept.codes);
  });
  if (option == stand->options.end()) return;
  const WeekSlot next = gf_weekSlotShifted(now, 1);
  bool goesOn = false;
  if (next.day == now.day) {
    goesOn = option->hours.test(static_cast<std::uint32_t>(next.halfHour));
  } else {
    goesOn = std::any_of(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
      return static_cast<std::int32_t>(o.day) == next.day && gf_sameCodes(o.codes, kept.codes) &&
             o.hours.test(0);
    });
  }
  kept.optionEnds = goesOn ? 0 : 1;
}

void lf_removeListedStatic() {
  for (const StaticRemoval& removal : staticRemovalList) {
    auto it = std::find_if(staticAcTable.begin(), staticAcTable.end(), [&](const AcBase& ac) {
      return ac.standId == removal.standNumber &&
             (ac.simState == SimState::active || ac.simState == SimState::removingfromsim);
    });
    if (it != staticAcTable.end()) lf_remove(*it);
  }
  staticRemovalList.clear();
}

void lf_removeLiveOnStand(std::int32_t standNumber) {
  auto it = std::find_if(liveAcTable.begin(), liveAcTable.end(), [&](const LiveAc& ac) {
    return ac.standId == standNumber && ac.flightState == FlightState::parked;
  });
  if (it != liveAcTable.end()) lf_remove(*it);
}

}  // namespace

// ------------------------------------------------------------------------------------ driver

void gf_staticParkingTick(bool showStatus) {
  try {
    if (parkingUpdateBusy.load() && staticCandidates.empty()) {
      lf_enableOptionControls();
      gf_clearStatus();
      gf_countStaticAc(true);
      if (engineServices.countParkedLiveAc) engineServices.countParkedLiveAc(true);
    }
    if (staticRecalcRequested) {
      gf_clearStatus();
      staticRecalcRequested = false;
      const std::string error = lf_readParkedFile();
      if (!error.empty()) {
        lf_enableOptionControls();
        gf_postStatus(error, true);
        lf_leaveParkAirport();
      } else {
        parkingCountdown.store(20);
        staticParkingActive.store(true);
        lf_calcStaticParking();
      }
      if (airportFileDisplay.enableDestinationBox) airportFileDisplay.enableDestinationBox();
      gf_flushLog();
      return;
    }
    const UserAircraftState& user = userPosition;
    if (!gf_positionKnown(user)) return;
    const LatLon position{user.latitude, user.longitude};
    lf_sortParkAirports(position);
    if (!parkAirportCode.load().empty()) {
      lf_parkAirportInSight(position);
    } else {
      lf_userOnGroundAt(position, showStatus);
    }
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "gf_staticParkingTick", e.what()));
  }
}

void lf_beginStaticCalc(bool showStatus) {
  lf_disableOptionControls();
  trafficReader.startCallsignCollection();
  if (showStatus) gf_postStatus("Calculating static parked aircraft ...", false);
}

std::string lf_readParkedFile() {
  lf_clearStands();
  gf_publishStandPositions();
  const IcaoCode code = parkAirportCode.load();
  const std::string name = gf_findApfFile(code);
  if (name.empty()) return wdrx::format("{} {} not found", "lf_readParkedFile", code);

  apfHeader = {};
  std::string error;
  try {
    error = gf_readApf(name);
  } catch (const std::exception& e) {  // a file the user must mend: shown, and the run goes on
    error = e.what();
  }
  gf_publishStandPositions();
  if (error.empty()) {
    if (userOnGround.known.load()) {
      lf_recordParkAirportStand(parkAirport.load(),
                                gf_nearestStandName(userPosition.latitude, userPosition.longitude));
    }
    standTable.shrink_to_fit();
    reservedStandName.clear();
    const std::optional<ParkAirport> first = gf_firstParkAirport();
    if (first && first->code == code && !first->reservedStand.empty()) {
      const bool found = gf_findStandNamed(first->reservedStand) != nullptr;
      if (found) reservedStandName = first->reservedStand;
      lf_showReservedStand(first->reservedStand, found);
    } else {
      lf_showReservedStand("", false);
    }
  }
  if (airportFileDisplay.showAirportLoaded)
    airportFileDisplay.showAirportLoaded(error.empty(), apfHeader.airport_name);
  gf_resetLearnedUpdateCount();
  gf_repaintAirportBand();
  return error;
}

// ------------------------------------------------------------------------- full calculation

WeekSlot lf_logCalcHeader() {
  static constexpr std::array<const char*, 7> dayNames{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  const WeekSlot now = WeekSlot::fromPacked(currentWeekSlot.load());
  const char* dayName = now.day >= 1 && now.day <= 7 ? dayNames[static_cast<std::size_t>(now.day - 1)] : "???";
  gf_log(wdrx::format("\n{} (utc) It is day {} ({}), {:.1F} hours", gf_trafficTimeOfDay(), now.day,
                      dayName, 0.5 * now.halfHour));
  return now;
}

void lf_calcStaticParking() {
  const WeekSlot now = lf_logCalcHeader();
  lf_disableOptionControls();
  staticCandidates.clear();
  keptStaticList.clear();
  parkedLiveList.clear();
  lf_showMeansUnknown();
  lf_setPassMarks(false, false);
  lf_snapshotCallsigns();
  lf_clearCalcFlags();
  lf_markReservedStands();
  const std::int32_t wanted = lf_wantedStaticCount();
  if (wanted > static_cast<std::int32_t>(staticCandidates.size())) lf_fillCandidates(now, wanted, 0);
  std::stable_sort(staticCandidates.begin(), staticCandidates.end(), lf_byOffsetAscending);
  lf_truncate(staticCandidates, wanted);
  const std::size_t n = staticCandidates.size();
  if (n > 0) {
    gf_log(wdrx::format("{} positions ({}% vs wanted {}%, with Max fit={:.1F} hours)\n", n,
                        gf_percent(static_cast<std::int64_t>(n), static_cast<std::int64_t>(standTable.size())),
                        parking_percentage.value.load(), AMAX_FIT_FL.value.load()));
    // The engine places from the back: the best-fitting aircraft come first.
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(), lf_byOffsetDescending);
  } else {
    gf_log("no parking positions found");
    lf_enableOptionControls();
  }
}

void lf_markReservedStands() {
  if (!reservedStandName.empty()) {
    if (Stand* stand = gf_findStandNamed(reservedStandName)) stand->reserved = 1;
  }
  const std::string under = gf_nearestStandName(userPosition.latitude, userPosition.longitude);
  if (!under.empty() && under != reservedStandName) {
    if (Stand* stand = gf_findStandNamed(under)) stand->reserved = 1;
  }
}

std::int32_t lf_wantedStaticCount() {
  const std::int32_t maxSel = MAX_PARK_SEL.value.load();
  if (maxSel <= 0) {
    lf_showWanted(0, parking_percentage.value.load());
    return 0;
  }
  const std::int32_t custom = CUSTOM_PARKING_PERCENTAGE.value.load();
  const std::int64_t p = std::clamp(custom >= 0 ? custom : parking_percentage.value.load(), 0, 100);
  const auto n = static_cast<std::int64_t>(standTable.size());
  std::int64_t w = 1;  // a small airport with a small share still shows one aircraft
  if (p == 0) {
    w = 0;  // a share of 0 % wants no stand
  } else if (n > 1 && (n > 3 || p >= 50)) {
    w = (p * n + 50) / 100;  // halves away from zero
  }
  const auto wanted = static_cast<std::int32_t>(std::min<std::int64_t>(maxSel, w));
  lf_showWanted(wanted, gf_percent(wanted, n));
  return wanted;
}

void lf_fillCandidates(WeekSlot now, std::int32_t wanted, std::int32_t extra) {
  realFitOffset = 0;
  softFitOffset = -1;
  if (!now.valid()) {
    gf_logMarked(wdrx::format("{}: no week slot [{},{}]", "lf_fillCandidates", now.day, now.halfHour));
    return;
  }
  auto shortOf = [&] { return wanted > static_cast<std::int32_t>(staticCandidates.size()) + extra; };
  lf_collectCandidates(now, wanted, extra, realClass, true);
  if (shortOf() && WEEK.value.load()) lf_collectCandidates(now, wanted, extra, realClass, false);
  if (shortOf() && PARK_SOFT.value.load()) lf_collectCandidates(now, wanted, extra, softClass, true);
  if (shortOf() && PARK_SOFT.value.load() && WEEK.value.load())
    lf_collectCandidates(now, wanted, extra, softClass, false);
}

void lf_collectCandidates(WeekSlot now, std::int32_t wanted, std::int32_t extra, int optionClass,
                          bool dayMode) {
  std::vector<StaticCandidate> local;
  local.reserve(512);
  if (!lf_fitStands(now, optionClass, dayMode, wanted, local)) return;
  // The surplus counts what this pass found, so that a random part of its last offset goes.
  const auto have = static_cast<std::int32_t>(staticCandidates.size());
  const std::int32_t surplus = have + static_cast<std::int32_t>(local.size()) + extra - wanted;
  if (surplus >= 1 && !local.empty()) lf_trimCandidates(surplus, local);
  staticCandidates.insert(staticCandidates.end(), local.begin(), local.end());
  const std::int32_t left = static_cast<std::int32_t>(staticCandidates.size()) - wanted + extra;
  if (left >= 1 && left <= static_cast<std::int32_t>(staticCandidates.size()))
    staticCandidates.resize(staticCandidates.size() - static_cast<std::size_t>(left));
}

bool lf_fitStands(WeekSlot now, int optionClass, bool dayMode, std::int32_t wanted,
                  std::vector<StaticCandidate>& list) {
  if (wanted == 0) return true;
  const std::size_t takenBefore = gf_takenStandCount();
  const std::int32_t maxFit = lf_maxFit();
  bool reached = false;
  std::int32_t offset = 0;
  for (;; ++offset) {
    lf_searchStands(now, optionClass, dayMode, offset, list);
    if (static_cast<std::int64_t>(gf_takenStandCount()) >= wanted) {
      reached = true;
      break;
    }
    staticCandidates.insert(staticCandidates.end(), list.begin(), list.end());
    list.clear();
    if (offset >= maxFit) break;
  }
  realFitOffset = optionClass == realClass ? offset : realFitOffset;
  softFitOffset = optionClass == realClass ? -1 : offset;
  const std::size_t found = gf_takenStandCount() - takenBefore;
  if (found >= 1) {
    gf_log(wdrx::format("{} {} position{} found, Max fit={:.1F} hours{}{}", found,
                        lf_passLabel(optionClass, dayMode), gf_pluralSize(found), AMAX_FIT_FL.value.load(),
                        wdrx::format(", day {}", now.day),
                        wdrx::format(", hh:{} or {:.1F} hrs, fit: {:.1F} hour", now.halfHour,
                                     0.5 * now.halfHour, gf_fitStepValue(offset))));
    lf_setPassMarks(optionClass == softClass, !dayMode);
  }
  return reached;
}

void lf_trimCandidates(std::int32_t surplus, std::vector<StaticCandidate>& list) {
  if (RANDOM.value.load()) std::shuffle(list.begin(), list.end(), randomEngine());
  if (surplus >= 1 && static_cast<std::size_t>(surplus) <= list.size())
    list.resize(list.size() - static_cast<std::size_t>(surplus));
}

// ------------------------------------------------------------------------------- adjustment

void gf_parkingAdjustments() {
  try {
    const WeekSlot now = lf_logCalcHeader();
    lf_snapshotCallsigns();
    lf_setPassMarks(false, false);
    staticRemovalList.clear();
    keptStaticList.clear();
    parkedLiveList.clear();
    staticCandidates.clear();
    for (Stand& stand : standTable) {
      stand.reserved = stand.blocked = stand.taken = 0;
      std::uint32_t number = 0;
      for (StandOption& option : stand.options) option.number = ++number;  // switched-off ones return
    }
    lf_markReservedStands();
    const std::int32_t wanted = lf_wantedStaticCount();
    if (engineServices.listParkedLiveAc) engineServices.listParkedLiveAc();

    if (wanted > 0 && parkedLiveList.size() > static_cast<std::size_t>(wanted)) {
      const std::size_t more = parkedLiveList.size() - static_cast<std::size_t>(wanted);
      gf_postStatus(wdrx::format("Parking adjustments: {} more live ac than wanted", more), true);
      if (engineServices.removeOldestParkedLive) engineServices.removeOldestParkedLive(more);
      if (engineServices.listParkedLiveAc) engineServices.listParkedLiveAc();
    }
    for (const ParkedLiveEntry& entry : parkedLiveList) {
      if (Stand* stand = gf_findStandByNumber(entry.standId)) lf_markStandsChosen(*stand);
    }
    const auto extra = static_cast<std::int32_t>(parkedLiveList.size() + keptStaticList.size());
    if (wanted != extra) lf_fillCandidates(now, wanted, extra);

    lf_matchExistingStatic(now);

    // A kept aircraft whose flight leaves next half hour is replaced by its departing flight.
    std::erase_if(keptStaticList, [&](const KeptStatic& kept) {
      if (!kept.optionEnds) return false;
      const std::int32_t parked = std::min(lf_age(kept.parkingStart, now), 47);
      staticCandidates.push_back({kept.standNumber, parked, kept.codes, kept.callsign1, kept.callsign2,
                                  kept.registration, 0});
      staticRemovalList.push_back({kept.callsign, kept.standNumber});
      return true;
    });

    auto surplus = static_cast<std::int64_t>(keptStaticList.size() + parkedLiveList.size() +
                                             staticCandidates.size()) -
                   wanted;
    for (; surplus >= 1; --surplus) {
      if (!staticCandidates.empty()) {
        staticCandidates.pop_back();
      } else if (!keptStaticList.empty()) {
        staticRemovalList.push_back({keptStaticList.back().callsign, keptStaticList.back().standNumber});
        keptStaticList.pop_back();
      } else if (!parkedLiveList.empty() && wanted > 0) {
        // With no share wanted the live traffic stays as it is.
        const std::int32_t standNumber = parkedLiveList.back().standId;
        parkedLiveList.pop_back();
        lf_removeLiveOnStand(standNumber);
      } else {
        break;
      }
    }
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(), lf_byOffsetDescending);
    const std::string text = wdrx::format("Parking adjustments: {} to be removed, {} to be added",
                                          staticRemovalList.size(), staticCandidates.size());
    gf_postStatus(text, false);
    gf_log(text + "\n");
    lf_removeListedStatic();
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "gf_parkingAdjustments", e.what()));
  }
}

void lf_matchExistingStatic(WeekSlot now) {
  auto isHeardLive = [](const std::string& cs) { return !cs.empty() && calcCallsigns.contains(cs); };
  auto candidateOn = [](std::int32_t standNumber) {
    auto it = std::find_if(staticCandidates.begin(), staticCandidates.end(),
                           [&](const StaticCandidate& c) { return c.standNumber == standNumber; });
    return it == staticCandidates.end() ? std::size_t(-1)
                                        : static_cast<std::size_t>(it - staticCandidates.begin());
  };
  constexpr std::size_t none = std::size_t(-1);

  for (const AcBase& aircraft : staticAcTable) {
    if (aircraft.simState != SimState::active) continue;
    if (isHeardLive(aircraft.liveCallsign) || isHeardLive(aircraft.altCallsign)) {
      staticRemovalList.push_back({aircraft.callsign, aircraft.standId});
      continue;
    }
    const std::size_t own = candidateOn(aircraft.standId);
    if (own == none) {
      bool decided = false;
      if (const Stand* stand = gf_findStandByNumber(aircraft.standId)) {
        for (const std::uint32_t neighbour : stand->neighbours) {
          const std::size_t index = candidateOn(static_cast<std::int32_t>(neighbour));
          const Stand* other = gf_findStandByNumber(neighbour);
          if (index == none || !other) continue;
          const double distance = gf_distanceNm({aircraft.standLatitude, aircraft.standLongitude},
                                                {other->latitude, other->longitude});
          if (hwsp(staticCandidates[index].codes.modelId) + hwsp(aircraft.codes.modelId) > distance) {
            lf_keepOrReplaceStatic(aircraft, index);
            decided = true;
            break;
          }
        }
      }
      if (decided) continue;
      if (lf_optionStillFits(now, aircraft.standId, aircraft)) {
        keptStaticList.push_back(lf_kept(aircraft));
      } else {
        staticRemovalList.push_back({aircraft.callsign, aircraft.standId});
      }
      continue;
    }
    const StaticCandidate& candidate = staticCandidates[own];
    const bool same = gf_sameCodes(aircraft.codes, candidate.codes) &&
                      ((!candidate.callsign1.empty() && aircraft.callsign == candidate.callsign1 + "*") ||
                       (!candidate.callsign2.empty() && aircraft.callsign == candidate.callsign2 + "*"));
    if (same) {
      keptStaticList.push_back(lf_kept(aircraft));
      staticCandidates.erase(staticCandidates.begin() + static_cast<std::ptrdiff_t>(own));
    } else {
      lf_keepOrReplaceStatic(aircraft, own);
    }
  }

  // Latest parked first: the earliest go first when there are too many.
  std::stable_sort(keptStaticList.begin(), keptStaticList.end(), [&](const KeptStatic& a, const KeptStatic& b) {
    return lf_age(a.parkingStart, now) < lf_age(b.parkingStart, now);
  });
  for (KeptStatic& kept : keptStaticList) lf_markOptionEnds(kept, now);
}

void lf_keepOrReplaceStatic(const AcBase& aircraft, std::size_t candidateIndex) {
  const WeekSlot now = WeekSlot::fromPacked(currentWeekSlot.load());
  if (staticCandidates[candidateIndex].fitOffset >= lf_age(aircraft.parkingStart, now)) {
    keptStaticList.push_back(lf_kept(aircraft));
    staticCandidates.erase(staticCandidates.begin() + static_cast<std::ptrdiff_t>(candidateIndex));
  } else {
    staticRemovalList.push_back({aircraft.callsign, aircraft.standId});
  }
}

bool lf_optionStillFits(WeekSlot now, std::int32_t standNumber, const AcBase& aircraft) {
  const Stand* stand = gf_findStandByNumber(standNumber);
  if (!stand || !now.valid()) return false;
  const std::int32_t reach = std::clamp(std::max(realFitOffset, softFitOffset), 0, 47);
  // The window counts back across midnight into the day before.
  for (std::int32_t back = 0; back <= reach; ++back) {
    const WeekSlot slot = gf_weekSlotShifted(now, -back);
    const auto half = static_cast<std::uint32_t>(slot.halfHour);
    const bool fits = std::any_of(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
      return static_cast<std::int32_t>(o.day) == slot.day && o.reg == aircraft.registration &&
             gf_sameCodes(o.codes, aircraft.codes) && o.hours.test(half);
    });
    if (fits) return true;
  }
  return false;
}

// ------------------------------------------------------------------------------------ flush

void gf_flushStaticParking() {
  try {
    staticCandidates.clear();
    if (engineServices.removeAllStaticAc) engineServices.removeAllStaticAc();
    for (LiveAc& ac : liveAcTable) {
      switch (ac.flightState) {
        // Bound to a stand on its way in too: its number would name a stand of the next park
        // airport, and its arrival would be learned there.
        case FlightState::parking:
        case FlightState::parked:
        case FlightState::pushing_back:
        case FlightState::pushed_back:
        case FlightState::taxi:
        case FlightState::take_off:
          break;
        default:
          continue;
      }
      if (ac.standId != 0) gf_setStandOccupied(ac.standId, false);
      ac.standId = 0;
      ac.standLatitude = ac.standLongitude = ac.standHeading = 0.0;
      ac.cargoStand = 0;
      if (ac.simState == SimState::active) {
        lf_remove(ac);
      } else if (ac.simState == SimState::adding2sim && !ac.removeWhenCreated) {
        if (engineServices.dropQueuedCreation && engineServices.dropQueuedCreation(liveAddQueue, ac)) {
          ac.removed = 1;
        } else {
          ac.removeWhenCreated = 1;
        }
      }
    }
    gf_compactLiveAcTable();
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "gf_flushStaticParking", e.what()));
  }
  lf_leaveParkAirport();
}

void lf_leaveParkAirport() {
  try {
    if (learnedDirty.load()) {
      lf_saveAirportFile();
      gf_restoreUserSettings();
    }
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "lf_leaveParkAirport", e.what()));
  }
  learnedDirty.store(false);
  apfHandmade = false;
  staticRecalcRequested = false;
  // A collection that no calculation will end stops here.
  if (trafficReader.collectCallsigns.load()) trafficReader.takeCallsigns();

  if (airportFileDisplay.disallowNowButton) airportFileDisplay.disallowNowButton();
  if (!INITIAL_LOAD_ONLY.value.load() && airportFileDisplay.refreshNowButton)
    airportFileDisplay.refreshNowButton();
  if (airportFileDisplay.enableFlushStatic) airportFileDisplay.enableFlushStatic(false);
  staticParkingActive.store(false);
  lf_showWanted(0, 0);
  lf_setPassMarks(false, false);
  lf_showMeansUnknown();

  parkAirportCode.store(IcaoCode{});
  parkAirport.store(Airport{});
  parkAirportElevation.reset();
  trafficReader.setFieldElevation(std::nullopt);
  if (airportFileDisplay.showParkAirportCode) airportFileDisplay.showParkAirportCode(IcaoCode{});
  gf_repaintAirportBand();

  gf_resetLearnedUpdateCount();
  staticRemovalList.clear();
  staticCandidates.clear();
  keptStaticList.clear();
  lf_clearStands();
  gf_publishStandPositions();
  standCount.store(0);
  reservedStandName.clear();
  lf_showReservedStand("", false);
  if (airportFileDisplay.showAirportLoaded) airportFileDisplay.showAirportLoaded(false, "");
  airportBandPublisher.store("");
  airportBandHandmade.store(false);
  gf_repaintAirportBand();
}

namespace wdrx::testing {
void resetStaticParking() {
  keptStaticList.clear();
  staticRemovalList.clear();
  staticCandidates.clear();
  wantedStaticCount.store(0);
  wantedStaticPercent.store(0);
  realFitOffset = 0;
  softFitOffset = -1;
  softPassUsed = weekPassUsed = false;
  staticRecalcRequested = false;
  reservedStandName.clear();
  meanStaticParkedHours.store(-1.0f);
}
}  // namespace wdrx::testing
