// TextBetween on any bytes. The input is "start marker\nend marker\ntext";
// the cut is checked against its definition, and the text form against the
// byte form.
// fuzz-sources: base/text/text_between.cpp
// fuzz-max-len: 16384
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/text/text_between.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool ValidUtf8(const QByteArray& bytes) { return QString::fromUtf8(bytes).toUtf8() == bytes; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t first = input.find('\n');
  if (first == std::string_view::npos) return 0;
  const size_t second = input.find('\n', first + 1);
  if (second == std::string_view::npos) return 0;
  const std::string_view start = input.substr(0, first);
  const std::string_view end = input.substr(first + 1, second - first - 1);
  const std::string_view text = input.substr(second + 1);

  const auto bytes = [](std::string_view v) {
    return QByteArray(v.data(), static_cast<qsizetype>(v.size()));
  };
  const QByteArray cut = quarvel::TextBetween(bytes(text), bytes(start), bytes(end));

  // The text after the first start marker, up to the first end marker there.
  const size_t at = text.find(start);
  if (at == std::string_view::npos) {
    Check(cut.isEmpty());
  } else {
    const std::string_view after = text.substr(at + start.size());
    const size_t stop = after.find(end);
    if (stop == std::string_view::npos) {
      Check(cut.isEmpty());
    } else {
      Check(std::string_view(cut.constData(), static_cast<size_t>(cut.size())) ==
            after.substr(0, stop));
      // It is a piece of the text that the two markers enclose.
      Check(text.find(std::string(start) + cut.toStdString() + std::string(end)) == at);
    }
  }

  // On UTF-8 the text form cuts exactly where the byte form does.
  if (ValidUtf8(bytes(text)) && ValidUtf8(bytes(start)) && ValidUtf8(bytes(end))) {
    const QString textCut =
        quarvel::TextBetween(QString::fromUtf8(bytes(text)), QString::fromUtf8(bytes(start)),
                             QString::fromUtf8(bytes(end)));
    Check(textCut.toUtf8() == cut);
  }
  return 0;
}
