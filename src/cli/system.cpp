#include "cli/system.h"

#include <QFile>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace quarvel::cli {
namespace {

// Input beyond this is refused rather than read into memory.
constexpr qint64 kMaxInputBytes = 64LL << 20;

}  // namespace

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

std::optional<QByteArray> ReadInput(const QString& name, QString* error) {
  const bool standardInput = name == QLatin1String("-");
  const int fd = standardInput ? STDIN_FILENO
                               : ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error =
        QStringLiteral("cannot read %1: %2").arg(name, QString::fromLocal8Bit(strerror(errno)));
    return std::nullopt;
  }
  QByteArray content;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = QStringLiteral("cannot read %1: %2")
                   .arg(standardInput ? QStringLiteral("standard input") : name,
                        QString::fromLocal8Bit(strerror(errno)));
      content.clear();
      break;
    }
    if (n == 0) break;
    content.append(buffer, n);
    if (content.size() > kMaxInputBytes) {
      *error = QStringLiteral("%1 is larger than %2 MiB")
                   .arg(standardInput ? QStringLiteral("standard input") : name)
                   .arg(kMaxInputBytes >> 20);
      break;
    }
  }
  if (!standardInput) ::close(fd);
  if (!error->isEmpty()) return std::nullopt;
  return content;
}

bool ProgressOnTerminal(bool rowsToFile) {
  const char* term = std::getenv("TERM");
  return isatty(STDERR_FILENO) && !(term && qstrcmp(term, "dumb") == 0) &&
         (rowsToFile || !isatty(STDOUT_FILENO));
}

}  // namespace quarvel::cli
