#pragma once

// The wire format between the C++ side of the page automation and the agent
// script in the page. Qt Core only, so that it can be tested and fuzzed
// without a browser.
//
// A request is one JSON object, written into the script that calls the agent.
// A reply is one string:
//   "T" text   a text value, the document loaded (or interactive)
//   "L" text   a text value read while the document was still loading
//   "{" …      a JSON object {"t": kind, "v": value, "id": n, "token": text,
//              "loading": flag}
// Any other reply is malformed. A text longer than a part comes as
// {"t":"long","id":n,"v":length,"loading":flag}; its parts are then asked for
// one request each and answered as bare strings (PageSession).
#include <QString>
#include <QStringList>
#include <QStringView>

namespace quarvel {

class AgentRequest {
 public:
  explicit AgentRequest(const char* op);

  AgentRequest& Add(const char* key, QStringView text);
  AgentRequest& Add(const char* key, const QString& text) { return Add(key, QStringView(text)); }
  AgentRequest& Add(const char* key, const char* latin1);
  AgentRequest& Add(const char* key, const QStringList& texts);
  AgentRequest& Add(const char* key, double number);
  AgentRequest& Add(const char* key, int number) { return Add(key, static_cast<double>(number)); }
  AgentRequest& Add(const char* key, qint64 number) {
    return Add(key, static_cast<double>(number));
  }
  AgentRequest& Add(const char* key, bool flag);
  // A value already written as JSON.
  AgentRequest& AddJson(const char* key, QStringView json);

  // The object written so far, closed.
  QString Json() const;

 private:
  void Key(const char* key);
  QString json_;
};

// text as a JSON string literal (quotes included). Lone surrogates and the
// line separators are escaped, so the literal is also valid script source
// and carries every UTF-16 unit unchanged.
void AppendJsonString(QString& out, QStringView text);

struct AgentReply {
  enum class Kind {
    Malformed,  // not a reply at all
    Text,
    Number,
    Boolean,
    Null,
    Undefined,
    Missing,  // the object has no property or method of that name
    Function,
    Reference,  // an object the agent now keeps under `id`
    Hello,      // `text` holds the document's token
    Found,      // an element search acted: `boolean` is its result, `id` the
                // element handed back (0 for none)
    LongText,   // a text of `number` units the agent keeps under `id`, to be
                // fetched in parts; `loading` as for Text
    Stale,      // the request was meant for a document that is gone
    Error,      // the page side failed; `text` may say why
    NoAnswer,   // no reply came in time (not a reply of the agent's)
  };
  Kind kind = Kind::Malformed;
  QString text;
  double number = 0;
  bool boolean = false;
  qint64 id = 0;
  bool loading = false;  // Text or LongText read while the document was still loading
};

AgentReply DecodeAgentReply(QStringView reply);
// Takes over the text of a "T"/"L" reply without copying it twice.
AgentReply DecodeAgentReply(QString&& reply);

}  // namespace quarvel
