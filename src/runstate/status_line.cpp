#include "runstate/status_line.hpp"

#include <algorithm>

#include "foundation/format.hpp"
#include "foundation/hooks.hpp"
#include "foundation/log.hpp"

StatusLineState statusLine;

namespace {
std::mutex notifierMutex;
std::function<void()> statusNotifier;
std::function<void(const std::string&, const std::string&)> statusEcho;  // under statusMutex

// Called with statusMutex held, after a change.
void lf_echo() {
  if (statusEcho) statusEcho(statusLine.statusText, statusLine.errorText);
}

void lf_notify() {
  std::function<void()> notifier;
  {
    std::lock_guard lock(notifierMutex);
    notifier = statusNotifier;
  }
  if (notifier) notifier();
}

// The foundation's readers report their failures on the status line through this hook.
const bool statusPosterRegistered = [] {
  gf_setStatusPoster(&gf_postStatus);
  return true;
}();
}  // namespace

void gf_setStatusNotifier(std::function<void()> notifier) {
  std::lock_guard lock(notifierMutex);
  statusNotifier = std::move(notifier);
}

void gf_setStatusEcho(std::function<void(const std::string&, const std::string&)> echo) {
  std::lock_guard lock(statusLine.statusMutex);
  statusEcho = std::move(echo);
}

void gf_postStatus(const std::string& text, bool log) {
  {
    std::lock_guard lock(statusLine.statusMutex);
    if (!statusLine.errorText.empty()) return;
    statusLine.statusText = text;
    statusLine.statusSetAt = text.empty() ? 0 : std::max<std::uint32_t>(statusLine.statusClock, 1);
    lf_echo();
  }
  if (log && !text.empty()) gf_log(text);
  lf_notify();
}

void gf_clearStatus() { gf_postStatus(std::string{}, false); }

void gf_postError(const std::string& text) {
  {
    std::lock_guard lock(statusLine.statusMutex);
    statusLine.statusText.clear();
    statusLine.statusSetAt = 0;
    statusLine.errorText = text;
    // Written through at once: a crash or a kill while the program waits keeps it.
    gf_logFlush(wdrx::format("Error {}", text));
    lf_echo();
  }
  lf_notify();
}

void gf_clearError() {
  {
    std::lock_guard lock(statusLine.statusMutex);
    statusLine.errorText.clear();
    lf_echo();
  }
  gf_clearStatus();
}

void gf_statusSecond() {
  bool expired = false;
  {
    // Cleared under the same lock that found it expired: a message another thread posts in
    // between must not be wiped unseen.
    std::lock_guard lock(statusLine.statusMutex);
    ++statusLine.statusClock;
    expired = statusLine.statusSetAt > 0 &&
              statusLine.statusClock >= statusLine.statusSetAt + std::uint32_t{25};
    if (expired) {
      statusLine.statusText.clear();
      statusLine.statusSetAt = 0;
      lf_echo();
    }
  }
  if (expired) lf_notify();
}

StatusSnapshot gf_statusSnapshot() {
  std::lock_guard lock(statusLine.statusMutex);
  return {statusLine.statusText, statusLine.errorText, statusLine.statusClock,
          statusLine.statusSetAt};
}

namespace {
// Called with statusMutex held.
void lf_emptyStatusLine() {
  statusLine.statusText.clear();
  statusLine.errorText.clear();
  statusLine.statusClock = 0;
  statusLine.statusSetAt = 0;
}
}  // namespace

void gf_resetStatusLine() {
  {
    std::lock_guard lock(statusLine.statusMutex);
    lf_emptyStatusLine();
    lf_echo();
  }
  lf_notify();
}

namespace wdrx::testing {
void resetStatusLine() {
  std::lock_guard lock(statusLine.statusMutex);
  lf_emptyStatusLine();
}
}  // namespace wdrx::testing
