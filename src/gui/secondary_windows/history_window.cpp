#include "gui/secondary_windows/history_window.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "base/files/safe_file.h"
#include "base/records/history_model.h"
#include "gui/sharing/save_dialog.h"
#include "lookup/lookup_outcome.h"

namespace quarvel {

HistoryWindow::HistoryWindow(const QString& dataFolder, Services services, QWidget* parent)
    : KeptWindow(QStringLiteral("HistoryWindow"), parent), services_(std::move(services)) {
  setWindowTitle(QStringLiteral("查询记录"));
  setAccessibleName(windowTitle());
  if (!services_.saveDialog) services_.saveDialog = std::make_shared<PlatformSaveDialog>();
  if (!services_.openUrl)
    services_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

  auto* client = new QWidget(this);
  setCentralWidget(client);
  auto* filterLabel = new QLabel(QStringLiteral("筛选："), client);
  FilterInput = new QLineEdit(client);
  FilterInput->setObjectName(QStringLiteral("FilterInput"));
  FilterInput->setAccessibleName(QStringLiteral("筛选"));
  FilterInput->setPlaceholderText(QStringLiteral("系列号或型号"));
  FilterInput->setClearButtonEnabled(true);
  filterLabel->setBuddy(FilterInput);
  auto* outcomeLabel = new QLabel(QStringLiteral("结果："), client);
  OutcomeFilter = new QComboBox(client);
  OutcomeFilter->setObjectName(QStringLiteral("OutcomeFilter"));
  OutcomeFilter->setAccessibleName(QStringLiteral("结果"));
  OutcomeFilter->addItem(QStringLiteral("全部"), QString());
  for (const OutcomeKind kind :
       {OutcomeKind::Found, OutcomeKind::NotFound, OutcomeKind::Rejected, OutcomeKind::BadInput,
        OutcomeKind::PictureFailed, OutcomeKind::TimedOut})
    OutcomeFilter->addItem(OutcomeName(kind), OutcomeName(kind));
  outcomeLabel->setBuddy(OutcomeFilter);
  CopyButton = MakeButton(client, "CopyButton", QStringLiteral("复制"));
  ExportButton = MakeButton(client, "ExportButton", QStringLiteral("导出CSV"));
  PictureButton = MakeButton(client, "PictureButton", QStringLiteral("打开图片"));

  model_ = std::make_unique<HistoryModel>(dataFolder);
  Table = new QTableView(client);
  Table->setObjectName(QStringLiteral("Table"));
  Table->setAccessibleName(windowTitle());
  Table->setModel(model_.get());
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setWordWrap(false);
  Table->setTabKeyNavigation(false);  // Tab leaves the table for the next control
  Table->setIconSize(QSize(HistoryModel::kThumbnailHeight * 4, HistoryModel::kThumbnailHeight));
  Table->verticalHeader()->hide();
  // Rows of one height and columns of set widths: nothing measures all rows.
  Table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Table->verticalHeader()->setDefaultSectionSize(HistoryModel::kThumbnailHeight + 6);
  const int widths[HistoryModel::kColumns] = {140, 140, 110, 100, 150, 100, 120, 70};
  for (int column = 0; column < HistoryModel::kColumns; ++column)
    Table->setColumnWidth(column, widths[column]);
  Table->horizontalHeader()->setStretchLastSection(true);

  auto* bar = new QHBoxLayout;
  bar->addWidget(filterLabel);
  bar->addWidget(FilterInput, 1);
  bar->addWidget(outcomeLabel);
  bar->addWidget(OutcomeFilter);
  bar->addWidget(CopyButton);
  bar->addWidget(ExportButton);
  bar->addWidget(PictureButton);
  auto* layout = new QVBoxLayout(client);
  layout->addLayout(bar);
  layout->addWidget(Table, 1);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("StatusText"));
  status_->setTextFormat(Qt::PlainText);
  statusBar()->addWidget(status_, 1);

  QWidget* const order[] = {FilterInput, OutcomeFilter, Table,
                            CopyButton,  ExportButton,  PictureButton};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  for (QWidget* widget :
       {static_cast<QWidget*>(Table), static_cast<QWidget*>(CopyButton),
        static_cast<QWidget*>(ExportButton), static_cast<QWidget*>(PictureButton)})
    widget->installEventFilter(this);

  typing_ = new QTimer(this);
  typing_->setSingleShot(true);
  typing_->setInterval(250);
  connect(typing_, &QTimer::timeout, this, &HistoryWindow::ApplyFilter);
  connect(FilterInput, &QLineEdit::textChanged, typing_, qOverload<>(&QTimer::start));
  connect(FilterInput, &QLineEdit::returnPressed, this, &HistoryWindow::ApplyFilter);
  connect(OutcomeFilter, &QComboBox::currentIndexChanged, this, &HistoryWindow::ApplyFilter);
  connect(CopyButton, &QPushButton::clicked, this, &HistoryWindow::CopySelected);
  connect(ExportButton, &QPushButton::clicked, this, &HistoryWindow::ExportCsv);
  connect(PictureButton, &QPushButton::clicked, this, &HistoryWindow::OpenPicture);
  connect(Table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.column() == HistoryModel::Picture) OpenPicture();
  });
  connect(model_.get(), &HistoryModel::Reloaded, this, &HistoryWindow::AnnounceCount);

  RestoreSizeAndPlace({1000, 560});
  AnnounceCount();
  model_->Watch(kWatchMs);
}

HistoryWindow::~HistoryWindow() {
  Table->setModel(nullptr);  // the model goes first
}

void HistoryWindow::Refresh() { model_->Refresh(true); }

QString HistoryWindow::Status() const { return status_->text(); }

void HistoryWindow::SetStatus(const QString& text) {
  status_->setText(text);
  status_->setAccessibleName(text);
  QAccessibleEvent event(status_, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&event);
}

void HistoryWindow::AnnounceCount() {
  const qint64 shown = model_->rowCount();
  if (model_->State() == HistoryState::Unusable || model_->State() == HistoryState::Damaged) {
    SetStatus(QStringLiteral("查询记录无法读取：") + model_->Problem());
    return;
  }
  if (shown == announced_) return;  // nothing new: the last message stays
  announced_ = shown;
  const bool filtered = !model_->Filter().text.isEmpty() || !model_->Filter().outcome.isEmpty();
  SetStatus(filtered
                ? QStringLiteral("共 %1 条记录（全部 %2 条）").arg(shown).arg(model_->TotalRows())
                : QStringLiteral("共 %1 条记录").arg(shown));
}

void HistoryWindow::ApplyFilter() {
  typing_->stop();
  announced_ = -1;  // a new filter always says how many it shows
  model_->SetFilter({FilterInput->text().trimmed(), OutcomeFilter->currentData().toString()});
  AnnounceCount();
}

void HistoryWindow::CopySelected() {
  QList<int> rows;
  for (const QModelIndex& index : Table->selectionModel()->selectedRows()) rows << index.row();
  if (rows.isEmpty() && Table->currentIndex().isValid()) rows << Table->currentIndex().row();
  if (rows.isEmpty()) {
    SetStatus(QStringLiteral("没有选中的记录"));
    return;
  }
  std::sort(rows.begin(), rows.end());
  QApplication::clipboard()->setText(model_->RowsAsText(rows));
  SetStatus(QStringLiteral("已复制 %1 行").arg(rows.size()));
}

void HistoryWindow::ExportCsv() {
  const std::optional<QString> chosen = AskCsvFile(
      this, *services_.saveDialog, QStringLiteral("导出查询记录"), QStringLiteral("查询记录.csv"));
  if (!chosen) return;
  const QString& path = *chosen;
  QByteArray bytes;
  const bool read = model_->WriteCsv([&bytes](const QByteArray& part) {
    bytes += part;
    return true;
  });
  if (!read || !ReplaceFile(path, bytes)) {
    SetStatus(QStringLiteral("无法导出到 %1").arg(QDir::toNativeSeparators(path)));
    return;
  }
  SetStatus(QStringLiteral("已导出 %1 行到 %2")
                .arg(model_->rowCount())
                .arg(QDir::toNativeSeparators(path)));
}

void HistoryWindow::OpenPicture() {
  const QModelIndex current = Table->currentIndex();
  if (!current.isValid()) {
    SetStatus(QStringLiteral("没有选中的记录"));
    return;
  }
  const QString picture = model_->Record(current.row()).picture;
  if (picture.isEmpty() || !QFileInfo(picture).isFile()) {
    SetStatus(picture.isEmpty() ? QStringLiteral("这条记录没有图片")
                                : QStringLiteral("图片已不在：%1").arg(picture));
    return;
  }
  if (services_.openUrl(QUrl::fromLocalFile(picture)))
    SetStatus(QStringLiteral("已打开图片 %1").arg(QDir::toNativeSeparators(picture)));
  else
    SetStatus(QStringLiteral("无法打开图片 %1").arg(QDir::toNativeSeparators(picture)));
}

bool HistoryWindow::eventFilter(QObject* watched, QEvent* event) {
  if (IsEnter(event)) {
    if (watched == Table) {
      OpenPicture();
      return true;
    }
    if (auto* button = qobject_cast<QPushButton*>(watched)) {
      button->click();
      return true;
    }
  }
  if (watched == Table && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    CopySelected();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void HistoryWindow::OnClosing() { model_->Watch(0); }

}  // namespace quarvel
