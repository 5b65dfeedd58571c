#include "platform/system/win32_console_stops.h"

#include <windows.h>

#include <mutex>

#include "platform/system/stop_requests.h"

namespace quarvel::system {
namespace {

std::mutex deliverLock;
std::function<void(int)>* deliverTo = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const int request = event == CTRL_C_EVENT ? kInterruptRequest : kTerminateRequest;
  const std::lock_guard hold(deliverLock);
  if (!deliverTo) return FALSE;
  (*deliverTo)(request);
  return TRUE;
}

}  // namespace

ConsoleStops::ConsoleStops(std::function<void(int request)> deliver) {
  const std::lock_guard hold(deliverLock);
  if (deliverTo) return;
  deliverTo = new std::function<void(int)>(std::move(deliver));
  catching_ = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
  if (!catching_) {
    delete deliverTo;
    deliverTo = nullptr;
  }
}

ConsoleStops::~ConsoleStops() {
  if (!catching_) return;
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  const std::lock_guard hold(deliverLock);
  delete deliverTo;
  deliverTo = nullptr;
}

}  // namespace quarvel::system
