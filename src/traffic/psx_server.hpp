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
#include <string>
#include <string_view>

#include "platform/net.hpp"

struct PsxServer {
  std::mutex socketMutex;  // guards the two pointers; sends are made under it
  std::shared_ptr<platform::TcpListener> psxListenSocket;
  std::shared_ptr<platform::TcpStream> psxClientSocket;
  std::atomic<bool> psxConnected{false};
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

bool waitForClient();
bool sendDataPacket(std::string_view line);
std::string lf_receivePsxLine();
void lf_processRTVersion(const std::string& answer);
void gf_waitForRealTraffic();
std::string gf_userPositionLine();  // the "Qs121=..." line of userPosition
void gf_sendUserPosition();
void gf_sendSimTime(std::int64_t secondsSince1970);
void gf_closePsxServer();
