#include "gui/secondary_windows/month_table_window.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "gui/controls/controls.h"
#include "gui/secondary_windows/docking.h"

namespace quarvel {

QString MonthTableText() {
  static const char* const kNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
  QString text;
  for (int month = 1; month <= 12; ++month) {
    if (month > 1) text += QStringLiteral("\r\n\r\n");
    // Row 1 carries 一 where the others carry an em dash.
    const QString separator = month == 1 ? QStringLiteral("一") : QStringLiteral("—");
    text += QString::fromLatin1(kNames[month - 1]) + ' ' + separator + ' ' +
            QString::number(month) + QStringLiteral("月");
  }
  return text + ' ';
}

MonthTableWindow::MonthTableWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("MonthTableWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("月份对照"));
  setAccessibleName(windowTitle());
  FixOuterSize(this, kMonthTableFrame.width(), kMonthTableFrame.height());

  MonthTableLabel = new QLabel(this);
  MonthTableLabel->setObjectName(QStringLiteral("标签1"));
  MonthTableLabel->setGeometry(16, 8, 144, 384);
  MonthTableLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QFont font;
  font.setFamilies(
      {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
  font.setPixelSize(16);
  font.setWeight(QFont::Bold);
  MonthTableLabel->setFont(font);
  SetCaption(MonthTableLabel, MonthTableText());
  // Lines 16 pixels apart, as the original font set them, whatever font stands in.
  QStringList lines = MonthTableText().split(QStringLiteral("\r\n"));
  for (QString& line : lines) line = line.toHtmlEscaped();
  MonthTableLabel->setTextFormat(Qt::RichText);
  const int spacing = QFontMetrics(font).lineSpacing();
  const int percent = spacing > 16 ? 16 * 100 / spacing : 100;
  MonthTableLabel->setText(QStringLiteral("<div style=\"line-height:%1%\">%2</div>")
                               .arg(percent)
                               .arg(lines.join(QStringLiteral("<br>"))));
  SetTextColour(MonthTableLabel, 255, 255, 0);

  MonthOkButton = new QPushButton(QStringLiteral("确定"), this);
  MonthOkButton->setObjectName(QStringLiteral("按钮1"));
  MonthOkButton->setGeometry(40, 392, 80, 32);
  MonthOkButton->setAccessibleName(MonthOkButton->text());
  MonthOkButton->setAutoDefault(false);
  connect(MonthOkButton, &QPushButton::clicked, this, &QWidget::close);
}

void MonthTableWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FixOuterSize(this, kMonthTableFrame.width(),
               kMonthTableFrame.height());  // decorations are known once shown
}

void MonthTableWindow::OnCreated(const QRect& mainFrame) {
  MoveDocked(this, MonthTableDock(mainFrame), mainFrame);
}

}  // namespace quarvel
