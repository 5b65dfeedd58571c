#include "gui/secondary_windows/docking.h"

#include <cmath>

namespace quarvel {
namespace {

int Truncate(double value) { return static_cast<int>(std::trunc(value)); }

}  // namespace

QPoint MonthTableDock(const QRect& mainFrame) {
  const double left = mainFrame.left(), top = mainFrame.top(), width = mainFrame.width();
  return {Truncate(left + width - 20), Truncate(top - 130)};
}

QPoint AboutDock(const QRect& mainFrame, int aboutWidth, int overlap) {
  const double left = mainFrame.left(), top = mainFrame.top();
  return {Truncate(left - aboutWidth + overlap), Truncate(top + 113)};
}

}  // namespace quarvel
