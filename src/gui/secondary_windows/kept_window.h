#pragma once

#include <QMainWindow>
#include <QString>

#include <optional>

class QEvent;
class QPushButton;

namespace quarvel {

// A window of the program's own that the user opens and closes at will: it
// deletes itself when closed, Escape closes it wherever the focus is, and it
// keeps its size and place between starts under settingsName.
class KeptWindow : public QMainWindow {
  Q_OBJECT
 public:
  KeptWindow(QString settingsName, QWidget* parent);

 protected:
  // The size it has until one was kept, then the kept one, brought onto the
  // screen's available area: called once its contents are laid out.
  void RestoreSizeAndPlace(QSize first);
  // What the window does as it closes, before its place is kept.
  virtual void OnClosing() {}

  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Brings its frame onto the available area of its screen.
  void KeepOnScreen();

  const QString settingsName_;
  bool shownOnce_ = false;
};

class SaveDialog;

// Asks where a CSV goes: the file chosen, ".csv" added when it has no
// suffix; nothing when the user cancels.
std::optional<QString> AskCsvFile(QWidget* parent, SaveDialog& dialog, const QString& title,
                                  const QString& proposedName);

// A key press of Enter or Return.
bool IsEnter(const QEvent* event);

// A button of such a window: named, its caption as accessible name, and not
// pressed by Enter elsewhere in the window.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption);

}  // namespace quarvel
