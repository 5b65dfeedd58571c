// quarvel-cli history: the finished lookups, newest first.
#include <QCoreApplication>

#include "base/files/data_folder.h"
#include "base/numbers/device_number.h"
#include "base/records/csv.h"
#include "base/records/history.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace quarvel::cli {
namespace {

// Only reads: a missing history lists nothing, and nothing is created,
// migrated or moved. Exit status 1 when the history cannot be read or is
// damaged (what still reads of a damaged one is listed).
int ListHistory(bool asCsv, int limit) {
  QString problem;
  const QString folder = ExistingDataFolder(&problem);
  if (!problem.isEmpty()) {
    Error(problem);
    return 1;
  }
  if (folder.isEmpty()) return 0;
  History history(
      folder, [](const QString& message) { Error(message); }, HistoryAccess::ReadOnly);
  if (history.State() == HistoryState::Missing) return 0;
  if (history.State() == HistoryState::Unusable) return 1;
  QByteArray out;
  static const QStringList header = {
      QStringLiteral("finished_at"), QStringLiteral("source"),  QStringLiteral("entry"),
      QStringLiteral("check"),       QStringLiteral("path"),    QStringLiteral("outcome"),
      QStringLiteral("model"),       QStringLiteral("serial"),  QStringLiteral("warranty_end"),
      QStringLiteral("picture"),     QStringLiteral("seconds"), QStringLiteral("reason")};
  if (asCsv) out += csv::FormatRecord(header);
  for (const HistoryRecord& record : history.Newest(limit)) {
    const QStringList fields = RecordTexts(record)
                               << QString::number(record.seconds, 'f', 2) << record.reason;
    if (asCsv) {
      // Opened in spreadsheets as well: a cell one would run as a formula
      // gets its apostrophe, as in a batch output.
      out += csv::FormatRecord(fields, csv::Cells::Guarded);
    } else {
      QStringList line;
      for (const QString& field : fields) line.append(OneLineField(field));
      out += line.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
  }
  Write(stdout, out);
  return history.State() == HistoryState::Damaged ? 1 : 0;
}

int RunHistory(Invocation& invocation) {
  if (!invocation.arguments.isEmpty())
    return Usage(
        QStringLiteral("history takes no entries ('%1')").arg(invocation.arguments.first()));
  const QCommandLineParser& parser = invocation.parser;
  int most = 0;
  if (parser.isSet(QStringLiteral("limit"))) {
    const std::optional<int> n = PositiveNumber(parser.value(QStringLiteral("limit")), 1 << 30);
    if (!n) return Usage(QStringLiteral("--limit wants a number of 1 or more"));
    most = *n;
  }
  QCoreApplication app(invocation.argc, invocation.argv);
  return ListHistory(parser.isSet(QStringLiteral("csv")), most);
}

}  // namespace

Command HistoryCommand() {
  Command command;
  command.name = QStringLiteral("history");
  command.synopsis = {QStringLiteral("[--csv]"), QStringLiteral("[--limit N]")};
  command.summary = QStringLiteral("Lists the finished lookups, newest first.");
  command.help =
      QStringLiteral("Every finished lookup, from the window and from batches, newest first.\n");
  command.options = {
      QCommandLineOption("csv", "CSV with a header line instead of tab-separated fields."),
      QCommandLineOption("limit", "The N newest lookups only.", "N")};
  command.run = RunHistory;
  return command;
}

}  // namespace quarvel::cli
