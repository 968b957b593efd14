// The livery choice of a live aircraft, step by step down to MATCHING_DEPTH, each accepted
// match counted and logged. Its own file, so that engine tests can stand in for it alone.
#include "config/settings.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "liveries/livery_match_steps.hpp"
#include "liveries/livery_matching.hpp"
#include "records/record_texts.hpp"

bool lf_acceptLiveryMatch(AcBase& aircraft, int step) {
  if (lf_isRefused(aircraft.liveryTitle)) {
    aircraft.liveryTitle = {};
    return false;
  }
  ++matchesPerStep[static_cast<std::size_t>(step)];
  gf_log(wdrx::format("          {} ={}= {}", gf_acIdentText(aircraft), step, aircraft.liveryTitle));
  aircraft.fsltl = aircraft.liveryTitle.find("FSLTL_") != std::string_view::npos ? 1 : 0;
  return true;
}

void gf_matchLivery(LiveAc& live) {
  AcBase& aircraft = live;
  const std::int32_t level = MATCHING_DEPTH.value.load();
  if (lf_matchRegcode(aircraft) && lf_acceptLiveryMatch(aircraft, lf_regcodeStep(aircraft))) return;
  if (level < 2) return;
  if (lf_isPrivate(aircraft.codes)) {
    if (const auto generic = lf_genericCodes(aircraft.codes);
        generic && lf_matchAirlineModel(aircraft, *generic) && lf_acceptLiveryMatch(aircraft, 4)) {
      return;
    }
  }
  if (lf_matchAirlineModel(aircraft, aircraft.codes) && lf_acceptLiveryMatch(aircraft, 2)) return;
  if (level < 3) return;
  if (lf_matchSimilarModel(aircraft, aircraft.codes) && lf_acceptLiveryMatch(aircraft, 3)) return;
  if (level != 4) return;
  int step = 0;
  if (lf_matchGeneric(aircraft, false, step)) lf_acceptLiveryMatch(aircraft, step);
}

