#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>

#include "base/config.h"
#include "base/lookup_outcome.h"
#include "base/lookup_ports.h"

class QTimer;

namespace quarvel {

// Periods of the lookup paths. Tests may shorten them.
struct LookupTimings {
  int lookupPollMs = 1000;        // 时钟1
  int formPollMs = 10000;         // 时钟3
  int resultPollMs = 1000;        // 时钟2
  int pauseMs = 3000;             // after navigating the lookup browser
  int lookupTimeoutMs = 60000;    // comprehensive path without a result
  int warrantyTimeoutMs = 90000;  // official-site path without a result
  int fetchTimeoutMs = 10000;     // a picture fetch, redirects included
};

// How a lookup ended, for the history and for batches.
struct LookupEnd {
  LookupPath path = LookupPath::Comprehensive;
  OutcomeKind kind = OutcomeKind::Found;
  QString entry;        // the entry as the path used it
  QString model;        // official path: without the label prefix
  QString serial;       // official path: the entry shown as the serial
  QString warrantyEnd;  // official path: without the label prefix
  QString picture;      // comprehensive path: the stored picture file
  QString reason;       // why it ended without a result, when its kind does not say
  qint64 milliseconds = 0;

  // The outcome as a batch reports it.
  LookupOutcome outcome() const { return {kind, model, serial, warrantyEnd, picture, reason, {}}; }
};

// Synchronous GET within timeoutMs: the body, or empty bytes on any failure.
using Fetch = std::function<QByteArray(const QString& url, int timeoutMs)>;

// The two lookup paths: the query command, the three timers that carry a
// query to its result (时钟1, 时钟2, 时钟3, which keep those object names)
// and the deadlines that end a path without one. Works through the view and
// the two browsers; reads the entry when each handler acts.
class LookupEngine : public QObject {
  Q_OBJECT
 public:
  LookupEngine(Config config, LookupTimings timings, LookupView& view, BrowserPort& lookupBrowser,
               BrowserPort& warrantyBrowser, Fetch fetch, QObject* parent = nullptr);

  // The query command: checks the entry, announces the query and starts the
  // path chosen by the radio buttons. It never waits for a result.
  void RunQuery();
  // Key-down of the entry box: Enter runs the query.
  void OnSerialKeyDown(int keyCode);
  // Hidden test button: fetches the sample picture, shows it and stores it.
  void OnImageTestClick();

  // Tick of 时钟1: polls the lookup-site page and ends a comprehensive query.
  void OnLookupResultTick();
  // Tick of 时钟3: waits for the warranty form, fills in the serial, submits it.
  void OnWarrantyFormTick();
  // Tick of 时钟2: reads the warranty result page and ends an official query.
  void OnWarrantyResultTick();
  // A path that found no result in its time: its timers stop, the user is told.
  void OnLookupTimedOut();
  void OnWarrantyTimedOut();
  // A browser's page was replaced (it stopped answering or its render
  // process ended): a lookup running on it ends at once, timed out, with the
  // reason.
  void OnLookupPageLost(const QString& reason);
  void OnWarrantyPageLost(const QString& reason);

  // Stops every timer and deadline of both paths: nothing more happens
  // until the next query.
  void StopAll();

  const Config& config() const { return config_; }
  const LookupTimings& timings() const { return timings_; }

 signals:
  void Ended(const quarvel::LookupEnd& end);

 private:
  void RunComprehensiveQuery();
  void RunOfficialQuery();
  void StopLookup();
  void StopWarranty();
  void EndLookupWithoutResult(const QString& reason);
  void EndWarrantyWithoutResult(const QString& reason);
  enum class Stored { Yes, NoPicture, NotWritten };
  Stored StoreHandsetPicture(const QString& serial, QByteArray* shown, QString* stored);
  void End(LookupEnd end, const QElapsedTimer& since);

  const Config config_;
  const LookupTimings timings_;
  LookupView& view_;
  BrowserPort& lookupBrowser_;    // WebBrowser1
  BrowserPort& warrantyBrowser_;  // WebBrowser2
  const Fetch fetch_;
  QTimer* lookupResultTimer_;    // 时钟1
  QTimer* warrantyResultTimer_;  // 时钟2
  QTimer* warrantyFormTimer_;    // 时钟3
  QTimer* lookupDeadline_;
  QTimer* warrantyDeadline_;
  QElapsedTimer lookupSince_, warrantySince_;
};

}  // namespace quarvel
