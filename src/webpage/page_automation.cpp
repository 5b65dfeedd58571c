#include "webpage/page_automation.h"

#include "webpage/legacy_html.h"
#include "webpage/page_keeper.h"

#include "base/gate/handler_gate.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace quarvel {

// A page object held by id in the agent; released when the last copy goes.
class AutomationReference {
 public:
  AutomationReference(std::shared_ptr<PageSession> session, qint64 id)
      : session(std::move(session)), id(id) {}
  ~AutomationReference() {
    if (id != 0) session->Release(id);
  }
  std::shared_ptr<PageSession> session;
  qint64 id;
};

namespace {

const QString& AgentSource() {
  static const QString source = [] {
    QFile file(QStringLiteral(":/webpage/page_agent.js"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
  }();
  return source;
}

// Every later document of the page gets the agent as it is created, so that
// a request seldom has to carry the agent's source.
void InstallAgentForNewDocuments(QWebEnginePage* page) {
  static const char kInstalled[] = "quarvelAgentScript";
  if (page->property(kInstalled).toBool()) return;
  page->setProperty(kInstalled, true);
  QWebEngineScript script;
  script.setName(QStringLiteral("quarvel-page-agent"));
  script.setSourceCode(AgentSource());
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::ApplicationWorld);
  script.setRunsOnSubFrames(false);
  page->scripts().insert(script);
}

// Runs a script in the agent's isolated world and waits for its value, at
// most timeoutMs; user input and the program's other handlers wait
// meanwhile. nullopt when no answer came.
std::optional<QVariant> RunSync(QWebEnginePage* page, const QString& script, int timeoutMs) {
  auto value = std::make_shared<QVariant>();
  Waiter waiter;
  page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                      [value, done = waiter.DoneCallback()](const QVariant& answer) {
                        *value = answer;
                        done();
                      });
  const QPointer<QWebEnginePage> guard(page);
  const auto stop =
      QObject::connect(page, &QObject::destroyed, [done = waiter.DoneCallback()] { done(); });
  const bool answered = waiter.Wait(timeoutMs) && guard;
  QObject::disconnect(stop);
  if (!answered) {
    if (guard) PageKeeper::NoteUnanswered(page);
    return std::nullopt;
  }
  return std::move(*value);
}

// Sends a request to the agent, installing it first where the document
// lacks it. The agent's reply string, or nullopt when none came in time.
std::optional<QString> Call(QWebEnginePage* page, const QString& request, int timeoutMs) {
  InstallAgentForNewDocuments(page);
  const QDeadlineTimer deadline(timeoutMs);
  auto value = RunSync(page,
                       QLatin1String("window.__quarvelAgent?window.__quarvelAgent.run(") + request +
                           QLatin1String("):null"),
                       timeoutMs);
  if (!value) return std::nullopt;
  if (value->typeId() != QMetaType::QString) {
    value = RunSync(page,
                    AgentSource() + QLatin1String("\n;window.__quarvelAgent.run(") + request +
                        QLatin1String(")"),
                    static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
    if (!value) return std::nullopt;
  }
  return value->typeId() == QMetaType::QString ? value->toString() : QString();
}

AgentReply NoAnswer() {
  AgentReply reply;
  reply.kind = AgentReply::Kind::NoAnswer;
  return reply;
}

int NextScope() {
  static int scope = 0;
  return ++scope;
}

}  // namespace

PageSession::PageSession(QWebEnginePage* page, QString token, int scope)
    : page_(page), token_(std::move(token)), scope_(scope) {}

std::shared_ptr<PageSession> PageSession::Open(QWebEnginePage* page, int timeoutMs,
                                               OpenResult* result) {
  OpenResult unused;
  if (!result) result = &unused;
  *result = OpenResult::NoPage;
  if (!page) return nullptr;
  const auto answer = Call(page, AgentRequest("hello").Json(), timeoutMs);
  if (!answer) {
    *result = OpenResult::NoAnswer;
    return nullptr;
  }
  AgentReply hello = DecodeAgentReply(*answer);
  if (hello.kind != AgentReply::Kind::Hello) return nullptr;
  *result = OpenResult::Opened;
  return std::shared_ptr<PageSession>(new PageSession(page, std::move(hello.text), NextScope()));
}

PageSession::~PageSession() {
  if (!page_) return;
  // Drops every reference of this session in the page; nothing waits for it.
  AgentRequest request("drop");
  request.Add("token", token_).Add("scope", scope_);
  page_->runJavaScript(QLatin1String("window.__quarvelAgent&&window.__quarvelAgent.run(") +
                           request.Json() + QLatin1String(")"),
                       QWebEngineScript::ApplicationWorld);
}

AgentReply PageSession::Send(AgentRequest request, int timeoutMs) {
  if (!page_) return NoAnswer();
  request.Add("token", token_).Add("scope", scope_);
  if (!pendingReleases_.isEmpty()) {
    QString ids = QStringLiteral("[");
    for (qsizetype i = 0; i < pendingReleases_.size(); ++i) {
      if (i > 0) ids += QLatin1Char(',');
      ids += QString::number(pendingReleases_[i]);
    }
    ids += QLatin1Char(']');
    request.AddJson("release", ids);
    pendingReleases_.clear();
  }
  const QDeadlineTimer deadline(timeoutMs);
  std::optional<QString> answer = Call(page_, request.Json(), timeoutMs);
  if (!answer) return NoAnswer();
  AgentReply reply = DecodeAgentReply(std::move(*answer));
  if (reply.kind != AgentReply::Kind::LongText) return reply;
  return ReadLongText(reply, deadline);
}

// Asks for every part at once and waits for them all: the renderer takes the
// next part out while the last one travels. Parts are joined as they come
// (they come in order; one that comes early waits), so that the text is
// held once. A part may be one unit longer or shorter than asked (a
// surrogate pair is not split); any part missing, or a whole of the wrong
// length, and the text counts as not answered.
AgentReply PageSession::ReadLongText(const AgentReply& header, const QDeadlineTimer& deadline) {
  const qsizetype length = static_cast<qsizetype>(header.number);
  const size_t count = static_cast<size_t>((length + kPartUnits - 1) / kPartUnits);
  struct Parts {
    QString text;
    std::vector<std::optional<QString>> early;
    size_t joined = 0;
    bool failed = false;
  };
  auto parts = std::make_shared<Parts>();
  parts->text.reserve(length);
  parts->early.resize(count);
  Waiter waiter;
  QString call = QStringLiteral("window.__quarvelAgent?window.__quarvelAgent.part(");
  AppendJsonString(call, token_);
  call += QStringLiteral(",%1,%2,%3):null");
  for (size_t i = 0; i < count; ++i) {
    const qsizetype from = static_cast<qsizetype>(i) * kPartUnits;
    const qsizetype to = std::min(length, from + kPartUnits);
    page_->runJavaScript(
        call.arg(header.id).arg(from).arg(to), QWebEngineScript::ApplicationWorld,
        [parts, i, size = to - from, count, done = waiter.DoneCallback()](const QVariant& value) {
          if (parts->failed) return;
          QString text = value.typeId() == QMetaType::QString ? value.toString() : QString();
          if (value.typeId() != QMetaType::QString || text.size() < size - 1 ||
              text.size() > size + 1) {
            parts->failed = true;
            done();
            return;
          }
          if (i != parts->joined) {
            parts->early[i] = std::move(text);
            return;
          }
          parts->text.append(text);
          for (++parts->joined; parts->joined < count && parts->early[parts->joined];
               ++parts->joined) {
            parts->text.append(*parts->early[parts->joined]);
            parts->early[parts->joined].reset();
          }
          if (parts->joined == count) done();
        });
  }
  const QPointer<QWebEnginePage> guard(page_);
  const auto stop =
      QObject::connect(page_, &QObject::destroyed, [done = waiter.DoneCallback()] { done(); });
  const bool answered =
      waiter.Wait(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0))) && guard;
  QObject::disconnect(stop);
  if (!answered && guard && !parts->failed) PageKeeper::NoteUnanswered(page_);
  if (!answered || parts->failed || parts->joined != count || parts->text.size() != length)
    return NoAnswer();
  AgentReply out;
  out.kind = AgentReply::Kind::Text;
  out.loading = header.loading;
  out.text = std::move(parts->text);
  return out;
}

void PageSession::Release(qint64 id) { pendingReleases_ << id; }

Variant Variant::Text(const QString& value) {
  Variant v;
  v.kind = Kind::Text;
  v.text = value;
  return v;
}

Variant Variant::Number(double value) {
  Variant v;
  v.kind = Kind::Number;
  v.number = value;
  return v;
}

Variant Variant::Boolean(bool value) {
  Variant v;
  v.kind = Kind::Boolean;
  v.boolean = value;
  return v;
}

QString Variant::ToText() const {
  switch (kind) {
    case Kind::Text:
      return text;
    case Kind::Number:
      return QString::number(number, 'g', 15);
    case Kind::Boolean:
      return boolean ? QStringLiteral("True") : QStringLiteral("False");
    default:
      return {};
  }
}

AutomationObject Variant::ToObject() const { return object ? *object : AutomationObject(); }

namespace {

// A value as the agent's requests carry it.
QString EncodeValue(const Variant& value) {
  QString json;
  switch (value.kind) {
    case Variant::Kind::Text:
      json = QStringLiteral("{\"t\":\"s\",\"v\":");
      AppendJsonString(json, value.text);
      return json + QLatin1Char('}');
    case Variant::Kind::Number:
      return QStringLiteral("{\"t\":\"n\",\"v\":%1}")
          .arg(std::isfinite(value.number) ? QString::number(value.number, 'g', 17)
                                           : QStringLiteral("0"));
    case Variant::Kind::Boolean:
      return value.boolean ? QStringLiteral("{\"t\":\"b\",\"v\":true}")
                           : QStringLiteral("{\"t\":\"b\",\"v\":false}");
    case Variant::Kind::Null:
      return QStringLiteral("{\"t\":\"null\"}");
    case Variant::Kind::Object:
      if (value.object && !value.object->IsEmpty())
        return QStringLiteral("{\"t\":\"ref\",\"id\":%1}").arg(value.object->AgentId());
      [[fallthrough]];
    default:
      return QStringLiteral("{\"t\":\"undef\"}");
  }
}

}  // namespace

AutomationObject AutomationObject::Document(std::shared_ptr<PageSession> session) {
  AutomationObject document;
  if (session) document.reference_ = std::make_shared<AutomationReference>(std::move(session), 0);
  return document;
}

qint64 AutomationObject::AgentId() const { return reference_ ? reference_->id : -1; }

QWebEnginePage* AutomationObject::page() const {
  return reference_ ? reference_->session->page() : nullptr;
}

QString AutomationObject::DocumentToken() const {
  return reference_ ? reference_->session->token() : QString();
}

AgentReply AutomationObject::Send(AgentRequest request) const {
  if (!reference_) {
    AgentReply reply;
    reply.kind = AgentReply::Kind::Error;
    return reply;
  }
  request.Add("ref", reference_->id);
  return reference_->session->Send(std::move(request));
}

AutomationObject AutomationObject::Adopt(qint64 id) const {
  AutomationObject object;
  if (reference_ && id > 0)
    object.reference_ = std::make_shared<AutomationReference>(reference_->session, id);
  return object;
}

Variant AutomationObject::Decode(AgentReply reply) const {
  Variant v;
  using Kind = AgentReply::Kind;
  switch (reply.kind) {
    case Kind::Text:
      v = Variant::Text(std::move(reply.text));
      v.loading = reply.loading;
      return v;
    case Kind::Number:
      return Variant::Number(reply.number);
    case Kind::Boolean:
      return Variant::Boolean(reply.boolean);
    case Kind::Reference:
      v.kind = Variant::Kind::Object;
      v.object = std::make_shared<AutomationObject>(Adopt(reply.id));
      return v;
    case Kind::Null:
      v.kind = Variant::Kind::Null;
      return v;
    case Kind::Undefined:
      v.kind = Variant::Kind::Undefined;
      return v;
    case Kind::Missing:
      v.kind = Variant::Kind::Missing;
      return v;
    case Kind::Function:
      v.kind = Variant::Kind::Function;
      return v;
    case Kind::Stale:
    case Kind::NoAnswer:
      v.kind = Variant::Kind::Unanswered;
      return v;
    default:
      v.kind = Variant::Kind::Error;
      return v;
  }
}

Variant AutomationObject::Get(const QString& name) const { return GetPath({name}); }

Variant AutomationObject::GetPath(const QStringList& names) const {
  if (names.isEmpty()) return {};
  Variant value = Decode(Send(std::move(AgentRequest("get").Add("path", names))));
  // The old engine's automation serialised elements in its own style.
  if (value.kind == Variant::Kind::Text &&
      names.back().compare(QLatin1String("outerHTML"), Qt::CaseInsensitive) == 0) {
    value.text = ToLegacyHtml(value.text);
  }
  return value;
}

bool AutomationObject::Put(const QString& name, const Variant& value) const {
  const AgentReply reply =
      Send(std::move(AgentRequest("put").Add("name", name).AddJson("value", EncodeValue(value))));
  return reply.kind == AgentReply::Kind::Boolean && reply.boolean;
}

Variant AutomationObject::Call(const QString& name, const QList<Variant>& args) const {
  QString encoded = QStringLiteral("[");
  for (qsizetype i = 0; i < args.size(); ++i) {
    if (i > 0) encoded += QLatin1Char(',');
    encoded += EncodeValue(args[i]);
  }
  encoded += QLatin1Char(']');
  return Decode(Send(std::move(AgentRequest("call").Add("name", name).AddJson("args", encoded))));
}

bool AutomationObject::FireEvent(const QString& eventName) const {
  const AgentReply reply = Send(std::move(AgentRequest("fire").Add("name", eventName)));
  return reply.kind == AgentReply::Kind::Boolean && reply.boolean;
}

}  // namespace quarvel
