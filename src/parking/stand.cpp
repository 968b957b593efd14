// The stand records and the park airport's stand table.
#include "parking/stand.hpp"

#include <algorithm>
#include <utility>

std::vector<Stand> standTable;

Stand::Stand(std::vector<StandOption> standOptions, std::string standName, StandPosition position,
             double radiusMetres, std::uint16_t parkingType, bool isCargo, bool isRamp, bool isHeli)
    : options(std::move(standOptions)),
      name(std::move(standName)),
      latitude(position.latitude),
      longitude(position.longitude),
      heading(position.heading),
      radius(radiusMetres * metresToNm),
      type(parkingType),
      cargo(isCargo ? 1 : 0),
      ramp(isRamp ? 1 : 0),
      heli(isHeli ? 1 : 0) {
  neighbours.reserve(8);
}

Stand* gf_findStandByNumber(std::int64_t number) {
  if (number < 1) return nullptr;
  auto it = std::lower_bound(standTable.begin(), standTable.end(), number,
                             [](const Stand& stand, std::int64_t n) { return stand.number < n; });
  return it != standTable.end() && it->number == number ? &*it : nullptr;
}

StandOption* gf_findStandOption(Stand& stand, std::uint32_t number) {
  if (number == 0) return nullptr;
  for (auto& option : stand.options)
    if (option.number == number) return &option;
  return nullptr;
}

std::filesystem::path gf_apfFileName(const IcaoCode& code) { return gf_apfFileNameString(code); }

std::string gf_apfFileNameString(const IcaoCode& code) { return code.str() + ".xml"; }

std::filesystem::path gf_apfPointerFileName(const IcaoCode& code) { return code.str() + ".txt"; }
