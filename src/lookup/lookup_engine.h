#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "base/config/config.h"
#include "base/net/http_fetch.h"
#include "lookup/lookup_outcome.h"
#include "lookup/lookup_ports.h"

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
  // The window's pace, or a batch's: see Batch().
  enum class Pace { Window, Batch };
  Pace pace = Pace::Window;

  // A batch's profile: the same decisions, taken as soon as the page is
  // there. No pause; each step looks when the page has loaded, and polls; a read after the site
  // navigates waits for the new document to be parsed (never the page it left); a site that asks to
  // wait (HTTP 429, 503) or a page or picture that did not come for a passing reason ends the
  // lookup at once, marked as worth another try. The deadlines stay.
  static LookupTimings Batch() {
    LookupTimings timings;
    timings.lookupPollMs = timings.formPollMs = timings.resultPollMs = kBatchPollMs;
    timings.pauseMs = 0;
    timings.pace = Pace::Batch;
    return timings;
  }
  // Each step also looks at once when the page finishes loading: the poll
  // is for pages that change without a load.
  static constexpr int kBatchPollMs = 30;
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
  int retryAfterMs = -1;  // see LookupOutcome

  // The outcome as a batch reports it.
  LookupOutcome outcome() const {
    return {kind, model, serial, warrantyEnd, picture, reason, {}, retryAfterMs};
  }
};

// Synchronous GET within timeoutMs: the body, or why none came.
using Fetch = std::function<HttpReply(const QString& url, int timeoutMs)>;

// What a query carries beyond the entry, which each handler reads when it
// acts: where a found picture is stored. Empty: the data folder's 验证码.jpg,
// as the window has it, unless keepNoPicture says that no file is written at
// all (a batch whose pictures cannot be kept: the window's file is its own).
struct LookupQuery {
  QString pictureFile;
  bool keepNoPicture = false;
};

class LookupSite;
struct SiteContext;

// The lookup engine: the query command over a list of sites, one per radio
// button (the comprehensive lookup site, the official warranty page). Each
// site carries its own query to its end; every ending comes out of Ended.
class LookupEngine : public QObject {
  Q_OBJECT
 public:
  // The two sites of the program, on these browsers. The entry comes from
  // entries; view shows the lookups (none: nothing is shown).
  LookupEngine(Config config, LookupTimings timings, EntrySource& entries, LookupView* view,
               BrowserPort& lookupBrowser, BrowserPort& warrantyBrowser, Fetch fetch,
               QObject* parent = nullptr);
  ~LookupEngine() override;

  // The query command: checks the entry, announces the query and starts the
  // site chosen by the radio buttons. It never waits for a result. An empty
  // entry is only told to the user, and ends (bad_input) at once.
  void RunQuery(const LookupQuery& query = {});
  // Key-down of the entry box: Enter runs the query.
  void OnSerialKeyDown(int keyCode);
  // Hidden test button: fetches the sample picture, shows it and stores it.
  void OnImageTestClick();

  // Stops every timer and deadline of every site: nothing more happens
  // until the next query.
  void StopAll();

  // The site of path, or nullptr.
  LookupSite* Site(LookupPath path) const;
  // Adds a site (the engine owns it); the view's choice picks it by path.
  // A site is made on the engine's context.
  void AddSite(LookupSite* site);
  const SiteContext& context() const { return *context_; }

  const Config& config() const;
  const LookupTimings& timings() const;

 signals:
  void Ended(const quarvel::LookupEnd& end);

 private:
  std::unique_ptr<LookupView> noView_;  // when nothing shows the lookups
  std::unique_ptr<SiteContext> context_;
  std::vector<LookupSite*> sites_;
};

}  // namespace quarvel
