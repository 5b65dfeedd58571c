#pragma once

// Small pictures and file helpers the tests share.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>

namespace quarvel::testing {

// A picture of one colour, encoded in format ("PNG", "JPEG", "BMP"; the
// toolkit writes no GIF).
inline QByteArray EncodedPicture(const char* format, QSize size = {8, 6},
                                 QColor colour = QColor(10, 200, 30)) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

// The whole file; empty when it cannot be read.
inline QByteArray ReadWholeFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace quarvel::testing
