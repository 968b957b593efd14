// The main window's picture: five bands drawn into a memory picture from one snapshot of the
// display values, then copied to the window in one step.
#include "window/window_paint.hpp"

#include <algorithm>
#include <exception>

#include "config/settings.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/version.hpp"
#include "liveries/livery_data.hpp"
#include "parking/addon_scan.hpp"
#include "parking/apf_state.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/status_line.hpp"
#include "traffic/link_state.hpp"
#include "window/window_controls.hpp"

namespace gui = platform::gui;

const char* const makerNotice = "(c) Brimsted - live traffic for P3D";

namespace {

gui::Rect lf_rect(const BandRect& band) { return {band.left, band.top, band.right, band.bottom}; }

std::int32_t lf_row(const ParameterControl& control) { return static_cast<std::int32_t>(control.y); }

bool lf_enabled(const ParameterControl& control) {
  return gui::isWindowEnabled(lf_controlHandle(control));
}

gui::Colour lf_yellowWhen(bool on) { return on ? colours::yellow : colours::black; }
gui::Colour lf_limeWhen(bool on) { return on ? colours::lime : colours::yellow; }

}  // namespace

WindowSnapshot lf_takeWindowSnapshot() {
  WindowSnapshot s;
  const MainWindow& w = mainWindow;
  s.aircraftText = w.aircraftText.load();
  s.parkAirportName = w.parkAirportName.load();
  s.parkAirportInfo = airportBandPublisher.load();
  s.parkAirportQuality = airportBandQuality.load();
  s.simulatorText = w.simulatorText.load();
  s.userStandName = w.userStandName.load();
  s.reservedStandName = w.reservedStandName.load();
  s.parkAirportCode = w.parkAirportCode.load();
  s.staticAverageFit = w.staticAverageFit.load();
  s.liveAverageFit = w.liveAverageFit.load();
  s.liveCount = w.liveCount.load();
  s.simaddonCount = w.simaddonCount.load();
  s.thirdpCount = w.thirdpCount.load();
  s.liveryCount = static_cast<std::uint64_t>(std::max(liveryCount.load(), 0));
  s.parkedLiveCount = w.parkedLiveCount.load();
  s.staticCount = w.staticCount.load();
  s.standCount = standCount.load();
  s.airportRowY = w.airportRowY.load();
  s.maxParkPercent = w.maxParkPercent.load();
  s.maxParkCount = w.maxParkCount.load();
  s.renewalCountdown = w.renewalCountdown.load();
  s.airportWeekNumber = rtTrafficWeek.load();
  s.updateCount = w.updateCount.load();
  s.staticWaitingCount = w.staticWaitingCount.load();
  s.airportHandMark = airportBandHandmade.load();
  s.linkBoxDark = w.linkBoxDark.load();
  s.parkAirportLoaded = w.parkAirportLoaded.load();
  s.simConnected = w.simConnected.load();
  s.simRunningShown = w.simRunningShown.load();
  s.wingSpanKnown = w.wingSpanKnown.load();
  s.parkSoftMark = w.parkSoftMark.load();
  s.parkWeekMark = w.parkWeekMark.load();
  s.reservedStandFound = w.reservedStandFound.load();

  s.trafficLamp = realTrafficDisplay.trafficLamp.load();
  s.qnhLamp = realTrafficDisplay.qnhLamp.load();
  s.qnhValue = realTrafficDisplay.qnhValue.load();
  s.realTrafficLinked = realTrafficDisplay.realTrafficLinked.load();
  s.realTrafficText = realTrafficDisplay.realTrafficText();

  const StatusSnapshot status = gf_statusSnapshot();
  s.statusText = status.statusText;
  s.errorText = status.errorText;

  s.scanLiveries = SCAN_LIVERIES.value.load();
  s.scanAirports = SCAN_AIRPORTS.value.load();
  s.aerowinx = AEROWINX.value.load();
  s.guidChanges = GUID_CHANGES.value.load();
  s.autoRange = AUTO_RANGE.value.load();
  s.airborneOnly = AIRBORNE_ONLY.value.load();
  s.straightPbsOnly = STRAIGHT_PBS_ONLY.value.load();
  s.initialLoadOnly = INITIAL_LOAD_ONLY.value.load();
  s.maxParkSel = MAX_PARK_SEL.value.load();
  s.maxLiveSel = MAX_LIVE_SEL.value.load();
  s.lightAircraftEnabled = lf_enabled(LIGHT_AIRCRAFT);
  s.helicoptersEnabled = lf_enabled(HELICOPTERS);
  s.highPerfEnabled = lf_enabled(HIGH_PERF_AIRCRAFT);
  s.tbloZipMade = tbloFileCount.load() > 0;
  s.staticParkingActive = staticParkingActive.load();
  s.parkingUpdateBusy = parkingUpdateBusy.load();
  return s;
}

SimLamp lf_simLamp(const WindowSnapshot& v) {
  if (!v.simConnected) return SimLamp::red;
  return v.simRunningShown && !v.aircraftText.empty() ? SimLamp::green : SimLamp::yellow;
}

bool lf_qnhShown(const WindowSnapshot& v) {
  return v.realTrafficLinked && (v.qnhLamp == lampReceiving || v.qnhLamp == lampSilent) &&
         v.qnhValue >= 1;
}

void lf_textOutUtf8(gui::MemoryPicture& picture, std::int32_t x, std::int32_t y,
                    const std::string& text, gui::Colour colour) {
  std::u16string wide;
  try {
    wide = utf8_to_wide(text);
  } catch (const std::exception& e) {
    gf_logUnlessStopping(wdrx::format("TextOut utf8  to wide failed for '{}': {}", text, e.what()));
    return;
  }
  picture.text(x, y, wide, colour);
}

void lf_paintMainWindow(gui::PaintHandle dc) {
  const WindowSnapshot values = lf_takeWindowSnapshot();
  gui::MemoryPicture picture(dc, 880, 516);

  picture.fillRect(lf_rect(topBand), colours::black);
  picture.fillRect(lf_rect(countersBand), colours::black);
  picture.fillRect(lf_rect(optionsBand), colours::lightBlue);
  picture.fillRect(lf_rect(airportBand), colours::black);
  picture.fillRect(lf_rect(statusBand), colours::lime);

  for (std::int32_t y : {28, 113, 449, 392}) picture.line({0, y}, {880, y}, colours::white);

  lf_textOutUtf8(picture, 3, 7, wdrx::format("Version {}", programVersion.text()), colours::lime);
  lf_textOutUtf8(picture, 390, 7, "Wendrix_P3D", colours::lime);
  lf_textOutUtf8(picture, 632, 7, makerNotice, colours::lime);

  picture.line({0, 140}, {880, 140}, colours::black);
  for (std::int32_t y : {168, 196, 224, 252, 280}) picture.line({0, y}, {642, y}, colours::black);
  picture.line({0, 308}, {880, 308}, colours::black);
  picture.line({642, 140}, {642, 308}, colours::black);

  lf_paintCounters(picture, values);

  if (lf_qnhShown(values))
    lf_textOutUtf8(picture, 642, 63, wdrx::format("qnh: {:4}", values.qnhValue), colours::lime);
  if (values.realTrafficLinked) {
    if (values.trafficLamp == lampReceiving || values.trafficLamp == lampSilent)
      lf_textOutUtf8(picture, 642, 91, wdrx::format("live: {:3}", values.liveCount),
                     colours::lime);
  }

  lf_paintOptions(picture, values);
  lf_paintAirportStats(picture, values);
  lf_paintStatusLine(picture, values);
  picture.copyTo(dc);
}

void lf_paintCounters(gui::MemoryPicture& picture, const WindowSnapshot& v) {
  const SimLamp simLamp = lf_simLamp(v);
  const gui::Colour lamp = simLamp == SimLamp::red     ? colours::red
                           : simLamp == SimLamp::green ? colours::lime
                                                       : colours::yellow;
  picture.fillRect({397, 30, 426, 113}, lamp);
  lf_textOutUtf8(picture, 398, 63, "Sim", colours::lime);

  if (v.simConnected) {
    std::string line = v.simulatorText;
    if (!v.userStandName.empty()) line += ", user stand " + v.userStandName;
    lf_textOutUtf8(picture, 5, 35, line, lamp);
    lf_textOutUtf8(picture, 5, 63, v.aircraftText, v.wingSpanKnown ? lamp : colours::yellow);
  }

  if (v.liveryCount != 0) {
    lf_textOutUtf8(picture, 5, 91, wdrx::format("# liveries: {}", v.liveryCount), colours::lime);
  } else {
    lf_textOutUtf8(picture, 5, 91, "# liveries: ...", colours::red);
  }
  auto count = [](std::int64_t n) { return n != 0 ? std::to_string(n) : std::string("..."); };
  lf_textOutUtf8(picture, 141, 91, wdrx::format("# simaddon: {}", count(v.simaddonCount)),
                 lf_limeWhen(v.simaddonCount != 0));
  lf_textOutUtf8(picture, 278, 91, wdrx::format("# thirdp: {}", count(v.thirdpCount)),
                 lf_limeWhen(v.thirdpCount != 0));

  gui::Colour box = colours::red;
  if (v.linkBoxDark) {
    box = colours::black;
  } else if (v.realTrafficLinked) {
    box = v.trafficLamp == lampReceiving ? colours::lime : colours::yellow;
  }
  picture.fillRect({425, 30, 454, 113}, box);
  lf_textOutUtf8(picture, 430, 63, "RT", colours::lime);

  if (v.realTrafficLinked) {
    lf_textOutUtf8(picture, 458, 35, v.realTrafficText, lf_limeWhen(v.trafficLamp == lampReceiving));
    if (v.qnhLamp != lampHidden)
      lf_textOutUtf8(picture, 458, 63, "Weather", lf_limeWhen(v.qnhLamp == lampReceiving));
    if (v.trafficLamp != lampHidden)
      lf_textOutUtf8(picture, 458, 91, "Traffic", lf_limeWhen(v.trafficLamp == lampReceiving));
  }
  picture.line({425, 29}, {425, 112}, colours::black);
}

void lf_paintOptions(gui::MemoryPicture& picture, const WindowSnapshot& v) {
  auto label = [&picture](std::int32_t x, const ParameterControl& row, const std::string& text,
                          gui::Colour colour = colours::black) {
    lf_textOutUtf8(picture, x, lf_row(row), text, colour);
  };
  auto greyUnless = [](bool on) { return on ? colours::black : colours::grey; };

  label(5, ALL_INSTALL_PATH, "Install path:");
  label(25, SCAN_LIVERIES, "Scan for liveries", lf_yellowWhen(v.scanLiveries));
  label(556, LIG_PRIORITIZE, "Prioritize");
  label(652, ALWAYS_ON_TOP, "Meta:");
  label(768, ALWAYS_ON_TOP, "Stay on top");
  label(25, SCAN_AIRPORTS, "Scan for addon airports", lf_yellowWhen(v.scanAirports));
  if (v.tbloZipMade)
    label(303, SCAN_AIRPORTS, wdrx::format("<=== Mail tblo.zip to {}, pls", tbloSupportAddress),
          colours::yellow);
  label(768, NAV_LIGHTS_WHILE_PARKED, "Nav lights");
  label(5, MATCHING_DEPTH, "Max aircraft matching depth");
  label(258, LIGHT_AIRCRAFT, "Optional:");
  label(343, LIGHT_AIRCRAFT, "Light aircraft", greyUnless(v.lightAircraftEnabled));
  label(450, HELICOPTERS, "Helicopters", greyUnless(v.helicoptersEnabled));
  label(556, HIGH_PERF_AIRCRAFT, "FighterJets", greyUnless(v.highPerfEnabled));
  label(672, AEROWINX, "Aerowinx", lf_yellowWhen(v.aerowinx));
  label(768, GUID_CHANGES, "GUID changes", v.guidChanges ? colours::black : colours::yellow);
  label(5, RANGE, "Traffic injection");
  label(163, RANGE, "Radius:");
  label(270, RANGE, "nm, or");
  label(343, AUTO_RANGE, "Auto radius");
  label(430, AR_ABOVE_HEIGHT, "Ah:", greyUnless(v.autoRange));
  label(536, AR_ABOVE_HEIGHT, "ft", greyUnless(v.autoRange));
  label(592, AIRBORNE_ONLY, "AirOnly", lf_yellowWhen(v.airborneOnly));
  label(5, BLOCK_CALLSIGN, "Block callsign:");
  label(5, COLLISION_USER_GND, "Collision avoidance");
  label(237, COLLISION_USER_GND, "User ground");
  label(343, COLLISION_USER_AIR, "User air");
  label(450, COLLISION_LIVE_PARKED_GND, "Live X parked");
  label(5, MAX_PARK_SEL, "Airport parking", lf_yellowWhen(v.parkingUpdateBusy));
  const bool noParking = v.maxParkSel == 0 && v.maxLiveSel == 0;
  label(171, MAX_PARK_SEL, "Max park (static+live):",
        noParking ? colours::red : (v.maxParkSel != 0 ? colours::black : colours::yellow));
  label(401, MAX_LIVE_SEL, "Max live (park incl):",
        noParking ? colours::red : (v.maxLiveSel != 0 ? colours::black : colours::yellow));
  label(672, STRAIGHT_PBS_ONLY, "Straight push backs only", greyUnless(v.straightPbsOnly));
  if (v.staticParkingActive && !v.parkingUpdateBusy) {
    if (!v.initialLoadOnly) {
      if (v.renewalCountdown >= 1 && v.renewalCountdown <= 19)
        label(5, AIRP_RANGE, wdrx::format("(next in {} min)", v.renewalCountdown));
    } else {
      label(5, AIRP_RANGE, "(no next ... )");
    }
  }
  label(137, DESTINATION, "Destination:");
  label(303, AIRP_RANGE, "Range:");
  label(403, AIRP_RANGE, "nm");
  label(440, AIRP_HEIGHT, "Height above gnd:");
  label(646, AIRP_HEIGHT, "ft");
  label(25, INITIAL_LOAD_ONLY, "ILO", lf_yellowWhen(v.initialLoadOnly));
  label(91, WEEK, "Week");
  label(171, PARK_SOFT, "Soft");
  label(264, parking_percentage, "Target: ");
  label(378, parking_percentage, "%");
  label(506, AMAX_FIT_FL, "Max fit:");
  label(632, AMAX_FIT_FL, "hrs");
}

void lf_paintAirportStats(gui::MemoryPicture& picture, const WindowSnapshot& v) {
  if (v.parkAirportCode.empty()) return;
  const std::int32_t y1 = v.airportRowY;
  const std::int32_t y2 = y1 + 28;
  lf_textOutUtf8(picture, 5, y1, v.parkAirportCode.str(), lf_limeWhen(v.parkAirportLoaded));
  if (!v.parkAirportLoaded) return;
  lf_textOutUtf8(picture, 45, y1,
                 wdrx::format(" {}, {}{}, wk={}", v.parkAirportName, v.parkAirportInfo,
                              v.airportHandMark ? " (h)" : "", v.airportWeekNumber),
                 colours::lime);
  if (v.parkSoftMark || v.parkWeekMark) {
    const char* mark = v.parkSoftMark && v.parkWeekMark ? "*WS*" : (v.parkSoftMark ? "*S*" : "*W*");
    lf_textOutUtf8(picture, 370, y1, mark, colours::lime);
  }
  lf_textOutUtf8(picture, 430, y1, wdrx::format("qf: {}", v.parkAirportQuality), colours::lime);
  if (!v.reservedStandName.empty())
    lf_textOutUtf8(picture, 571, y1, wdrx::format("reserved stand: {}", v.reservedStandName),
                   v.reservedStandFound ? colours::lime : colours::red);
  lf_textOutUtf8(picture, 748, y1, wdrx::format("# updates: {:4}", v.updateCount), colours::lime);

  lf_textOutUtf8(picture, 5, y2, wdrx::format("# stands: {:3}", v.standCount), colours::lime);
  lf_textOutUtf8(picture, 111, y2, wdrx::format("parked live: {:3}", v.parkedLiveCount),
                 colours::lime);
  if (v.liveAverageFit > 0.0f)
    lf_textOutUtf8(picture, 249, y2,
                   wdrx::format("average fit: {}", gf_formatOneDecimal(v.liveAverageFit)),
                   colours::lime);
  if (v.maxParkCount > 0) {
    lf_textOutUtf8(picture, 430, y2, wdrx::format("static: {:3}", v.staticCount), colours::lime);
    if (v.staticWaitingCount != 0)
      lf_textOutUtf8(picture, 500, y2, wdrx::format(" ({})", v.staticWaitingCount),
                     colours::yellow);
    if (!v.parkWeekMark && v.staticAverageFit > 0.0f)
      lf_textOutUtf8(picture, 571, y2,
                     wdrx::format("average fit: {}", gf_formatOneDecimal(v.staticAverageFit)),
                     colours::lime);
  }
  if (v.maxParkCount != 0) {
    lf_textOutUtf8(picture, 708, y2,
                   wdrx::format("max park: {:3} (={} %)", v.maxParkCount, v.maxParkPercent),
                   colours::lime);
  } else {
    lf_textOutUtf8(picture, 708, y2, "no max park live", colours::lime);
  }
}

void lf_paintStatusLine(gui::MemoryPicture& picture, const WindowSnapshot& v) {
  if (!v.errorText.empty()) {
    picture.fillRect({0, 448, 881, 477}, colours::red);
    lf_textOutUtf8(picture, 3, 455, v.errorText, colours::yellow);
  } else {
    picture.fillRect({0, 448, 881, 477}, colours::lime);
    if (!v.statusText.empty()) lf_textOutUtf8(picture, 3, 455, v.statusText, colours::yellow);
  }
}
