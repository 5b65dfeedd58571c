// quarvel-cli completions: the shell completions, made from the table of
// commands, so that they offer what the help shows.
#include "cli/commands.h"
#include "cli/output.h"

namespace quarvel::cli {
namespace {

const QStringList& Shells() {
  static const QStringList shells = {QStringLiteral("bash"), QStringLiteral("zsh"),
                                     QStringLiteral("fish")};
  return shells;
}

// What a command offers, as the completions see it.
struct Offer {
  QString name;  // empty: before any command
  QString summary;
  QList<QCommandLineOption> options;
  const Command* command = nullptr;  // null: before any command
};

QList<Offer> Offers() {
  QList<Offer> offers;
  offers.append(
      {QString(), QString(), HostOptionsHelp() + QList{HelpOption(), VersionOption()}, nullptr});
  for (const Command& command : Commands()) {
    if (command.hidden) continue;
    QList<QCommandLineOption> options = command.options;
    if (command.hosts == Hosts::kUsed) options += HostOptionsHelp();  // as the help shows them
    options += HelpOption();
    offers.append({command.name, command.summary, options, &command});
  }
  return offers;
}

QStringList CommandNames() {
  QStringList names;
  for (const Command& command : Commands())
    if (!command.hidden) names.append(command.name);
  return names;
}

QStringList Values(const Offer& offer, const QCommandLineOption& option, bool* file) {
  *file = false;
  return offer.command ? OptionValues(*offer.command, option, file) : QStringList();
}

QStringList OperandWords(const Offer& offer) {
  if (!offer.command) return CommandNames();
  switch (offer.command->operands) {
    case Operands::kCommands:
      return CommandNames();
    case Operands::kShells:
      return Shells();
    case Operands::kFiles:
    case Operands::kNone:
      break;
  }
  return {};
}

QStringList Spelled(const QCommandLineOption& option) {
  QStringList names;
  for (const QString& name : option.names())
    names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
  return names;
}

// 'text', for a POSIX shell.
QString ShellQuoted(QString text) {
  return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
         QLatin1Char('\'');
}

QString Bash() {
  const QList<Offer> offers = Offers();
  QStringList valued;
  for (const Offer& offer : offers)
    for (const QCommandLineOption& option : offer.options)
      if (!option.valueName().isEmpty())
        for (const QString& name : Spelled(option))
          if (!valued.contains(name)) valued.append(name);

  QString text = QStringLiteral(
                     "# bash completion for quarvel-cli, made from its table of commands by\n"
                     "# `quarvel-cli completions bash`.\n"
                     "_quarvel_cli() {\n"
                     "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                     "  local command='' i\n"
                     "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
                     "    case ${COMP_WORDS[i]} in\n"
                     "      %1) ((i++)) ;;\n"
                     "      -*) ;;\n"
                     "      *) command=${COMP_WORDS[i]}; break ;;\n"
                     "    esac\n"
                     "  done\n"
                     "  COMPREPLY=()\n"
                     "  case $command in\n")
                     .arg(valued.join(QLatin1Char('|')));
  for (const Offer& offer : offers) {
    text += QStringLiteral("    %1)\n      case $prev in\n")
                .arg(offer.name.isEmpty() ? QStringLiteral("''") : offer.name);
    QStringList words;
    for (const QCommandLineOption& option : offer.options) {
      words += Spelled(option);
      if (option.valueName().isEmpty()) continue;
      bool file = false;
      const QStringList values = Values(offer, option, &file);
      const QString action =
          file ? QStringLiteral(
                     "mapfile -t COMPREPLY < <(compgen -f -- \"$cur\"); "
                     "compopt -o filenames")
          : values.isEmpty() ? QStringLiteral(":")
                             : QStringLiteral("mapfile -t COMPREPLY < <(compgen -W %1 -- \"$cur\")")
                                   .arg(ShellQuoted(values.join(QLatin1Char(' '))));
      text += QStringLiteral("        %1) %2; return ;;\n")
                  .arg(Spelled(option).join(QLatin1Char('|')), action);
    }
    const QStringList operands = OperandWords(offer);
    const bool files = offer.command && offer.command->operands == Operands::kFiles;
    text += QStringLiteral(
                "      esac\n"
                "      if [[ $cur == -* ]]; then\n"
                "        mapfile -t COMPREPLY < <(compgen -W %1 -- \"$cur\")\n")
                .arg(ShellQuoted(words.join(QLatin1Char(' '))));
    if (files)
      text += QStringLiteral(
          "      else\n"
          "        mapfile -t COMPREPLY < <(compgen -f -- \"$cur\"); compopt -o filenames\n");
    else if (!operands.isEmpty())
      text += QStringLiteral(
                  "      else\n"
                  "        mapfile -t COMPREPLY < <(compgen -W %1 -- \"$cur\")\n")
                  .arg(ShellQuoted(operands.join(QLatin1Char(' '))));
    text += QStringLiteral("      fi ;;\n");
  }
  return text + QStringLiteral(
                    "  esac\n"
                    "}\n"
                    "complete -F _quarvel_cli quarvel-cli\n");
}

// Text inside an _arguments item: its brackets and colons taken literally.
QString ZshText(QString text) {
  text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  for (const char c : {'[', ']', ':'})
    text.replace(QLatin1Char(c), QStringLiteral("\\") + QLatin1Char(c));
  return text;
}

QStringList ZshArgumentItems(const Offer& offer) {
  QStringList items;
  for (const QCommandLineOption& option : offer.options) {
    QString value;
    if (!option.valueName().isEmpty()) {
      bool file = false;
      const QStringList values = Values(offer, option, &file);
      value = QStringLiteral(":%1:%2").arg(
          ZshText(option.valueName()),
          file               ? QStringLiteral("_files")
          : values.isEmpty() ? QStringLiteral(" ")
                             : QStringLiteral("(%1)").arg(values.join(QLatin1Char(' '))));
    }
    // --name=: the value follows in the same word after "=", or as the next word.
    for (const QString& name : Spelled(option))
      items.append(ShellQuoted(name +
                               (!value.isEmpty() && name.startsWith(QLatin1String("--"))
                                    ? QStringLiteral("=")
                                    : QString()) +
                               QStringLiteral("[%1]").arg(ZshText(option.description())) + value));
  }
  return items;
}

QString Zsh() {
  const QList<Offer> offers = Offers();
  QString text = QStringLiteral(
      "#compdef quarvel-cli\n"
      "# zsh completion for quarvel-cli, made from its table of commands by\n"
      "# `quarvel-cli completions zsh`.\n"
      "_quarvel-cli() {\n"
      "  local curcontext=$curcontext state state_descr line ret=1\n"
      "  typeset -A opt_args\n"
      "  _arguments -C \\\n");
  for (const QString& item : ZshArgumentItems(offers.first()))
    text += QStringLiteral("    %1 \\\n").arg(item);
  text += QStringLiteral(
      "    '1:command:->command' \\\n"
      "    '*::argument:->argument' && ret=0\n"
      "  case $state in\n"
      "    command)\n"
      "      local -a commands=(\n");
  for (const Offer& offer : offers.mid(1))
    text += QStringLiteral("        %1\n")
                .arg(ShellQuoted(offer.name + QLatin1Char(':') +
                                 QString(offer.summary).replace(':', "\\:")));
  text += QStringLiteral(
      "      )\n"
      "      _describe -t commands command commands && ret=0 ;;\n"
      "    argument)\n"
      "      curcontext=${curcontext%:*:*}:quarvel-cli-$line[1]:\n"
      "      case $line[1] in\n");
  for (const Offer& offer : offers.mid(1)) {
    QStringList items = ZshArgumentItems(offer);
    const QStringList words = OperandWords(offer);
    if (offer.command->operands == Operands::kFiles)
      items.append(QStringLiteral("'*:file:_files'"));
    else if (!words.isEmpty())
      items.append(ShellQuoted(QStringLiteral("1:%1:(%2)")
                                   .arg(offer.command->operands == Operands::kShells
                                            ? QStringLiteral("shell")
                                            : QStringLiteral("command"),
                                        words.join(QLatin1Char(' ')))));
    text += QStringLiteral("        %1)\n          _arguments \\\n").arg(offer.name);
    for (const QString& item : items) text += QStringLiteral("            %1 \\\n").arg(item);
    text += QStringLiteral("            && ret=0 ;;\n");
  }
  return text + QStringLiteral(
                    "      esac ;;\n"
                    "  esac\n"
                    "  return ret\n"
                    "}\n"
                    "_quarvel-cli \"$@\"\n");
}

// 'text', for fish.
QString FishQuoted(QString text) {
  text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  text.replace(QLatin1Char('\''), QStringLiteral("\\'"));
  return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString Fish() {
  const QList<Offer> offers = Offers();
  const QString names = CommandNames().join(QLatin1Char(' '));
  QString text = QStringLiteral(
      "# fish completion for quarvel-cli, made from its table of commands by\n"
      "# `quarvel-cli completions fish`.\n"
      "complete -c quarvel-cli -f\n");
  for (const Offer& offer : offers) {
    const QString condition =
        offer.name.isEmpty()
            ? QStringLiteral("-n %1").arg(
                  FishQuoted(QStringLiteral("not __fish_seen_subcommand_from ") + names))
            : QStringLiteral("-n %1").arg(
                  FishQuoted(QStringLiteral("__fish_seen_subcommand_from ") + offer.name));
    const QString start = QStringLiteral("complete -c quarvel-cli ") + condition;
    if (!offer.name.isEmpty())
      text += QStringLiteral("complete -c quarvel-cli -n %1 -a %2 -d %3\n")
                  .arg(FishQuoted(QStringLiteral("not __fish_seen_subcommand_from ") + names),
                       offer.name, FishQuoted(offer.summary));
    for (const QCommandLineOption& option : offer.options) {
      QString line = start;
      for (const QString& name : option.names())
        line += (name.size() == 1 ? QStringLiteral(" -s ") : QStringLiteral(" -l ")) + name;
      if (!option.valueName().isEmpty()) {
        bool file = false;
        const QStringList values = Values(offer, option, &file);
        line += file ? QStringLiteral(" -r -F")
                     : QStringLiteral(" -x") +
                           (values.isEmpty() ? QString()
                                             : QStringLiteral(" -a ") +
                                                   FishQuoted(values.join(QLatin1Char(' '))));
      }
      text += line + QStringLiteral(" -d ") + FishQuoted(option.description()) + QLatin1Char('\n');
    }
    if (!offer.command) continue;
    if (offer.command->operands == Operands::kFiles)
      text += start + QStringLiteral(" -F\n");
    else if (const QStringList words = OperandWords(offer); !words.isEmpty())
      text += start + QStringLiteral(" -x -a ") + FishQuoted(words.join(QLatin1Char(' '))) +
              QLatin1Char('\n');
  }
  return text;
}

int RunCompletions(Invocation& invocation) {
  if (invocation.arguments.size() != 1 || !Shells().contains(invocation.arguments.first()))
    return Usage(QStringLiteral("completions wants one SHELL: bash, zsh or fish"));
  const QString& shell = invocation.arguments.first();
  Write(stdout, (shell == QLatin1String("bash")  ? Bash()
                 : shell == QLatin1String("zsh") ? Zsh()
                                                 : Fish())
                    .toUtf8());
  return 0;
}

}  // namespace

Command CompletionsCommand() {
  Command command;
  command.name = QStringLiteral("completions");
  command.synopsis = {QStringLiteral("bash|zsh|fish")};
  command.summary = QStringLiteral("Prints the shell completions of quarvel-cli.");
  command.help = QStringLiteral(
      "The completions of the commands and their options for bash, zsh or fish,\n"
      "as the package installs them. To try them in a running bash:\n"
      "source <(quarvel-cli completions bash)\n");
  command.hosts = Hosts::kRefused;
  command.operands = Operands::kShells;
  command.run = RunCompletions;
  return command;
}

}  // namespace quarvel::cli
