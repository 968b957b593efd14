#include "platform/net.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <utility>

namespace platform {

namespace {

// errno -> the Windows socket code of the same meaning, so that callers print one table.
int lf_socketError(int err) {
  switch (err) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EAGAIN: return 10035;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return 10035;
#endif
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054;  // the peer has gone: what Windows reports as a reset
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return err;
  }
}

int lf_lastError() { return lf_socketError(errno); }

int lf_addrInfoError(int code) {
  switch (code) {
    case EAI_NONAME: return netError::hostNotFound;
    case EAI_SERVICE: return 10109;  // WSATYPE_NOT_FOUND
    case EAI_AGAIN: return 11002;
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SYSTEM: return lf_lastError();
    default: return 11003;
  }
}

int lf_ms(std::chrono::milliseconds timeout) {
  if (timeout.count() < 0) return 0;
  if (timeout.count() > 1000000000) return 1000000000;
  return static_cast<int>(timeout.count());
}

// Waits until the socket is ready for `events`: 0, or the error (timedOut when the time passed,
// notSocket without a socket). EINTR restarts with the remaining time.
int lf_waitReady(SocketHandle handle, short events, std::chrono::milliseconds timeout) {
  if (handle == invalidSocket) return netError::notSocket;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    pollfd entry{static_cast<int>(handle), events, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int result = ::poll(&entry, 1, lf_ms(left));
    if (result > 0) return 0;
    if (result == 0) return netError::timedOut;
    if (errno != EINTR) return lf_lastError();
  }
}

void lf_close(SocketHandle& handle) {
  const SocketHandle old = std::exchange(handle, invalidSocket);
  if (old != invalidSocket) ::close(static_cast<int>(old));
}

std::uint16_t lf_localPort(SocketHandle handle) {
  if (handle == invalidSocket) return 0;
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(static_cast<int>(handle), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  return ntohs(address.sin_port);
}

sockaddr_in lf_ipv4(std::uint32_t hostOrderAddress, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(hostOrderAddress);
  return address;
}

}  // namespace

namespace {
std::mutex startupMutex;
int startupCount = 0;  // start-ups not yet ended; posix has no library to start
}  // namespace

int gf_netStartup() {
  std::lock_guard lock(startupMutex);
  ++startupCount;
  return 0;
}

void gf_netCleanup() {
  std::lock_guard lock(startupMutex);
  if (startupCount > 0) --startupCount;
}

int gf_netStartupCount() {
  std::lock_guard lock(startupMutex);
  return startupCount;
}

// ---------------------------------------------------------------- UDP

UdpSocket::~UdpSocket() { close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, invalidSocket)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, invalidSocket);
  }
  return *this;
}

int UdpSocket::open() {
  close();
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return lf_lastError();
  handle_ = fd;
  return 0;
}

int UdpSocket::bind(std::uint16_t port, bool loopbackOnly) {
  const sockaddr_in address = lf_ipv4(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY, port);
  if (::bind(static_cast<int>(handle_), reinterpret_cast<const sockaddr*>(&address),
             sizeof address) != 0)
    return lf_lastError();
  return 0;
}

int UdpSocket::setReceiveTimeout(std::chrono::milliseconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  if (::setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value) != 0)
    return lf_lastError();
  return 0;
}

int UdpSocket::setReceiveBufferSize(std::size_t bytes) {
  const int wanted = bytes > 0x40000000u ? 0x40000000 : static_cast<int>(bytes);
  const int fd = static_cast<int>(handle_);
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted) != 0) return lf_lastError();
  // The kernel caps SO_RCVBUF at net.core.rmem_max; a privileged process may go beyond it.
  if (receiveBufferSize() < bytes)
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted);
  return 0;
}

std::size_t UdpSocket::receiveBufferSize() const {
  int size = 0;
  socklen_t length = sizeof size;
  if (handle_ == invalidSocket ||
      ::getsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_RCVBUF, &size, &length) != 0 ||
      size < 0)
    return 0;
  return static_cast<std::size_t>(size);
}

UdpSocket::Received UdpSocket::receive(char* buffer, std::size_t capacity) {
  Received result;
  // MSG_TRUNC: the result is the datagram's real length, so an oversized one can be told apart.
  const ssize_t n = ::recv(static_cast<int>(handle_), buffer, capacity, MSG_TRUNC);
  if (n < 0) {
    result.error = lf_lastError();
    return result;
  }
  result.bytes = n;
  result.truncated = static_cast<std::size_t>(n) > capacity;
  return result;
}

int UdpSocket::sendToLoopback(std::uint16_t port, std::string_view data) {
  const sockaddr_in address = lf_ipv4(INADDR_LOOPBACK, port);
  const ssize_t n = ::sendto(static_cast<int>(handle_), data.data(), data.size(), MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return n < 0 ? lf_lastError() : 0;
}

std::uint16_t UdpSocket::localPort() const { return lf_localPort(handle_); }

void UdpSocket::shutdown() {
  if (handle_ != invalidSocket) ::shutdown(static_cast<int>(handle_), SHUT_RDWR);
}

void UdpSocket::close() { lf_close(handle_); }

// ---------------------------------------------------------------- TCP stream

TcpStream::~TcpStream() { close(); }

TcpStream::Connected TcpStream::connectLoopback(std::uint16_t port) {
  Connected result;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    result.error = lf_lastError();
    return result;
  }
  const sockaddr_in address = lf_ipv4(INADDR_LOOPBACK, port);
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    result.error = lf_lastError();
    ::close(fd);
    return result;
  }
  result.stream = std::make_unique<TcpStream>(fd);
  return result;
}

int TcpStream::setNoDelay() {
  const int on = 1;
  if (::setsockopt(static_cast<int>(handle_), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0)
    return lf_lastError();
  return 0;
}

int TcpStream::sendAll(std::string_view data, std::chrono::milliseconds timeout) {
  if (handle_ == invalidSocket) return netError::notSocket;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!data.empty()) {
    const ssize_t n = ::send(static_cast<int>(handle_), data.data(), data.size(),
                             MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return lf_lastError();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return netError::timedOut;
    if (const int rc = lf_waitReady(handle_, POLLOUT, left); rc != 0) return rc;
  }
  return 0;
}

TcpStream::Received TcpStream::receive(char* buffer, std::size_t capacity,
                                       std::chrono::milliseconds timeout) {
  Received result;
  result.error = lf_waitReady(handle_, POLLIN, timeout);
  if (result.error != 0) return result;
  const ssize_t n = ::recv(static_cast<int>(handle_), buffer, capacity, MSG_DONTWAIT);
  if (n < 0) {
    result.error = (errno == EAGAIN || errno == EWOULDBLOCK) ? netError::timedOut : lf_lastError();
    return result;
  }
  result.bytes = n;
  return result;
}

bool TcpStream::peerClosed() const {
  if (handle_ == invalidSocket) return true;
  pollfd entry{static_cast<int>(handle_), POLLIN, 0};
  const int ready = ::poll(&entry, 1, 0);
  if (ready < 0) return errno != EINTR;
  if (ready == 0) return false;  // nothing to read: the peer is still there
  char byte = 0;
  const ssize_t n = ::recv(static_cast<int>(handle_), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) return false;
  if (n == 0) return true;  // end of stream
  return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
}

void TcpStream::shutdown() {
  if (handle_ != invalidSocket) ::shutdown(static_cast<int>(handle_), SHUT_RDWR);
}

void TcpStream::close() { lf_close(handle_); }

// ---------------------------------------------------------------- TCP listener

TcpListener::~TcpListener() { close(); }

TcpListener::Opened TcpListener::openLoopback(std::string_view portText) {
  close();
  Opened result;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service(portText);
  const int rc = ::getaddrinfo("127.0.0.1", service.c_str(), &hints, &found);
  if (rc != 0) return {Step::resolve, lf_addrInfoError(rc)};
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

  const auto fail = [&](Step step) {
    result = {step, lf_lastError()};
    close();
    return result;
  };
  const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  if (fd < 0) return fail(Step::socket);
  handle_ = fd;
  // Non-blocking, so that a client that vanishes between poll and accept cannot block us.
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return fail(Step::mode);
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
    return fail(Step::reuseAddress);
  if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0) return fail(Step::bind);
  if (::listen(fd, SOMAXCONN) != 0) return fail(Step::listen);
  return result;
}

TcpListener::Accepted TcpListener::accept(std::chrono::milliseconds timeout) {
  Accepted result;
  result.error = lf_waitReady(handle_, POLLIN, timeout);
  if (result.error != 0) return result;
  const int fd = ::accept4(static_cast<int>(handle_), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    // A client that went away again, or a signal: nothing to take this time.
    const bool nothing = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ||
                         errno == ECONNABORTED;
    result.error = nothing ? netError::timedOut : lf_lastError();
    return result;
  }
  result.stream = std::make_unique<TcpStream>(fd);
  return result;
}

std::uint16_t TcpListener::localPort() const { return lf_localPort(handle_); }

std::string TcpListener::localAddress() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  char text[INET_ADDRSTRLEN] = {};
  if (handle_ == invalidSocket ||
      ::getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr)
    return {};
  return text;
}

void TcpListener::shutdown() {
  if (handle_ != invalidSocket) ::shutdown(static_cast<int>(handle_), SHUT_RDWR);
}

void TcpListener::close() { lf_close(handle_); }

}  // namespace platform
