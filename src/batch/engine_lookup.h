#pragma once

// The lookup engine a batch drives, in the command line and in the window
// alike: one LookupRig a job, at a batch's pace (LookupTimings::Batch), in
// hidden windows of its own.
#include "base/config/config.h"
#include "lookup/lookup_outcome.h"

namespace quarvel {

// Makes one engine a job for the hosts of `config`; each loads the start page
// of `path` at once. Needs a QApplication.
EntryLookupFactory EngineLookupFactory(const Config& config, LookupPath path);

}  // namespace quarvel
