// The user's park airports and the choice of the park airport.
#include "parking/park_airports.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "airports/park_airport_state.hpp"
#include "config/settings.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/time_text.hpp"
#include "parking/apf_location.hpp"
#include "parking/apf_state.hpp"
#include "parking/stand_services.hpp"
#include "parking/static_parking.hpp"
#include "records/engine_tables.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/status_line.hpp"
#include "simlink/sim_services.hpp"
#include "simlink/user_aircraft.hpp"

namespace fs = std::filesystem;

std::vector<ParkAirport> parkAirportList;
std::mutex parkAirportsMutex;

namespace {

constexpr const char* fileName = "my_park_airports.txt";
constexpr double closestAirportRadius = 5.0;  // nm
constexpr std::size_t manyAirports = 3000;
constexpr double sameSpot = 1e-8;  // degrees

LatLon lastSortPosition;  // run thread

std::vector<ParkAirport>::iterator lf_findEntry(const IcaoCode& code) {
  return std::find_if(parkAirportList.begin(), parkAirportList.end(),
                      [&](const ParkAirport& entry) { return entry.code == code; });
}

// The first entry's line of the file.
std::string lf_lineOf(const ParkAirport& entry) {
  return entry.reservedStand.empty() ? entry.code.str() : entry.code.str() + "," + entry.reservedStand;
}

// With parkAirportsMutex held.
void lf_writeLocked() {
  if (parkAirportList.empty()) return;
  const ParkAirport& first = parkAirportList.front();
  const std::string newLine = lf_lineOf(first);
  std::error_code ec;
  std::vector<std::string> lines;
  if (!fs::exists(myParkAirportsFile, ec)) {
    lines.push_back(newLine);
    gf_log(wdrx::format("{} created with {}", fileName, newLine));
    if (myParkAirportsFile.has_parent_path()) fs::create_directories(myParkAirportsFile.parent_path(), ec);
  } else {
    TextFile file{myParkAirportsFile, {}};
    const TextFileResult read = gf_readTextFile(file, 64);
    if (!read.ok) {
      // The user's list stays as it is rather than being replaced by one line.
      gf_logMarked(wdrx::format("{}: {} could not be read ({}), not rewritten", "gf_writeMyParkAirports",
                                gf_pathToUtf8(myParkAirportsFile), read.error));
      return;
    }
    lines = std::move(file.lines);
    const bool replaced = std::any_of(lines.begin(), lines.end(), [&](std::string& line) {
      return lf_updateReservedStand(newLine, first.code, line);
    });
    if (!replaced) {
      lines.push_back(newLine);
      gf_log(wdrx::format("{}:{} new entry", fileName, newLine));
    }
  }
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  gf_writeLinesToFile(lines, myParkAirportsFile);
}

void lf_addThirdpartyParkAirports() {
  std::error_code ec;
  if (!fs::is_directory(myThirdpartyFolder, ec)) return;
  for (fs::directory_iterator it(myThirdpartyFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const std::string stem = it->path().stem().string();
    IcaoCode code;
    try {
      code = IcaoCode(stem);
    } catch (const std::invalid_argument&) {
      continue;  // not an airport's file
    }
    const Airport* airport = gf_findAirport(code);
    if (!airport || lf_findEntry(code) != parkAirportList.end()) continue;
    parkAirportList.push_back({"", airport->latitude, airport->longitude, 0.0, code});
  }
}

bool lf_readLocked() {
  parkAirportList.clear();
  bool ok = true;
  TextFile file{myParkAirportsFile, {}};
  const TextFileResult read = gf_readTextFile(file, 64);
  if (!read.ok) {
    gf_log(gf_pathToUtf8(myParkAirportsFile) + " not found");
  } else {
    std::unordered_set<std::string> accepted;
    for (const std::string& line : file.lines) {
      if (line.empty()) continue;
      const std::vector<std::string> fields = gf_splitComma(line);
      if (fields.size() >= 3) {
        gf_logMarked(wdrx::format("{}:{} wrong syntax, skipped", fileName, line));
        continue;
      }
      const std::string& first = fields.front();
      if (accepted.contains(first)) {
        gf_log(wdrx::format("{}:{} double, skipped", fileName, first));
        continue;
      }
      IcaoCode code;
      try {
        code = IcaoCode(first);
      } catch (const std::invalid_argument& e) {
        // One bad line costs that line; the airports after it are still read.
        gf_logMarked(wdrx::format("{}: {}", "lf_readMyParkAirports", e.what()));
        ok = false;
        continue;
      }
      const Airport* airport = gf_findAirport(code);
      if (!airport) {
        gf_postStatus(wdrx::format("airport {} is unknown", first), true);
        ok = false;
        continue;
      }
      parkAirportList.push_back({fields.size() == 2 ? fields[1] : std::string(), airport->latitude,
                                 airport->longitude, 0.0, code});
      accepted.insert(first);
    }
  }
  if (!parkAirportList.empty()) {
    const std::size_t size = parkAirportList.size();
    gf_log(wdrx::format("\n{:5} park airport{} read from '{}'", size, gf_pluralSize(size), fileName));
    if (size > manyAirports) {
      gf_postStatus(wdrx::format("Warning: There are a lot of airports ({}), that will cost WDRX much "
                                 "cpu time and may cause stutters",
                                 size),
                    true);
    }
  }
  lf_addThirdpartyParkAirports();
  return ok;
}

bool lf_inSight(double distance, double height) {
  return distance <= static_cast<double>(AIRP_RANGE.value.load()) &&
         height <= static_cast<double>(AIRP_HEIGHT.value.load());
}

}  // namespace

std::optional<ParkAirport> gf_firstParkAirport() {
  std::lock_guard lock(parkAirportsMutex);
  if (parkAirportList.empty()) return std::nullopt;
  return parkAirportList.front();
}

bool lf_readMyParkAirports() {
  std::lock_guard lock(parkAirportsMutex);
  try {
    return lf_readLocked();
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{}: {}", "lf_readMyParkAirports", e.what()));
    return false;
  }
}

void gf_writeMyParkAirports() {
  std::lock_guard lock(parkAirportsMutex);
  try {
    lf_writeLocked();
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "gf_writeMyParkAirports", e.what()));
  }
}

bool lf_updateReservedStand(const std::string& newLine, const IcaoCode& code, std::string& line) {
  if (std::string_view(line).substr(0, line.find(',')) != code.str()) return false;
  line = newLine;
  gf_log(wdrx::format("{}:{} updated stand", fileName, newLine));
  return true;
}

bool gf_recheckParkAirports(bool checkStand, std::string& message) {
  if (!lf_readMyParkAirports()) return false;
  const std::optional<ParkAirport> first = gf_firstParkAirport();
  if (checkStand && userOnGround.known.load() && !parkingUpdateBusy.load() && first &&
      first->code == parkAirportCode.load() && !first->code.empty() && gf_userNearestStand().empty() &&
      !first->reservedStand.empty() && first->reservedStand != reservedStandName) {
    message = wdrx::format("reserved stand changed from '{}' to '{}'", reservedStandName,
                           first->reservedStand);
    if (Stand* old = gf_findStandNamed(reservedStandName)) old->reserved = 0;
    reservedStandName = first->reservedStand;
    if (engineServices.removeAcAtStand) engineServices.removeAcAtStand(reservedStandName);
    Stand* stand = gf_findStandNamed(reservedStandName);
    if (stand) stand->reserved = 1;
    if (airportFileDisplay.showReservedStand)
      airportFileDisplay.showReservedStand(reservedStandName, stand != nullptr);
    gf_repaintAirportBand();
  }
  if (message.empty()) message = "park airports and stands are okay";
  return true;
}

void gf_addParkAirport(const IcaoCode& code, double latitude, double longitude) {
  std::lock_guard lock(parkAirportsMutex);
  try {
    auto it = lf_findEntry(code);
    if (it == parkAirportList.end()) {
      parkAirportList.insert(parkAirportList.begin(), {"", latitude, longitude, 0.0, code});
      lf_writeLocked();
    } else {
      std::rotate(parkAirportList.begin(), it, it + 1);
    }
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "gf_addParkAirport", e.what()));
  }
}

void gf_storeParkAirportStand(const std::string& standName) {
  std::lock_guard lock(parkAirportsMutex);
  try {
    const IcaoCode park = parkAirportCode.load();
    if (parkAirportList.empty() || park.empty() || parkAirportList.front().code != park) return;
    ParkAirport& first = parkAirportList.front();
    if (first.reservedStand == standName) return;
    first.reservedStand = standName;
    lf_writeLocked();
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "gf_storeParkAirportStand", e.what()));
  }
}

void lf_recordParkAirportStand(const Airport& airport, const std::string& standName) {
  std::lock_guard lock(parkAirportsMutex);
  try {
    auto it = lf_findEntry(airport.icao);
    bool changed = false;
    if (it == parkAirportList.end()) {
      parkAirportList.insert(parkAirportList.begin(),
                             {standName, airport.latitude, airport.longitude, 0.0, airport.icao});
      changed = true;
    } else {
      changed = it != parkAirportList.begin();  // the file records the first entry
      std::rotate(parkAirportList.begin(), it, it + 1);
      ParkAirport& first = parkAirportList.front();
      // An empty name (the user aircraft on no stand) keeps the stand the user chose before.
      if (!standName.empty() && standName != first.reservedStand) {
        first.reservedStand = standName;
        changed = true;
      }
    }
    if (changed) lf_writeLocked();
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("{} exception: {}", "lf_recordParkAirportStand", e.what()));
  }
}

void lf_sortParkAirports(const LatLon& position) {
  std::lock_guard lock(parkAirportsMutex);
  if (parkAirportList.empty()) return;
  auto distanceOf = [&](const ParkAirport& entry) {
    return gf_distanceNm(position, {entry.latitude, entry.longitude});
  };
  if (std::fabs(position.lat - lastSortPosition.lat) < sameSpot &&
      std::fabs(position.lon - lastSortPosition.lon) < sameSpot) {
    parkAirportList.front().distance = distanceOf(parkAirportList.front());
    return;
  }
  lastSortPosition = position;
  // Distances always follow the aircraft; a destination put at the front stays there.
  for (ParkAirport& entry : parkAirportList) entry.distance = distanceOf(entry);
  if (DESTINATION.value.load().empty()) {
    std::stable_sort(parkAirportList.begin(), parkAirportList.end(),
                     [](const ParkAirport& a, const ParkAirport& b) { return a.distance < b.distance; });
  }
}

std::optional<Airport> gf_closestAirport(const LatLon& position) {
  double best = 100.0;
  const Airport* chosen = nullptr;
  const Airport* runnerUp = nullptr;
  for (const Airport& airport : airportTable) {
    const double distance = gf_distanceNm(position, {airport.latitude, airport.longitude});
    if (distance <= closestAirportRadius && distance < best) {
      best = distance;
      if (chosen) runnerUp = chosen;
      chosen = &airport;
    }
  }
  if (!chosen) return std::nullopt;
  if (!runnerUp) return *chosen;
  gf_log(wdrx::format("Airport {} is closest, neighbour is {}", chosen->icao, runnerUp->icao));
  std::string chosenStand;
  std::string runnerStand;
  const double chosenDistance = gf_readDestApfForClosestStand(chosen->icao, position, chosenStand);
  const double runnerDistance = gf_readDestApfForClosestStand(runnerUp->icao, position, runnerStand);
  // A file that could not be had has no stand: it is never nearer.
  if (!runnerStand.empty() && (chosenStand.empty() || runnerDistance < chosenDistance)) {
    gf_log(wdrx::format("Airport {} is closest, but stand {} at neighbouring airport {} is closer at "
                        "{:.0F} meters ...",
                        chosen->icao, runnerStand, runnerUp->icao, runnerDistance * 1852.0));
    return *runnerUp;
  }
  return *chosen;
}

bool lf_showParkAirport(const IcaoCode& code) {
  const Airport* airport = gf_findAirport(code);
  if (!airport) {
    if (airportFileDisplay.showParkAirportCode) airportFileDisplay.showParkAirportCode(IcaoCode{});
    gf_repaintAirportBand();
    return false;
  }
  parkAirport.store(*airport);
  parkAirportCode.store(airport->icao);
  gf_log(wdrx::format("\nThe park airport is {}", code));
  if (airportFileDisplay.showParkAirportCode) airportFileDisplay.showParkAirportCode(code);
  gf_repaintAirportBand();
  return true;
}

void lf_userOnGroundAt(const LatLon& position, bool showStatus) {
  bool statusRequested = false;
  if (userOnGround.onGround.load()) {
    const std::optional<Airport> closest = gf_closestAirport(position);
    if (!closest) {
      gf_postStatus("User aircraft on the ground, no RT supported airport in sight", true);
      return;
    }
    if (!gf_apfExists(closest->icao)) {
      gf_postStatus(wdrx::format("User aircraft on the ground at {}", closest->icao) +
                        ", no airport file found",
                    true);
      return;
    }
    gf_log(wdrx::format("User aircraft on the ground at {}", closest->icao));
    if (!lf_showParkAirport(closest->icao)) return;
    statusRequested = showStatus;
  } else {
    if (airportFileDisplay.enableDestinationBox) airportFileDisplay.enableDestinationBox();
    const std::optional<ParkAirport> first = gf_firstParkAirport();
    if (!first || !lf_inSight(first->distance, userPosition.altitudeAboveGround) ||
        !lf_showParkAirport(first->code))
      return;
    gf_postStatus(wdrx::format("{} in sight at {:.1F} nm", first->code, first->distance), true);
  }
  staticRecalcRequested = true;
  lf_beginStaticCalc(statusRequested);
}

void lf_parkAirportInSight(const LatLon& position) {
  if (userOnGround.onGround.load()) return;
  const Airport park = parkAirport.load();
  const double distance = gf_distanceNm(position, {park.latitude, park.longitude});
  const double height = userPosition.altitudeAboveGround;
  const std::string parkName = gf_airportDisplayName(park.icao, park.iata);
  if (lf_inSight(distance, height)) {
    const std::optional<ParkAirport> first = gf_firstParkAirport();
    if (!first || first->code == park.icao || !lf_inSight(first->distance, height) ||
        first->distance > distance)
      return;
    gf_log(wdrx::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first",
                        gf_trafficTimeOfDay(), first->code, first->distance, parkName));
  } else {
    gf_log(wdrx::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed",
                        gf_trafficTimeOfDay(), parkName, distance));
  }
  gf_flushStaticParking();
}

void gf_registerParkingServices() {
  simLinkServices.nearestStandName = [](double latitude, double longitude) {
    return gf_nearestStandName(latitude, longitude);
  };
  simLinkServices.storeParkAirportStand = [](const std::string& name) { gf_storeParkAirportStand(name); };
}

namespace wdrx::testing {
void resetParkAirports() {
  std::lock_guard lock(parkAirportsMutex);
  parkAirportList.clear();
  lastSortPosition = {};
}
}  // namespace wdrx::testing
