#pragma once

// quarvel-cli's commands, in one table: the dispatcher, the program's help
// and each command's own help are all made from it.
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "base/config/config.h"

namespace quarvel::cli {

// What a command is run with, once the command line has been read and its
// options found to be the command's own.
struct Invocation {
  int& argc;
  char** argv;
  const QCommandLineParser& parser;
  QStringList arguments;  // what follows the command's name
  Config config;          // the hosts of the options and the environment
};

// What a command does with the host options (--lookup-host and the others).
enum class Hosts {
  kRefused,   // they are not its options
  kAccepted,  // taken, and checked, but nothing is looked up with them
  kUsed,      // it looks up on them: they are in its help
};

// What the shell completes after a command's name, besides its options.
enum class Operands {
  kFiles,     // names of files (INPUT), the shell's default
  kNone,      // nothing to complete (entries, or no operands)
  kCommands,  // the name of a command
  kShells,    // bash, zsh or fish
};

struct Command {
  QString name;
  // What follows the name on a usage line, a piece at a time (pieces are
  // not split when the line is wrapped).
  QStringList synopsis;
  QString summary;  // one line
  // What it does, in lines of at most 74 characters; the program's help
  // shows it below the command's usage line.
  QString help;
  // Its own options. One parser reads every command's, so that a misplaced
  // option is named as such: commands that share an option's name take it
  // the same way (a flag, or with a value). A default value is named in the
  // help.
  QList<QCommandLineOption> options;
  // The values of an option, by its name, when they are a short list; an
  // option whose value name lists them ("comprehensive|official") needs none
  // here. A value named FILE is a file name. Completions offer them.
  QHash<QString, QStringList> values;
  Operands operands = Operands::kFiles;
  Hosts hosts = Hosts::kAccepted;
  bool hidden = false;  // not in the program's help
  int (*run)(Invocation&) = nullptr;
};

// The entries of the table, each from the command's own file.
Command CheckCommand();
Command BatchCommand();
Command HistoryCommand();
Command CompletionsCommand();

// The table, in the order of the program's help.
const QList<Command>& Commands();
const Command* FindCommand(const QString& name);

// `quarvel-cli --help`, and `quarvel-cli COMMAND --help`.
QString ProgramHelp();
QString CommandHelp(const Command& command);

// The options every command takes: the host options (for the commands that
// take them) and --help; the program's own options add --version.
QList<QCommandLineOption> HostOptionsHelp();
const QCommandLineOption& HelpOption();
const QCommandLineOption& VersionOption();

// What an option's value can be, for the completions: a short list, empty
// for a file name (*file set) or for anything.
QStringList OptionValues(const Command& command, const QCommandLineOption& option, bool* file);

// Reads the command line and runs the command: the process's exit status.
int Dispatch(int& argc, char** argv);

}  // namespace quarvel::cli
