#include "cli/output.h"

#include "base/records/csv.h"
#include "cli/system.h"

namespace quarvel::cli {

QString MessagePrefix() { return QStringLiteral("quarvel-cli: "); }

void Write(FILE* stream, const QByteArray& bytes) {
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fflush(stream);
}

void Error(const QString& message) { Write(stderr, (MessagePrefix() + message).toUtf8() + "\n"); }

int Usage(const QString& message) {
  Error(message + QStringLiteral("; try --help"));
  return 2;
}

std::optional<int> PositiveNumber(const QString& text, int most) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value < 1 || value > most) return std::nullopt;
  return value;
}

std::optional<QStringList> ReadEntries(const QString& name, QString* error) {
  const std::optional<QByteArray> content = ReadInput(name, error);
  if (!content) return std::nullopt;
  csv::BatchInput input = csv::ReadBatchInput(*content);
  if (!input.error.isEmpty()) {
    *error = (name == QLatin1String("-") ? QStringLiteral("standard input") : name) +
             QStringLiteral(": ") + input.error;
    return std::nullopt;
  }
  return input.entries;
}

}  // namespace quarvel::cli
