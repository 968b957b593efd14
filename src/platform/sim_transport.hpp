#pragma once
// Byte-stream transports of the simulator link: the client side used by the SimConnect library
// (a TCP connection over IPv6 or IPv4, or the simulator's named pipe) and the server side a
// test peer needs (listening on loopback TCP or on the pipe).
//
// The client transport is asynchronous, as overlapped I/O is on Windows: reads complete on an
// I/O thread of the transport, which hands the bytes to the sink; writes are queued and never
// wait for the peer. On posix the named pipe is a Unix domain socket whose path is derived
// from the pipe name (pipeSocketPath).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

enum class SimTransportKind : int { tcp = 0, pipe = 1 };
enum class TcpFamily : int { ipv4, ipv6 };

// Why a transport stopped; numbered as the SimConnect library records them.
enum class DisconnectReason : int {
  none = 0,
  packetTooLarge = 1,
  badPacketSize = 2,
  noMemory = 3,
  peerClosed = 4,
  pipeBroken = 5,
  cancelled = 8,
  otherError = 9,
};

// Receives the completions of one transport, on the transport's I/O thread.
class SimTransportSink {
 public:
  virtual ~SimTransportSink() = default;
  // Free space for the next read (never empty).
  virtual std::span<std::byte> receiveSpace() = 0;
  // `bytes` were written into the last receive space; false stops reading (the sink has
  // failed the connection itself).
  virtual bool received(std::size_t bytes) = 0;
  // Reading or writing failed, or the peer closed. Called at most once, never after close().
  virtual void disconnected(DisconnectReason reason, int osError) = 0;
};

class SimTransport {
 public:
  virtual ~SimTransport() = default;
  virtual SimTransportKind kind() const = 0;
  // Starts reading; completions go to the sink until close().
  virtual void start(SimTransportSink& sink) = 0;
  // Queues a copy of the bytes for writing, in call order. False when the transport has
  // stopped (nothing queued).
  virtual bool write(const std::byte* data, std::size_t size) = 0;
  // Writes out what is queued (giving up after a short while when the peer does not read),
  // shuts the transport down and waits for its I/O; the sink is not called afterwards.
  virtual void close() = 0;
};

struct SimConnectAttempt {
  std::unique_ptr<SimTransport> transport;  // null on failure
  int osError = 0;
};

// Connects over TCP to address:port (numeric or a host name; port as text).
SimConnectAttempt connectSimTcp(TcpFamily family, const std::string& address,
                                   const std::string& port, bool disableNagle);
// Opens the named pipe "\\server\pipe\name". On posix only the local server ("." or empty)
// exists, and the pipe is the Unix domain socket pipeSocketPath(pipePath, socketFolder).
SimConnectAttempt connectSimPipe(const std::string& pipePath,
                                    const std::filesystem::path& socketFolder);
// True when "::1" resolves as a numeric IPv6 stream address.
bool ipv6LoopbackResolves();
// The socket standing for a local pipe: the pipe name after "\pipe\", every '\' or '/' made
// '_', in socketFolder ("\\.\pipe\A B\C" -> socketFolder/"A B_C"). Empty for a remote pipe.
std::filesystem::path pipeSocketPath(std::string_view pipePath,
                                        const std::filesystem::path& socketFolder);

// ---------------------------------------------------------------------------------------------
// Server side (test peers)

// A connected, blocking byte stream. read and writeAll may run on different threads;
// shutdown (any thread) makes both return.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // > 0 bytes read, 0 when the peer closed or the stream was shut down, < 0 an error (-errno).
  virtual long read(std::byte* buffer, std::size_t size) = 0;
  // 0 when everything was written, else the error number.
  virtual int writeAll(const std::byte* data, std::size_t size) = 0;
  virtual void shutdown() = 0;
};

class StreamListener {
 public:
  virtual ~StreamListener() = default;
  // The bound TCP port (0 for a Unix socket).
  virtual std::uint16_t port() const = 0;
  // The next connection, or null when none came within the timeout or the listener is shut down.
  virtual std::unique_ptr<ByteStream> accept(std::chrono::milliseconds timeout) = 0;
  virtual void shutdown() = 0;
};

// Listens on a loopback address ("127.0.0.1" or "::1"); port 0 picks a free one. Null on
// failure, with the error text in `error`.
std::unique_ptr<StreamListener> listenTcp(const std::string& address, std::uint16_t port,
                                             std::string& error);
// Listens on a Unix domain socket at path (an old socket file there is replaced); the file is
// removed again when the listener goes.
std::unique_ptr<StreamListener> listenLocal(const std::filesystem::path& path,
                                               std::string& error);

}  // namespace platform
