#include "cli/output.h"

#include "base/records/csv.h"
#include "cli/system.h"
#include "platform/system/process.h"

namespace quarvel::cli {

namespace {

// Why standard output could not be written, from its first failed write,
// and whether its reader had gone.
QString outputError;
bool readerGone = false;

}  // namespace

QString MessagePrefix() { return QStringLiteral("quarvel-cli: "); }

bool Write(FILE* stream, const QByteArray& bytes) {
  const size_t size = static_cast<size_t>(bytes.size());
  const bool written =
      std::fwrite(bytes.constData(), 1, size, stream) == size && std::fflush(stream) == 0;
  if (!written && stream == stdout && outputError.isEmpty()) {
    readerGone = system::LastWriteFoundPipeClosed();
    outputError = LastSystemError();
  }
  return written;
}

int FinishOutput(int status) {
  if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && outputError.isEmpty()) {
    readerGone = system::LastWriteFoundPipeClosed();
    outputError = LastSystemError();
  }
  if (outputError.isEmpty()) return status;
  if (readerGone) return system::kClosedPipeStatus;
  Error(QStringLiteral("cannot write to standard output: ") + outputError);
  return status == 0 ? 1 : status;
}

int OutputFailed(const csv::RowSink& sink) {
  if (sink.ReaderGone()) return system::kClosedPipeStatus;
  Error(QStringLiteral("cannot write to standard output: ") + sink.Error());
  return 1;
}

void Error(const QString& message) { Write(stderr, (MessagePrefix() + message).toUtf8() + "\n"); }

int Usage(const QString& message) {
  Error(message + QStringLiteral("; try --help"));
  return 2;
}

QByteArray JsonArray::Item(const QByteArray& object) {
  const QByteArray before = empty_ ? "[\n" : ",\n";
  empty_ = false;
  return before + object;
}

QByteArray JsonArray::End() const { return empty_ ? "[]\n" : "\n]\n"; }

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
