#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

#include <QWebEnginePage>

#include "webpage/agent_protocol.h"

namespace quarvel {

// One page's end of the late-bound automation: requests go to a small agent
// script in the page (an isolated script world) and come back as one string
// each (agent_protocol.h). A session belongs to one document: once the page
// navigates away every request answers "stale".
class PageSession {
 public:
  enum class OpenResult { Opened, NoPage, NoAnswer };

  // Greets the page's agent (installing it when needed). nullptr when there
  // is no page or it does not answer within timeoutMs; *result says which.
  static std::shared_ptr<PageSession> Open(QWebEnginePage* page, int timeoutMs,
                                           OpenResult* result = nullptr);
  ~PageSession();
  PageSession(const PageSession&) = delete;
  PageSession& operator=(const PageSession&) = delete;

  // Sends one request and waits for its answer, at most timeoutMs; NoAnswer
  // when none came in time or the page went away.
  AgentReply Send(AgentRequest request, int timeoutMs = kRequestTimeoutMs);

  // Queues a reference for release with the next request (or at the end).
  void Release(qint64 id);

  QWebEnginePage* page() const { return page_; }
  // The agent's name for its document: another document, another token.
  const QString& token() const { return token_; }

  static constexpr int kRequestTimeoutMs = 5000;
  // The longest text that comes in one reply (the agent's PART).
  static constexpr qsizetype kPartUnits = 1 << 18;

 private:
  PageSession(QWebEnginePage* page, QString token, int scope);
  AgentReply ReadLongText(const AgentReply& header, const QDeadlineTimer& deadline);
  QPointer<QWebEnginePage> page_;
  QString token_;
  int scope_;
  QList<qint64> pendingReleases_;
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
    Unanswered,  // no answer in time, or the document went away
    Text,
    Number,
    Boolean,
    Object
  };
  Kind kind = Kind::Empty;
  QString text;
  double number = 0;
  bool boolean = false;
  bool loading = false;  // Text read while the document was still loading
  std::shared_ptr<AutomationObject> object;

  static Variant Text(const QString& value);
  static Variant Number(double value);
  static Variant Boolean(bool value);

  // Text as the old automation gave it; empty for anything that is no value.
  QString ToText() const;
  AutomationObject ToObject() const;
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
  // Follows a path of object properties and reads the last one, in one
  // request; the objects on the way are not kept.
  Variant GetPath(const QStringList& names) const;
  bool Put(const QString& name, const Variant& value) const;
  Variant Call(const QString& name, const QList<Variant>& args = {}) const;

  // FireEvent after reading the handler property of the same name; true when
  // the event was not cancelled.
  bool FireEvent(const QString& eventName) const;

  // A request about this object (its reference added as "ref").
  AgentReply Send(AgentRequest request) const;
  // The object the agent keeps under id, in this object's session.
  AutomationObject Adopt(qint64 id) const;

  bool SameAs(const AutomationObject& other) const { return reference_ == other.reference_; }

  QWebEnginePage* page() const;
  // The token of the document the object belongs to (empty for none).
  QString DocumentToken() const;
  // The agent's id of the object (0 for the document, -1 for none).
  qint64 AgentId() const;

 private:
  Variant Decode(AgentReply reply) const;
  std::shared_ptr<class AutomationReference> reference_;
};

}  // namespace quarvel
