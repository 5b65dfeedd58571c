#pragma once

// A plain HTTP server on 127.0.0.1 and a free port, running on its own thread
// for the life of the object.
#include <httplib.h>

#include <QString>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace quarvel::testing {

class LocalServer {
 public:
  LocalServer() : server_(std::make_unique<httplib::Server>()) { Configure(); }
  // HTTPS with the given certificate and key files.
  LocalServer(const std::string& cert, const std::string& key)
      : server_(std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str())), tls_(true) {
    Configure();
  }
  ~LocalServer() { Stop(); }
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  httplib::Server& server() { return *server_; }

  // Binds and starts serving; returns the port.
  int Start() {
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return port_;
  }

  void Stop() {
    if (thread_.joinable()) {
      server_->stop();
      thread_.join();
    }
  }

  QString Base() const {
    return QStringLiteral("%1://127.0.0.1:%2").arg(tls_ ? "https" : "http").arg(port_);
  }
  QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
  int port() const { return port_; }

 private:
  // One request a connection: stopping never waits for an idle keep-alive.
  void Configure() { server_->set_keep_alive_max_count(1); }

  std::unique_ptr<httplib::Server> server_;
  bool tls_ = false;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace quarvel::testing
