#include "gui/shell/skin.h"

#include <QApplication>
#include <QFile>
#include <QStringDecoder>

#include "base/config/logging.h"

namespace quarvel {
namespace {

// Rough check that the text is a style sheet: balanced braces, at least one rule.
bool LooksLikeStyleSheet(const QString& text) {
  int depth = 0, rules = 0;
  bool inComment = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (inComment) {
      if (c == '*' && i + 1 < text.size() && text[i + 1] == '/') inComment = false, ++i;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      inComment = true, ++i;
    } else if (c == '{') {
      if (++depth > 1) return false;
    } else if (c == '}') {
      if (--depth < 0) return false;
      ++rules;
    }
  }
  return depth == 0 && !inComment && rules > 0;
}

}  // namespace

bool AttachSkin(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    qCWarning(lcApp).noquote() << "skin file missing or unreadable:" << path;
    return false;
  }
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString text = decoder.decode(file.readAll());
  if (decoder.hasError() || !LooksLikeStyleSheet(text)) {
    qCWarning(lcApp).noquote() << "skin file is not a style sheet:" << path;
    return false;
  }
  qApp->setStyleSheet(text);
  qCDebug(lcApp).noquote() << "skin attached from" << path;
  return true;
}

}  // namespace quarvel
