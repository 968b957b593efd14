#pragma once
// The PSX-protocol server through which RealTraffic learns the user aircraft's position and
// the simulator time. One client; lines end in CR LF. Listens on the loopback address only.
//
// Threads: the run thread waits for the client, receives its version and sends the position
// and time lines; gf_closePsxServer may come from the run thread or the window thread. Every
// wait is bounded and ends as soon as a stop flag of the run is set or the server is closed.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net.hpp"

// The longest line taken from the client; a longer one is an overrun.
inline constexpr std::size_t psxLineLimit = 16384;

// The client's byte stream cut into lines: bytes go in as TCP delivers them (a line may come
// in several pieces, or several lines in one), whole lines come out without their CR LF.
class PsxLineBuffer {
 public:
  // False when the text after the last line end has reached psxLineLimit without a line end
  // (pendingSize tells how much); the caller then clears the buffer.
  bool append(std::string_view bytes);
  std::optional<std::string> nextLine();  // the oldest complete line
  std::string takePending();              // the text after the last line end
  std::size_t pendingSize() const { return pending_.size(); }
  void clear();

 private:
  std::string pending_;
  std::size_t scanned_ = 0;  // pending_ before this holds no line end
};

struct PsxServer {
  std::mutex socketMutex;  // guards the two pointers; sends are made under it
  std::shared_ptr<platform::TcpListener> psxListenSocket;
  std::shared_ptr<platform::TcpStream> psxClientSocket;
  std::atomic<bool> psxConnected{false};
  PsxLineBuffer psxInput;  // what the client sent; run thread only, emptied for a new client
};
extern PsxServer psxServer;

// Slices of the bounded waits, and the limits of a send and of the wait for the version.
inline constexpr std::chrono::milliseconds psxWaitSlice{100};
inline constexpr std::chrono::milliseconds psxSendTimeout{250};
inline constexpr std::chrono::milliseconds psxAnswerTimeout{10000};

// The engine's way of taking its live aircraft out of the simulator when RealTraffic has gone
// (lf_abortLiveTraffic). Empty: nothing is taken out.
void gf_setAbortLiveTraffic(std::function<void()> abort);

// Throws std::runtime_error with the failing step's message; nothing stays open then.
void gf_startPsxServer(const std::string& portText);
std::uint16_t gf_psxServerPort();  // the port listened on, 0 when not listening

// Accepts RealTraffic. Connections that queued up meanwhile are taken at once too: those whose
// peer has gone are dropped, and of the others only the newest is kept (one log line).
bool waitForClient();
bool sendDataPacket(std::string_view line);
// The next line from the client, assembled from as many receives as it takes (at most
// psxAnswerTimeout); empty after an error, a time-out or an overrun.
std::string lf_receivePsxLine();
// "level" must be a 32-bit integer and "version" a text; anything else is a parse failure.
void lf_processRTVersion(const std::string& answer);
void gf_waitForRealTraffic();
std::string gf_userPositionLine();  // the "Qs121=..." line of userPosition
void gf_sendUserPosition();
void gf_sendSimTime(std::int64_t secondsSince1970);
void gf_closePsxServer();
