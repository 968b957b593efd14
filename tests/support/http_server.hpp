#pragma once
// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) for download tests. Each path answers
// the way a test sets up: a file, an error status, a body cut short, a redirect, a stall or a
// slow trickle. Every connection is closed after one answer. stop() (and the destructor) ends
// stalls and trickles at once and joins every thread, so a test never hangs on the server.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {
class TcpListener;
class TcpStream;
}  // namespace platform

namespace wdrx::testing {

struct HttpRequest {
  std::string method;
  std::string target;                         // path as requested, e.g. "/downloads/12/x"
  std::map<std::string, std::string> headers;  // names in lower case
};

class HttpServer {
 public:
  HttpServer();
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by the path.
  std::string url(const std::string& path) const;

  // 200 with the body.
  void serveFile(const std::string& path, std::string body);
  // The status with an optional body (404, 500, 304 ...). Unknown paths answer 404.
  void serveStatus(const std::string& path, int status, std::string body = {});
  // Announces the whole body's length, sends only its first sentBytes, then closes.
  void serveCutShort(const std::string& path, std::string body, std::size_t sentBytes);
  // 301/302 to another location (a path of this server or a full address).
  void serveRedirect(const std::string& path, int status, std::string location);
  // Reads the request and answers nothing until the server stops.
  void serveStall(const std::string& path);
  // 200 with the body, one byte per interval.
  void serveSlowly(const std::string& path, std::string body, std::chrono::milliseconds interval);

  std::vector<HttpRequest> requests() const;
  // True once at least count requests were read, false after the time-out.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

  void stop();

 private:
  enum class Mode { Respond, CutShort, Stall, Slowly };
  struct Route {
    Mode mode = Mode::Respond;
    int status = 200;
    std::string body;
    std::string location;
    std::size_t sentBytes = 0;
    std::chrono::milliseconds interval{0};
  };

  void acceptLoop();
  void handle(platform::TcpStream& stream);
  bool readRequest(platform::TcpStream& stream, HttpRequest& request);
  bool sendAll(platform::TcpStream& stream, const char* data, std::size_t size);
  bool pause(std::chrono::milliseconds duration);  // false when stopping
  void setRoute(const std::string& path, Route route);

  std::unique_ptr<platform::TcpListener> listener_;
  bool netStarted_ = false;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::string, Route> routes_;
  std::vector<HttpRequest> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptThread_;
};

}  // namespace wdrx::testing
