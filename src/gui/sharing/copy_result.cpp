#include "gui/sharing/copy_result.h"

#include <QClipboard>
#include <QGuiApplication>

#include "gui/notices.h"
#include "lookup/announcer.h"

namespace quarvel {

QString CopyResultText(const QString& model, const QString& serial, const QString& warrantyEnd) {
  const QString blankLine = QStringLiteral("\r\n\r\n");
  return model + blankLine + serial + blankLine + warrantyEnd + blankLine +
         QStringLiteral("信息来至 tal Quarvel  ");
}

void OnCopyClick(Announcer& announcer, const QString& model, const QString& serial,
                 const QString& warrantyEnd) {
  const QString text = CopyResultText(model, serial, warrantyEnd);
  QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
  Announce(announcer, Notice::Copied);
}

}  // namespace quarvel
