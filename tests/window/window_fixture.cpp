#include "window_fixture.hpp"

#include <algorithm>
#include <chrono>
#include <future>

#include "airports/airport_db.hpp"
#include "config/settings.hpp"
#include "foundation/format.hpp"
#include "foundation/paths.hpp"
#include "foundation/text.hpp"
#include "liveries/livery_data.hpp"
#include "parking/addon_scan.hpp"
#include "parking/apf_state.hpp"
#include "records/engine_tables.hpp"
#include "runstate/main_window_state.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "traffic/link_state.hpp"
#include "window/window_controls.hpp"

namespace gui = platform::gui;

namespace wdrx::testing {

namespace {
template <typename List>
void lf_defaults(const List& list) {
  for (auto* parameter : list)
    if (parameter != nullptr) parameter->value.store(parameter->defaultValue);
}
}  // namespace

void resetWindowState() {
  lf_defaults(boolParameters);
  lf_defaults(checkBoxParameters);
  lf_defaults(intParameters);
  lf_defaults(comboBoxParameters);
  lf_defaults(stringParameters);
  lf_defaults(editParameters);
  for (EditParameter* edit : {&ALL_INSTALL_PATH, static_cast<EditParameter*>(&CALLSIGN_2_OBJECTID)})
    edit->value.store(edit->defaultValue);
  parking_percentage.value.store(parking_percentage.defaultValue);
  AMAX_FIT_FL.value.store(AMAX_FIT_FL.defaultValue);
  rangeNm.store(RANGE.defaultValue);
  rangeMeters.store(static_cast<std::uint32_t>(RANGE.defaultValue) * 1852u);
  savedRange.store(-1);
  {
    std::lock_guard lock(liveCallsignsMutex);
    liveCallsigns->clear();
  }

  MainWindow& w = mainWindow;
  for (SharedText* text : {&w.aircraftText, &w.parkAirportName, &w.simulatorText, &w.userStandName,
                            &w.reservedStandName, &airportBandPublisher, &airportBandQuality})
    text->store({});
  w.parkAirportCode.store(IcaoCode{});
  w.staticAverageFit.store(-1.0f);
  w.liveAverageFit.store(-1.0f);
  for (auto* count : {&w.liveCount, &w.parkedLiveCount, &w.staticCount, &w.staticWaitingCount})
    count->store(0);
  w.simaddonCount.store(0);
  w.thirdpCount.store(0);
  w.airportRowY.store(399);
  for (auto* number : {&w.maxParkPercent, &w.maxParkCount, &w.renewalCountdown, &rtTrafficWeek,
                       &liveryCount})
    number->store(0);
  w.updateCount.store(0);
  standCount.store(0);
  tbloFileCount.store(0);
  meanParkedSlots.store(0.0f);
  for (auto* flag : {&w.parkAirportLoaded, &w.simConnected, &w.simRunningShown, &w.parkSoftMark,
                     &w.parkWeekMark, &w.reservedStandFound, &airportBandHandmade})
    flag->store(false);
  w.linkBoxDark.store(true);
  w.wingSpanKnown.store(true);

  realTrafficDisplay.trafficLamp.store(lampHidden);
  realTrafficDisplay.qnhLamp.store(lampHidden);
  realTrafficDisplay.qnhValue.store(0);
  realTrafficDisplay.realTrafficLinked.store(false);
  realTrafficDisplay.setRealTrafficText({});
  awaitingRealTraffic.store(true);
  {
    std::lock_guard lock(statusLine.statusMutex);
    statusLine.statusText.clear();
    statusLine.errorText.clear();
    statusLine.statusClock = 0;
    statusLine.statusSetAt = 0;
  }

  runStopRequested.store(false);
  closeRequested.store(false);
  exitReason.store(ExitReason::NotYetSet);
  restartDelay.store(0);
  runSeconds.store(0);
  exitCode.store(0);
  for (auto* flag : {&parkingUpdateBusy, &parkingUpdateRequested, &staticParkingActive,
                     &nowButtonAllowed, &rereadRequested, &flushStaticRequested,
                     &callsignListRequested, &blockRequested, &matchingDepthRaised,
                     &navLightsRequested, &liveLimitRequested, &rangeModeRequested,
                     &liveryResetRequested})
    flag->store(false);
  parkingCountdown.store(20);
  gf_serveWindowRequests();  // drops park-airport requests of an earlier test (no hooks yet)
  resetAirports();
}

void HookRecorder::push(std::string call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

std::vector<std::string> HookRecorder::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

bool HookRecorder::saw(const std::string& call) const {
  const auto all = calls();
  return std::find(all.begin(), all.end(), call) != all.end();
}

void HookRecorder::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void WindowTest::SetUp() {
  std::filesystem::create_directories(dataFolder);
  windowServices = {};
  resetWindowState();
  if (startWindowInSetUp) startWindow();
}

void WindowTest::TearDown() {
  stopWindow();
  windowServices = {};
}

void WindowTest::startWindow() {
  std::promise<gui::WindowHandle> created;
  auto future = created.get_future();
  guiThread_ = std::thread([this, &created] {
    gf_registerMainWindowClass(u"Wendrix_P3D");
    if (!gf_createMainWindow()) {
      created.set_value(nullptr);
      return;
    }
    created.set_value(static_cast<gui::WindowHandle>(mainWindow.windowHandle.load()));
    loopResult.store(gf_runMessageLoop());
  });
  window = future.get();
  ASSERT_NE(window, nullptr);
  idle();
}

void WindowTest::stopWindow() {
  if (!guiThread_.joinable()) return;
  // The program's own way out of the loop; the window goes afterwards.
  if (loopResult.load() == -100) gui::postMessage(window, WM_APP_QUIT, 0, 0);
  guiThread_.join();
  if (runThread.joinable()) runThread.join();
  if (gui::isWindow(window)) gf_destroyMainWindow();  // the loop had ended before
}

void WindowTest::idle() {
  ASSERT_TRUE(gui::inspect::waitIdle(window, std::chrono::seconds(10)));
}

void WindowTest::onRunThread(const std::function<void()>& work) {
  std::thread run(work);
  run.join();
  idle();
}

void WindowTest::repaint() {
  gui::invalidateRect(window, nullptr, false);
  idle();
}

gui::WindowHandle WindowTest::handle(const ParameterControl& control) const {
  return static_cast<gui::WindowHandle>(control.hwnd);
}

gui::inspect::ControlInfo WindowTest::info(const ParameterControl& control) const {
  auto found = gui::inspect::control(handle(control));
  EXPECT_TRUE(found.has_value()) << control.controlId;
  return found.value_or(gui::inspect::ControlInfo{});
}

void WindowTest::click(const ParameterControl& control) {
  ASSERT_TRUE(gui::inspect::click(handle(control))) << control.controlId;
  idle();
}

void WindowTest::choose(const ParameterControl& control, int index) {
  ASSERT_TRUE(gui::inspect::choose(handle(control), index)) << control.controlId;
  idle();
}

void WindowTest::choose(const ParameterControl& control, const std::u16string& item) {
  const auto items = info(control).items;
  const auto found = std::find(items.begin(), items.end(), item);
  ASSERT_NE(found, items.end());
  choose(control, static_cast<int>(found - items.begin()));
}

void WindowTest::type(const ParameterControl& control, const std::u16string& keys) {
  ASSERT_TRUE(gui::inspect::type(handle(control), keys)) << control.controlId;
  idle();
}

void WindowTest::post(std::uint32_t message, gui::WParam wParam) {
  ASSERT_TRUE(gui::postMessage(window, message, wParam, 0));
  idle();
}

std::string WindowTest::statusText() const { return gf_statusSnapshot().statusText; }

std::vector<std::string> WindowTest::drawnTexts() const {
  std::vector<std::string> texts;
  for (const auto& call : gui::inspect::lastDrawCalls(window)) {
    if (call.kind != gui::DrawCall::Kind::text) continue;
    texts.push_back(wdrx::format("{},{} {},{},{} {}", call.rect.left, call.rect.top, call.colour.r,
                                 call.colour.g, call.colour.b, call.text));
  }
  return texts;
}

bool WindowTest::drew(std::int32_t x, std::int32_t y, const std::string& text,
                      gui::Colour colour) const {
  const auto texts = drawnTexts();
  const std::string wanted =
      wdrx::format("{},{} {},{},{} {}", x, y, colour.r, colour.g, colour.b, text);
  return std::find(texts.begin(), texts.end(), wanted) != texts.end();
}

bool WindowTest::drewText(const std::string& text) const {
  for (const auto& call : gui::inspect::lastDrawCalls(window))
    if (call.kind == gui::DrawCall::Kind::text && call.text == text) return true;
  return false;
}

gui::Colour WindowTest::pixel(std::int32_t x, std::int32_t y) const {
  return gui::inspect::pixel(window, x, y).value_or(gui::Colour{1, 2, 3});
}

}  // namespace wdrx::testing

// fontconfig, which cairo loads for the window's text, keeps a few allocations of its
// configuration without a reference LeakSanitizer can follow; they are not the program's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
