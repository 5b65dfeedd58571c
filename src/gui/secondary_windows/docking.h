#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace quarvel {

// Where the secondary windows sit beside the main window (outer geometry).
// Computed in floating point and truncated toward zero.

// The outer sizes of the docked windows.
inline constexpr QSize kAboutFrame{232, 230};
inline constexpr QSize kMonthTableFrame{210, 474};

// Month table: overlaps the main window's right edge by 20, stands 130 higher.
QPoint MonthTableDock(const QRect& mainFrame);

// About window: overlaps the main window's left edge by `overlap` pixels
// (10 when it is created, 20 when the main window moves), stands 113 lower.
QPoint AboutDock(const QRect& mainFrame, int aboutWidth, int overlap);

// Where the main window's frame is placed at start on a screen whose
// available area is `available`: 50 pixels in from its top left corner as
// the docked windows allow, so that the about window and the month table,
// docked to a main frame of size `mainFrame`, lie wholly on that area; moved
// up and left as far as needed (never beyond that) on a small screen. When
// the three do not fit, the main window itself stays on the area.
QPoint StartPosition(const QRect& available, QSize mainFrame, QSize aboutFrame = kAboutFrame,
                     QSize monthTableFrame = kMonthTableFrame);

// How much of a title bar must be on the available area to be reachable:
// its whole height, and this much of its width (all of it when narrower).
inline constexpr int kReachableTitleWidth = 100;

// `frame` moved as little as needed to keep its title bar (its top
// `titleHeight` pixels) reachable on `available`; its top left corner.
QPoint KeepTitleBarReachable(const QRect& frame, int titleHeight, const QRect& available);

// `frame` made to lie wholly on `available`: no larger than it, and moved
// as little as needed (a kept size or place the screen no longer has).
QRect FitOnArea(const QRect& frame, const QRect& available);

// Moves a docked window's frame to `dock`, shifted as KeepTitleBarReachable
// says on the available area of the screen its title bar is on (the main
// window's when none).
void MoveDocked(QWidget* docked, QPoint dock, const QRect& mainFrame);

}  // namespace quarvel
