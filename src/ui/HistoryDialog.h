// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/SelfClosing.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class ImageViewer;
class ListWidget;
class QLabel;
class QListWidgetItem;
class QMimeData;
class QPushButton;
namespace Ui {
class HistoryDialog;
}

// What is left to paste, in the order the coming pastes take it: a list with a lock, a delete and a history button,
// and the preview of an image row under the mouse.
// It knows nothing of the history: App shows it row texts, and its buttons and drags ask App for a change by signal,
// naming rows; App changes the history and shows the rows again. It closes itself as soon as another window becomes
// active. Main thread only.
class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    HistoryDialog();
    ~HistoryDialog() override;

    // Shows the rows of a walk in the given order. The selected row keeps its number (the last row when fewer are
    // left); with none or the first selected before, the first is.
    void show_rows(const QStringList& rows, bool forward);
    // Brings the window up at `position`, kept whole on the screen there, with the rows of a walk and the first
    // selected.
    void show_at(const QPoint& position, const QStringList& rows, bool forward);
    // Hides the dialog when it is open; whether it was (its shortcut and button open and close it).
    bool close_if_open();
    int row_count() const;
    int current_row() const;
    void set_current_row(int row);
    // The lock button's image: the lock while the position is locked, else the key.
    void show_lock(bool locked);
    // The hover preview of a row's item beside the dialog: shown for an image, hidden for anything else (null too).
    void show_preview(const QMimeData* item);

    // For the tests.
    ListWidget* list() const { return m_list; }
    QPushButton* lock_button() const { return m_lock_button; }
    QPushButton* delete_button() const { return m_delete_button; }
    QPushButton* history_button() const { return m_history_button; }
    QString order_text() const;
    QStringList row_texts() const;
    bool is_lock_icon_shown() const { return m_is_locked_icon; }

Q_SIGNALS:
    // The lock button: toggle the lock, taking it at the selected row (-1: none).
    void signal_lock_requested(int row);
    // The delete button, with a row selected.
    void signal_delete_requested(int row);
    // A drag that put the item of row `from` where row `to` stood; the list shows it there already.
    void signal_move_requested(int from, int to);
    // The history button.
    void signal_autocomplete_requested();
    void signal_entered_row(int row);
    void signal_leave_event();
    void close_me();

public Q_SLOTS:
    void slot_lock_button_clicked();
    void slot_item_entered(QListWidgetItem* item);
    void slot_button_delete_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // Also forgets a preview still being decoded, which must not show up once the dialog is gone.
    void hideEvent(QHideEvent* event) override;

private:
    void add_items(const QStringList& items);
    void clear_list();

    std::unique_ptr<Ui::HistoryDialog> m_ui;
    ListWidget* m_list = nullptr;
    ImageViewer* m_viewer = nullptr;
    QLabel* m_order_label = nullptr;
    QPushButton* m_lock_button = nullptr;
    QPushButton* m_delete_button = nullptr;
    QPushButton* m_history_button = nullptr;
    bool m_is_locked_icon = false;
    SelfClosing m_self_closing;
};
