// quarvel-cli check: the offline checks of serial numbers and IMEIs.
#include <QCoreApplication>

#include "base/numbers/device_number.h"
#include "base/records/csv.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/system.h"
#include "platform/system/files.h"

namespace quarvel::cli {
namespace {

// The entries of standard input, read as a batch reads its input: one a
// line, or the first column of comma-separated lines, which is then said once
// on standard error (the other columns are not checked).
std::optional<QStringList> StandardInputEntries() {
  QString error;
  const std::optional<QByteArray> content = ReadInput(QStringLiteral("-"), &error);
  if (!content) {
    Error(error);
    return std::nullopt;
  }
  const csv::BatchInput input = csv::ReadBatchInput(*content);
  if (!input.error.isEmpty()) {
    Error(QStringLiteral("standard input: ") + input.error);
    return std::nullopt;
  }
  if (input.moreColumns)
    Error(QStringLiteral("standard input: reading the first column of comma-separated lines "
                         "(%1 line%2)")
              .arg(input.moreColumns)
              .arg(input.moreColumns == 1 ? "" : "s"));
  return input.entries;
}

int RunCheck(Invocation& invocation) {
  QCoreApplication app(invocation.argc, invocation.argv);
  const bool json = invocation.parser.isSet(QStringLiteral("json"));
  const bool jsonLines = invocation.parser.isSet(QStringLiteral("json-lines"));
  if (json && jsonLines) return Usage(QStringLiteral("--json and --json-lines do not go together"));
  const QStringList arguments =
      invocation.arguments.isEmpty() ? QStringList{QStringLiteral("-")} : invocation.arguments;
  if (arguments.count(QStringLiteral("-")) > 1)
    return Usage(QStringLiteral("standard input ('-') can be read only once"));
  QStringList entries;
  bool fromInput = false;
  for (const QString& argument : arguments) {
    if (argument == QLatin1String("-")) {
      fromInput = true;
      const std::optional<QStringList> read = StandardInputEntries();
      if (!read) return 2;
      entries += *read;
    } else {
      // Trimmed as the lines of standard input are: a line end that came
      // along from a script is not part of the entry.
      entries.append(argument.trimmed());
    }
  }
  if (entries.isEmpty() && fromInput) {
    Error(QStringLiteral("no entries on standard input"));
    return 2;
  }

  // Every line goes out through this one sink, so a failed write (a full
  // disk, a closed pipe) ends the command.
  csv::FdSink standardOutput(system::kStandardOutput, false);
  JsonArray array;
  bool allOk = true;
  QByteArray out;
  for (const QString& entry : entries) {
    const NumberCheck check = CheckNumber(entry);
    allOk = allOk && check.Ok();
    if (json)
      out += array.Item(FormatCheckJson(check));
    else
      out += (jsonLines ? FormatCheckJson(check) : FormatCheckLine(check).toUtf8()) + '\n';
    if (out.size() > 65536) {
      if (!standardOutput.Write(out)) return OutputFailed(standardOutput);
      out.clear();
    }
  }
  if (json) out += array.End();
  if (!standardOutput.Write(out)) return OutputFailed(standardOutput);
  return allOk ? 0 : 1;
}

}  // namespace

Command CheckCommand() {
  Command command;
  command.name = QStringLiteral("check");
  command.synopsis = {QStringLiteral("[--json|--json-lines]"), QStringLiteral("[ENTRY...|-]")};
  command.summary = QStringLiteral("Checks serial numbers and IMEIs offline.");
  command.help = QStringLiteral(
      "Checks serial numbers and IMEIs offline, at once, without the network.\n"
      "Entries are read from standard input when none are given, or in the\n"
      "place of '-': one a line, or the first column of comma-separated lines\n"
      "(as batch reads its input; said on standard error). Entries are trimmed.\n"
      "One line per entry, tab-separated: entry, kind (imei, imeisv, serial,\n"
      "unknown), verdict (ok or what is wrong), details; control characters\n"
      "and line separators in them are escaped (\\n, \\t, \\\\, \\u2028 ...).\n"
      "--json: a JSON array of objects; --json-lines: one JSON object per line.\n"
      "Exit status 0 when every entry is ok, 1 otherwise or when the output\n"
      "cannot be written, 2 when standard input holds no entry.\n");
  command.options = {
      QCommandLineOption("json", "A JSON array of objects instead of the tab-separated fields."),
      QCommandLineOption("json-lines",
                         "One JSON object per line instead of the tab-separated fields.")};
  command.run = RunCheck;
  return command;
}

}  // namespace quarvel::cli
