#pragma once
// Downloads from the maker's download area over HTTP(S) with libcurl, one URL into one file.
// A download never destroys the file it replaces: it writes a temporary file beside the target
// and renames it into place only after a complete transfer with a 2xx answer.
#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

// Time-outs and the redirect limit of a transfer. A transfer slower than lowSpeedBytes per
// second for lowSpeedTime is abandoned; so is one that has not connected within connectTimeout.
struct DownloadLimits {
  std::chrono::milliseconds connectTimeout{15000};
  long lowSpeedBytes = 1;
  std::chrono::seconds lowSpeedTime{30};
  long maxRedirects = 5;
};

// The limits new Downloaders start with (tests shorten them).
DownloadLimits gf_downloadLimits();
void gf_setDownloadLimits(const DownloadLimits& limits);

// libcurl's global initialisation, done once per process whatever thread comes first.
void gf_initCurl();

class Downloader {
 public:
  // Creates its own easy handle.
  Downloader();
  // Takes ownership of a handle from curl_easy_init, called after gf_initCurl (null: every
  // download fails).
  explicit Downloader(CURL* handle);
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  // True when the file was downloaded completely; every failure is logged and false. A
  // transfer is abandoned once a run stop or close is asked (gf_stopRequested).
  bool download(const std::string& url, const std::filesystem::path& localFile, bool binary);

  void setLimits(const DownloadLimits& limits) { limits_ = limits; }

 private:
  struct Cleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
  };
  std::unique_ptr<CURL, Cleanup> handle_;
  DownloadLimits limits_;
};

// libcurl write callback: writes the block into the open file; the number of elements written.
std::size_t lf_writeToFile(char* data, std::size_t size, std::size_t count, void* file);

// The base address of the download area, ending in "downloads/": the build default
// (WDRX_DOWNLOAD_BASE_URL) unless the environment variable WDRX_DOWNLOAD_BASE names another.
std::string gf_downloadBaseUrl();

// Addresses in the download area: the files of this major version ("{base}{major}/{file}"),
// the version list, the release notes, the zip of the latest version and airport files.
std::string gf_siteFileUrl(const std::filesystem::path& fileName);
std::string gf_versionsJsonUrl();
std::string gf_releaseNotesUrl();
std::string gf_latestVersionZipUrl();
std::string gf_airportFileUrl(const std::string& name);  // name below "downloads/P3D/"

// Downloads a file of this major version's folder (binary); logs
// "Downloaded '{}' to '{}'" or (marked) "Downloading '{}' failed !".
bool gf_downloadFromSite(const std::filesystem::path& fileName, const std::filesystem::path& localFile);
