// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the program's small windows go on the screen. Pure geometry in global coordinates.
namespace placement {

// The top-left corner nearest to `position` at which a window of `size` lies whole inside `area` (at the area's
// top-left corner when it is larger than the area).
QPoint inside(const QPoint& position, const QSize& size, const QRect& area);

// The room beside `window` within `area` for a window shown next to it, `gap` pixels away: to its right, or to its
// left when the right leaves too little room and the left has more. The room spans the area's height.
QRect beside(const QRect& window, const QRect& area, int gap);

// The available area of the screen under a global point (the primary screen's when the point is on none).
QRect screen_area(const QPoint& point);

} // namespace placement
