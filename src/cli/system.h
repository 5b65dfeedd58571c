#pragma once

// quarvel-cli's own calls into the system, kept together: signals, reading
// the input, telling a terminal.
#include <QByteArray>
#include <QString>

#include <optional>

namespace quarvel::cli {

// What the last failed system call says (strerror of errno).
QString LastSystemError();

// A closed pipe is then a failed write, not the end of the process.
void IgnoreBrokenPipes();

// All of a file or of standard input ("-"), up to 64 MiB; nothing, and what
// is wrong in `error`, when it cannot be read or is larger.
std::optional<QByteArray> ReadInput(const QString& name, QString* error);

// Whether the batch progress is one line rewritten in place: standard error
// is a terminal that can do it, and the rows do not go to the same terminal
// (`rowsToFile`: they go to a file).
bool ProgressOnTerminal(bool rowsToFile);

}  // namespace quarvel::cli
