// Detection of the installed Prepar3D and of the major version named by its install path.
#include "app/p3d_detection.hpp"

#include <cstdlib>

#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/user_error.hpp"
#include "platform/utf.hpp"
#include "platform/window_system.hpp"
#include "runstate/status_line.hpp"
#include "simconnect/p3d_registry.hpp"
#include "window/window_commands.hpp"

std::atomic<bool> p3dV5Installed{false};
std::atomic<bool> p3dV6Installed{false};

namespace {

constexpr const char* noPathText =
    "No P3D install path detected. Type the full Install Path above, then press Enter";
constexpr const char* installPathVariable = "WDRX_INSTALL_PATH";

// A message that asks the user to type the path into the box, with the way to give it where
// nobody can type into the window.
std::string lf_askForInstallPath(const char* text) {
  if (platform::gui::hasScreen()) return text;
  return wdrx::format("{} (no screen here: start the program with {}=<install path>)", text,
                      installPathVariable);
}

bool lf_anyFolderSet(const std::vector<StringParameter*>& folders) {
  for (const StringParameter* folder : folders)
    if (!folder->value.load().empty()) return true;
  return false;
}

[[noreturn]] void lf_noInstallPath() {
  ALL_INSTALL_PATH.value.store(std::string{});
  gf_showStringParameter(ALL_INSTALL_PATH);
  throw tql::UserErrorException(151, lf_askForInstallPath(noPathText));
}

}  // namespace

void lf_installPathFromEnvironment() {
  const char* text = std::getenv(installPathVariable);
  if (text == nullptr || *text == '\0' || SIM_INSTALL_PATH.value.load() == text) return;
  const std::string path(text);
  if (!gf_installPathExists(path)) return;
  gf_setStringParameter(SIM_INSTALL_PATH, path);
  gf_log(wdrx::format("Install path from {}: {}", installPathVariable, path));
}

void gf_detectInstalledSimulators() {
  p3dV5Installed.store(gf_isP3Dinstalled(5));
  p3dV6Installed.store(gf_isP3Dinstalled(6));
}

void lf_detectP3D() {
  const int version = (p3dV6Installed.load() ? 6 : 0) + (p3dV5Installed.load() ? 5 : 0);
  if (version > 6) {
    throw tql::UserErrorException(
        153, lf_askForInstallPath("More than one P3D version detected. Type the full Install Path "
                                  "to the wanted version above, then press Enter"));
  }
  if (version == 0) {
    gf_postStatus("P3D not detected?", true);
    // Own livery or add-on folders let the program work without the simulator's folders.
    if (lf_anyFolderSet(liveryFolderParameters) || lf_anyFolderSet(airportFolderParameters)) return;
    lf_noInstallPath();
  }
  gf_log(wdrx::format("P3Dv{} detected", version));
  const std::u16string setupPath = gf_getP3DSetupPath(version);
  if (setupPath.empty()) lf_noInstallPath();
  const std::string path = platform::utf16ToUtf8Replacing(setupPath);
  ALL_INSTALL_PATH.value.store(path);
  gf_showStringParameter(ALL_INSTALL_PATH);
  SIM_INSTALL_PATH.value.store(path);
  gf_saveStringParameter(SIM_INSTALL_PATH);
}

std::string gf_checkP3dInstallPath() {
  const std::string path = SIM_INSTALL_PATH.value.load();
  if (path.find("v5") != std::string::npos || path.find("V5") != std::string::npos) return "5";
  if (path.find("v6") != std::string::npos || path.find("V6") != std::string::npos) return "6";
  const std::int32_t version = P3D_VERSION.value.load();
  if (version >= 5) return std::to_string(version);
  throw tql::UserErrorException(
      77, wdrx::format("P3D install path does not contain v5 or v6. Use hidden parameter {}, set "
                       "it to 5 or 6.",
                       P3D_VERSION.name));
}
