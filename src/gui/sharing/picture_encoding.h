#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace quarvel {

// The picture types a screenshot can be saved as, in the order of the save
// dialog's filter.
enum class SaveType { Png = 0, Gif = 1, Jpeg = 2 };

// The file extension of a type, without the dot.
QString Extension(SaveType type);

// The type a file name's extension names, if it names one.
bool TypeFromFileName(const QString& fileName, SaveType* type);

// The image encoded as the type; empty on failure. GIF goes through libgd.
QByteArray EncodePicture(const QImage& image, SaveType type);

}  // namespace quarvel
