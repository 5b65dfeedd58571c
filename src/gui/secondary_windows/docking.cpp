#include "gui/secondary_windows/docking.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace quarvel {
namespace {

int Truncate(double value) { return static_cast<int>(std::trunc(value)); }

// A title bar's height when the frame does not tell (not shown yet, or no
// decorations drawn by the system).
constexpr int kNominalTitleHeight = 24;

// Keeps [start, start + length) overlapping [low, high) by `need` at least.
int KeepOverlap(int start, int length, int low, int high, int need) {
  need = std::min({need, length, high - low});
  return std::clamp(start, low + need - length, high - need);
}

}  // namespace

QPoint MonthTableDock(const QRect& mainFrame) {
  const double left = mainFrame.left(), top = mainFrame.top(), width = mainFrame.width();
  return {Truncate(left + width - 20), Truncate(top - 130)};
}

QPoint AboutDock(const QRect& mainFrame, int aboutWidth, int overlap) {
  const double left = mainFrame.left(), top = mainFrame.top();
  return {Truncate(left - aboutWidth + overlap), Truncate(top + 113)};
}

QPoint StartPosition(const QRect& available, QSize mainFrame, QSize aboutFrame,
                     QSize monthTableFrame) {
  constexpr int kMargin = 50;
  // The group's edges relative to the main window's top left corner, from
  // the docking arithmetic (the about window is created 10 pixels in, and
  // moves to 20 pixels in: the first is the farther left).
  const QRect main(QPoint(0, 0), mainFrame);
  const QRect about(AboutDock(main, aboutFrame.width(), 10), aboutFrame);
  const QRect month(MonthTableDock(main), monthTableFrame);
  const QRect group = main.united(about).united(month);

  // The group 50 pixels in, then moved back as far as it sticks out.
  int left = available.left() + kMargin - group.left();
  int top = available.top() + kMargin - group.top();
  left -= std::max(0, left + group.right() - available.right());
  top -= std::max(0, top + group.bottom() - available.bottom());
  left = std::max(left, available.left() - group.left());
  top = std::max(top, available.top() - group.top());
  // Too small a screen for all three: the main window at least.
  left = std::min(left, available.right() + 1 - mainFrame.width());
  top = std::min(top, available.bottom() + 1 - mainFrame.height());
  return {std::max(left, available.left()), std::max(top, available.top())};
}

QPoint KeepTitleBarReachable(const QRect& frame, int titleHeight, const QRect& available) {
  const int x = KeepOverlap(frame.left(), frame.width(), available.left(), available.right() + 1,
                            kReachableTitleWidth);
  const int height = std::min(titleHeight, available.height());
  const int y = std::clamp(frame.top(), available.top(), available.bottom() + 1 - height);
  return {x, y};
}

QRect FitOnArea(const QRect& frame, const QRect& available) {
  const QSize size = frame.size().boundedTo(available.size());
  const int x = std::clamp(frame.left(), available.left(), available.right() + 1 - size.width());
  const int y = std::clamp(frame.top(), available.top(), available.bottom() + 1 - size.height());
  return {QPoint(x, y), size};
}

void MoveDocked(QWidget* docked, QPoint dock, const QRect& mainFrame) {
  const QRect frame(dock, docked->frameGeometry().size());
  const int margin = docked->geometry().top() - docked->frameGeometry().top();
  const int titleHeight = margin > 0 ? margin : kNominalTitleHeight;
  const QPoint title(frame.center().x(), frame.top() + titleHeight / 2);
  QScreen* screen = QGuiApplication::screenAt(title);
  if (!screen) screen = QGuiApplication::screenAt(mainFrame.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  docked->move(screen ? KeepTitleBarReachable(frame, titleHeight, screen->availableGeometry())
                      : dock);
}

}  // namespace quarvel
