#include "foundation/download.hpp"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <system_error>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/version.hpp"

#ifndef WDRX_DOWNLOAD_BASE_URL
#error "WDRX_DOWNLOAD_BASE_URL must be defined by the build (src/foundation/CMakeLists.txt)"
#endif

namespace {

std::mutex limitsMutex;
DownloadLimits defaultLimits;

// Aborts the transfer once the run is asked to stop or the window to close.
int lf_transferProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return gf_stopRequested() ? 1 : 0;
}

void lf_removeQuietly(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

template <typename Value>
void lf_setOption(CURL* handle, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(handle, option, value);
  if (code != CURLE_OK) {
    throw std::runtime_error(wdrx::format("curl_easy_setopt {}: {}", static_cast<int>(option),
                                          curl_easy_strerror(code)));
  }
}

}  // namespace

DownloadLimits gf_downloadLimits() {
  std::lock_guard lock(limitsMutex);
  return defaultLimits;
}

void gf_setDownloadLimits(const DownloadLimits& limits) {
  std::lock_guard lock(limitsMutex);
  defaultLimits = limits;
}

void gf_initCurl() {
  // curl_global_init is not thread-safe itself; curl_easy_init would call it unguarded.
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      gf_logMarked("curl_global_init failed");
    }
  });
}

Downloader::Downloader() : limits_(gf_downloadLimits()) {
  gf_initCurl();
  handle_.reset(curl_easy_init());
}

Downloader::Downloader(CURL* handle) : handle_(handle), limits_(gf_downloadLimits()) {}

std::size_t lf_writeToFile(char* data, std::size_t size, std::size_t count, void* file) {
  auto& out = *static_cast<std::ofstream*>(file);
  out.write(data, static_cast<std::streamsize>(size * count));
  return out ? count : 0;
}

bool Downloader::download(const std::string& url, const std::filesystem::path& localFile, bool binary) {
  if (!handle_) return false;
  const std::filesystem::path temporary = gf_temporaryBeside(localFile);
  try {
    std::ofstream out(temporary, binary ? std::ios::out | std::ios::trunc | std::ios::binary
                                        : std::ios::out | std::ios::trunc);
    if (!out) {
      gf_log(wdrx::format("Could not open output file: {}", gf_pathToUtf8(localFile)));
      return false;
    }
    CURL* handle = handle_.get();
    lf_setOption(handle, CURLOPT_URL, url.c_str());
    lf_setOption(handle, CURLOPT_USERAGENT, "WDRX");
    lf_setOption(handle, CURLOPT_WRITEFUNCTION, &lf_writeToFile);
    lf_setOption(handle, CURLOPT_WRITEDATA, static_cast<void*>(&out));
    lf_setOption(handle, CURLOPT_FAILONERROR, 1L);
    lf_setOption(handle, CURLOPT_FOLLOWLOCATION, 1L);
    lf_setOption(handle, CURLOPT_MAXREDIRS, limits_.maxRedirects);
    lf_setOption(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    lf_setOption(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    lf_setOption(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connectTimeout.count()));
    lf_setOption(handle, CURLOPT_LOW_SPEED_LIMIT, limits_.lowSpeedBytes);
    lf_setOption(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits_.lowSpeedTime.count()));
    lf_setOption(handle, CURLOPT_NOSIGNAL, 1L);  // time-outs without signals on worker threads
    lf_setOption(handle, CURLOPT_XFERINFOFUNCTION, &lf_transferProgress);
    lf_setOption(handle, CURLOPT_NOPROGRESS, 0L);

    const CURLcode result = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    out.close();
    std::string error;
    if (result != CURLE_OK) {
      error = curl_easy_strerror(result);
    } else if (status < 200 || status > 299) {
      error = wdrx::format("HTTP response code {}", status);
    } else if (!out) {
      error = "could not write " + gf_pathToUtf8(temporary);
    }
    if (!error.empty()) {
      gf_log(wdrx::format("Download error: '{}' for {}", error, url));
      lf_removeQuietly(temporary);
      return false;
    }
    std::filesystem::rename(temporary, localFile);
    return true;
  } catch (const std::exception& e) {
    gf_log(wdrx::format("Downloader exception: '{}', {} => {}", e.what(), url, gf_pathToUtf8(localFile)));
    lf_removeQuietly(temporary);
    return false;
  }
}

std::string gf_downloadBaseUrl() {
  const char* overridden = std::getenv("WDRX_DOWNLOAD_BASE");
  std::string base = overridden != nullptr && *overridden != '\0' ? overridden : WDRX_DOWNLOAD_BASE_URL;
  if (!base.ends_with('/')) base += '/';
  return base;
}

std::string gf_siteFileUrl(const std::filesystem::path& fileName) {
  return wdrx::format("{}{}/{}", gf_downloadBaseUrl(), programVersion.major, fileName.generic_string());
}

std::string gf_versionsJsonUrl() { return gf_downloadBaseUrl() + "versions.json"; }

std::string gf_releaseNotesUrl() { return gf_downloadBaseUrl() + "docs/ReleaseNotes.pdf"; }

std::string gf_latestVersionZipUrl() {
  return wdrx::format("{}{}/{}", gf_downloadBaseUrl() + "release/", "Wendrix_P3D", "latest_version.zip");
}

std::string gf_airportFileUrl(const std::string& name) { return gf_downloadBaseUrl() + "P3D/" + name; }

bool gf_downloadFromSite(const std::filesystem::path& fileName, const std::filesystem::path& localFile) {
  Downloader downloader;
  const std::string url = gf_siteFileUrl(fileName);
  const bool done = downloader.download(url, localFile, true);
  if (done) {
    gf_log(wdrx::format("Downloaded '{}' to '{}'", url, gf_pathToUtf8(localFile)));
  } else {
    gf_logMarked(wdrx::format("Downloading '{}' failed !", url));
  }
  return done;
}
