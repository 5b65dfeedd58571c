#include "gui/sharing/picture_encoding.h"

#include <gd.h>

#include <QBuffer>
#include <QFileInfo>

namespace quarvel {
namespace {

QByteArray EncodeGif(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB32);
  if (image.isNull()) return {};
  gdImagePtr gd = gdImageCreateTrueColor(image.width(), image.height());
  if (!gd) return {};
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      gd->tpixels[y][x] = gdTrueColor(qRed(line[x]), qGreen(line[x]), qBlue(line[x]));
    }
  }
  // GIF holds at most 256 colours.
  gdImageTrueColorToPalette(gd, 1, 256);
  int size = 0;
  void* data = gdImageGifPtr(gd, &size);
  QByteArray bytes;
  if (data && size > 0) bytes = QByteArray(static_cast<const char*>(data), size);
  gdFree(data);
  gdImageDestroy(gd);
  return bytes;
}

}  // namespace

QString Extension(SaveType type) {
  switch (type) {
    case SaveType::Png:
      return QStringLiteral("png");
    case SaveType::Gif:
      return QStringLiteral("gif");
    case SaveType::Jpeg:
      return QStringLiteral("jpg");
  }
  return {};
}

bool TypeFromFileName(const QString& fileName, SaveType* type) {
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  if (suffix == QLatin1String("png"))
    *type = SaveType::Png;
  else if (suffix == QLatin1String("gif"))
    *type = SaveType::Gif;
  else if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
    *type = SaveType::Jpeg;
  else
    return false;
  return true;
}

QByteArray EncodePicture(const QImage& image, SaveType type) {
  if (image.isNull()) return {};
  if (type == SaveType::Gif) return EncodeGif(image);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const bool ok = type == SaveType::Png
                      ? image.save(&buffer, "PNG")
                      : image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 90);
  return ok ? bytes : QByteArray();
}

}  // namespace quarvel
