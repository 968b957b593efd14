#pragma once
// The main window told where nobody looks at it: each change of its status line and, every few
// seconds, a line of its counters band for the terminal (platform::gui::terminalLine), and its
// picture kept in the PNG file that WDRX_WINDOW_PNG names while the program runs.
#include <cstdint>
#include <string>

#include "platform/window_system.hpp"

struct WindowSnapshot;

inline constexpr std::uintptr_t pictureTimerId = 1;  // the picture, every 2 s when asked for
inline constexpr std::uintptr_t stateTimerId = 2;    // the state line, every 5 s

// Connects the status line's echo (each change of the status line: a status text that comes,
// changes or goes, and an error alike, each as one line) and starts the window's two timers.
void lf_connectMirror(platform::gui::WindowHandle window);
// WM_TIMER of the main window: false when the id is none of the two.
bool lf_onMirrorTimer(std::uintptr_t id);

// The counters band in words: the simulator's lamp and name, the traffic lamp, the QNH, the
// live and the livery count.
std::string lf_stateLine(const WindowSnapshot& values);

// Saves the window's picture (with its controls) to the file WDRX_WINDOW_PNG names, written
// beside it and then moved over it, so that a viewer never reads half a picture. Nothing when
// the variable is not set or there is no window.
void gf_saveWindowPicture();
