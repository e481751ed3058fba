// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Placement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace placement {

QPoint inside(const QPoint& position, const QSize& size, const QRect& area)
{
    const int x = std::clamp(position.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    const int y = std::clamp(position.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    return {x, y};
}

QRect beside(const QRect& window, const QRect& area, int gap)
{
    const int right_left = window.right() + gap;
    const int right_width = std::max(0, area.right() + 1 - right_left);
    const int left_width = std::max(0, window.left() - gap - area.left());
    // A quarter of the screen is enough for a preview; a dialog near the right edge shows it on its left.
    if (right_width >= area.width() / 4 || right_width >= left_width)
        return QRect(right_left, area.top(), right_width, area.height());
    return QRect(area.left(), area.top(), left_width, area.height());
}

QRect screen_area(const QPoint& point)
{
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(point, QSize(1, 1));
}

} // namespace placement
