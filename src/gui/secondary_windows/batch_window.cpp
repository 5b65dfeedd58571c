#include "gui/secondary_windows/batch_window.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <functional>

#include "base/files/safe_file.h"
#include "base/gate/handler_gate.h"
#include "batch/batch_runner.h"
#include "batch/progress.h"
#include "gui/sharing/save_dialog.h"
#include "lookup/lookup_outcome.h"

namespace quarvel {
namespace {

constexpr qint64 kMaxListBytes = 16 << 20;

// The batch output's fields that the table shows, by column.
constexpr int kShownFields[BatchResults::kColumns] = {0, 3, 4, 5, 6, 9};

// The list: a dropped (or pasted) file is read as a batch reads its input;
// other text goes in as usual.
class ListEdit : public QPlainTextEdit {
 public:
  ListEdit(QWidget* parent, std::function<void(const QString&)> load)
      : QPlainTextEdit(parent), load_(std::move(load)) {}

 protected:
  bool canInsertFromMimeData(const QMimeData* source) const override {
    return !LocalFile(source).isEmpty() || QPlainTextEdit::canInsertFromMimeData(source);
  }
  void insertFromMimeData(const QMimeData* source) override {
    if (const QString file = LocalFile(source); !file.isEmpty())
      load_(file);
    else
      QPlainTextEdit::insertFromMimeData(source);
  }

 private:
  static QString LocalFile(const QMimeData* source) {
    if (!source->hasUrls() || source->urls().size() != 1) return {};
    const QUrl url = source->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
  }

  std::function<void(const QString&)> load_;
};

// An entry as a line of the list that reads back as the same entry.
QString ListLine(const QString& entry) {
  QByteArray record = csv::FormatRecord({entry});
  record.chop(2);  // CRLF
  return QString::fromUtf8(record);
}

}  // namespace

int BatchResults::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int BatchResults::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant BatchResults::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_.size()) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  return rows_[index.row()].value(kShownFields[index.column()]);
}

QVariant BatchResults::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kCaptions[kColumns] = {"系列号",     "结果",     "型号",
                                                  "结果序列号", "保修截止", "用时（秒）"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kColumns)
    return {};
  return QString::fromUtf8(kCaptions[section]);
}

void BatchResults::Add(const QStringList& fields) {
  const int at = static_cast<int>(rows_.size());
  beginInsertRows({}, at, at);
  rows_.append(fields);
  endInsertRows();
}

void BatchResults::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

QStringList BatchResults::Entries() const {
  QStringList entries;
  for (const QStringList& row : rows_) entries << row.value(0);
  return entries;
}

QByteArray BatchResults::Csv(csv::Cells cells) const {
  QByteArray bytes = csv::FormatRecord(csv::BatchHeader(), cells);
  for (const QStringList& row : rows_) bytes += csv::FormatRecord(row, cells);
  return bytes;
}

BatchWindow::BatchWindow(Config config, QString dataFolder, Services services, QWidget* parent)
    : KeptWindow(QStringLiteral("BatchWindow"), parent),
      config_(std::move(config)),
      dataFolder_(std::move(dataFolder)),
      services_(std::move(services)) {
  setWindowTitle(QStringLiteral("批量查询"));
  setAccessibleName(windowTitle());
  if (!services_.saveDialog) services_.saveDialog = std::make_shared<PlatformSaveDialog>();

  auto* client = new QWidget(this);
  setCentralWidget(client);
  auto* listLabel = new QLabel(QStringLiteral("列表（每行一个，可拖入文本或 CSV 文件）："), client);
  ListInput = new ListEdit(client, [this](const QString& file) { LoadFile(file); });
  ListInput->setObjectName(QStringLiteral("ListInput"));
  ListInput->setAccessibleName(QStringLiteral("列表"));
  ListInput->setTabChangesFocus(true);
  ListInput->setLineWrapMode(QPlainTextEdit::NoWrap);
  ListInput->setPlaceholderText(QStringLiteral("系列号或 IMEI，每行一个"));
  listLabel->setBuddy(ListInput);

  ComprehensiveOption = new QRadioButton(QStringLiteral("综合查询"), client);
  ComprehensiveOption->setObjectName(QStringLiteral("ComprehensiveOption"));
  ComprehensiveOption->setAccessibleName(ComprehensiveOption->text());
  ComprehensiveOption->setChecked(true);
  OfficialOption = new QRadioButton(QStringLiteral("官网查询"), client);
  OfficialOption->setObjectName(QStringLiteral("OfficialOption"));
  OfficialOption->setAccessibleName(OfficialOption->text());
  StartButton = MakeButton(client, "StartButton", QStringLiteral("开始"));
  StopButton = MakeButton(client, "StopButton", QStringLiteral("停止"));
  ContinueButton = MakeButton(client, "ContinueButton", QStringLiteral("继续"));
  SaveButton = MakeButton(client, "SaveButton", QStringLiteral("保存CSV"));

  ProgressBar = new QProgressBar(client);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setAccessibleName(QStringLiteral("进度"));
  ProgressBar->setRange(0, 1);
  ProgressBar->setValue(0);
  ProgressBar->setFormat(QStringLiteral("%v/%m"));
  progressText_ = new QLabel(client);
  progressText_->setObjectName(QStringLiteral("ProgressText"));
  progressText_->setTextFormat(Qt::PlainText);

  Table = new QTableView(client);
  Table->setObjectName(QStringLiteral("Table"));
  Table->setAccessibleName(QStringLiteral("结果"));
  Table->setModel(&results_);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setWordWrap(false);
  Table->setTabKeyNavigation(false);
  Table->verticalHeader()->hide();
  const int widths[BatchResults::kColumns] = {150, 100, 150, 130, 120, 80};
  for (int column = 0; column < BatchResults::kColumns; ++column)
    Table->setColumnWidth(column, widths[column]);
  Table->horizontalHeader()->setStretchLastSection(true);

  auto* bar = new QHBoxLayout;
  bar->addWidget(ComprehensiveOption);
  bar->addWidget(OfficialOption);
  bar->addStretch(1);
  for (QPushButton* button : {StartButton, StopButton, ContinueButton, SaveButton})
    bar->addWidget(button);
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(ProgressBar, 1);
  progressRow->addWidget(progressText_);
  auto* layout = new QVBoxLayout(client);
  layout->addWidget(listLabel);
  layout->addWidget(ListInput, 1);
  layout->addLayout(bar);
  layout->addLayout(progressRow);
  layout->addWidget(Table, 2);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("StatusText"));
  status_->setTextFormat(Qt::PlainText);
  statusBar()->addWidget(status_, 1);

  QWidget* const order[] = {ListInput,  ComprehensiveOption, OfficialOption, StartButton,
                            StopButton, ContinueButton,      SaveButton,     Table};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  for (QWidget* widget : order) widget->installEventFilter(this);

  connect(StartButton, &QPushButton::clicked, this, &BatchWindow::StartBatch);
  connect(StopButton, &QPushButton::clicked, this, &BatchWindow::StopBatch);
  connect(ContinueButton, &QPushButton::clicked, this, &BatchWindow::ContinueBatch);
  connect(SaveButton, &QPushButton::clicked, this, &BatchWindow::SaveCsv);
  connect(&results_, &QAbstractItemModel::rowsInserted, this, &BatchWindow::ShowProgress);

  RestoreSizeAndPlace({820, 600});
  ShowRunning(false);
  SetStatus(QStringLiteral("粘贴、输入或拖入列表，选好查询方式，按“开始”"));
}

BatchWindow::~BatchWindow() {
  if (Running()) {
    // The batch ends as a stop request ends it: its finished rows are in the
    // history already.
    process_->terminate();
    if (!process_->waitForFinished(kStopWaitMs)) process_->kill();
    process_->waitForFinished(kStopWaitMs);
  }
  process_.reset();
  Table->setModel(nullptr);
}

bool BatchWindow::Running() const { return process_ && process_->state() != QProcess::NotRunning; }

QString BatchWindow::Status() const { return status_->text(); }

QString BatchWindow::ProgressLine() const { return progressText_->text(); }

void BatchWindow::SetStatus(const QString& text) {
  status_->setText(text);
  status_->setAccessibleName(text);
  QAccessibleEvent event(status_, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&event);
}

bool BatchWindow::LoadFile(const QString& path) {
  const QString shown = QDir::toNativeSeparators(path);
  QFile file(path);
  if (QFileInfo(path).size() > kMaxListBytes) {
    SetStatus(QStringLiteral("%1 太大，不像一个列表").arg(shown));
    return false;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    SetStatus(QStringLiteral("无法读取 %1：%2").arg(shown, file.errorString()));
    return false;
  }
  const csv::BatchInput input = csv::ReadBatchInput(file.readAll());
  if (!input.error.isEmpty()) {
    SetStatus(QStringLiteral("无法读取 %1：%2").arg(shown, input.error));
    return false;
  }
  QStringList lines;
  for (const QString& entry : input.entries) lines << ListLine(entry);
  ListInput->setPlainText(lines.join(QLatin1Char('\n')));
  SetStatus(QStringLiteral("已从 %1 读入 %2 条").arg(shown).arg(input.entries.size()));
  return true;
}

std::optional<QStringList> BatchWindow::ListEntries() {
  const csv::BatchInput input = csv::ReadBatchInput(ListInput->toPlainText().toUtf8());
  if (!input.error.isEmpty()) {
    SetStatus(QStringLiteral("列表无法读取：") + input.error);
    return std::nullopt;
  }
  if (input.entries.isEmpty()) {
    SetStatus(QStringLiteral("列表是空的"));
    return std::nullopt;
  }
  return input.entries;
}

void BatchWindow::StartBatch() {
  if (Running()) return;
  const std::optional<QStringList> entries = ListEntries();
  if (!entries) return;
  entries_ = *entries;
  results_.Clear();
  Run(entries_);
}

void BatchWindow::ContinueBatch() {
  if (Running()) return;
  if (results_.rowCount() == 0) {
    StartBatch();
    return;
  }
  const std::optional<QStringList> entries = ListEntries();
  if (!entries) return;
  entries_ = *entries;
  // As a batch resumes its output: what has a row already is skipped.
  const QStringList todo = EntriesToDo(entries_, results_.Entries());
  if (todo.isEmpty()) {
    SetStatus(QStringLiteral("列表中的每一条都已查询"));
    return;
  }
  Run(todo);
}

void BatchWindow::Run(const QStringList& todo) {
  const LookupPath path =
      OfficialOption->isChecked() ? LookupPath::Official : LookupPath::Comprehensive;
  doneAtStart_ = results_.rowCount();
  stderr_.clear();
  // The batch runs in a process of its own, quarvel-cli's: none of its waits
  // holds this window's input, and a page that hangs or kills its renderer
  // there can neither freeze nor end the window. The table shows the values
  // (raw cells); saving guards them.
  process_ = std::make_unique<QProcess>();
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  // The history and pictures go to this window's data folder.
  if (!dataFolder_.isEmpty())
    environment.insert(QStringLiteral("XDG_DATA_HOME"), QFileInfo(dataFolder_).path());
  process_->setProcessEnvironment(environment);
  process_->setStandardOutputFile(QProcess::nullDevice());
  QProcess* process = process_.get();
  // Held deliveries may outlive the window, or this run.
  const QPointer<BatchWindow> self(this);
  const auto current = [self, process] { return self && self->process_.get() == process; };
  connect(process, &QProcess::readyReadStandardError, this, [self, process, current] {
    HandlerGate::Deliver(process, [self, current] {
      if (current()) self->ReadProgress();
    });
  });
  connect(process, &QProcess::finished, this, [self, current](int code, QProcess::ExitStatus how) {
    HandlerGate::Deliver(nullptr, [self, current, code, how] {
      if (!current()) return;
      self->ReadProgress();
      self->OnFinished(how == QProcess::NormalExit ? code : kEndedAbnormally);
    });
  });
  connect(
      process, &QProcess::errorOccurred, this,
      [self, process, current](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        HandlerGate::Deliver(nullptr, [self, process, current] {
          if (!current()) return;
          self->SetStatus(QStringLiteral("无法启动批量查询程序：%1").arg(process->errorString()));
          self->OnFinished(kEndedAbnormally);
        });
      });
  const QStringList arguments = {QStringLiteral("batch"),
                                 QStringLiteral("--progress"),
                                 QStringLiteral("json"),
                                 QStringLiteral("--raw-cells"),
                                 QStringLiteral("--path"),
                                 PathName(path),
                                 QStringLiteral("--lookup-host"),
                                 config_.lookupHost,
                                 QStringLiteral("--warranty-host"),
                                 config_.warrantyHost,
                                 QStringLiteral("--portal-host"),
                                 config_.portalHost,
                                 QStringLiteral("-")};
  clock_.start();
  process_->start(BatchProgram(), arguments);
  // A header first, so that no entry is taken for one; each entry on a line
  // that reads back as the same entry.
  QByteArray input = "entry\n";
  for (const QString& entry : todo) input += ListLine(entry).toUtf8() + '\n';
  process_->write(input);
  process_->closeWriteChannel();
  ShowRunning(true);
  ShowProgress();
  SetStatus(QStringLiteral("正在%1 %2 条…")
                .arg(path == LookupPath::Official ? QStringLiteral("官网查询")
                                                  : QStringLiteral("综合查询"))
                .arg(todo.size()));
}

QString BatchWindow::BatchProgram() const {
  if (!services_.batchProgram.isEmpty()) return services_.batchProgram;
  const QString found = QStandardPaths::findExecutable(QStringLiteral("quarvel-cli"),
                                                       {QCoreApplication::applicationDirPath()});
  return found.isEmpty() ? QStringLiteral("quarvel-cli") : found;
}

void BatchWindow::ReadProgress() {
  stderr_ += process_->readAllStandardError();
  qsizetype end;
  while ((end = stderr_.indexOf('\n')) >= 0) {
    const QByteArray line = stderr_.left(end).trimmed();
    stderr_.remove(0, end + 1);
    if (line.isEmpty()) continue;
    const QJsonObject event = QJsonDocument::fromJson(line).object();
    const QString kind = event.value(QLatin1String("event")).toString();
    if (kind == QLatin1String("row")) {
      QStringList fields;
      for (const QJsonValue& field : event.value(QLatin1String("fields")).toArray())
        fields << field.toString();
      results_.Add(fields);
      ShowProgress();
    } else if (kind == QLatin1String("message")) {
      SetStatus(event.value(QLatin1String("text")).toString());
    } else if (kind.isEmpty()) {
      // The program's own complaints, before its progress began.
      QString text = QString::fromUtf8(line);
      const QString prefix = QStringLiteral("quarvel-cli: ");
      if (text.startsWith(prefix)) text.remove(0, prefix.size());
      SetStatus(text);
    }
  }
  // A line without an end that has grown beyond any row is dropped.
  if (stderr_.size() > kMaxProgressLine) stderr_.clear();
}

void BatchWindow::StopBatch() {
  if (!Running()) return;
  SetStatus(QStringLiteral("正在停止…"));
  process_->terminate();
}

void BatchWindow::OnFinished(int status) {
  ShowRunning(false);
  ShowProgress();
  const int left = static_cast<int>(entries_.size()) - results_.rowCount();
  if (left <= 0)
    SetStatus(QStringLiteral("批量查询完成：%1 条").arg(results_.rowCount()));
  else if (status > 128 && status != kEndedAbnormally)
    SetStatus(QStringLiteral("已停止：还有 %1 条未查询，按“继续”接着查").arg(left));
  else if (status == kEndedAbnormally)
    SetStatus(QStringLiteral("批量查询意外中止：还有 %1 条未查询，按“继续”接着查").arg(left));
  else if (Status().isEmpty() || Status().startsWith(QStringLiteral("正在")))
    SetStatus(QStringLiteral("批量查询无法继续"));
  emit BatchFinished(status);
}

void BatchWindow::ShowProgress() {
  const int total = static_cast<int>(entries_.size());
  const int done = std::min(results_.rowCount(), total);
  ProgressBar->setRange(0, std::max(total, 1));
  ProgressBar->setValue(done);
  QString line = QStringLiteral("已完成 %1/%2").arg(done).arg(total);
  if (const std::optional<Progress::Pace> pace =
          Progress::Estimate(done, total, results_.rowCount() - doneAtStart_, clock_.elapsed())) {
    line += QStringLiteral("，每分钟 %1 条").arg(pace->perMinute, 0, 'f', 1);
    if (done < total) line += QStringLiteral("，剩余 ") + Progress::Clock(pace->secondsLeft);
  }
  progressText_->setText(line);
  progressText_->setAccessibleName(line);
  ProgressBar->setAccessibleDescription(line);
}

void BatchWindow::ShowRunning(bool running) {
  StartButton->setEnabled(!running);
  ContinueButton->setEnabled(!running);
  StopButton->setEnabled(running);
  ComprehensiveOption->setEnabled(!running);
  OfficialOption->setEnabled(!running);
  ListInput->setReadOnly(running);
}

void BatchWindow::SaveCsv() {
  if (results_.rowCount() == 0) {
    SetStatus(QStringLiteral("还没有结果可保存"));
    return;
  }
  const std::optional<QString> chosen =
      AskCsvFile(this, *services_.saveDialog, QStringLiteral("保存批量查询结果"),
                 QStringLiteral("批量查询.csv"));
  if (!chosen) return;
  const QString& path = *chosen;
  if (!ReplaceFile(path, results_.Csv(csv::Cells::Guarded))) {
    SetStatus(QStringLiteral("无法保存到 %1").arg(QDir::toNativeSeparators(path)));
    return;
  }
  SetStatus(QStringLiteral("已保存 %1 行到 %2")
                .arg(results_.rowCount())
                .arg(QDir::toNativeSeparators(path)));
}

bool BatchWindow::eventFilter(QObject* watched, QEvent* event) {
  if (IsEnter(event)) {
    if (auto* button = qobject_cast<QPushButton*>(watched)) {
      button->click();
      return true;
    }
    // In the list Enter makes a new line; Ctrl+Enter starts.
    const bool inList = watched == ListInput;
    if (!inList || static_cast<QKeyEvent*>(event)->modifiers() & Qt::ControlModifier) {
      if (StartButton->isEnabled()) StartBatch();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void BatchWindow::OnClosing() { StopBatch(); }

}  // namespace quarvel
