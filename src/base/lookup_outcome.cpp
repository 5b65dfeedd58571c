#include "base/lookup_outcome.h"

namespace quarvel {

QString PathName(LookupPath path) {
  return path == LookupPath::Official ? QStringLiteral("official")
                                      : QStringLiteral("comprehensive");
}

std::optional<LookupPath> PathFromName(const QString& name) {
  if (name == QLatin1String("comprehensive")) return LookupPath::Comprehensive;
  if (name == QLatin1String("official")) return LookupPath::Official;
  return std::nullopt;
}

QString OutcomeName(OutcomeKind kind) {
  switch (kind) {
    case OutcomeKind::Found:
      return QStringLiteral("found");
    case OutcomeKind::NotFound:
      return QStringLiteral("not_found");
    case OutcomeKind::Rejected:
      return QStringLiteral("rejected");
    case OutcomeKind::BadInput:
      return QStringLiteral("bad_input");
    case OutcomeKind::PictureFailed:
      return QStringLiteral("picture_failed");
    case OutcomeKind::TimedOut:
      return QStringLiteral("timed_out");
  }
  return QStringLiteral("not_found");
}

}  // namespace quarvel
