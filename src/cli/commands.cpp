#include "cli/commands.h"

#include <QCoreApplication>
#include <QSet>

#include "cli/output.h"
#include "cli/system.h"

namespace quarvel::cli {
namespace {

constexpr int kWidth = 79;
constexpr int kOptionColumn = 31;  // where the options' descriptions start

// `words` after `first`, wrapped at kWidth with the lines after the first
// starting at `indent` spaces; every line ends with '\n'.
QString Wrap(const QString& first, const QStringList& words, int indent) {
  QString text, line = first;
  bool lineEmpty = first.isEmpty();
  for (const QString& word : words) {
    if (!lineEmpty && line.size() + 1 + word.size() > kWidth) {
      text += line + QLatin1Char('\n');
      line = QString(indent, QLatin1Char(' '));
      lineEmpty = true;
    }
    if (!lineEmpty) line += QLatin1Char(' ');
    line += word;
    lineEmpty = false;
  }
  return text + line + QLatin1Char('\n');
}

QString Indented(const QString& lines, int indent) {
  QStringList split = lines.split(QLatin1Char('\n'));
  if (split.last().isEmpty()) split.removeLast();
  QString text;
  for (const QString& line : split)
    text +=
        (line.isEmpty() ? QString() : QString(indent, QLatin1Char(' ')) + line) + QLatin1Char('\n');
  return text;
}

// "  --jobs N                     Lookups side by side...".
QString OptionLines(const QList<QCommandLineOption>& options) {
  QString text;
  for (const QCommandLineOption& option : options) {
    QStringList names;
    for (const QString& name : option.names())
      names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    QString left = QStringLiteral("  ") + names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty()) left += QLatin1Char(' ') + option.valueName();
    if (left.size() + 2 > kOptionColumn) {
      text += left + QLatin1Char('\n');
      left.clear();
    }
    QString description = option.description();
    if (!option.defaultValues().isEmpty())
      description += QStringLiteral(" Default: %1.").arg(option.defaultValues().join(", "));
    text += Wrap(left.leftJustified(kOptionColumn - 1),
                 description.split(QLatin1Char(' '), Qt::SkipEmptyParts), kOptionColumn);
  }
  return text;
}

// "Defaults: --path comprehensive, --jobs 1.", or nothing when no option has one.
QString DefaultsLine(const Command& command) {
  QStringList defaults;
  for (const QCommandLineOption& option : command.options)
    if (!option.defaultValues().isEmpty())
      defaults.append(QStringLiteral("--") + option.names().last() + QLatin1Char(' ') +
                      option.defaultValues().join(QLatin1Char(',')) + QLatin1Char(','));
  if (defaults.isEmpty()) return {};
  defaults.last().chop(1);
  return Wrap(QStringLiteral("      Defaults:"), defaults, 6).chopped(1) + QStringLiteral(".\n");
}

QString EnvironmentLines() {
  return Wrap(QString(), HostEnvironmentHelp().simplified().split(QLatin1Char(' ')), 0);
}

}  // namespace

// The host options as the help shows them; the parser takes HostOptions().
QList<QCommandLineOption> HostOptionsHelp() {
  return {QCommandLineOption("lookup-host", "Lookup site.", "HOST[:PORT]"),
          QCommandLineOption("warranty-host", "Warranty page host.", "HOST[:PORT]"),
          QCommandLineOption("portal-host", "Portal start page.", "HOST[:PORT]")};
}

const QCommandLineOption& HelpOption() {
  static const QCommandLineOption option({"h", "help"}, "Show this help and exit.");
  return option;
}

const QCommandLineOption& VersionOption() {
  static const QCommandLineOption option({"v", "version"}, "Show the version and exit.");
  return option;
}

QStringList OptionValues(const Command& command, const QCommandLineOption& option, bool* file) {
  const QString valueName = option.valueName();
  *file = valueName == QLatin1String("FILE");
  if (const auto listed = command.values.find(option.names().last());
      listed != command.values.end())
    return *listed;
  if (valueName.contains(QLatin1Char('|'))) return valueName.split(QLatin1Char('|'));
  return {};
}

namespace {

QString NotACommand(const QString& name) {
  return QStringLiteral("'%1' is not a command").arg(name);
}

int RunHelp(Invocation& invocation) {
  if (invocation.arguments.size() > 1)
    return Usage(QStringLiteral("help takes one COMMAND ('%1')").arg(invocation.arguments[1]));
  if (invocation.arguments.isEmpty()) {
    Write(stdout, ProgramHelp().toUtf8());
    return 0;
  }
  const Command* command = FindCommand(invocation.arguments.first());
  if (!command) return Usage(NotACommand(invocation.arguments.first()));
  Write(stdout, CommandHelp(*command).toUtf8());
  return 0;
}

Command HelpCommand() {
  Command command;
  command.name = QStringLiteral("help");
  command.synopsis = {QStringLiteral("[COMMAND]")};
  command.summary = QStringLiteral("Shows the help of a command, or of the program.");
  command.help = QStringLiteral(
      "The options of COMMAND and what it does, as COMMAND --help shows them;\n"
      "without a COMMAND, this help.\n");
  command.hosts = Hosts::kRefused;
  command.operands = Operands::kCommands;
  command.run = RunHelp;
  return command;
}

}  // namespace

const QList<Command>& Commands() {
  static const QList<Command> commands = {CheckCommand(), BatchCommand(), HistoryCommand(),
                                          HelpCommand(), CompletionsCommand()};
  return commands;
}

const Command* FindCommand(const QString& name) {
  for (const Command& command : Commands())
    if (command.name == name) return &command;
  return nullptr;
}

QString ProgramHelp() {
  QString text = QStringLiteral(
      "Usage: quarvel-cli [options] COMMAND ...\n"
      "\n"
      "Commands:\n");
  for (const Command& command : Commands()) {
    if (command.hidden) continue;
    text += Wrap(QStringLiteral("  ") + command.name, command.synopsis, 8);
    text += Indented(command.help, 6) + DefaultsLine(command);
  }
  text += QStringLiteral("\nOptions:\n") +
          OptionLines(HostOptionsHelp() + QList{HelpOption(), VersionOption()}) +
          QStringLiteral("\n") + EnvironmentLines() +
          QStringLiteral(
              "Files: the history and the batch pictures are kept in $XDG_DATA_HOME/quarvel\n"
              "(by default ~/.local/share/quarvel).\n"
              "Exit status 2 on bad usage; 141, and not a word, when the reader of\n"
              "standard output goes away (quarvel-cli check - <list | head -1).\n");
  return text;
}

QString CommandHelp(const Command& command) {
  const QString usage = QStringLiteral("Usage: quarvel-cli ") + command.name;
  QList<QCommandLineOption> options = command.options;
  if (command.hosts == Hosts::kUsed) options += HostOptionsHelp();
  options += HelpOption();
  return Wrap(usage, command.synopsis, static_cast<int>(usage.size()) + 1) + command.summary +
         QStringLiteral("\n\n") + Indented(command.help, 2) + QStringLiteral("\nOptions:\n") +
         OptionLines(options) + QStringLiteral("\n") +
         (command.hosts == Hosts::kUsed ? EnvironmentLines() : QString()) +
         QStringLiteral("Exit status 2 on bad usage.\n");
}

namespace {

// "Unknown option '-V'": the options as typed, with their dashes (the parser
// names them without).
QString UnknownOptions(const QStringList& names, const QStringList& arguments) {
  QStringList typed;
  for (const QString& name : names)
    typed.append(QLatin1Char('\'') + AsTyped(arguments, name) + QLatin1Char('\''));
  typed.removeDuplicates();
  return (typed.size() == 1 ? QStringLiteral("Unknown option ")
                            : QStringLiteral("Unknown options ")) +
         typed.join(QStringLiteral(", "));
}

int ReadAndRun(int& argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));

  // Every command's options in one parser: an option of another command is
  // then told apart from one that nothing takes.
  QCommandLineParser parser;
  parser.addOptions({HelpOption(), VersionOption()});
  parser.addOptions(HostOptions());
  QSet<QString> added;
  for (const Command& command : Commands())
    for (const QCommandLineOption& option : command.options) {
      if (added.contains(option.names().first())) continue;  // shared with a command before
      parser.addOption(option);
      for (const QString& name : option.names()) added.insert(name);
    }
  if (!parser.parse(arguments)) {
    if (!parser.unknownOptionNames().isEmpty())
      return Usage(UnknownOptions(parser.unknownOptionNames(), arguments));
    QString text = parser.errorText();
    while (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return Usage(text);
  }

  QStringList positional = parser.positionalArguments();
  const Command* command = positional.isEmpty() ? nullptr : FindCommand(positional.first());
  if (parser.isSet(HelpOption())) {
    if (positional.isEmpty()) {
      Write(stdout, ProgramHelp().toUtf8());
      return 0;
    }
    if (!command) return Usage(NotACommand(positional.first()));
    Write(stdout, CommandHelp(*command).toUtf8());
    return 0;
  }
  if (parser.isSet(VersionOption())) {
    Write(stdout, "quarvel-cli " QUARVEL_VERSION "\n");
    return 0;
  }

  Config config;
  if (!command || command->hosts != Hosts::kRefused) {
    const QString wrongHost = ApplyHosts(
        parser, [](const char* name) { return qEnvironmentVariable(name); }, &config);
    if (!wrongHost.isEmpty()) return Usage(wrongHost);
  }
  if (positional.isEmpty()) return Usage(QStringLiteral("no command given"));
  if (!command) return Usage(NotACommand(positional.first()));

  QSet<QString> own;
  for (const QCommandLineOption& option : command->options)
    for (const QString& name : option.names()) own.insert(name);
  if (command->hosts != Hosts::kRefused)
    for (const QCommandLineOption& option : HostOptions())
      for (const QString& name : option.names()) own.insert(name);
  for (const QString& name : parser.optionNames())
    if (!own.contains(name))
      return Usage(QStringLiteral("--%1 is not an option of %2").arg(name, command->name));

  positional.removeFirst();
  Invocation invocation{argc, argv, parser, positional, config};
  return command->run(invocation);
}

}  // namespace

int Dispatch(int& argc, char** argv) {
  IgnoreBrokenPipes();
  return FinishOutput(ReadAndRun(argc, argv));
}

}  // namespace quarvel::cli
