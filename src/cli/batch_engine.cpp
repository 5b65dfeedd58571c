#include "cli/batch_engine.h"

namespace quarvel::cli {

// The one place where the lookup engine is plugged into quarvel-cli: return
// a BatchEngine whose makeLookup builds an EntryLookup on the hidden
// browsers. Until that exists, batches cannot run.
std::optional<BatchEngine> LoadBatchEngine(const Config& config, QString* reason) {
  Q_UNUSED(config);
  *reason = QStringLiteral("the lookup engine is not available in this build");
  return std::nullopt;
}

}  // namespace quarvel::cli
