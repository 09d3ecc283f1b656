// A small HTTP server on 127.0.0.1 for the tests and benchmarks that need
// one (a map tile host): one thread, one connection at a time, each closed
// after its answer.  It keeps the path of every request in order of arrival.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvtest {

class LocalHttpServer {
 public:
  // `answer` gives the whole response (status line, headers, body) for a
  // request's method and path; it runs on the server's thread.
  using Answer = std::function<std::string(const std::string& method, const std::string& path)>;
  explicit LocalHttpServer(Answer answer);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  // The port it listens on; 0 when it could not listen.
  int Port() const { return port_; }
  std::vector<std::string> Requests() const;

  // A 200 response with `body` (none for HEAD) and the extra header lines.
  static std::string Ok(const std::string& method, const std::string& contentType, const std::string& body,
                        const std::string& headers = std::string());

 private:
  void Serve();

  Answer answer_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<std::string> paths_;
  std::thread thread_;
};

}  // namespace qvtest
