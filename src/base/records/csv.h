#pragma once

// CSV as RFC 4180 has it (UTF-8, CRLF line ends, fields quoted where needed),
// the batch input reader, the reader that lets a stopped batch continue, and
// the writers of the batch output.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

namespace quarvel::csv {

// How the cells of a record are written. A spreadsheet takes a cell that
// begins with =, +, -, @, TAB or CR for a formula; Guarded writes such a cell
// with an apostrophe in front, which spreadsheets show as text, and also one
// that begins with apostrophes and then such a character, so that every cell
// reads back as it was. Raw writes every value as it is.
enum class Cells { Guarded, Raw };

// One record: the fields, quoted where they hold a comma, a quote, CR or LF,
// joined by commas and ended by CRLF; UTF-8.
QByteArray FormatRecord(const QStringList& fields, Cells cells = Cells::Guarded);

// Reads records from UTF-8 bytes. Accepts CRLF, LF and lone CR line ends,
// quoted fields across lines, and is lenient where RFC 4180 is strict (a quote
// inside an unquoted field is kept as it is; text after a closing quote is
// joined to the field).
class Reader {
 public:
  enum class Status {
    Record,     // a record; `Terminated()` tells whether a line end closed it
    End,        // no more input
    OpenQuote,  // the input ended inside a quoted field
  };

  explicit Reader(QByteArrayView text) : text_(text) {}

  Status Next(QStringList* fields);
  bool Terminated() const { return terminated_; }
  // Byte offset just after the last record read (and its line end).
  qsizetype Position() const { return position_; }
  // 1-based line number where the last record started.
  int Line() const { return recordLine_; }
  // Moves past the rest of the current line (for comment lines).
  void SkipLine();
  // The bytes from the current position to the end of the line.
  QByteArrayView RestOfLine() const;

 private:
  QByteArrayView text_;
  qsizetype position_ = 0;
  int line_ = 1;
  int recordLine_ = 1;
  bool terminated_ = false;
};

// The header of the batch output.
const QStringList& BatchHeader();

// A file of an older form, that a batch still continues: its header is the
// first `columns` of the current one, and `add` makes the fields its rows
// lack (those of the later columns) from the fields they have.
struct OlderForm {
  qsizetype columns = 0;  // 0: no older form is taken
  std::function<QStringList(const QStringList& fields)> add;
};
// The batch output before warranty_end_date: its rows get the date read
// from their warranty_end.
OlderForm OlderBatchOutput();

// The input of a batch: one entry a line; blank lines and lines starting with
// "#" are skipped; a line with a comma or a quote is a CSV record whose first
// field is the entry, and a first record whose first field names the column
// ("entry", "serial", "imei", ...) is a header and skipped. A UTF-8 BOM is
// dropped; a UTF-16 BOM makes the text UTF-16. Entries are trimmed, and one
// that Cells::Guarded wrote loses its apostrophe. Input that is no text is
// refused: NUL bytes (UTF-16 without its BOM has them), bytes that are not
// UTF-8 (or not UTF-16 after its BOM), a program, an archive or a PDF.
struct BatchInput {
  QStringList entries;
  QString error;        // empty when the input could be read
  int moreColumns = 0;  // records with more than one field, of which only the first was read
};
BatchInput ReadBatchInput(const QByteArray& content);

// What an existing batch output holds, so that a stopped batch can continue.
struct ExistingOutput {
  bool usable = true;        // false: not a batch output; `error` says why
  QString error;             //
  QStringList done;          // the entries of its complete rows, in file order, as given
  QStringList outcomes;      // their outcome column, when the header has one
  qsizetype keepBytes = 0;   // length of the complete rows; what follows is a cut-off row
  bool writeHeader = false;  // the file is empty (or holds a cut-off header)
  bool older = false;        // its header is the older form's (`olderColumns` of `header`)
};
// A header of the first `olderColumns` of `header` is taken as well (0: none).
ExistingOutput ReadExistingOutput(QByteArrayView content, const QStringList& header,
                                  qsizetype olderColumns = 0);

// Where rows go. A row is handed over complete and written with one write
// and a flush, so a stop never leaves half of it.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual bool Write(const QByteArray& row) = 0;
  virtual QString Error() const = 0;
  // The last write failed because the rows went to a pipe whose reader is
  // gone: no one wants more of them.
  virtual bool ReaderGone() const { return false; }
  // Row `index` of a batch's entries (what OrderedRows hands over); a sink
  // that only appends ignores the index.
  virtual bool WriteRow(int /*index*/, const QByteArray& row) { return Write(row); }
};

// A file descriptor: standard output or an open file.
class FdSink : public RowSink {
 public:
  // When a write to a regular file fails half-way, the file is cut back to
  // its length before the write, so no partial row stays.
  FdSink(int fd, bool regularFile) : fd_(fd), regularFile_(regularFile) {}
  bool Write(const QByteArray& row) override;
  QString Error() const override { return error_; }
  bool ReaderGone() const override { return readerGone_; }

 private:
  int fd_;
  bool regularFile_;
  QString error_;
  bool readerGone_ = false;
};

// The batch output file: created with its header, or, when it exists, checked
// to be a batch output, cut after its last complete row and read for the
// entries already done. Rows are appended; the file is locked, so a second
// batch cannot write into it at the same time.
class OutputFile : public RowSink {
 public:
  OutputFile() = default;
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // With retryOutcomes, the complete rows whose outcome column holds one of
  // them are to be looked up again: Retry() lists their entries in file
  // order, and rows 0 to Retry().size() - 1 handed to WriteRow take their
  // places. The whole file is then written anew beside the old one and
  // renamed over it, with the old one's permissions, so that a stop at any
  // moment leaves the old rows or the new ones, never a mix or less.
  // A file of the `older` form is written anew in the same way at once, in
  // the current form (the header's later columns added to every row, its
  // cells otherwise as they were), and continued in it.
  bool Open(const QString& path, const QStringList& header, QString* error,
            const QStringList& retryOutcomes = {}, const OlderForm& older = {});
  const QStringList& Done() const { return done_; }
  // The outcomes of the rows in Done, as they were before this batch.
  const QStringList& Outcomes() const { return outcomes_; }
  const QStringList& Retry() const { return retry_; }
  bool Write(const QByteArray& row) override;
  bool WriteRow(int index, const QByteArray& row) override;
  QString Error() const override { return error_.isEmpty() ? sink_->Error() : error_; }

 private:
  bool Lock(const QString& path, QString* error);
  bool Rewrite();

  QString path_;
  int fd_ = -1;
  std::unique_ptr<FdSink> sink_;
  QStringList done_;
  QStringList outcomes_;
  QStringList retry_;
  // In retry mode: the bytes before the first row (BOM, header), every row
  // as written, and where each row to look up again stands among them.
  QByteArray head_;
  QList<QByteArray> rows_;
  QList<int> retryRows_;
  bool retrying_ = false;
  QString error_;
};

// Puts rows out in input order: a row that finishes early waits for the
// earlier ones; each row is written as soon as all rows before it are out.
class OrderedRows {
 public:
  explicit OrderedRows(RowSink* sink) : sink_(sink) {}
  // Row `index` (0, 1, 2 ... in input order) is complete. False when a write failed.
  bool Put(int index, QByteArray row);
  // Writes every waiting row now, out of order (when a batch stops, so that
  // no finished lookup is lost). False when a write failed.
  bool FlushWaiting();
  int Waiting() const { return static_cast<int>(waiting_.size()); }
  int Next() const { return next_; }

 private:
  RowSink* sink_;
  int next_ = 0;
  std::map<int, QByteArray> waiting_;
  bool failed_ = false;
};

}  // namespace quarvel::csv
