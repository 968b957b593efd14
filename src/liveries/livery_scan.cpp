#include "liveries/livery_scan.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "aircraft/regcode_files.hpp"
#include "config/parameters.hpp"
#include "config/parameters_store.hpp"
#include "config/settings.hpp"
#include "config/settings_view.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "liveries/cfg_keys.hpp"
#include "liveries/ivao_files.hpp"
#include "liveries/liveries_cache.hpp"
#include "liveries/livery_data.hpp"
#include "liveries/scan_pool.hpp"
#include "liveries/scan_reports.hpp"
#include "platform/folder_listing.hpp"
#include "runstate/run_control.hpp"
#include "runstate/status_line.hpp"
#include "traffic/link_state.hpp"

namespace fs = std::filesystem;

namespace {

std::chrono::milliseconds scanTaskWait{10000};
std::function<void(const fs::path&)> scanTaskHook;

constexpr std::uint32_t maxFolderNumber = 10;
constexpr std::size_t maxDescendPathBytes = 250;

bool lf_stopRequested() { return runStopRequested.load() || closeRequested.load(); }

// The walk keeps paths as the system's strings: a path object splits itself into components,
// which costs more than listing a small folder.
using Native = fs::path::string_type;
using NativeView = std::basic_string_view<fs::path::value_type>;

// Whether the system's text holds the ASCII word (a UTF-16 unit of an ASCII letter is that letter).
bool lf_containsAscii(NativeView text, std::string_view word) {
  return std::search(text.begin(), text.end(), word.begin(), word.end(), [](auto unit, char letter) {
           return unit == static_cast<fs::path::value_type>(static_cast<unsigned char>(letter));
         }) != text.end();
}

// The length of the system's text in UTF-8 (an unpaired surrogate as its replacement character).
std::size_t lf_utf8Length(NativeView text) {
  if constexpr (sizeof(fs::path::value_type) == 1) {
    return text.size();
  } else {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto unit = static_cast<std::uint32_t>(text[i]);
      const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
                        static_cast<std::uint32_t>(text[i + 1]) >= 0xDC00 &&
                        static_cast<std::uint32_t>(text[i + 1]) <= 0xDFFF;
      bytes += unit < 0x80 ? 1 : (unit < 0x800 ? 2 : (pair ? 4 : 3));
      if (pair) ++i;
    }
    return bytes;
  }
}

// The beginning of the paths of a folder's entries: the folder's path and a separator where a
// path object joining them puts one.
Native lf_entryPrefix(const Native& folder) {
  Native prefix = folder;
  const bool separated = !prefix.empty() && (prefix.back() == fs::path::preferred_separator || prefix.back() == '/');
#ifdef _WIN32
  const bool driveOnly = prefix.size() == 2 && prefix[1] == ':';
#else
  const bool driveOnly = false;
#endif
  if (!prefix.empty() && !separated && !driveOnly) prefix += fs::path::preferred_separator;
  return prefix;
}

// The driver waits for one result at a time; the worker that completes it wakes it.
struct ResultWaiter {
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<const std::atomic<bool>*> awaited{nullptr};

  void complete(std::atomic<bool>& done) {
    done.store(true);
    if (awaited.load() == &done) {
      // Once the lock is had, the driver waits (or has seen the result); woken after the lock
      // is let go, it does not wait for the lock again.
      { std::lock_guard lock(mutex); }
      ready.notify_one();
    }
  }
  // False when the result is not there within the wait.
  bool await(const std::atomic<bool>& done, std::chrono::milliseconds wait) {
    if (done.load()) return true;
    std::unique_lock lock(mutex);
    awaited.store(&done);
    const bool there = ready.wait_for(lock, wait, [&] { return done.load(); });
    awaited.store(nullptr);
    return there;
  }
};

// A folder that the walk follows: its subfolders and cfg files in directory order, each
// complete on its own. A worker the driver gave up on may still fill it: both hold it.
struct FolderNode;
struct WalkItem {
  Native path;
  bool cfgFile = false;                // else a subfolder (the driver lets go of it once taken)
  std::shared_ptr<FolderNode> folder;  // a subfolder
  std::atomic<bool> read{false};       // a cfg file: result or error set
  ScanTaskResult result;
  std::exception_ptr error;
};
struct FolderNode {
  std::atomic<bool> begun{false};   // its listing task has started
  std::atomic<bool> listed{false};  // items (or failure) set
  std::vector<WalkItem> items;
  std::string failure;
};

struct WalkContext {
  std::uint32_t folderNumber;
  std::shared_ptr<const ScanInputs> inputs;
  std::function<void(const fs::path&)> hook;
  std::shared_ptr<ResultWaiter> waiter = std::make_shared<ResultWaiter>();
};

bool lf_isLiveryCfgName(NativeView name) {
  auto equalsNoCase = [&](std::string_view wanted) {
    return name.size() == wanted.size() && std::equal(name.begin(), name.end(), wanted.begin(), [](auto unit, char c) {
             const auto u = static_cast<std::uint32_t>(unit);
             return (u >= 'A' && u <= 'Z' ? u + 32 : u) == static_cast<std::uint32_t>(c);
           });
  };
  return equalsNoCase("aircraft.cfg") || equalsNoCase("sim.cfg");
}

// A folder for the walk: its path, and the open folder it is an entry of (opened through it).
struct FolderToWalk {
  Native path;
  std::size_t nameStart = 0;  // of its name in the path, with a parent
  std::shared_ptr<const platform::Folder> parent;
};

void lf_queueFolder(const std::shared_ptr<ScanPool::Queue>& queue, const std::shared_ptr<const WalkContext>& context,
                    std::shared_ptr<FolderNode> node, FolderToWalk folder, bool front);

// Lists one folder, puts its subfolders on the queue and reads its cfg files, on a scanner
// thread. Scenery folders ("airport" in the name) and paths of 250 bytes or more (which also
// ends link loops) are not entered; every other folder is, whatever its name: a package may sit
// in a folder named like a livery's model or texture folder.
void lf_walkFolder(const std::shared_ptr<ScanPool::Queue>& queue, const std::shared_ptr<const WalkContext>& context,
                   const std::shared_ptr<FolderNode>& node, FolderToWalk walked) {
  node->begun.store(true);
  const Native& folder = walked.path;
  std::vector<platform::FolderEntry> entries;
  std::vector<std::pair<const Native*, bool>> followed;  // name, is a folder
  std::shared_ptr<const platform::Folder> opened;
  bool anyCfg = false;
  try {
    std::error_code ec;
    std::unique_ptr<platform::Folder> open =
        walked.parent ? platform::Folder::open(folder.substr(walked.nameStart), ec, walked.parent.get())
                      : platform::Folder::open(folder, ec);
    walked.parent.reset();  // the folder no longer needs its parent open
    if (open) open->list(entries, ec);
    // A folder that may not be opened is passed over without a word.
    if (ec && ec != std::errc::permission_denied) {
      gf_logMarked(wdrx::format("liveries search in {} aborted, cause: {}", lf_pathToUtf8(fs::path(folder)),
                                ec.message()));
    }
    opened = std::move(open);
    const Native prefix = lf_entryPrefix(folder);
    const std::size_t prefixBytes = lf_utf8Length(prefix);
    for (const platform::FolderEntry& entry : entries) {
      if (entry.type == platform::EntryType::folder) {
        if (lf_containsAscii(entry.name, "airport") || prefixBytes + lf_utf8Length(entry.name) >= maxDescendPathBytes)
          continue;
        followed.emplace_back(&entry.name, true);
      } else if (entry.type == platform::EntryType::file && lf_isLiveryCfgName(entry.name)) {
        followed.emplace_back(&entry.name, false);
        anyCfg = true;
      }
    }
    node->items = std::vector<WalkItem>(followed.size());
    for (std::size_t i = 0; i < followed.size(); ++i) {
      node->items[i].path = prefix + *followed[i].first;
      node->items[i].cfgFile = !followed[i].second;
      if (followed[i].second) node->items[i].folder = std::make_shared<FolderNode>();
    }
    // At the front in reverse order: the first subfolder is taken first, depth first.
    for (std::size_t i = node->items.size(); i-- > 0;) {
      WalkItem& item = node->items[i];
      if (item.cfgFile) continue;
      const std::size_t nameStart = item.path.size() - followed[i].first->size();
      lf_queueFolder(queue, context, item.folder, FolderToWalk{item.path, nameStart, opened}, true);
    }
  } catch (const std::exception& e) {
    node->failure = e.what();
    node->items.clear();
  }
  context->waiter->complete(node->listed);
  if (!anyCfg || node->items.empty()) return;

  // The cfg files are read through the open folder and ask for the folders and files their
  // sections name: the listing answers.
  auto listed = std::make_shared<FolderEntries>();
  listed->folder = std::move(opened);
  for (platform::FolderEntry& entry : entries) {
    if (entry.type == platform::EntryType::other) continue;
    listed->sorted.emplace_back(std::move(entry.name), entry.type == platform::EntryType::folder
                                                           ? fs::file_type::directory
                                                           : fs::file_type::regular);
  }
  std::sort(listed->sorted.begin(), listed->sorted.end());
  const std::shared_ptr<const FolderEntries> shared = std::move(listed);
  for (WalkItem& item : node->items) {
    if (!item.cfgFile) continue;
    try {
      const fs::path file(item.path);
      if (context->hook) context->hook(file);
      item.result = lf_isIvaoPath(lf_pathToUtf8(file))
                        ? lf_searchLiveriesinIVAOFile(context->folderNumber, file, *context->inputs, shared)
                        : lf_searchLiveriesinFile(context->folderNumber, file, *context->inputs, shared);
    } catch (...) {
      item.error = std::current_exception();
    }
    context->waiter->complete(item.read);
  }
}

void lf_queueFolder(const std::shared_ptr<ScanPool::Queue>& queue, const std::shared_ptr<const WalkContext>& context,
                    std::shared_ptr<FolderNode> node, FolderToWalk folder, bool front) {
  queue->post([queue, context, node = std::move(node), folder = std::move(folder)]() mutable {
    lf_walkFolder(queue, context, node, std::move(folder));
  }, front);
}

// Waits at most the task wait; a late result is given up (lost), and the pool gets a thread in
// place of the one that may be stuck with it. A listing that has not begun is not stuck but
// queued behind one that is: it gets a second wait, which the added thread serves.
void lf_awaitResult(const WalkContext& context, const std::atomic<bool>& done, ScanPool& pool,
                    const std::atomic<bool>* begun = nullptr) {
  if (context.waiter->await(done, scanTaskWait)) return;
  pool.addWorker();
  if (begun != nullptr && !begun->load() && context.waiter->await(done, scanTaskWait)) return;
  throw std::runtime_error("Future wait timed out after 10 seconds");
}

// Takes the results of a folder in directory order, depth first.
void lf_takeFolder(const WalkContext& context, FolderNode& node, const Native& folder, ScanPool& pool) {
  try {
    lf_awaitResult(context, node.listed, pool, &node.begun);
    if (!node.failure.empty()) throw std::runtime_error(node.failure);
  } catch (const std::exception& e) {
    gf_logMarked(wdrx::format("liveries search in {} aborted, cause: {}", lf_pathToUtf8(fs::path(folder)), e.what()));
    return;
  }
  for (WalkItem& item : node.items) {
    if (!item.cfgFile) {
      lf_takeFolder(context, *item.folder, item.path, pool);
      item.folder.reset();  // taken: its part of the tree goes now, not at the end of the walk
      continue;
    }
    try {
      lf_awaitResult(context, item.read, pool);
      if (item.error) std::rethrow_exception(item.error);  // the task's own exception
      lf_takeTaskResult(std::move(item.result), scannedLiveries);
    } catch (const std::exception& e) {
      gf_logMarked(wdrx::format("liveries inner search aborted: {}", e.what()));
    }
  }
}

}  // namespace

bool lf_isIvaoPath(const std::string& pathText) {
  return pathText.find("ivao_x-csl") != std::string::npos || pathText.find("IVAO_MTL") != std::string::npos;
}

void lf_scanLiveryFolder(std::uint32_t folderNumber, const fs::path& path, ScanPool& pool,
                         const std::shared_ptr<const ScanInputs>& inputs) {
  auto context = std::make_shared<const WalkContext>(WalkContext{folderNumber, inputs, scanTaskHook});
  auto root = std::make_shared<FolderNode>();
  lf_queueFolder(pool.queue(), context, root, FolderToWalk{path.native(), 0, nullptr}, false);
  lf_takeFolder(*context, *root, path.native(), pool);
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
  lf_sortLiveries(scannedLiveries);
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
