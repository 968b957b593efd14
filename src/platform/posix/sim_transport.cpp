// Posix transports of the simulator link: TCP and Unix domain sockets, with one reader and one
// writer thread per client transport in place of the I/O completion threads of Windows.
#include "platform/sim_transport.hpp"

#include "platform/profile.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/close_wait.hpp"

namespace platform {
namespace {

class SocketFd {
 public:
  SocketFd() = default;
  explicit SocketFd(int fd) : fd_(fd) {}
  ~SocketFd() { reset(); }
  SocketFd(const SocketFd&) = delete;
  SocketFd& operator=(const SocketFd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

long lf_recv(int fd, std::byte* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -errno;
  }
}

int lf_sendAll(int fd, const std::byte* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

DisconnectReason lf_reasonOf(int error) {
  switch (error) {
    case EPIPE:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN: return DisconnectReason::pipeBroken;
    default: return DisconnectReason::otherError;
  }
}

class PosixSimTransport final : public SimTransport {
 public:
  PosixSimTransport(SimTransportKind kind, int fd) : kind_(kind), fd_(fd) {}
  ~PosixSimTransport() override { close(); }

  SimTransportKind kind() const override { return kind_; }

  void start(SimTransportSink& sink) override {
    sink_ = &sink;
    reader_ = std::thread([this] { readLoop(); });
    writer_ = std::thread([this] { writeLoop(); });
  }

  // The writer is woken only when the queue was empty and no send is under way (else it takes the
  // queue when that send ends), and after the lock is released: a woken writer must not block at
  // once on the lock its waker still holds.
  bool write(const std::byte* data, std::size_t size) override {
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      if (stopped_ || closing_) return false;
      wake = pending_.empty() && !writing_;
      pending_.insert(pending_.end(), data, data + size);
    }
    if (wake) wake_.notify_one();
    return true;
  }

  void close() override {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
      closing_ = true;
    }
    wake_.notify_one();
    {
      std::unique_lock lock(mutex_);
      gf_waitWhileSending(lock, idle_, sentBytes_, [&] { return stopped_ || (pending_.empty() && !writing_); });
      closed_ = true;
    }
    wake_.notify_one();
    silenced_ = true;
    // Our direction ends after the queued bytes; what the peer still sends is read and dropped
    // until it ends its own. Closing with unread data would reset the connection, and the peer
    // may then lose our last packets unread.
    ::shutdown(fd_.get(), SHUT_WR);
    {
      std::unique_lock lock(mutex_);
      idle_.wait_for(lock, closePeerLimit, [&] { return readerEnded_; });
    }
    ::shutdown(fd_.get(), SHUT_RDWR);
    if (reader_.joinable()) reader_.join();
    if (writer_.joinable()) writer_.join();
    fd_.reset();
  }

 private:
  // A stopped transport is disconnected at once (the peer sees it go); the descriptor itself
  // stays until close() has joined the threads.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
      idle_.notify_all();
    }
    wake_.notify_one();
    ::shutdown(fd_.get(), SHUT_RDWR);
  }

  void report(DisconnectReason reason, int osError) {
    stop();
    if (silenced_ || reported_.exchange(true)) return;
    sink_->disconnected(reason, osError);
  }

  void readLoop() {
    struct Ended {
      PosixSimTransport& transport;
      ~Ended() {
        std::lock_guard lock(transport.mutex_);
        transport.readerEnded_ = true;
        transport.idle_.notify_all();
      }
    } ended{*this};
    std::vector<std::byte> dropped;
    for (;;) {
      if (silenced_) {
        // Closing: read out and drop what still comes, up to the peer's end.
        dropped.resize(4096);
        if (lf_recv(fd_.get(), dropped.data(), dropped.size()) <= 0) return;
        continue;
      }
      const std::span<std::byte> space = sink_->receiveSpace();
      const long n = lf_recv(fd_.get(), space.data(), space.size());
      if (silenced_) {
        if (n > 0) continue;
        return;
      }
      if (n > 0) {
        if (!sink_->received(static_cast<std::size_t>(n))) {
          stop();
          return;
        }
        continue;
      }
      if (n == 0) {
        report(DisconnectReason::peerClosed, 0);
      } else {
        report(lf_reasonOf(static_cast<int>(-n)), static_cast<int>(-n));
      }
      return;
    }
  }

  void writeLoop() {
    std::vector<std::byte> sending;
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return !pending_.empty() || closed_ || stopped_; });
      if (stopped_ || (pending_.empty() && closed_)) return;
      sending.swap(pending_);
      writing_ = true;
      lock.unlock();
      int error = 0;
      // In slices, so that closing sees the peer taking a long queue.
      for (std::size_t at = 0; at < sending.size() && error == 0; at += sendSlice) {
        const std::size_t size = std::min(sendSlice, sending.size() - at);
        error = lf_sendAll(fd_.get(), sending.data() + at, size);
        if (error == 0) sentBytes_ += size;
      }
      sending.clear();
      lock.lock();
      writing_ = false;
      idle_.notify_all();
      if (error != 0) {
        lock.unlock();
        if (!silenced_) report(lf_reasonOf(error), error);
        return;
      }
    }
  }

  const SimTransportKind kind_;
  SocketFd fd_;
  SimTransportSink* sink_ = nullptr;
  std::thread reader_;
  std::thread writer_;
  std::mutex mutex_;  // guards the write queue and the state flags below
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::vector<std::byte> pending_;
  bool writing_ = false;
  std::atomic<std::uint64_t> sentBytes_{0};
  bool stopped_ = false;  // read or write failed, or the sink stopped reading
  bool closing_ = false;
  bool closed_ = false;
  bool readerEnded_ = false;
  std::atomic<bool> silenced_{false};
  std::atomic<bool> reported_{false};
};

int lf_connectFd(int fd, const sockaddr* address, socklen_t length) {
  for (;;) {
    if (::connect(fd, address, length) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

bool lf_fillUnixAddress(const std::filesystem::path& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (text.empty() || text.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, text.c_str(), text.size());
  return true;
}

class PosixByteStream final : public ByteStream {
 public:
  explicit PosixByteStream(int fd) : fd_(fd) {}
  long read(std::byte* buffer, std::size_t size) override { return lf_recv(fd_.get(), buffer, size); }
  int writeAll(const std::byte* data, std::size_t size) override {
    return lf_sendAll(fd_.get(), data, size);
  }
  void shutdown() override { ::shutdown(fd_.get(), SHUT_RDWR); }

 private:
  SocketFd fd_;
};

class PosixListener final : public StreamListener {
 public:
  PosixListener(int fd, std::uint16_t port, std::filesystem::path socketPath)
      : fd_(fd), port_(port), socketPath_(std::move(socketPath)) {}
  ~PosixListener() override {
    fd_.reset();
    if (!socketPath_.empty()) ::unlink(socketPath_.c_str());
  }
  std::uint16_t port() const override { return port_; }

  std::unique_ptr<ByteStream> accept(std::chrono::milliseconds timeout) override {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!stopped_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() < 0) return nullptr;
      pollfd entry{fd_.get(), POLLIN, 0};
      const int ready = ::poll(&entry, 1, static_cast<int>(std::min<long>(left.count(), 50)));
      if (ready <= 0 || stopped_) continue;
      const int client = ::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        if (port_ != 0) {
          const int on = 1;
          ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        return std::make_unique<PosixByteStream>(client);
      }
    }
    return nullptr;
  }
  void shutdown() override { stopped_ = true; }

 private:
  SocketFd fd_;
  std::uint16_t port_;
  std::filesystem::path socketPath_;
  std::atomic<bool> stopped_{false};
};

}  // namespace

SimConnectAttempt connectSimTcp(TcpFamily family, const std::string& address,
                                   const std::string& port, bool disableNagle) {
  SimConnectAttempt attempt;
  addrinfo hints{};
  hints.ai_family = family == TcpFamily::ipv6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(address.empty() ? nullptr : address.c_str(), port.c_str(), &hints, &found);
  if (lookup != 0) {
    attempt.osError = lookup == EAI_SYSTEM ? errno : EHOSTUNREACH;
    return attempt;
  }
  attempt.osError = ECONNREFUSED;
  for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    SocketFd fd(::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol));
    if (fd.get() < 0) {
      attempt.osError = errno;
      continue;
    }
    const int error = lf_connectFd(fd.get(), entry->ai_addr, entry->ai_addrlen);
    if (error != 0) {
      attempt.osError = error;
      continue;
    }
    if (disableNagle) {
      const int on = 1;
      ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    attempt.transport = std::make_unique<PosixSimTransport>(SimTransportKind::tcp, fd.release());
    attempt.osError = 0;
    break;
  }
  ::freeaddrinfo(found);
  return attempt;
}

std::filesystem::path pipeSocketPath(std::string_view pipePath,
                                        const std::filesystem::path& socketFolder) {
  if (pipePath.substr(0, 2) != "\\\\") return {};
  pipePath.remove_prefix(2);
  const auto serverEnd = pipePath.find('\\');
  if (serverEnd == std::string_view::npos) return {};
  const std::string_view server = pipePath.substr(0, serverEnd);
  if (!server.empty() && server != ".") return {};
  pipePath.remove_prefix(serverEnd + 1);
  if (pipePath.size() < 5 || !profileNamesEqual(pipePath.substr(0, 5), "pipe\\")) return {};
  pipePath.remove_prefix(5);
  if (pipePath.empty()) return {};
  std::string name(pipePath);
  for (char& c : name) {
    if (c == '\\' || c == '/') c = '_';
  }
  return socketFolder / name;
}

SimConnectAttempt connectSimPipe(const std::string& pipePath,
                                    const std::filesystem::path& socketFolder) {
  SimConnectAttempt attempt;
  sockaddr_un address{};
  const std::filesystem::path path = pipeSocketPath(pipePath, socketFolder);
  if (path.empty()) {
    attempt.osError = ENOENT;
    return attempt;
  }
  if (!lf_fillUnixAddress(path, address)) {
    attempt.osError = ENAMETOOLONG;
    return attempt;
  }
  SocketFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) {
    attempt.osError = errno;
    return attempt;
  }
  const int error = lf_connectFd(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (error != 0) {
    attempt.osError = error;
    return attempt;
  }
  attempt.transport = std::make_unique<PosixSimTransport>(SimTransportKind::pipe, fd.release());
  return attempt;
}

bool ipv6LoopbackResolves() {
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (::getaddrinfo("::1", nullptr, &hints, &found) != 0) return false;
  ::freeaddrinfo(found);
  return true;
}

std::unique_ptr<StreamListener> listenTcp(const std::string& address, std::uint16_t port,
                                             std::string& error) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  int family = AF_INET;
  if (address.find(':') != std::string::npos) {
    family = AF_INET6;
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) != 1) {
      error = "bad IPv6 address " + address;
      return nullptr;
    }
    length = sizeof(sockaddr_in6);
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) != 1) {
      error = "bad IPv4 address " + address;
      return nullptr;
    }
    length = sizeof(sockaddr_in);
  }
  SocketFd fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (fd.get() < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  const int on = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (family == AF_INET6) ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&storage), length) != 0 ||
      ::listen(fd.get(), 16) != 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  sockaddr_storage bound{};
  socklen_t boundLength = sizeof bound;
  ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &boundLength);
  const std::uint16_t boundPort =
      family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port)
                         : ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
  return std::make_unique<PosixListener>(fd.release(), boundPort, std::filesystem::path{});
}

std::unique_ptr<StreamListener> listenLocal(const std::filesystem::path& path, std::string& error) {
  sockaddr_un address{};
  if (!lf_fillUnixAddress(path, address)) {
    error = "socket path too long: " + path.string();
    return nullptr;
  }
  std::error_code ignored;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
  ::unlink(path.c_str());
  SocketFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0 || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd.get(), 16) != 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<PosixListener>(fd.release(), 0, path);
}

}  // namespace platform
