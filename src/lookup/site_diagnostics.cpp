// The pages a site kept at its deadline, for a user to report a site that changed.
#include "lookup/site_diagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <set>
#include <utility>
#include <vector>

#include "base/config/logging.h"
#include "base/files/data_folder.h"
#include "base/files/safe_file.h"

namespace quarvel {
namespace {

// The page as written: UTF-8, cut at kKeptPageBytes on a character boundary.
QByteArray Kept(const QString& page) {
  QByteArray bytes = page.toUtf8();
  if (bytes.size() <= kKeptPageBytes) return bytes;
  qsizetype cut = kKeptPageBytes;
  while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
  bytes.truncate(cut);
  return bytes;
}

bool Taken(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

const QString kStampFormat = QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z-'");

// The folder's name for a new page of site: the time now, made later by a
// millisecond while a page of that name is there, so names stay in order.
QString FreshStem(const QString& folder, const QString& site) {
  QDateTime when = QDateTime::currentDateTimeUtc();
  for (int tries = 0; tries < 1000; ++tries, when = when.addMSecs(1)) {
    const QString stem = when.toString(kStampFormat) + site;
    const QString base = folder + QLatin1Char('/') + stem;
    if (!Taken(base + QStringLiteral(".txt")) && !Taken(base + QStringLiteral(".html")))
      return stem;
  }
  return {};
}

// Removes the oldest pages of folder beyond kKeptDiagnosticPages. A name
// begins with its time, so the oldest sort first; a link is removed itself.
// A name later than a minute from now (not a page of ours, or one kept before
// the clock went back) goes before them all: it would outlive every fresh one.
void RemoveOldPages(const QString& folder) {
  const QDir dir(folder);
  const QStringList names = dir.entryList({QStringLiteral("*.txt"), QStringLiteral("*.html")},
                                          QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
  std::set<QString> found;
  for (const QString& name : names) found.insert(QFileInfo(name).completeBaseName());
  const auto later =
      found.upper_bound(QDateTime::currentDateTimeUtc().addSecs(60).toString(kStampFormat));
  std::vector<QString> stems(later, found.end());
  stems.insert(stems.end(), found.begin(), later);
  auto stale = static_cast<qsizetype>(stems.size()) - kKeptDiagnosticPages;
  for (auto stem = stems.begin(); stale > 0; ++stem, --stale) {
    for (const QString& name : names) {
      if (QFileInfo(name).completeBaseName() == *stem && !QFile::remove(dir.filePath(name)))
        qCWarning(lcFiles) << "an old diagnostics page could not be removed:" << dir.filePath(name);
    }
  }
}

}  // namespace

QString KeepDiagnosticPage(const QString& site, const QString& page, PageFormat format) {
  QString problem;
  const QString data = DataFolder(&problem);
  const QString folder =
      data.isEmpty() ? QString() : DataSubfolder(data, kDiagnosticsFolder, &problem);
  if (folder.isEmpty()) {
    // Said once: every later deadline would say it again.
    static bool said = false;
    if (!std::exchange(said, true))
      qCWarning(lcFiles).noquote() << "no diagnostics page is kept:" << problem;
    return {};
  }
  const QString stem = FreshStem(folder, site);
  const QString path =
      folder + QLatin1Char('/') + stem +
      (format == PageFormat::Html ? QStringLiteral(".html") : QStringLiteral(".txt"));
  const bool written = !stem.isEmpty() && ReplaceFile(path, Kept(page));
  RemoveOldPages(folder);
  return written ? path : QString();
}

}  // namespace quarvel
