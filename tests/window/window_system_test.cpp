// The headless window system itself: the queue of the GUI thread, painting through a memory
// picture, and the combo box.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/window_system.hpp"

namespace gui = platform::gui;

namespace {

constexpr std::uint32_t fillMessage = gui::msg::app + 5;
constexpr std::uint32_t quitMessage = gui::msg::app + 6;
constexpr std::uint32_t holdMessage = gui::msg::app + 7;  // holds the GUI thread until released

std::mutex holdMutex;
std::condition_variable holdChanged;
bool holding = false;
bool held = false;

std::mutex seenMutex;
std::vector<gui::WParam> seen;
std::atomic<int> paints{0};
constexpr std::uint32_t timerMessage = gui::msg::app + 8;  // wParam 1: set timer 42, 0: kill it
std::condition_variable timerChanged;
std::vector<gui::WParam> timerIds;  // under seenMutex
std::vector<bool> timerResults;     // under seenMutex
gui::Rect paintFill{0, 0, 100, 100};

gui::MessageResult testProc(gui::WindowHandle window, std::uint32_t message, gui::WParam wParam,
                            gui::LParam lParam) {
  switch (message) {
    case fillMessage: {
      std::lock_guard lock(seenMutex);
      seen.push_back(wParam);
      return 0;
    }
    case quitMessage:
      gui::postQuitMessage(static_cast<std::int32_t>(wParam));
      return 0;
    case timerMessage: {  // timers belong to the window's thread
      const bool done = wParam == 1 ? gui::setTimer(window, 42, std::chrono::milliseconds(5))
                                    : gui::killTimer(window, 42);
      std::lock_guard lock(seenMutex);
      timerResults.push_back(done);
      return 0;
    }
    case gui::msg::timer: {
      std::lock_guard lock(seenMutex);
      timerIds.push_back(wParam);
      timerChanged.notify_all();
      return 0;
    }
    case holdMessage: {
      std::unique_lock lock(holdMutex);
      held = true;
      holdChanged.notify_all();
      holdChanged.wait_for(lock, std::chrono::seconds(10), [] { return !holding; });
      return 0;
    }
    case gui::msg::paint: {
      ++paints;
      gui::PaintHandle dc = gui::beginPaint(window);
      {
        gui::MemoryPicture picture(dc, 100, 100);
        picture.fillRect(paintFill, {255, 0, 0});
        picture.line({10, 5}, {20, 5}, {255, 255, 255});
        picture.line({20, 7}, {10, 7}, {255, 255, 255});
        picture.line({30, 10}, {30, 20}, {255, 255, 255});
        picture.text(40, 40, u"HHHH", {50, 205, 50});
        picture.copyTo(dc);
      }
      gui::endPaint(window, dc);
      return 0;
    }
    default:
      return gui::defWindowProc(window, message, wParam, lParam);
  }
}

// A window of its own class on a GUI thread of its own.
class TestWindow {
 public:
  explicit TestWindow(const std::u16string& className) {
    std::promise<gui::WindowHandle> created;
    thread_ = std::thread([&] {
      gui::registerWindowClass(className, testProc);
      gui::WindowHandle window = gui::createMainWindow(className, u"test", 0, 0, 100, 100, nullptr);
      gui::showWindow(window);
      created.set_value(window);
      gui::Message message;
      while (gui::getMessage(message)) gui::dispatchMessage(message);
      exitCode = static_cast<std::int32_t>(message.wParam);
    });
    window = created.get_future().get();
  }
  ~TestWindow() {
    if (thread_.joinable()) {
      gui::postMessage(window, quitMessage, 0, 0);
      thread_.join();
    }
  }
  void quit(std::int32_t code) {
    gui::postMessage(window, quitMessage, static_cast<gui::WParam>(code), 0);
    thread_.join();
  }
  gui::WindowHandle window = nullptr;
  std::int32_t exitCode = -1;

 private:
  std::thread thread_;
};

TEST(WindowSystem, PostedMessagesArriveInOrderFromManyThreadsAndQuitCarriesItsCode) {
  {
    std::lock_guard lock(seenMutex);
    seen.clear();
  }
  TestWindow test(u"queue");
  ASSERT_NE(test.window, nullptr);
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&test, t] {
      for (int i = 0; i < 250; ++i)
        gui::postMessage(test.window, fillMessage, static_cast<gui::WParam>(t * 1000 + i), 0);
    });
  }
  for (auto& poster : posters) poster.join();
  ASSERT_TRUE(gui::inspect::waitIdle(test.window, std::chrono::seconds(10)));
  test.quit(7);
  EXPECT_EQ(test.exitCode, 7);
  std::lock_guard lock(seenMutex);
  ASSERT_EQ(seen.size(), 1000u);
  for (int t = 0; t < 4; ++t) {  // each thread's messages keep their order
    gui::WParam last = 0;
    bool first = true;
    for (gui::WParam value : seen) {
      if (value / 1000 != static_cast<gui::WParam>(t)) continue;
      if (!first) {
        EXPECT_EQ(value, last + 1);
      }
      last = value;
      first = false;
    }
  }
}

TEST(WindowSystem, TimersComeAgainAndAgainWithTheirIdUntilKilled) {
  TestWindow test(u"timers");
  ASSERT_NE(test.window, nullptr);
  gui::postMessage(test.window, timerMessage, 1, 0);
  {
    std::unique_lock lock(seenMutex);
    ASSERT_TRUE(timerChanged.wait_for(lock, std::chrono::seconds(10), [] { return timerIds.size() >= 3; }));
    EXPECT_EQ(std::count(timerIds.begin(), timerIds.end(), 42u), static_cast<std::ptrdiff_t>(timerIds.size()));
  }
  gui::postMessage(test.window, timerMessage, 0, 0);
  gui::postMessage(test.window, timerMessage, 0, 0);  // no longer there
  ASSERT_TRUE(gui::inspect::waitIdle(test.window, std::chrono::seconds(10)));
  std::lock_guard lock(seenMutex);
  EXPECT_EQ(timerResults, (std::vector<bool>{true, true, false}));
}

TEST(WindowSystem, PaintingIsClippedToTheUpdateRegionAndLinesLeaveOutTheirEndPoint) {
  TestWindow test(u"paint");
  ASSERT_TRUE(gui::inspect::waitIdle(test.window, std::chrono::seconds(10)));
  EXPECT_EQ(gui::inspect::pixel(test.window, 90, 90), (gui::Colour{255, 0, 0}));
  EXPECT_EQ(gui::inspect::pixel(test.window, 10, 5), (gui::Colour{255, 255, 255}));
  EXPECT_EQ(gui::inspect::pixel(test.window, 19, 5), (gui::Colour{255, 255, 255}));
  EXPECT_EQ(gui::inspect::pixel(test.window, 20, 5), (gui::Colour{255, 0, 0}));
  EXPECT_EQ(gui::inspect::pixel(test.window, 20, 7), (gui::Colour{255, 255, 255}));
  EXPECT_EQ(gui::inspect::pixel(test.window, 10, 7), (gui::Colour{255, 0, 0}));
  EXPECT_EQ(gui::inspect::pixel(test.window, 30, 19), (gui::Colour{255, 255, 255}));
  EXPECT_EQ(gui::inspect::pixel(test.window, 30, 20), (gui::Colour{255, 0, 0}));

  // Text pixels have exactly the text colour.
  int textPixels = 0;
  for (int x = 40; x < 80; ++x) {
    for (int y = 40; y < 60; ++y) {
      const auto colour = *gui::inspect::pixel(test.window, x, y);
      if (colour == gui::Colour{255, 0, 0}) continue;
      EXPECT_EQ(colour, (gui::Colour{50, 205, 50})) << x << "," << y;
      ++textPixels;
    }
  }
  EXPECT_GT(textPixels, 20);

  const int before = paints.load();
  paintFill = {0, 0, 0, 0};  // the next picture leaves the red out
  const gui::Rect small{60, 60, 70, 70};
  {
    // Both invalidations come while the GUI thread is busy: they make one paint.
    std::unique_lock lock(holdMutex);
    holding = true;
    held = false;
    gui::postMessage(test.window, holdMessage, 0, 0);
    ASSERT_TRUE(holdChanged.wait_for(lock, std::chrono::seconds(10), [] { return held; }));
    gui::invalidateRect(test.window, &small, false);
    gui::invalidateRect(test.window, &small, false);
    holding = false;
    holdChanged.notify_all();
  }
  ASSERT_TRUE(gui::inspect::waitIdle(test.window, std::chrono::seconds(10)));
  EXPECT_EQ(paints.load(), before + 1);  // two invalidations, one paint
  EXPECT_EQ(gui::inspect::pixel(test.window, 65, 65), (gui::Colour{0, 0, 0}));
  EXPECT_EQ(gui::inspect::pixel(test.window, 59, 65), (gui::Colour{255, 0, 0}));
  EXPECT_EQ(gui::inspect::pixel(test.window, 70, 65), (gui::Colour{255, 0, 0}));
  paintFill = {0, 0, 100, 100};
}

TEST(WindowSystem, ComboBoxItemsSelectionAndLongTexts) {
  TestWindow test(u"combo");
  gui::WindowHandle combo =
      gui::createControl(test.window, gui::ControlKind::comboBox, 7, u"", {0, 0, 50, 100});
  ASSERT_EQ(gui::controlById(test.window, 7), combo);
  EXPECT_EQ(gui::comboSelection(combo), -1);
  const std::u16string longItem(300, u'x');
  for (const std::u16string& item : {std::u16string(u"alpha"), std::u16string(u"Beta"), longItem})
    gui::comboAdd(combo, item);
  EXPECT_EQ(gui::comboCount(combo), 3);
  EXPECT_EQ(gui::comboSelectPrefix(combo, u"bE"), 1);
  EXPECT_EQ(gui::comboSelection(combo), 1);
  EXPECT_EQ(gui::comboSelectPrefix(combo, u"gamma"), -1);
  EXPECT_EQ(gui::comboSelection(combo), 1);  // unchanged
  EXPECT_EQ(gui::comboItemText(combo, 2), longItem);
  EXPECT_FALSE(gui::comboItemText(combo, 3).has_value());
  EXPECT_FALSE(gui::comboItemText(combo, -1).has_value());
  EXPECT_FALSE(gui::comboSelectIndex(combo, 3));
  EXPECT_EQ(gui::comboSelection(combo), -1);
  gui::comboReset(combo);
  EXPECT_EQ(gui::comboCount(combo), 0);

  gui::WindowHandle button =
      gui::createControl(test.window, gui::ControlKind::button, 8, u"Go", {0, 0, 10, 10});
  gui::checkButton(test.window, 8, true);  // push buttons never report checked
  EXPECT_EQ(gui::isButtonChecked(test.window, 8), 0u);
  gui::enableWindow(button, false);
  EXPECT_FALSE(gui::inspect::click(button));  // a disabled control takes no input
}

}  // namespace
