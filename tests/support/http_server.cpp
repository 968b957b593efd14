#include "support/http_server.hpp"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <utility>

#include "foundation/format.hpp"
#include "platform/net.hpp"

namespace wdrx::testing {

namespace {

constexpr auto pollSlice = std::chrono::milliseconds(20);
constexpr std::size_t maxRequestBytes = 64 * 1024;
constexpr auto requestTimeout = std::chrono::seconds(5);

std::string lf_reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

std::string lf_lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string lf_trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

HttpServer::HttpServer() {
  if (platform::gf_netStartup() != 0) throw std::runtime_error("HttpServer: socket start-up failed");
  netStarted_ = true;
  listener_ = std::make_unique<platform::TcpListener>();
  if (listener_->openLoopback("0").failedStep != platform::TcpListener::Step::none) {
    listener_.reset();
    platform::gf_netCleanup();
    throw std::runtime_error("HttpServer: bind/listen failed");
  }
  port_ = listener_->localPort();
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpServer::~HttpServer() { stop(); }

void HttpServer::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (acceptThread_.joinable()) acceptThread_.join();
  // The accept thread is gone, so no connection thread is added any more.
  for (auto& connection : connections_) {
    if (connection.joinable()) connection.join();
  }
  listener_.reset();
  if (std::exchange(netStarted_, false)) platform::gf_netCleanup();
}

std::string HttpServer::url(const std::string& path) const {
  return wdrx::format("http://127.0.0.1:{}{}", port_, path);
}

void HttpServer::setRoute(const std::string& path, Route route) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(route);
}

void HttpServer::serveFile(const std::string& path, std::string body) {
  serveStatus(path, 200, std::move(body));
}

void HttpServer::serveStatus(const std::string& path, int status, std::string body) {
  Route route;
  route.status = status;
  route.body = std::move(body);
  setRoute(path, std::move(route));
}

void HttpServer::serveCutShort(const std::string& path, std::string body, std::size_t sentBytes) {
  Route route;
  route.mode = Mode::CutShort;
  route.body = std::move(body);
  route.sentBytes = std::min(sentBytes, route.body.size());
  setRoute(path, std::move(route));
}

void HttpServer::serveRedirect(const std::string& path, int status, std::string location) {
  Route route;
  route.status = status;
  route.location = std::move(location);
  setRoute(path, std::move(route));
}

void HttpServer::serveStall(const std::string& path) {
  Route route;
  route.mode = Mode::Stall;
  setRoute(path, std::move(route));
}

void HttpServer::serveSlowly(const std::string& path, std::string body, std::chrono::milliseconds interval) {
  Route route;
  route.mode = Mode::Slowly;
  route.body = std::move(body);
  route.interval = interval;
  setRoute(path, std::move(route));
}

std::vector<HttpRequest> HttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool HttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool HttpServer::pause(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, duration, [&] { return stopping_.load(); });
}

void HttpServer::acceptLoop() {
  while (!stopping_) {
    auto accepted = listener_->accept(pollSlice);
    if (!accepted.stream) continue;
    std::lock_guard lock(mutex_);
    connections_.emplace_back([this, stream = std::shared_ptr<platform::TcpStream>(std::move(accepted.stream))] {
      handle(*stream);
      stream->close();
    });
  }
}

bool HttpServer::readRequest(platform::TcpStream& stream, HttpRequest& request) {
  std::string data;
  const auto deadline = std::chrono::steady_clock::now() + requestTimeout;
  while (data.find("\r\n\r\n") == std::string::npos) {
    if (stopping_ || data.size() > maxRequestBytes || std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    char buffer[4096];
    const auto got = stream.receive(buffer, sizeof buffer, pollSlice);
    if (got.error == platform::netError::timedOut) continue;
    if (got.error != 0 || got.bytes <= 0) return false;
    data.append(buffer, static_cast<std::size_t>(got.bytes));
  }
  const auto lineEnd = data.find("\r\n");
  const std::string line = data.substr(0, lineEnd);
  const auto space1 = line.find(' ');
  const auto space2 = line.find(' ', space1 + 1);
  if (space1 == std::string::npos || space2 == std::string::npos) return false;
  request.method = line.substr(0, space1);
  request.target = line.substr(space1 + 1, space2 - space1 - 1);
  std::size_t pos = lineEnd + 2;
  for (;;) {
    const auto end = data.find("\r\n", pos);
    if (end == std::string::npos || end == pos) break;
    const std::string header = data.substr(pos, end - pos);
    const auto colon = header.find(':');
    if (colon != std::string::npos) {
      request.headers[lf_lower(header.substr(0, colon))] = lf_trim(header.substr(colon + 1));
    }
    pos = end + 2;
  }
  return true;
}

bool HttpServer::sendAll(platform::TcpStream& stream, const char* data, std::size_t size) {
  while (size > 0) {
    if (stopping_) return false;
    // In pieces, so that stop() ends a send to a client that does not read.
    const std::size_t piece = std::min<std::size_t>(size, 16384);
    const int rc = stream.sendAll(std::string_view(data, piece), pollSlice);
    if (rc == platform::netError::timedOut) continue;
    if (rc != 0) return false;
    data += piece;
    size -= piece;
  }
  return true;
}

void HttpServer::handle(platform::TcpStream& stream) {
  HttpRequest request;
  if (!readRequest(stream, request)) return;
  Route route;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    const auto found = routes_.find(request.target);
    if (found != routes_.end()) {
      route = found->second;
    } else {
      route.status = 404;
      route.body = "not found";
    }
  }
  changed_.notify_all();

  if (route.mode == Mode::Stall) {
    pause(std::chrono::hours(1));
    return;
  }
  std::string head = wdrx::format("HTTP/1.1 {} {}\r\nContent-Length: {}\r\nConnection: close\r\n",
                                  route.status, lf_reason(route.status), route.body.size());
  if (!route.location.empty()) head += "Location: " + route.location + "\r\n";
  head += "\r\n";
  if (!sendAll(stream, head.data(), head.size())) return;
  if (request.method == "HEAD") return;
  switch (route.mode) {
    case Mode::CutShort:
      sendAll(stream, route.body.data(), route.sentBytes);
      break;
    case Mode::Slowly:
      for (const char byte : route.body) {
        if (!sendAll(stream, &byte, 1) || !pause(route.interval)) break;
      }
      break;
    default:
      sendAll(stream, route.body.data(), route.body.size());
      break;
  }
  // The request was read whole, so closing leaves nothing unread that would reset the
  // connection: the client reads everything sent, and a cut stays a cut.
  stream.shutdown();
}

}  // namespace wdrx::testing
