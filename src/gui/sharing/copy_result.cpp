#include "gui/sharing/copy_result.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>

#include "gui/shell/controls.h"
#include "gui/shell/main_window.h"
#include "gui/voice/voice.h"

namespace quarvel {

QString CopyResultText(const QString& model, const QString& serial, const QString& warrantyEnd) {
  const QString blankLine = QStringLiteral("\r\n\r\n");
  return model + blankLine + serial + blankLine + warrantyEnd + blankLine +
         QStringLiteral("信息来至 tal Quarvel  ");
}

void OnCopyClick(MainWindow& w) {
  const QString text =
      CopyResultText(Caption(w.ModelLabel), Caption(w.SerialLabel), Caption(w.WarrantyEndLabel));
  QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
  w.SetStatus(QStringLiteral("复制成功"));
  PlayCue(w, cue::kCopied);
}

}  // namespace quarvel
