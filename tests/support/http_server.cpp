#include "support/http_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <stdexcept>

#include "foundation/format.hpp"

namespace wdrx::testing {

namespace {

constexpr int pollMs = 20;
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
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("HttpServer: socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 16) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("HttpServer: bind/listen failed");
  }
  port_ = ntohs(address.sin_port);
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
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    listenFd_ = -1;
  }
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
    pollfd entry{listenFd_, POLLIN, 0};
    if (::poll(&entry, 1, pollMs) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    connections_.emplace_back([this, fd] {
      handle(fd);
      ::close(fd);
    });
  }
}

bool HttpServer::readRequest(int fd, HttpRequest& request) {
  std::string data;
  const auto deadline = std::chrono::steady_clock::now() + requestTimeout;
  while (data.find("\r\n\r\n") == std::string::npos) {
    if (stopping_ || data.size() > maxRequestBytes || std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, pollMs) <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    data.append(buffer, static_cast<std::size_t>(got));
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

bool HttpServer::sendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    if (stopping_) return false;
    pollfd entry{fd, POLLOUT, 0};
    if (::poll(&entry, 1, pollMs) <= 0) continue;
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void HttpServer::handle(int fd) {
  HttpRequest request;
  if (!readRequest(fd, request)) return;
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
  if (!sendAll(fd, head.data(), head.size())) return;
  if (request.method == "HEAD") return;
  switch (route.mode) {
    case Mode::CutShort:
      sendAll(fd, route.body.data(), route.sentBytes);
      break;
    case Mode::Slowly:
      for (const char byte : route.body) {
        if (!sendAll(fd, &byte, 1) || !pause(route.interval)) break;
      }
      break;
    default:
      sendAll(fd, route.body.data(), route.body.size());
      break;
  }
  // Let the client read everything before the close, so that a cut is a cut and not a reset.
  ::shutdown(fd, SHUT_WR);
  char sink[256];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, pollMs) <= 0) continue;
    if (::recv(fd, sink, sizeof sink, 0) <= 0) break;
  }
}

}  // namespace wdrx::testing
