// The old-style HTML rewrite on arbitrary input: no crash, no overflow, time
// linear in the input. Needs src/webpage/legacy_html.cpp and Qt Core.
// fuzz-sources: webpage/legacy_html.cpp
// fuzz-max-len: 262144
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "webpage/legacy_html.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString modern =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QString legacy = quarvel::ToLegacyHtml(modern);
  // Every step copies, drops or adds a bounded amount per input character:
  // upper-casing, a space before an attribute, quotes and '=' around a value,
  // '>' at the end of a tag cut short.
  if (legacy.size() > 4 * modern.size() + 1) std::abort();
  // Text without markup passes unchanged.
  if (!modern.contains(QLatin1Char('<')) && legacy != modern) std::abort();
  return 0;
}
