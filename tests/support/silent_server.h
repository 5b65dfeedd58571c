#pragma once

// A server on 127.0.0.1 that lets the kernel accept connections but never
// reads nor writes: the peer waits until its own time-out.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QString>

#include <atomic>
#include <thread>

namespace quarvel::testing {

class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 8) != 0)
      return;
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() {
    if (client_ >= 0) close(client_);
    if (fd_ >= 0) close(fd_);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  int port() const { return port_; }
  QString Url(const QString& path = QStringLiteral("/x.png")) const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_) + path;
  }

  // A connection that came within timeoutMs, or -1.
  int Accept(int timeoutMs) {
    pollfd listening{fd_, POLLIN, 0};
    if (poll(&listening, 1, timeoutMs) <= 0) return -1;
    return accept(fd_, nullptr, nullptr);
  }

  // Takes the first waiting connection and waits for its peer to close it;
  // false when that does not happen within timeoutMs.
  bool PeerClosesWithin(int timeoutMs) {
    pollfd listening{fd_, POLLIN, 0};
    if (poll(&listening, 1, timeoutMs) <= 0) return false;
    client_ = accept(fd_, nullptr, nullptr);
    if (client_ < 0) return false;
    pollfd peer{client_, POLLIN, 0};
    char byte;
    for (;;) {
      if (poll(&peer, 1, timeoutMs) <= 0) return false;
      const ssize_t n = recv(client_, &byte, 1, 0);
      if (n <= 0) return true;  // closed (or reset)
    }
  }

 private:
  int fd_ = -1;
  int client_ = -1;
  int port_ = 0;
};

// A server on 127.0.0.1 that resets every connection as soon as it comes.
class ResettingServer {
 public:
  ResettingServer() {
    port_ = server_.port();
    thread_ = std::thread([this] {
      while (!stop_) {
        const int client = server_.Accept(100);
        if (client < 0) continue;
        ++resets_;
        const linger now{1, 0};  // closing sends a reset
        setsockopt(client, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        close(client);
      }
    });
  }
  ~ResettingServer() {
    stop_ = true;
    thread_.join();
  }
  ResettingServer(const ResettingServer&) = delete;
  ResettingServer& operator=(const ResettingServer&) = delete;

  QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
  int Resets() const { return resets_; }

 private:
  SilentServer server_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> resets_{0};
  std::thread thread_;
};

}  // namespace quarvel::testing
