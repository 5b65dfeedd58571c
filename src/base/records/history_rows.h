#pragma once

// How the lookups table is read, for the history and its table model.
#include <QByteArray>
#include <QString>

#include "base/records/history.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quarvel::history_rows {

// The columns a record is read from, finished_at to reason, as the table of
// `db` has them (a schema before version 3 has no reason: it reads empty).
QByteArray Columns(sqlite3* db);

// A row read with Columns() from column `first` on.
HistoryRecord Read(sqlite3_stmt* statement, int first);

// Opens the history at `path` read-only, without leaving files beside it.
int OpenReadOnly(const QString& path, sqlite3** db);

}  // namespace quarvel::history_rows
