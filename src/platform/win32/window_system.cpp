// The window system on user32/gdi32. Handles are the system's own (HWND, HDC); what tests read
// back (the last picture copied to a window with its draw calls, controls as created, changes
// from other threads) is recorded here beside the real calls.
#include "platform/window_system.hpp"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "platform/utf.hpp"
#include "program_info.h"

namespace platform::gui {

// WindowObject and PaintContext stay undefined here: a WindowHandle is an HWND, a PaintHandle
// an HDC.

namespace {

HWND lf_hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle lf_handle(HWND window) { return reinterpret_cast<WindowHandle>(window); }
HDC lf_hdc(PaintHandle paint) { return reinterpret_cast<HDC>(paint); }
COLORREF lf_rgb(Colour colour) { return RGB(colour.r, colour.g, colour.b); }
RECT lf_rect(const Rect& rect) { return RECT{rect.left, rect.top, rect.right, rect.bottom}; }
Rect lf_rect(const RECT& rect) { return Rect{rect.left, rect.top, rect.right, rect.bottom}; }
std::wstring lf_wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

struct ControlRecord {
  ControlKind kind = ControlKind::button;
  std::uint16_t id = 0;
  Rect rect;
};

struct Picture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top down
  std::vector<DrawCall> calls;
  std::uint64_t paints = 0;
};

std::mutex stateMutex;  // guards everything below
std::condition_variable idleChanged;
WindowProc mainProc = nullptr;
std::map<HWND, ControlRecord> controls;
std::map<HWND, std::vector<HWND>> childrenOf;
std::map<HWND, Picture> pictures;
std::map<HWND, PAINTSTRUCT> openPaints;
std::map<HWND, std::uint64_t> idleAnswered;
bool workAreaOverridden = false;
std::optional<Rect> workAreaOverride;
std::atomic<std::uint64_t> foreignChanges{0};
std::atomic<std::uint64_t> idleProbes{0};

const UINT idleProbeMessage = ::RegisterWindowMessageW(L"Wendrix_P3D idle probe");

void lf_noteChange(HWND window) {
  if (window != nullptr && ::GetWindowThreadProcessId(window, nullptr) != ::GetCurrentThreadId())
    ++foreignChanges;
}

// The class procedure: hands WM_CREATE's creation data to the program's procedure as lParam.
LRESULT CALLBACK lf_classProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowProc proc = nullptr;
  {
    std::lock_guard lock(stateMutex);
    proc = mainProc;
  }
  if (message == idleProbeMessage) {
    // The probe went through the queue behind everything posted before it; what is still to be
    // painted is painted now, on the window's own thread.
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    std::lock_guard lock(stateMutex);
    auto& answered = idleAnswered[window];
    answered = std::max<std::uint64_t>(answered, wParam);
    idleChanged.notify_all();
    return 0;
  }
  if (proc == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    const MessageResult result =
        proc(lf_handle(window), message, wParam, reinterpret_cast<LParam>(create->lpCreateParams));
    return result == -1 ? -1 : 0;
  }
  if (message == WM_NCDESTROY) {
    std::lock_guard lock(stateMutex);
    pictures.erase(window);
    childrenOf.erase(window);
    idleAnswered.erase(window);
  }
  return proc(lf_handle(window), message, wParam, lParam);
}

// A top-down 32-bit picture whose bits can be read.
HBITMAP lf_bitmap(HDC dc, std::int32_t width, std::int32_t height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

void lf_putBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xff));
}

void lf_pngChunk(std::string& out, const char* type, const std::string& data) {
  lf_putBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  out += typed;
  lf_putBigEndian(out, static_cast<std::uint32_t>(
                           ::crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

// An RGB PNG of 0x00RRGGBB pixels, rows top down.
bool lf_writePng(const std::filesystem::path& file, std::int32_t width, std::int32_t height,
                 const std::vector<std::uint32_t>& pixels) {
  std::string raw;
  raw.reserve(static_cast<std::size_t>(height) * (static_cast<std::size_t>(width) * 3 + 1));
  for (std::int32_t y = 0; y < height; ++y) {
    raw.push_back('\0');  // no filter
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
      raw.push_back(static_cast<char>((p >> 16) & 0xff));
      raw.push_back(static_cast<char>((p >> 8) & 0xff));
      raw.push_back(static_cast<char>(p & 0xff));
    }
  }
  uLongf packedSize = ::compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (::compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 6) != Z_OK)
    return false;
  packed.resize(packedSize);
  std::string header;
  lf_putBigEndian(header, static_cast<std::uint32_t>(width));
  lf_putBigEndian(header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  std::string png("\x89PNG\r\n\x1a\n", 8);
  lf_pngChunk(png, "IHDR", header);
  lf_pngChunk(png, "IDAT", packed);
  lf_pngChunk(png, "IEND", {});
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(out.flush());
}

// The window's client area as the screen shows it now, controls included.
std::optional<Picture> lf_capture(HWND window) {
  RECT client{};
  if (!::GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return std::nullopt;
  Picture picture;
  picture.width = client.right;
  picture.height = client.bottom;
  HDC screen = ::GetDC(window);
  HDC memory = ::CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = lf_bitmap(screen, picture.width, picture.height, &bits);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  const bool copied = ::BitBlt(memory, 0, 0, picture.width, picture.height, screen, 0, 0, SRCCOPY) != 0;
  ::GdiFlush();
  if (copied && bits != nullptr) {
    const auto* source = static_cast<const std::uint32_t*>(bits);
    picture.pixels.assign(source, source + static_cast<std::size_t>(picture.width) * picture.height);
    for (auto& p : picture.pixels) p &= 0x00ffffff;
  }
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(window, screen);
  if (!copied) return std::nullopt;
  return picture;
}

}  // namespace

// ---------------------------------------------------------------- the main window

bool registerWindowClass(const std::u16string& className, WindowProc proc) {
  {
    std::lock_guard lock(stateMutex);
    mainProc = proc;
  }
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(WDRX_ICON_ID));
  if (icon == nullptr) icon = ::LoadIconW(nullptr, IDI_APPLICATION);
  const std::wstring name = lf_wide(className);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = lf_classProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = icon;
  windowClass.hIconSm = icon;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = name.c_str();
  if (::RegisterClassExW(&windowClass) != 0) return true;
  // A class registered before by this process (a second window in tests) is the same class.
  return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

WindowHandle createMainWindow(const std::u16string& className, const std::u16string& title,
                              std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height, void* createData) {
  const std::wstring name = lf_wide(className);
  const std::wstring caption = lf_wide(title);
  HWND window = ::CreateWindowExW(0, name.c_str(), caption.c_str(), WS_CAPTION | WS_SYSMENU, x, y, width,
                                  height, nullptr, nullptr, ::GetModuleHandleW(nullptr), createData);
  return lf_handle(window);
}

void showWindow(WindowHandle window) {
  ::ShowWindow(lf_hwnd(window), SW_SHOW);
  ::UpdateWindow(lf_hwnd(window));
}

bool isWindow(WindowHandle window) { return window != nullptr && ::IsWindow(lf_hwnd(window)); }

bool destroyWindow(WindowHandle window) { return ::DestroyWindow(lf_hwnd(window)) != 0; }

bool windowThreadIsCurrent(WindowHandle window) {
  return ::GetWindowThreadProcessId(lf_hwnd(window), nullptr) == ::GetCurrentThreadId();
}

std::optional<Rect> windowRect(WindowHandle window) {
  RECT rect{};
  if (!::GetWindowRect(lf_hwnd(window), &rect)) return std::nullopt;
  return lf_rect(rect);
}

std::optional<Placement> windowPlacement(WindowHandle window) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!::GetWindowPlacement(lf_hwnd(window), &placement)) return std::nullopt;
  return Placement{static_cast<std::int32_t>(placement.showCmd), lf_rect(placement.rcNormalPosition)};
}

bool moveWindow(WindowHandle window, std::int32_t x, std::int32_t y) {
  return ::SetWindowPos(lf_hwnd(window), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != 0;
}

bool setTopmost(WindowHandle window, bool topmost) {
  return ::SetWindowPos(lf_hwnd(window), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                        SWP_NOMOVE | SWP_NOSIZE) != 0;
}

std::optional<Rect> workAreaNearest(const Rect& rect) {
  {
    std::lock_guard lock(stateMutex);
    if (workAreaOverridden) return workAreaOverride;
  }
  const RECT area = lf_rect(rect);
  HMONITOR monitor = ::MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor == nullptr || !::GetMonitorInfoW(monitor, &info)) return std::nullopt;
  return lf_rect(info.rcWork);
}

// ---------------------------------------------------------------- the message queue

bool postMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
  return ::PostMessageW(lf_hwnd(window), message, wParam, lParam) != 0;
}

bool getMessage(Message& message) {
  MSG got{};
  const BOOL result = ::GetMessageW(&got, nullptr, 0, 0);
  message = Message{lf_handle(got.hwnd), got.message, got.wParam, got.lParam};
  return result > 0;
}

MessageResult dispatchMessage(const Message& message) {
  MSG sent{};
  sent.hwnd = lf_hwnd(message.window);
  sent.message = message.message;
  sent.wParam = message.wParam;
  sent.lParam = message.lParam;
  sent.time = static_cast<DWORD>(::GetMessageTime());
  ::TranslateMessage(&sent);
  return ::DispatchMessageW(&sent);
}

void postQuitMessage(std::int32_t exitCode) { ::PostQuitMessage(exitCode); }

MessageResult defWindowProc(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
  return ::DefWindowProcW(lf_hwnd(window), message, wParam, lParam);
}

bool setTimer(WindowHandle window, std::uintptr_t id, std::chrono::milliseconds interval) {
  const auto ms = static_cast<UINT>(std::clamp<std::int64_t>(interval.count(), USER_TIMER_MINIMUM,
                                                             USER_TIMER_MAXIMUM));
  return ::SetTimer(lf_hwnd(window), id, ms, nullptr) != 0;
}

bool killTimer(WindowHandle window, std::uintptr_t id) { return ::KillTimer(lf_hwnd(window), id) != 0; }

bool hasScreen() { return true; }

// A desktop program has no terminal: the window shows it all.
void terminalLine(std::string_view) {}

// ---------------------------------------------------------------- painting

void invalidateRect(WindowHandle window, const Rect* rect, bool erase) {
  if (rect == nullptr) {
    ::InvalidateRect(lf_hwnd(window), nullptr, erase);
  } else {
    const RECT area = lf_rect(*rect);
    ::InvalidateRect(lf_hwnd(window), &area, erase);
  }
}

PaintHandle beginPaint(WindowHandle window) {
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(lf_hwnd(window), &paint);
  if (dc == nullptr) return nullptr;
  std::lock_guard lock(stateMutex);
  openPaints[lf_hwnd(window)] = paint;
  return reinterpret_cast<PaintHandle>(dc);
}

void endPaint(WindowHandle window, PaintHandle) {
  PAINTSTRUCT paint{};
  {
    std::lock_guard lock(stateMutex);
    const auto found = openPaints.find(lf_hwnd(window));
    if (found == openPaints.end()) return;
    paint = found->second;
    openPaints.erase(found);
  }
  ::EndPaint(lf_hwnd(window), &paint);
}

struct MemoryPicture::Impl {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ oldBitmap = nullptr;
  HFONT font = nullptr;
  HGDIOBJ oldFont = nullptr;
  void* bits = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<DrawCall> calls;
};

MemoryPicture::MemoryPicture(PaintHandle target, std::int32_t width, std::int32_t height)
    : impl_(new Impl) {
  impl_->width = std::max(width, 1);
  impl_->height = std::max(height, 1);
  impl_->dc = ::CreateCompatibleDC(lf_hdc(target));
  impl_->bitmap = lf_bitmap(lf_hdc(target), impl_->width, impl_->height, &impl_->bits);
  impl_->oldBitmap = ::SelectObject(impl_->dc, impl_->bitmap);
  // The DC's own font, never smoothed: every text pixel has the text colour, as with the
  // system's raster font.
  LOGFONTW font{};
  if (::GetObjectW(::GetCurrentObject(impl_->dc, OBJ_FONT), sizeof font, &font) != 0) {
    font.lfQuality = NONANTIALIASED_QUALITY;
    impl_->font = ::CreateFontIndirectW(&font);
    if (impl_->font != nullptr) impl_->oldFont = ::SelectObject(impl_->dc, impl_->font);
  }
  ::SetBkMode(impl_->dc, TRANSPARENT);
  const RECT all{0, 0, impl_->width, impl_->height};
  ::FillRect(impl_->dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

MemoryPicture::~MemoryPicture() {
  if (impl_->font != nullptr) {
    ::SelectObject(impl_->dc, impl_->oldFont);
    ::DeleteObject(impl_->font);
  }
  ::SelectObject(impl_->dc, impl_->oldBitmap);
  ::DeleteObject(impl_->bitmap);
  ::DeleteDC(impl_->dc);
  delete impl_;
}

void MemoryPicture::fillRect(const Rect& rect, Colour colour) {
  HBRUSH brush = ::CreateSolidBrush(lf_rgb(colour));
  const RECT area = lf_rect(rect);
  ::FillRect(impl_->dc, &area, brush);
  ::DeleteObject(brush);
  impl_->calls.push_back({DrawCall::Kind::fill, rect, colour, {}});
}

void MemoryPicture::line(Point from, Point to, Colour colour) {
  HPEN pen = ::CreatePen(PS_SOLID, 1, lf_rgb(colour));
  HGDIOBJ old = ::SelectObject(impl_->dc, pen);
  ::MoveToEx(impl_->dc, from.x, from.y, nullptr);
  ::LineTo(impl_->dc, to.x, to.y);
  ::SelectObject(impl_->dc, old);
  ::DeleteObject(pen);
  impl_->calls.push_back({DrawCall::Kind::line, Rect{from.x, from.y, to.x, to.y}, colour, {}});
}

void MemoryPicture::text(std::int32_t x, std::int32_t y, std::u16string_view text, Colour colour) {
  ::SetTextColor(impl_->dc, lf_rgb(colour));
  const std::wstring wide = lf_wide(text);
  ::TextOutW(impl_->dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
  impl_->calls.push_back({DrawCall::Kind::text, Rect{x, y, x, y}, colour, utf16ToUtf8Replacing(text)});
}

void MemoryPicture::copyTo(PaintHandle target) {
  ::BitBlt(lf_hdc(target), 0, 0, impl_->width, impl_->height, impl_->dc, 0, 0, SRCCOPY);
  ::GdiFlush();
  HWND window = ::WindowFromDC(lf_hdc(target));
  const auto* bits = static_cast<const std::uint32_t*>(impl_->bits);
  if (window == nullptr || bits == nullptr) return;
  // The window keeps what it showed outside the rectangle being painted, as the screen does
  // (the paint's own rectangle: a hidden window's DC clips everything away). A paint of the
  // whole client area keeps the whole picture, also where the frame leaves less client area
  // than the picture has.
  RECT client{};
  ::GetClientRect(window, &client);
  std::lock_guard lock(stateMutex);
  RECT clip{0, 0, impl_->width, impl_->height};
  if (const auto open = openPaints.find(window); open != openPaints.end()) {
    const RECT& painted = open->second.rcPaint;
    const bool whole = painted.left <= 0 && painted.top <= 0 && painted.right >= client.right &&
                       painted.bottom >= client.bottom;
    if (!whole) clip = painted;
  }
  Picture& shown = pictures[window];
  if (shown.width != impl_->width || shown.height != impl_->height) {
    shown.width = impl_->width;
    shown.height = impl_->height;
    shown.pixels.assign(static_cast<std::size_t>(shown.width) * shown.height, 0);
  }
  const std::int32_t left = std::max<std::int32_t>(clip.left, 0);
  const std::int32_t top = std::max<std::int32_t>(clip.top, 0);
  const std::int32_t right = std::min<std::int32_t>(clip.right, shown.width);
  const std::int32_t bottom = std::min<std::int32_t>(clip.bottom, shown.height);
  for (std::int32_t y = top; y < bottom; ++y) {
    for (std::int32_t x = left; x < right; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * shown.width + x;
      shown.pixels[at] = bits[at] & 0x00ffffff;
    }
  }
  shown.calls = impl_->calls;
  ++shown.paints;
  idleChanged.notify_all();
}

MessageResult controlColourResult(WParam controlDc, Colour background) {
  HDC dc = reinterpret_cast<HDC>(controlDc);
  ::SetBkMode(dc, OPAQUE);
  ::SetBkColor(dc, lf_rgb(background));
  ::SetDCBrushColor(dc, lf_rgb(background));
  return reinterpret_cast<MessageResult>(::GetStockObject(DC_BRUSH));
}

// ---------------------------------------------------------------- child controls

WindowHandle createControl(WindowHandle parent, ControlKind kind, std::uint16_t id,
                           const std::u16string& text, const Rect& rect) {
  const wchar_t* className = L"BUTTON";
  DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
  switch (kind) {
    case ControlKind::button: style |= BS_DEFPUSHBUTTON; break;
    case ControlKind::checkBox: style |= BS_CHECKBOX; break;
    case ControlKind::comboBox:
      className = L"COMBOBOX";
      style |= CBS_DROPDOWNLIST | WS_VSCROLL;
      break;
    case ControlKind::edit:
      className = L"EDIT";
      style |= WS_BORDER | ES_AUTOHSCROLL;
      break;
  }
  const std::wstring caption = lf_wide(text);
  HWND control = ::CreateWindowExW(0, className, caption.c_str(), style, rect.left, rect.top, rect.width(),
                                   rect.height(), lf_hwnd(parent), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  if (control == nullptr) return nullptr;
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  std::lock_guard lock(stateMutex);
  controls[control] = ControlRecord{kind, id, rect};
  childrenOf[lf_hwnd(parent)].push_back(control);
  return lf_handle(control);
}

WindowHandle controlById(WindowHandle parent, std::uint16_t id) {
  return lf_handle(::GetDlgItem(lf_hwnd(parent), id));
}

bool enableWindow(WindowHandle window, bool enable) {
  lf_noteChange(lf_hwnd(window));
  return ::EnableWindow(lf_hwnd(window), enable) != 0;
}

bool isWindowEnabled(WindowHandle window) { return ::IsWindowEnabled(lf_hwnd(window)) != 0; }

void checkButton(WindowHandle parent, std::uint16_t id, bool checked) {
  lf_noteChange(::GetDlgItem(lf_hwnd(parent), id));
  ::CheckDlgButton(lf_hwnd(parent), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

std::uint32_t isButtonChecked(WindowHandle parent, std::uint16_t id) {
  return ::IsDlgButtonChecked(lf_hwnd(parent), id);
}

bool setWindowText(WindowHandle window, std::u16string_view text) {
  lf_noteChange(lf_hwnd(window));
  const std::wstring wide = lf_wide(text);
  bool dropDownList = false;
  {
    std::lock_guard lock(stateMutex);
    const auto found = controls.find(lf_hwnd(window));
    dropDownList = found != controls.end() && found->second.kind == ControlKind::comboBox;
  }
  if (dropDownList) {
    // A drop-down list shows only its items: the text shows by selecting the item that has it.
    const LRESULT index = ::SendMessageW(lf_hwnd(window), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(wide.c_str()));
    if (index == CB_ERR) return false;
    return ::SendMessageW(lf_hwnd(window), CB_SETCURSEL, static_cast<WPARAM>(index), 0) != CB_ERR;
  }
  return ::SetWindowTextW(lf_hwnd(window), wide.c_str()) != 0;
}

std::u16string windowText(WindowHandle window) {
  const int length = ::GetWindowTextLengthW(lf_hwnd(window));
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = ::GetWindowTextW(lf_hwnd(window), text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return std::u16string(text.begin(), text.end());
}

void comboReset(WindowHandle combo) {
  lf_noteChange(lf_hwnd(combo));
  ::SendMessageW(lf_hwnd(combo), CB_RESETCONTENT, 0, 0);
}

std::int32_t comboAdd(WindowHandle combo, std::u16string_view text) {
  lf_noteChange(lf_hwnd(combo));
  const std::wstring wide = lf_wide(text);
  return static_cast<std::int32_t>(
      ::SendMessageW(lf_hwnd(combo), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

bool comboSelectIndex(WindowHandle combo, std::int32_t index) {
  lf_noteChange(lf_hwnd(combo));
  // An index outside the list clears the selection, as the system documents it.
  const bool inList = index >= 0 && index < comboCount(combo);
  ::SendMessageW(lf_hwnd(combo), CB_SETCURSEL, inList ? static_cast<WPARAM>(index) : static_cast<WPARAM>(-1), 0);
  return inList || index == -1;
}

std::int32_t comboSelectPrefix(WindowHandle combo, std::u16string_view text) {
  lf_noteChange(lf_hwnd(combo));
  const std::wstring wide = lf_wide(text);
  const LRESULT result = ::SendMessageW(lf_hwnd(combo), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(wide.c_str()));
  return result == CB_ERR ? -1 : static_cast<std::int32_t>(result);
}

std::int32_t comboSelection(WindowHandle combo) {
  const LRESULT result = ::SendMessageW(lf_hwnd(combo), CB_GETCURSEL, 0, 0);
  return result == CB_ERR ? -1 : static_cast<std::int32_t>(result);
}

std::int32_t comboCount(WindowHandle combo) {
  const LRESULT result = ::SendMessageW(lf_hwnd(combo), CB_GETCOUNT, 0, 0);
  return result == CB_ERR ? -1 : static_cast<std::int32_t>(result);
}

std::optional<std::u16string> comboItemText(WindowHandle combo, std::int32_t index) {
  const LRESULT length = ::SendMessageW(lf_hwnd(combo), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR || length < 0) return std::nullopt;
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT got = ::SendMessageW(lf_hwnd(combo), CB_GETLBTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
  if (got == CB_ERR) return std::nullopt;
  text.resize(static_cast<std::size_t>(got));
  return std::u16string(text.begin(), text.end());
}

WindowProc setWindowProc(WindowHandle window, WindowProc proc) {
  if (proc == nullptr) return nullptr;
  lf_noteChange(lf_hwnd(window));
  // A WindowProc has the layout and calling convention of a WNDPROC on x64; the previous
  // procedure is only ever called through CallWindowProcW.
  return reinterpret_cast<WindowProc>(::SetWindowLongPtrW(lf_hwnd(window), GWLP_WNDPROC,
                                                          reinterpret_cast<LONG_PTR>(proc)));
}

MessageResult callWindowProc(WindowProc previous, WindowHandle window, std::uint32_t message,
                             WParam wParam, LParam lParam) {
  if (previous == nullptr) return 0;
  return ::CallWindowProcW(reinterpret_cast<WNDPROC>(previous), lf_hwnd(window), message, wParam, lParam);
}

// ---------------------------------------------------------------- inspection

namespace inspect {

std::optional<ControlInfo> control(WindowHandle window) {
  HWND handle = lf_hwnd(window);
  ControlRecord record;
  {
    std::lock_guard lock(stateMutex);
    const auto found = controls.find(handle);
    if (found == controls.end() || !::IsWindow(handle)) return std::nullopt;
    record = found->second;
  }
  ControlInfo info;
  info.kind = record.kind;
  info.id = record.id;
  info.rect = record.rect;
  info.enabled = ::IsWindowEnabled(handle) != 0;
  info.text = windowText(window);
  if (record.kind == ControlKind::checkBox || record.kind == ControlKind::button)
    info.checked = ::SendMessageW(handle, BM_GETCHECK, 0, 0) == BST_CHECKED;
  if (record.kind == ControlKind::comboBox) {
    const std::int32_t count = comboCount(window);
    for (std::int32_t i = 0; i < count; ++i) info.items.push_back(comboItemText(window, i).value_or(u""));
    info.selection = comboSelection(window);
    info.text = info.selection >= 0 ? info.items[static_cast<std::size_t>(info.selection)] : u"";
  }
  return info;
}

std::vector<WindowHandle> children(WindowHandle parent) {
  std::vector<WindowHandle> result;
  std::lock_guard lock(stateMutex);
  const auto found = childrenOf.find(lf_hwnd(parent));
  if (found == childrenOf.end()) return result;
  for (HWND child : found->second)
    if (::IsWindow(child)) result.push_back(lf_handle(child));
  return result;
}

std::optional<Colour> pixel(WindowHandle window, std::int32_t x, std::int32_t y) {
  std::lock_guard lock(stateMutex);
  const auto found = pictures.find(lf_hwnd(window));
  if (found == pictures.end()) return std::nullopt;
  const Picture& picture = found->second;
  if (x < 0 || y < 0 || x >= picture.width || y >= picture.height || picture.pixels.empty()) return std::nullopt;
  const std::uint32_t p = picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
  return Colour{static_cast<std::uint8_t>((p >> 16) & 0xff), static_cast<std::uint8_t>((p >> 8) & 0xff),
                static_cast<std::uint8_t>(p & 0xff)};
}

std::vector<DrawCall> lastDrawCalls(WindowHandle window) {
  std::lock_guard lock(stateMutex);
  const auto found = pictures.find(lf_hwnd(window));
  return found == pictures.end() ? std::vector<DrawCall>{} : found->second.calls;
}

std::uint64_t paintCount(WindowHandle window) {
  std::lock_guard lock(stateMutex);
  const auto found = pictures.find(lf_hwnd(window));
  return found == pictures.end() ? 0 : found->second.paints;
}

bool savePng(WindowHandle window, const std::filesystem::path& file, bool withControls) {
  if (withControls) {
    // What the screen shows, the system's own controls drawn by the system.
    const auto shown = lf_capture(lf_hwnd(window));
    if (!shown || shown->pixels.empty()) return false;
    return lf_writePng(file, shown->width, shown->height, shown->pixels);
  }
  Picture picture;
  {
    std::lock_guard lock(stateMutex);
    const auto found = pictures.find(lf_hwnd(window));
    if (found == pictures.end() || found->second.pixels.empty()) return false;
    picture = found->second;
  }
  return lf_writePng(file, picture.width, picture.height, picture.pixels);
}

bool click(WindowHandle window) {
  HWND control = lf_hwnd(window);
  ControlRecord record;
  {
    std::lock_guard lock(stateMutex);
    const auto found = controls.find(control);
    if (found == controls.end()) return false;
    record = found->second;
  }
  if (record.kind != ControlKind::button && record.kind != ControlKind::checkBox) return false;
  if (!::IsWindow(control) || !::IsWindowEnabled(control)) return false;
  return ::PostMessageW(::GetParent(control), WM_COMMAND, MAKEWPARAM(record.id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control)) != 0;
}

bool choose(WindowHandle window, std::int32_t index) {
  HWND combo = lf_hwnd(window);
  ControlRecord record;
  {
    std::lock_guard lock(stateMutex);
    const auto found = controls.find(combo);
    if (found == controls.end() || found->second.kind != ControlKind::comboBox) return false;
    record = found->second;
  }
  if (!::IsWindowEnabled(combo) || index < 0 || index >= comboCount(window)) return false;
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  return ::PostMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(record.id, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(combo)) != 0;
}

bool type(WindowHandle window, std::u16string_view keys) {
  HWND edit = lf_hwnd(window);
  {
    std::lock_guard lock(stateMutex);
    const auto found = controls.find(edit);
    if (found == controls.end() || found->second.kind != ControlKind::edit) return false;
  }
  if (!::IsWindowEnabled(edit)) return false;
  // As a user who clicked behind the text: the caret at its end (in the queue before the keys).
  if (!::PostMessageW(edit, EM_SETSEL, 0x7fffffff, 0x7fffffff)) return false;
  for (char16_t key : keys)
    if (!::PostMessageW(edit, WM_CHAR, key, 1)) return false;
  return true;
}

bool waitIdle(WindowHandle window, std::chrono::milliseconds timeout) {
  HWND handle = lf_hwnd(window);
  if (!::IsWindow(handle)) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const std::uint64_t probe = ++idleProbes;
  if (!::PostMessageW(handle, idleProbeMessage, static_cast<WPARAM>(probe), 0)) return false;
  std::unique_lock lock(stateMutex);
  return idleChanged.wait_until(lock, deadline, [&] { return idleAnswered[handle] >= probe; });
}

void setWorkArea(std::optional<Rect> workArea) {
  std::lock_guard lock(stateMutex);
  workAreaOverridden = true;
  workAreaOverride = workArea;
}

void setShowCommand(WindowHandle window, std::int32_t showCommand, const Rect& normalPosition) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!::GetWindowPlacement(lf_hwnd(window), &placement)) return;
  placement.showCmd = static_cast<UINT>(showCommand);
  placement.rcNormalPosition = lf_rect(normalPosition);
  ::SetWindowPlacement(lf_hwnd(window), &placement);
}

bool isTopmost(WindowHandle window) {
  return (::GetWindowLongPtrW(lf_hwnd(window), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

std::uint64_t foreignThreadControlChanges() { return foreignChanges.load(); }

}  // namespace inspect

}  // namespace platform::gui
