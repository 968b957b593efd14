#pragma once
// Where airport files lie: the user's folders, the download area, pointer files, the learned
// file that belongs to an airport file; the download of a file of the download area and the
// nearest stand of another airport. Run thread.
#include <filesystem>
#include <string>

#include "foundation/fixed_code.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/paths.hpp"

inline const std::filesystem::path& airportsFolder = paths::airportsFolder;
inline const std::filesystem::path myThirdpartyFolder{"airports/my_thirdparty"};
inline const std::filesystem::path myOrbxFolder{"airports/my_ORBX"};
inline const std::filesystem::path learnedFolder{"airports/learned"};
inline const std::filesystem::path learnedStockFolder{"airports/learned/stock"};
inline const std::filesystem::path learnedSimaddonFolder{"airports/learned/simaddon"};
inline const std::filesystem::path learnedThirdpartyFolder{"airports/learned/thirdparty"};
inline const std::filesystem::path myParkAirportsFile{"airports/my_park_airports.txt"};
inline const std::filesystem::path parkAirportDownload{"airports/park_airport.xml"};
inline const std::filesystem::path otherAirportDownload{"airport.xml"};

// The name of the airport's file: a path on disk (beginning with "airports") or a name in the
// download area; empty when there is none.
std::string gf_findApfFile(const IcaoCode& code);
bool gf_apfExists(const IcaoCode& code);
// The airport-file name on the pointer file's first line (at least 4 characters, ending in
// ".xml" in any case, trailing white space removed). Names that would leave the airports folder
// or the download area are refused.
bool gf_readApfPointer(const std::filesystem::path& pointer, std::string& name);
// Fetches a file of the download area into the local path; empty on success, else the error
// text ("failed to download: '{}'"), with no file left at the local path.
std::string gf_downloadApf(const std::string& name, const std::filesystem::path& localPath);
// A name of gf_findApfFile that is a file on disk, as a path; empty for a download-area name.
std::filesystem::path gf_localApfPath(const std::string& name);

// The learned file of an airport file, empty when none. Never outside airports/learned.
std::filesystem::path gf_chooseApfOrigin(const std::string& name, const std::string& publisher);
// Where the park airport's learned data are read from and saved to: gf_chooseApfOrigin, or for
// an airport file without one the publisher's folder ("stock", "simaddon", else
// learned/thirdparty/<publisher>) with the code's file name. Empty when neither is safe.
std::filesystem::path gf_learnedFileLocation(const std::string& name, const std::string& publisher,
                                             const IcaoCode& code);

// Distance in nm from the position to the nearest stand of the airport's file (100.0 when none
// is nearer), with the stand's name; 0.0 and an empty name when the file cannot be had.
double gf_readDestApfForClosestStand(const IcaoCode& code, const LatLon& position,
                                     std::string& standName);

// Empties standTable; its capacity stays.
void lf_clearStands();
std::string lf_trimBlanks(std::string_view text);
