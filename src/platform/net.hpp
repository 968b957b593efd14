#pragma once
// Sockets of the RealTraffic link: the UDP datagram readers, the loopback TCP server that
// RealTraffic connects to, and the sending/connecting side the test peer needs.
// Errors are Windows socket codes (10035, 10060, ...), so the log texts built with
// gf_wsaErrorText read the same on every system. 0 means success.
//
// Ownership: each object owns one socket and closes it exactly once (close() or destructor).
// shutdown() may be called from another thread while one thread waits on the socket; it
// wakes that wait. close() must not race with a wait on the same object; share the object
// (e.g. through a shared_ptr) when another thread may want to end it.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

namespace netError {
inline constexpr int interrupted = 10004;
inline constexpr int invalidArgument = 10022;
inline constexpr int wouldBlock = 10035;
inline constexpr int notSocket = 10038;
inline constexpr int messageTooLong = 10040;
inline constexpr int connectionReset = 10054;
inline constexpr int notConnected = 10057;
inline constexpr int timedOut = 10060;
inline constexpr int connectionRefused = 10061;
inline constexpr int hostNotFound = 11001;
}  // namespace netError

// Start and end of the socket library (WSAStartup 2.2 / WSACleanup); nothing to do on posix.
// gf_netStartup returns 0 or the error code. Each successful start-up is paired with one
// clean-up; a clean-up without a start-up left to end does nothing.
int gf_netStartup();
void gf_netCleanup();
// The start-ups not yet ended (counted on every system, so that tests can see the pairing).
int gf_netStartupCount();

// One start-up of the socket library for the object's lifetime, ended by its destructor only
// when it succeeded.
class NetSession {
 public:
  NetSession() : error_(gf_netStartup()) {}
  ~NetSession() {
    if (error_ == 0) gf_netCleanup();
  }
  NetSession(const NetSession&) = delete;
  NetSession& operator=(const NetSession&) = delete;
  int error() const { return error_; }

 private:
  int error_;
};

using SocketHandle = std::intptr_t;  // SOCKET on Windows, a file descriptor on posix
inline constexpr SocketHandle invalidSocket = -1;

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  int open();  // an IPv4 datagram socket
  // Binds to 127.0.0.1 when loopbackOnly, else to every IPv4 address; port 0: any free port.
  int bind(std::uint16_t port, bool loopbackOnly);
  int setReceiveTimeout(std::chrono::milliseconds timeout);
  // Asks the system for a receive buffer of `bytes`, so that a burst of datagrams waits for a
  // busy reader instead of being lost. The system may grant less (see receiveBufferSize).
  int setReceiveBufferSize(std::size_t bytes);
  std::size_t receiveBufferSize() const;  // the size granted; 0 when unknown

  struct Received {
    std::int64_t bytes = 0;  // the datagram's full length, also when it exceeded capacity
    bool truncated = false;  // only `capacity` bytes were stored
    int error = 0;           // wouldBlock / timedOut when the receive time-out passed
  };
  Received receive(char* buffer, std::size_t capacity);
  // One datagram to 127.0.0.1:port.
  int sendToLoopback(std::uint16_t port, std::string_view data);

  std::uint16_t localPort() const;  // 0 when not bound
  bool isOpen() const { return handle_ != invalidSocket; }
  void shutdown();
  void close();

 private:
  SocketHandle handle_ = invalidSocket;
  // Windows waits in slices and ends on this flag; posix wakes through shutdown(2).
  std::atomic<bool> shut_{false};
  std::chrono::milliseconds receiveTimeout_{0};  // 0: wait without limit
};

class TcpStream {
 public:
  explicit TcpStream(SocketHandle handle) : handle_(handle) {}
  ~TcpStream();
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  struct Connected {
    std::unique_ptr<TcpStream> stream;
    int error = 0;
  };
  static Connected connectLoopback(std::uint16_t port);

  int setNoDelay();
  // Sends all of data, waiting at most `timeout` in total for room in the send buffer;
  // timedOut when the peer does not take it in time (a stalled reader).
  int sendAll(std::string_view data, std::chrono::milliseconds timeout);

  struct Received {
    std::int64_t bytes = 0;  // 0 with error 0: the peer closed the connection
    int error = 0;           // timedOut when nothing arrived within the time-out
  };
  Received receive(char* buffer, std::size_t capacity, std::chrono::milliseconds timeout);

  // True when the peer has closed or reset the connection (data still waiting to be read
  // counts as open); never waits and consumes nothing.
  bool peerClosed() const;

  void shutdown();  // both directions; wakes a receive waiting on another thread
  void close();
  bool isOpen() const { return handle_ != invalidSocket; }

 private:
  SocketHandle handle_ = invalidSocket;
  std::atomic<bool> shut_{false};
};

class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // The step of opening that failed, so that callers can tell which call it was.
  enum class Step { none, resolve, socket, mode, reuseAddress, bind, listen };
  struct Opened {
    Step failedStep = Step::none;
    int error = 0;
  };
  // Listens on 127.0.0.1 at the port given as decimal text ("0": any free port), with the
  // largest backlog. On failure nothing stays open.
  Opened openLoopback(std::string_view portText);

  struct Accepted {
    std::unique_ptr<TcpStream> stream;
    int error = 0;  // timedOut when no client came within the time-out
  };
  Accepted accept(std::chrono::milliseconds timeout);

  std::uint16_t localPort() const;
  std::string localAddress() const;  // dotted IPv4 text of the bound address
  void shutdown();  // wakes an accept waiting on another thread
  void close();
  bool isOpen() const { return handle_ != invalidSocket; }

 private:
  SocketHandle handle_ = invalidSocket;
  std::atomic<bool> shut_{false};
};

}  // namespace platform
