// quarvel-cli check: the offline checks of serial numbers and IMEIs.
#include <QCoreApplication>

#include "base/numbers/device_number.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace quarvel::cli {
namespace {

int RunCheck(Invocation& invocation) {
  QCoreApplication app(invocation.argc, invocation.argv);
  QStringList entries = invocation.arguments;
  if (entries.isEmpty()) {
    QString error;
    const std::optional<QStringList> read = ReadEntries(QStringLiteral("-"), &error);
    if (!read) {
      Error(error);
      return 2;
    }
    entries = *read;
  }
  const bool json = invocation.parser.isSet(QStringLiteral("json"));
  bool allOk = true;
  QByteArray out;
  for (const QString& entry : entries) {
    const NumberCheck check = CheckNumber(entry);
    allOk = allOk && check.Ok();
    out += json ? FormatCheckJson(check) : FormatCheckLine(check).toUtf8();
    out += '\n';
    if (out.size() > 65536) {
      Write(stdout, out);
      out.clear();
    }
  }
  Write(stdout, out);
  return allOk ? 0 : 1;
}

}  // namespace

Command CheckCommand() {
  Command command;
  command.name = QStringLiteral("check");
  command.synopsis = {QStringLiteral("[--json]"), QStringLiteral("[ENTRY...]")};
  command.summary = QStringLiteral("Checks serial numbers and IMEIs offline.");
  command.help = QStringLiteral(
      "Checks serial numbers and IMEIs offline, at once, without the network\n"
      "(entries on standard input when none are given). One line per entry,\n"
      "tab-separated: entry, kind (imei, imeisv, serial, unknown), verdict (ok or\n"
      "what is wrong), details; --json: one JSON object per line.\n"
      "Exit status 0 when every entry is ok, 1 otherwise.\n");
  command.options = {
      QCommandLineOption("json", "One JSON object per line instead of the tab-separated fields.")};
  command.run = RunCheck;
  return command;
}

}  // namespace quarvel::cli
