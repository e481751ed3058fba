// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

// The history dialog's list. Rows are reordered by dragging (an internal move); each completed drag is reported once
// with the row where the item was picked up and the row where it now stands.
class ListWidget : public QListWidget {
    Q_OBJECT
public:
    explicit ListWidget(QWidget* parent = nullptr);

Q_SIGNALS:
    void signal_item_pos_changed(int from, int to);

public Q_SLOTS:
    void slot_item_was_pressed();

protected:
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool m_is_pressed = false; // an item was pressed and its drag has not been reported yet
    bool m_is_moved = false;   // a drag has moved over the list since that press
    int m_pressed_row = -1;
};
