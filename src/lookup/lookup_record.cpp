#include "lookup/lookup_record.h"

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

}  // namespace quarvel
