#pragma once

// Whether the window can open before the toolkit tries: without a display the
// toolkit would end the process with its own plugin message (SIGABRT).
#include <QString>
#include <QStringList>

#include <functional>

namespace quarvel {

// Why no window platform the toolkit would try can reach a display, or empty
// when one can, or when the platform needs no display (offscreen, vnc...).
// The platform is the one -platform names in `arguments` (the program's
// command line), else QT_QPA_PLATFORM (a list split by ';' is tried in turn),
// else the default (X11 or Wayland). X11 wants DISPLAY (or -display),
// Wayland WAYLAND_DISPLAY.
QString NoDisplayProblem(const QStringList& arguments,
                         const std::function<QString(const char*)>& environment);

}  // namespace quarvel
