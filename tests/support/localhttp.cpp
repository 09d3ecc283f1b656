#include "localhttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qvtest {

namespace {

bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

}  // namespace

LocalHttpServer::LocalHttpServer(Answer answer) : answer_(std::move(answer)) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), length) != 0 || listen(fd_, 64) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    return;
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
}

std::vector<std::string> LocalHttpServer::Requests() const {
  std::lock_guard<std::mutex> l(lock_);
  return paths_;
}

std::string LocalHttpServer::Ok(const std::string& method, const std::string& contentType, const std::string& body,
                                const std::string& headers) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\n" + headers + "Content-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + (method == "HEAD" ? std::string() : body);
}

void LocalHttpServer::Serve() {
  while (!stop_) {
    if (!Readable(fd_, 20)) continue;
    const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
    std::string request;
    char buffer[4096];
    for (int i = 0; i < 100 && !stop_ && request.find("\r\n\r\n") == std::string::npos; ++i) {
      if (!Readable(c, 20)) continue;
      const ssize_t n = recv(c, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    const size_t sp = request.find(' ');
    const std::string method = request.substr(0, sp);
    const std::string path =
        sp == std::string::npos ? std::string() : request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
    {
      std::lock_guard<std::mutex> l(lock_);
      paths_.push_back(path);
    }
    const std::string response = answer_(method, path);
    for (size_t sent = 0; sent < response.size();) {
      const ssize_t n = send(c, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    close(c);
  }
}

}  // namespace qvtest
