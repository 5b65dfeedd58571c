#include "base/records/history_model.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include <sqlite3.h>

#include <algorithm>

#include "base/records/csv.h"
#include "base/records/history_rows.h"
#include "base/text/date_text.h"

namespace quarvel {
namespace {

// At most this many rows are held; beyond it the held rows are dropped and
// read again as they are drawn.
constexpr size_t kHeldRows = 16 * HistoryModel::kPageRows;

struct Statement {
  Statement(sqlite3* db, const QByteArray& sql) {
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &handle, nullptr) != SQLITE_OK) {
      sqlite3_finalize(handle);
      handle = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(handle); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  explicit operator bool() const { return handle != nullptr; }
  bool Step() { return sqlite3_step(handle) == SQLITE_ROW; }
  sqlite3_stmt* handle = nullptr;
};

struct Connection {
  explicit Connection(sqlite3* db) : db(db) {}
  ~Connection() { sqlite3_close_v2(db); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  sqlite3* db;
};

// The filter as SQL conditions on parameters ?1 (outcome) and ?2 (text,
// lower case), each joined with "AND" in front.
QByteArray Conditions(const HistoryViewFilter& filter) {
  QByteArray sql;
  if (!filter.outcome.isEmpty()) sql += " AND outcome = ?1";
  if (!filter.text.isEmpty())
    sql += " AND (instr(lower(entry), ?2) > 0 OR instr(lower(model), ?2) > 0)";
  return sql;
}

void BindFilter(sqlite3_stmt* statement, const HistoryViewFilter& filter) {
  const QByteArray outcome = filter.outcome.toUtf8();
  const QByteArray text = filter.text.toLower().toUtf8();
  if (!filter.outcome.isEmpty())
    sqlite3_bind_text(statement, 1, outcome.constData(), outcome.size(), SQLITE_TRANSIENT);
  if (!filter.text.isEmpty())
    sqlite3_bind_text(statement, 2, text.constData(), text.size(), SQLITE_TRANSIENT);
}

QString OneLine(QString text) {
  for (QChar& c : text)
    if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
      c = QLatin1Char(' ');
  return text;
}

QString Text(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return QString::fromUtf8(text ? text : "");
}

// The records of `ids`, by id, read with one statement.
std::vector<std::pair<qint64, HistoryRecord>> ReadIds(sqlite3* db, const qint64* ids, size_t n) {
  std::vector<std::pair<qint64, HistoryRecord>> rows;
  Statement read(db, "SELECT " + history_rows::Columns(db) + " FROM lookups WHERE id = ?");
  if (!read) return rows;
  rows.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    sqlite3_bind_int64(read.handle, 1, ids[i]);
    if (read.Step()) rows.emplace_back(ids[i], history_rows::Read(read.handle, 0));
    sqlite3_reset(read.handle);
  }
  return rows;
}

}  // namespace

const QStringList& HistoryCsvHeader() {
  static const QStringList header = {QStringLiteral("finished_at"),
                                     QStringLiteral("source"),
                                     QStringLiteral("entry"),
                                     QStringLiteral("check"),
                                     QStringLiteral("path"),
                                     QStringLiteral("outcome"),
                                     QStringLiteral("model"),
                                     QStringLiteral("serial"),
                                     QStringLiteral("warranty_end"),
                                     QStringLiteral("picture"),
                                     QStringLiteral("seconds"),
                                     QStringLiteral("reason"),
                                     QStringLiteral("warranty_end_date")};
  return header;
}

QStringList HistoryCsvFields(const HistoryRecord& record) {
  return RecordTexts(record) << QString::number(record.seconds, 'f', 2) << record.reason
                             << IsoDate(record.warrantyEnd);
}

HistoryModel::HistoryModel(QString folder, QObject* parent)
    : QAbstractTableModel(parent),
      path_(folder.isEmpty() ? QString()
                             : QDir(folder).filePath(QLatin1String(History::kFileName))) {
  connect(&watch_, &QTimer::timeout, this, [this] { Refresh(); });
  Refresh(true);
}

HistoryModel::~HistoryModel() = default;

int HistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ids_.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kCaptions[kColumns] = {"时间", "系列号",   "查询方式", "结果",
                                                  "型号", "保修截止", "图片",     "用时（秒）"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kColumns)
    return QAbstractTableModel::headerData(section, orientation, role);
  return QString::fromUtf8(kCaptions[section]);
}

QString HistoryModel::Shown(const HistoryRecord& record, int column) const {
  switch (column) {
    case Time:
      return record.finishedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Entry:
      return record.entry;
    case Path:
      return record.path;
    case Outcome:
      return record.outcome;
    case Model:
      return record.model;
    case WarrantyEnd:
      return record.warrantyEnd;
    case Picture:
      return record.picture;
    case Seconds:
      return QString::number(record.seconds, 'f', 2);
  }
  return {};
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const HistoryRecord* record = Held(index.row());
  if (!record) return {};
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      if (column == Picture) return QFileInfo(record->picture).fileName();
      return Shown(*record, column);
    case Qt::ToolTipRole:
      if (column == Picture) return record->picture;
      if (column == Outcome && !record->reason.isEmpty()) return record->reason;
      return {};
    case Qt::DecorationRole:
      if (column == Picture && !record->picture.isEmpty()) {
        const QImage thumbnail = Thumbnail(record->picture);
        if (!thumbnail.isNull()) return thumbnail;
      }
      return {};
    case Qt::TextAlignmentRole:
      if (column == Seconds) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    default:
      return {};
  }
}

QImage HistoryModel::Thumbnail(const QString& path) const {
  const QFileInfo info(path);
  const QString key = path + QLatin1Char('|') +
                      QString::number(info.lastModified().toMSecsSinceEpoch()) + QLatin1Char('|') +
                      QString::number(info.size());
  if (const QImage* held = thumbnails_.object(key)) return *held;
  QImage image;
  if (info.isFile()) {
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid() && size.height() > 0)
      reader.setScaledSize(
          size.scaled(kThumbnailHeight * 4, kThumbnailHeight, Qt::KeepAspectRatio));
    image = reader.read();
  }
  thumbnails_.insert(key, new QImage(image));
  return image;
}

const HistoryRecord* HistoryModel::Held(int row) const {
  const qint64 id = ids_[row];
  if (auto found = held_.find(id); found != held_.end()) return &found->second;
  sqlite3* db = Open();
  if (!db) return nullptr;
  const Connection connection(db);
  if (held_.size() >= kHeldRows) held_.clear();
  const size_t first = static_cast<size_t>(row / kPageRows) * kPageRows;
  const size_t n = std::min<size_t>(kPageRows, ids_.size() - first);
  for (auto& [rowId, record] : ReadIds(db, ids_.data() + first, n))
    held_.emplace(rowId, std::move(record));
  const auto found = held_.find(id);
  return found == held_.end() ? nullptr : &found->second;
}

HistoryRecord HistoryModel::Record(int row) const {
  if (row < 0 || row >= rowCount()) return {};
  const HistoryRecord* record = Held(row);
  return record ? *record : HistoryRecord{};
}

QString HistoryModel::RowsAsText(const QList<int>& rows) const {
  QStringList lines;
  for (const int row : rows) {
    const HistoryRecord record = Record(row);
    QStringList fields;
    for (int column = 0; column < kColumns; ++column) fields << OneLine(Shown(record, column));
    lines << fields.join(QLatin1Char('\t'));
  }
  return lines.join(QLatin1Char('\n'));
}

bool HistoryModel::WriteCsv(const std::function<bool(const QByteArray&)>& write) const {
  sqlite3* db = Open();
  if (!db && !ids_.empty()) return false;
  const Connection connection(db);
  if (!write(csv::FormatRecord(HistoryCsvHeader()))) return false;
  for (size_t first = 0; first < ids_.size(); first += kPageRows) {
    const size_t n = std::min<size_t>(kPageRows, ids_.size() - first);
    QByteArray out;
    for (const auto& [id, record] : ReadIds(db, ids_.data() + first, n))
      out += csv::FormatRecord(HistoryCsvFields(record), csv::Cells::Guarded);
    if (!write(out)) return false;
  }
  return true;
}

void HistoryModel::SetFilter(const HistoryViewFilter& filter) {
  if (filter == filter_) return;
  filter_ = filter;
  Reload();
}

void HistoryModel::Watch(int intervalMs) {
  if (intervalMs <= 0) return watch_.stop();
  watch_.start(intervalMs);
}

HistoryModel::Signature HistoryModel::Stat() const {
  Signature signature;
  if (path_.isEmpty()) return signature;
  const QFileInfo db(path_), wal(path_ + QStringLiteral("-wal"));
  if (db.exists()) {
    signature.dbSize = db.size();
    signature.dbTime = db.lastModified().toMSecsSinceEpoch();
  }
  if (wal.exists()) {
    signature.walSize = wal.size();
    signature.walTime = wal.lastModified().toMSecsSinceEpoch();
  }
  return signature;
}

sqlite3* HistoryModel::Open() const {
  problem_.clear();
  if (path_.isEmpty()) {
    state_ = HistoryState::Unusable;
    problem_ = QStringLiteral("there is no data folder to read the history from");
    return nullptr;
  }
  const QFileInfo info(path_);
  if (!info.exists() && !info.isSymLink()) {
    state_ = HistoryState::Missing;
    return nullptr;
  }
  if (info.isSymLink() || !info.isFile()) {
    state_ = HistoryState::Unusable;
    problem_ = QStringLiteral("the history %1 is not a regular file; it is not read").arg(path_);
    return nullptr;
  }
  sqlite3* db = nullptr;
  if (history_rows::OpenReadOnly(path_, &db) != SQLITE_OK) {
    state_ = HistoryState::Unusable;
    problem_ = QStringLiteral("the history %1 cannot be read (%2)")
                   .arg(path_, QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_close_v2(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, History::kBusyTimeoutMs);
  state_ = HistoryState::Open;
  return db;
}

void HistoryModel::Refresh(bool force) {
  const Signature now = Stat();
  if (!force && now == seen_) return;
  seen_ = now;
  sqlite3* db = Open();
  if (db) {
    const Connection connection(db);
    if (TakeInNewRows(db)) return;
  }
  Reload();
}

bool HistoryModel::TakeInNewRows(sqlite3* db) {
  if (ids_.empty() && total_ == 0) return false;  // nothing read yet: a whole read
  Statement totals(db, "SELECT COUNT(*), COALESCE(MAX(id), 0) FROM lookups");
  if (!totals || !totals.Step()) return false;
  const qint64 count = sqlite3_column_int64(totals.handle, 0);
  const qint64 maxId = sqlite3_column_int64(totals.handle, 1);
  if (count == total_ && maxId == maxId_) return true;  // the log moved, no row came
  Statement newer(db, "SELECT COUNT(*) FROM lookups WHERE id > ?");
  if (!newer) return false;
  sqlite3_bind_int64(newer.handle, 1, maxId_);
  // Rows that went away, or came in below the newest: read it all again.
  if (!newer.Step() || total_ + sqlite3_column_int64(newer.handle, 0) != count) return false;

  Statement rows(db, "SELECT id, finished_at FROM lookups WHERE id > ?3" + Conditions(filter_) +
                         " ORDER BY finished_at DESC, id DESC");
  if (!rows) return false;
  BindFilter(rows.handle, filter_);
  sqlite3_bind_int64(rows.handle, 3, maxId_);
  std::vector<qint64> fresh;
  QString top = topTime_;
  while (rows.Step()) {
    const QString time = Text(rows.handle, 1);
    if (!ids_.empty() && time < topTime_) return false;
    if (fresh.empty()) top = time;
    fresh.push_back(sqlite3_column_int64(rows.handle, 0));
  }
  topTime_ = top;
  total_ = count;
  maxId_ = maxId;
  if (!fresh.empty()) {
    beginInsertRows({}, 0, static_cast<int>(fresh.size()) - 1);
    ids_.insert(ids_.begin(), fresh.begin(), fresh.end());
    endInsertRows();
  }
  emit Reloaded();
  return true;
}

void HistoryModel::Reload() {
  beginResetModel();
  ids_.clear();
  held_.clear();
  total_ = 0;
  maxId_ = 0;
  topTime_.clear();
  if (sqlite3* db = Open()) {
    const Connection connection(db);
    Statement totals(db, "SELECT COUNT(*), COALESCE(MAX(id), 0) FROM lookups");
    if (totals && totals.Step()) {
      total_ = sqlite3_column_int64(totals.handle, 0);
      maxId_ = sqlite3_column_int64(totals.handle, 1);
    }
    Statement rows(db, "SELECT id, finished_at FROM lookups WHERE 1" + Conditions(filter_) +
                           " ORDER BY finished_at DESC, id DESC");
    if (!totals || !rows) {
      state_ = HistoryState::Damaged;
      problem_ = QStringLiteral("the history %1 cannot be listed (%2)")
                     .arg(path_, QString::fromUtf8(sqlite3_errmsg(db)));
    } else {
      BindFilter(rows.handle, filter_);
      ids_.reserve(static_cast<size_t>(total_));
      while (rows.Step()) {
        if (ids_.empty()) topTime_ = Text(rows.handle, 1);
        ids_.push_back(sqlite3_column_int64(rows.handle, 0));
      }
      ids_.shrink_to_fit();
    }
  }
  endResetModel();
  emit Reloaded();
}

}  // namespace quarvel
