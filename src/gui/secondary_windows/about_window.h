#pragma once

#include <QWidget>

#include "base/config/config.h"

class QLabel;
class QPushButton;
class QWebEngineView;

namespace quarvel {

// The about text: product, author and contact lines, each followed by a blank line.
QString AboutText(const Config& config);

// Product name and contact details, a status badge fetched from the
// messaging service and links that open a chat.
class AboutWindow : public QWidget {
  Q_OBJECT
 public:
  explicit AboutWindow(const Config& config, QWidget* parent = nullptr);

  // Creation handler: docks beside the main window (10 pixels of overlap),
  // fetches the status badge (blocking) and parks the chat browser on the portal.
  void OnCreated(const QRect& mainFrame);

  QLabel* AboutTextLabel;       // 透明标签1
  QLabel* ContactBadge;         // 图片框1
  QPushButton* ChatButton;      // 按钮1
  QWebEngineView* ChatBrowser;  // WebBrowser1

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Config config_;
};

}  // namespace quarvel
