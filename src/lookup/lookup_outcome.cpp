#include "lookup/lookup_outcome.h"

namespace quarvel {

namespace {

// The sites' names, as the history, the batch CSV and --path write them.
struct PathRow {
  LookupPath path;
  const char* name;
};
constexpr PathRow kPaths[] = {
    {LookupPath::Comprehensive, "comprehensive"},
    {LookupPath::Official, "official"},
};

}  // namespace

QString PathName(LookupPath path) {
  for (const PathRow& row : kPaths)
    if (row.path == path) return QLatin1String(row.name);
  // A site without a row is not taken for another one.
  return QStringLiteral("site%1").arg(static_cast<int>(path));
}

std::optional<LookupPath> PathFromName(const QString& name) {
  for (const PathRow& row : kPaths)
    if (name == QLatin1String(row.name)) return row.path;
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

bool Decided(const LookupOutcome& outcome) {
  return outcome.retryAfterMs < 0 && outcome.kind != OutcomeKind::TimedOut &&
         outcome.kind != OutcomeKind::PictureFailed;
}

QStringList UndecidedOutcomeNames() {
  return {OutcomeName(OutcomeKind::TimedOut), OutcomeName(OutcomeKind::PictureFailed)};
}

}  // namespace quarvel
