// A one-connection TCP server on 127.0.0.1 with an ephemeral port, run on its
// own thread with plain POSIX calls (the thread never touches framework
// objects). Every wait is bounded, so a client that misbehaves fails the test
// instead of hanging it.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

namespace cvx::testing {

inline constexpr int kWaitMs = 5000;

// Reads until `until` has been seen, the peer closes or nothing comes for kWaitMs.
inline std::string ReadUntil(int fd, const std::string& until) {
  std::string got;
  while (got.find(until) == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kWaitMs) <= 0) break;
    char buffer[512];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

inline void SendAll(int fd, const std::string& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return;
    at += static_cast<std::size_t>(n);
  }
}

class LoopbackServer {
 public:
  // handler runs on the server thread with the accepted connection, which is
  // closed when it returns.
  explicit LoopbackServer(std::function<void(int)> handler, int port = 0) {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listen_, 4) != 0) {
      close(listen_);
      listen_ = -1;
      return;
    }
    socklen_t length = sizeof address;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, handler] {
      pollfd p{listen_, POLLIN, 0};
      if (poll(&p, 1, kWaitMs) <= 0) return;
      int connection = accept(listen_, nullptr, nullptr);
      if (connection < 0) return;
      handler(connection);
      close(connection);
    });
  }
  ~LoopbackServer() {
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) close(listen_);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool Ok() const { return listen_ >= 0; }
  int Port() const { return port_; }
  // Waits for the handler to finish.
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
inline int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// Descriptors this process has open.
inline int OpenDescriptors() {
  int count = 0;
  for (int fd = 0; fd < 4096; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) ++count;
  }
  return count;
}

}  // namespace cvx::testing
