#pragma once

#include "base/records/history.h"
#include "lookup/lookup_outcome.h"

namespace quarvel {

// The record of a lookup of entry on path that ended with outcome just now:
// the offline check and the names as the history and the batch CSV write them.
HistoryRecord FinishedLookup(HistorySource source, const QString& entry, LookupPath path,
                             const LookupOutcome& outcome, double seconds);

}  // namespace quarvel
