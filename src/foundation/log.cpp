#include "foundation/log.hpp"

#include <stdexcept>

#include "foundation/clock.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/hooks.hpp"
#include "foundation/time_text.hpp"
#include "foundation/version.hpp"

std::ofstream logStream;
std::mutex logMutex;

namespace {
void lf_write(std::string_view prefix, std::string_view text, bool flush) {
  std::lock_guard lock(logMutex);
  if (!logStream.is_open()) return;
  // A failed write (a full disk) leaves the stream failed, which would drop every later line.
  if (!logStream) logStream.clear();
  logStream << prefix << text << '\n';
  if (flush) logStream.flush();
}
}  // namespace

void gf_openLog() {
  const std::filesystem::path path{"Log.txt"};
  gf_saveUpto3GenerationsOf(path);
  {
    std::lock_guard lock(logMutex);
    logStream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!logStream.is_open()) throw std::runtime_error("Failed to write file " + path.string());
  }
  gf_log(wdrx::format("{} (utc) {} version {} for {}", gf_timeString(gf_clock().systemSeconds()),
                      "Wendrix_P3D", programVersion.text(), "Prepar3D v5/v6"));
}

bool gf_logIsOpen() {
  std::lock_guard lock(logMutex);
  return logStream.is_open();
}

void gf_log(std::string_view text) { lf_write({}, text, false); }
void gf_logMarked(std::string_view text) { lf_write("==> ", text, true); }
void gf_logIndented(std::string_view text) { lf_write("          ", text, false); }

void gf_logFlush(std::string_view text) { lf_write({}, text, true); }

void gf_flushLog() {
  std::lock_guard lock(logMutex);
  if (logStream.is_open()) logStream.flush();
}

void gf_logUnlessStopping(const std::string& text) {
  if (gf_stopRequested()) return;
  gf_log(text);
}

std::string gf_starLine(int widthA, int widthB, bool leadingNewline, bool trailingNewline,
                        const std::string& title) {
  std::string line = leadingNewline ? "\n" : "";
  int total = widthA + widthB;
  if (total % 2 != 0) ++total;
  const int titleLength = static_cast<int>(title.size());
  if (title.empty()) {
    if (total > 0) line.append(static_cast<size_t>(total), '*');
  } else if (total > titleLength + 2) {
    const auto half = static_cast<size_t>(total / 2 - 1);
    line.append(half, '*').append(" ").append(title).append(" ").append(half, '*');
  } else {
    line += title;
  }
  if (trailingNewline) line += '\n';
  return line;
}

namespace wdrx::testing {
void closeLog() {
  std::lock_guard lock(logMutex);
  if (logStream.is_open()) logStream.close();
  logStream.clear();
}
}  // namespace wdrx::testing
