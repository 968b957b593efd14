#pragma once
// What one scanner task works with: the scan's fixed inputs, the state of the cfg file it
// reads and the result it hands back to the driver.
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "liveries/livery_data.hpp"
#include "liveries/scan_reports.hpp"
#include "platform/folder_listing.hpp"

// Read by every task of one scan; complete before the first task starts and never changed.
// Tasks hold it by shared pointer, so one that outlives the scan still reads valid data.
struct ScanInputs {
  std::unordered_set<std::string> dontUseTitles;
};
// The inputs of a scan from dontUseTitles.
std::shared_ptr<const ScanInputs> lf_makeScanInputs();

// The folders and regular files (links followed) that the walk saw in one folder, sorted by
// name, and the folder as the walk opened it. The tasks of that folder's cfg files read them
// through it and take a child's type from here instead of asking the system again; a name not
// listed (other case, created since) is still asked.
struct FolderEntries {
  using Name = std::filesystem::path::string_type;
  std::vector<std::pair<Name, std::filesystem::file_type>> sorted;
  std::shared_ptr<const platform::Folder> folder;  // may be null

  // The listed type of a child of the folder; file_type::none when not listed.
  std::filesystem::file_type typeOf(std::basic_string_view<Name::value_type> name) const;
};

// A task's liveries, not yet claimed, with the header line of each one's section: the report
// of a livery whose title another livery of the scan claimed first is made only then.
struct ScanTaskResult {
  std::list<LiveryData> liveries;
  std::vector<std::string> headers;
  std::string folderText;  // of the cfg file, as the reports show it
  bool ivao = false;       // an IVAO file: its reports read differently
  ScanReports reports;

  void add(LiveryData livery, std::string_view header) {
    liveries.push_back(std::move(livery));
    headers.emplace_back(header);
  }
  std::string duplicateReport(const std::string& header, const std::string& title) const;
};

// The cfg file a task reads.
struct CfgFileScan {
  std::uint32_t folderNumber = 0;
  std::filesystem::path path;
  std::filesystem::path folder;  // the folder that holds the file
  std::string pathText;          // narrow texts, as the report entries show them
  std::string folderText;
  std::string model;  // the file's validated model code
  const ScanInputs* inputs = nullptr;
  ScanTaskResult result;

  CfgFileScan(std::uint32_t number, std::filesystem::path file, const ScanInputs& scanInputs,
              std::shared_ptr<const FolderEntries> listed = {});

  // Whether the folder's child `name` is of that type (a folder, a regular file). A child that
  // the walk listed is not asked again; the sections of one file mostly name the same folders,
  // so any other path's status is asked once (a hash lookup: a file may hold thousands of
  // sections). A status error other than "not found" throws std::filesystem::filesystem_error.
  bool hasChild(const std::string& name, std::filesystem::file_type type);
  // The walk's listing of the folder; null when the task was given none.
  const FolderEntries* listed() const { return listed_.get(); }

 private:
  bool isOfType(const std::filesystem::path& path, std::filesystem::file_type type);

  std::shared_ptr<const FolderEntries> listed_;
  std::unordered_map<std::filesystem::path::string_type, std::filesystem::file_type> types_;
};

// Claims the titles of a task's liveries in their order (a title claimed before is reported
// and its livery dropped), moves the task's report lines onto the shared lists and appends
// the claimed liveries to `target`. The driver does this in the order the files were found,
// so which of two equal titles wins does not depend on thread timing.
void lf_takeTaskResult(ScanTaskResult&& result, std::list<LiveryData>& target);
