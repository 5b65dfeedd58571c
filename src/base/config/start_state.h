#pragma once

#include <QString>
#include <QStringList>

namespace quarvel {

// Remembers the command line (without the program name) and the environment
// the program was started with, so that a restart can repeat them. Call first
// thing in main, before anything changes the environment.
void RememberStart(const QStringList& arguments);

// The remembered arguments; without RememberStart the application's own
// arguments after the program name.
QStringList StartArguments();

// Starts program with arguments as a new process, without waiting, in the
// remembered environment (the current one without RememberStart). False when
// it could not be started.
bool StartDetached(const QString& program, const QStringList& arguments);

}  // namespace quarvel
