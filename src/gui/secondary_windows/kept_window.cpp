#include "gui/secondary_windows/kept_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include <QFileInfo>

#include "base/settings/window_settings.h"
#include "gui/secondary_windows/docking.h"
#include "gui/sharing/save_dialog.h"

namespace quarvel {

KeptWindow::KeptWindow(QString settingsName, QWidget* parent)
    : QMainWindow(parent), settingsName_(std::move(settingsName)) {
  setObjectName(settingsName_);
  setAttribute(Qt::WA_DeleteOnClose);
}

void KeptWindow::RestoreSizeAndPlace(QSize first) {
  resize(first);
  if (const QByteArray saved = SavedWindowGeometry(settingsName_); !saved.isEmpty())
    restoreGeometry(saved);
  KeepOnScreen();
}

void KeptWindow::showEvent(QShowEvent* event) {
  // Its frame is known once it is shown: fitted again with it.
  if (!shownOnce_) KeepOnScreen();
  shownOnce_ = true;
  QMainWindow::showEvent(event);
}

void KeptWindow::KeepOnScreen() {
  // On the available area of the screen it is on, as large as it was at most.
  const QRect frame = frameGeometry();
  QScreen* on = QGuiApplication::screenAt(frame.topLeft());
  if (!on) on = screen();
  if (!on) return;
  const QRect fitted = FitOnArea(frame, on->availableGeometry());
  if (fitted == frame) return;
  resize(fitted.size() - (frame.size() - size()));
  move(fitted.topLeft());
}

void KeptWindow::keyPressEvent(QKeyEvent* event) {
  // Escape, wherever the focus is (a control that takes it keeps it).
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void KeptWindow::closeEvent(QCloseEvent* event) {
  SaveWindowGeometry(settingsName_, saveGeometry());
  OnClosing();
  QMainWindow::closeEvent(event);
}

std::optional<QString> AskCsvFile(QWidget* parent, SaveDialog& dialog, const QString& title,
                                  const QString& proposedName) {
  SaveRequest request;
  request.title = title;
  request.filter = QStringLiteral("CSV 文件|*.csv");
  request.proposedName = proposedName;
  const std::optional<SaveChoice> choice = dialog.Ask(parent, request);
  if (!choice) return std::nullopt;
  QString path = choice->path;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
  return path;
}

bool IsEnter(const QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<const QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAccessibleName(caption);
  button->setAutoDefault(false);
  return button;
}

}  // namespace quarvel
