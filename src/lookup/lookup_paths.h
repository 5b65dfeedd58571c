#pragma once

#include <QString>

#include "app/config.h"

namespace quarvel {

// The serial as it goes into a URL: spaces stay as typed, while the
// characters that would change the URL's structure ("/", "?", "#", "%") and
// control characters are percent-encoded.
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
