#pragma once

// The lookup engine that `quarvel-cli batch` drives.
#include <QCoreApplication>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "base/config/config.h"
#include "lookup/lookup_outcome.h"

namespace quarvel::cli {

struct BatchEngine {
  // The application object the engine runs in: its hidden windows may need
  // more than a QCoreApplication (made only when a batch really runs).
  std::function<std::unique_ptr<QCoreApplication>(int& argc, char** argv)> makeApplication;
  // One engine per job.
  EntryLookupFactory makeLookup;
};

// The engine for the hosts of `config`, for lookups on `path`; nothing, and
// the reason, when this build has none.
std::optional<BatchEngine> LoadBatchEngine(const Config& config, LookupPath path, QString* reason);

// `quarvel-cli batch-worker`: one engine for the hosts of `config`, looking
// up the requests that come on standard input one after another and writing
// each outcome to standard output (base/batch_worker.h). Ends when its input
// ends, or with the batch that started it. The exit status: 0, or 2 for a
// line that is no request.
int RunBatchWorker(int& argc, char** argv, const Config& config);

}  // namespace quarvel::cli
