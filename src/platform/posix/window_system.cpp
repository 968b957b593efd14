// The headless window system: windows and controls kept in memory, one message queue per
// thread that creates windows, and pictures painted with cairo into each window's own image.
#include "platform/window_system.hpp"

#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "platform/utf.hpp"

namespace platform::gui {

namespace {

struct ThreadQueue {
  std::deque<Message> posted;
  bool quit = false;
  std::int32_t quitCode = 0;
  bool waiting = false;  // the owner sits in getMessage with nothing to hand out
  std::condition_variable wake;
  std::vector<WindowObject*> windows;  // top-level windows of the thread
};

}  // namespace

struct WindowObject {
  ~WindowObject() {
    if (screen != nullptr) cairo_surface_destroy(screen);
  }

  bool alive = true;
  bool topLevel = false;
  WindowObject* parent = nullptr;
  std::thread::id owner;
  std::shared_ptr<ThreadQueue> queue;
  WindowProc proc = nullptr;

  // Controls.
  ControlKind kind = ControlKind::button;
  std::uint16_t id = 0;
  std::u16string text;
  bool enabled = true;
  bool checked = false;
  std::vector<std::u16string> items;
  std::int32_t selection = -1;
  std::vector<WindowObject*> children;

  // Position: screen coordinates for a top-level window, the parent's client coordinates for
  // a control.
  Rect rect;

  // Top-level windows: the client picture, the update region and what was painted.
  cairo_surface_t* screen = nullptr;
  Rect update;
  bool updatePending = false;
  bool erasePending = false;
  std::vector<DrawCall> lastCalls;
  std::uint64_t paints = 0;
  bool topmost = false;
  std::int32_t showCommand = 1;
  Rect normalPosition;

  struct Timer {
    std::uintptr_t id = 0;
    std::chrono::milliseconds interval{};
    std::chrono::steady_clock::time_point due;
  };
  std::vector<Timer> timers;
};

struct PaintContext {
  WindowObject* window = nullptr;
  Rect clip;
};

namespace {

// One lock for all windows; window procedures are never called while it is held.
std::mutex windowMutex;
std::condition_variable idleChanged;
std::vector<std::unique_ptr<WindowObject>> allWindows;  // kept to process end: stale handles stay safe
std::unordered_set<WindowObject*> liveWindows;
std::map<std::u16string, WindowProc> windowClasses;
std::map<std::thread::id, std::shared_ptr<ThreadQueue>> threadQueues;
std::optional<Rect> monitorWorkArea = Rect{0, 0, 1920, 1040};
std::atomic<std::uint64_t> foreignChanges{0};

bool lf_alive(WindowHandle window) { return window != nullptr && liveWindows.count(window) != 0; }

// A thread's queue goes with the thread (windows keep theirs alive), so that a later thread
// with the same id starts with an empty one.
struct QueueRelease {
  ~QueueRelease() {
    std::lock_guard lock(windowMutex);
    threadQueues.erase(std::this_thread::get_id());
  }
};

// Called with windowMutex held.
std::shared_ptr<ThreadQueue> lf_queueOfThisThread() {
  thread_local QueueRelease release;
  auto& queue = threadQueues[std::this_thread::get_id()];
  if (!queue) queue = std::make_shared<ThreadQueue>();
  return queue;
}

// A change of a control's state: counted when it comes from a thread other than the owner's.
void lf_noteChange(const WindowObject* window) {
  if (window->owner != std::this_thread::get_id()) foreignChanges.fetch_add(1);
}

Rect lf_intersect(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

Rect lf_union(const Rect& a, const Rect& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

Rect lf_clientRect(const WindowObject* window) {
  return {0, 0, window->rect.width(), window->rect.height()};
}

void lf_setColour(cairo_t* cr, Colour colour) {
  cairo_set_source_rgb(cr, colour.r / 255.0, colour.g / 255.0, colour.b / 255.0);
}

// Text as the default DC font draws it: its cell's top-left corner at (x, y), no smoothing,
// so that every pixel of a glyph has the text colour.
void lf_prepareFont(cairo_t* cr) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12.0);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

void lf_drawText(cairo_t* cr, std::int32_t x, std::int32_t y, const std::string& text,
                 Colour colour) {
  cairo_font_extents_t extents;
  cairo_font_extents(cr, &extents);
  lf_setColour(cr, colour);
  cairo_move_to(cr, x, y + extents.ascent);
  cairo_show_text(cr, text.c_str());
  cairo_new_path(cr);
}

void lf_fill(cairo_t* cr, const Rect& rect, Colour colour) {
  if (rect.empty()) return;
  lf_setColour(cr, colour);
  cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
  cairo_fill(cr);
}

// A 1-pixel line without its end point, as LineTo draws it.
void lf_drawLine(cairo_t* cr, Point from, Point to, Colour colour) {
  if (from.y == to.y) {
    if (from.x <= to.x) {
      lf_fill(cr, {from.x, from.y, to.x, from.y + 1}, colour);
    } else {
      lf_fill(cr, {to.x + 1, from.y, from.x + 1, from.y + 1}, colour);
    }
  } else if (from.x == to.x) {
    if (from.y <= to.y) {
      lf_fill(cr, {from.x, from.y, from.x + 1, to.y}, colour);
    } else {
      lf_fill(cr, {from.x, to.y + 1, from.x + 1, from.y + 1}, colour);
    }
  } else {
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, 1.0);
    lf_setColour(cr, colour);
    cairo_move_to(cr, from.x + 0.5, from.y + 0.5);
    cairo_line_to(cr, to.x + 0.5, to.y + 0.5);
    cairo_stroke(cr);
    cairo_restore(cr);
  }
}

std::string lf_utf8(std::u16string_view text) { return utf16ToUtf8Replacing(text); }

// Called with windowMutex held.
inspect::ControlInfo lf_controlInfo(const WindowObject& c) {
  return {c.kind, c.id, c.rect, c.enabled, c.checked, c.text, c.items, c.selection};
}

// The controls as a plain desktop theme would show them, for pictures a person looks at.
void lf_drawControl(cairo_t* cr, const inspect::ControlInfo& c) {
  const Colour face{240, 240, 240};
  const Colour white{255, 255, 255};
  const Colour border{122, 122, 122};
  const Colour ink = c.enabled ? Colour{0, 0, 0} : Colour{160, 160, 160};
  const Rect& r = c.rect;
  auto frame = [&](const Rect& box, Colour fill) {
    lf_fill(cr, box, border);
    lf_fill(cr, {box.left + 1, box.top + 1, box.right - 1, box.bottom - 1}, fill);
  };
  switch (c.kind) {
    case ControlKind::button: {
      frame(r, face);
      cairo_text_extents_t extents;
      const std::string caption = lf_utf8(c.text);
      cairo_text_extents(cr, caption.c_str(), &extents);
      const auto x = r.left + static_cast<std::int32_t>((r.width() - extents.x_advance) / 2);
      lf_drawText(cr, x, r.top + 3, caption, ink);
      break;
    }
    case ControlKind::checkBox:
      frame(r, c.enabled ? white : face);
      if (c.checked) {
        lf_drawLine(cr, {r.left + 3, r.top + 6}, {r.left + 5, r.top + 9}, ink);
        lf_drawLine(cr, {r.left + 5, r.top + 9}, {r.left + 10, r.top + 2}, ink);
      }
      break;
    case ControlKind::comboBox: {
      const Rect box{r.left, r.top, r.right, r.top + 21};
      frame(box, c.enabled ? white : face);
      lf_fill(cr, {box.right - 17, box.top + 1, box.right - 1, box.bottom - 1}, face);
      lf_drawLine(cr, {box.right - 12, box.top + 9}, {box.right - 5, box.top + 9}, ink);
      lf_drawLine(cr, {box.right - 11, box.top + 10}, {box.right - 6, box.top + 10}, ink);
      lf_drawLine(cr, {box.right - 10, box.top + 11}, {box.right - 7, box.top + 11}, ink);
      if (c.selection >= 0 && c.selection < static_cast<std::int32_t>(c.items.size())) {
        cairo_save(cr);
        cairo_rectangle(cr, box.left + 1, box.top, box.width() - 18, box.height());
        cairo_clip(cr);
        lf_drawText(cr, box.left + 3, box.top + 4, lf_utf8(c.items[c.selection]), ink);
        cairo_restore(cr);
      }
      break;
    }
    case ControlKind::edit:
      frame(r, c.enabled ? white : face);
      cairo_save(cr);
      cairo_rectangle(cr, r.left + 1, r.top, r.width() - 2, r.height());
      cairo_clip(cr);
      lf_drawText(cr, r.left + 2, r.top + 1, lf_utf8(c.text), ink);
      cairo_restore(cr);
      break;
  }
}

// The built-in behaviour of the controls: an edit box takes typed characters.
MessageResult lf_controlProc(WindowHandle window, std::uint32_t message, WParam wParam, LParam) {
  if (message != msg::character) return 0;
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window) || window->kind != ControlKind::edit) return 0;
  if (wParam == 8) {
    if (!window->text.empty()) window->text.pop_back();
  } else if (wParam >= 32) {
    window->text.push_back(static_cast<char16_t>(wParam));
  }
  return 0;
}

WindowObject* lf_newWindow() {
  allWindows.push_back(std::make_unique<WindowObject>());
  WindowObject* window = allWindows.back().get();
  liveWindows.insert(window);
  window->owner = std::this_thread::get_id();
  return window;
}

void lf_markDead(WindowObject* window) {
  window->alive = false;
  window->timers.clear();
  liveWindows.erase(window);
  for (WindowObject* child : window->children) lf_markDead(child);
  if (window->queue) {
    auto& list = window->queue->windows;
    list.erase(std::remove(list.begin(), list.end(), window), list.end());
  }
}

}  // namespace

// ---------------------------------------------------------------- the main window

bool registerWindowClass(const std::u16string& className, WindowProc proc) {
  std::lock_guard lock(windowMutex);
  if (proc == nullptr || windowClasses.count(className) != 0) return false;
  windowClasses[className] = proc;
  return true;
}

WindowHandle createMainWindow(const std::u16string& className, const std::u16string& title,
                              std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height, void* createData) {
  WindowObject* window = nullptr;
  WindowProc proc = nullptr;
  {
    std::lock_guard lock(windowMutex);
    const auto found = windowClasses.find(className);
    if (found == windowClasses.end() || width <= 0 || height <= 0) return nullptr;
    proc = found->second;
    window = lf_newWindow();
    window->topLevel = true;
    window->proc = proc;
    window->text = title;
    window->rect = {x, y, x + width, y + height};
    window->normalPosition = window->rect;
    window->queue = lf_queueOfThisThread();
    window->queue->windows.push_back(window);
    window->screen = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  }
  if (proc(window, msg::create, 0, reinterpret_cast<LParam>(createData)) == -1) {
    destroyWindow(window);
    return nullptr;
  }
  return window;
}

void showWindow(WindowHandle window) {
  bool paintNow = false;
  {
    std::lock_guard lock(windowMutex);
    if (!lf_alive(window)) return;
    window->update = lf_clientRect(window);
    window->updatePending = true;
    window->erasePending = true;
    paintNow = window->owner == std::this_thread::get_id();
  }
  if (paintNow) dispatchMessage({window, msg::paint, 0, 0});  // UpdateWindow
}

bool isWindow(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  return lf_alive(window);
}

bool destroyWindow(WindowHandle window) {
  WindowProc proc = nullptr;
  {
    std::lock_guard lock(windowMutex);
    if (!lf_alive(window)) return false;
    proc = window->proc;
  }
  if (proc != nullptr) proc(window, msg::destroy, 0, 0);
  std::lock_guard lock(windowMutex);
  if (lf_alive(window)) {
    if (window->parent != nullptr) {
      auto& siblings = window->parent->children;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    }
    lf_markDead(window);
  }
  idleChanged.notify_all();
  return true;
}

bool windowThreadIsCurrent(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  return lf_alive(window) && window->owner == std::this_thread::get_id();
}

std::optional<Rect> windowRect(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window)) return std::nullopt;
  Rect rect = window->rect;
  if (window->parent != nullptr) {
    rect.left += window->parent->rect.left;
    rect.right += window->parent->rect.left;
    rect.top += window->parent->rect.top;
    rect.bottom += window->parent->rect.top;
  }
  return rect;
}

std::optional<Placement> windowPlacement(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window) || !window->topLevel) return std::nullopt;
  return Placement{window->showCommand,
                   window->showCommand == 1 ? window->rect : window->normalPosition};
}

bool moveWindow(WindowHandle window, std::int32_t x, std::int32_t y) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window)) return false;
  const std::int32_t width = window->rect.width();
  const std::int32_t height = window->rect.height();
  window->rect = {x, y, x + width, y + height};
  return true;
}

bool setTopmost(WindowHandle window, bool topmost) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window)) return false;
  window->topmost = topmost;
  return true;
}

std::optional<Rect> workAreaNearest(const Rect&) {
  std::lock_guard lock(windowMutex);
  return monitorWorkArea;
}

// ---------------------------------------------------------------- the message queue

bool postMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window)) return false;
  window->queue->posted.push_back({window, message, wParam, lParam});
  window->queue->wake.notify_all();
  return true;
}

bool getMessage(Message& message) {
  std::unique_lock lock(windowMutex);
  const std::shared_ptr<ThreadQueue> queue = lf_queueOfThisThread();
  for (;;) {
    while (!queue->posted.empty()) {
      message = queue->posted.front();
      queue->posted.pop_front();
      if (lf_alive(message.window)) return true;  // messages of destroyed windows are dropped
    }
    if (queue->quit) {
      queue->quit = false;
      message = {nullptr, msg::quit, static_cast<WParam>(queue->quitCode), 0};
      return false;
    }
    for (WindowObject* window : queue->windows) {
      if (window->alive && window->updatePending) {
        message = {window, msg::paint, 0, 0};
        return true;
      }
    }
    // Timers come last, as WM_TIMER does: the earliest one due, then it waits its interval anew.
    const auto now = std::chrono::steady_clock::now();
    WindowObject::Timer* next = nullptr;
    WindowObject* owner = nullptr;
    auto earliest = [&](WindowObject* window) {
      for (WindowObject::Timer& timer : window->timers) {
        if (next == nullptr || timer.due < next->due) {
          next = &timer;
          owner = window;
        }
      }
    };
    for (WindowObject* window : queue->windows) {
      earliest(window);
      for (WindowObject* child : window->children) earliest(child);
    }
    if (next != nullptr && next->due <= now) {
      next->due = now + next->interval;
      message = {owner, msg::timer, next->id, 0};
      return true;
    }
    queue->waiting = true;
    idleChanged.notify_all();
    if (next != nullptr) {
      // A copy: the wait reads the time again after waking, when setTimer may have moved the
      // window's timer list.
      const auto due = next->due;
      queue->wake.wait_until(lock, due);
    } else {
      queue->wake.wait(lock);
    }
    queue->waiting = false;
  }
}

MessageResult dispatchMessage(const Message& message) {
  WindowProc proc = nullptr;
  {
    std::lock_guard lock(windowMutex);
    if (!lf_alive(message.window)) return 0;
    proc = message.window->proc;
  }
  return proc != nullptr ? proc(message.window, message.message, message.wParam, message.lParam)
                         : 0;
}

void postQuitMessage(std::int32_t exitCode) {
  std::lock_guard lock(windowMutex);
  const auto queue = lf_queueOfThisThread();
  queue->quit = true;
  queue->quitCode = exitCode;
  queue->wake.notify_all();
}

bool setTimer(WindowHandle window, std::uintptr_t id, std::chrono::milliseconds interval) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window)) return false;
  const auto due = std::chrono::steady_clock::now() + interval;
  auto& timers = window->timers;
  const auto found = std::find_if(timers.begin(), timers.end(), [id](const auto& t) { return t.id == id; });
  if (found != timers.end()) {
    *found = {id, interval, due};
  } else {
    timers.push_back({id, interval, due});
  }
  window->queue->wake.notify_all();
  return true;
}

bool killTimer(WindowHandle window, std::uintptr_t id) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window)) return false;
  auto& timers = window->timers;
  const auto found = std::find_if(timers.begin(), timers.end(), [id](const auto& t) { return t.id == id; });
  if (found == timers.end()) return false;
  timers.erase(found);
  return true;
}

bool hasScreen() { return false; }

void terminalLine(std::string_view text) {
  static std::mutex terminalMutex;  // one line at a time from any thread
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char stamp[16] = "";
  if (::localtime_r(&now, &local) != nullptr) std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
  std::lock_guard lock(terminalMutex);
  std::cerr << stamp << ' ' << text << std::endl;
}

MessageResult defWindowProc(WindowHandle window, std::uint32_t message, WParam, LParam) {
  switch (message) {
    case msg::paint:
      endPaint(window, beginPaint(window));
      return 0;
    case msg::close:
      destroyWindow(window);
      return 0;
    case msg::eraseBackground:
      return 0;
    default:
      return 0;
  }
}

// ---------------------------------------------------------------- painting

void invalidateRect(WindowHandle window, const Rect* rect, bool erase) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window) || !window->topLevel) return;
  const Rect client = lf_clientRect(window);
  const Rect area = rect != nullptr ? lf_intersect(*rect, client) : client;
  if (area.empty()) return;
  window->update = window->updatePending ? lf_union(window->update, area) : area;
  window->updatePending = true;
  window->erasePending = window->erasePending || erase;
  window->queue->wake.notify_all();
}

PaintHandle beginPaint(WindowHandle window) {
  auto* paint = new PaintContext;
  bool erase = false;
  WindowProc proc = nullptr;
  {
    std::lock_guard lock(windowMutex);
    if (!lf_alive(window)) return paint;
    paint->window = window;
    paint->clip = window->updatePending ? window->update : Rect{};
    erase = window->erasePending;
    window->updatePending = false;
    window->erasePending = false;
    proc = window->proc;
  }
  if (erase && proc != nullptr &&
      proc(window, msg::eraseBackground, reinterpret_cast<WParam>(paint), 0) == 0) {
    std::lock_guard lock(windowMutex);
    if (lf_alive(window)) {
      cairo_t* cr = cairo_create(window->screen);
      lf_fill(cr, paint->clip, Colour{0, 0, 0});  // the class background
      cairo_destroy(cr);
    }
  }
  return paint;
}

void endPaint(WindowHandle, PaintHandle paint) { delete paint; }

struct MemoryPicture::Impl {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  std::vector<DrawCall> calls;
};

MemoryPicture::MemoryPicture(PaintHandle, std::int32_t width, std::int32_t height)
    : impl_(new Impl) {
  impl_->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 1),
                                              std::max(height, 1));
  impl_->cr = cairo_create(impl_->surface);
  lf_prepareFont(impl_->cr);
}

MemoryPicture::~MemoryPicture() {
  cairo_destroy(impl_->cr);
  cairo_surface_destroy(impl_->surface);
  delete impl_;
}

void MemoryPicture::fillRect(const Rect& rect, Colour colour) {
  impl_->calls.push_back({DrawCall::Kind::fill, rect, colour, {}});
  lf_fill(impl_->cr, rect, colour);
}

void MemoryPicture::line(Point from, Point to, Colour colour) {
  impl_->calls.push_back({DrawCall::Kind::line, {from.x, from.y, to.x, to.y}, colour, {}});
  lf_drawLine(impl_->cr, from, to, colour);
}

void MemoryPicture::text(std::int32_t x, std::int32_t y, std::u16string_view text,
                         Colour colour) {
  const std::string utf8 = lf_utf8(text);
  impl_->calls.push_back({DrawCall::Kind::text, {x, y, x, y}, colour, utf8});
  lf_drawText(impl_->cr, x, y, utf8, colour);
}

void MemoryPicture::copyTo(PaintHandle target) {
  if (target == nullptr) return;
  std::lock_guard lock(windowMutex);
  WindowObject* window = target->window;
  if (!lf_alive(window)) return;
  cairo_surface_flush(impl_->surface);
  cairo_t* cr = cairo_create(window->screen);
  cairo_rectangle(cr, target->clip.left, target->clip.top, target->clip.width(),
                  target->clip.height());
  cairo_clip(cr);
  cairo_set_source_surface(cr, impl_->surface, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  window->lastCalls = impl_->calls;
  ++window->paints;
  idleChanged.notify_all();
}

MessageResult controlColourResult(WParam, Colour) { return 1; }

// ---------------------------------------------------------------- child controls

WindowHandle createControl(WindowHandle parent, ControlKind kind, std::uint16_t id,
                           const std::u16string& text, const Rect& rect) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(parent)) return nullptr;
  lf_noteChange(parent);
  WindowObject* control = lf_newWindow();
  control->parent = parent;
  control->queue = parent->queue;
  control->proc = lf_controlProc;
  control->kind = kind;
  control->id = id;
  control->text = text;
  control->rect = rect;
  parent->children.push_back(control);
  return control;
}

WindowHandle controlById(WindowHandle parent, std::uint16_t id) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(parent)) return nullptr;
  for (WindowObject* child : parent->children)
    if (child->alive && child->id == id) return child;
  return nullptr;
}

bool enableWindow(WindowHandle window, bool enable) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window)) return false;
  lf_noteChange(window);
  const bool wasDisabled = !window->enabled;
  window->enabled = enable;
  return wasDisabled;
}

bool isWindowEnabled(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  return lf_alive(window) && window->enabled;
}

void checkButton(WindowHandle parent, std::uint16_t id, bool checked) {
  WindowHandle control = controlById(parent, id);
  std::lock_guard lock(windowMutex);
  if (!lf_alive(control)) return;
  lf_noteChange(control);
  if (control->kind == ControlKind::checkBox) control->checked = checked;
}

std::uint32_t isButtonChecked(WindowHandle parent, std::uint16_t id) {
  WindowHandle control = controlById(parent, id);
  std::lock_guard lock(windowMutex);
  return lf_alive(control) && control->kind == ControlKind::checkBox && control->checked ? 1 : 0;
}

bool setWindowText(WindowHandle window, std::u16string_view text) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window)) return false;
  lf_noteChange(window);
  window->text = text;
  return true;
}

std::u16string windowText(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  return lf_alive(window) ? window->text : std::u16string{};
}

namespace {
WindowObject* lf_combo(WindowHandle window) {
  return lf_alive(window) && window->kind == ControlKind::comboBox && window->parent != nullptr
             ? window
             : nullptr;
}

char16_t lf_fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }
}  // namespace

void comboReset(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  if (WindowObject* combo = lf_combo(window)) {
    lf_noteChange(combo);
    combo->items.clear();
    combo->selection = -1;
  }
}

std::int32_t comboAdd(WindowHandle window, std::u16string_view text) {
  std::lock_guard lock(windowMutex);
  WindowObject* combo = lf_combo(window);
  if (combo == nullptr) return -1;
  lf_noteChange(combo);
  combo->items.emplace_back(text);
  return static_cast<std::int32_t>(combo->items.size()) - 1;
}

bool comboSelectIndex(WindowHandle window, std::int32_t index) {
  std::lock_guard lock(windowMutex);
  WindowObject* combo = lf_combo(window);
  if (combo == nullptr) return false;
  lf_noteChange(combo);
  if (index < 0 || index >= static_cast<std::int32_t>(combo->items.size())) {
    combo->selection = -1;
    return false;
  }
  combo->selection = index;
  return true;
}

std::int32_t comboSelectPrefix(WindowHandle window, std::u16string_view text) {
  std::lock_guard lock(windowMutex);
  WindowObject* combo = lf_combo(window);
  if (combo == nullptr) return -1;
  lf_noteChange(combo);
  for (std::size_t i = 0; i < combo->items.size(); ++i) {
    const std::u16string& item = combo->items[i];
    if (item.size() < text.size()) continue;
    if (std::equal(text.begin(), text.end(), item.begin(),
                   [](char16_t a, char16_t b) { return lf_fold(a) == lf_fold(b); })) {
      combo->selection = static_cast<std::int32_t>(i);
      return combo->selection;
    }
  }
  return -1;
}

std::int32_t comboSelection(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  WindowObject* combo = lf_combo(window);
  return combo != nullptr ? combo->selection : -1;
}

std::int32_t comboCount(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  WindowObject* combo = lf_combo(window);
  return combo != nullptr ? static_cast<std::int32_t>(combo->items.size()) : -1;
}

std::optional<std::u16string> comboItemText(WindowHandle window, std::int32_t index) {
  std::lock_guard lock(windowMutex);
  WindowObject* combo = lf_combo(window);
  if (combo == nullptr || index < 0 || index >= static_cast<std::int32_t>(combo->items.size()))
    return std::nullopt;
  return combo->items[static_cast<std::size_t>(index)];
}

WindowProc setWindowProc(WindowHandle window, WindowProc proc) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window) || proc == nullptr) return nullptr;
  lf_noteChange(window);
  WindowProc previous = window->proc;
  window->proc = proc;
  return previous;
}

MessageResult callWindowProc(WindowProc previous, WindowHandle window, std::uint32_t message,
                             WParam wParam, LParam lParam) {
  return previous != nullptr ? previous(window, message, wParam, lParam) : 0;
}

// ---------------------------------------------------------------- inspection

namespace inspect {

std::optional<ControlInfo> control(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window) || window->parent == nullptr) return std::nullopt;
  return lf_controlInfo(*window);
}

std::vector<WindowHandle> children(WindowHandle parent) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(parent)) return {};
  return parent->children;
}

std::optional<Colour> pixel(WindowHandle window, std::int32_t x, std::int32_t y) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window) || window->screen == nullptr) return std::nullopt;
  const int width = cairo_image_surface_get_width(window->screen);
  const int height = cairo_image_surface_get_height(window->screen);
  if (x < 0 || y < 0 || x >= width || y >= height) return std::nullopt;
  cairo_surface_flush(window->screen);
  const unsigned char* data = cairo_image_surface_get_data(window->screen);
  const int stride = cairo_image_surface_get_stride(window->screen);
  std::uint32_t value = 0;
  std::copy_n(data + static_cast<std::ptrdiff_t>(y) * stride + x * 4, 4,
              reinterpret_cast<unsigned char*>(&value));
  return Colour{static_cast<std::uint8_t>((value >> 16) & 0xff),
                static_cast<std::uint8_t>((value >> 8) & 0xff),
                static_cast<std::uint8_t>(value & 0xff)};
}

std::vector<DrawCall> lastDrawCalls(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  return lf_alive(window) ? window->lastCalls : std::vector<DrawCall>{};
}

std::uint64_t paintCount(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  return lf_alive(window) ? window->paints : 0;
}

bool savePng(WindowHandle window, const std::filesystem::path& file, bool withControls) {
  // Only the copy is made under the lock: drawing the controls, encoding and writing take
  // milliseconds, in which every other thread's invalidateRect and postMessage would wait.
  cairo_surface_t* copy = nullptr;
  std::vector<ControlInfo> controls;
  {
    std::lock_guard lock(windowMutex);
    if (!lf_alive(window) || window->screen == nullptr) return false;
    copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24,
                                      cairo_image_surface_get_width(window->screen),
                                      cairo_image_surface_get_height(window->screen));
    cairo_t* cr = cairo_create(copy);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, window->screen, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    if (withControls)
      for (const WindowObject* child : window->children)
        if (child->alive) controls.push_back(lf_controlInfo(*child));
  }
  if (!controls.empty()) {
    cairo_t* cr = cairo_create(copy);
    lf_prepareFont(cr);
    for (const ControlInfo& control : controls) lf_drawControl(cr, control);
    cairo_destroy(cr);
  }
  const bool written = cairo_surface_write_to_png(copy, file.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(copy);
  return written;
}

bool click(WindowHandle window) {
  WindowHandle parent = nullptr;
  std::uint16_t id = 0;
  {
    std::lock_guard lock(windowMutex);
    if (!lf_alive(window) || window->parent == nullptr || !window->enabled) return false;
    if (window->kind != ControlKind::button && window->kind != ControlKind::checkBox) return false;
    parent = window->parent;
    id = window->id;
  }
  return postMessage(parent, msg::command, makeWParam(id, notify::clicked),
                     reinterpret_cast<LParam>(window));
}

bool choose(WindowHandle window, std::int32_t index) {
  WindowHandle parent = nullptr;
  std::uint16_t id = 0;
  {
    std::lock_guard lock(windowMutex);
    WindowObject* combo = lf_combo(window);
    if (combo == nullptr || !combo->enabled || index < 0 ||
        index >= static_cast<std::int32_t>(combo->items.size()))
      return false;
    combo->selection = index;
    parent = combo->parent;
    id = combo->id;
  }
  return postMessage(parent, msg::command, makeWParam(id, notify::selectionChanged),
                     reinterpret_cast<LParam>(window));
}

bool type(WindowHandle window, std::u16string_view keys) {
  {
    std::lock_guard lock(windowMutex);
    if (!lf_alive(window) || window->kind != ControlKind::edit || window->parent == nullptr ||
        !window->enabled)
      return false;
  }
  for (char16_t key : keys)
    if (!postMessage(window, msg::character, key, 1)) return false;
  return true;
}

bool waitIdle(WindowHandle window, std::chrono::milliseconds timeout) {
  std::unique_lock lock(windowMutex);
  if (!lf_alive(window)) return false;
  const std::shared_ptr<ThreadQueue> queue = window->queue;
  return idleChanged.wait_for(lock, timeout, [&] {
    if (!queue->waiting || !queue->posted.empty() || queue->quit) return false;
    return std::none_of(queue->windows.begin(), queue->windows.end(),
                        [](const WindowObject* w) { return w->alive && w->updatePending; });
  });
}

void setWorkArea(std::optional<Rect> workArea) {
  std::lock_guard lock(windowMutex);
  monitorWorkArea = workArea;
}

void setShowCommand(WindowHandle window, std::int32_t showCommand, const Rect& normalPosition) {
  std::lock_guard lock(windowMutex);
  if (!lf_alive(window)) return;
  window->showCommand = showCommand;
  window->normalPosition = normalPosition;
}

bool isTopmost(WindowHandle window) {
  std::lock_guard lock(windowMutex);
  return lf_alive(window) && window->topmost;
}

std::uint64_t foreignThreadControlChanges() { return foreignChanges.load(); }

}  // namespace inspect

}  // namespace platform::gui
