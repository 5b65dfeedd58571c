#pragma once

// The console's requests to stop (Ctrl+C, Ctrl+Break, its closing, the end of
// the session), without Qt: the Windows side of StopSignals.
#include <functional>

namespace quarvel::system {

class ConsoleStops {
 public:
  // Hands every request to deliver, as kInterruptRequest or
  // kTerminateRequest, on a thread the system starts for it, until destroyed.
  // One at a time.
  explicit ConsoleStops(std::function<void(int request)> deliver);
  ~ConsoleStops();
  ConsoleStops(const ConsoleStops&) = delete;
  ConsoleStops& operator=(const ConsoleStops&) = delete;

  bool Catching() const { return catching_; }

 private:
  bool catching_ = false;
};

}  // namespace quarvel::system
