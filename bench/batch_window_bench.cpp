// The batch window's pace on the demo: a list of 1,000 entries (or argv[4])
// on the comprehensive path, from Start to its last row, in the program's own
// window (offscreen). Prints "entries_per_min rows".
//   batch_window_run LOOKUP_HOST PORTAL_HOST WARRANTY_HOST [COUNT]
// bench/batch_bench.py runs it beside quarvel-cli batch on the same list.
#include <QApplication>
#include <QDateTime>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cstdio>

#include "base/config/quiet_output.h"
#include "base/records/csv.h"
#include "gui/secondary_windows/batch_window.h"

int main(int argc, char** argv) {
  quarvel::QuietToolkitOutput();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  if (argc < 4) {
    std::fputs("usage: batch_window_run LOOKUP_HOST PORTAL_HOST WARRANTY_HOST [COUNT]\n", stderr);
    return 2;
  }
  const int count = argc > 4 ? QString::fromUtf8(argv[4]).toInt() : 1000;
  quarvel::Config config;
  config.lookupHost = QString::fromUtf8(argv[1]);
  config.portalHost = QString::fromUtf8(argv[2]);
  config.warrantyHost = QString::fromUtf8(argv[3]);
  QTemporaryDir data;
  // Deletes itself when closed (quitting closes it).
  auto& window = *new quarvel::BatchWindow(config, data.path(), {});
  const QStringList samples = {"C39XK0ABHG7F", "F17ZP1QWN73D", "DNPQ2LL8JCLM", "356789104523673"};
  QStringList entries;
  for (int i = 0; i < count; ++i) entries.append(samples[i % samples.size()]);
  window.ListInput->setPlainText(entries.join(QLatin1Char('\n')));
  window.show();
  QObject::connect(&window, &quarvel::BatchWindow::BatchFinished, &app, [&](int) {
    // As the command line's figure: from the first row's finish to the last's.
    quarvel::BatchResults& rows = window.results();
    const int finishedAt = static_cast<int>(quarvel::csv::BatchHeader().indexOf("finished_at"));
    const int n = rows.rowCount();
    double rate = 0;
    if (n > 1) {
      const QDateTime first = QDateTime::fromString(rows.Fields(0)[finishedAt], Qt::ISODateWithMs);
      const QDateTime last =
          QDateTime::fromString(rows.Fields(n - 1)[finishedAt], Qt::ISODateWithMs);
      rate = (n - 1) / (first.msecsTo(last) / 60000.0);
    }
    std::printf("%.1f %d\n", rate, n);
    std::fflush(stdout);
    app.quit();
  });
  window.StartBatch();
  return app.exec();
}
