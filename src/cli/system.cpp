#include "cli/system.h"

#include <cstdlib>

#include "base/files/safe_file.h"
#include "platform/system/files.h"
#include "platform/system/process.h"

namespace quarvel::cli {
namespace {

// Input beyond this is refused rather than read into memory.
constexpr qint64 kMaxInputBytes = 64LL << 20;

}  // namespace

QString LastSystemError() { return QString::fromLocal8Bit(system::LastError().c_str()); }

void IgnoreBrokenPipes() { system::IgnoreBrokenPipes(); }

std::optional<QByteArray> ReadInput(const QString& name, QString* error) {
  const bool standardInput = name == QLatin1String("-");
  const int fd = standardInput ? system::kStandardInput : system::OpenForReading(SystemPath(name));
  if (fd < 0) {
    *error = QStringLiteral("cannot read %1: %2")
                 .arg(name, QString::fromLocal8Bit(system::LastError().c_str()));
    return std::nullopt;
  }
  QByteArray content;
  char buffer[65536];
  for (;;) {
    const int64_t n = system::Read(fd, buffer, sizeof buffer);
    if (n < 0) {
      *error = QStringLiteral("cannot read %1: %2")
                   .arg(standardInput ? QStringLiteral("standard input") : name,
                        QString::fromLocal8Bit(system::LastError().c_str()));
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
  if (!standardInput) system::Close(fd);
  if (!error->isEmpty()) return std::nullopt;
  return content;
}

bool ProgressOnTerminal(bool rowsToFile) {
  const char* term = std::getenv("TERM");
  return system::IsTerminal(system::kStandardError) && !(term && qstrcmp(term, "dumb") == 0) &&
         (rowsToFile || !system::IsTerminal(system::kStandardOutput));
}

}  // namespace quarvel::cli
