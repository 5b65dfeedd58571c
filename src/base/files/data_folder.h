#pragma once

#include <QString>

namespace quarvel {

// The program's data folder, $XDG_DATA_HOME/quarvel (by default
// ~/.local/share/quarvel), created private to the user when missing. Empty
// when it cannot be used safely (a symbolic link, no folder, another
// user's): nothing is written then, and no path is built from it. The
// reason goes to `problem` ("the data folder … is not used: …") when given,
// else to the log.
QString DataFolder(QString* problem = nullptr);

// For a program that only reads: the data folder when it is there and could
// be used, without creating or changing anything. Empty when it is missing
// (`problem` left empty) or cannot be used (`problem` says why).
QString ExistingDataFolder(QString* problem);

// The folder `name` inside dataFolder (as DataFolder gives it), created
// private to the user (0700) when missing. Empty when dataFolder is empty or
// the folder cannot be used; `problem` then names it and says why.
QString DataSubfolder(const QString& dataFolder, const QString& name, QString* problem);

}  // namespace quarvel
