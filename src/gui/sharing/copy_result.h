#pragma once

#include <QString>

namespace quarvel {

class MainWindow;

// The copied text: the three captions, each pair separated by a blank line,
// then the signature line (no final line break).
QString CopyResultText(const QString& model, const QString& serial, const QString& warrantyEnd);

// Click of 按钮5: puts the shown result on the clipboard as plain text.
void OnCopyClick(MainWindow& window);

}  // namespace quarvel
