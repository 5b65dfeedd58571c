#include "webpage/page_automation.h"

#include "webpage/legacy_html.h"

#include "base/handler_gate.h"

#include <QFile>
#include <QJsonDocument>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace quarvel {

// A page object held by id in the agent; released when the last copy goes.
class AutomationReference {
 public:
  AutomationReference(std::shared_ptr<PageSession> session, int id)
      : session(std::move(session)), id(id) {}
  ~AutomationReference() {
    if (id != 0) session->Release(id);
  }
  std::shared_ptr<PageSession> session;
  int id;
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

QString Json(const QVariantMap& request) {
  return QString::fromUtf8(QJsonDocument::fromVariant(request).toJson(QJsonDocument::Compact));
}

// Runs a script in the agent's isolated world and waits for its value, at
// most timeoutMs; user input waits meanwhile. nullopt when no answer came.
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
  if (!answered) return std::nullopt;
  return *value;
}

QVariantMap Answer(const char* kind, const QString& detail = {}) {
  QVariantMap map{{QStringLiteral("t"), QString::fromLatin1(kind)}};
  if (!detail.isEmpty()) map.insert(QStringLiteral("v"), detail);
  return map;
}

// Sends a request to the agent, installing it first where the page lacks it.
std::optional<QVariantMap> Call(QWebEnginePage* page, const QVariantMap& request, int timeoutMs) {
  const QString json = Json(request);
  auto value = RunSync(
      page,
      QStringLiteral("window.__quarvelAgent ? window.__quarvelAgent.run(%1) : null").arg(json),
      timeoutMs);
  if (!value) return std::nullopt;
  if (value->isNull() || !value->isValid()) {
    value =
        RunSync(page, AgentSource() + QStringLiteral("\n;window.__quarvelAgent.run(%1)").arg(json),
                timeoutMs);
    if (!value) return std::nullopt;
  }
  return value->toMap();
}

int NextScope() {
  static int scope = 0;
  return ++scope;
}

}  // namespace

PageSession::PageSession(QWebEnginePage* page, QString token, int scope)
    : page_(page), token_(std::move(token)), scope_(scope) {}

std::shared_ptr<PageSession> PageSession::Open(QWebEnginePage* page, int timeoutMs) {
  if (!page) return nullptr;
  const auto answer = Call(page, {{QStringLiteral("op"), QStringLiteral("hello")}}, timeoutMs);
  if (!answer || answer->value(QStringLiteral("t")) != QStringLiteral("hello")) return nullptr;
  return std::shared_ptr<PageSession>(
      new PageSession(page, answer->value(QStringLiteral("token")).toString(), NextScope()));
}

PageSession::~PageSession() {
  if (!page_) return;
  // Drops every reference of this session in the page; nothing waits for it.
  const QVariantMap request{{QStringLiteral("op"), QStringLiteral("drop")},
                            {QStringLiteral("token"), token_},
                            {QStringLiteral("scope"), scope_}};
  page_->runJavaScript(
      QStringLiteral("window.__quarvelAgent && window.__quarvelAgent.run(%1)").arg(Json(request)),
      QWebEngineScript::ApplicationWorld);
}

QVariantMap PageSession::Send(QVariantMap request, int timeoutMs) {
  if (!page_) return Answer("stale");
  request.insert(QStringLiteral("token"), token_);
  request.insert(QStringLiteral("scope"), scope_);
  if (!pendingReleases_.isEmpty()) {
    QVariantList ids;
    for (int id : pendingReleases_) ids << id;
    request.insert(QStringLiteral("release"), ids);
    pendingReleases_.clear();
  }
  const auto answer = Call(page_, request, timeoutMs);
  return answer ? *answer : Answer("err", QStringLiteral("no answer"));
}

void PageSession::Release(int id) { pendingReleases_ << id; }

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

QVariant Encode(const Variant& value) {
  switch (value.kind) {
    case Variant::Kind::Text:
      return QVariantMap{{QStringLiteral("t"), QStringLiteral("s")},
                         {QStringLiteral("v"), value.text}};
    case Variant::Kind::Number:
      return QVariantMap{{QStringLiteral("t"), QStringLiteral("n")},
                         {QStringLiteral("v"), value.number}};
    case Variant::Kind::Boolean:
      return QVariantMap{{QStringLiteral("t"), QStringLiteral("b")},
                         {QStringLiteral("v"), value.boolean}};
    case Variant::Kind::Null:
      return QVariantMap{{QStringLiteral("t"), QStringLiteral("null")}};
    case Variant::Kind::Object:
      if (value.object && !value.object->IsEmpty()) {
        QVariantMap ref = value.object->Ref();
        ref.insert(QStringLiteral("t"), QStringLiteral("ref"));
        return ref;
      }
      [[fallthrough]];
    default:
      return QVariantMap{{QStringLiteral("t"), QStringLiteral("undef")}};
  }
}

}  // namespace

AutomationObject AutomationObject::Document(std::shared_ptr<PageSession> session) {
  AutomationObject document;
  if (session) document.reference_ = std::make_shared<AutomationReference>(std::move(session), 0);
  return document;
}

QVariantMap AutomationObject::Ref() const {
  QVariantMap ref{{QStringLiteral("id"), reference_->id}};
  if (index_ >= 0) ref.insert(QStringLiteral("index"), index_);
  return ref;
}

QVariantMap AutomationObject::Send(QVariantMap request) const {
  if (!reference_) return Answer("err", QStringLiteral("empty reference"));
  request.insert(QStringLiteral("ref"), Ref());
  return reference_->session->Send(std::move(request));
}

Variant AutomationObject::Decode(const QVariantMap& answer) const {
  const QString t = answer.value(QStringLiteral("t")).toString();
  const QVariant value = answer.value(QStringLiteral("v"));
  if (t == QLatin1String("s")) return Variant::Text(value.toString());
  if (t == QLatin1String("n")) return Variant::Number(value.toDouble());
  if (t == QLatin1String("b")) return Variant::Boolean(value.toBool());
  Variant v;
  if (t == QLatin1String("ref")) {
    v.kind = Variant::Kind::Object;
    AutomationObject object;
    object.reference_ = std::make_shared<AutomationReference>(
        reference_->session, answer.value(QStringLiteral("id")).toInt());
    v.object = std::make_shared<AutomationObject>(std::move(object));
    return v;
  }
  v.kind = t == QLatin1String("null")      ? Variant::Kind::Null
           : t == QLatin1String("undef")   ? Variant::Kind::Undefined
           : t == QLatin1String("missing") ? Variant::Kind::Missing
           : t == QLatin1String("func")    ? Variant::Kind::Function
                                           : Variant::Kind::Error;
  return v;
}

Variant AutomationObject::Get(const QString& name) const {
  Variant value =
      Decode(Send({{QStringLiteral("op"), QStringLiteral("get")}, {QStringLiteral("name"), name}}));
  // The old engine's automation serialised elements in its own style.
  if (value.kind == Variant::Kind::Text &&
      name.compare(QLatin1String("outerHTML"), Qt::CaseInsensitive) == 0) {
    value.text = ToLegacyHtml(value.text);
  }
  return value;
}

bool AutomationObject::Put(const QString& name, const Variant& value) const {
  const QVariantMap answer = Send({{QStringLiteral("op"), QStringLiteral("put")},
                                   {QStringLiteral("name"), name},
                                   {QStringLiteral("value"), Encode(value)}});
  return answer.value(QStringLiteral("t")) == QLatin1String("b") &&
         answer.value(QStringLiteral("v")).toBool();
}

Variant AutomationObject::Call(const QString& name, const QList<Variant>& args) const {
  QVariantList encoded;
  for (const Variant& arg : args) encoded << Encode(arg);
  const QVariantMap answer = Send({{QStringLiteral("op"), QStringLiteral("call")},
                                   {QStringLiteral("name"), name},
                                   {QStringLiteral("args"), encoded}});
  return Decode(answer);
}

bool AutomationObject::FireEvent(const QString& eventName) const {
  const QVariantMap answer =
      Send({{QStringLiteral("op"), QStringLiteral("fire")}, {QStringLiteral("name"), eventName}});
  return answer.value(QStringLiteral("t")) == QLatin1String("b") &&
         answer.value(QStringLiteral("v")).toBool();
}

namespace {

constexpr int kFirstChunk = 16;
constexpr int kChunkGrowth = 16;

QVariantMap RowsRequest(const char* op, const SnapshotQuery& query, int start, int count) {
  QVariantMap request{{QStringLiteral("op"), QString::fromLatin1(op)},
                      {QStringLiteral("props"), query.properties},
                      {QStringLiteral("textLength"), query.textLength},
                      {QStringLiteral("start"), start},
                      {QStringLiteral("count"), count}};
  if (!query.kindFilter.isEmpty()) request.insert(QStringLiteral("kinds"), query.kindFilter);
  return request;
}

void AppendRows(QList<QStringList>& rows, const QVariantList& answered) {
  for (const QVariant& row : answered) {
    QStringList cells;
    for (const QVariant& cell : row.toList()) {
      // Null: no text, or text of another length. Empty text stays non-null.
      if (cell.isNull())
        cells << QString();
      else
        cells << (cell.toString().isNull() ? QStringLiteral("") : cell.toString());
    }
    rows << cells;
  }
}

}  // namespace

const QStringList* Snapshot::Row(int i) {
  while (i >= loaded() && more_) {
    QVariantMap request = RowsRequest("rows", query_, loaded(), nextChunk_);
    request.insert(QStringLiteral("ref"), QVariantMap{{QStringLiteral("id"), items_->id}});
    const QVariantMap answer = items_->session->Send(request);
    if (answer.value(QStringLiteral("t")) != QLatin1String("rows")) return nullptr;
    const QVariantList more = answer.value(QStringLiteral("rows")).toList();
    more_ = more.size() == nextChunk_;  // a short chunk is the last
    AppendRows(rows_, more);
    nextChunk_ *= kChunkGrowth;
  }
  return i < loaded() ? &rows_[i] : nullptr;
}

std::optional<Snapshot> AutomationObject::ReadRows(QVariantMap request,
                                                   const SnapshotQuery& query) const {
  const QVariantMap answer = Send(std::move(request));
  if (answer.value(QStringLiteral("t")) != QLatin1String("snap")) return std::nullopt;
  Snapshot snapshot;
  snapshot.items_ = std::make_shared<AutomationReference>(
      reference_->session, answer.value(QStringLiteral("id")).toInt());
  snapshot.query_ = query;
  const QVariantList rows = answer.value(QStringLiteral("rows")).toList();
  snapshot.more_ = rows.size() == kFirstChunk;
  snapshot.nextChunk_ = kFirstChunk * kChunkGrowth;
  AppendRows(snapshot.rows_, rows);
  return snapshot;
}

std::optional<Snapshot> AutomationObject::ReadAll(const SnapshotQuery& query) const {
  return ReadRows(RowsRequest("snapshot", query, 0, kFirstChunk), query);
}

std::optional<Snapshot> AutomationObject::ReadTag(const QString& tag,
                                                  const SnapshotQuery& query) const {
  QVariantMap request = RowsRequest("snapshotTag", query, 0, kFirstChunk);
  request.insert(QStringLiteral("tag"), tag);
  return ReadRows(std::move(request), query);
}

bool AutomationObject::PutThenFire(const QString& name, const Variant& value,
                                   const QStringList& events) const {
  if (!reference_) return false;
  QVariantList ops{QVariantMap{{QStringLiteral("op"), QStringLiteral("put")},
                               {QStringLiteral("ref"), Ref()},
                               {QStringLiteral("name"), name},
                               {QStringLiteral("value"), Encode(value)}}};
  for (const QString& event : events) {
    ops << QVariantMap{{QStringLiteral("op"), QStringLiteral("fire")},
                       {QStringLiteral("ref"), Ref()},
                       {QStringLiteral("name"), event}};
  }
  const QVariantMap answer = reference_->session->Send(
      {{QStringLiteral("op"), QStringLiteral("batch")}, {QStringLiteral("ops"), ops}});
  const QVariantMap written = answer.value(QStringLiteral("answers")).toList().value(0).toMap();
  return written.value(QStringLiteral("t")) == QLatin1String("b") &&
         written.value(QStringLiteral("v")).toBool();
}

AutomationObject AutomationObject::Item(const Snapshot& snapshot, int index) {
  AutomationObject item;
  item.reference_ = snapshot.items_;
  item.index_ = index;
  return item;
}

bool AutomationObject::SameAs(const AutomationObject& other) const {
  return reference_ == other.reference_ && index_ == other.index_;
}

}  // namespace quarvel
