#pragma once

#include <QString>

#include "base/config/config.h"

namespace quarvel {

// The serial as it goes into a URL, as one path segment: nothing is dropped
// or changed in case, spaces go out as "%20", and every character that could
// change the URL's meaning or fail a strict parse ("/", "?", "#", "%", backslash,
// quotes, brackets, control characters, anything beyond ASCII …) is
// percent-encoded. A serial of only dots, or one holding NUL, which no browser
// carries as it is, has its percent signs encoded once more.
QString EscapeSerial(const QString& serial);

// The serial without its trailing spaces (leading spaces stay).
QString TrimTrailingSpaces(const QString& serial);

// "http://" + lookup host + "/index.php/iphone/" + serial
QString LookupPageUrl(const Config& config, const QString& serial);

// "http://" + lookup host + "/index.php/pic/iphone/" + serial + ".png"
QString HandsetPictureUrl(const Config& config, const QString& serial);

// The sample picture of the hidden test button.
QString SamplePictureUrl(const Config& config);

// A file in the program's data folder ($XDG_DATA_HOME/quarvel, by default
// ~/.local/share/quarvel), which is created private to the user when missing.
// Empty when the folder cannot be used safely (a symbolic link, no folder,
// another user's): nothing is written then.
QString DataFilePath(const QString& fileName);

inline const QString kHandsetPictureFile = QStringLiteral("验证码.jpg");
inline const QString kSamplePictureFile = QStringLiteral("01.jpg");

}  // namespace quarvel
