#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <optional>

#include <QWebEnginePage>

namespace quarvel {

// One page's end of the late-bound automation: requests go to a small agent
// script in the page (an isolated script world) and come back as explicitly
// typed answers. A session belongs to one document: once the page navigates
// away every request answers "stale".
class PageSession {
 public:
  // Greets the page's agent (installing it when needed). nullptr when the page
  // does not answer within timeoutMs.
  static std::shared_ptr<PageSession> Open(QWebEnginePage* page, int timeoutMs);
  ~PageSession();
  PageSession(const PageSession&) = delete;
  PageSession& operator=(const PageSession&) = delete;

  // Sends one request and waits for its answer (at most timeoutMs). Failures
  // come back as {t: "stale"} or {t: "err"}.
  QVariantMap Send(QVariantMap request, int timeoutMs = 5000);

  // Queues a reference for release with the next request (or at the end).
  void Release(int id);

  QWebEnginePage* page() const { return page_; }

 private:
  PageSession(QWebEnginePage* page, QString token, int scope);
  QPointer<QWebEnginePage> page_;
  QString token_;
  int scope_;
  QList<int> pendingReleases_;
};

class AutomationObject;

// A value read from the page or written to it.
struct Variant {
  enum class Kind {
    Empty,
    Null,
    Undefined,
    Missing,
    Function,
    Error,
    Text,
    Number,
    Boolean,
    Object
  };
  Kind kind = Kind::Empty;
  QString text;
  double number = 0;
  bool boolean = false;
  std::shared_ptr<AutomationObject> object;

  static Variant Text(const QString& value);
  static Variant Number(double value);
  static Variant Boolean(bool value);

  // Text as the old automation gave it; empty for anything that is no value.
  QString ToText() const;
  AutomationObject ToObject() const;
};

// Rows of properties of the items of a list, read in bulk and in growing
// chunks, so that a search that stops early reads little of a large page.
struct SnapshotQuery {
  QStringList properties;
  int textLength = -1;     // "innerText" cells of another length come back null
  QStringList kindFilter;  // non-empty: rows whose first cell, lower-cased, is
                           // none of these come back empty
};

class Snapshot {
 public:
  int loaded() const { return static_cast<int>(rows_.size()); }
  // Row i, loading further chunks as needed; nullptr past the last item. An
  // empty list for a filtered row; a null cell for no text or text of
  // another length.
  const QStringList* Row(int i);

 private:
  friend class AutomationObject;
  std::shared_ptr<class AutomationReference> items_;
  SnapshotQuery query_;
  QList<QStringList> rows_;
  bool more_ = false;  // items may follow the loaded rows
  int nextChunk_ = 0;
};

// A reference to a page object (the document, an element, a collection, a
// style) through which properties are read and written and methods called by
// name. Names are matched as the old engine did, letter case ignored.
class AutomationObject {
 public:
  AutomationObject() = default;

  static AutomationObject Document(std::shared_ptr<PageSession> session);

  bool IsEmpty() const { return !reference_; }
  Variant Get(const QString& name) const;
  bool Put(const QString& name, const Variant& value) const;
  Variant Call(const QString& name, const QList<Variant>& args = {}) const;

  // FireEvent after reading the handler property of the same name; true when
  // the event was not cancelled.
  bool FireEvent(const QString& eventName) const;

  // Bulk reads: of the items of this list, or of this document's elements of
  // one tag (getElementsByTagName).
  std::optional<Snapshot> ReadAll(const SnapshotQuery& query) const;
  std::optional<Snapshot> ReadTag(const QString& tag, const SnapshotQuery& query) const;

  // Item `index` of a snapshot's items.
  static AutomationObject Item(const Snapshot& snapshot, int index);

  // Writes a property, then fires each event (FireEvent after reading its
  // handler property), in one request. Returns the success of the write.
  bool PutThenFire(const QString& name, const Variant& value, const QStringList& events) const;

  bool SameAs(const AutomationObject& other) const;

  // How the agent names this object in a request.
  QVariantMap Ref() const;

 private:
  QVariantMap Send(QVariantMap request) const;
  Variant Decode(const QVariantMap& answer) const;
  std::optional<Snapshot> ReadRows(QVariantMap request, const SnapshotQuery& query) const;
  std::shared_ptr<class AutomationReference> reference_;
  int index_ = -1;
};

}  // namespace quarvel
