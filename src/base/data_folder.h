#pragma once

#include <QString>

namespace quarvel {

// The program's data folder, $XDG_DATA_HOME/quarvel (by default
// ~/.local/share/quarvel), created private to the user when missing. Empty
// when it cannot be used safely (a symbolic link, no folder, another
// user's): nothing is written then.
QString DataFolder();

}  // namespace quarvel
