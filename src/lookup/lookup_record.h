#pragma once

#include "base/records/history.h"
#include "lookup/lookup_outcome.h"

namespace quarvel {

// The record of a lookup of entry on path that ended with outcome just now:
// the offline check and the names as the history and the batch CSV write them.
HistoryRecord FinishedLookup(HistorySource source, const QString& entry, LookupPath path,
                             const LookupOutcome& outcome, double seconds);

// A copy of the window's picture file `shared` (which the next lookup
// replaces) under the data folder's pictures/, named after the time, the
// process and the entry, for the history row of this lookup alone. Empty,
// with the reason in *problem, when no copy could be kept.
QString KeepOwnPicture(const QString& dataFolder, const QString& shared, const QString& entry,
                       QString* problem);

}  // namespace quarvel
