// The main window's picture: bands, lamps, counters, option labels, airport band and status
// line, read back as pixels and as the texts drawn.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "config/settings.hpp"
#include "liveries/livery_data.hpp"
#include "parking/addon_scan.hpp"
#include "parking/apf_state.hpp"
#include "records/engine_tables.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "support/env.hpp"
#include "traffic/link_state.hpp"
#include "window/window_controls.hpp"
#include "window/window_mirror.hpp"
#include "window/window_paint.hpp"
#include "window_fixture.hpp"

namespace gui = platform::gui;
using wdrx::testing::WindowTest;

namespace {

constexpr gui::Colour lime = colours::lime;
constexpr gui::Colour yellow = colours::yellow;
constexpr gui::Colour red = colours::red;
constexpr gui::Colour black = colours::black;
constexpr gui::Colour grey = colours::grey;
constexpr gui::Colour lightBlue = colours::lightBlue;
constexpr gui::Colour white = colours::white;

class WindowPaint : public WindowTest {};

TEST_F(WindowPaint, BandsSeparatorsAndTheUnpaintedBottomRows) {
  struct Point {
    int x, y;
    gui::Colour colour;
  };
  const Point points[] = {
      {300, 2, black},      {300, 27, black},     {300, 28, white},     {300, 29, black},
      {300, 111, black},    {300, 112, lightBlue},    {300, 113, white},    {300, 114, lightBlue},
      {300, 140, black},    {300, 141, lightBlue}, {300, 168, black},   {700, 168, lightBlue},
      {641, 200, lightBlue}, {642, 200, black},   {643, 200, lightBlue}, {642, 309, lightBlue},
      {879, 308, black},    {300, 391, lightBlue}, {300, 392, white},   {300, 393, black},
      {300, 447, black},    {300, 448, lime},     {300, 449, lime},     {879, 475, lime},
      {300, 476, lime},     {300, 477, black},    {300, 515, black},    {0, 140, black},      {879, 140, black},
  };
  for (const auto& p : points) EXPECT_EQ(pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST_F(WindowPaint, TopBandAndStartCounters) {
  EXPECT_TRUE(drew(3, 7, "Version 12.5.4", lime));
  EXPECT_TRUE(drew(390, 7, "Wendrix_P3D", lime));
  EXPECT_TRUE(drew(632, 7, makerNotice, lime));
  EXPECT_TRUE(drew(398, 63, "Sim", lime));
  EXPECT_TRUE(drew(430, 63, "RT", lime));
  EXPECT_TRUE(drew(5, 91, "# liveries: ...", red));
  EXPECT_TRUE(drew(141, 91, "# simaddon: ...", yellow));
  EXPECT_TRUE(drew(278, 91, "# thirdp: ...", yellow));
  EXPECT_EQ(pixel(410, 100), red);    // not connected
  EXPECT_EQ(pixel(440, 100), black);  // the RealTraffic box is dark until the services start
  EXPECT_EQ(pixel(425, 50), black);   // the line between the two boxes

  liveryCount.store(1234);
  mainWindow.simaddonCount.store(7);
  mainWindow.thirdpCount.store(12);
  repaint();
  EXPECT_TRUE(drew(5, 91, "# liveries: 1234", lime));
  EXPECT_TRUE(drew(141, 91, "# simaddon: 7", lime));
  EXPECT_TRUE(drew(278, 91, "# thirdp: 12", lime));
}

TEST_F(WindowPaint, SimulatorLampAndLines) {
  struct Case {
    bool connected, running;
    const char* aircraft;
    gui::Colour lamp;
  };
  for (const Case& c : {Case{false, true, "A320", red}, Case{true, false, "A320", yellow},
                        Case{true, true, "", yellow}, Case{true, true, "A320", lime}}) {
    mainWindow.simConnected.store(c.connected);
    mainWindow.simRunningShown.store(c.running);
    mainWindow.aircraftText.store(c.aircraft);
    mainWindow.simulatorText.store("Prepar3D v5.4");
    repaint();
    EXPECT_EQ(pixel(410, 100), c.lamp) << c.connected << c.running << c.aircraft;
    EXPECT_EQ(drewText("Prepar3D v5.4"), c.connected);
  }
  mainWindow.userStandName.store("B12");
  mainWindow.wingSpanKnown.store(false);
  repaint();
  EXPECT_TRUE(drew(5, 35, "Prepar3D v5.4, user stand B12", lime));
  EXPECT_TRUE(drew(5, 63, "A320", yellow));  // span unknown
}

TEST_F(WindowPaint, RealTrafficBoxLampsQnhAndLiveCount) {
  struct Case {
    bool dark, linked;
    int trafficLamp;
    gui::Colour box;
  };
  for (const Case& c : {Case{true, true, 1, black}, Case{false, false, 1, red},
                        Case{false, true, 1, lime}, Case{false, true, 2, yellow},
                        Case{false, true, 3, yellow}}) {
    mainWindow.linkBoxDark.store(c.dark);
    realTrafficDisplay.realTrafficLinked.store(c.linked);
    realTrafficDisplay.trafficLamp.store(c.trafficLamp);
    repaint();
    EXPECT_EQ(pixel(440, 100), c.box) << c.dark << c.linked << c.trafficLamp;
  }

  realTrafficDisplay.setRealTrafficText("RT Standard edition: 10.0");
  realTrafficDisplay.trafficLamp.store(lampReceiving);
  realTrafficDisplay.qnhLamp.store(lampReceiving);
  realTrafficDisplay.qnhValue.store(0);
  mainWindow.liveCount.store(7);
  repaint();
  EXPECT_TRUE(drew(458, 35, "RT Standard edition: 10.0", lime));
  EXPECT_TRUE(drew(458, 63, "Weather", lime));
  EXPECT_TRUE(drew(458, 91, "Traffic", lime));
  EXPECT_TRUE(drew(642, 91, "live:   7", lime));
  for (const auto& text : drawnTexts()) EXPECT_EQ(text.find("qnh:"), std::string::npos) << text;

  realTrafficDisplay.qnhValue.store(998);
  realTrafficDisplay.qnhLamp.store(lampSilent);
  realTrafficDisplay.trafficLamp.store(lampHidden);
  repaint();
  EXPECT_TRUE(drew(642, 63, "qnh:  998", lime));
  EXPECT_TRUE(drew(458, 63, "Weather", yellow));
  EXPECT_TRUE(drew(458, 35, "RT Standard edition: 10.0", yellow));
  EXPECT_FALSE(drewText("Traffic"));
  EXPECT_FALSE(drewText("live:   7"));

  realTrafficDisplay.qnhLamp.store(lampHidden);
  repaint();
  EXPECT_FALSE(drewText("Weather"));
  EXPECT_FALSE(drewText("qnh:  998"));

  realTrafficDisplay.realTrafficLinked.store(false);
  realTrafficDisplay.qnhLamp.store(lampReceiving);
  repaint();
  EXPECT_FALSE(drewText("qnh:  998"));
  EXPECT_FALSE(drewText("Weather"));
}

TEST_F(WindowPaint, OptionLabelsFollowTheirSettings) {
  SCAN_LIVERIES.value.store(true);
  SCAN_AIRPORTS.value.store(false);
  GUID_CHANGES.value.store(false);
  AUTO_RANGE.value.store(false);
  MAX_PARK_SEL.value.store(0);
  MAX_LIVE_SEL.value.store(0);
  gf_onGuiThread([] { gui::enableWindow(lf_controlHandle(HELICOPTERS), false); });
  repaint();
  EXPECT_TRUE(drew(5, 119, "Install path:", black));
  EXPECT_TRUE(drew(25, 147, "Scan for liveries", yellow));
  EXPECT_TRUE(drew(25, 175, "Scan for addon airports", black));
  EXPECT_TRUE(drew(768, 203, "GUID changes", yellow));
  EXPECT_TRUE(drew(343, 203, "Light aircraft", black));
  EXPECT_TRUE(drew(450, 203, "Helicopters", grey));
  EXPECT_TRUE(drew(430, 231, "Ah:", grey));
  EXPECT_TRUE(drew(536, 231, "ft", grey));
  EXPECT_TRUE(drew(171, 315, "Max park (static+live):", red));
  EXPECT_TRUE(drew(401, 315, "Max live (park incl):", red));
  EXPECT_TRUE(drew(672, 315, "Straight push backs only", grey));
  EXPECT_FALSE(drewText("(no next ... )"));

  MAX_LIVE_SEL.value.store(10);
  STRAIGHT_PBS_ONLY.value.store(true);
  tbloFileCount.store(3);
  parkingUpdateBusy.store(true);
  repaint();
  EXPECT_TRUE(drew(171, 315, "Max park (static+live):", yellow));
  EXPECT_TRUE(drew(401, 315, "Max live (park incl):", black));
  EXPECT_TRUE(drew(672, 315, "Straight push backs only", black));
  EXPECT_TRUE(drew(5, 315, "Airport parking", yellow));
  EXPECT_TRUE(drew(303, 175, std::string("<=== Mail tblo.zip to ") + tbloSupportAddress + ", pls",
                   yellow));
}

// Every label of the options band at its place, in its colour with the settings at their
// defaults, and no other text in the band; then the labels that turn yellow when switched on.
TEST_F(WindowPaint, EveryOptionLabelAtItsPlace) {
  struct Label {
    int x, y;
    const char* text;
    gui::Colour colour;
  };
  const Label labels[] = {
      {5, 119, "Install path:", black},       {25, 147, "Scan for liveries", yellow},
      {556, 147, "Prioritize", black},        {652, 147, "Meta:", black},
      {768, 147, "Stay on top", black},       {25, 175, "Scan for addon airports", yellow},
      {768, 175, "Nav lights", black},        {5, 203, "Max aircraft matching depth", black},
      {258, 203, "Optional:", black},         {343, 203, "Light aircraft", black},
      {450, 203, "Helicopters", black},       {556, 203, "FighterJets", black},
      {672, 203, "Aerowinx", black},          {768, 203, "GUID changes", black},
      {5, 231, "Traffic injection", black},   {163, 231, "Radius:", black},
      {270, 231, "nm, or", black},            {343, 231, "Auto radius", black},
      {430, 231, "Ah:", black},               {536, 231, "ft", black},
      {592, 231, "AirOnly", black},           {5, 259, "Block callsign:", black},
      {5, 287, "Collision avoidance", black}, {237, 287, "User ground", black},
      {343, 287, "User air", black},          {450, 287, "Live X parked", black},
      {5, 315, "Airport parking", black},     {171, 315, "Max park (static+live):", black},
      {401, 315, "Max live (park incl):", black}, {672, 315, "Straight push backs only", grey},
      {137, 343, "Destination:", black},      {303, 343, "Range:", black},
      {403, 343, "nm", black},                {440, 343, "Height above gnd:", black},
      {646, 343, "ft", black},                {25, 371, "ILO", black},
      {91, 371, "Week", black},               {171, 371, "Soft", black},
      {264, 371, "Target: ", black},          {378, 371, "%", black},
      {506, 371, "Max fit:", black},          {632, 371, "hrs", black},
  };
  for (const Label& l : labels) EXPECT_TRUE(drew(l.x, l.y, l.text, l.colour)) << l.text;
  std::size_t inBand = 0;
  for (const auto& call : gui::inspect::lastDrawCalls(window))
    if (call.kind == gui::DrawCall::Kind::text && call.rect.top >= 112 && call.rect.top < 392)
      ++inBand;
  EXPECT_EQ(inBand, std::size(labels));

  AEROWINX.value.store(true);
  AIRBORNE_ONLY.value.store(true);
  INITIAL_LOAD_ONLY.value.store(true);
  repaint();
  EXPECT_TRUE(drew(672, 203, "Aerowinx", yellow));
  EXPECT_TRUE(drew(592, 231, "AirOnly", yellow));
  EXPECT_TRUE(drew(25, 371, "ILO", yellow));
}

TEST_F(WindowPaint, RenewalCountdownOnlyWhileStaticParkingRunsIdle) {
  struct Case {
    bool active, busy, initialLoadOnly;
    int countdown;
    const char* text;  // nullptr: no countdown text
  };
  for (const Case& c : {Case{false, false, false, 5, nullptr}, Case{true, true, false, 5, nullptr},
                        Case{true, false, false, 20, nullptr}, Case{true, false, false, 0, nullptr},
                        Case{true, false, false, 19, "(next in 19 min)"},
                        Case{true, false, false, 1, "(next in 1 min)"},
                        Case{true, false, true, 0, "(no next ... )"}}) {
    staticParkingActive.store(c.active);
    parkingUpdateBusy.store(c.busy);
    INITIAL_LOAD_ONLY.value.store(c.initialLoadOnly);
    mainWindow.renewalCountdown.store(c.countdown);
    repaint();
    bool any = false;
    for (const auto& text : drawnTexts()) any = any || text.rfind("5,343 ", 0) == 0;
    EXPECT_EQ(any, c.text != nullptr) << c.countdown;
    if (c.text != nullptr) {
      EXPECT_TRUE(drew(5, 343, c.text, black));
    }
  }
}

TEST_F(WindowPaint, AirportBand) {
  auto airportTexts = [this] {
    std::vector<std::string> texts;
    for (const auto& call : gui::inspect::lastDrawCalls(window))
      if (call.kind == gui::DrawCall::Kind::text && call.rect.top >= 392 && call.rect.top < 448)
        texts.push_back(call.text);
    return texts;
  };
  EXPECT_TRUE(airportTexts().empty());

  mainWindow.parkAirportCode.store(IcaoCode("EHAM"));
  repaint();
  EXPECT_TRUE(drew(5, 399, "EHAM", yellow));
  EXPECT_EQ(airportTexts().size(), 1u);

  mainWindow.parkAirportLoaded.store(true);
  mainWindow.parkAirportName.store("Schiphol");
  airportBandPublisher.store("NL");
  airportBandHandmade.store(true);
  rtTrafficWeek.store(12);
  mainWindow.parkSoftMark.store(true);
  mainWindow.parkWeekMark.store(true);
  airportBandQuality.store("3");
  mainWindow.reservedStandName.store("A12");
  mainWindow.updateCount.store(5);
  standCount.store(42);
  mainWindow.parkedLiveCount.store(3);
  mainWindow.liveAverageFit.store(2.5f);
  mainWindow.maxParkCount.store(50);
  mainWindow.maxParkPercent.store(30);
  mainWindow.staticCount.store(10);
  mainWindow.staticWaitingCount.store(4);
  mainWindow.staticAverageFit.store(3.0f);
  repaint();
  EXPECT_TRUE(drew(5, 399, "EHAM", lime));
  EXPECT_TRUE(drew(45, 399, " Schiphol, NL (h), wk=12", lime));
  EXPECT_TRUE(drew(370, 399, "*WS*", lime));
  EXPECT_TRUE(drew(430, 399, "qf: 3", lime));
  EXPECT_TRUE(drew(571, 399, "reserved stand: A12", red));
  EXPECT_TRUE(drew(748, 399, "# updates:    5", lime));
  EXPECT_TRUE(drew(5, 427, "# stands:  42", lime));
  EXPECT_TRUE(drew(111, 427, "parked live:   3", lime));
  EXPECT_TRUE(drew(249, 427, "average fit: 2.5", lime));
  EXPECT_TRUE(drew(430, 427, "static:  10", lime));
  EXPECT_TRUE(drew(500, 427, " (4)", yellow));
  EXPECT_FALSE(drewText("average fit: 3"));  // the week mark hides the static fit
  EXPECT_TRUE(drew(708, 427, "max park:  50 (=30 %)", lime));

  mainWindow.parkWeekMark.store(false);
  mainWindow.reservedStandFound.store(true);
  airportBandHandmade.store(false);
  mainWindow.maxParkCount.store(0);
  mainWindow.airportRowY.store(400);
  repaint();
  EXPECT_TRUE(drew(370, 400, "*S*", lime));
  EXPECT_TRUE(drew(45, 400, " Schiphol, NL, wk=12", lime));
  EXPECT_TRUE(drew(571, 400, "reserved stand: A12", lime));
  EXPECT_TRUE(drew(708, 428, "no max park live", lime));
  EXPECT_FALSE(drewText("static:  10"));
  EXPECT_FALSE(drewText("average fit: 3"));

  mainWindow.maxParkCount.store(8);
  mainWindow.parkSoftMark.store(false);
  mainWindow.parkWeekMark.store(true);
  repaint();
  EXPECT_TRUE(drew(370, 400, "*W*", lime));
  mainWindow.parkWeekMark.store(false);
  repaint();
  EXPECT_TRUE(drew(571, 428, "average fit: 3", lime));
  for (const auto& text : airportTexts()) EXPECT_EQ(text.find('*'), std::string::npos) << text;
}

TEST_F(WindowPaint, StatusAndErrorLine) {
  gf_postStatus("Calculating static parked aircraft ...");
  idle();
  EXPECT_TRUE(drew(3, 455, "Calculating static parked aircraft ...", yellow));
  EXPECT_EQ(pixel(870, 460), lime);

  gf_postError("reading data files failed!");
  idle();
  EXPECT_TRUE(drew(3, 455, "reading data files failed!", yellow));
  EXPECT_EQ(pixel(870, 460), red);
  EXPECT_FALSE(drewText("Calculating static parked aircraft ..."));

  gf_clearError();
  idle();
  EXPECT_EQ(pixel(870, 460), lime);
  EXPECT_FALSE(drewText("reading data files failed!"));
}

TEST_F(WindowPaint, StatusExpiresOnScreenAfter25SecondsOfRunningFlight) {
  gf_postStatus("RealTraffic detected at this PC");
  idle();
  const auto painted = gui::inspect::paintCount(window);
  EXPECT_TRUE(drewText("RealTraffic detected at this PC"));
  for (int i = 0; i < 25; ++i) gf_statusSecond();
  idle();
  EXPECT_EQ(gui::inspect::paintCount(window), painted);  // nothing changed yet
  gf_statusSecond();
  idle();
  EXPECT_GT(gui::inspect::paintCount(window), painted);
  EXPECT_FALSE(drewText("RealTraffic detected at this PC"));
}

TEST_F(WindowPaint, StatusFromAnotherThreadRepaintsOnlyTheStatusBand) {
  liveryCount.store(99);  // changed without invalidating its band
  onRunThread([] { gf_postStatus("from the run thread"); });
  EXPECT_TRUE(drewText("from the run thread"));
  EXPECT_NE(pixel(5, 100), lime);  // the counters band on screen still shows the old picture
  gf_invalidateBand(countersBand);
  idle();
  bool limeSeen = false;
  for (int x = 5; x < 120 && !limeSeen; ++x)
    for (int y = 91; y < 105 && !limeSeen; ++y) limeSeen = pixel(x, y) == lime;
  EXPECT_TRUE(limeSeen);
}

TEST_F(WindowPaint, TextThatIsNotUtf8DrawsNothingAndIsLoggedOnce) {
  mainWindow.simConnected.store(true);
  mainWindow.simulatorText.store("P3D \xff broken");
  mainWindow.aircraftText.store("Boeing 737");
  repaint();
  EXPECT_TRUE(drewText("Boeing 737"));
  for (const auto& text : drawnTexts()) EXPECT_EQ(text.find("broken"), std::string::npos);
  const std::string logged = log.text();
  const std::string line = "TextOut utf8  to wide failed for 'P3D \xff broken': ";
  EXPECT_NE(logged.find(line), std::string::npos);
  EXPECT_EQ(logged.find(line), logged.rfind(line));
}

TEST_F(WindowPaint, PictureIsWrittenAsPng) {
  lf_initControlValues();
  mainWindow.simConnected.store(true);
  mainWindow.simRunningShown.store(true);
  mainWindow.simulatorText.store("Prepar3D v5.4");
  mainWindow.aircraftText.store("Boeing 737-800 KLM PH-BXA");
  liveryCount.store(3120);
  mainWindow.linkBoxDark.store(false);
  realTrafficDisplay.realTrafficLinked.store(true);
  realTrafficDisplay.trafficLamp.store(lampReceiving);
  realTrafficDisplay.qnhLamp.store(lampReceiving);
  realTrafficDisplay.qnhValue.store(1013);
  gf_postStatus("RealTraffic detected at this PC");
  repaint();

  const auto file = dir / "main_window.png";
  ASSERT_TRUE(gui::inspect::savePng(window, file, true));
  std::ifstream in(file, std::ios::binary);
  std::string head(24, '\0');
  in.read(head.data(), 24);
  EXPECT_EQ(head.substr(0, 8), "\x89PNG\r\n\x1a\n");
  auto big = [&head](int at) {
    return (static_cast<unsigned char>(head[at]) << 24) | (static_cast<unsigned char>(head[at + 1]) << 16) |
           (static_cast<unsigned char>(head[at + 2]) << 8) | static_cast<unsigned char>(head[at + 3]);
  };
  EXPECT_EQ(big(16), 880);
  EXPECT_EQ(big(20), 516);
#ifdef WDRX_WINDOW_PNG
  gui::inspect::savePng(window, WDRX_WINDOW_PNG, true);  // for a person to look at
#endif
}

TEST_F(WindowPaint, TheTerminalIsToldEachStatusChangeAndTheCounters) {
  const std::string detected = "RealTraffic detected at this PC";
  struct Case {
    const char* what;
    std::function<void()> changes;
    std::vector<std::string> told;  // after the time of day
  };
  const Case cases[] = {
      {"a repeat is no change; an error comes and goes",
       [&] {
         gf_postStatus(detected);
         gf_postStatus(detected);
         gf_postError("input/dbase.enc not available");
         gf_clearError();
       },
       {"status: " + detected, "status: (none)", "error: input/dbase.enc not available",
        "error line cleared"}},
      {"a cleared status",
       [] {
         gf_postStatus("Calculating static parked aircraft ...");
         gf_clearStatus();
       },
       {"status: Calculating static parked aircraft ...", "status: (none)"}},
      {"the same text after it expired",
       [&] {
         gf_postStatus(detected);
         for (int i = 0; i < 26; ++i) gf_statusSecond();
         gf_postStatus(detected);
       },
       {"status: " + detected, "status: (none)", "status: " + detected}},
  };
  for (const Case& c : cases) {
    gf_resetStatusLine();  // told as well: the case starts from an empty line
    testing::internal::CaptureStderr();
    c.changes();
    std::istringstream told(testing::internal::GetCapturedStderr());
    std::vector<std::string> lines;
    for (std::string line; std::getline(told, line);) {
      EXPECT_TRUE(std::regex_match(line.substr(0, 9), std::regex("\\d\\d:\\d\\d:\\d\\d "))) << line;
      line.erase(0, 9);
      if (!line.starts_with("state: ")) lines.push_back(line);  // the 5 s timer on a slow run
    }
    EXPECT_EQ(lines, c.told) << c.what;
  }

  WindowSnapshot values;
  EXPECT_EQ(lf_stateLine(values), "state: Sim red, Traffic off, QNH -, live 0, liveries 0");
  values.simConnected = true;
  values.simulatorText = "Prepar3D v5.4";
  values.realTrafficLinked = true;
  values.trafficLamp = lampSilent;
  EXPECT_EQ(lf_stateLine(values), "state: Sim yellow (Prepar3D v5.4), Traffic yellow, QNH -, live 0, liveries 0");
  values.simRunningShown = true;
  values.aircraftText = "Boeing 737-800 KLM";
  values.trafficLamp = lampReceiving;
  values.qnhLamp = lampReceiving;
  values.qnhValue = 1013;
  values.liveCount = 3;
  values.liveryCount = 3;
  EXPECT_EQ(lf_stateLine(values), "state: Sim green (Prepar3D v5.4), Traffic green, QNH 1013, live 3, liveries 3");
}

class WindowPicture : public WindowTest {
 protected:
  WindowPicture() { startWindowInSetUp = false; }
  ~WindowPicture() override { wdrx::testing::unsetEnv("WDRX_WINDOW_PNG"); }
};

TEST_F(WindowPicture, IsRefreshedWhileTheProgramRuns) {
  const std::filesystem::path file = dir.path() / "window.png";
  wdrx::testing::setEnvPath("WDRX_WINDOW_PNG", file);
  startWindow();
  for (const char* status : {"first", "second"}) {
    gf_postStatus(status);
    idle();
    std::filesystem::remove(file);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(std::filesystem::exists(file)) << status;
  }
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".part"));
  EXPECT_EQ(log.text().find("could not be saved"), std::string::npos) << log.text();
}

}  // namespace
