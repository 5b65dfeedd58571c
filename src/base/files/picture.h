#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace quarvel {

enum class PictureFormat { Unknown, Png, Gif, Jpeg, Bmp };

// Recognises the encoding from the first bytes of the data.
PictureFormat SniffPicture(const QByteArray& bytes);

// Decodes PNG, GIF, JPEG or BMP bytes; a null image for anything else.
QImage DecodePicture(const QByteArray& bytes);

// Converts the image file at source to a JPEG file at target (the two may be
// the same path), replacing target as ReplaceFile does (safe_file.h). False,
// with the target untouched, when the source is no regular file holding an
// image or the target cannot be written.
bool ConvertImageFile(const QString& source, const QString& target, int quality);

}  // namespace quarvel
