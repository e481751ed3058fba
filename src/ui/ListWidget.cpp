// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ListWidget.h"

#include <QDropEvent>

ListWidget::ListWidget(QWidget* parent) : QListWidget(parent)
{
    connect(this, &QListWidget::itemPressed, this, &ListWidget::slot_item_was_pressed);
}

void ListWidget::slot_item_was_pressed()
{
    m_is_pressed = true;
    m_pressed_row = currentRow();
}

void ListWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_is_pressed)
        m_is_moved = true;
    // The standard handling accepts the move and scrolls a long list while the item is held at its edge.
    QListWidget::dragMoveEvent(event);
}

void ListWidget::dropEvent(QDropEvent* event)
{
    QListWidget::dropEvent(event);
    // On X11 no Enter event follows a drop, so the drag is reported here, once the row stands in its new place.
    if (!m_is_pressed || !m_is_moved)
        return;
    m_is_pressed = false;
    m_is_moved = false;
    const int to = currentRow();
    if (to != m_pressed_row)
        Q_EMIT signal_item_pos_changed(m_pressed_row, to);
}
