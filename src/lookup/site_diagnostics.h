#pragma once

#include <QString>

namespace quarvel {

// Why a query got no result by its deadline, named after the decision that
// failed on the last page its site read. The reason goes into
// LookupEnd::reason: the history keeps it and a batch prints it on its
// progress line; the window's status text does not change.
//
// The last read got no page: it did not answer, or the page held nothing.
inline constexpr char kNoPageAtAll[] = "no page at all";
// Official, before submitting: the page never had "请输入产品的序列号".
inline constexpr char kNoSerialForm[] = "the page never showed the serial form";
// A page with none of the markers that decide a result (comprehensive: neither
// "查找结果" nor "抱歉，没有找到"; official: no result, no rejection).
inline constexpr char kNoResult[] = "the page never showed a result";
// Official: the page has the model's start marker, as a result page does,
// but not "预计到期日", which makes a result.
inline constexpr char kResultWithoutDateMarker[] = "a result page without the expiry-date marker";
// Official: the page has the line before the expiry date, as a result page
// does, but neither the model's start marker nor "预计到期日".
inline constexpr char kResultWithoutModelAndDateMarkers[] =
    "a result page without the model and expiry-date markers";

// Diagnostics pages live in this folder of the data folder.
inline const QString kDiagnosticsFolder = QStringLiteral("diagnostics");
// How many pages are kept there; the oldest go first.
inline constexpr int kKeptDiagnosticPages = 20;
// At most this much of a page is kept: its first 2 MiB as UTF-8.
inline constexpr qsizetype kKeptPageBytes = 2 * 1024 * 1024;

enum class PageFormat { Text, Html };

// Keeps page (the site's last read, as text or HTML) as
// diagnostics/<UTC stamp>-<site>.txt or .html in the data folder, private to
// the user, never written through a symbolic link; then removes the oldest
// pages beyond kKeptDiagnosticPages (a page is the files of one stem). The file
// written, or empty when the data folder or its diagnostics folder cannot be
// used or the file could not be written (logged, at info level when the
// folder is the problem: a batch has already said so).
QString KeepDiagnosticPage(const QString& site, const QString& page, PageFormat format);

}  // namespace quarvel
