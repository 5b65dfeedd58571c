#pragma once

// What quarvel-cli prints, and the checks its commands share. Every message
// on standard error starts with the program's name; the messages of base
// have none and get it here.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

#include "base/records/csv.h"

namespace quarvel::cli {

// "quarvel-cli: ", ahead of each message.
QString MessagePrefix();

// `bytes` on `stream`, flushed; false when they could not be written. A
// failed write to standard output is kept for FinishOutput.
bool Write(FILE* stream, const QByteArray& bytes);
// A command's exit status once its output is flushed: when standard output
// could not be written (a full disk, /dev/full), the reason is reported and
// a status of 0 becomes 1. When its reader went away (`| head -1`), that is
// no error to report: the status is 141, as a shell expects of a program a
// broken pipe ended.
int FinishOutput(int status);
// A write to standard output of the command's own (`sink`) failed: the
// reason is reported and the status is 1, or, when the reader went away,
// nothing is said and the status is 141.
int OutputFailed(const csv::RowSink& sink);
// The message on a line of its own on standard error.
void Error(const QString& message);
// Bad usage: the message and a pointer to --help; returns the exit status 2.
int Usage(const QString& message);

// One JSON document of the objects a command lists, put out as they come:
// an array, an object a line, `[]` when there is none.
class JsonArray {
 public:
  // What goes out for the next object (compact JSON).
  QByteArray Item(const QByteArray& object);
  // What closes the document.
  QByteArray End() const;

 private:
  bool empty_ = true;
};

// `text` as a number from 1 to `most`.
std::optional<int> PositiveNumber(const QString& text, int most);

// The entries of an input file or of standard input ("-"): one a line, or
// the first column of a CSV.
std::optional<QStringList> ReadEntries(const QString& name, QString* error);

}  // namespace quarvel::cli
