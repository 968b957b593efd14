#include "aircraft/liveries/livery_scan.hpp"

#include <algorithm>
#include <vector>
#include <exception>
#include <future>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <tuple>

#include "aircraft/liveries/cfg_keys.hpp"
#include "aircraft/liveries/ivao_files.hpp"
#include "aircraft/liveries/liveries_cache.hpp"
#include "aircraft/liveries/livery_data.hpp"
#include "aircraft/liveries/scan_pool.hpp"
#include "aircraft/liveries/scan_reports.hpp"
#include "aircraft/regcode_files.hpp"
#include "app/run_control.hpp"
#include "app/status_line.hpp"
#include "config/parameters.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "traffic/link_state.hpp"

namespace fs = std::filesystem;

namespace {

std::chrono::milliseconds scanTaskWait{10000};
std::function<void(const fs::path&)> scanTaskHook;

constexpr std::uint32_t maxFolderNumber = 10;
constexpr std::size_t maxDescendPathBytes = 250;

bool lf_stopRequested() { return runStopRequested.load() || closeRequested.load(); }

bool lf_startsWithNoCase(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && std::equal(start.begin(), start.end(), text.begin(), [](char x, char y) {
           return gf_toUpperChar(x) == gf_toUpperChar(y);
         });
}

bool lf_equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && lf_startsWithNoCase(a, b);
}

// One entry of a folder that the scan follows, in directory order: a cfg file with the task
// that reads it, or a subfolder with the task that lists it.
struct WalkItem;
struct FolderListing {
  std::vector<WalkItem> items;
};
struct WalkItem {
  fs::path path;
  std::future<ScanTaskResult> file;      // valid for a cfg file
  std::future<FolderListing> listing;    // valid for a subfolder
};

struct WalkContext {
  std::uint32_t folderNumber;
  std::shared_ptr<const ScanInputs> inputs;
  std::function<void(const fs::path&)> hook;
};

std::future<FolderListing> lf_queueListing(const std::shared_ptr<ScanPool::Queue>& queue,
                                           const std::shared_ptr<const WalkContext>& context, fs::path folder,
                                           bool front);

// Lists one folder on a scanner thread and queues a task for each cfg file and subfolder
// to follow. Scenery folders ("airport" in the path) and paths of 250 bytes or more (which
// also ends link loops) are not entered; every other folder is, whatever its name: a package
// may sit in a folder named like a livery's model or texture folder.
FolderListing lf_listFolder(const std::shared_ptr<ScanPool::Queue>& queue,
                            const std::shared_ptr<const WalkContext>& context, const fs::path& folder) {
  constexpr auto options = fs::directory_options::follow_directory_symlink | fs::directory_options::skip_permission_denied;
  FolderListing listing;
  std::vector<bool> isFolder;
  auto entries = std::make_shared<FolderEntries>();
  std::error_code ec;
  for (fs::directory_iterator it(folder, options, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    std::error_code typeError;
    // The entry's type comes with the listing (a link is followed, as a status query does).
    if (entry.is_directory(typeError)) {
      const fs::path fileName = entry.path().filename();
      const std::string name = lf_pathToUtf8(fileName);
      entries->sorted.emplace_back(fileName.native(), fs::file_type::directory);
      if (name.find("airport") != std::string::npos ||
          lf_pathToUtf8(entry.path()).size() >= maxDescendPathBytes)
        continue;
      isFolder.push_back(true);
    } else if (entry.is_regular_file(typeError)) {
      entries->sorted.emplace_back(entry.path().filename().native(), fs::file_type::regular);
      if (!lf_isLiveryCfgFile(entry.path())) continue;
      isFolder.push_back(false);
    } else {
      continue;
    }
    listing.items.push_back(WalkItem{entry.path(), {}, {}});
  }
  std::sort(entries->sorted.begin(), entries->sorted.end());
  const std::shared_ptr<const FolderEntries> listed = std::move(entries);
  if (ec) {
    gf_logMarked(wdrx::format("liveries search in {} aborted, cause: {}", lf_pathToUtf8(folder), ec.message()));
  }
  // Queued at the front in reverse order: the first entry is taken first, depth first.
  for (std::size_t i = listing.items.size(); i-- > 0;) {
    WalkItem& item = listing.items[i];
    if (isFolder[i]) {
      item.listing = lf_queueListing(queue, context, item.path, true);
    } else {
      const bool ivao = lf_isIvaoPath(lf_pathToUtf8(item.path));
      item.file = queue->submit(
          [context, file = item.path, ivao, listed]() {
            if (context->hook) context->hook(file);
            return ivao ? lf_searchLiveriesinIVAOFile(context->folderNumber, file, *context->inputs, listed)
                        : lf_searchLiveriesinFile(context->folderNumber, file, *context->inputs, listed);
          },
          true);
    }
  }
  return listing;
}

std::future<FolderListing> lf_queueListing(const std::shared_ptr<ScanPool::Queue>& queue,
                                           const std::shared_ptr<const WalkContext>& context, fs::path folder,
                                           bool front) {
  return queue->submit(
      [queue, context, folder = std::move(folder)]() { return lf_listFolder(queue, context, folder); }, front);
}

// Waits at most the task wait for a task; a late task is given up (its result is lost).
template <typename Result>
Result lf_awaitTask(std::future<Result>& future, ScanPool& pool) {
  if (future.wait_for(scanTaskWait) != std::future_status::ready) {
    pool.addWorker();
    throw std::runtime_error("Future wait timed out after 10 seconds");
  }
  return future.get();  // rethrows the task's exception
}

// Takes the results of a folder's tasks in directory order, depth first.
void lf_takeFolder(std::future<FolderListing>& future, const fs::path& folder, ScanPool& pool) {
  FolderListing listing;
  try {
    listing = lf_awaitTask(future, pool);
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("liveries search in {} aborted, cause: {}", lf_pathToUtf8(folder), e.what()));
    return;
  }
  for (WalkItem& item : listing.items) {
    if (item.listing.valid()) {
      lf_takeFolder(item.listing, item.path, pool);
      continue;
    }
    try {
      lf_takeTaskResult(lf_awaitTask(item.file, pool), scannedLiveries);
    } catch (const std::exception& e) {
      gf_logMarked(wdrx::format("liveries inner search aborted: {}", e.what()));
    }
  }
}

}  // namespace

bool lf_isLiveryCfgFile(const fs::path& path) {
  const std::string stem = path.stem().string();
  return lf_equalsNoCase(path.extension().string(), ".cfg") &&
         (lf_equalsNoCase(stem, "aircraft") || lf_equalsNoCase(stem, "sim"));
}

bool lf_isIvaoPath(const std::string& pathText) {
  return pathText.find("ivao_x-csl") != std::string::npos || pathText.find("IVAO_MTL") != std::string::npos;
}

void lf_scanLiveryFolder(std::uint32_t folderNumber, const fs::path& path, ScanPool& pool,
                         const std::shared_ptr<const ScanInputs>& inputs) {
  auto context = std::make_shared<const WalkContext>(WalkContext{folderNumber, inputs, scanTaskHook});
  std::future<FolderListing> root = lf_queueListing(pool.queue(), context, path, false);
  lf_takeFolder(root, path, pool);
}

void lf_prioritizeLiveries() {
  using Key = std::tuple<std::uint16_t, std::uint16_t, std::uint16_t>;
  std::map<Key, std::uint16_t> lowest;
  for (const LiveryData& livery : scannedLiveries) {
    const Key key{livery.codes.airlineId, livery.codes.operatorId, livery.codes.modelId};
    auto [it, inserted] = lowest.try_emplace(key, livery.folderNumber);
    if (!inserted && livery.folderNumber < it->second) it->second = livery.folderNumber;
  }
  scannedLiveries.remove_if([&](const LiveryData& livery) {
    return livery.folderNumber >
           lowest.at(Key{livery.codes.airlineId, livery.codes.operatorId, livery.codes.modelId});
  });
}

void lf_removeDuplicateLiveries() {
  scannedLiveries.unique([](const LiveryData& a, const LiveryData& b) {
    return a.title == b.title && a.codes.airlineId == b.codes.airlineId &&
           a.codes.operatorId == b.codes.operatorId && a.codes.modelId == b.codes.modelId &&
           a.registration == b.registration;
  });
}

bool lf_scanLiveryFolders(const std::vector<fs::path>& folders) {
  scannedLiveries.clear();
  lf_removeScanFiles();
  // A scan that was stopped or failed left its claimed titles and report lines: they would
  // refuse this scan's liveries as duplicates and be reported twice.
  lf_clearScanLists();
  lf_readDontUseTitles();
  std::uint32_t folderNumber = 0;
  std::size_t total = 0;
  {
    ScanPool pool(workerCount.load(), scanTaskWait);
    const std::shared_ptr<const ScanInputs> inputs = lf_makeScanInputs();
    for (const fs::path& folder : folders) {
      const fs::file_status status = fs::status(folder);  // throws for errors other than "not found"
      if (!fs::exists(status)) {
        gf_log(lf_narrowPath(folder) + " does not exist, skipped!");
        continue;
      }
      if (!fs::is_directory(status)) {
        gf_log(lf_narrowPath(folder) + " is not a folder name, skipped!");
        continue;
      }
      if (folderNumber < maxFolderNumber) ++folderNumber;
      if (lf_stopRequested()) return true;
      const std::size_t before = scannedLiveries.size();
      lf_scanLiveryFolder(folderNumber, folder, pool, inputs);
      const std::size_t count = scannedLiveries.size() - before;
      const std::string where = wdrx::format("found in {}", lf_narrowPath(folder));
      gf_log(count == 0 ? wdrx::format("No liveries {}", where)
                        : wdrx::format("{} liverie{} {}", count, gf_pluralSize(count), where));
      total += count;
    }
    // Every task has ended (or is left behind with nothing shared) before the lists are
    // written and emptied.
    pool.finish(scanTaskWait);  // (the destructor does the same on an early return)
  }
  if (lf_stopRequested()) return true;
  if (scannedLiveries.empty()) {
    liveryCount.store(0);
    gf_invalidateCountersBand();
    return false;
  }
  if (folders.size() > 1) gf_log(wdrx::format("{} in total", total));
  if (LIG_PRIORITIZE.value.load()) lf_prioritizeLiveries();
  scannedLiveries.sort(lf_liveryLess);
  lf_removeDuplicateLiveries();
  lf_writeLiveriesScanned();
  scannedLiveries.clear();
  lf_writeScanErrors();
  lf_clearScanLists();
  gf_clearStatus();
  return true;
}

void lf_checkLiveryFolders(std::vector<fs::path>& folders) {
  folders.reserve(liveryFolderParameters.size());
  for (StringParameter* parameter : liveryFolderParameters) {
    const std::string value = parameter->value.load();
    if (value.empty()) continue;
    const fs::path folder(std::u8string(value.begin(), value.end()));  // the setting is UTF-8
    std::error_code ec;
    if (!fs::exists(folder, ec) || ec) {
      gf_logMarked(wdrx::format("{}: '{}' does not exist", parameter->name, value));
      throw tql::UserErrorException(
          243, wdrx::format("the path pointed to by parameter '{}' does not exist, see Log.txt!", parameter->name));
    }
    folders.push_back(folder);
  }
}

bool gf_scanLiveries() {
  const bool prioritized = LIG_PRIORITIZE.value.load();
  gf_postStatus(wdrx::format("Scanning {}for liveries ...", prioritized ? "prioritized " : ""), false);
  gf_log(wdrx::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                      "manual"));
  liveryCount.store(0);
  gf_invalidateCountersBand();

  std::vector<fs::path> folders;
  lf_checkLiveryFolders(folders);
  if (folders.empty()) {
    gf_openManualFolder();
    gf_openParametersFolder();
    throw tql::UserErrorException(
        48, wdrx::format("Exit {} first!   Then set one or more lfolder parameters to your liveries, see Manual 5.3",
                         "Wendrix_P3D"));
  }
  if (!lf_scanLiveryFolders(folders)) throw tql::UserErrorException(53, "no liveries found");
  const bool completed = !lf_stopRequested();

  SCAN_LIVERIES.value.store(false);
  gf_saveBoolParameter(SCAN_LIVERIES);
  if (SettingsView* view = gf_settingsView()) view->setCheck(SCAN_LIVERIES, false);
  gf_invalidateOptionsBand();
  gf_invalidateCountersBand();
  gf_logFlush("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
  return completed;
}

namespace wdrx::testing {
void setScanTaskWait(std::chrono::milliseconds wait) { scanTaskWait = wait; }
void setScanTaskHook(std::function<void(const fs::path&)> hook) { scanTaskHook = std::move(hook); }
}  // namespace wdrx::testing
