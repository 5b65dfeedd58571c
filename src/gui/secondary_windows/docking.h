#pragma once

#include <QPoint>
#include <QRect>

namespace quarvel {

// Where the secondary windows sit beside the main window (outer geometry).
// Computed in floating point and truncated toward zero.

// Month table: overlaps the main window's right edge by 20, stands 130 higher.
QPoint MonthTableDock(const QRect& mainFrame);

// About window: overlaps the main window's left edge by `overlap` pixels
// (10 when it is created, 20 when the main window moves), stands 113 lower.
QPoint AboutDock(const QRect& mainFrame, int aboutWidth, int overlap);

}  // namespace quarvel
