#pragma once

// The lookup history as a table model, newest first, for a list of past
// lookups. It only reads, as `quarvel-cli history` does, and stays cheap on a
// long history: it keeps the ids of the rows it shows (8 bytes a row, in one
// query on the time index) and reads the rows themselves a page at a time, as
// they are drawn; at most a few thousand are held. Refresh() takes in what
// was recorded since, from this process or any other: new lookups come in at
// the top, without a reset when they are the newest.
#include <QAbstractTableModel>
#include <QCache>
#include <QImage>
#include <QTimer>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/records/history.h"

struct sqlite3;

namespace quarvel {

// Which rows are shown: text in the entry or the model (case-insensitive;
// empty: any), and one outcome (empty: any).
struct HistoryViewFilter {
  QString text;
  QString outcome;
  bool operator==(const HistoryViewFilter&) const = default;
};

// The columns as a CSV export writes them: those of `quarvel-cli history --csv`
// (the last, warranty_end_date, is warranty_end as an ISO 8601 date).
const QStringList& HistoryCsvHeader();
// A record's fields under that header.
QStringList HistoryCsvFields(const HistoryRecord& record);

class HistoryModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { Time, Entry, Path, Outcome, Model, WarrantyEnd, Picture, Seconds, kColumns };
  static constexpr int kPageRows = 256;
  static constexpr int kThumbnailHeight = 24;

  // Reads `folder`/history.sqlite3; nothing there lists nothing until a
  // lookup creates it.
  explicit HistoryModel(QString folder, QObject* parent = nullptr);
  ~HistoryModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  void SetFilter(const HistoryViewFilter& filter);
  const HistoryViewFilter& Filter() const { return filter_; }

  // Looks whether the files changed (a stat of the database and its log) and
  // takes in what did. `force` reads even when they look unchanged.
  void Refresh(bool force = false);
  // Refresh() every intervalMs; 0 stops.
  void Watch(int intervalMs);

  // What the last read found; Problem() says what went wrong, if anything.
  HistoryState State() const { return state_; }
  QString Problem() const { return problem_; }
  // Every row of the history, whatever the filter.
  qint64 TotalRows() const { return total_; }

  // Row `row` as shown (read when not held).
  HistoryRecord Record(int row) const;
  // The rows, in order, as tab-separated lines of the shown columns (each
  // field on one line).
  QString RowsAsText(const QList<int>& rows) const;
  // Every shown row as CSV: the header, then one record a row, the cells
  // guarded as in a batch output. False when the history could not be read.
  bool WriteCsv(const std::function<bool(const QByteArray&)>& write) const;

 signals:
  // After each read that changed what is shown (rows in, a new filter).
  void Reloaded();

 private:
  struct Signature {
    qint64 dbSize = -1, walSize = -1, dbTime = 0, walTime = 0;
    bool operator==(const Signature&) const = default;
  };
  Signature Stat() const;
  // A connection for one read, closed by the caller; nullptr when the
  // history is not there or cannot be opened (state_ and problem_ say why).
  sqlite3* Open() const;
  void Reload();
  bool TakeInNewRows(sqlite3* db);
  // Row `row`, read with the rest of its page when not held.
  const HistoryRecord* Held(int row) const;
  QString Shown(const HistoryRecord& record, int column) const;
  QImage Thumbnail(const QString& path) const;

  QString path_;
  HistoryViewFilter filter_;
  Signature seen_;
  std::vector<qint64> ids_;  // shown rows, newest first
  qint64 maxId_ = 0;         // the highest id read, whatever the filter
  qint64 total_ = 0;
  QString topTime_;  // finished_at of the newest shown row
  mutable HistoryState state_ = HistoryState::Missing;
  mutable QString problem_;
  mutable std::unordered_map<qint64, HistoryRecord> held_;  // by id, a few pages
  mutable QCache<QString, QImage> thumbnails_{200};
  QTimer watch_;
};

}  // namespace quarvel
