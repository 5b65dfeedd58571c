// A second process for the tests:
//   base_test_helper history FOLDER COUNT ENTRY   writes COUNT lookups to the history
//   base_test_helper batch INPUT OUTPUT JOBS DELAY_MS  runs a batch on fake engines
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

#include "base/records/csv.h"
#include "base/records/history.h"
#include "batch/batch_runner.h"
#include "batch/progress.h"
#include "cli/fake_lookup.h"

using namespace quarvel;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 5 && args[1] == QLatin1String("history")) {
    int reports = 0;
    History history(args[2], [&](const QString& message) {
      ++reports;
      std::fprintf(stderr, "%s\n", qUtf8Printable(message));
    });
    bool all = true;
    for (int i = 0; i < args[3].toInt(); ++i) {
      HistoryRecord record;
      record.finishedAt = QDateTime::currentDateTimeUtc();
      record.source = HistorySource::Batch;
      record.entry = args[4] + QString::number(i);
      record.outcome = QStringLiteral("found");
      all = history.Record(record) && all;
    }
    return all && reports == 0 ? 0 : 1;
  }
  if (args.size() == 6 && args[1] == QLatin1String("batch")) {
    QFile input(args[2]);
    if (!input.open(QIODevice::ReadOnly)) return 2;
    const QStringList entries = csv::ReadBatchInput(input.readAll()).entries;
    csv::OutputFile output;
    QString error;
    if (!output.Open(args[3], csv::BatchHeader(), &error)) {
      std::fprintf(stderr, "%s\n", qUtf8Printable(error));
      return 2;
    }
    const QStringList todo = EntriesToDo(entries, output.Done());
    auto shared = std::make_shared<testing::FakeShared>();
    const int delay = args[5].toInt();
    shared->plan = [delay](const LookupRequest&) {
      testing::FakePlan plan;
      plan.delayMs = delay;
      plan.outcome.kind = OutcomeKind::Found;
      plan.outcome.model = QStringLiteral("Model, \"quoted\"");
      return plan;
    };
    Progress progress([](const QByteArray& text) { std::fputs(text.constData(), stderr); }, false,
                      static_cast<int>(entries.size()),
                      static_cast<int>(entries.size() - todo.size()));
    BatchSettings settings;
    settings.jobs = args[4].toInt();
    BatchRunner runner(settings, testing::FakeLookup::Factory(shared), &output, nullptr, &progress);
    return runner.Run(todo);
  }
  return 2;
}
