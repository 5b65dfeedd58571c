#include "gui/secondary_windows/batch_window.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <functional>

#include "base/files/data_folder.h"
#include "base/files/safe_file.h"
#include "base/records/history.h"
#include "batch/batch_runner.h"
#include "batch/engine_lookup.h"
#include "batch/progress.h"
#include "gui/sharing/save_dialog.h"
#include "platform/system/stop_requests.h"

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

bool BatchResults::Write(const QByteArray& row) {
  // The runner writes raw cells: they read back as they were.
  csv::Reader reader(row);
  QStringList fields;
  if (reader.Next(&fields) != csv::Reader::Status::Record) return true;
  const int at = static_cast<int>(rows_.size());
  beginInsertRows({}, at, at);
  rows_.append(fields);
  endInsertRows();
  return true;
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
  runner_.reset();
  Table->setModel(nullptr);
}

bool BatchWindow::Running() const { return runner_ && runner_->Running(); }

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
  QString problem;
  BatchSettings settings;
  settings.path = OfficialOption->isChecked() ? LookupPath::Official : LookupPath::Comprehensive;
  settings.checkEntries = true;
  settings.cells = csv::Cells::Raw;  // the table shows the values; saving guards them
  if (!dataFolder_.isEmpty()) {
    if (!history_)
      history_ = std::make_unique<History>(dataFolder_,
                                           [this](const QString& message) { SetStatus(message); });
    settings.pictureFolder = DataSubfolder(dataFolder_, QStringLiteral("pictures"), &problem);
  }
  doneAtStart_ = results_.rowCount();
  progress_ = std::make_unique<Progress>([](const QByteArray&) {}, false,
                                         static_cast<int>(entries_.size()), doneAtStart_);
  progress_->SetMessageHandler([this](const QString& message) { SetStatus(message); });
  runner_ = std::make_unique<BatchRunner>(settings, EngineLookupFactory(config_, settings.path),
                                          &results_, history_.get(), progress_.get());
  connect(runner_.get(), &BatchRunner::Ended, this, &BatchWindow::OnFinished);
  clock_.start();
  runner_->Start(todo);
  ShowRunning(true);
  ShowProgress();
  // Found rows then name no picture: said once, as the batch starts.
  const QString unkept =
      settings.path == LookupPath::Comprehensive && settings.pictureFolder.isEmpty()
          ? QStringLiteral("（图片不保存%1）")
                .arg(problem.isEmpty() ? QString() : QStringLiteral("：") + problem)
          : QString();
  SetStatus(QStringLiteral("正在%1 %2 条…%3")
                .arg(settings.path == LookupPath::Official ? QStringLiteral("官网查询")
                                                           : QStringLiteral("综合查询"))
                .arg(todo.size())
                .arg(unkept));
}

void BatchWindow::StopBatch() {
  if (!Running()) return;
  SetStatus(QStringLiteral("正在停止…"));
  runner_->Stop(system::kInterruptRequest);
}

void BatchWindow::OnFinished(int status) {
  // From inside the runner's own signal: it goes from the event loop.
  BatchRunner* runner = runner_.release();
  runner->deleteLater();
  ShowRunning(false);
  ShowProgress();
  const int left = static_cast<int>(entries_.size()) - results_.rowCount();
  if (status == 0)
    SetStatus(QStringLiteral("批量查询完成：%1 条").arg(results_.rowCount()));
  else if (status > 128)
    SetStatus(QStringLiteral("已停止：还有 %1 条未查询，按“继续”接着查").arg(left));
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
