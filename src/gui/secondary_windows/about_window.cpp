#include "gui/secondary_windows/about_window.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QWebEngineView>

#include "base/files/picture.h"
#include "base/net/http_fetch.h"
#include "gui/controls/controls.h"
#include "gui/secondary_windows/docking.h"
#include "webpage/browser.h"

namespace quarvel {

QString AboutText(const Config& config) {
  const QString lines[] = {QStringLiteral("Quarvel "), QStringLiteral("作者：tal"),
                           QStringLiteral("QQ：") + config.imAccount,
                           QStringLiteral("邮箱：") + config.email,
                           QStringLiteral("地址：") + config.address};
  QString text;
  for (const QString& line : lines) text += line + QStringLiteral("\r\n\r\n");
  return text;
}

AboutWindow::AboutWindow(const Config& config, QWidget* parent) : QWidget(parent), config_(config) {
  setObjectName(QStringLiteral("AboutWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("tal-关于"));
  setAccessibleName(windowTitle());
  FixOuterSize(this, kAboutFrame.width(), kAboutFrame.height());

  AboutTextLabel = new QLabel(this);
  AboutTextLabel->setObjectName(QStringLiteral("透明标签1"));
  AboutTextLabel->setGeometry(16, 24, 184, 128);
  AboutTextLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetCaption(AboutTextLabel, AboutText(config_));
  SetTextColour(AboutTextLabel, 255, 255, 0);

  ContactBadge = new QLabel(this);
  ContactBadge->setObjectName(QStringLiteral("图片框1"));
  ContactBadge->setGeometry(16, 144, 120, 28);
  ContactBadge->setCursor(Qt::PointingHandCursor);
  ContactBadge->setAccessibleName(QStringLiteral("在线状态"));
  ContactBadge->installEventFilter(this);

  ChatButton = new QPushButton(QStringLiteral("发起会话"), this);
  ChatButton->setObjectName(QStringLiteral("按钮1"));
  ChatButton->setGeometry(112, 136, 80, 32);
  ChatButton->setAccessibleName(ChatButton->text());
  ChatButton->setAutoDefault(false);
  connect(ChatButton, &QPushButton::clicked, this,
          [this] { Navigate(ChatBrowser, config_.ChatLink()); });

  ChatBrowser = CreateBrowser(this, QStringLiteral("WebBrowser1"));
  ChatBrowser->setGeometry(400, 192, 152, 144);
}

void AboutWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FixOuterSize(this, kAboutFrame.width(),
               kAboutFrame.height());  // decorations are known once shown
}

void AboutWindow::OnCreated(const QRect& mainFrame) {
  MoveDocked(this, AboutDock(mainFrame, frameGeometry().width(), 10), mainFrame);
  SetPicture(ContactBadge, HttpGetBytes(config_.StatusImage()));
  Navigate(ChatBrowser, config_.portalHost);
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
  const auto left = [event] {
    return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
  };
  if (watched == ContactBadge) {
    // The left button only, as a click on a picture means.
    if (event->type() == QEvent::MouseButtonDblClick && left()) {
      Navigate(ChatBrowser, config_.SecondChatLink());
    } else if (event->type() == QEvent::MouseButtonPress && left()) {
      Navigate(ChatBrowser, QLatin1Char(' ') + config_.ChatLink());
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace quarvel
