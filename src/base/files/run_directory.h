#pragma once

#include <QString>

namespace quarvel {

// The folder that holds the skin and the voice cues, without a trailing
// separator: the executable's own folder when they sit beside it (the build
// tree, a portable copy), else ../share/quarvel beside it (an installed
// program), else the executable's folder all the same.
QString RunDirectory();

// The same choice for an executable in executableDir.
QString AssetDirectoryFor(const QString& executableDir);

// RunDirectory followed by a literal that begins with a backslash, such as
// "\mp3\欢迎使用.mp3"; the backslashes become the platform's separator.
QString RunPath(const QString& literal);

}  // namespace quarvel
