#pragma once

#include <QString>

namespace quarvel {

class Announcer;

// The copied text: the three captions, each pair separated by a blank line,
// then the signature line (no final line break).
QString CopyResultText(const QString& model, const QString& serial, const QString& warrantyEnd);

// Click of 按钮5: puts the shown result (the captions as displayed) on the
// clipboard as plain text and says so.
void OnCopyClick(Announcer& announcer, const QString& model, const QString& serial,
                 const QString& warrantyEnd);

}  // namespace quarvel
