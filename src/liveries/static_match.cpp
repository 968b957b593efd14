// The livery choice of a static parked aircraft: the lookups of the live choice with the
// stand's cargo flag for the generic steps, nothing counted.
#include "config/settings.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "liveries/livery_match_steps.hpp"
#include "liveries/livery_matching.hpp"
#include "parking/stand.hpp"
#include "records/record_texts.hpp"

bool gf_matchStaticLivery(AcBase& aircraft, const Stand& stand) {
  const std::int32_t level = MATCHING_DEPTH.value.load();
  const auto accept = [&aircraft](int step) {
    if (lf_isRefused(aircraft.liveryTitle)) {
      aircraft.liveryTitle = {};
      return false;
    }
    gf_log(wdrx::format("          {} ={}= {}", gf_acIdentText(aircraft), step, aircraft.liveryTitle));
    return true;
  };
  if (!aircraft.liveryTitle.empty()) {
    if (!lf_isRefused(aircraft.liveryTitle)) {
      gf_log(wdrx::format("          {} =s= {}", gf_acIdentText(aircraft), aircraft.liveryTitle));
      return true;
    }
    aircraft.liveryTitle = {};  // a title the simulator refused is chosen anew
  }
  if (lf_matchRegcode(aircraft) && accept(lf_regcodeStep(aircraft))) return true;
  if (level >= 2) {
    AircraftCodes standCodes = aircraft.codes;
    standCodes.cargo = stand.cargo != 0 ? 1 : 0;
    if (lf_isPrivate(aircraft.codes)) {
      if (const auto generic = lf_genericCodes(standCodes);
          generic && lf_matchAirlineModel(aircraft, *generic) && accept(4)) {
        return true;
      }
    }
    if (lf_matchAirlineModel(aircraft, aircraft.codes) && accept(2)) return true;
    if (level >= 3 && lf_matchSimilarModel(aircraft, aircraft.codes) && accept(3)) return true;
    int step = 0;
    if (level >= 4 && lf_matchGeneric(aircraft, stand.cargo != 0, step) && accept(step)) return true;
  }
  gf_log(wdrx::format("{:8}: {} no livery match ...", stand.name, gf_acShortText(aircraft)));
  return false;
}

