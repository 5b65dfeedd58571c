// The history window on 100,000 lookups: time from opening it to the first
// paint of its table, the memory it takes, a page of scrolling anywhere in
// it, a new filter, and how soon a lookup recorded elsewhere shows.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/records/history.h"
#include "base/records/history_model.h"
#include "gui/secondary_windows/history_window.h"

namespace {

constexpr int kRows = 100000;

long RssKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// kRows lookups in one transaction, a second apart, in the history's schema.
bool Fill(const QString& folder) {
  { quarvel::History schema(folder); }
  sqlite3* db = nullptr;
  const QByteArray file = QFile::encodeName(QDir(folder).filePath("history.sqlite3"));
  if (sqlite3_open(file.constData(), &db) != SQLITE_OK) return false;
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO lookups (finished_at, source, entry, \"check\", path, outcome, "
                     "model, serial, warranty_end, picture, seconds, reason) VALUES (?, 'batch', "
                     "?, 'ok', 'official', ?, 'Handset 15 Pro', ?, '2026年9月9日', '', 6.25, '')",
                     -1, &insert, nullptr);
  const QDateTime start(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
  for (int i = 0; i < kRows; ++i) {
    const QByteArray time = quarvel::IsoUtc(start.addSecs(i)).toUtf8();
    const QByteArray entry = QByteArray::number(350000000000000LL + i);
    sqlite3_bind_text(insert, 1, time.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, entry.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, i % 7 ? "found" : "timed_out", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 4, entry.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

// Counts the paints of a widget.
class PaintSpy : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

bool WaitForPaint(PaintSpy& spy) {
  const int before = spy.paints;
  QElapsedTimer clock;
  clock.start();
  while (spy.paints == before && clock.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return spy.paints != before;
}

double Ms(const QElapsedTimer& clock) { return clock.nsecsElapsed() / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", "offscreen").toUtf8());
  QApplication app(argc, argv);
  QTemporaryDir data;
  const QString folder = data.filePath("quarvel");
  if (!Fill(folder)) {
    std::fprintf(stderr, "history_bench: could not fill the history\n");
    return 1;
  }
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, data.filePath("config"));

  const long before = RssKib();
  QElapsedTimer clock;
  clock.start();
  quarvel::HistoryWindow window(folder, {});
  PaintSpy spy;
  window.Table->viewport()->installEventFilter(&spy);
  window.show();
  if (!WaitForPaint(spy)) {
    std::fprintf(stderr, "history_bench: the table was never painted\n");
    return 1;
  }
  const double firstPaint = Ms(clock);
  const long opened = RssKib();
  if (window.model().rowCount() != kRows) {
    std::fprintf(stderr, "history_bench: %d rows shown\n", window.model().rowCount());
    return 1;
  }

  // A page of scrolling at 200 places over the whole table, each painted
  // at once (rows not held are read for the paint).
  QScrollBar* bar = window.Table->verticalScrollBar();
  std::vector<double> pages;
  for (int step = 1; step <= 200; ++step) {
    QElapsedTimer page;
    page.start();
    bar->setValue(static_cast<int>(static_cast<qint64>(bar->maximum()) * step / 200));
    window.Table->viewport()->repaint();
    pages.push_back(Ms(page));
  }
  std::sort(pages.begin(), pages.end());
  const long scrolled = RssKib();

  clock.restart();
  window.FilterInput->setText("35000000009");
  window.ApplyFilter();
  const double filter = Ms(clock);
  window.FilterInput->clear();
  window.ApplyFilter();

  // A lookup recorded by another writer, seen by the window's watch.
  quarvel::History writer(folder);
  quarvel::HistoryRecord record;
  record.finishedAt = QDateTime::currentDateTimeUtc();
  record.entry = "NEW";
  clock.restart();
  writer.Record(record);
  while (window.model().rowCount() == kRows && clock.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  const double seen = Ms(clock);

  std::printf("history_first_paint_100k: %.1f ms\n", firstPaint);
  std::printf("history_memory_100k: %.1f MiB\n", (opened - before) / 1024.0);
  std::printf("history_memory_100k_scrolled: %.1f MiB\n", (scrolled - before) / 1024.0);
  std::printf("history_scroll_page_median: %.2f ms\n", pages[pages.size() / 2]);
  std::printf("history_scroll_page_worst: %.2f ms\n", pages.back());
  std::printf("history_filter_100k: %.1f ms\n", filter);
  std::printf("history_new_row_seen: %.0f ms\n", seen);
  return 0;
}
