#include "webpage/legacy_html.h"

#include <algorithm>

namespace quarvel {
namespace {

bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool IsNameChar(char16_t c) { return !IsSpace(c) && c != '>' && c != '/' && c != '='; }

bool IsBareValueChar(char16_t u) {
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
         u == '_' || u == '.';
}

char16_t Upper(char16_t c) { return c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 32) : c; }

bool IsRawText(QStringView tag) {
  static const char* const kRaw[] = {"script",  "style",    "xmp",       "iframe",
                                     "noembed", "noframes", "plaintext", "noscript"};
  for (const char* raw : kRaw)
    if (tag.compare(QLatin1String(raw), Qt::CaseInsensitive) == 0) return true;
  return false;
}

// Appends to a buffer sized for the worst case (the rewrite never grows text).
class Writer {
 public:
  explicit Writer(qsizetype capacity) : out_(capacity, Qt::Uninitialized), at_(out_.data()) {}
  void Put(char16_t c) { *at_++ = QChar(c); }
  void Put(const QChar* from, qsizetype n) {
    std::copy(from, from + n, at_);
    at_ += n;
  }
  QString Take() {
    out_.truncate(at_ - out_.constData());
    return std::move(out_);
  }

 private:
  QString out_;
  QChar* at_;
};

}  // namespace

QString ToLegacyHtml(const QString& modern) {
  const QChar* s = modern.constData();
  const qsizetype n = modern.size();
  // Every rewrite step only drops or keeps characters, so n is enough.
  Writer out(n);
  qsizetype i = 0;
  while (i < n) {
    const qsizetype lt = modern.indexOf(QLatin1Char('<'), i);
    if (lt < 0) {
      out.Put(s + i, n - i);
      break;
    }
    out.Put(s + i, lt - i);
    i = lt;
    if (QStringView(s + i, std::min<qsizetype>(4, n - i)) == QLatin1String("<!--")) {
      const qsizetype close = modern.indexOf(QLatin1String("-->"), i + 4);
      const qsizetype stop = close < 0 ? n : close + 3;
      out.Put(s + i, stop - i);
      i = stop;
      continue;
    }
    const bool endTag = i + 1 < n && s[i + 1] == QLatin1Char('/');
    qsizetype j = i + (endTag ? 2 : 1);
    const qsizetype nameStart = j;
    while (j < n && IsNameChar(s[j].unicode())) ++j;
    const QStringView tag(s + nameStart, j - nameStart);
    if (tag.isEmpty() || !tag[0].isLetter()) {  // "<!DOCTYPE", a lone "<" and the like
      out.Put(s[i].unicode());
      ++i;
      continue;
    }
    out.Put('<');
    if (endTag) out.Put('/');
    for (QChar c : tag) out.Put(Upper(c.unicode()));
    // Attributes: name="value" as the modern engine writes them, or a bare name.
    while (j < n && s[j] != QLatin1Char('>')) {
      const char16_t c = s[j].unicode();
      if (IsSpace(c)) {
        ++j;
        continue;
      }
      const qsizetype attrStart = j;
      while (j < n && IsNameChar(s[j].unicode())) ++j;
      if (j == attrStart) {  // a stray character such as "/"
        out.Put(c);
        ++j;
        continue;
      }
      out.Put(' ');
      out.Put(s + attrStart, j - attrStart);
      if (j >= n || s[j] != QLatin1Char('=')) continue;
      ++j;
      if (j < n && s[j] == QLatin1Char('"')) {
        const qsizetype close = modern.indexOf(QLatin1Char('"'), j + 1);
        const qsizetype valueEnd = close < 0 ? n : close;
        const qsizetype valueStart = j + 1;
        if (valueEnd > valueStart) {
          const bool bare = std::all_of(s + valueStart, s + valueEnd,
                                        [](QChar v) { return IsBareValueChar(v.unicode()); });
          out.Put('=');
          if (!bare) out.Put('"');
          out.Put(s + valueStart, valueEnd - valueStart);
          if (!bare) out.Put('"');
        }
        j = close < 0 ? n : close + 1;
      } else {  // an unquoted value: copied as it stands
        const qsizetype valueStart = j;
        while (j < n && !IsSpace(s[j].unicode()) && s[j] != QLatin1Char('>')) ++j;
        out.Put('=');
        out.Put(s + valueStart, j - valueStart);
      }
    }
    out.Put('>');
    i = j < n ? j + 1 : n;
    if (!endTag && IsRawText(tag)) {  // copied up to its end tag
      qsizetype stop = i;
      while (true) {
        stop = modern.indexOf(QLatin1String("</"), stop);
        if (stop < 0) {
          stop = n;
          break;
        }
        if (QStringView(s + stop + 2, std::min<qsizetype>(tag.size(), n - stop - 2))
                .compare(tag, Qt::CaseInsensitive) == 0)
          break;
        stop += 2;
      }
      out.Put(s + i, stop - i);
      i = stop;
    }
  }
  return out.Take();
}

}  // namespace quarvel
