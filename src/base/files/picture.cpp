#include "base/files/picture.h"

#include <QBuffer>

#include "base/files/safe_file.h"

namespace quarvel {

PictureFormat SniffPicture(const QByteArray& bytes) {
  if (bytes.startsWith("\x89PNG\r\n\x1a\n")) return PictureFormat::Png;
  if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) return PictureFormat::Gif;
  if (bytes.startsWith("\xff\xd8\xff")) return PictureFormat::Jpeg;
  if (bytes.size() >= 26 && bytes.startsWith("BM")) return PictureFormat::Bmp;
  return PictureFormat::Unknown;
}

QImage DecodePicture(const QByteArray& bytes) {
  static const char* const kNames[] = {nullptr, "PNG", "GIF", "JPEG", "BMP"};
  const PictureFormat format = SniffPicture(bytes);
  if (format == PictureFormat::Unknown) return {};
  return QImage::fromData(bytes, kNames[static_cast<int>(format)]);
}

bool ConvertImageFile(const QString& source, const QString& target, int quality) {
  const std::optional<QByteArray> in = ReadRegularFile(source);
  if (!in) return false;
  const QImage image = DecodePicture(*in);
  if (image.isNull()) return false;
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "JPEG", quality)) return false;
  return ReplaceFile(target, jpeg);
}

}  // namespace quarvel
