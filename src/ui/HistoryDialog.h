// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/SelfClosing.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class App;
class ListWidget;
class QLabel;
class QListWidgetItem;
class QPushButton;
namespace Ui {
class HistoryDialog;
}

// What is left to paste, in the order the coming pastes take it: a list with a lock, a delete and a history button.
// It knows nothing of the history: App fills it with row texts and turns its rows back into items. It closes itself
// as soon as another window becomes active. Main thread only.
class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    // app: not owned; receives the deletes.
    explicit HistoryDialog(App* app);
    ~HistoryDialog() override;

    void add_items(const QStringList& items);
    void clear_list();
    int row_count() const;
    int current_row() const;
    void set_current_row(int row);
    void show_unlocked_icon();
    void show_locked_icon();
    void show_order_backward();
    void show_order_forward();

    // For the tests and the history button's wiring.
    ListWidget* list() const { return m_list; }
    QPushButton* lock_button() const { return m_lock_button; }
    QPushButton* delete_button() const { return m_delete_button; }
    QPushButton* history_button() const { return m_history_button; }
    QString order_text() const;
    QStringList row_texts() const;
    bool is_lock_icon_shown() const { return m_is_locked_icon; }

Q_SIGNALS:
    void signal_lock_button_clicked();
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

private:
    std::unique_ptr<Ui::HistoryDialog> m_ui;
    App* m_app;
    ListWidget* m_list = nullptr;
    QLabel* m_order_label = nullptr;
    QPushButton* m_lock_button = nullptr;
    QPushButton* m_delete_button = nullptr;
    QPushButton* m_history_button = nullptr;
    bool m_is_locked_icon = false;
    SelfClosing m_self_closing;
};
