#include "batch/batch_worker.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <initializer_list>
#include <utility>

namespace quarvel {
namespace {

std::optional<QJsonObject> ObjectOf(QByteArrayView line) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
  return document.object();
}

// Every member named is there and is text; each is read into its string.
bool Texts(const std::optional<QJsonObject>& object,
           std::initializer_list<std::pair<const char*, QString*>> members) {
  if (!object) return false;
  for (const auto& [key, into] : members) {
    const QJsonValue value = object->value(QLatin1String(key));
    if (!value.isString()) return false;
    *into = value.toString();
  }
  return true;
}

QByteArray Line(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<OutcomeKind> KindFromName(const QString& name) {
  for (const OutcomeKind kind :
       {OutcomeKind::Found, OutcomeKind::NotFound, OutcomeKind::Rejected, OutcomeKind::BadInput,
        OutcomeKind::PictureFailed, OutcomeKind::TimedOut})
    if (OutcomeName(kind) == name) return kind;
  return std::nullopt;
}

}  // namespace

QByteArray EncodeWorkerRequest(const LookupRequest& request) {
  return Line({{"entry", request.entry},
               {"path", PathName(request.path)},
               {"picture", request.pictureFile}});
}

std::optional<LookupRequest> DecodeWorkerRequest(QByteArrayView line) {
  LookupRequest request;
  QString path;
  if (!Texts(ObjectOf(line),
             {{"entry", &request.entry}, {"path", &path}, {"picture", &request.pictureFile}}))
    return std::nullopt;
  const std::optional<LookupPath> chosen = PathFromName(path);
  if (!chosen) return std::nullopt;
  request.path = *chosen;
  return request;
}

QByteArray EncodeWorkerOutcome(const LookupOutcome& outcome) {
  return Line({{"outcome", OutcomeName(outcome.kind)},
               {"model", outcome.model},
               {"serial", outcome.serial},
               {"warranty_end", outcome.warrantyEnd},
               {"picture", outcome.picture},
               {"reason", outcome.reason}});
}

std::optional<LookupOutcome> DecodeWorkerOutcome(QByteArrayView line) {
  LookupOutcome outcome;
  QString kind;
  const std::optional<QJsonObject> object = ObjectOf(line);
  if (!Texts(object, {{"outcome", &kind},
                      {"model", &outcome.model},
                      {"serial", &outcome.serial},
                      {"warranty_end", &outcome.warrantyEnd},
                      {"picture", &outcome.picture}}))
    return std::nullopt;
  // The reason is there when a lookup gave one.
  const QJsonValue reason = object->value(QLatin1String("reason"));
  if (!reason.isUndefined() && !reason.isString()) return std::nullopt;
  outcome.reason = reason.toString();
  const std::optional<OutcomeKind> known = KindFromName(kind);
  if (!known) return std::nullopt;
  outcome.kind = *known;
  return outcome;
}

void LineBuffer::Append(QByteArrayView bytes) {
  if (broken_) return;
  pending_.append(bytes.data(), bytes.size());
  Scan();
}

std::optional<QByteArray> LineBuffer::Next() {
  if (broken_ || newline_ < 0) return std::nullopt;
  QByteArray line = pending_.left(newline_);
  pending_.remove(0, newline_ + 1);
  scanned_ = 0;
  Scan();
  return line;
}

// Finds the end of the first line, looking only at what has not been looked
// at, so that a line coming in small pieces costs no more than once over.
void LineBuffer::Scan() {
  newline_ = pending_.indexOf('\n', scanned_);
  scanned_ = newline_ < 0 ? pending_.size() : newline_;
  if (scanned_ > kMaxLine) broken_ = true;
}

}  // namespace quarvel
