#pragma once

// What a batch drives: one lookup engine looks up one entry at a time and
// tells how it ended. The engine of the hidden browsers implements
// `EntryLookup`; tests use fakes.
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace quarvel {

enum class LookupPath { Comprehensive, Official };

// "comprehensive", "official".
QString PathName(LookupPath path);
std::optional<LookupPath> PathFromName(const QString& name);

enum class OutcomeKind { Found, NotFound, Rejected, BadInput, PictureFailed, TimedOut };

// "found", "not_found", "rejected", "bad_input", "picture_failed", "timed_out".
QString OutcomeName(OutcomeKind kind);

struct LookupOutcome;

// Whether an outcome answers the question (found, not_found, rejected,
// bad_input) or leaves it open for another try later: timed_out,
// picture_failed, and one that asked to be tried again when no try was left.
bool Decided(const LookupOutcome& outcome);
// The names of the outcomes that leave it open: "timed_out", "picture_failed".
QStringList UndecidedOutcomeNames();

struct LookupRequest {
  QString entry;  // as read from the input
  LookupPath path = LookupPath::Comprehensive;
  // Where this entry's picture is to be stored (in the data folder); empty
  // when pictures cannot be kept: a found entry then names none.
  QString pictureFile;
};

struct LookupOutcome {
  OutcomeKind kind = OutcomeKind::NotFound;
  QString model;  // values without their label prefixes
  QString serial;
  QString warrantyEnd;
  QString picture;  // the stored picture's path; empty when there is none
  // Why a lookup ended without a result when its kind does not say it alone
  // ("page stopped answering", "browser crashed", "the site answered HTTP 429").
  QString reason;
  // Set when the engine itself broke down and has no outcome to give: what
  // happened. The batch stops there, as it does for an output it cannot write.
  QString failure;
  // A lookup that ended for a passing reason (the site asked to wait, a page
  // or picture that did not come): it may be tried again after this many
  // milliseconds (0: after a back-off of the batch's own). -1: an outcome.
  int retryAfterMs = -1;
};

class EntryLookup {
 public:
  using Done = std::function<void(const LookupOutcome&)>;
  virtual ~EntryLookup() = default;

  // Starts looking up one entry. `done` is called exactly once, from the
  // event loop, after Start has returned (not when the lookup is cancelled).
  // Start is called again only after `done` or Cancel.
  virtual void Start(const LookupRequest& request, Done done) = 0;

  // Abandons the running lookup, if any: its `done` is not called, and the
  // engine can start the next entry.
  virtual void Cancel() = 0;
};

// Makes the engine for job `job` (0 to jobs - 1); nullptr when it cannot.
using EntryLookupFactory = std::function<std::unique_ptr<EntryLookup>(int job)>;

}  // namespace quarvel
