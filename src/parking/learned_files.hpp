#pragma once
// Learned airport files: what was learned at the park airport (options, radius and cargo
// changes, handmade stands, the per-airport settings), merged into standTable when the airport
// file is read and written back when the park airport is left. Run thread.
#include <cstddef>
#include <filesystem>
#include <string>
#include <unordered_set>

#include "parking/stand.hpp"

// The callsigns one static-parking calculation treats as live now.
extern std::unordered_set<std::string> calcCallsigns;

// Merges the learned file into standTable and applies its settings; a handmade file replaces
// the stands. Failures are logged; a file that cannot be used is kept as its generation *0.xml.
void lf_readLearned(const std::filesystem::path& path, const std::string& archivedAirportName);
// Forgets the learned stands kept from the learned file read before (a new airport is read).
void lf_forgetLearnedFile();
// Writes the park airport's learned file to where it was read from. Never throws; failures
// are logged and leave the previous file as it was.
void lf_saveAirportFile();
// Removes the options that came from the airport file; the number removed.
std::size_t lf_dropFileOptions(Stand& stand);
// Takes the callsigns the Traffic Reader collected into calcCallsigns and stops collecting.
void lf_snapshotCallsigns();
