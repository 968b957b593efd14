#pragma once
// The window system: the one main window with its child controls, the GUI thread's message
// queue, and painting through a memory picture. Every call maps onto one user32/gdi32 call (or
// a fixed pair of them) on Windows; elsewhere a headless implementation keeps windows and
// controls in memory, runs a real queue on the creating thread and paints real pixels.
//
// Threads: postMessage, invalidateRect and the control queries may come from any thread.
// Everything else belongs to the thread that created the window (the GUI thread); code on
// other threads hands control changes to it by posting a message.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::gui {

struct WindowObject;
using WindowHandle = WindowObject*;  // HWND
struct PaintContext;
using PaintHandle = PaintContext*;   // the HDC of BeginPaint

using WParam = std::uintptr_t;        // WPARAM
using LParam = std::intptr_t;         // LPARAM
using MessageResult = std::intptr_t;  // LRESULT
using WindowProc = MessageResult (*)(WindowHandle, std::uint32_t message, WParam, LParam);

// Message numbers as Windows numbers them.
namespace msg {
inline constexpr std::uint32_t create = 0x0001;           // WM_CREATE, lParam: creation data
inline constexpr std::uint32_t destroy = 0x0002;          // WM_DESTROY
inline constexpr std::uint32_t paint = 0x000F;            // WM_PAINT
inline constexpr std::uint32_t close = 0x0010;            // WM_CLOSE
inline constexpr std::uint32_t quit = 0x0012;             // WM_QUIT
inline constexpr std::uint32_t eraseBackground = 0x0014;  // WM_ERASEBKGND
inline constexpr std::uint32_t character = 0x0102;        // WM_CHAR, wParam: UTF-16 unit
inline constexpr std::uint32_t command = 0x0111;          // WM_COMMAND
inline constexpr std::uint32_t timer = 0x0113;            // WM_TIMER, wParam: the timer id
inline constexpr std::uint32_t ctlColorEdit = 0x0133;     // WM_CTLCOLOREDIT
inline constexpr std::uint32_t ctlColorStatic = 0x0138;   // WM_CTLCOLORSTATIC
inline constexpr std::uint32_t app = 0x8000;              // WM_APP
}  // namespace msg

// WM_COMMAND: low word of wParam the control id, high word the notification.
namespace notify {
inline constexpr std::uint16_t clicked = 0;           // BN_CLICKED
inline constexpr std::uint16_t selectionChanged = 1;  // CBN_SELCHANGE
}  // namespace notify
inline constexpr std::uint16_t loWord(WParam w) { return static_cast<std::uint16_t>(w & 0xffff); }
inline constexpr std::uint16_t hiWord(WParam w) {
  return static_cast<std::uint16_t>((w >> 16) & 0xffff);
}
inline constexpr WParam makeWParam(std::uint16_t low, std::uint16_t high) {
  return static_cast<WParam>(low) | (static_cast<WParam>(high) << 16);
}

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::int32_t width() const { return right - left; }
  std::int32_t height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Colour {  // COLORREF
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

struct Message {  // MSG
  WindowHandle window = nullptr;
  std::uint32_t message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
};

// ---------------------------------------------------------------- the main window

// RegisterClassExW: CS_HREDRAW | CS_VREDRAW, icon resource 100, arrow cursor, black stock brush,
// no menu. False on failure.
bool registerWindowClass(const std::u16string& className, WindowProc proc);
// CreateWindowExW with WS_CAPTION | WS_SYSMENU at (x, y), size including the frame; the
// procedure receives WM_CREATE with createData before this returns. Null on failure.
WindowHandle createMainWindow(const std::u16string& className, const std::u16string& title,
                              std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height, void* createData);
void showWindow(WindowHandle window);  // ShowWindow(SW_SHOW) and UpdateWindow
bool isWindow(WindowHandle window);    // IsWindow
bool destroyWindow(WindowHandle window);  // DestroyWindow (WM_DESTROY, children go too)
// True on the thread that created the window (GetWindowThreadProcessId).
bool windowThreadIsCurrent(WindowHandle window);

std::optional<Rect> windowRect(WindowHandle window);  // GetWindowRect, screen coordinates
struct Placement {                                     // WINDOWPLACEMENT
  std::int32_t showCommand = 1;  // 1 normal, 2 minimised, 3 maximised
  Rect normalPosition;
};
std::optional<Placement> windowPlacement(WindowHandle window);
// SetWindowPos without size, z-order or activation change.
bool moveWindow(WindowHandle window, std::int32_t x, std::int32_t y);
// SetWindowPos to HWND_TOPMOST / HWND_NOTOPMOST, no move, no size.
bool setTopmost(WindowHandle window, bool topmost);
// The work area of the monitor nearest to the rectangle (MonitorFromRect, GetMonitorInfoW);
// nothing when it cannot be found.
std::optional<Rect> workAreaNearest(const Rect& rect);

// ---------------------------------------------------------------- the message queue

bool postMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);
// GetMessageW for every window of the calling thread: false on WM_QUIT (its code in wParam).
// WM_PAINT comes when nothing is posted and a window of the thread has an update region.
bool getMessage(Message& message);
// TranslateMessage and DispatchMessageW: the target window's current procedure.
MessageResult dispatchMessage(const Message& message);
void postQuitMessage(std::int32_t exitCode);
MessageResult defWindowProc(WindowHandle window, std::uint32_t message, WParam, LParam);

// SetTimer: WM_TIMER with the id comes every interval, when the window's thread has nothing else
// to do (missed ones are not made up for); setting an id again restarts it. KillTimer ends it.
// False when the window does not exist.
bool setTimer(WindowHandle window, std::uintptr_t id, std::chrono::milliseconds interval);
bool killTimer(WindowHandle window, std::uintptr_t id);

// False for the headless window system: nobody can type into its boxes or click its buttons,
// so a message that asks for it names the way to do it there.
bool hasScreen();

// A line for the terminal the program was started from, after the time of day. A headless
// system has no screen: what the window shows is told there too (the standard error stream).
// A Windows program has its window and no terminal: nothing happens.
void terminalLine(std::string_view text);

// ---------------------------------------------------------------- painting

// InvalidateRect (null: the whole client area).
void invalidateRect(WindowHandle window, const Rect* rect, bool erase);
PaintHandle beginPaint(WindowHandle window);  // BeginPaint; the DC is clipped to the region
void endPaint(WindowHandle window, PaintHandle paint);

// One call recorded by a memory picture, as a test reads it back.
struct DrawCall {
  enum class Kind { fill, line, text };
  Kind kind = Kind::fill;
  Rect rect;          // fill: the rectangle; line: from (left, top) to (right, bottom)
  Colour colour;
  std::string text;   // text: UTF-8, drawn with its top-left corner at (left, top)
};

// A picture composed in memory and copied to the window at once (CreateCompatibleDC with a
// compatible bitmap, background mode TRANSPARENT; released when the object goes). It starts
// black.
class MemoryPicture {
 public:
  MemoryPicture(PaintHandle target, std::int32_t width, std::int32_t height);
  ~MemoryPicture();
  MemoryPicture(const MemoryPicture&) = delete;
  MemoryPicture& operator=(const MemoryPicture&) = delete;

  void fillRect(const Rect& rect, Colour colour);          // FillRect with a solid brush
  void line(Point from, Point to, Colour colour);          // 1-px pen, MoveToEx/LineTo
  void text(std::int32_t x, std::int32_t y, std::u16string_view text, Colour colour);  // TextOutW
  void copyTo(PaintHandle target);                         // BitBlt SRCCOPY at (0, 0)

  struct Impl;

 private:
  Impl* impl_;
};

// WM_CTLCOLOREDIT / WM_CTLCOLORSTATIC: an opaque background of that colour on the control's DC
// (wParam); the result is the stock DC brush the procedure returns.
MessageResult controlColourResult(WParam controlDc, Colour background);

// ---------------------------------------------------------------- child controls

enum class ControlKind {
  button,    // "button", BS_DEFPUSHBUTTON
  checkBox,  // "button", BS_CHECKBOX (the program checks it itself)
  comboBox,  // "ComboBox", CBS_DROPDOWNLIST | WS_VSCROLL; height = drop-down height
  edit,      // "Edit", WS_BORDER, single line
};
// CreateWindowExW of a visible child with WS_TABSTOP; rect in the parent's client coordinates.
WindowHandle createControl(WindowHandle parent, ControlKind kind, std::uint16_t id,
                           const std::u16string& text, const Rect& rect);
WindowHandle controlById(WindowHandle parent, std::uint16_t id);  // GetDlgItem
bool enableWindow(WindowHandle window, bool enable);               // EnableWindow
bool isWindowEnabled(WindowHandle window);                         // IsWindowEnabled
void checkButton(WindowHandle parent, std::uint16_t id, bool checked);  // CheckDlgButton
std::uint32_t isButtonChecked(WindowHandle parent, std::uint16_t id);   // IsDlgButtonChecked
bool setWindowText(WindowHandle window, std::u16string_view text);      // SetWindowTextW
// The whole text (GetWindowTextLengthW, then GetWindowTextW into a buffer of that length).
std::u16string windowText(WindowHandle window);

void comboReset(WindowHandle combo);                                    // CB_RESETCONTENT
std::int32_t comboAdd(WindowHandle combo, std::u16string_view text);    // CB_ADDSTRING: index
bool comboSelectIndex(WindowHandle combo, std::int32_t index);          // CB_SETCURSEL (-1: none)
// CB_SELECTSTRING from the start: the first item beginning with the text, letter case ignored;
// its index, or -1 (the selection is then unchanged).
std::int32_t comboSelectPrefix(WindowHandle combo, std::u16string_view text);
std::int32_t comboSelection(WindowHandle combo);  // CB_GETCURSEL, -1 when none
std::int32_t comboCount(WindowHandle combo);      // CB_GETCOUNT
// CB_GETLBTEXTLEN then CB_GETLBTEXT into a buffer of that length; nothing for a bad index.
std::optional<std::u16string> comboItemText(WindowHandle combo, std::int32_t index);

// SetWindowLongPtrW(GWLP_WNDPROC): the previous procedure.
WindowProc setWindowProc(WindowHandle window, WindowProc proc);
MessageResult callWindowProc(WindowProc previous, WindowHandle window, std::uint32_t message,
                             WParam wParam, LParam lParam);

// ---------------------------------------------------------------- inspection (tests)
// What a test reads back and how it plays the user. The posix implementation records it as it
// goes; a win32 implementation answers from the real window.
namespace inspect {

struct ControlInfo {
  ControlKind kind = ControlKind::button;
  std::uint16_t id = 0;
  Rect rect;  // in the parent's client coordinates, as created
  bool enabled = false;
  bool checked = false;
  std::u16string text;
  std::vector<std::u16string> items;  // combo box
  std::int32_t selection = -1;        // combo box
};
std::optional<ControlInfo> control(WindowHandle control);
std::vector<WindowHandle> children(WindowHandle parent);  // in creation order

// The window's client picture as last painted.
std::optional<Colour> pixel(WindowHandle window, std::int32_t x, std::int32_t y);
// The draw calls of the last memory picture copied to the window, and how many were copied.
std::vector<DrawCall> lastDrawCalls(WindowHandle window);
std::uint64_t paintCount(WindowHandle window);
// Writes the window's picture as PNG, with the controls drawn over it when asked.
bool savePng(WindowHandle window, const std::filesystem::path& file, bool withControls);

// The user: a click on an enabled button or check box (WM_COMMAND BN_CLICKED to the parent),
// a choice in an enabled combo box (selection, then CBN_SELCHANGE), keys typed into an enabled
// edit box (one WM_CHAR each, through its procedure). False when the control takes no input.
bool click(WindowHandle control);
bool choose(WindowHandle combo, std::int32_t index);
bool type(WindowHandle edit, std::u16string_view keys);

// Waits until the window's thread has handled everything posted and painted every update
// region, and waits for more. False when that did not happen within the time-out.
bool waitIdle(WindowHandle window, std::chrono::milliseconds timeout);

// The work area the monitor query reports (nothing: no monitor); the shown state of a window.
void setWorkArea(std::optional<Rect> workArea);
void setShowCommand(WindowHandle window, std::int32_t showCommand, const Rect& normalPosition);
bool isTopmost(WindowHandle window);

// Control changes made on a thread other than the window's own since the process started.
std::uint64_t foreignThreadControlChanges();

}  // namespace inspect

}  // namespace platform::gui
