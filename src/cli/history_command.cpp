// quarvel-cli history: the finished lookups, newest first.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include "base/files/data_folder.h"
#include "base/numbers/device_number.h"
#include "base/records/csv.h"
#include "base/records/history.h"
#include "base/records/history_model.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "lookup/lookup_outcome.h"

namespace quarvel::cli {
namespace {

enum class Format { kText, kCsv, kJson, kJsonLines };

// The names --outcome takes: every outcome a lookup can end with.
QStringList OutcomeNames() {
  QStringList names;
  for (const OutcomeKind kind :
       {OutcomeKind::Found, OutcomeKind::NotFound, OutcomeKind::Rejected, OutcomeKind::BadInput,
        OutcomeKind::PictureFailed, OutcomeKind::TimedOut})
    names.append(OutcomeName(kind));
  return names;
}

QByteArray FormatRecord(const HistoryRecord& record, Format format) {
  const QStringList fields = HistoryCsvFields(record);
  if (format == Format::kJson || format == Format::kJsonLines) {
    QJsonObject object;
    for (qsizetype i = 0; i < fields.size(); ++i) object.insert(HistoryCsvHeader()[i], fields[i]);
    object.insert(QStringLiteral("seconds"), record.seconds);
    object.insert(QStringLiteral("reason"), record.reason);
    if (fields.last().isEmpty()) object.insert(QStringLiteral("warranty_end_date"), QJsonValue());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
  }
  // Opened in spreadsheets as well: a cell one would run as a formula gets
  // its apostrophe, as in a batch output.
  if (format == Format::kCsv) return csv::FormatRecord(fields, csv::Cells::Guarded);
  // For a person: the date is there as the site wrote it.
  QStringList line;
  for (const QString& field : fields.mid(0, fields.size() - 1)) line.append(OneLineField(field));
  return line.join(QLatin1Char('\t')).toUtf8() + '\n';
}

// Only reads: a missing history lists nothing, and nothing is created,
// migrated or moved. Exit status 1 when the history cannot be read or is
// damaged (what still reads of a damaged one is listed).
int ListHistory(Format format, int limit, const HistoryFilter& filter) {
  QString problem;
  const QString folder = ExistingDataFolder(&problem);
  if (!problem.isEmpty()) {
    Error(problem);
    return 1;
  }
  // No history lists nothing: in CSV its header, in JSON an empty array.
  QByteArray out;
  if (format == Format::kCsv) out += csv::FormatRecord(HistoryCsvHeader());
  JsonArray array;
  const auto listNothing = [&] {
    if (format == Format::kJson) out += array.End();
    Write(stdout, out);
    return 0;
  };
  if (folder.isEmpty()) return listNothing();
  History history(
      folder, [](const QString& message) { Error(message); }, HistoryAccess::ReadOnly);
  if (history.State() == HistoryState::Missing) return listNothing();
  if (history.State() == HistoryState::Unusable) return 1;
  for (const HistoryRecord& record : history.Newest(limit, filter)) {
    const QByteArray formatted = FormatRecord(record, format);
    out += format == Format::kJson        ? array.Item(formatted)
           : format == Format::kJsonLines ? formatted + '\n'
                                          : formatted;
    if (out.size() > 65536) {
      if (!Write(stdout, out)) return 1;
      out.clear();
    }
  }
  if (format == Format::kJson) out += array.End();
  Write(stdout, out);
  return history.State() == HistoryState::Damaged ? 1 : 0;
}

// An ISO 8601 date (the day's start) or date and time ("T" or a space
// between them), local time unless it names its offset or Z.
std::optional<QDateTime> ParseSince(QString text) {
  text = text.trimmed();
  // (QDate reads the date of a date and time as well.)
  if (const QDate day = QDate::fromString(text, Qt::ISODate); day.isValid() && text.size() == 10)
    return day.startOfDay();
  if (text.size() > 10 && text[10] == QLatin1Char(' ')) text[10] = QLatin1Char('T');
  const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (!time.isValid()) return std::nullopt;
  return time;
}

int RunHistory(Invocation& invocation) {
  if (!invocation.arguments.isEmpty())
    return Usage(
        QStringLiteral("history takes no entries ('%1')").arg(invocation.arguments.first()));
  const QCommandLineParser& parser = invocation.parser;
  const bool csv = parser.isSet(QStringLiteral("csv"));
  const bool json = parser.isSet(QStringLiteral("json"));
  const bool jsonLines = parser.isSet(QStringLiteral("json-lines"));
  if (csv + json + jsonLines > 1)
    return Usage(QStringLiteral("--csv, --json and --json-lines do not go together"));
  int most = 0;
  if (parser.isSet(QStringLiteral("limit"))) {
    const std::optional<int> n = PositiveNumber(parser.value(QStringLiteral("limit")), 1 << 30);
    if (!n) return Usage(QStringLiteral("--limit wants a number of 1 or more"));
    most = *n;
  }
  HistoryFilter filter;
  filter.entry = parser.value(QStringLiteral("entry"));
  if (const QString since = QStringLiteral("since"); parser.isSet(since)) {
    const std::optional<QDateTime> time = ParseSince(parser.value(since));
    if (!time)
      return Usage(QStringLiteral("--since wants a date or a date and time, as 2024-05-01 or "
                                  "2024-05-01T12:30 ('%1')")
                       .arg(parser.value(since)));
    filter.since = *time;
  }
  if (const QString outcome = QStringLiteral("outcome"); parser.isSet(outcome)) {
    filter.outcome = parser.value(outcome);
    if (!OutcomeNames().contains(filter.outcome))
      return Usage(QStringLiteral("--outcome is one of %1 ('%2')")
                       .arg(OutcomeNames().join(QStringLiteral(", ")), filter.outcome));
  }
  QCoreApplication app(invocation.argc, invocation.argv);
  return ListHistory(csv         ? Format::kCsv
                     : json      ? Format::kJson
                     : jsonLines ? Format::kJsonLines
                                 : Format::kText,
                     most, filter);
}

}  // namespace

Command HistoryCommand() {
  Command command;
  command.name = QStringLiteral("history");
  command.synopsis = {QStringLiteral("[--csv|--json|--json-lines]"), QStringLiteral("[--limit N]"),
                      QStringLiteral("[--entry TEXT]"), QStringLiteral("[--since DATE]"),
                      QStringLiteral("[--outcome KIND]")};
  command.summary = QStringLiteral("Lists the finished lookups, newest first.");
  command.help = QStringLiteral(
      "Every finished lookup, from the window and from batches, newest first:\n"
      "tab-separated fields, CSV with a header line, a JSON array of objects\n"
      "([] when there is none), or one JSON object per line. CSV and JSON add\n"
      "warranty_end_date, the warranty end as an ISO 8601 date (2027-03-18;\n"
      "empty, or null in JSON, when it cannot be read).\n"
      "The filters go together: --entry, --since and --outcome list the lookups\n"
      "that pass them all. Times are shown in UTC; a DATE without an offset is\n"
      "local time. Exit status 1 when the history cannot be read or is damaged.\n");
  command.options = {
      QCommandLineOption("csv", "CSV with a header line instead of tab-separated fields."),
      QCommandLineOption("json", "A JSON array of objects instead of tab-separated fields."),
      QCommandLineOption("json-lines", "One JSON object per line instead of tab-separated fields."),
      QCommandLineOption("limit", "The N newest lookups only (all by default).", "N"),
      QCommandLineOption("entry", "Lookups whose entry holds TEXT, in any case.", "TEXT"),
      QCommandLineOption("since",
                         "Lookups that finished at DATE or later: 2024-05-01, "
                         "2024-05-01T12:30 or 2024-05-01T12:30:00Z.",
                         "DATE"),
      QCommandLineOption("outcome", "Lookups that ended KIND: " + OutcomeNames().join(", ") + ".",
                         "KIND")};
  command.values.insert(QStringLiteral("outcome"), OutcomeNames());
  command.operands = Operands::kNone;
  command.run = RunHistory;
  return command;
}

}  // namespace quarvel::cli
