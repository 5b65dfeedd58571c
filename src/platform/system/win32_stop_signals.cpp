// The console's requests to stop, handed from the system's thread to the
// event loop.
#include <QMetaObject>

#include "platform/system/stop_signals.h"
#include "platform/system/win32_console_stops.h"

namespace quarvel::system {

struct StopSignals::Catcher {
  std::unique_ptr<ConsoleStops> console;
};

StopSignals::StopSignals(QObject* parent) : QObject(parent), catcher_(new Catcher) {
  // Queued: the request reaches this object's thread between two events.
  catcher_->console = std::make_unique<ConsoleStops>([this](int request) {
    QMetaObject::invokeMethod(
        this, [this, request] { emit Stopped(request); }, Qt::QueuedConnection);
  });
}

StopSignals::~StopSignals() = default;

}  // namespace quarvel::system
