#include "lookup/lookup_paths.h"

#include "base/files/data_folder.h"

#include <QStandardPaths>

#include <cstring>

#include "base/config/logging.h"
#include "base/files/safe_file.h"

namespace quarvel {

QString EscapeSerial(const QString& serial) {
  // Everything but letters, digits and a few marks that mean nothing in a
  // path goes out percent-encoded, as UTF-8: the URL then passes a strict
  // parse and no browser or server changes its meaning.
  const QByteArray utf8 = serial.toUtf8();
  // A segment made only of dots is resolved away by every URL parser, even
  // when its dots are written "%2E", and a browser sends no request for a URL
  // holding "%00". Such a serial travels with its percent signs encoded once
  // more: the server receives the escape ("%2E%2E", "%00") as the serial's text.
  const bool dotSegment = utf8 == "." || utf8 == "..";
  QString escaped;
  escaped.reserve(utf8.size() * 3);
  for (const char ch : utf8) {
    const auto b = static_cast<unsigned char>(ch);
    const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                       std::strchr("-._~!$&()*+,;=:@", b) != nullptr;
    if (plain && b != 0 && !(dotSegment && b == '.')) {
      escaped += QLatin1Char(ch);
      continue;
    }
    const QString hex = QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    escaped += (dotSegment || b == 0 ? QStringLiteral("%25") : QStringLiteral("%")) + hex;
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

QString DataFilePath(const QString& fileName) {
  const QString folder = DataFolder();
  return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + fileName;
}

}  // namespace quarvel
