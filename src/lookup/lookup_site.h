#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include "lookup/lookup_engine.h"
#include "lookup/site_diagnostics.h"

class QTimer;

namespace quarvel {

// What every site of the engine shares: the hosts, the periods, where the
// entry comes from, what shows the lookups (a window; for a batch, nothing
// that anyone sees) and the picture fetch.
struct SiteContext {
  Config config;
  LookupTimings timings;
  EntrySource* entries = nullptr;
  LookupView* view = nullptr;
  Fetch fetch;
};

// One lookup site: its browser, its timers and deadline, the rule by which it
// reads the entry, and its page decisions. A query on it starts with Start and
// ends with exactly one Ended (or with Stop, which ends nothing).
class LookupSite : public QObject {
  Q_OBJECT
 public:
  // How the site reads the entry box, each time a handler acts.
  enum class EntryRule {
    TrailingSpacesRemoved,  // leading spaces stay
    AsTyped,
  };

  LookupSite(LookupPath path, EntryRule rule, const SiteContext& context, BrowserPort& browser,
             QObject* parent);

  LookupPath path() const { return path_; }

  // The entry as this site uses it, read now.
  QString Entry() const;

  // The query command on this site: announces it and starts the site's
  // timers. `query` says where a picture goes.
  virtual void Start(const LookupQuery& query) = 0;
  // Stops every timer and deadline of the site: nothing more happens.
  virtual void Stop() = 0;
  // A query is under way.
  virtual bool Running() const = 0;

  // The deadline's tick: a query without result in its time ends, its
  // reason naming what the last page lacked.
  void OnTimedOut();
  // The browser's page was replaced: a query under way ends at once.
  void OnPageLost(const QString& reason);
  // At a batch's pace: the browser's page finished loading, so the tick of
  // the query's current step runs now rather than at its next period.
  virtual void OnPageLoaded() {}

 signals:
  void Ended(const quarvel::LookupEnd& end);

 protected:
  // Every ending goes out here: the path and the time since Start are added.
  void End(LookupEnd end);
  // A query starts: its clock runs from now, no page has been seen yet, and
  // the entry it started with is what its ending names when the entry box is
  // emptied meanwhile. Returns the query's number (see Current).
  int StartClock();
  // Where a tick began: which query, and whether it was under way. A tick
  // that let other handlers run (the page attachment) acts only while the
  // same query is still the one under way.
  struct Turn {
    int query;
    bool running;
  };
  Turn BeginTurn() const { return {query_, Running()}; }
  bool StillCurrent(const Turn& turn) const {
    return turn.query == query_ && (!turn.running || Running());
  }
  // A read of the page that decided nothing: failure names the decision that
  // failed on it (a reason of site_diagnostics.h). An unreadable read, or an
  // empty page, is kNoPageAtAll whatever failure says.
  void SawUndecidedPage(const PageRead& read, PageFormat format, const char* failure);
  // At the deadline: why the query got no result, from the last page seen.
  // It is logged, and the page is kept in the diagnostics folder.
  QString DeadlineReason();
  // No page has been seen since the query got this far.
  void ForgetLastPage();
  // Ends a query under way without result: the timers stop, the user is
  // told it timed out, and the ending carries reason.
  void EndWithoutResult(const QString& reason);
  // When the page's load failed: a site that cannot be reached ends the
  // query under way at once, naming the problem; at a batch's pace, a site
  // that asked to wait (HTTP 429 or 503) or a page without an answer ends it
  // as one worth another try. True when it ended.
  bool EndedOnLoadFailure();
  // Ends the query (running or not) without result, as worth another try
  // after retryAfterMs (0: when the batch sees fit).
  void EndForRetry(const QString& reason, int retryAfterMs);
  bool AtBatchPace() const { return context_.timings.pace == LookupTimings::Pace::Batch; }
  // A single-shot deadline timer of the site, named objectName, whose tick
  // is OnTimedOut.
  QTimer* MakeDeadline(const char* objectName);

  const SiteContext& context_;
  LookupView& view_;
  BrowserPort& browser_;
  EntrySource& entries_;

 private:
  // Stops the site and ends the query timed_out (retryAfterMs as LookupEnd
  // has it), telling the user notice.
  void EndTimedOut(const QString& reason, int retryAfterMs, Notice notice = Notice::TimedOut);

  const LookupPath path_;
  const EntryRule rule_;
  QElapsedTimer since_;
  int query_ = 0;
  QString startEntry_;
  // The last undecided page: its failure, and what was read (cut to
  // kKeptPageBytes / 2 characters, at most kKeptPageBytes in memory).
  const char* lastFailure_ = kNoPageAtAll;
  QString lastPage_;
  PageFormat lastFormat_ = PageFormat::Text;
};

}  // namespace quarvel
