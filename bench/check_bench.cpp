// The offline check: time per entry of `quarvel-cli check` (classification,
// Luhn, decoding and the tab line), over 100,000 entries of every kind.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/numbers/device_number.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList kinds = {"356789104523673",  "35-678910-452367-3", "35678910452367",
                             "3567891045236712", "C39XK0ABHG7F",       "dnpq2ll8jclm",
                             "H7QX9P2LMN",       "W8815ABCXYZ",        "C39XK0AB_G7F"};
  constexpr int kEntries = 100000;
  QStringList entries;
  entries.reserve(kEntries);
  for (int i = 0; i < kEntries; ++i) {
    // Vary the digits so that no two neighbouring entries are the same.
    QString entry = kinds[i % kinds.size()];
    entry[2] = QChar(u'0' + i % 10);
    entries.append(entry);
  }

  std::vector<double> perEntryUs;
  qsizetype sink = 0;
  for (int run = 0; run < 5; ++run) {
    QElapsedTimer clock;
    clock.start();
    for (const QString& entry : entries)
      sink += quarvel::FormatCheckLine(quarvel::CheckNumber(entry)).size();
    perEntryUs.push_back(clock.nsecsElapsed() / 1e3 / kEntries);
  }
  std::sort(perEntryUs.begin(), perEntryUs.end());
  std::printf("check_per_entry: %.2f us\n", perEntryUs[perEntryUs.size() / 2]);
  return sink > 0 ? 0 : 1;
}
