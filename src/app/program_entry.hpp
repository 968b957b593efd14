#pragma once
// The program's entry: the single-instance guard, Log.txt, the command line, the data folder,
// the main window and the message loop of the GUI thread. The work of a run is done on the run
// thread, which the window starts on WM_APP_START_RUN (the first one is posted here).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* singleInstanceMutexName = "Local\\$WDRX_P3D$";
inline constexpr std::int32_t secondInstanceExitCode = -1;
// Log.txt cannot be written in the working folder: nothing else can work there either.
inline constexpr std::int32_t logFailedExitCode = 2;

// wWinMain: the process's exit code. `arguments` are those after the program name.
std::int32_t gf_programEntry(const std::vector<std::u16string>& arguments);
// The command line, the window, the first run and the message loop; the WM_QUIT code (0 on
// every failure before the loop).
std::int32_t lf_runApplication(const std::vector<std::u16string>& arguments);
// Reads the window position from parameters.xml, fits it on a monitor, creates and shows the
// main window. False when the window object never became ready or the window was not created.
bool initInstance();

// "--production"/"/production" (true) and "--no-production"/"/no-production" (false), in any
// letter case; the last one given wins; nothing when none is given.
std::optional<bool> lf_productionSwitch(const std::vector<std::u16string>& arguments);
