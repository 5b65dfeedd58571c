#include "support/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace quarvel {
namespace {

std::string Convert(const char* to, const char* from, const std::string& input, char replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string output(input.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno != EILSEQ && errno != EINVAL) break;
    // Skip one unconvertible byte and mark it.
    ++in;
    --inLeft;
    if (outLeft > 0) {
      *out++ = replacement;
      --outLeft;
    }
  }
  iconv_close(cd);
  output.resize(output.size() - outLeft);
  return output;
}

}  // namespace

QByteArray ToGbk(const QString& text) {
  const std::string gbk = Convert("GBK//TRANSLIT", "UTF-8", text.toStdString(), '?');
  return QByteArray(gbk.data(), static_cast<qsizetype>(gbk.size()));
}

QString FromGbk(const QByteArray& bytes) {
  const std::string utf8 = Convert("UTF-8", "GBK", bytes.toStdString(), '?');
  return QString::fromStdString(utf8);
}

}  // namespace quarvel
