// Windows transports of the simulator link: the named pipe and TCP sockets with overlapped I/O,
// one I/O thread per client transport that starts reads and writes and waits for their
// completion events; and the server side of both for the test peer.
#include "platform/sim_transport.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/close_wait.hpp"
#include "platform/net.hpp"
#include "platform/profile.hpp"
#include "platform/utf.hpp"

namespace platform {
namespace {

constexpr DWORD pipeBusyWaitMs = 5000;
constexpr auto slice = std::chrono::milliseconds(50);

std::wstring lf_wide(std::string_view utf8) {
  const auto wide = utf8ToUtf16(utf8).value_or(std::u16string{});
  return std::wstring(wide.begin(), wide.end());
}

// An event handle closed exactly once.
class Event {
 public:
  explicit Event(bool manualReset) : handle_(::CreateEventW(nullptr, manualReset, FALSE, nullptr)) {
    // The transport goes on; the first wait on the missing event fails its connection.
    if (handle_ == nullptr) std::printf("CreateEvent failed with %d.\n", static_cast<int>(::GetLastError()));
  }
  ~Event() {
    if (handle_ != nullptr) ::CloseHandle(handle_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

DisconnectReason lf_reasonOf(DWORD error) {
  switch (error) {
    case ERROR_OPERATION_ABORTED: return DisconnectReason::cancelled;
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED:
    case ERROR_NO_DATA:
    case ERROR_NETNAME_DELETED:
    case ERROR_CONNECTION_ABORTED:
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENOTCONN:
    case WSAESHUTDOWN: return DisconnectReason::pipeBroken;
    default: return DisconnectReason::otherError;
  }
}

// One overlapped operation on a pipe handle (ReadFile/WriteFile) or a socket (WSARecv/WSASend).
class Overlapped {
 public:
  Overlapped() { reset(); }
  void reset() {
    const HANDLE event = ov_.hEvent;
    ov_ = OVERLAPPED{};
    ov_.hEvent = event;
  }
  void setEvent(HANDLE event) { ov_.hEvent = event; }
  OVERLAPPED* get() { return &ov_; }

 private:
  OVERLAPPED ov_{};
};

class Win32SimTransport final : public SimTransport {
 public:
  // For a socket, `netStarted` says that the caller's gf_netStartup is ours to end.
  Win32SimTransport(SimTransportKind kind, HANDLE pipe, SOCKET socket)
      : kind_(kind), pipe_(pipe), socket_(socket) {
    readOv_.setEvent(readEvent_.get());
    writeOv_.setEvent(writeEvent_.get());
  }
  ~Win32SimTransport() override {
    close();
    if (kind_ == SimTransportKind::tcp) gf_netCleanup();
  }

  SimTransportKind kind() const override { return kind_; }

  void start(SimTransportSink& sink) override {
    sink_ = &sink;
    io_ = std::thread([this] { ioLoop(); });
  }

  // The I/O thread is woken only when the queue was empty and no write is under way (else it
  // takes the queue when that write completes), and after the lock is released: a woken thread
  // must not block at once on the lock its waker still holds.
  bool write(const std::byte* data, std::size_t size) override {
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      if (stopped_ || closing_) return false;
      wake = pending_.empty() && !writing_;
      pending_.insert(pending_.end(), data, data + size);
    }
    if (wake) ::SetEvent(wake_.get());
    return true;
  }

  void close() override {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
      closing_ = true;
    }
    ::SetEvent(wake_.get());
    {
      std::unique_lock lock(mutex_);
      if (io_.joinable()) {
        gf_waitWhileSending(lock, idle_, sentBytes_, [&] { return stopped_ || (pending_.empty() && !writing_); });
      }
      closed_ = true;
    }
    silenced_ = true;
    if (io_.joinable() && kind_ == SimTransportKind::tcp) {
      // Our direction ends after the queued bytes; what the peer still sends is read and
      // dropped until it ends its own, so that closing does not reset the connection under
      // our last packets.
      std::unique_lock lock(mutex_);
      if (socket_ != INVALID_SOCKET) ::shutdown(socket_, SD_SEND);
      idle_.wait_for(lock, closePeerLimit, [&] { return readerEnded_ || stopped_; });
    }
    quit_ = true;
    ::SetEvent(wake_.get());
    if (io_.joinable()) io_.join();
    std::lock_guard lock(mutex_);
    closeHandle();
  }

 private:
  bool isPipe() const { return kind_ == SimTransportKind::pipe; }
  HANDLE fileHandle() const { return isPipe() ? pipe_ : reinterpret_cast<HANDLE>(socket_); }

  // Closes the pipe or socket once (under mutex_): at the end of close(), or when the transport
  // failed, at once, so that the simulator sees the connection go.
  void closeHandle() {
    if (pipe_ != INVALID_HANDLE_VALUE) ::CloseHandle(std::exchange(pipe_, INVALID_HANDLE_VALUE));
    if (socket_ != INVALID_SOCKET) ::closesocket(std::exchange(socket_, INVALID_SOCKET));
  }

  // Starts an overlapped read or write; 0 when it is under way (or done: the event tells).
  DWORD startIo(bool read, std::byte* data, std::size_t size) {
    Overlapped& ov = read ? readOv_ : writeOv_;
    ov.reset();
    const DWORD count = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
    if (isPipe()) {
      const BOOL ok = read ? ::ReadFile(pipe_, data, count, nullptr, ov.get())
                           : ::WriteFile(pipe_, data, count, nullptr, ov.get());
      if (ok) return 0;
      const DWORD error = ::GetLastError();
      return (error == ERROR_IO_PENDING || error == ERROR_MORE_DATA) ? 0 : error;
    }
    WSABUF buffer{count, reinterpret_cast<char*>(data)};
    DWORD flags = 0;
    const int rc = read ? ::WSARecv(socket_, &buffer, 1, nullptr, &flags,
                                    reinterpret_cast<LPWSAOVERLAPPED>(ov.get()), nullptr)
                        : ::WSASend(socket_, &buffer, 1, nullptr, 0,
                                    reinterpret_cast<LPWSAOVERLAPPED>(ov.get()), nullptr);
    if (rc == 0) return 0;
    const int error = ::WSAGetLastError();
    return error == WSA_IO_PENDING ? 0 : static_cast<DWORD>(error);
  }

  // The result of a finished operation: bytes moved, or the error.
  DWORD finishIo(bool read, DWORD& bytes, bool wait) {
    Overlapped& ov = read ? readOv_ : writeOv_;
    bytes = 0;
    if (isPipe()) {
      if (::GetOverlappedResult(pipe_, ov.get(), &bytes, wait)) return 0;
      const DWORD error = ::GetLastError();
      return error == ERROR_MORE_DATA ? 0 : error;
    }
    DWORD flags = 0;
    if (::WSAGetOverlappedResult(socket_, reinterpret_cast<LPWSAOVERLAPPED>(ov.get()), &bytes, wait,
                                 &flags))
      return 0;
    return static_cast<DWORD>(::WSAGetLastError());
  }

  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    idle_.notify_all();
  }

  void report(DisconnectReason reason, int osError) {
    stop();
    if (silenced_ || reported_.exchange(true)) return;
    sink_->disconnected(reason, osError);
  }

  void readerEnded() {
    std::lock_guard lock(mutex_);
    readerEnded_ = true;
    idle_.notify_all();
  }

  // Starts the next read; false when reading has ended.
  bool startRead() {
    std::span<std::byte> space;
    if (silenced_) {
      dropped_.resize(4096);
      space = dropped_;
    } else {
      space = sink_->receiveSpace();
    }
    if (const DWORD error = startIo(true, space.data(), space.size()); error != 0) {
      readerEnded();
      report(lf_reasonOf(error), static_cast<int>(error));
      return false;
    }
    return true;
  }

  // A read has completed; false when reading has ended.
  bool readCompleted() {
    DWORD bytes = 0;
    const DWORD error = finishIo(true, bytes, FALSE);
    if (silenced_) {
      if (error != 0 || bytes == 0) {
        readerEnded();
        return false;
      }
      return startRead();
    }
    if (error != 0) {
      readerEnded();
      report(lf_reasonOf(error), static_cast<int>(error));
      return false;
    }
    if (bytes == 0) {
      readerEnded();
      report(DisconnectReason::peerClosed, 0);
      return false;
    }
    if (!sink_->received(bytes)) {
      readerEnded();
      stop();
      return false;
    }
    return startRead();
  }

  // Starts writing what is queued; false when nothing was started.
  bool startWrite() {
    {
      std::lock_guard lock(mutex_);
      if (stopped_ || pending_.empty()) return false;
      sending_.swap(pending_);
      writing_ = true;
    }
    written_ = 0;
    return continueWrite();
  }

  // In slices, so that closing sees the peer taking a long queue.
  bool continueWrite() {
    const std::size_t size = std::min(sendSlice, sending_.size() - written_);
    if (const DWORD error = startIo(false, sending_.data() + written_, size); error != 0) {
      writeEnded();
      if (!silenced_) report(lf_reasonOf(error), static_cast<int>(error));
      return false;
    }
    return true;
  }

  void writeEnded() {
    sending_.clear();
    std::lock_guard lock(mutex_);
    writing_ = false;
    idle_.notify_all();
  }

  // A write has completed; true while more of it is under way.
  bool writeCompleted() {
    DWORD bytes = 0;
    const DWORD error = finishIo(false, bytes, FALSE);
    if (error != 0) {
      writeEnded();
      if (!silenced_) report(lf_reasonOf(error), static_cast<int>(error));
      return false;
    }
    written_ += bytes;
    sentBytes_ += bytes;
    if (written_ < sending_.size()) return continueWrite();
    writeEnded();
    return false;
  }

  void ioLoop() {
    bool reading = startRead();
    bool writing = false;
    while (!quit_) {
      if (!writing) writing = startWrite();
      HANDLE waits[3];
      DWORD count = 0;
      waits[count++] = wake_.get();
      if (reading) waits[count++] = readEvent_.get();
      if (writing) waits[count++] = writeEvent_.get();
      const DWORD which = ::WaitForMultipleObjects(count, waits, FALSE, INFINITE);
      if (which == WAIT_FAILED) {
        report(DisconnectReason::otherError, static_cast<int>(::GetLastError()));
        break;
      }
      const HANDLE signalled = waits[which - WAIT_OBJECT_0];
      if (signalled == readEvent_.get()) {
        reading = readCompleted();
      } else if (signalled == writeEvent_.get()) {
        writing = writeCompleted();
      }
      bool stopped = false;
      {
        std::lock_guard lock(mutex_);
        stopped = stopped_;
      }
      if (stopped && !writing && !reading) break;
    }
    // Ends what is still under way before the buffers and the handle go.
    if (reading || writing) ::CancelIoEx(fileHandle(), nullptr);
    DWORD bytes = 0;
    if (reading) finishIo(true, bytes, TRUE);
    if (writing) finishIo(false, bytes, TRUE);
    if (writing) writeEnded();
    if (reading) readerEnded();
    std::lock_guard lock(mutex_);
    if (stopped_) closeHandle();
  }

  const SimTransportKind kind_;
  HANDLE pipe_ = INVALID_HANDLE_VALUE;
  SOCKET socket_ = INVALID_SOCKET;
  SimTransportSink* sink_ = nullptr;
  std::thread io_;
  Event wake_{false};
  Event readEvent_{true};
  Event writeEvent_{true};
  Overlapped readOv_;
  Overlapped writeOv_;
  std::vector<std::byte> dropped_;
  std::vector<std::byte> sending_;  // the write under way (I/O thread only)
  std::size_t written_ = 0;
  std::atomic<std::uint64_t> sentBytes_{0};  // for closing: whether the peer still takes bytes
  std::mutex mutex_;  // guards the write queue and the state flags below
  std::condition_variable idle_;
  std::vector<std::byte> pending_;
  bool writing_ = false;
  bool stopped_ = false;  // read or write failed, or the sink stopped reading
  bool closing_ = false;
  bool closed_ = false;
  bool readerEnded_ = false;
  std::atomic<bool> quit_{false};
  std::atomic<bool> silenced_{false};
  std::atomic<bool> reported_{false};
};

// ------------------------------------------------------------------- server side

class SocketStream final : public ByteStream {
 public:
  explicit SocketStream(SOCKET socket) : socket_(socket) {}
  ~SocketStream() override { ::closesocket(socket_); }
  long read(std::byte* buffer, std::size_t size) override {
    for (;;) {
      if (shut_) return 0;
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(socket_, &ready);
      timeval wait{0, static_cast<long>(slice.count() * 1000)};
      const int result = ::select(0, &ready, nullptr, nullptr, &wait);
      if (result == SOCKET_ERROR) return -::WSAGetLastError();
      if (result == 0) continue;
      const int n = ::recv(socket_, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
      if (n >= 0) return n;
      const int error = ::WSAGetLastError();
      if (shut_ || error == WSAESHUTDOWN) return 0;
      return -error;
    }
  }
  int writeAll(const std::byte* data, std::size_t size) override {
    while (size > 0) {
      const int n = ::send(socket_, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
      if (n == SOCKET_ERROR) return ::WSAGetLastError();
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return 0;
  }
  void shutdown() override {
    shut_ = true;
    ::shutdown(socket_, SD_BOTH);
  }

 private:
  SOCKET socket_;
  std::atomic<bool> shut_{false};
};

class SocketListener final : public StreamListener {
 public:
  SocketListener(SOCKET socket, std::uint16_t port) : socket_(socket), port_(port) {}
  ~SocketListener() override {
    ::closesocket(socket_);
    gf_netCleanup();
  }
  std::uint16_t port() const override { return port_; }
  std::unique_ptr<ByteStream> accept(std::chrono::milliseconds timeout) override {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!stopped_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() < 0) return nullptr;
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(socket_, &ready);
      const auto wait = std::min(left, std::chrono::milliseconds(slice));
      timeval time{0, static_cast<long>(wait.count() * 1000)};
      if (::select(0, &ready, nullptr, nullptr, &time) <= 0 || stopped_) continue;
      const SOCKET client = ::accept(socket_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      u_long blocking = 0;
      ::ioctlsocket(client, FIONBIO, &blocking);
      const BOOL on = TRUE;
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
      return std::make_unique<SocketStream>(client);
    }
    return nullptr;
  }
  void shutdown() override { stopped_ = true; }

 private:
  SOCKET socket_;
  std::uint16_t port_;
  std::atomic<bool> stopped_{false};
};

// One connected instance of the server's pipe. read and writeAll run on their own events, so
// one thread may read while another writes; shutdown cancels both.
class PipeStream final : public ByteStream {
 public:
  explicit PipeStream(HANDLE pipe) : pipe_(pipe) {}
  ~PipeStream() override {
    ::DisconnectNamedPipe(pipe_);
    ::CloseHandle(pipe_);
  }
  long read(std::byte* buffer, std::size_t size) override {
    DWORD bytes = 0;
    const DWORD error = transfer(true, buffer, size, bytes);
    if (error == 0) return static_cast<long>(bytes);
    if (shut_ || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED ||
        error == ERROR_OPERATION_ABORTED)
      return 0;
    return -static_cast<long>(error);
  }
  int writeAll(const std::byte* data, std::size_t size) override {
    while (size > 0) {
      DWORD bytes = 0;
      if (const DWORD error = transfer(false, const_cast<std::byte*>(data), size, bytes); error != 0)
        return static_cast<int>(error);
      data += bytes;
      size -= bytes;
    }
    return 0;
  }
  void shutdown() override {
    shut_ = true;
    ::CancelIoEx(pipe_, nullptr);
  }

 private:
  DWORD transfer(bool read, std::byte* data, std::size_t size, DWORD& bytes) {
    if (shut_) return ERROR_OPERATION_ABORTED;
    Event& event = read ? readEvent_ : writeEvent_;
    OVERLAPPED ov{};
    ov.hEvent = event.get();
    const DWORD count = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
    const BOOL ok = read ? ::ReadFile(pipe_, data, count, nullptr, &ov)
                         : ::WriteFile(pipe_, data, count, nullptr, &ov);
    if (!ok) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return error;
    }
    // Waits in slices: a shutdown that came before the operation started still ends it.
    while (::WaitForSingleObject(event.get(), static_cast<DWORD>(slice.count())) == WAIT_TIMEOUT) {
      if (shut_) ::CancelIoEx(pipe_, &ov);
    }
    if (::GetOverlappedResult(pipe_, &ov, &bytes, TRUE)) return 0;
    const DWORD error = ::GetLastError();
    return error == ERROR_MORE_DATA ? 0 : error;
  }

  HANDLE pipe_;
  Event readEvent_{true};
  Event writeEvent_{true};
  std::atomic<bool> shut_{false};
};

HANDLE lf_newPipeInstance(const std::wstring& name, bool first) {
  const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
  return ::CreateNamedPipeW(name.c_str(), openMode, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                            PIPE_UNLIMITED_INSTANCES, 65536, 65536, 0, nullptr);
}

// The server's pipe: one instance always waits for the next client, so that a client never
// finds the pipe missing between two accepts.
class PipeListener final : public StreamListener {
 public:
  PipeListener(std::wstring name, HANDLE waiting) : name_(std::move(name)), waiting_(waiting) {}
  ~PipeListener() override {
    if (waiting_ != INVALID_HANDLE_VALUE) ::CloseHandle(waiting_);
  }
  std::uint16_t port() const override { return 0; }

  std::unique_ptr<ByteStream> accept(std::chrono::milliseconds timeout) override {
    if (waiting_ == INVALID_HANDLE_VALUE) {
      waiting_ = lf_newPipeInstance(name_, false);
      if (waiting_ == INVALID_HANDLE_VALUE) return nullptr;
    }
    if (!connectPending_) {
      connect_ = OVERLAPPED{};
      connect_.hEvent = connected_.get();
      ::ResetEvent(connected_.get());
      if (::ConnectNamedPipe(waiting_, &connect_)) {
        return handOver();
      }
      const DWORD error = ::GetLastError();
      if (error == ERROR_PIPE_CONNECTED) return handOver();
      if (error != ERROR_IO_PENDING) {
        ::CloseHandle(std::exchange(waiting_, INVALID_HANDLE_VALUE));
        return nullptr;
      }
      connectPending_ = true;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!stopped_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() < 0) return nullptr;  // the connect stays pending for the next call
      const auto wait = std::min(left, std::chrono::milliseconds(slice));
      if (::WaitForSingleObject(connected_.get(), static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0) continue;
      connectPending_ = false;
      DWORD unused = 0;
      if (::GetOverlappedResult(waiting_, &connect_, &unused, FALSE)) return handOver();
      // The client went again before we took it: a fresh instance waits for the next one.
      ::CloseHandle(std::exchange(waiting_, INVALID_HANDLE_VALUE));
      return nullptr;
    }
    cancelPending();
    return nullptr;
  }

  void shutdown() override { stopped_ = true; }

 private:
  std::unique_ptr<ByteStream> handOver() {
    connectPending_ = false;
    auto stream = std::make_unique<PipeStream>(std::exchange(waiting_, INVALID_HANDLE_VALUE));
    waiting_ = lf_newPipeInstance(name_, false);
    return stream;
  }

  void cancelPending() {
    if (!connectPending_) return;
    ::CancelIoEx(waiting_, &connect_);
    DWORD unused = 0;
    ::GetOverlappedResult(waiting_, &connect_, &unused, TRUE);
    connectPending_ = false;
    ::CloseHandle(std::exchange(waiting_, INVALID_HANDLE_VALUE));
  }

  std::wstring name_;
  HANDLE waiting_;
  Event connected_{true};
  OVERLAPPED connect_{};
  bool connectPending_ = false;
  std::atomic<bool> stopped_{false};
};

}  // namespace

SimConnectAttempt connectSimTcp(TcpFamily family, const std::string& address,
                                   const std::string& port, bool disableNagle) {
  SimConnectAttempt attempt;
  if (const int rc = gf_netStartup(); rc != 0) {
    attempt.osError = rc;
    return attempt;
  }
  addrinfoW hints{};
  hints.ai_family = family == TcpFamily::ipv6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfoW* found = nullptr;
  const std::wstring host = lf_wide(address);
  const std::wstring service = lf_wide(port);
  if (const int rc = ::GetAddrInfoW(address.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
      rc != 0) {
    attempt.osError = rc;
    gf_netCleanup();
    return attempt;
  }
  attempt.osError = WSAECONNREFUSED;
  for (addrinfoW* entry = found; entry != nullptr; entry = entry->ai_next) {
    const SOCKET s = ::WSASocketW(entry->ai_family, entry->ai_socktype, entry->ai_protocol, nullptr, 0,
                                  WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
      attempt.osError = ::WSAGetLastError();
      continue;
    }
    if (::connect(s, entry->ai_addr, static_cast<int>(entry->ai_addrlen)) != 0) {
      attempt.osError = ::WSAGetLastError();
      ::closesocket(s);
      continue;
    }
    if (disableNagle) {
      const BOOL on = TRUE;
      ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    // The transport ends the start-up made above when it goes.
    attempt.transport = std::make_unique<Win32SimTransport>(SimTransportKind::tcp, INVALID_HANDLE_VALUE, s);
    attempt.osError = 0;
    break;
  }
  ::FreeAddrInfoW(found);
  if (!attempt.transport) gf_netCleanup();
  return attempt;
}

std::filesystem::path pipeSocketPath(std::string_view pipePath, const std::filesystem::path&) {
  // On Windows the pipe is itself what the server listens on; only a local one is served here.
  if (pipePath.substr(0, 2) != "\\\\") return {};
  std::string_view rest = pipePath.substr(2);
  const auto serverEnd = rest.find('\\');
  if (serverEnd == std::string_view::npos) return {};
  const std::string_view server = rest.substr(0, serverEnd);
  if (!server.empty() && server != ".") return {};
  rest.remove_prefix(serverEnd + 1);
  if (rest.size() < 6 || !profileNamesEqual(rest.substr(0, 5), "pipe\\")) return {};
  return std::filesystem::path(lf_wide("\\\\.\\" + std::string(rest)));
}

SimConnectAttempt connectSimPipe(const std::string& pipePath, const std::filesystem::path&) {
  SimConnectAttempt attempt;
  const std::wstring path = lf_wide(pipePath);
  if (path.empty()) {
    attempt.osError = ERROR_INVALID_NAME;
    return attempt;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(pipeBusyWaitMs);
  for (;;) {
    const HANDLE pipe = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      attempt.transport = std::make_unique<Win32SimTransport>(SimTransportKind::pipe, pipe, INVALID_SOCKET);
      return attempt;
    }
    attempt.osError = static_cast<int>(::GetLastError());
    // Every instance is taken: wait for one to come free, within the one wait allowed.
    if (attempt.osError != ERROR_PIPE_BUSY) return attempt;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !::WaitNamedPipeW(path.c_str(), static_cast<DWORD>(left.count()))) {
      attempt.osError = static_cast<int>(::GetLastError());
      if (attempt.osError == 0) attempt.osError = ERROR_SEM_TIMEOUT;
      return attempt;
    }
  }
}

bool ipv6LoopbackResolves() {
  if (gf_netStartup() != 0) return false;
  addrinfoW hints{};
  hints.ai_family = AF_INET6;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfoW* found = nullptr;
  const bool resolves = ::GetAddrInfoW(L"::1", nullptr, &hints, &found) == 0;
  if (found != nullptr) ::FreeAddrInfoW(found);
  gf_netCleanup();
  return resolves;
}

std::unique_ptr<StreamListener> listenTcp(const std::string& address, std::uint16_t port,
                                             std::string& error) {
  if (const int rc = gf_netStartup(); rc != 0) {
    error = "WSAStartup failed with error " + std::to_string(rc);
    return nullptr;
  }
  sockaddr_storage storage{};
  int length = 0;
  const int family = address.find(':') != std::string::npos ? AF_INET6 : AF_INET;
  const auto fail = [&](const std::string& why, SOCKET s) -> std::unique_ptr<StreamListener> {
    error = why;
    if (s != INVALID_SOCKET) ::closesocket(s);
    gf_netCleanup();
    return nullptr;
  };
  if (family == AF_INET6) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) != 1)
      return fail("bad IPv6 address " + address, INVALID_SOCKET);
    length = sizeof(sockaddr_in6);
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) != 1)
      return fail("bad IPv4 address " + address, INVALID_SOCKET);
    length = sizeof(sockaddr_in);
  }
  const SOCKET s = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return fail("socket error " + std::to_string(::WSAGetLastError()), s);
  const BOOL on = TRUE;
  if (family == AF_INET6)
    ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
  u_long nonBlocking = 1;
  if (::bind(s, reinterpret_cast<const sockaddr*>(&storage), length) != 0 || ::listen(s, 16) != 0 ||
      ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0)
    return fail("bind/listen error " + std::to_string(::WSAGetLastError()), s);
  sockaddr_storage bound{};
  int boundLength = sizeof bound;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  const std::uint16_t boundPort =
      family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port)
                         : ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
  return std::make_unique<SocketListener>(s, boundPort);
}

std::unique_ptr<StreamListener> listenLocal(const std::filesystem::path& path, std::string& error) {
  const std::wstring name = path.wstring();
  const HANDLE first = lf_newPipeInstance(name, true);
  if (first == INVALID_HANDLE_VALUE) {
    error = "CreateNamedPipeW failed with error " + std::to_string(::GetLastError());
    return nullptr;
  }
  return std::make_unique<PipeListener>(name, first);
}

}  // namespace platform
