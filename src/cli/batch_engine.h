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

}  // namespace quarvel::cli
