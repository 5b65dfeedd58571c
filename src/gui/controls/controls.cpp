#include "gui/controls/controls.h"

#include <QLabel>
#include <QPixmap>
#include <QVariant>

#include "base/files/picture.h"

namespace quarvel {

void SetCaption(QLabel* label, const QString& caption) {
  label->setProperty("caption", caption);
  // Captions carry page text: shown as the characters it holds, never as
  // markup that could load local files or draw links.
  label->setTextFormat(Qt::PlainText);
  QString shown = caption;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  label->setText(shown);
  label->setAccessibleName(shown.simplified());
}

QString Caption(const QLabel* label) { return label->property("caption").toString(); }

void FixOuterSize(QWidget* window, int width, int height) {
  const QSize decorations = window->frameGeometry().size() - window->geometry().size();
  window->setFixedSize(width - decorations.width(), height - decorations.height());
}

void SetTextColour(QWidget* widget, int r, int g, int b) {
  widget->setStyleSheet(
      QStringLiteral("color: rgb(%1, %2, %3); background: transparent;").arg(r).arg(g).arg(b));
}

void SetPicture(QLabel* box, const QByteArray& bytes) {
  const QImage image = DecodePicture(bytes);
  if (image.isNull()) {
    box->clear();
    return;
  }
  box->setPixmap(QPixmap::fromImage(image));
}

}  // namespace quarvel
