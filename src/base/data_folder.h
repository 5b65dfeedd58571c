#pragma once

#include <QString>

namespace quarvel {

// The program's data folder, $XDG_DATA_HOME/quarvel (by default
// ~/.local/share/quarvel), created when missing.
QString DataFolder();

}  // namespace quarvel
