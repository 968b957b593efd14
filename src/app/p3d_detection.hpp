#pragma once
// Which Prepar3D is installed and where: the registry tells the installed versions, the
// install path is stored in SIM_INSTALL_PATH (shown in the ALL_INSTALL_PATH box), and the
// simulator link takes the major version it waits for from the path.
#include <atomic>
#include <string>

// Whether the registry key of Prepar3D v5 / v6 opens; taken once at program start
// (gf_detectInstalledSimulators).
extern std::atomic<bool> p3dV5Installed;
extern std::atomic<bool> p3dV6Installed;
void gf_detectInstalledSimulators();

// The run start's detection while no install path is stored: sets the path from the registry
// of the one installed version, or goes on without one when a livery or add-on folder is set.
// Throws tql::UserErrorException 153 (both versions installed) or 151 (no path to be found).
void lf_detectP3D();

// The start of a run, before the path is looked at: the path named by WDRX_INSTALL_PATH is
// taken as if typed into the box (where there is no screen to type into). One that does not
// exist is shown on the status line and not taken.
void lf_installPathFromEnvironment();

// "5" or "6" for the simulator link: "v5"/"V5" in the path, else "v6"/"V6", else P3D_VERSION.
// Throws tql::UserErrorException 77 when it cannot be told.
std::string gf_checkP3dInstallPath();
