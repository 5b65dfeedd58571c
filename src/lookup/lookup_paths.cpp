#include "lookup/lookup_paths.h"

#include "base/data_folder.h"

namespace quarvel {

QString EscapeSerial(const QString& serial) {
  QString escaped;
  escaped.reserve(serial.size());
  for (const QChar c : serial) {
    const char16_t u = c.unicode();
    if (u == '/' || u == '?' || u == '#' || u == '%' || u < 0x20 || u == 0x7F) {
      escaped += QStringLiteral("%%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0')).toUpper();
    } else {
      escaped += c;
    }
  }
  return escaped;
}

QString TrimTrailingSpaces(const QString& serial) {
  qsizetype end = serial.size();
  while (end > 0 && serial[end - 1] == QLatin1Char(' ')) --end;
  return serial.left(end);
}

QString LookupPageUrl(const Config& config, const QString& serial) {
  return "http://" + config.lookupHost + "/index.php/iphone/" + EscapeSerial(serial);
}

QString HandsetPictureUrl(const Config& config, const QString& serial) {
  return "http://" + config.lookupHost + "/index.php/pic/iphone/" + EscapeSerial(serial) + ".png";
}

QString SamplePictureUrl(const Config& config) {
  return "http://" + config.lookupHost + "/index.php/pic/iphone/012758009896035.png";
}

QString DataFilePath(const QString& fileName) { return DataFolder() + QLatin1Char('/') + fileName; }

}  // namespace quarvel
