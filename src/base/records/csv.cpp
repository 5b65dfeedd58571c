#include "base/records/csv.h"

#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>

#include "base/files/safe_file.h"
#include "base/text/date_text.h"
#include "platform/system/files.h"
#include "platform/system/process.h"

namespace quarvel::csv {
namespace {

bool NeedsQuotes(const QString& field) {
  for (const QChar c : field) {
    const char16_t u = c.unicode();
    if (u == ',' || u == '"' || u == '\r' || u == '\n') return true;
  }
  return false;
}

bool IsHeaderName(const QString& field) {
  static const QStringList names = {QStringLiteral("entry"),
                                    QStringLiteral("entries"),
                                    QStringLiteral("serial"),
                                    QStringLiteral("serials"),
                                    QStringLiteral("serial number"),
                                    QStringLiteral("serial_number"),
                                    QStringLiteral("serialnumber"),
                                    QStringLiteral("serial no"),
                                    QStringLiteral("sn"),
                                    QStringLiteral("s/n"),
                                    QStringLiteral("imei"),
                                    QStringLiteral("imei1"),
                                    QStringLiteral("imei 1"),
                                    QStringLiteral("number"),
                                    QStringLiteral("序列号"),
                                    QStringLiteral("系列号"),
                                    QStringLiteral("串号")};
  return names.contains(field, Qt::CaseInsensitive);
}

// The 1-based line of byte `offset`.
int LineOf(QByteArrayView text, qsizetype offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + offset, '\n'));
}

// Offset of the first byte that is not part of well-formed UTF-8 (no
// overlong forms, surrogates or code points past U+10FFFF), or -1.
qsizetype FirstNonUtf8(QByteArrayView text) {
  const qsizetype size = text.size();
  for (qsizetype i = 0; i < size;) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    int length = 0;
    char32_t code = 0, least = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07, least = 0x10000;
    } else {
      return i;
    }
    if (i + length > size) return i;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return i;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return i;
    i += length;
  }
  return -1;
}

// The text of a batch input as UTF-8, or `problem` says why it is no text.
QByteArray AsUtf8(const QByteArray& content, QString* problem) {
  static const struct {
    QByteArrayView signature;
    const char* what;
  } kinds[] = {{"\177ELF", "a program (ELF)"},
               {"PK\x03\x04", "a ZIP archive (an .xlsx is one: save the sheet as CSV)"},
               {"PK\x05\x06", "a ZIP archive"},
               {"%PDF-", "a PDF document"}};
  for (const auto& kind : kinds) {
    if (content.startsWith(kind.signature)) {
      *problem = QStringLiteral("this is %1, not a list of entries").arg(kind.what);
      return {};
    }
  }
  const auto utf16 = [&](QStringConverter::Encoding encoding) {
    const QByteArrayView body = QByteArrayView(content).sliced(2);
    QStringDecoder decode(encoding, QStringConverter::Flag::Stateless);
    const QString text = decode(body);
    if (decode.hasError() || body.size() % 2) {
      *problem = QStringLiteral("not UTF-16 text, though it begins with a byte order mark");
      return QByteArray();
    }
    return text.toUtf8();
  };
  // NUL bytes first: UTF-16 without its byte order mark has them, and is
  // named as such rather than as bytes that are not UTF-8.
  const auto nulByte = [&](QByteArrayView text) {
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
      *problem = QStringLiteral(
                     "line %1: a NUL byte; this is no text file (or UTF-16 without its "
                     "byte order mark)")
                     .arg(LineOf(text, nul));
    return nul >= 0;
  };
  QByteArray text;
  if (content.startsWith("\xFF\xFE")) {
    text = utf16(QStringConverter::Utf16LE);
  } else if (content.startsWith("\xFE\xFF")) {
    text = utf16(QStringConverter::Utf16BE);
  } else {
    text = content.startsWith("\xEF\xBB\xBF") ? content.mid(3) : content;
    if (nulByte(text)) return {};
    if (const qsizetype bad = FirstNonUtf8(text); bad >= 0) {
      *problem = QStringLiteral(
                     "line %1: not UTF-8 text (save the file as UTF-8, or as UTF-16 with its "
                     "byte order mark)")
                     .arg(LineOf(text, bad));
      return {};
    }
  }
  if (!problem->isEmpty() || nulByte(text)) return {};
  return text;
}

bool BeginsFormula(QChar c) {
  const char16_t u = c.unicode();
  return u == '=' || u == '+' || u == '-' || u == '@' || u == '\t' || u == '\r';
}

// Whether a cell, past the apostrophes it begins with, begins a formula.
bool NeedsGuard(const QString& cell) {
  qsizetype i = 0;
  while (i < cell.size() && cell[i] == u'\'') ++i;
  return i < cell.size() && BeginsFormula(cell[i]);
}

// A cell as Cells::Guarded wrote it, back as it was. A cell written before
// the guard (or raw) stays as it is, unless it began with an apostrophe.
QString Unguarded(const QString& cell) {
  return cell.startsWith(u'\'') && NeedsGuard(cell) ? cell.mid(1) : cell;
}

QString ErrorText() { return QString::fromLocal8Bit(system::LastError()); }

}  // namespace

QByteArray FormatRecord(const QStringList& fields, Cells cells) {
  QByteArray out;
  for (qsizetype i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    const QString field = cells == Cells::Guarded && NeedsGuard(fields[i])
                              ? QLatin1Char('\'') + fields[i]
                              : fields[i];
    if (NeedsQuotes(field)) {
      out += '"';
      out += QString(field).replace(QLatin1Char('"'), QStringLiteral("\"\"")).toUtf8();
      out += '"';
    } else {
      out += field.toUtf8();
    }
  }
  out += "\r\n";
  return out;
}

const QStringList& BatchHeader() {
  static const QStringList header = {QStringLiteral("entry"),
                                     QStringLiteral("check"),
                                     QStringLiteral("path"),
                                     QStringLiteral("outcome"),
                                     QStringLiteral("model"),
                                     QStringLiteral("serial"),
                                     QStringLiteral("warranty_end"),
                                     QStringLiteral("picture"),
                                     QStringLiteral("finished_at"),
                                     QStringLiteral("seconds"),
                                     QStringLiteral("warranty_end_date")};
  return header;
}

OlderForm OlderBatchOutput() {
  const qsizetype warrantyEnd = BatchHeader().indexOf(QStringLiteral("warranty_end"));
  return {BatchHeader().size() - 1, [warrantyEnd](const QStringList& fields) {
            return QStringList{IsoDate(Unguarded(fields.value(warrantyEnd)))};
          }};
}

Reader::Status Reader::Next(QStringList* fields) {
  fields->clear();
  terminated_ = false;
  if (position_ >= text_.size()) return Status::End;
  recordLine_ = line_;
  const qsizetype size = text_.size();
  qsizetype i = position_;
  QByteArray field;
  bool quoted = false;
  bool fieldStart = true;
  const auto endField = [&] {
    fields->append(QString::fromUtf8(field));
    field.clear();
    fieldStart = true;
  };
  while (i < size) {
    const char c = text_[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < size && text_[i + 1] == '"') {
          field += '"';
          i += 2;
        } else {
          quoted = false;
          ++i;
        }
        continue;
      }
      if (c == '\n' || (c == '\r' && (i + 1 >= size || text_[i + 1] != '\n'))) ++line_;
      field += c;
      ++i;
      continue;
    }
    if (c == '"' && fieldStart) {
      quoted = true;
      fieldStart = false;
      ++i;
    } else if (c == ',') {
      endField();
      ++i;
    } else if (c == '\n' || c == '\r') {
      // CR at the very end may be the first half of a cut-off CRLF: the
      // record is then not known to be complete.
      if (c == '\r' && i + 1 >= size) {
        ++i;
        break;
      }
      i += (c == '\r' && text_[i + 1] == '\n') ? 2 : 1;
      ++line_;
      endField();
      terminated_ = true;
      position_ = i;
      return Status::Record;
    } else {
      field += c;
      fieldStart = false;
      ++i;
    }
  }
  position_ = size;
  if (quoted) {
    endField();
    return Status::OpenQuote;
  }
  endField();
  return Status::Record;
}

QByteArrayView Reader::RestOfLine() const {
  qsizetype end = position_;
  while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
  return text_.sliced(position_, end - position_);
}

void Reader::SkipLine() {
  qsizetype i = position_ + RestOfLine().size();
  if (i < text_.size()) {
    i += (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') ? 2 : 1;
    ++line_;
  }
  position_ = i;
}

BatchInput ReadBatchInput(const QByteArray& content) {
  BatchInput input;
  const QByteArray text = AsUtf8(content, &input.error);
  if (!input.error.isEmpty()) return input;
  Reader reader(text);
  QStringList fields;
  bool first = true;
  while (reader.Position() < text.size()) {
    const QByteArrayView line = reader.RestOfLine().trimmed();
    if (line.isEmpty() || line.startsWith('#')) {
      reader.SkipLine();
      continue;
    }
    if (reader.Next(&fields) == Reader::Status::OpenQuote) {
      input.error = QStringLiteral("line %1: a quoted field is not closed").arg(reader.Line());
      input.entries.clear();
      return input;
    }
    const QString entry = fields.value(0).trimmed();
    if (first && IsHeaderName(entry)) {
      first = false;
      continue;
    }
    first = false;
    if (fields.size() > 1) ++input.moreColumns;
    if (!entry.isEmpty()) input.entries.append(Unguarded(entry));
  }
  return input;
}

ExistingOutput ReadExistingOutput(QByteArrayView content, const QStringList& header,
                                  qsizetype olderColumns) {
  ExistingOutput out;
  const qsizetype offset = content.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  const QByteArrayView text = content.sliced(offset);
  const QByteArray headerLine = FormatRecord(header);
  if (text.size() < headerLine.size() && QByteArrayView(headerLine).startsWith(text)) {
    // Empty, or a header cut off while it was written: start afresh.
    out.writeHeader = true;
    return out;
  }
  Reader reader(text);
  QStringList fields;
  const bool read = reader.Next(&fields) == Reader::Status::Record && reader.Terminated();
  out.older = read && olderColumns > 0 && olderColumns < header.size() &&
              fields == header.mid(0, olderColumns);
  if (!read || (fields != header && !out.older)) {
    out.usable = false;
    out.error = QStringLiteral("its first line is not the header %1")
                    .arg(QString::fromUtf8(headerLine.trimmed()));
    return out;
  }
  out.keepBytes = offset + reader.Position();
  const qsizetype outcome = header.indexOf(QStringLiteral("outcome"));
  for (;;) {
    const Reader::Status status = reader.Next(&fields);
    // A row without its line end was cut off: everything from it on goes.
    if (status != Reader::Status::Record || !reader.Terminated()) break;
    if (fields.size() == 1 && fields[0].isEmpty()) {
      out.keepBytes = offset + reader.Position();
      continue;
    }
    const qsizetype columns = out.older ? olderColumns : header.size();
    if (fields.size() != columns) {
      out.usable = false;
      out.error = QStringLiteral("line %1 has %2 fields, not %3")
                      .arg(reader.Line())
                      .arg(fields.size())
                      .arg(columns);
      out.done.clear();
      out.outcomes.clear();
      return out;
    }
    out.done.append(Unguarded(fields[0]));
    if (outcome >= 0) out.outcomes.append(fields.value(outcome));
    out.keepBytes = offset + reader.Position();
  }
  return out;
}

bool FdSink::Write(const QByteArray& row) {
  const std::optional<int64_t> before = regularFile_ ? system::Size(fd_) : std::optional<int64_t>();
  qsizetype written = 0;
  while (written < row.size()) {
    const int64_t n = system::Write(fd_, row.constData() + written, row.size() - written);
    if (n <= 0) {
      readerGone_ = n < 0 && system::LastWriteFoundPipeClosed();
      error_ = n < 0 ? ErrorText() : QStringLiteral("nothing written");
      if (before && written > 0 && !system::Truncate(fd_, *before))
        error_ += QStringLiteral("; the cut-off row could not be removed");
      return false;
    }
    written += n;
  }
  // Unbuffered: the row is with the system once write() returns.
  return true;
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) system::Close(fd_);
}

bool OutputFile::Lock(const QString& path, QString* error) {
  if (fd_ >= 0) system::Close(fd_);
  fd_ = system::OpenForAppend(SystemPath(path));
  if (fd_ < 0) {
    *error = QStringLiteral("cannot open %1: %2").arg(path, ErrorText());
    return false;
  }
  if (!system::IsRegularFile(fd_)) {
    *error = QStringLiteral("%1 is not a regular file").arg(path);
    return false;
  }
  switch (system::LockExclusive(fd_)) {
    case system::LockResult::Locked:
      break;
    case system::LockResult::Busy:
      *error = QStringLiteral("another batch is writing to %1").arg(path);
      return false;
    case system::LockResult::Failed:
      *error = QStringLiteral("cannot lock %1: %2").arg(path, ErrorText());
      return false;
  }
  sink_ = std::make_unique<FdSink>(fd_, true);
  return true;
}

bool OutputFile::Open(const QString& path, const QStringList& header, QString* error,
                      const QStringList& retryOutcomes, const OlderForm& older) {
  path_ = path;
  if (!Lock(path, error)) return false;
  QByteArray content;
  char buffer[65536];
  for (;;) {
    const int64_t n = system::Read(fd_, buffer, sizeof buffer);
    if (n < 0) {
      *error = QStringLiteral("cannot read %1: %2").arg(path, ErrorText());
      return false;
    }
    if (n == 0) break;
    content.append(buffer, n);
  }
  const ExistingOutput existing =
      ReadExistingOutput(content, header, older.add ? older.columns : 0);
  if (!existing.usable) {
    *error = QStringLiteral("%1 is not a batch output (%2); refusing to add to it")
                 .arg(path, existing.error);
    return false;
  }
  if (existing.keepBytes < content.size() && !system::Truncate(fd_, existing.keepBytes)) {
    *error = QStringLiteral("cannot cut the unfinished last row of %1: %2").arg(path, ErrorText());
    return false;
  }
  if (existing.writeHeader && !sink_->Write(FormatRecord(header))) {
    *error = QStringLiteral("cannot write %1: %2").arg(path, sink_->Error());
    return false;
  }
  done_ = existing.done;
  outcomes_ = existing.outcomes;
  if (retryOutcomes.isEmpty() && !existing.older) return true;

  // The rows as they stand, to be written again around the new ones.
  retrying_ = !retryOutcomes.isEmpty();
  const qsizetype column = header.indexOf(QStringLiteral("outcome"));
  content.truncate(existing.keepBytes);
  if (existing.writeHeader) content = FormatRecord(header);
  Reader reader(content);
  QStringList fields;
  reader.Next(&fields);  // the header, checked above
  head_ = content.left(reader.Position());
  if (existing.older)
    head_ = (content.startsWith("\xEF\xBB\xBF") ? QByteArray("\xEF\xBB\xBF") : QByteArray()) +
            FormatRecord(header);
  for (qsizetype from = reader.Position();
       reader.Next(&fields) == Reader::Status::Record && reader.Terminated();
       from = reader.Position()) {
    if (fields.size() == 1 && fields[0].isEmpty()) continue;  // a blank line goes
    if (column >= 0 && retryOutcomes.contains(fields.value(column))) {
      retryRows_.append(static_cast<int>(rows_.size()));
      retry_.append(Unguarded(fields[0]));
    }
    QByteArray row = content.mid(from, reader.Position() - from);
    if (existing.older) {
      // The later columns after the row's own cells, which stay as they were.
      while (row.endsWith('\n') || row.endsWith('\r')) row.chop(1);
      row += ',' + FormatRecord(older.add(fields));
    }
    rows_.append(row);
  }
  if (existing.older && !Rewrite()) {
    *error = QStringLiteral("cannot write %1 in the current form: %2").arg(path, error_);
    return false;
  }
  return true;
}

bool OutputFile::Write(const QByteArray& row) {
  if (retrying_) rows_.append(row);
  return sink_->Write(row);
}

bool OutputFile::WriteRow(int index, const QByteArray& row) {
  if (index < 0 || index >= retryRows_.size()) return Write(row);
  rows_[retryRows_[index]] = row;
  return Rewrite();
}

bool OutputFile::Rewrite() {
  QSaveFile file(path_);
  if (!file.open(QIODevice::WriteOnly)) {
    error_ = file.errorString();
    return false;
  }
  file.write(head_);
  for (const QByteArray& row : rows_) file.write(row);
  if (!file.commit()) {
    error_ = file.errorString();
    return false;
  }
  // The lock moves to the new file, which later rows are appended to.
  QString problem;
  if (!Lock(path_, &problem)) {
    error_ = problem;
    return false;
  }
  error_.clear();
  return true;
}

bool OrderedRows::Put(int index, QByteArray row) {
  waiting_.emplace(index, std::move(row));
  while (!failed_ && !waiting_.empty() && waiting_.begin()->first == next_) {
    failed_ = !sink_->WriteRow(waiting_.begin()->first, waiting_.begin()->second);
    if (failed_) break;
    waiting_.erase(waiting_.begin());
    ++next_;
  }
  return !failed_;
}

bool OrderedRows::FlushWaiting() {
  while (!failed_ && !waiting_.empty()) {
    failed_ = !sink_->WriteRow(waiting_.begin()->first, waiting_.begin()->second);
    if (!failed_) waiting_.erase(waiting_.begin());
  }
  return !failed_;
}

}  // namespace quarvel::csv
