#pragma once
// The main window's one-line status band: a status message that expires after 25 seconds of
// running flight, or an error that holds until it is cleared. Any thread may set it; the
// window repaints on the notification (WM_APP_STATUS on Windows).
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct StatusLineState {
  std::mutex statusMutex;  // taken before logMutex, never after
  std::string statusText;
  std::string errorText;
  std::uint32_t statusClock = 0;  // seconds of running flight
  std::uint32_t statusSetAt = 0;  // statusClock when statusText was set, >= 1; 0 when empty
};

extern StatusLineState statusLine;

void gf_postStatus(const std::string& text, bool log = false);
void gf_clearStatus();
void gf_postError(const std::string& text);

// Empties the error text and the status message (run reset, restart, the install-path box).
void gf_clearError();

// The run reset: both texts empty, statusClock and statusSetAt 0.
void gf_resetStatusLine();

// The per-second work while the flight runs: advances statusClock, clears an expired status.
void gf_statusSecond();

// Copies of the two texts, taken under statusMutex (painting, tests).
struct StatusSnapshot {
  std::string statusText;
  std::string errorText;
  std::uint32_t statusClock = 0;
  std::uint32_t statusSetAt = 0;
};
StatusSnapshot gf_statusSnapshot();

// The window registers how it is told to repaint the status band; called after each change,
// outside statusMutex. Empty: nothing is posted.
void gf_setStatusNotifier(std::function<void()> notifier);

// The window registers how each change is told where there is no screen: called with the new
// status and error texts after every change, under statusMutex (so that changes from several
// threads are told in their order). Empty: nothing is told.
void gf_setStatusEcho(std::function<void(const std::string& status, const std::string& error)> echo);

namespace wdrx::testing {
// Empty texts and clock, as at process start (the notifier stays).
void resetStatusLine();
}  // namespace wdrx::testing
