// State of the park airport's file and the window hooks of the airport files.
#include "parking/apf_state.hpp"

ApfHeader apfHeader;
bool apfHandmade = false;
QualityPair apfQuality;
std::atomic<std::int32_t> rtTrafficWeek{0};
float parkAirportAltitude = 0.0f;
std::optional<double> parkAirportElevation;
std::atomic<std::uint32_t> standCount{0};
std::filesystem::path apfLearnedPath;
std::atomic<std::int32_t> learnedUpdateCount{0};
std::atomic<bool> learnedDirty{false};
SharedText airportBandPublisher;
SharedText airportBandQuality;
std::atomic<bool> airportBandHandmade{false};
AirportFileDisplay airportFileDisplay;

namespace {
std::int32_t shownUpdateCount = 0;  // run thread

void lf_showCount(std::int32_t count) {
  if (count == shownUpdateCount) return;
  shownUpdateCount = count;
  if (airportFileDisplay.showUpdateCount) airportFileDisplay.showUpdateCount(count);
  gf_repaintAirportBand();
}
}  // namespace

void gf_repaintAirportBand() {
  if (airportFileDisplay.repaintAirportBand) airportFileDisplay.repaintAirportBand();
}

void gf_countLearnedUpdate() { lf_showCount(learnedUpdateCount.fetch_add(1) + 1); }

void gf_resetLearnedUpdateCount() {
  learnedUpdateCount.store(0);
  lf_showCount(0);
}
