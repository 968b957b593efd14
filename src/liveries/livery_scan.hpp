#pragma once
// The livery scan: walks the livery folders lfolder0..lfolder9, reads every aircraft.cfg and
// sim.cfg on the scanner threads, and stores the result in the cache and the report files.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ScanPool;
struct ScanInputs;

// The scan of a start-up (when SCAN_LIVERIES is on or the cache is not usable). Throws
// tql::UserErrorException 48 (no lfolder set), 243 (an lfolder path does not exist) or 53
// (no livery found). False when a stop request cut it short: nothing was written then.
bool gf_scanLiveries();

// The existing folders of lfolder0..lfolder9, in order; throws 243 for a missing one.
void lf_checkLiveryFolders(std::vector<std::filesystem::path>& folders);
// The scan proper; false when no livery at all was found.
bool lf_scanLiveryFolders(const std::vector<std::filesystem::path>& folders);
// Walks one folder tree: one task on the pool per folder lists it, queues its subfolders and
// reads its cfg files (aircraft.cfg or sim.cfg in any case); the results are taken in directory
// order, depth first, so that which of two equal titles wins does not depend on thread timing.
// The driver waits at most 10 s for each listing and each file; one it gives up on loses that
// file (or that folder) only.
void lf_scanLiveryFolder(std::uint32_t folderNumber, const std::filesystem::path& path, ScanPool& pool,
                         const std::shared_ptr<const ScanInputs>& inputs);
// Keeps, for each airline, operator and model, only the liveries of the lowest folder number.
void lf_prioritizeLiveries();
// Of consecutive records with equal title, airline, operator, model and registration keeps the first.
void lf_removeDuplicateLiveries();

// Whether the file goes to the IVAO task.
bool lf_isIvaoPath(const std::string& pathText);

namespace wdrx::testing {
// How long the driver waits for one task (10 s in the program).
void setScanTaskWait(std::chrono::milliseconds wait);
// Called at the start of every scanner task with its file (empty: nothing).
void setScanTaskHook(std::function<void(const std::filesystem::path&)> hook);
}  // namespace wdrx::testing
