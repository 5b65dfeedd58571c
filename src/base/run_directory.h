#pragma once

#include <QString>

namespace quarvel {

// The executable's directory, without a trailing separator.
QString RunDirectory();

// RunDirectory followed by a literal that begins with a backslash, such as
// "\mp3\欢迎使用.mp3"; the backslashes become the platform's separator.
QString RunPath(const QString& literal);

}  // namespace quarvel
