#include "base/config/start_state.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <optional>

#include "base/config/logging.h"

namespace quarvel {
namespace {

struct StartState {
  QStringList arguments;
  QProcessEnvironment environment;
};

std::optional<StartState>& Remembered() {
  static std::optional<StartState> state;
  return state;
}

}  // namespace

void RememberStart(const QStringList& arguments) {
  Remembered() = StartState{arguments, QProcessEnvironment::systemEnvironment()};
}

QStringList StartArguments() {
  if (Remembered()) return Remembered()->arguments;
  return QCoreApplication::arguments().mid(1);
}

bool StartDetached(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  process.setProcessEnvironment(Remembered() ? Remembered()->environment
                                             : QProcessEnvironment::systemEnvironment());
  qint64 pid = 0;
  const bool started = process.startDetached(&pid);
  if (started)
    qCDebug(lcApp) << "started" << program << arguments << "as process" << pid;
  else
    qCWarning(lcApp).noquote() << "could not start" << program << ":" << process.errorString();
  return started;
}

}  // namespace quarvel
