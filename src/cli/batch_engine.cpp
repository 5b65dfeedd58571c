#include "cli/batch_engine.h"

#include <QApplication>

#include "base/config/quiet_output.h"
#include "batch/engine_lookup.h"

namespace quarvel::cli {

std::optional<BatchEngine> LoadBatchEngine(const Config& config, LookupPath path,
                                           QString* /*reason*/) {
  BatchEngine engine;
  engine.makeApplication = [](int& argc, char** argv) -> std::unique_ptr<QCoreApplication> {
    // Hidden windows only: no display is needed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QuietToolkitOutput();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return std::make_unique<QApplication>(argc, argv);
  };
  engine.makeLookup = EngineLookupFactory(config, path);
  return engine;
}

}  // namespace quarvel::cli
