#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quarvel {

// The twelve English month names with their Chinese month numbers
// (206 bytes when encoded as GBK).
QString MonthTableText();

// A small reference window docked at the main window's top right.
class MonthTableWindow : public QWidget {
  Q_OBJECT
 public:
  explicit MonthTableWindow(QWidget* parent = nullptr);

  // Creation handler: docks beside the main window.
  void OnCreated(const QRect& mainFrame);

  QLabel* MonthTableLabel;     // 标签1
  QPushButton* MonthOkButton;  // 按钮1

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace quarvel
