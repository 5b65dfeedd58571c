#pragma once

#include <QByteArray>
#include <QString>

#include "base/gate/timer_interval.h"

class QLabel;
class QWidget;

namespace quarvel {

// Label captions keep their exact text (CR LF included) while the label shows
// the lines, as plain text (markup in it is shown, not rendered); the
// label's accessible name follows. Caption() returns the text as it was set.
void SetCaption(QLabel* label, const QString& caption);
QString Caption(const QLabel* label);

// The picture property of a picture box: shows the image the bytes encode
// (PNG, GIF, JPEG or BMP); empty or undecodable bytes clear it.
void SetPicture(QLabel* box, const QByteArray& bytes);

// Gives a top-level window a fixed outer size, frame decorations included.
void FixOuterSize(QWidget* window, int width, int height);

// Text colour of a label, as an RGB triple.
void SetTextColour(QWidget* widget, int r, int g, int b);

}  // namespace quarvel
