#pragma once

// quarvel-cli's commands, in one table: the dispatcher, the program's help
// and each command's own help are all made from it.
#include <QCommandLineOption>
#include <QCommandLineParser>
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

struct Command {
  QString name;
  // What follows the name on a usage line, a piece at a time (pieces are
  // not split when the line is wrapped).
  QStringList synopsis;
  QString summary;  // one line
  // What it does, in lines of at most 74 characters; the program's help
  // shows it below the command's usage line.
  QString help;
  // Its own options, by names no other command uses (one parser reads them
  // all, so that a misplaced option is named as such).
  QList<QCommandLineOption> options;
  Hosts hosts = Hosts::kAccepted;
  bool hidden = false;  // not in the program's help
  int (*run)(Invocation&) = nullptr;
};

// The entries of the table, each from the command's own file.
Command CheckCommand();
Command BatchCommand();
Command HistoryCommand();

// The table, in the order of the program's help.
const QList<Command>& Commands();
const Command* FindCommand(const QString& name);

// `quarvel-cli --help`, and `quarvel-cli COMMAND --help`.
QString ProgramHelp();
QString CommandHelp(const Command& command);

// Reads the command line and runs the command: the process's exit status.
int Dispatch(int& argc, char** argv);

}  // namespace quarvel::cli
