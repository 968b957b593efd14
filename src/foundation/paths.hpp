#pragma once
// The program's folders and files: the data folder in roaming AppData, and folders relative
// to the working folder (the program's own folder).
#include <filesystem>

// Set during static initialisation from the environment (WDRX_DATA_DIR overrides the roaming
// folder); fixed for the process afterwards. Tests that change the environment call
// gf_initDataFolder again.
extern std::filesystem::path dataFolder;      // <roaming AppData>/Wendrix_P3D
extern std::filesystem::path parametersFile;  // dataFolder / "parameters.xml"
void gf_initDataFolder();

namespace paths {
inline const std::filesystem::path inputFolder{"input"};
inline const std::filesystem::path dbaseEnc{"input/dbase.enc"};
inline const std::filesystem::path dbaseXml{"input/dbase.xml"};
inline const std::filesystem::path regcodesEnc{"input/AIG-regcodes.enc"};
inline const std::filesystem::path airportsEnc{"input/airports.enc"};
inline const std::filesystem::path airportsXml{"input/airports.xml"};
inline const std::filesystem::path regcodesXml{"input/AIG-regcodes.xml"};
inline const std::filesystem::path myRegcodesFolder{"input/my_regcodes"};
inline const std::filesystem::path icaoList{"input/ICAO_airports.txt"};
inline const std::filesystem::path outputFolder{"output"};
inline const std::filesystem::path infoFolder{"output/info"};
inline const std::filesystem::path errorsFolder{"output/errors"};
inline const std::filesystem::path objectIdList{"output/info/ObjectIdList.txt"};
inline const std::filesystem::path manualFolder{"docs"};
inline const std::filesystem::path airportsFolder{"airports"};
inline const std::filesystem::path tbloFolder{"tblo"};
inline const std::filesystem::path tbloZip{"tblo.zip"};
inline constexpr const char* stockFolderName = "stock";
inline constexpr const char* simaddonFolderName = "simaddon";
inline constexpr const char* thirdpartyFolderName = "thirdparty";
inline constexpr const char* realTrafficFolderName = "InsideSystems";
}  // namespace paths
