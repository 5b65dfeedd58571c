#include "lookup/lookup_record.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include "base/files/data_folder.h"
#include "base/files/safe_file.h"

#include "base/numbers/device_number.h"

namespace quarvel {

HistoryRecord FinishedLookup(HistorySource source, const QString& entry, LookupPath path,
                             const LookupOutcome& outcome, double seconds) {
  HistoryRecord record;
  record.finishedAt = QDateTime::currentDateTimeUtc();
  record.source = source;
  record.entry = entry;
  record.check = CheckNumber(entry).verdict;
  record.path = PathName(path);
  record.outcome = OutcomeName(outcome.kind);
  record.model = outcome.model;
  record.serial = outcome.serial;
  record.warrantyEnd = outcome.warrantyEnd;
  record.picture = outcome.picture;
  record.seconds = seconds;
  record.reason = outcome.reason;
  return record;
}

QString KeepOwnPicture(const QString& dataFolder, const QString& shared, const QString& entry,
                       QString* problem) {
  const QString folder = DataSubfolder(dataFolder, QStringLiteral("pictures"), problem);
  if (folder.isEmpty()) return {};
  const std::optional<QByteArray> bytes = ReadRegularFile(shared);
  if (!bytes) {
    *problem = QStringLiteral("the picture %1 could not be read").arg(shared);
    return {};
  }
  QString safe;  // only safe characters, whatever the entry holds
  for (const QChar c : entry) {
    if (safe.size() >= 32) break;
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) safe += c;
  }
  const QString name =
      QStringLiteral("window-%1-%2%3.jpg")
          .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'")))
          .arg(QCoreApplication::applicationPid())
          .arg(safe.isEmpty() ? QString() : QLatin1Char('-') + safe);
  const QString path = QDir(folder).filePath(name);
  if (!ReplaceFile(path, *bytes)) {
    *problem = QStringLiteral("the picture could not be kept as %1").arg(path);
    return {};
  }
  return path;
}

}  // namespace quarvel
