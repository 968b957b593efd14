// Winsock sockets of the RealTraffic link. Waits run in short select() slices so that
// shutdown() from another thread ends them (Windows does not wake a blocked call on shutdown).
#include "platform/net.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

constexpr auto waitSlice = std::chrono::milliseconds(50);

std::mutex startupMutex;
int startupCount = 0;  // successful WSAStartup calls not yet ended by WSACleanup

SOCKET lf_socket(SocketHandle handle) { return static_cast<SOCKET>(handle); }
int lf_lastError() { return ::WSAGetLastError(); }

void lf_close(SocketHandle& handle) {
  const SocketHandle old = std::exchange(handle, invalidSocket);
  if (old != invalidSocket) ::closesocket(lf_socket(old));
}

int lf_setNonBlocking(SOCKET s) {
  u_long on = 1;
  return ::ioctlsocket(s, FIONBIO, &on) == 0 ? 0 : lf_lastError();
}

// Waits until the socket is readable (forWrite: writable) or has an error: 0, timedOut when the
// time passed, interrupted when `shut` was raised, or the error. A negative timeout waits
// without limit.
int lf_waitReady(SocketHandle handle, bool forWrite, std::chrono::milliseconds timeout,
                 const std::atomic<bool>& shut) {
  if (handle == invalidSocket) return netError::notSocket;
  const bool endless = timeout.count() < 0;
  const auto deadline = std::chrono::steady_clock::now() + (endless ? std::chrono::milliseconds(0) : timeout);
  for (;;) {
    if (shut.load()) return netError::interrupted;
    auto slice = waitSlice;
    if (!endless) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        slice = std::chrono::milliseconds(0);
      } else {
        slice = std::min(slice, left);
      }
    }
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(lf_socket(handle), &ready);
    FD_SET(lf_socket(handle), &failed);
    timeval wait{};
    wait.tv_sec = static_cast<long>(slice.count() / 1000);
    wait.tv_usec = static_cast<long>((slice.count() % 1000) * 1000);
    const int result = ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr,
                                &failed, &wait);
    if (result == SOCKET_ERROR) return lf_lastError();
    if (result > 0) return 0;
    if (!endless && slice.count() == 0) return netError::timedOut;
  }
}

std::uint16_t lf_localPort(SocketHandle handle) {
  if (handle == invalidSocket) return 0;
  sockaddr_in address{};
  int length = sizeof address;
  if (::getsockname(lf_socket(handle), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
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

int gf_netStartup() {
  WSADATA data{};
  const int rc = ::WSAStartup(MAKEWORD(2, 2), &data);
  if (rc != 0) return rc;
  std::lock_guard lock(startupMutex);
  ++startupCount;
  return 0;
}

void gf_netCleanup() {
  {
    std::lock_guard lock(startupMutex);
    if (startupCount == 0) return;  // nothing started that this could end
    --startupCount;
  }
  ::WSACleanup();
}

int gf_netStartupCount() {
  std::lock_guard lock(startupMutex);
  return startupCount;
}

// ---------------------------------------------------------------- UDP

UdpSocket::~UdpSocket() { close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, invalidSocket)),
      shut_(other.shut_.load()),
      receiveTimeout_(other.receiveTimeout_) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, invalidSocket);
    shut_.store(other.shut_.load());
    receiveTimeout_ = other.receiveTimeout_;
  }
  return *this;
}

int UdpSocket::open() {
  close();
  shut_.store(false);
  const SOCKET s = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return lf_lastError();
  handle_ = static_cast<SocketHandle>(s);
  // A datagram to a closed port makes Windows fail the next receive with a reset; a reader
  // of datagrams has no use for that.
  BOOL off = FALSE;
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &returned, nullptr, nullptr);
  return 0;
}

int UdpSocket::bind(std::uint16_t port, bool loopbackOnly) {
  const sockaddr_in address = lf_ipv4(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY, port);
  if (::bind(lf_socket(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return lf_lastError();
  return 0;
}

int UdpSocket::setReceiveTimeout(std::chrono::milliseconds timeout) {
  if (handle_ == invalidSocket) return netError::notSocket;
  if (timeout.count() < 0) return netError::invalidArgument;
  receiveTimeout_ = timeout;
  return 0;
}

int UdpSocket::setReceiveBufferSize(std::size_t bytes) {
  const int wanted = bytes > 0x40000000u ? 0x40000000 : static_cast<int>(bytes);
  if (::setsockopt(lf_socket(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&wanted),
                   sizeof wanted) != 0)
    return lf_lastError();
  return 0;
}

std::size_t UdpSocket::receiveBufferSize() const {
  int size = 0;
  int length = sizeof size;
  if (handle_ == invalidSocket ||
      ::getsockopt(lf_socket(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &length) != 0 ||
      size < 0)
    return 0;
  return static_cast<std::size_t>(size);
}

UdpSocket::Received UdpSocket::receive(char* buffer, std::size_t capacity) {
  Received result;
  const auto timeout = receiveTimeout_.count() == 0 ? std::chrono::milliseconds(-1) : receiveTimeout_;
  result.error = lf_waitReady(handle_, false, timeout, shut_);
  if (result.error != 0) return result;
  // Windows drops the rest of a datagram larger than the buffer without telling its size: a
  // smaller buffer than the largest datagram is filled through one of that size.
  constexpr std::size_t largestDatagram = 65536;
  thread_local std::vector<char> whole(largestDatagram);
  char* target = capacity >= largestDatagram ? buffer : whole.data();
  const int size = capacity >= largestDatagram ? (capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity))
                                               : static_cast<int>(largestDatagram);
  const int n = ::recv(lf_socket(handle_), target, size, 0);
  if (n == SOCKET_ERROR) {
    result.error = lf_lastError();
    return result;
  }
  result.bytes = n;
  result.truncated = static_cast<std::size_t>(n) > capacity;
  if (target != buffer) std::memcpy(buffer, target, std::min(static_cast<std::size_t>(n), capacity));
  return result;
}

int UdpSocket::sendToLoopback(std::uint16_t port, std::string_view data) {
  const sockaddr_in address = lf_ipv4(INADDR_LOOPBACK, port);
  const int n = ::sendto(lf_socket(handle_), data.data(), static_cast<int>(data.size()), 0,
                         reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return n == SOCKET_ERROR ? lf_lastError() : 0;
}

std::uint16_t UdpSocket::localPort() const { return lf_localPort(handle_); }

void UdpSocket::shutdown() {
  shut_.store(true);
  if (handle_ != invalidSocket) ::shutdown(lf_socket(handle_), SD_BOTH);
}

void UdpSocket::close() { lf_close(handle_); }

// ---------------------------------------------------------------- TCP stream

TcpStream::~TcpStream() { close(); }

TcpStream::Connected TcpStream::connectLoopback(std::uint16_t port) {
  Connected result;
  const SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    result.error = lf_lastError();
    return result;
  }
  const sockaddr_in address = lf_ipv4(INADDR_LOOPBACK, port);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    result.error = lf_lastError();
    ::closesocket(s);
    return result;
  }
  if (const int rc = lf_setNonBlocking(s); rc != 0) {
    result.error = rc;
    ::closesocket(s);
    return result;
  }
  result.stream = std::make_unique<TcpStream>(static_cast<SocketHandle>(s));
  return result;
}

int TcpStream::setNoDelay() {
  const BOOL on = TRUE;
  if (::setsockopt(lf_socket(handle_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                   sizeof on) != 0)
    return lf_lastError();
  return 0;
}

int TcpStream::sendAll(std::string_view data, std::chrono::milliseconds timeout) {
  if (handle_ == invalidSocket) return netError::notSocket;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!data.empty()) {
    const int chunk = data.size() > 0x40000000u ? 0x40000000 : static_cast<int>(data.size());
    const int n = ::send(lf_socket(handle_), data.data(), chunk, 0);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n == SOCKET_ERROR && lf_lastError() != WSAEWOULDBLOCK) return lf_lastError();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return netError::timedOut;
    if (const int rc = lf_waitReady(handle_, true, left, shut_); rc != 0) return rc;
  }
  return 0;
}

TcpStream::Received TcpStream::receive(char* buffer, std::size_t capacity,
                                       std::chrono::milliseconds timeout) {
  Received result;
  result.error = lf_waitReady(handle_, false, timeout, shut_);
  if (result.error == netError::interrupted) {
    result.error = 0;  // shut down here: reads as the end of the stream
    return result;
  }
  if (result.error != 0) return result;
  const int size = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
  const int n = ::recv(lf_socket(handle_), buffer, size, 0);
  if (n == SOCKET_ERROR) {
    const int error = lf_lastError();
    result.error = error == WSAEWOULDBLOCK ? netError::timedOut : error;
    return result;
  }
  result.bytes = n;
  return result;
}

bool TcpStream::peerClosed() const {
  if (handle_ == invalidSocket) return true;
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(lf_socket(handle_), &ready);
  timeval now{};
  const int result = ::select(0, &ready, nullptr, nullptr, &now);
  if (result == SOCKET_ERROR) return true;
  if (result == 0) return false;  // nothing to read: the peer is still there
  char byte = 0;
  const int n = ::recv(lf_socket(handle_), &byte, 1, MSG_PEEK);
  if (n > 0) return false;
  if (n == 0) return true;  // end of stream
  return lf_lastError() != WSAEWOULDBLOCK;
}

void TcpStream::shutdown() {
  shut_.store(true);
  if (handle_ != invalidSocket) ::shutdown(lf_socket(handle_), SD_BOTH);
}

void TcpStream::close() { lf_close(handle_); }

// ---------------------------------------------------------------- TCP listener

TcpListener::~TcpListener() { close(); }

TcpListener::Opened TcpListener::openLoopback(std::string_view portText) {
  close();
  shut_.store(false);
  Opened result;
  addrinfoW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfoW* found = nullptr;
  const std::wstring service(portText.begin(), portText.end());
  const int rc = ::GetAddrInfoW(L"127.0.0.1", service.c_str(), &hints, &found);
  if (rc != 0) return {Step::resolve, rc};
  std::unique_ptr<addrinfoW, decltype(&::FreeAddrInfoW)> list(found, &::FreeAddrInfoW);

  const auto fail = [&](Step step) {
    result = {step, lf_lastError()};
    close();
    return result;
  };
  const SOCKET s = ::WSASocketW(found->ai_family, found->ai_socktype, found->ai_protocol, nullptr, 0,
                                WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return fail(Step::socket);
  handle_ = static_cast<SocketHandle>(s);
  // Non-blocking, so that a client that vanishes between select and accept cannot block us;
  // the accepted sockets inherit the mode.
  u_long on = 1;
  if (::ioctlsocket(s, FIONBIO, &on) != 0) return fail(Step::mode);
  // Windows lets SO_REUSEADDR take over a port another program listens on; exclusive use
  // refuses that, as the other systems do.
  const BOOL exclusive = TRUE;
  if (::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                   sizeof exclusive) != 0)
    return fail(Step::reuseAddress);
  if (::bind(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) return fail(Step::bind);
  if (::listen(s, SOMAXCONN) != 0) return fail(Step::listen);
  return result;
}

TcpListener::Accepted TcpListener::accept(std::chrono::milliseconds timeout) {
  Accepted result;
  result.error = lf_waitReady(handle_, false, timeout, shut_);
  if (result.error != 0) return result;
  const SOCKET s = ::accept(lf_socket(handle_), nullptr, nullptr);
  if (s == INVALID_SOCKET) {
    const int error = lf_lastError();
    // A client that went away again: nothing to take this time.
    result.error = (error == WSAEWOULDBLOCK || error == WSAECONNRESET) ? netError::timedOut : error;
    return result;
  }
  lf_setNonBlocking(s);
  result.stream = std::make_unique<TcpStream>(static_cast<SocketHandle>(s));
  return result;
}

std::uint16_t TcpListener::localPort() const { return lf_localPort(handle_); }

std::string TcpListener::localAddress() const {
  sockaddr_in address{};
  int length = sizeof address;
  char text[INET_ADDRSTRLEN] = {};
  if (handle_ == invalidSocket ||
      ::getsockname(lf_socket(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr)
    return {};
  return text;
}

void TcpListener::shutdown() { shut_.store(true); }

void TcpListener::close() { lf_close(handle_); }

}  // namespace platform
